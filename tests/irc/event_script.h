// A script loaded through a temporary settings folder into the real event
// engine, for the tests that follow which events and raw events a line
// fires and what a handler that halts changes. Its handlers call "heard",
// which keeps the rest of its line.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/script_engine.h"
#include "app/subsystems.h"
#include "commands/output_commands.h"
#include "commands/variable_commands.h"
#include "identifiers/builtin_identifiers.h"
#include "script/events/event_fire.h"
#include "script/events/remote_files.h"
#include "script/events/users.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"
#include "support/hook_guard.h"
#include "support/test_support.h"

// What the handlers' "heard" commands said, in order.
inline std::vector<std::string> script_heard;

inline int cmd_heard(CommandCall& call)
{
    script_heard.emplace_back(call.rest());
    return 1;
}

class EventScript {
public:
    // Loads the lines as a script file of a fresh settings folder, with the
    // Events and Raw switches on; the engine and the switches are put back
    // and the file unloaded when the object goes.
    explicit EventScript(const std::vector<std::string>& lines)
        : saved_(event_switch_events, event_switch_raw, user_default_level, event_startup_hold),
          settings_(std::make_unique<TempSettingsDir>("kest_events_"))
    {
        test_script_engine_install();
        script_register_command("heard", cmd_heard);
        event_switch_events = event_switch_raw = 1;
        user_default_level = 1;
        event_startup_hold = 0;
        script_error_clear();
        remote_files_free_all();
        script_heard.clear();
        const std::string path = settings_->path() + "events.kst";
        {
            std::ofstream out(path);
            for (const std::string& l : lines) out << l << "\n";
        }
        loaded_ = remote_file_load(path, kRemoteScript, 9999, nullptr) != nullptr;
    }
    ~EventScript()
    {
        remote_files_free_all();
        script_heard.clear();
    }
    EventScript(const EventScript&) = delete;
    EventScript& operator=(const EventScript&) = delete;

    bool loaded() const { return loaded_; }

private:
    SavedValues<int, int, int, int> saved_;
    std::unique_ptr<TempSettingsDir> settings_;
    bool loaded_ = false;
};
