// Shared set-up of the script dialog tests: the program's subsystems as at
// start, a connection with its status window, script files loaded as the
// settings load them, commands run as typed into the status window, and
// the "rec" command with which the scripts write down what they saw.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>
#include <QPointer>
#include <QTest>
#include <QWidget>

#include <string>
#include <vector>

#include "app/subsystems.h"
#include "extensions/dialog_runtime.h"
#include "extensions/dialog_tables.h"
#include "irc/link/connections.h"
#include "model/connection.h"
#include "model/connection_windows.h"
#include "model/window_record.h"
#include "core/string_list.h"
#include "script/events/event_fire.h"
#include "script/events/remote_files.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_types.h"
#include "script/stores/variables.h"
#define KEST_TEST_WIDGETS
#include "support/hook_guard.h"
#include "support/test_support.h"

inline std::vector<std::string>& dialog_recorded()
{
    static std::vector<std::string> lines;
    return lines;
}

inline int dialog_cmd_rec(CommandCall& call)
{
    dialog_recorded().emplace_back(call.rest());
    return 1;
}

class DialogTest : public ::testing::Test {
    HookGuard hooks_;
protected:
    void SetUp() override
    {
        ASSERT_TRUE(settings_.made());
        test_frame_mdi(frame_);
        app_install_subsystems();
        script_register_command("rec", dialog_cmd_rec);
        event_startup_hold = 0;
        event_switch_events = 1;
        remote_files_free_all();
        dialog_recorded().clear();
        script_error_clear();
        conn = conn_new_with_status(conn_list);
        ASSERT_TRUE(conn);
        status = conn_status_window(conn);
    }

    void TearDown() override
    {
        while (!script_dialogs.empty()) {
            ScriptDialog* d = script_dialogs.front();
            d->close_mode = 2;
            if (d->window && d->modal)
                d->window->done(0);
            dialog_free(d);
        }
        remote_files_free_all();
        if (conn_is_live(conn))
            conn_free(conn);
        test_drain_events();
        script_error_clear();
    }

    void load(const std::vector<std::string>& lines)
    {
        std::string text;
        for (const std::string& l : lines)
            text += l + "\n";
        const std::string path = settings_.path() + "dlg" + std::to_string(++scripts_) + ".kst";
        spit(path, text);
        ASSERT_TRUE(remote_file_load(path, kRemoteScript, 9999, nullptr));
    }

    // Runs a command line as typed into the status window; the error it
    // left (if any) is kept in `error`.
    int run(const std::string& line)
    {
        script_error_clear();
        const std::size_t before = status_lines().size();
        const int r = script_exec_line(status, line.c_str(), nullptr, 1, nullptr, nullptr, conn);
        error = script_error_state.text;
        // A typed command's error is printed into the status window.
        const std::vector<std::string> after = status_lines();
        for (std::size_t i = before; error.empty() && i < after.size(); ++i)
            if (after[i].rfind("* ", 0) == 0)
                error = after[i];
        test_drain_events();
        return r;
    }

    // The value of an identifier text, evaluated as a typed line does.
    std::string eval(const std::string& text)
    {
        std::string t = text;
        script_error_clear();
        ident_eval_text(status, &t, nullptr, nullptr, 0, -1, -1, nullptr, conn);
        error = script_error_state.text;
        return t;
    }

    std::vector<std::string> status_lines()
    {
        std::vector<std::string> out;
        WindowRecord* rec = win_record_of(status);
        for (const StringNode* n = rec ? rec->lines : nullptr; n; n = n->next)
            out.push_back(n->text);
        return out;
    }

    std::string var(const std::string& name)
    {
        std::string v;
        var_find(name, &v, nullptr);
        return v;
    }

    ScriptDialogWindow* window(const std::string& name)
    {
        ScriptDialog* d = dialog_find(name);
        return d ? d->window.data() : nullptr;
    }

    template <class W = QWidget>
    W* control(const std::string& name, int id)
    {
        ScriptDialogWindow* w = window(name);
        return w ? w->findChild<W*>(QString("dlg%1").arg(id)) : nullptr;
    }

    // What the scripts wrote down, then forgets it.
    std::vector<std::string> take()
    {
        std::vector<std::string> out;
        out.swap(dialog_recorded());
        return out;
    }

    TempSettingsDir settings_{"kest_dialogs_"};
    QPointer<QMainWindow> frame_;
    Connection* conn = nullptr;
    QWidget* status = nullptr;
    std::string error;
    int scripts_ = 0;
};
