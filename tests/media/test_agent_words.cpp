// The speech character's and voice commands' words on a system with neither
// a character server nor a speech recogniser: their errors, their answers
// and the phrase list they keep.
#define KEST_TEST_WIDGETS
#include <gtest/gtest.h>

#include "core/numbered_texts.h"

#include "app/subsystems.h"
#include "commands/output_commands.h"
#include "media/agent_words.h"
#include "model/connection.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_types.h"
#include "support/hook_guard.h"
#include "support/test_support.h"

namespace {

std::vector<std::string> g_printed;

class AgentWords : public ::testing::Test {
protected:
    void SetUp() override
    {
        test_app();
        app_install_subsystems();
        conn_ = conn_new(nullptr);
        ASSERT_TRUE(conn_);
        g_printed.clear();
        output_print = [](QWidget*, int, const std::string& text, const EchoPrintOptions&, int) {
            g_printed.push_back(text);
        };
        agent_words_uninstall();
    }
    void TearDown() override
    {
        agent_words_uninstall();
        if (conn_)
            conn_free(conn_);
    }
    int run(const std::string& line) { return script_exec_line(nullptr, line.c_str(), nullptr, 1, nullptr, nullptr, conn_); }
    std::string eval(const std::string& text)
    {
        std::string t = text;
        std::string* r = ident_eval_text(nullptr, &t, nullptr, nullptr, 0, 0, -1, nullptr, conn_);
        return r ? *r : std::string("<failed>");
    }

    HookGuard hooks_;
    Connection* conn_ = nullptr;
};

}  // namespace

TEST_F(AgentWords, CharacterCommandsAnswerWithoutACharacter)
{
    struct Case {
        const char* line;
        int result;
    };
    const Case cases[] = {
        {"gload merlin", kScriptFailed},     // the server cannot load it
        {"gload -h merlin 2", kScriptFailed},
        {"gunload merlin", kScriptDone},     // not loaded: nothing to do
        {"gshow merlin 10 10", kScriptFailed}, // no such character
        {"gtalk -u merlin hello", kScriptFailed},
        {"gopts -b merlin on", kScriptFailed},
        {"gload", kScriptFailed},            // no name
        {"gtalk -t", kScriptFailed},
        {"gqreq on", kScriptDone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        script_error_clear();
        EXPECT_EQ(run(c.line), c.result);
    }
    EXPECT_TRUE(agent_queueing());
    EXPECT_EQ(run("gqreq off"), kScriptDone);
    EXPECT_FALSE(agent_queueing());
    EXPECT_EQ(run(".gqreq on"), kScriptDone);
    EXPECT_TRUE(agent_queueing());
    const std::pair<const char*, const char*> idents[] = {
        {"$agent(0)", "0"}, {"$agent(0).char", "0"}, {"$agent(1)", ""}, {"$agent(merlin).name", ""},
        {"$agentver", "0"}, {"$agentstat", "0"},
    };
    for (const auto& [text, want] : idents)
        EXPECT_EQ(eval(text), want) << text;
}

TEST_F(AgentWords, VoiceCommandPhrasesAndAnswers)
{
    EXPECT_EQ(run("vcadd open, close ,open"), kScriptDone);
    EXPECT_EQ(eval("$vcmd(0)"), "2");
    EXPECT_EQ(eval("$vcmd(1)"), "open");
    EXPECT_EQ(eval("$vcmd(2)"), "close");
    EXPECT_EQ(eval("$vcmd(3)"), "");
    EXPECT_EQ(eval("$vcmd(-4)"), "2");
    // Adding the same phrase in another case changes nothing.
    g_printed.clear();
    EXPECT_EQ(run("vcmd -a OPEN"), kScriptDone);
    EXPECT_EQ(eval("$vcmd(0)"), "2");
    ASSERT_EQ(g_printed.size(), 1u);
    EXPECT_EQ(g_printed[0], text_load_string(5928));
    EXPECT_EQ(run("vcrem CLOSE"), kScriptDone);
    EXPECT_EQ(eval("$vcmd(0)"), "1");
    // Switching on fails: no recogniser; off and the state words answer.
    script_error_clear();
    EXPECT_EQ(run("vcmd on"), kScriptFailed);
    g_printed.clear();
    EXPECT_EQ(run("vcmd"), kScriptDone);
    EXPECT_EQ(run("vcmd off"), kScriptDone);
    EXPECT_EQ(g_printed, (std::vector<std::string>{text_load_string(5922), text_load_string(5922)}));
    g_printed.clear();
    EXPECT_EQ(run("vcmd -l"), kScriptDone);
    EXPECT_EQ(g_printed, (std::vector<std::string>{"-", text_load_string(5929), "open", "-"}));
    g_printed.clear();
    EXPECT_EQ(run("vcmd -cl"), kScriptDone);
    EXPECT_EQ(g_printed, (std::vector<std::string>{text_load_string(5930)}));
    EXPECT_EQ(eval("$vcmd(0)"), "0");
    EXPECT_EQ(eval("$vcmdstat"), "0");
    EXPECT_EQ(eval("$vcmdver"), "0");
    // A quiet command prints nothing.
    g_printed.clear();
    EXPECT_EQ(run(".vcadd quiet"), kScriptDone);
    EXPECT_TRUE(g_printed.empty());
}
