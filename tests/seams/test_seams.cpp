// The seam check. The program is started the way its entry starts it (the
// subsystems joined, then a whole start with a settings folder of its own);
// then every function-pointer seam declared in a header under src/ (the
// table written by seam_scan at build time), every built-in command word and
// every built-in identifier must be set, or be named on the waiting list
// src/app/seams_waiting.inc with the work that builds it. A seam that still
// holds a default doing nothing (the stub table written by seam_scan
// --stubs from the sources) counts as unset. The list must stay
// true: an entry that is set, names nothing, repeats or carries an unknown
// tag fails too.
#include <gtest/gtest.h>

#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "app/frame_menu.h"
#include "app/startup.h"
#include "app/subsystems.h"
#include "script/eval/identifier_table.h"
#include "script/exec/executor.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"
#include "support/hook_guard.h"

// One seam of the table: its name, the header that declares it, and whether
// it is set.
struct SeamEntry {
    const char* name;
    const char* header;
    bool (*is_set)();
};

// The table, with the includes of the headers it reads.
#include "seam_table.inc"

// One free seam whose default in its source file does nothing (an empty
// body, or one that only returns a constant): its name, the source that
// defines it, the default's name, and whether the seam still holds that
// default. Such a seam counts as null: a stub that answers 0 hides a dead
// feature as well as a null does.
struct SeamStub {
    const char* name;
    const char* source;
    const char* stub;
    bool (*still_held)();
};

// The stub table (written by seam_scan --stubs from the sources), ended by
// an entry without a name.
#include "seam_stubs.inc"

namespace {

struct WaitingEntry {
    const char* name;
    const char* tag;
};

const WaitingEntry kWaiting[] = {
#include "app/seams_waiting.inc"
    {nullptr, nullptr},
};

// The listeners the built features add to the program's signals, each
// named by its signal and the priority it listens at.
struct ExpectedListener {
    const char* name;
    bool (*present)();
};

}  // namespace

// Outside the unnamed namespace: the table includes the headers of the
// signals it reads, save those of the folders above app/.
#include "commands/play_queue.h"
#include "extensions/dialog_runtime.h"
#include "extensions/sockets.h"
#include "dcc/dcc_dialogs.h"
#include "dcc/dcc_engine.h"
#include "dcc/dcc_window.h"
#include "app/listeners_expected.inc"

namespace {

// The work that a waiting entry may name.
const std::set<std::string> kTags = {
    "[stores]", "[identifiers]", "[ctcp]", "[commands]", "[net]",        "[frame]",  "[menus]", "[text]",
    "[bars]",   "[options]",     "[dcc]",  "[extensions]", "[media]", "[tools]",
};

namespace fs = std::filesystem;

// What stayed unset once the program had started.
struct Snapshot {
    bool taken = false;
    std::set<std::string> null_seams;
    std::set<std::string> bare_commands;      // "/word"
    std::set<std::string> bare_identifiers;   // "$name"
    std::set<std::string> bare_menu_commands; // "menu <id>"
    std::set<std::string> missing_listeners;
};

// The seams that count as unset: null, or still holding a default that
// does nothing.
template <std::size_t N, std::size_t M>
std::set<std::string> unset_seams(const SeamEntry (&table)[N], const SeamStub (&stubs)[M])
{
    std::set<std::string> out;
    for (const SeamEntry& e : table)
        if (!e.is_set())
            out.insert(e.name);
    for (const SeamStub& s : stubs)
        if (s.name && s.still_held())
            out.insert(s.name);
    return out;
}

// The default that a seam still holds, for the message ("" when none).
std::string stub_held_by(const std::string& name)
{
    for (const SeamStub& s : kSeamStubs)
        if (s.name && name == s.name && s.still_held())
            return std::string(" holds its do-nothing default ") + s.stub + " (" + s.source + ") and";
    return {};
}

Snapshot take_snapshot()
{
    Snapshot s;
    s.taken = true;
    s.null_seams = unset_seams(kSeamTable, kSeamStubs);
    for (const ExpectedListener* l = kExpectedListeners; l->name; ++l)
        if (!l->present())
            s.missing_listeners.insert(l->name);
    for (int i = 0; i < command_table_size(); ++i) {
        const char* word = command_table_word(i);
        if (!command_has_handler(word))
            s.bare_commands.insert(std::string("/") + word);
    }
    for (int i = 0; i < ident_table_size(); ++i) {
        const IdentEntry* e = ident_table_entry(i);
        if (!e->handler)
            s.bare_identifiers.insert(std::string("$") + e->name);
    }
    int menu_count = 0;
    const FrameMenuCommand* menu = frame_menu_commands(&menu_count);
    for (int i = 0; i < menu_count; ++i)
        if (!frame_menu_command(menu[i].id))
            s.bare_menu_commands.insert("menu " + std::to_string(menu[i].id));
    return s;
}

// Starts the program in this process with a settings folder of its own,
// takes the snapshot once the deferred start has run, and closes the frame.
Snapshot start_and_snapshot()
{
    test_app();
    fs::path root = fs::temp_directory_path() / ("kest_seams_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "settings");
    fs::create_directories(root / "run");
    ::chmod((root / "run").c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);

    static Snapshot snapshot;
    snapshot = Snapshot();
    app_install_subsystems();
    QTimer::singleShot(300, [] {
        snapshot = take_snapshot();
        frame_close(1);
    });
    std::vector<std::string> args = {"kest", "-r", (root / "settings").string(), "-noconnect"};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int rc = app_run(static_cast<int>(args.size()), argv.data(), kShowNormal);
    EXPECT_EQ(rc, 0);
    fs::remove_all(root);
    return snapshot;
}

std::string header_of(const std::string& name)
{
    for (const SeamEntry& e : kSeamTable)
        if (name == e.name)
            return e.header;
    return {};
}

bool is_command(const std::string& word)
{
    for (int i = 0; i < command_table_size(); ++i)
        if (word == command_table_word(i))
            return true;
    return false;
}

bool is_identifier(const std::string& name)
{
    for (int i = 0; i < ident_table_size(); ++i)
        if (name == ident_table_entry(i)->name)
            return true;
    return false;
}

// "menu <id>" of an id of the frame's menu-command registry.
bool is_menu_command(const std::string& name)
{
    int count = 0;
    const FrameMenuCommand* menu = frame_menu_commands(&count);
    for (int i = 0; i < count; ++i)
        if (name == "menu " + std::to_string(menu[i].id))
            return true;
    return false;
}

bool names_menu_command(const std::string& name)
{
    return name.rfind("menu ", 0) == 0;
}

}  // namespace

// The list itself: known tags, no repeats, every name of a seam, a command
// word or an identifier that exists.
TEST(SeamList, NamesOnlyThingsThatExistOnceWithAKnownTag)
{
    std::set<std::string> seams;
    for (const SeamEntry& e : kSeamTable)
        seams.insert(e.name);
    ASSERT_GT(seams.size(), 5u) << "the scan found too few seams to be reading the headers";

    std::set<std::string> seen;
    for (const WaitingEntry* w = kWaiting; w->name; ++w) {
        const std::string name = w->name;
        SCOPED_TRACE(name);
        EXPECT_TRUE(kTags.count(w->tag)) << "unknown tag " << w->tag;
        EXPECT_TRUE(seen.insert(name).second) << "listed twice";
        if (name[0] == '/')
            EXPECT_TRUE(is_command(name.substr(1))) << "no built-in command word " << name;
        else if (name[0] == '$')
            EXPECT_TRUE(is_identifier(name.substr(1))) << "no built-in identifier " << name;
        else if (names_menu_command(name))
            EXPECT_TRUE(is_menu_command(name)) << "no frame menu command of this id in the registry";
        else
            EXPECT_TRUE(seams.count(name)) << "no seam of this name is declared in a header";
    }
}

// After a whole start, everything unset is listed and everything listed is
// unset.
TEST(SeamCheck, AfterStartEverythingUnsetIsListedAndNothingListedIsSet)
{
    HookGuard hooks;
    const Snapshot s = start_and_snapshot();
    ASSERT_TRUE(s.taken) << "the program did not reach its running state";

    std::map<std::string, std::string> waiting;
    for (const WaitingEntry* w = kWaiting; w->name; ++w)
        waiting[w->name] = w->tag;

    for (const std::string& name : s.null_seams)
        EXPECT_TRUE(waiting.count(name)) << "seam " << name << " (" << header_of(name) << ")"
                                         << stub_held_by(name)
                                         << " is null after start-up and not on src/app/seams_waiting.inc";
    for (const std::string& word : s.bare_commands)
        EXPECT_TRUE(waiting.count(word)) << "command " << word
                                         << " has no handler and is not on src/app/seams_waiting.inc";
    for (const std::string& name : s.bare_identifiers)
        EXPECT_TRUE(waiting.count(name)) << "identifier " << name
                                         << " has no handler and is not on src/app/seams_waiting.inc";

    for (const std::string& name : s.bare_menu_commands)
        EXPECT_TRUE(waiting.count(name)) << name << " has no handler in the frame's registry"
                                         << " and is not on src/app/seams_waiting.inc";

    for (const std::string& name : s.missing_listeners)
        ADD_FAILURE() << "listener " << name << " (src/app/listeners_expected.inc) is not present after start-up";

    for (const auto& [name, tag] : waiting) {
        bool still = name[0] == '/'               ? s.bare_commands.count(name) != 0
                     : name[0] == '$'             ? s.bare_identifiers.count(name) != 0
                     : names_menu_command(name)   ? s.bare_menu_commands.count(name) != 0
                                                  : s.null_seams.count(name) != 0;
        EXPECT_TRUE(still) << name << " " << tag
                           << " is set after start-up: remove it from src/app/seams_waiting.inc";
    }
}

// A stub default counts as null: a seam left at a default that does nothing
// is named like a null one, and stops being named once something real is
// put in.
namespace {

int answers_nothing(int) { return 0; }
int answers_double(int x) { return 2 * x; }
int (*probe_stub_seam)(int) = answers_nothing;
int (*probe_null_seam)(int) = nullptr;
int (*probe_real_seam)(int) = answers_double;
const auto probe_stub_loaded = probe_stub_seam;

const SeamEntry kProbeTable[] = {
    {"probe_stub_seam", "probe.h", [] { return probe_stub_seam != nullptr; }},
    {"probe_null_seam", "probe.h", [] { return probe_null_seam != nullptr; }},
    {"probe_real_seam", "probe.h", [] { return probe_real_seam != nullptr; }},
};
const SeamStub kProbeStubs[] = {
    {"probe_stub_seam", "probe.cpp", "answers_nothing", [] { return probe_stub_seam == probe_stub_loaded; }},
    {nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

TEST(SeamCheck, AStubDefaultCountsAsNullUntilSomethingRealIsSet)
{
    EXPECT_EQ(unset_seams(kProbeTable, kProbeStubs),
              (std::set<std::string>{"probe_stub_seam", "probe_null_seam"}));
    probe_stub_seam = answers_double;
    probe_null_seam = answers_double;
    EXPECT_EQ(unset_seams(kProbeTable, kProbeStubs), std::set<std::string>{});
    // Put back, the stub is found again.
    probe_stub_seam = answers_nothing;
    EXPECT_EQ(unset_seams(kProbeTable, kProbeStubs), std::set<std::string>{"probe_stub_seam"});
    probe_null_seam = nullptr;
    EXPECT_EQ(probe_real_seam(2), 4);
}

// The program's stub table names the seams whose defaults do nothing and
// none whose default does real work.
TEST(SeamList, TheStubTableNamesDefaultsThatDoNothing)
{
    std::set<std::string> stubs;
    for (const SeamStub& s : kSeamStubs)
        if (s.name)
            stubs.insert(s.name);
    std::set<std::string> seams;
    for (const SeamEntry& e : kSeamTable)
        seams.insert(e.name);
    for (const std::string& name : stubs)
        EXPECT_TRUE(seams.count(name)) << name << " is in the stub table but no seam of that name is declared";
    // Defaults that do the work themselves (the clock, the desktop's opener)
    // are not stubs.
    for (const char* real : {"time_clock", "timer_clock_ms", "desktop_open_hook"})
        EXPECT_FALSE(stubs.count(real)) << real;
}
