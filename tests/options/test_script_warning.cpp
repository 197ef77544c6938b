// The warning before newly loaded scripts run their LOAD and START
// handlers: asked through the script loader's real /load, only while its
// option is on and a handler waits; Yes runs the handlers, No skips them.
#include <gtest/gtest.h>

#define KEST_TEST_WIDGETS
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTimer>

#include <fstream>
#include <string>
#include <vector>

#include "app/subsystems.h"
#include "commands/output_commands.h"
#include "commands/script_file_commands.h"
#include "commands/variable_commands.h"
#include "core/options.h"
#include "identifiers/builtin_identifiers.h"
#include "model/connection.h"
#include "options/script_warning.h"
#include "platform/platform_test_env.h"
#include "platform/platform_utils.h"
#include "script/events/event_fire.h"
#include "script/events/remote_files.h"
#include "script/events/users.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"
#include "script/stores/alias_files.h"
#include "support/hook_guard.h"
#include "support/test_support.h"

namespace {

std::vector<std::string> shown;

void record_print(QWidget*, int, const std::string& text, const EchoPrintOptions&, int kind)
{
    if (kind != kOutputSeparator)
        shown.push_back(text);
}
void record_echo(QWidget*, const std::string& text, int) { shown.push_back(text); }

class ScriptWarning : public ::testing::Test {
protected:
    HookGuard hooks_;
    TempSettingsDir temp{"kest_scriptwarn_"};
    Connection* conn = nullptr;
    decltype(output_print) saved_print = output_print;
    decltype(script_echo_line) saved_echo = script_echo_line;
    decltype(remote_ask_init_warning) saved_warning = remote_ask_init_warning;

    void SetUp() override
    {
        platform_test_app();
        ASSERT_TRUE(temp.made());
        script_engine_init();
        builtin_identifiers_install();
        variable_commands_register();
        output_commands_register();
        script_file_commands_register();
        events_install();
        app_wire_script_events();
        script_warning_install();
        remote_ask_init_warning = script_init_warning;
        output_print = record_print;
        script_echo_line = record_echo;
        script_error_clear();
        user_default_level = 1;
        event_startup_hold = 0;
        event_switch_events = 1;
        alias_files_free();
        ASSERT_EQ(alias_files_load_all(), 1);
        ASSERT_EQ(remote_files_load_all(), 1);
        conn = conn_new(nullptr);
        ASSERT_NE(conn, nullptr);
        shown.clear();
    }
    void TearDown() override
    {
        remote_files_free_all();
        alias_files_free();
        conn_free(conn);
        output_print = saved_print;
        script_echo_line = saved_echo;
        remote_ask_init_warning = saved_warning;
        script_warning_uninstall();
        script_error_clear();
        options_reset();
    }
    void write(const std::string& name, const std::vector<std::string>& lines)
    {
        std::ofstream out(temp.path() + name);
        for (const auto& l : lines)
            out << l << "\n";
    }
    // Runs the command; `answer` 1 or 2 clicks Yes or No in the warning
    // should it open. Returns how many warnings opened.
    int run(const std::string& line, int answer)
    {
        int opened = 0;
        QTimer timer;
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!d || d->objectName() != kScriptWarningName || !d->isVisible())
                return;
            ++opened;
            EXPECT_EQ(d->windowTitle().toStdString(), "Script Uyarısı");
            auto* no = qobject_cast<QPushButton*>(dlg_item(d, 2));
            EXPECT_TRUE(no && no->isDefault());
            if (auto* b = qobject_cast<QAbstractButton*>(dlg_item(d, answer)))
                b->click();
        });
        timer.start();
        script_exec_line(nullptr, line.c_str(), nullptr, 1, nullptr, nullptr, conn);
        timer.stop();
        return opened;
    }
    bool printed(const std::string& t) { return std::find(shown.begin(), shown.end(), t) != shown.end(); }
};

TEST_F(ScriptWarning, AskedOnlyWhileOnAndAHandlerWaits)
{
    write("ev.kst", {"on *:LOAD:echo -a loaded", "on *:START:echo -a started"});
    write("plain.kst", {"on *:TEXT:*:#:echo -a text"});
    const struct {
        const char* what;
        int option;
        const char* command;
        int answer;
        int warnings;
        bool handlers_ran;
    } cases[] = {
        {"option off", 0, "/load -rs ev.kst", 2, 0, true},
        {"yes", 1, "/load -rs ev.kst", 1, 1, true},
        {"no", 1, "/load -rs ev.kst", 2, 1, false},
        {"no handler waits", 1, "/load -rs plain.kst", 2, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        run("/unload -nrs ev.kst", 2);
        run("/unload -nrs plain.kst", 2);
        opt_set(OPT_SCRIPT_START_EVENTS, c.option);
        shown.clear();
        EXPECT_EQ(run(c.command, c.answer), c.warnings);
        EXPECT_EQ(printed("loaded"), c.handlers_ran);
        EXPECT_EQ(printed("started"), c.handlers_ran);
    }
}

TEST_F(ScriptWarning, ARefusalIsNotAskedAgainByTheNextLoad)
{
    // Each script sees its LOAD once: after No the handlers are done with,
    // so loading a second script asks only for that one's handlers.
    write("a.kst", {"on *:LOAD:echo -a a loaded"});
    write("b.kst", {"on *:LOAD:echo -a b loaded"});
    opt_set(OPT_SCRIPT_START_EVENTS, 1);
    EXPECT_EQ(run("/load -rs a.kst", 2), 1);
    EXPECT_FALSE(printed("a loaded"));
    shown.clear();
    EXPECT_EQ(run("/load -rs b.kst", 1), 1);
    EXPECT_TRUE(printed("b loaded"));
}

}  // namespace
