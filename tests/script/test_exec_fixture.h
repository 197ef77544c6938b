// Shared set-up of the interpreter tests: one live connection with a wire the
// lines sent to the server go to, collectors for echoed lines and script
// errors, and a few small commands that the tests drive the interpreter with.
#pragma once

#include <gtest/gtest.h>
#include "commands/ctcp_commands.h"
#include "app/subsystems.h"

#include <string>
#include <vector>

#include "model/connection.h"
#include "script/exec/alias_lookup.h"
#include "script/exec/executor.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"
#include "script/stores/variables.h"
#include "support/hook_guard.h"
#include "support/test_wire.h"
#include "commands/output_commands.h"
#include "commands/variable_commands.h"
#include "identifiers/builtin_identifiers.h"

namespace interp_test {

inline std::vector<std::string> echoed;   // what "say" printed
inline std::vector<std::string> errors;   // lines printed by the error path

// "say": records its argument text as the handler receives it.
inline int cmd_say_test(CommandCall& call)
{
    echoed.emplace_back(call.rest());
    return 1;
}

// "fail": a handler that fails with the missing-parameter message.
inline int cmd_fail_test(CommandCall& call)
{
    return script_error(nullptr, call.tokens[0], {}, 0);
}

// "bump name": adds one to the variable %name (0 when unset).
inline int cmd_bump_test(CommandCall& call)
{
    std::string name = call.arg(1);
    if (!name.empty() && name[0] == '%')
        name.erase(0, 1);
    std::string value;
    var_find(name, &value, call.locals ? *call.locals : nullptr);
    std::string next = std::to_string(std::atol(value.c_str()) + 1);
    var_set(nullptr, name, &next, nullptr, 0, 1, 0, 0, nullptr, 0);
    return 1;
}

// "clearv name": sets the variable %name to 0. (A word that begins with
// "z" would never reach a handler: such words go straight to the server.)
inline int cmd_zero_test(CommandCall& call)
{
    std::string name = call.arg(1);
    if (!name.empty() && name[0] == '%')
        name.erase(0, 1);
    std::string zero = "0";
    var_set(nullptr, name, &zero, nullptr, 0, 1, 0, 0, nullptr, 0);
    return 1;
}

inline void echo_recorder(QWidget*, const std::string& text, int)
{
    errors.push_back(text);
}

class InterpTest : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    TestWire wire;
    Connection* conn = nullptr;

    // The lines sent to the server so far.
    const std::vector<std::string>& sent() { return wire.lines(); }

    void SetUp() override
    {
        script_engine_init();
        builtin_identifiers_install();
        variable_commands_register();
        output_commands_register();
        script_register_command("say", cmd_say_test);
        script_register_command("fail", cmd_fail_test);
        script_register_command("bump", cmd_bump_test);
        script_register_command("clearv", cmd_zero_test);
        // Words nobody handles go where the program sends them.
        cmd_unknown = cmd_unknown_word;
        script_echo_line = echo_recorder;
        echoed.clear();
        errors.clear();
        alias_clear_all();
        script_error_clear();
        conn = conn_new(nullptr);
        ASSERT_NE(conn, nullptr);
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        conn->live_identity[2] = "kestuser";
    }

    void TearDown() override
    {
        alias_clear_all();
        conn->socket = -1;
        conn_free(conn);
    }

    int run(const std::string& text, int mode = 1, const char* params = nullptr)
    {
        return script_exec_line(nullptr, text.c_str(), params, mode, nullptr, nullptr, conn);
    }

    std::string eval(const std::string& text)
    {
        std::string t = text;
        std::string* r = ident_eval_text(nullptr, &t, nullptr, nullptr, 0, 0, -1, nullptr, conn);
        return r ? *r : std::string("<failed>");
    }
};

} // namespace interp_test
