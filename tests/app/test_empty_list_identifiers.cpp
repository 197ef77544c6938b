// Identifiers over lists the program does not hold yet (DCC transfers and
// chats, the address book, the trusted list, picture windows, DDE, locks,
// sound devices) asked from a loaded script: each answers as its list does
// when empty and the script goes on; a wrong argument count still stops it.
// $url( reads the real URL list.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "model/connection.h"
#include "app/frame_proc.h"
#include "app/subsystems.h"
#include "model/window_record.h"
#include "commands/window_commands.h"
#include "core/main_settings.h"
#include "core/string_list.h"
#include "display/editbox.h"
#include "platform/app_messages.h"
#include "script/events/remote_files.h"
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/window_fixture.h"

namespace {

std::vector<std::string> lines_of(const WindowRecord* rec)
{
    std::vector<std::string> out;
    for (const StringNode* n = rec ? rec->lines : nullptr; n; n = n->next)
        out.push_back(n->text);
    return out;
}

bool has(const std::vector<std::string>& lines, const std::string& text)
{
    return std::find(lines.begin(), lines.end(), text) != lines.end();
}

class EmptyListIdentifiers : public ::testing::Test {
    HookGuard hooks_;
    SavedValues<std::string, std::string, std::string> dirs_{main_settings.waves_dir, main_settings.midis_dir,
                                                             main_settings.mp3s_dir};

protected:
    TempSettingsDir temp{"kest_empty_ids_"};

    void SetUp() override
    {
        ASSERT_TRUE(temp.made());
        window_test_reset();
        app_install_subsystems();
        app_messages_set_frame(nullptr);
        frame_proc_install();
        remote_files_free_all();
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        status = win_record_of(conn->status_window);
        ASSERT_TRUE(status && status->editbox.get());
        main_settings.waves_dir = "/snd/waves/";
        main_settings.midis_dir = "/snd/midis/";
        main_settings.mp3s_dir = "/snd/songs/";
    }
    void TearDown() override
    {
        remote_files_free_all();
        window_test_reset();
    }
    void type(const std::string& text)
    {
        status->editbox->setTextBytes(text);
        editbox_submit(status, status->editbox.get(), kSubmitNormal | kSubmitAlways, 0);
        window_test_pump();
    }
    // Loads a script whose alias "probe" runs the lines, then runs it.
    void run_probe(const std::vector<std::string>& body)
    {
        const std::string path = temp.path() + "probe.kst";
        {
            std::ofstream out(path);
            out << "alias probe {\n";
            for (const std::string& l : body)
                out << "  " << l << "\n";
            out << "}\n";
        }
        type("/load -rs " + path);
        type("/probe");
    }

    Connection* conn = nullptr;
    WindowRecord* status = nullptr;
};

TEST_F(EmptyListIdentifiers, EachAnswersItsEmptyValueAndTheScriptGoesOn)
{
    const struct {
        const char* expr;
        const char* value;
    } cases[] = {
        {"$send(0)", "0"},
        {"$send(1)", ""},
        {"$send(-1).file", ""},  // the transfer of a DCC event: there is none
        {"$send(bob)", ""},
        {"$send(bob,0)", "0"},
        {"$get(0)", "0"},
        {"$get(1).size", ""},
        {"$get(bob,2)", ""},
        {"$chat(0)", "0"},
        {"$chat(-2)", "0"},
        {"$chat(bob).ip", ""},
        {"$fserv(0)", "0"},
        {"$fserve(1).cd", ""},
        {"$abook(0)", "0"},
        {"$abook(1).email", ""},
        {"$abook(a*)", ""},
        {"$abook(a*,0)", "0"},
        {"$trust(0)", "0"},
        {"$trust(1)", ""},
        {"$snotify", ""},
        {"$click(@pic,0)", ""},
        {"$getdot(@pic,1,1)", ""},
        {"$dde(service,topic)", ""},
        {"$isdde(service)", "$false"},
        {"$url", ""},
        {"$lock(send)", "$false"},
        {"$lock(#locked)", "$false"},
        {"$lock(0)", "0"},
        {"$lock(1)", ""},
        {"$lock(other)", ""},
        {"$inwave", "$false"},
        {"$inmidi.pause", "$false"},
        {"$insong.length", "0"},
        {"$inmp3.fname", ""},
        {"$insound(mid)", "$false"},
        {"$insound(x.wav).pos", "0"},
        {"$sound(mid)", "/snd/midis/"},
        {"$sound(wav)", "/snd/waves/"},
        {"$mp3(tune.mp3)", "/snd/songs/"},
        {"$sound(other)", "/snd/waves/"},
    };
    std::vector<std::string> body;
    for (std::size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
        body.push_back("echo -s case" + std::to_string(i) + " < $+ " + cases[i].expr + " $+ >");
    body.push_back("echo -s went on");
    run_probe(body);
    const std::vector<std::string> lines = lines_of(status);
    for (std::size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE(cases[i].expr);
        EXPECT_TRUE(has(lines, "case" + std::to_string(i) + " <" + cases[i].value + ">"))
            << ::testing::PrintToString(lines);
    }
    EXPECT_TRUE(has(lines, "went on"));
    for (const std::string& l : lines)
        EXPECT_EQ(l.find("not available yet"), std::string::npos) << l;
}

// A wrong argument count is still the script error it always was.
TEST_F(EmptyListIdentifiers, AWrongArgumentCountStopsTheScript)
{
    const char* wrong[] = {"$get(1,2,3)", "$abook(a,1,2)", "$dde(one)", "$sound(a,b,c)"};
    for (const char* expr : wrong) {
        SCOPED_TRACE(expr);
        run_probe({std::string("echo -s value ") + expr, "echo -s went on"});
        const std::vector<std::string> lines = lines_of(status);
        EXPECT_FALSE(has(lines, "went on")) << ::testing::PrintToString(lines);
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                                [](const std::string& l) { return l.find("Geçersiz parametre") != std::string::npos; }))
            << ::testing::PrintToString(lines);
        type("/clear");
    }
}

TEST_F(EmptyListIdentifiers, UrlReadsTheEntriesOfTheUrlList)
{
    type("/url add ? http://one.test/page First page");
    type("/url add ! http://two.test/ Second");
    const std::vector<std::string>& entries = url_list_entries();
    const auto at = [&](const std::string& entry) {
        return std::to_string(std::find(entries.begin(), entries.end(), entry) - entries.begin() + 1);
    };
    const std::string first = at("?:First pageURL:http://one.test/page");
    const std::string second = at("!:SecondURL:http://two.test/");
    ASSERT_NE(first, std::to_string(entries.size() + 1));
    ASSERT_NE(second, std::to_string(entries.size() + 1));
    run_probe({"echo -s count $url(0)", "echo -s a $url(" + first + ")", "echo -s d $url(" + first + ").desc",
               "echo -s m $url(" + second + ").marker", "echo -s g $url(" + second + ").addr",
               "echo -s past < $+ $url(9998) $+ >"});
    const std::vector<std::string> lines = lines_of(status);
    EXPECT_TRUE(has(lines, "count " + std::to_string(entries.size()))) << ::testing::PrintToString(lines);
    EXPECT_TRUE(has(lines, "a http://one.test/page"));
    EXPECT_TRUE(has(lines, "d First page"));
    EXPECT_TRUE(has(lines, "m !"));
    EXPECT_TRUE(has(lines, "g http://two.test/"));
    EXPECT_TRUE(has(lines, "past <>"));
    type("/url delete ?");
    type("/url delete !");
}

}  // namespace
