// The header scan behind the seam check: what it takes for a seam, how it
// reaches a hook record, what it leaves alone, and the declarations it
// refuses so that the build stops.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct ScanResult {
    int status = -1;
    std::string table;
    std::string errors;
};

// Writes the headers into a fresh folder and runs the scan over it.
ScanResult scan(const std::vector<std::pair<std::string, std::string>>& headers)
{
    static int serial = 0;
    fs::path root = fs::temp_directory_path() /
                    ("kest_scan_" + std::to_string(::getpid()) + "_" + std::to_string(++serial));
    fs::remove_all(root);
    for (const auto& [name, text] : headers) {
        fs::create_directories((root / "src" / name).parent_path());
        std::ofstream(root / "src" / name) << text;
    }
    std::string cmd = std::string(KEST_SEAM_SCAN) + " " + (root / "src").string() + " " +
                      (root / "out.inc").string() + " 2>" + (root / "err.txt").string();
    ScanResult r;
    int raw = std::system(cmd.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::stringstream t, e;
    t << std::ifstream(root / "out.inc").rdbuf();
    e << std::ifstream(root / "err.txt").rdbuf();
    r.table = t.str();
    r.errors = e.str();
    fs::remove_all(root);
    return r;
}

struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> headers;
    std::vector<std::string> present;   // texts the table holds
    std::vector<std::string> absent;    // texts it must not hold
};

}  // namespace

TEST(SeamScan, FindsSeamsAndReachesTheirRecords)
{
    const Case cases[] = {
        {"a record with an extern instance, and free pointers",
         {{"a/hooks.h", "#pragma once\n"
                        "struct QWidget;\n"
                        "struct AHooks {\n"
                        "    // A step: void (*in_comment)(int)\n"
                        "    void (*first)(int a, int (*cb)(int)) = nullptr;\n"
                        "    int (*second)() = [] { return 1; };\n"
                        "    int plain = 0;\n"
                        "};\n"
                        "extern AHooks a_hooks;\n"
                        "extern void (*free_one)(QWidget* w,\n"
                        "                        int n);\n"
                        "extern const char* (*free_two)(), (*free_three)(int);\n"}},
         {"{ \"AHooks::first\", \"a/hooks.h\", [] { return a_hooks.first != nullptr; } }",
          "{ \"AHooks::second\", \"a/hooks.h\", [] { return a_hooks.second != nullptr; } }",
          "{ \"free_one\", \"a/hooks.h\", [] { return ::free_one != nullptr; } }",
          "\"free_two\"", "\"free_three\"", "#include \"a/hooks.h\""},
         {"in_comment", "\"cb\"", "plain"}},
        {"a record reached through an accessor in another header",
         {{"b/frame.h", "struct FrameSteps {\n  void (*repaint)() = nullptr;\n};\n"},
          {"b/access.h", "#include \"b/frame.h\"\nFrameSteps& frame_steps();\n"}},
         {"{ \"FrameSteps::repaint\", \"b/frame.h\", [] { return frame_steps().repaint != nullptr; } }",
          "#include \"b/access.h\"", "#include \"b/frame.h\""},
         {}},
        {"pointers typed by an alias, in a namespace",
         {{"c/types.h", "using Handler = void (*)(int);\ntypedef int (*Probe)(const char*);\n"},
          {"c/use.h", "namespace net {\nextern Handler on_line;\nextern Probe probe;\n}\n"
                      "struct Row { const char* word; Handler handler; };\n"}},
         {"{ \"net::on_line\", \"c/use.h\", [] { return ::net::on_line != nullptr; } }", "\"net::probe\""},
         {"Row::handler", "\"Handler\""}},
        {"functions, parameters, templates and bodies are not seams",
         {{"d/misc.h", "int sort_by(int (*less)(int, int));\n"
                       "int (*pick(int which))(int);\n"
                       "inline int run(int (*f)()) { static int (*kept)() = nullptr; kept = f; return kept(); }\n"
                       "template <class T> struct Box { void (*drop)(T*) = nullptr; };\n"
                       "template <class T> void each(void (*fn)(T)) { void (*again)(T) = fn; }\n"
                       "enum Kind { kOne = 1, kTwo };\n"
                       "const char* name = \"(*not_code)(\";\n"}},
         {},
         {"less", "pick", "kept", "drop", "again", "not_code", "\"f\""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScanResult r = scan(c.headers);
        ASSERT_EQ(r.status, 0) << r.errors;
        for (const std::string& p : c.present)
            EXPECT_NE(r.table.find(p), std::string::npos) << p << "\n" << r.table;
        for (const std::string& a : c.absent)
            EXPECT_EQ(r.table.find(a), std::string::npos) << a << "\n" << r.table;
    }
}

// A declaration the check could not read stops the build with its header,
// its line and what is wrong; the rest of the headers do not hide it.
TEST(SeamScan, RefusesWhatItCannotAttribute)
{
    const Case cases[] = {
        {"a record with pointer members and no instance",
         {{"e/lost.h", "#pragma once\n\nstruct LostHooks {\n    void (*step)() = nullptr;\n};\n"}},
         {"e/lost.h:4:", "LostHooks", "no instance"},
         {}},
        {"a pointer defined in a header without extern",
         {{"f/def.h", "void (*everywhere)(int) = nullptr;\n"}},
         {"f/def.h:1:", "everywhere", "without extern"},
         {}},
        {"a static pointer in a header",
         {{"f/static.h", "\n\nstatic int (*per_file)();\n"}},
         {"f/static.h:3:", "per_file"},
         {}},
        {"an array of function pointers",
         {{"g/array.h", "extern void (*handlers[4])(int);\n"}},
         {"g/array.h:1:", "cannot attribute", "handlers[4]"},
         {}},
        {"a pointer to a member function",
         {{"g/member.h", "struct W;\nextern void (W::*on_paint)();\n"}},
         {"g/member.h:2:", "cannot attribute"},
         {}},
        {"a record with two instances",
         {{"h/two.h", "struct TwoHooks { void (*a)(); };\nextern TwoHooks one;\nextern TwoHooks other;\n"}},
         {"TwoHooks", "more than one instance"},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto headers = c.headers;
        headers.push_back({"z/fine.h", "extern void (*fine)();\n"});
        ScanResult r = scan(headers);
        EXPECT_NE(r.status, 0) << r.table;
        for (const std::string& p : c.present)
            EXPECT_NE(r.errors.find(p), std::string::npos) << p << "\n" << r.errors;
    }
}

namespace {

// Writes the files (headers and sources) into a fresh folder and runs the
// stub scan over it.
ScanResult scan_stubs(const std::vector<std::pair<std::string, std::string>>& files)
{
    static int serial = 0;
    fs::path root = fs::temp_directory_path() /
                    ("kest_stubs_" + std::to_string(::getpid()) + "_" + std::to_string(++serial));
    fs::remove_all(root);
    for (const auto& [name, text] : files) {
        fs::create_directories((root / "src" / name).parent_path());
        std::ofstream(root / "src" / name) << text;
    }
    std::string cmd = std::string(KEST_SEAM_SCAN) + " --stubs " + (root / "src").string() + " " +
                      (root / "out.inc").string() + " 2>" + (root / "err.txt").string();
    ScanResult r;
    int raw = std::system(cmd.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::stringstream t, e;
    t << std::ifstream(root / "out.inc").rdbuf();
    e << std::ifstream(root / "err.txt").rdbuf();
    r.table = t.str();
    r.errors = e.str();
    fs::remove_all(root);
    return r;
}

}  // namespace

// A free seam whose default does nothing (an empty body, a return of a
// constant, a lambda of either kind) is named in the stub table with the
// source and the default; a default that does work, a null one and a seam
// of another name are not.
TEST(SeamScan, NamesTheSeamsWhoseDefaultsDoNothing)
{
    const char* header =
        "#pragma once\n"
        "#include <string>\n"
        "using Reader = int (*)(const char*);\n"
        "extern void (*beep_hook)(int kind);\n"
        "extern int (*count_hook)();\n"
        "extern bool (*flag_hook)(int);\n"
        "extern const char* (*name_hook)();\n"
        "extern std::string (*text_hook)(int);\n"
        "extern int (*lambda_hook)(int);\n"
        "extern Reader reader_hook;\n"
        "extern int (*cast_hook)();\n"
        "extern int (*clock_hook)();\n"
        "extern int (*double_hook)(int);\n"
        "extern void (*print_hook)(const char*);\n"
        "extern int (*null_hook)();\n"
        "extern int (*busy_lambda_hook)(int);\n"
        "namespace net { extern int (*ns_hook)(int); }\n";
    const char* source =
        "#include \"a/hooks.h\"\n"
        "#include <cstdio>\n"
        "namespace {\n"
        "void no_beep(int) {}\n"
        "int no_count()\n{\n    return 0; // nothing counted\n}\n"
        "bool never(int kind) { (void)kind; return false; }\n"
        "const char* no_name() { return \"\"; }\n"
        "std::string no_text(int) { return std::string(); }\n"
        "int no_read(const char*) { return -1; }\n"
        "int no_cast() { return static_cast<int>(0); }\n"
        "int now() { return std::rand(); }\n"
        "int twice(int x) { return 2 * x; }\n"
        "void print_line(const char* s) { std::puts(s); }\n"
        "int ns_nothing(int) { return {}; }\n"
        "}\n"
        "void (*beep_hook)(int kind) = no_beep;\n"
        "int (*count_hook)() = &no_count;\n"
        "bool (*flag_hook)(int) = never;\n"
        "const char* (*name_hook)() = no_name;\n"
        "std::string (*text_hook)(int) = no_text;\n"
        "int (*lambda_hook)(int) = [](int) { return 0; };\n"
        "Reader reader_hook = no_read;\n"
        "int (*cast_hook)() = no_cast;\n"
        "int (*clock_hook)() = now;\n"
        "int (*double_hook)(int) = twice;\n"
        "void (*print_hook)(const char*) = print_line;\n"
        "int (*null_hook)() = nullptr;\n"
        "int (*busy_lambda_hook)(int) = [](int x) { return x + 1; };\n"
        "int (*net::ns_hook)(int) = ns_nothing;\n"
        "int twice_again(int (*f)(int) = twice) { int (*local)() = no_count; return f(local()); }\n";
    ScanResult r = scan_stubs({{"a/hooks.h", header}, {"a/hooks.cpp", source}});
    ASSERT_EQ(r.status, 0) << r.errors;
    for (const char* stub : {"{ \"beep_hook\", \"a/hooks.cpp\", \"no_beep\"", "{ \"count_hook\", \"a/hooks.cpp\", \"no_count\"",
                             "\"flag_hook\"", "\"name_hook\"", "\"text_hook\"", "{ \"lambda_hook\", \"a/hooks.cpp\", \"a lambda\"",
                             "\"reader_hook\"", "\"cast_hook\"", "\"net::ns_hook\"", "#include \"a/hooks.h\""})
        EXPECT_NE(r.table.find(stub), std::string::npos) << stub << "\n" << r.table;
    for (const char* real : {"\"clock_hook\"", "\"double_hook\"", "\"print_hook\"", "\"null_hook\"", "\"busy_lambda_hook\"",
                             "\"local\"", "\"f\""})
        EXPECT_EQ(r.table.find(real), std::string::npos) << real << "\n" << r.table;
}
