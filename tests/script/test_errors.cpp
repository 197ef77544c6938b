#include "test_exec_fixture.h"

#include <fstream>

#include "core/string_list.h"
#include "platform/platform_utils.h"
#include "script/stores/alias_files.h"
#include "support/test_support.h"

using namespace interp_test;

namespace {

// A type-5 error is a warning box with the program's title, not a line;
// without its text there is nothing to show, and a box asked for while one
// is open is not stacked on it.
TEST(ScriptErrors, SharingErrorOpensOneWarningBox)
{
    static std::vector<std::pair<std::string, std::string>> boxes;
    static int nested = 0;
    boxes.clear();
    auto saved = message_dialog_hook;
    message_dialog_hook = [](const std::string& caption, const std::string& text) {
        boxes.emplace_back(caption, text);
        if (nested++ == 0)
            script_error(nullptr, "again", "inner", 5);
    };
    script_error_clear();
    EXPECT_EQ(script_error(nullptr, "scripts", "", 5), 0);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(script_error(nullptr, "scripts", "remote.ini", 5), 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, script_program_title);
    EXPECT_EQ(boxes[0].second, "remote.ini Hafızasının paylaşılmasında hata oluştu");
    EXPECT_EQ(script_error_state.text, "");
    message_dialog_hook = saved;
    nested = 0;
    // The guard is down again: a later error shows its own box.
    boxes.clear();
    message_dialog_hook = [](const std::string& caption, const std::string& text) { boxes.emplace_back(caption, text); };
    script_error(nullptr, "scripts", "x.ini", 5);
    EXPECT_EQ(boxes.size(), 1u);
    message_dialog_hook = saved;
}

TEST(ScriptErrors, MessagesByType)
{
    const struct {
        int type;
        const char* word;
        const char* extra;
        const char* expected;
    } cases[] = {
        {0, "join", "", "* /join: Yetersiz veya eksik parametre"},
        {1, "load", "x.ini", "* /load: Dosya bulunamadı 'x.ini'"},
        {2, "", "command", "* command Hafızasının paylaşılmasında hata oluştu "},
        {6, "* whole message", "", "* whole message"},
        {10, "", "$&", "* Sıra cok uzun: $&"},
        {12, "", "", "* Servera bağlı değilsiniz"},
        {8, "x", "", ""},
        {9, "x", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        script_error_clear();
        EXPECT_EQ(script_error(nullptr, c.word, c.extra, c.type), 0);
        EXPECT_EQ(script_error_state.text, c.expected);
    }
    script_error_clear();
    std::string long_word(1100, 'w');
    script_error(nullptr, long_word, "", 0);
    EXPECT_EQ(script_error_state.text, "* /" + std::string(1024, 'w') + "...: Yetersiz veya eksik parametre");
    script_error_clear();
}

TEST(ScriptErrors, IdentErrorTakesTheNameUpToTheParenthesis)
{
    EvalToken tok;
    tok.text = "$left(abc";
    ident_error(&tok, nullptr, 4);
    EXPECT_EQ(script_error_state.text, "* Çok az parametre: $left");
    ident_error(&tok, nullptr, 77);
    EXPECT_EQ(script_error_state.text, "* Geçersiz format: $left");
    script_error_clear();
}

TEST_F(InterpTest, ErrorShownOnceWithLineAndFile)
{
    // The aliases come from a loaded alias file, which gives the place.
    TempSettingsDir temp{"kest_errplace_"};
    ASSERT_TRUE(temp.made());
    std::ofstream(temp.path() + "test.ini")
        << "[aliases]\nn0=inner {\nn1=  say in\nn2=  fail\nn3=  say after\nn4=}\n"
           "n5=middle inner\nn6=outer middle | say never\n";
    AliasFile* file = alias_file_load(temp.path() + "test.ini");
    ASSERT_NE(file, nullptr);
    alias_index_rebuild();
    EXPECT_EQ(run("outer"), 0);
    alias_files_free();
    EXPECT_EQ(echoed, std::vector<std::string>{"in"});
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "* /fail: Yetersiz veya eksik parametre (Satır 3, test.ini)");
}

TEST_F(InterpTest, ErrorLabelContinuesWithErrorPending)
{
    alias_add("e {\n  fail\n  say skipped\n  :error\n  say handled\n  reseterror\n  say done\n}");
    EXPECT_EQ(run("e"), 1);
    EXPECT_EQ(echoed, (std::vector<std::string>{"handled", "done"}));
    EXPECT_TRUE(errors.empty());

    echoed.clear();
    alias_add("k {\n  fail\n  :error\n  say seen\n}");
    EXPECT_EQ(run("k"), 0);   // not reset: the error stays and is shown
    EXPECT_EQ(echoed, std::vector<std::string>{"seen"});
    ASSERT_EQ(errors.size(), 1u);
}

TEST_F(InterpTest, ConditionErrors)
{
    const struct {
        const char* line;
        const char* error;
    } cases[] = {
        {"if", "* /if: Yetersiz veya eksik parametre"},
        {"while", "* /while: Yetersiz veya eksik parametre"},
        {"if (1 ==) say x", "* /if: Geçersiz format"},
        {"if (0) { say x", "* /if: Kapalı ayraç bulunamadı"},
        {"if (0) say a | else", "* /elseif: Yetersiz veya eksik parametre"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        errors.clear();
        EXPECT_EQ(run(c.line), 0);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0], c.error);
    }
}

} // namespace
