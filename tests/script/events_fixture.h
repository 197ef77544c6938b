// Shared set-up of the event tests: a temporary settings folder, one live
// connection, a "say" command that records its evaluated arguments, and
// helpers that write and load scripts and the users file.
#pragma once

#include <gtest/gtest.h>
#include "support/script_engine.h"
#include "app/subsystems.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/connection.h"
#include "core/ini.h"
#include "core/string_list.h"
#include "script/eval/evaluate.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"
#include "script/events/remote_files.h"
#include "script/events/users.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"
#include "support/hook_guard.h"
#include "commands/output_commands.h"
#include "commands/variable_commands.h"
#include "identifiers/builtin_identifiers.h"

namespace events_test {

inline std::vector<std::string> said;

inline int cmd_say(CommandCall& call)
{
    said.emplace_back(call.rest());
    return 1;
}

class EventsTest : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    Connection* conn = nullptr;
    std::string dir;

    void SetUp() override
    {
        char tmpl[] = "/tmp/kest_events_XXXXXX";
        char* d = mkdtemp(tmpl);
        ASSERT_NE(d, nullptr);
        dir = std::string(d) + "/";
        settings_dir = dir;
        main_ini_path = dir + "kest.ini";
        test_script_engine_install();
        script_register_command("say", cmd_say);
        said.clear();
        script_error_clear();
        user_default_level = 1;
        event_startup_hold = 0;
        remote_files_free_all();
        conn = conn_new(nullptr);
        ASSERT_NE(conn, nullptr);
        conn->live_identity[2] = "me";
    }
    void TearDown() override
    {
        remote_files_free_all();
        conn_free(conn);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    void write_file(const std::string& name, const std::vector<std::string>& lines)
    {
        std::ofstream out(dir + name);
        for (const auto& l : lines)
            out << l << "\n";
    }
    ScriptFile* load_script(const std::string& name, const std::vector<std::string>& lines)
    {
        write_file(name, lines);
        return remote_file_load(dir + name, kRemoteScript, 9999, nullptr);
    }
    ScriptFile* load_script_again(const std::string& name)
    {
        return remote_file_load(dir + name, kRemoteScript, 0, nullptr);
    }
    ScriptFile* load_users(const std::vector<std::string>& entries)
    {
        std::vector<std::string> lines{"[users]"};
        for (std::size_t i = 0; i < entries.size(); ++i)
            lines.push_back("n" + std::to_string(i) + "=" + entries[i]);
        write_file("users.ini", lines);
        return remote_file_load(dir + "users.ini", kRemoteUsers, 9999, nullptr);
    }
    static EventLine text_line(const std::string& nick, const std::string& target,
                               const std::string& text)
    {
        EventLine l;
        l.nick = nick;
        l.address = nick + "@host.example";
        l.source = nick + "!" + l.address;
        l.command = "PRIVMSG";
        l.params = {target, text};
        l.target = target;
        l.text = text;
        return l;
    }
    int fire_line(const EventLine& line, const char* word, int id, int phase, int* halt = nullptr)
    {
        EventSource src;
        src.line = &line;
        return event_fire(conn, nullptr, nullptr, word, id, phase, halt, &src);
    }
};

} // namespace events_test
