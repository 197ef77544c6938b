// /ddeserver in a program of its own: turning the service off and on,
// renaming it, what it says (and says nothing when quiet), and the
// settings it saves; $isdde( and $dde( of its own name are answered
// without a socket.
#include "extensions/script_fixture.h"

#include <string>
#include <sys/stat.h>

#include "app/frame_dde.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "extensions/dde_client.h"
#include "platform/app_messages.h"
#include "platform/frame_timers.h"
#include "platform/local_ipc.h"

using namespace ext_test;

namespace {

class DdeServerCommand : public ScriptTest {
protected:
    SavedEnv env{"XDG_RUNTIME_DIR"};
    std::optional<TempDir> runtime;
    DdeSettings saved_settings = dde_settings;

    void SetUp() override
    {
        ScriptTest::SetUp();
        runtime.emplace("kest_dde_run_");
        ASSERT_TRUE(runtime->made());
        ::chmod(runtime->path.c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", runtime->path.c_str(), 1);
        dde_client_install();
        dde_settings = DdeSettings();
        dde_settings.service = "kestunit";
    }
    void TearDown() override
    {
        dde_stop();
        dde_client_uninstall();
        dde_settings = saved_settings;
        ScriptTest::TearDown();
    }
    std::vector<std::string> shown()
    {
        std::vector<std::string> out;
        for (const std::string& line : status_lines())
            if (line != "-")
                out.push_back(line);
        return out;
    }
    std::string saved(const char* key)
    {
        std::string out;
        ini_read("dde", key, "<none>", out, 1024, main_ini_path);
        return out;
    }
};

TEST_F(DdeServerCommand, OffOnAndRenamed)
{
    EXPECT_EQ(run("ddeserver on"), 1);
    EXPECT_EQ(dde_registered_name(), "kestunit");
    EXPECT_TRUE(ipc_server_running("kestunit"));
    EXPECT_EQ(eval("$isdde(kestunit) $isdde(kestother)"), "$true $false");
    EXPECT_EQ(eval("$dde(kestunit, EVALUATE, $chr(36) $+ ddename)"), "kestunit");
    // The bare form's three operands are evaluated first.
    EXPECT_EQ(eval("a $dde $+(kest,unit) $upper(version) x b"), std::string("a Kest ") + KEST_VERSION + " b");
    EXPECT_EQ(eval("$dde -d kestunit EVALUATE $lower(ABC) d"), "abc d");
    EXPECT_EQ(eval("$dde kestunit VERSION"), "<failed>");
    EXPECT_EQ(script_error_state.text, "* $dde: Yetersiz ve eksik Parametre");
    EXPECT_EQ(run("ddeserver off"), 1);
    EXPECT_FALSE(ipc_server_running("kestunit"));
    EXPECT_EQ(eval("$isdde(kestunit)"), "$false");
    EXPECT_EQ(saved("ServerStatus"), "off");
    EXPECT_EQ(run("ddeserver on kestrenamed"), 1);
    EXPECT_TRUE(ipc_server_running("kestrenamed"));
    EXPECT_EQ(saved("ServerStatus"), "on");
    EXPECT_EQ(saved("ServiceName"), "kestrenamed");
    EXPECT_EQ(eval("$ddename"), "kestrenamed");
    // Without a word it only tells.
    EXPECT_EQ(run("ddeserver"), 1);
    EXPECT_EQ(shown(), (std::vector<std::string>{"* DDE Server Açık (kestunit)", "* DDE Server Kapalı",
                                                 "* DDE Server Açık (kestrenamed)",
                                                 "* DDE Server Açık (kestrenamed)"}));
    // Quietly, nothing is said; a name is cut to 256 characters.
    EXPECT_EQ(run(".ddeserver on " + std::string(300, 'n')), 1);
    EXPECT_EQ(dde_registered_name(), std::string(256, 'n'));
    EXPECT_EQ(shown().size(), 4u);
}

TEST_F(DdeServerCommand, HostileNamesAndItemsAreBounded)
{
    ASSERT_EQ(run(".ddeserver on"), 1);
    const std::string huge(10000, 'a');
    for (const std::string& text : {"$isdde(" + huge + ")", "x $dde(" + huge + ", VERSION) y",
                                    "x $dde(kestunit, EVALUATE, " + huge + ") y"}) {
        const std::string value = eval(text);
        EXPECT_LE(value.size(), 4150u) << text.substr(0, 40);
    }
    // A topic or item with a line end is never sent.
    EXPECT_EQ(eval("x $dde(kestunit, $+(VERSION,$chr(10),EXECUTE)) y"), "x y");
    std::string data;
    EXPECT_EQ(dde_client_transaction("kestunit", "EXECUTE", "ITEM\nCOMMAND", data, kDdePoke, 1000), 0);
    EXPECT_EQ(dde_client_transaction("kestunit", "VERSION", "", data, kDdeRequestAnswer, 1000), 1);
    EXPECT_EQ(data, std::string("Kest ") + KEST_VERSION);
}

// A request made while another is being made waits in the queue for the
// timer; the one before it is not held up.
TEST_F(DdeServerCommand, ARequestMadeDuringAnotherWaitsForTheQueuesTimer)
{
    frame_timers_set_handler(frame_on_timer);
    ASSERT_EQ(run(".ddeserver on"), 1);
    win_active = window();
    run("set %early no | set %late no");
    // Nothing in progress: each request is made at once. (The variables'
    // names are made so that /dde is handed them, not their values.)
    EXPECT_EQ(run("dde -e kestunit COMMAND /set $+(%,early) yes | dde -e kestunit COMMAND /set $+(%,late) yes"), 1);
    EXPECT_EQ(eval("%early %late"), "yes yes");
    EXPECT_FALSE(frame_timer_is_running(FRAME_TIMER_DDE));
    // The service runs a command that queues another while the first
    // transaction is still being made: that one waits for the timer.
    EXPECT_EQ(run("dde -e kestunit COMMAND /dde -e kestunit COMMAND /set $+(%,late) queued"), 1);
    EXPECT_EQ(eval("%late"), "yes");
    EXPECT_EQ(dde_queue_length(), 1);
    EXPECT_TRUE(frame_timer_is_running(FRAME_TIMER_DDE));
    ASSERT_TRUE(wait_until([] { return dde_queue_length() == 0; }));
    EXPECT_EQ(eval("%late"), "queued");
    EXPECT_FALSE(frame_timer_is_running(FRAME_TIMER_DDE));
    win_active = nullptr;
}

}  // namespace
