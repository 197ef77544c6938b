// The layers: the code under src/core, src/script, src/irc, src/commands and
// src/identifiers works without the widget module, so none of its files may
// include a header of it. The module's headers are read from the installed
// Qt include folder when the test runs, so a header added to a later Qt
// release is caught too.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The file names in one folder (not recursive); empty when it is missing.
std::set<std::string> names_in(const fs::path& dir)
{
    std::set<std::string> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        out.insert(e.path().filename().string());
    return out;
}

// The headers only the widget module ships: a name also present in the core
// or gui module folder (a few compatibility headers) resolves there as well.
std::set<std::string> widget_headers(const fs::path& widgets_dir)
{
    std::set<std::string> widgets = names_in(widgets_dir);
    const fs::path qt_root = widgets_dir.parent_path();
    for (const char* other : {"QtCore", "QtGui"})
        for (const auto& name : names_in(qt_root / other))
            widgets.erase(name);
    return widgets;
}

// The header an include line names, "" when the line is no include.
// Spaces may follow the '#' and surround the word; both <> and "" forms count.
std::string included_header(const std::string& line)
{
    std::size_t i = line.find_first_not_of(" \t");
    if (i == std::string::npos || line[i] != '#')
        return {};
    i = line.find_first_not_of(" \t", i + 1);
    if (i == std::string::npos || line.compare(i, 7, "include") != 0)
        return {};
    i = line.find_first_not_of(" \t", i + 7);
    if (i == std::string::npos || (line[i] != '<' && line[i] != '"'))
        return {};
    const char close = line[i] == '<' ? '>' : '"';
    const std::size_t end = line.find(close, i + 1);
    if (end == std::string::npos)
        return {};
    return line.substr(i + 1, end - i - 1);
}

// Whether an included header belongs to the widget module.
bool is_widget_header(const std::string& header, const std::set<std::string>& widgets)
{
    if (header.rfind("QtWidgets/", 0) == 0)
        return true;
    return widgets.count(header) > 0;
}

struct Offence {
    std::string where;   // file:line
    std::string header;
};

// Every widget-module include in the C++ files under `dir`.
std::vector<Offence> widget_includes_under(const fs::path& dir, const std::set<std::string>& widgets,
                                           int* files_read)
{
    std::vector<Offence> out;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        const std::string ext = e.path().extension().string();
        if (!e.is_regular_file() || (ext != ".h" && ext != ".cpp" && ext != ".inc"))
            continue;
        ++*files_read;
        std::ifstream in(e.path());
        std::string line;
        for (int n = 1; std::getline(in, line); ++n) {
            const std::string header = included_header(line);
            if (!header.empty() && is_widget_header(header, widgets))
                out.push_back({e.path().string() + ":" + std::to_string(n), header});
        }
    }
    return out;
}

const fs::path kWidgetsDir = KEST_QT_WIDGETS_DIR;
const fs::path kSourceDir = KEST_SOURCE_DIR;

TEST(Layers, IncludeLinesAreReadAndJudged)
{
    const std::set<std::string> widgets = widget_headers(kWidgetsDir);
    struct Case {
        const char* line;
        const char* header;   // what the line includes
        bool widget;
    };
    const Case cases[] = {
        {"#include <QWidget>", "QWidget", true},
        {"#  include   <QMdiArea>", "QMdiArea", true},
        {"\t#include \"QLineEdit\"", "QLineEdit", true},
        {"#include <QtWidgets/QPlainTextEdit>", "QtWidgets/QPlainTextEdit", true},
        {"#include <QtWidgets/qwidget.h>", "QtWidgets/qwidget.h", true},
        {"#include <qmainwindow.h>", "qmainwindow.h", true},
        {"#include <QtWidgets>", "QtWidgets", true},
        {"#include <QApplication>", "QApplication", true},
        {"#include <QPointer>", "QPointer", false},
        {"#include <QTimer>", "QTimer", false},
        {"#include <QGuiApplication>", "QGuiApplication", false},
        {"#include <QAction>", "QAction", false},    // the gui module's
        {"#include \"core/ini.h\"", "core/ini.h", false},
        {"// #include <QWidget>", "", false},
        {"class QWidget;", "", false},
        {"#define X <QWidget>", "", false},
        {"#include <QWidget", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const std::string header = included_header(c.line);
        EXPECT_EQ(header, c.header);
        EXPECT_EQ(!header.empty() && is_widget_header(header, widgets), c.widget);
    }
}

TEST(Layers, NonUiFoldersIncludeNoWidgetHeader)
{
    const std::set<std::string> widgets = widget_headers(kWidgetsDir);
    // The module folder was found and read: without it every include passes.
    ASSERT_TRUE(widgets.count("QWidget")) << kWidgetsDir;
    ASSERT_TRUE(widgets.count("QMdiArea"));
    ASSERT_FALSE(widgets.count("QPointer"));

    for (const char* folder : {"core", "script", "irc", "commands", "identifiers"}) {
        SCOPED_TRACE(folder);
        int files_read = 0;
        const auto offences = widget_includes_under(kSourceDir / "src" / folder, widgets, &files_read);
        EXPECT_GT(files_read, 0);
        for (const Offence& o : offences)
            ADD_FAILURE() << o.where << " includes the widget header <" << o.header << ">";
    }
}

} // namespace
