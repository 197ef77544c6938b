// /dll, $dll( and $dllcall( against shared objects the test suite builds:
// the call's shape, what comes back and its bounds, the list of loaded
// libraries, unloading (asked, after each call, idle, at exit), the
// errors, and calls that run on a worker with their alias run later.
#include "extensions/script_fixture.h"

#include <filesystem>
#include <string>
#include <unistd.h>

#include "app/startup.h"
#include "display/second_tick.h"
#include "extensions/dll_calls.h"

using namespace ext_test;

namespace {

const std::string kKept = KEST_TEST_DLL_KEPT;
const std::string kOnce = KEST_TEST_DLL_ONCE;

class DllTest : public ScriptTest {
protected:
    SavedEnv env{"KEST_TEST_DLL_LOG"};
    std::string log_path;

    void SetUp() override
    {
        ScriptTest::SetUp();
        dll_calls_install();
        log_path = settings->path() + "dll.log";
        ::setenv("KEST_TEST_DLL_LOG", log_path.c_str(), 1);
    }
    void TearDown() override
    {
        dll_unload_all_for_exit();
        dll_free_all();
        dll_calls_uninstall();
        ScriptTest::TearDown();
    }
    // The lines LoadDll and UnloadDll wrote, their numbers left out.
    std::string log_words()
    {
        std::string out;
        std::istringstream in(slurp(log_path));
        std::string word, number;
        while (in >> word >> number)
            out += (out.empty() ? "" : " ") + word + (word == "load" ? "" : number);
        return out;
    }
    static void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            tick_second.fire();
    }
};

TEST(DllVersionWord, MajorLowMinorHighAOneDigitMinorCountsAsTens)
{
    const struct {
        const char* version;
        int word;
    } cases[] = {
        {"2.5", 2 | (50 << 16)},
        {"2.57", 2 | (57 << 16)},
        {"0.1.0", 0 | (10 << 16)},
        {"7", 7},
        {"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dll_version_word(c.version), c.word) << c.version;
}

TEST_F(DllTest, ValuesComeBackAsTheRoutineLeftThem)
{
    const std::string lib = "\"" + kKept + "\"";
    const struct {
        std::string call;
        std::string value;
    } cases[] = {
        {"$dll(" + lib + ", upper, hello world)", "HELLO WORLD"},
        {"$dll(" + kKept + ", answer, 3the value)", "3the value"},
        // Continue and run-a-command results give no value.
        {"$dll(" + kKept + ", answer, 1ignored)", ""},
        {"$dll(" + kKept + ", command, echo -a not run by an identifier)", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(eval(c.call), c.value) << c.call;
    // The call's shape: the main window and the calling window, show on, no
    // pause off, the data zero-filled after its text and empty parameters.
    const std::string info = eval("$dll(" + kKept + ", info, abc)");
    EXPECT_EQ(info.substr(0, info.find(" calls=")), "main=0 window=1 show=1 nopause=0 zeroed=1 len=3");
    // A halt fails the identifier, and the line with it.
    EXPECT_EQ(eval("a $dll(" + kKept + ", answer, 0) b"), "<failed>");
}

TEST_F(DllTest, TextsAreBoundedBothWays)
{
    // Long data goes over whole.
    const std::string long_data(4000, 'q');
    EXPECT_EQ(eval("$dll(" + kKept + ", upper, " + long_data + ")"), std::string(4000, 'Q'));
    // A routine that fills its whole buffer without an end gives 4,150.
    EXPECT_EQ(eval("$dll(" + kKept + ", fill, x)"), std::string(4150, 'x'));
    // One character.
    EXPECT_EQ(eval("$dll(" + kKept + ", upper, z)"), "Z");
}

TEST_F(DllTest, TheCommandWordRunsWhatTheRoutineLeftAndHaltsOnZero)
{
    EXPECT_EQ(run("dll " + kKept + " command echo -a ran with"), 1);
    ASSERT_FALSE(Printed::lines.empty());
    EXPECT_EQ(Printed::lines.back(), "ran with one two");
    // Result 0 halts the rest of the line; result 1 lets it go on.
    run("set %after none");
    EXPECT_EQ(run("dll " + kKept + " answer 0 | set %after halted"), 0);
    EXPECT_EQ(eval("%after"), "none");
    run("dll " + kKept + " answer 1 | set %after went on");
    EXPECT_EQ(eval("%after"), "went on");
    // Result 3 returns from the run.
    EXPECT_EQ(run("dll " + kKept + " answer 3x | set %after not reached"), kScriptReturn);
    EXPECT_EQ(eval("%after"), "went on");
    // Data given over several words is joined with single blanks.
    EXPECT_EQ(run("dll " + kKept + " command echo -a    spaced    out"), 1);
    EXPECT_EQ(Printed::lines.back(), "spaced out one two");
}

TEST_F(DllTest, ErrorsOfTheCommandAndTheIdentifiers)
{
    const std::string missing_path = settings->path() + "no_such_library.so";
    // A file that is there but is no library fails to load the same way.
    spit(settings->path() + "not_a_library.so", "text, not code");
    const struct {
        std::string line;
        std::string error;
    } cases[] = {
        {"dll", "* /dll: Yetersiz veya eksik parametre"},
        {"dll " + kKept, "* /dll: Yetersiz veya eksik parametre"},
        {"dll -m done", "* /dll: Yetersiz veya eksik parametre"},
        {"dll no_such_library.so upper x", "* /dll: Açılamıyor 'no_such_library.so'"},
        {"dll " + kKept + " no_such_routine x",
         "* /dll: 'no_such_routine' Usulu Yok (Belirtili Dll Dosyasına ait böyle bir komutlandırma-yöntem yok)"},
        {"dll " + kKept + " LoadDll x",
         "* /dll: 'LoadDll' Usulu Yok (Belirtili Dll Dosyasına ait böyle bir komutlandırma-yöntem yok)"},
        {"echo -a $dll(no_such_library.so, upper, x)", "* $dll: '" + missing_path + "' Açılamıyor"},
        {"dll not_a_library.so upper x", "* /dll: Açılamıyor 'not_a_library.so'"},
        {"echo -a $dll(not_a_library.so, upper, x)",
         "* $dll: '" + settings->path() + "not_a_library.so' Açılamıyor"},
        {"echo -a $dll(" + kKept + ", no_such_routine, x)",
         "* $dll: 'no_such_routine' Usulu Yok (Belirtili Dll Dosyasına ait böyle bir komutlandırma-yöntem yok)"},
        {"echo -a $dll(" + kKept + ", UnloadDll, x)", "* Geçersiz parametre: $dll"},
        {"echo -a $dll(" + kKept + ", upper)", "* Geçersiz parametre: $dll"},
        {"echo -a $dllcall(" + kKept + ", done, upper)", "* Geçersiz parametre: $dllcall"},
    };
    for (const auto& c : cases) {
        Printed::errors.clear();
        EXPECT_EQ(run(c.line), 0) << c.line;
        EXPECT_EQ(last_error().substr(0, c.error.size()), c.error) << c.line;
    }
    // Empty file or routine names give an empty value and no error.
    for (const std::string& empty : std::vector<std::string>{"$dll(, upper, x)", "$dll(" + kKept + ", , x)", "$dllcall(" + kKept + ", done, , x)"}) {
        EXPECT_EQ(eval(empty), "") << empty;
        EXPECT_FALSE(script_error_pending()) << empty;
    }
    // /dll -u of a library that is not loaded does nothing and says nothing.
    Printed::errors.clear();
    EXPECT_EQ(run("dll -u " + kOnce), 1);
    EXPECT_TRUE(Printed::errors.empty());
    // A library that failed to load leaves nothing behind; the one that
    // loaded and is kept stays.
    EXPECT_EQ(eval("$dll(0) $dll(no_such_library.so)"), "1");
    EXPECT_EQ(eval("$dll(1)"), kKept);
}

TEST_F(DllTest, APathIsUsedAsGivenNeverSearchedInTheCurrentFolder)
{
    TempDir here("kest_dll_cwd_");
    ASSERT_TRUE(here.made());
    namespace fs = std::filesystem;
    fs::copy_file(kKept, here.path + "lib_here.so");
    const std::string old_cwd = fs::current_path().string();
    ASSERT_EQ(::chdir(here.path.c_str()), 0);
    const std::string in_cwd = eval("$dll(lib_here.so, upper, x)");
    const std::string error = script_error_state.text;
    ASSERT_EQ(::chdir(old_cwd.c_str()), 0);
    EXPECT_EQ(in_cwd, "<failed>");
    EXPECT_EQ(error, "* $dll: '" + settings->path() + "lib_here.so' Açılamıyor");
    // In the settings folder the same name loads.
    fs::copy_file(kKept, settings->path() + "lib_here.so");
    EXPECT_EQ(eval("$dll(lib_here.so, upper, x)"), "X");
    EXPECT_EQ(eval("$dll(1)"), settings->path() + "lib_here.so");
    // A name with blanks, quoted, in the identifier and in the command.
    fs::copy_file(kKept, settings->path() + "lib with blanks.so");
    EXPECT_EQ(eval("$dll(\"lib with blanks.so\", upper, y)"), "Y");
    EXPECT_EQ(run("dll \"lib with blanks.so\" command echo -a quoted"), 1);
    EXPECT_EQ(Printed::lines.back(), "quoted one two");
    EXPECT_EQ(eval("$dll(2)"), settings->path() + "lib with blanks.so");
}

TEST_F(DllTest, TheListOfLoadedLibrariesAndUnloadingOnRequest)
{
    EXPECT_EQ(eval("$dll(0) $dll(1) $dll(-3)"), "0 0");
    EXPECT_EQ(eval("$dll(" + kKept + ", upper, a)"), "A");
    EXPECT_EQ(eval("$dll(" + kKept + ", upper, b)"), "B");
    const std::string file = std::filesystem::path(kKept).filename().string();
    std::string upper_file = file;
    for (char& c : upper_file)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(eval("$dll(0) $dll(1) $dll(2)"), "1 " + kKept);
    // By full path or by file name, case ignored.
    EXPECT_EQ(eval("$dll(" + upper_file + ")"), kKept);
    EXPECT_EQ(eval("$dll(" + kKept + ")"), kKept);
    EXPECT_EQ(eval("$dll(other.so)"), "");
    // Loaded once for both calls: its state carried over.
    const std::string info = eval("$dll(" + kKept + ", info, x)");
    EXPECT_EQ(info.substr(info.find(" calls=")), " calls=3");
    EXPECT_EQ(log_words(), "load");
    EXPECT_EQ(run("dll -u " + file), 1);
    EXPECT_EQ(eval("$dll(0)"), "0");
    EXPECT_EQ(log_words(), "load unload0");
    // Unloading twice changes nothing.
    EXPECT_EQ(run("dll -u " + kKept), 1);
    EXPECT_EQ(log_words(), "load unload0");
}

TEST_F(DllTest, ALibraryThatIsNotKeptIsLoadedForEachCall)
{
    EXPECT_EQ(eval("$dll(" + kOnce + ", upper, a)"), "A");
    EXPECT_EQ(eval("$dll(0)"), "0");
    const std::string info = eval("$dll(" + kOnce + ", info, x)");
    // Loaded afresh: its count starts again.
    EXPECT_EQ(info.substr(info.find(" calls=")), " calls=1");
    EXPECT_EQ(log_words(), "load unload0 load unload0");
    // A missing routine unloads it too.
    EXPECT_EQ(run("dll " + kOnce + " no_such_routine"), 0);
    EXPECT_EQ(eval("$dll(0)"), "0");
}

TEST_F(DllTest, AnIdleLibraryIsAskedToUnloadAndMayRefuse)
{
    EXPECT_EQ(eval("$dll(" + kKept + ", upper, a)"), "A");
    ticks(kDllIdleTicks - 1);
    EXPECT_EQ(eval("$dll(0)"), "1");
    // A use starts the count again.
    EXPECT_EQ(run("dll " + kKept + " refuse 1"), 1);
    ticks(kDllIdleTicks - 1);
    EXPECT_EQ(eval("$dll(0)"), "1");
    ticks(1);
    EXPECT_EQ(eval("$dll(0)"), "1");
    EXPECT_EQ(log_words(), "load refuse1");
    // Refused: the count starts at 0 again.
    ticks(kDllIdleTicks - 1);
    EXPECT_EQ(log_words(), "load refuse1");
    EXPECT_EQ(run("dll " + kKept + " refuse 0"), 1);
    ticks(kDllIdleTicks);
    EXPECT_EQ(eval("$dll(0)"), "0");
    EXPECT_EQ(log_words(), "load refuse1 unload1");
}

TEST_F(DllTest, AtExitEveryLibraryIsAskedToUnloadOnce)
{
    EXPECT_EQ(eval("$dll(" + kKept + ", upper, a)"), "A");
    dll_unload_all_for_exit();
    EXPECT_EQ(eval("$dll(0)"), "0");
    dll_free_all();
    dll_free_all();
    EXPECT_EQ(log_words(), "load unload2");
}

TEST_F(DllTest, ACallOnAWorkerRunsItsAliasLaterAndHoldsTheLibraryMeanwhile)
{
    const std::string flag = settings->path() + "go";
    // The worker waits for the flag file; meanwhile the script goes on.
    EXPECT_EQ(eval("$dllcall(" + kKept + ", echo -a done:, wait_file, " + flag + ")"), "");
    EXPECT_EQ(eval("$dll(0)"), "1");
    // Neither asked nor idle unloading touches a library with a call running.
    EXPECT_EQ(run("dll -u " + kKept), 1);
    ticks(kDllIdleTicks);
    EXPECT_EQ(eval("$dll(0)"), "1");
    EXPECT_EQ(log_words(), "load");
    spit(flag, "");
    ASSERT_TRUE(wait_until([] { return !Printed::lines.empty(); }));
    // The routine's command ran first, then the alias with the path as $1-.
    EXPECT_EQ(eval("%waited"), "after the wait");
    EXPECT_EQ(Printed::lines.back(), "done: " + kKept);
    // Now it can go.
    EXPECT_EQ(run("dll -u " + kKept), 1);
    EXPECT_EQ(eval("$dll(0)"), "0");
}

TEST_F(DllTest, TheCommandWordsWorkerCallUnloadsALibraryNotKeptWhenItEnds)
{
    const std::string flag = settings->path() + "go";
    spit(flag, "");
    EXPECT_EQ(run("dll -m echo " + kOnce + " wait_file " + flag), 1);
    ASSERT_TRUE(wait_until([] { return !Printed::lines.empty(); }));
    EXPECT_EQ(Printed::lines.back(), kOnce);
    EXPECT_EQ(eval("%waited"), "after the wait");
    EXPECT_EQ(eval("$dll(0)"), "0");
    EXPECT_EQ(log_words(), "load unload0");
}

}  // namespace
