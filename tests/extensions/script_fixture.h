// The interpreter as the program installs it, a connection with a status
// window, a settings folder of the test's own, and what scripts print:
// the shared set-up of the script extension tests.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QWidget>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/child_widgets.h"
#include "commands/output_commands.h"
#include "core/string_list.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"
#include "support/hook_guard.h"
#include "support/script_engine.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"

namespace ext_test {

struct Printed {
    static inline std::vector<std::string> lines;   // /echo and the like
    static inline std::vector<std::string> errors;  // script errors and info lines
    static void error(QWidget*, const std::string& text, int) { errors.push_back(text); }
    static void print(QWidget*, int, const std::string& text, const EchoPrintOptions&, int)
    {
        lines.push_back(text);
    }
};

class ScriptTest : public ::testing::Test {
    HookGuard hooks_;

protected:
    Connection* conn = nullptr;
    WindowRecord* status = nullptr;
    std::optional<TempSettingsDir> settings;

    void SetUp() override
    {
        test_app();
        settings.emplace("kest_ext_");
        ASSERT_TRUE(settings->made());
        test_script_engine_install();
        conn = conn_new(nullptr);
        ASSERT_NE(conn, nullptr);
        status = win_record_new(1);
        status->name = "Status Window";
        status->type = kWinStatus;
        status->conn = conn;
        status->hwnd = new QWidget;
        status->text_area = new TextArea(status->hwnd.get());
        conn->status_window = status->hwnd.get();
        output_print = Printed::print;
        script_echo_line = Printed::error;
        Printed::lines.clear();
        Printed::errors.clear();
        script_error_clear();
    }

    void TearDown() override
    {
        QWidget* w = status->hwnd.get();
        win_record_free(status);
        delete w;
        conn_free(conn);
        script_error_clear();
        settings.reset();
    }

    QWidget* window() const { return status->hwnd.get(); }

    // Runs a script line in the status window; the executor's result.
    int run(const std::string& line)
    {
        script_error_clear();
        return script_exec_line(window(), line.c_str(), nullptr, 1, nullptr, nullptr, conn);
    }

    // Evaluates a text as a script does; "<failed>" when evaluation failed.
    std::string eval(const std::string& text)
    {
        script_error_clear();
        std::string t = text;
        std::string* r = ident_eval_text(window(), &t, nullptr, nullptr, 0, 1, -1, nullptr, conn);
        return r ? *r : std::string("<failed>");
    }

    // The text of the status window's lines, oldest first.
    std::vector<std::string> status_lines() const
    {
        std::vector<std::string> out;
        for (const StringNode* n = status->lines; n; n = n->next)
            if (!n->text.empty())
                out.push_back(n->text.substr(std::min<std::size_t>(static_cast<std::size_t>(n->extra[0]), n->text.size())));
        return out;
    }

    // The last error or info line a script printed ("" when none).
    static std::string last_error()
    {
        return Printed::errors.empty() ? std::string() : Printed::errors.back();
    }

    // Delivers events until the condition holds; false when it still does
    // not after the bound (a stuck test, not a timing).
    static bool wait_until(const std::function<bool()>& done, int ms = 30000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
};

}  // namespace ext_test
