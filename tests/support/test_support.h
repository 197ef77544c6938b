// Small helpers shared by the test folders: whole-file reads and writes, a
// temporary folder that cleans up after itself, pointing the settings location
// at such a folder, saving and putting back environment variables, and (when
// KEST_TEST_WIDGETS is defined before the include) the offscreen application
// object and a frame window with its MDI area.
//
// Header-only on purpose: every folder under tests/ that holds .cpp files
// becomes its own test program, so this folder holds none.
#ifndef KEST_TESTS_SUPPORT_TEST_SUPPORT_H
#define KEST_TESTS_SUPPORT_TEST_SUPPORT_H

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "core/ini.h"

// The whole content of a file, byte for byte; empty when it can't be read.
inline std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Writes `content` as the whole file, replacing what was there.
inline void spit(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

// The inode number of a file, 0 when there is no such file.
inline ino_t inode_of(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// A fresh folder "<system temp>/<stem>XXXXXX", removed with everything in it
// when the object goes. `path` ends in "/"; it is empty when no folder could
// be made (check made() before use).
struct TempDir {
    std::string path;

    explicit TempDir(const std::string& stem)
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / (stem + "XXXXXX")).string();
        if (::mkdtemp(tmpl.data()))
            path = tmpl + "/";
    }
    ~TempDir()
    {
        std::error_code ec;
        if (!path.empty())
            std::filesystem::remove_all(path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    bool made() const { return !path.empty(); }
};

// Points `settings_dir` at a folder (and `main_ini_path` at "kest.ini" in it)
// for the life of the object, then puts the former location back.
struct SettingsLocation {
    std::string saved_dir = settings_dir;
    std::string saved_ini = main_ini_path;

    explicit SettingsLocation(const std::string& dir)
    {
        settings_dir = dir;
        main_ini_path = dir + "kest.ini";
    }
    ~SettingsLocation()
    {
        settings_dir = saved_dir;
        main_ini_path = saved_ini;
    }
    SettingsLocation(const SettingsLocation&) = delete;
    SettingsLocation& operator=(const SettingsLocation&) = delete;
};

// A temporary folder made the settings folder for the life of the object:
// the former location is put back and the folder removed when it goes.
struct TempSettingsDir {
    TempDir dir;
    std::optional<SettingsLocation> location;

    explicit TempSettingsDir(const std::string& stem) : dir(stem)
    {
        if (dir.made())
            location.emplace(dir.path);
    }

    bool made() const { return dir.made(); }
    const std::string& path() const { return dir.path; }
};

// Remembers environment variables (set or not) and puts each back as it was
// when the object goes; the test may set or unset them freely meanwhile.
class SavedEnv {
public:
    SavedEnv(std::initializer_list<const char*> names)
    {
        for (const char* name : names) {
            const char* v = std::getenv(name);
            saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
        }
    }
    ~SavedEnv()
    {
        for (const auto& [name, value] : saved_) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    SavedEnv(const SavedEnv&) = delete;
    SavedEnv& operator=(const SavedEnv&) = delete;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

#endif  // KEST_TESTS_SUPPORT_TEST_SUPPORT_H

// The widget helpers come with their own guard, so that a later include with
// KEST_TEST_WIDGETS defined still brings them in.
#if defined(KEST_TEST_WIDGETS) && !defined(KEST_TESTS_SUPPORT_TEST_WIDGETS_H)
#define KEST_TESTS_SUPPORT_TEST_WIDGETS_H

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QPointer>

#include "app/child_window.h"

// The one application object of the test program, made on first use and kept
// for the whole run; offscreen unless QT_QPA_PLATFORM says otherwise.
inline QCoreApplication* test_app()
{
    if (!QCoreApplication::instance()) {
        if (!std::getenv("QT_QPA_PLATFORM"))
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "kest_tests";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
    return QCoreApplication::instance();
}

// Makes `frame` (a shown "Kest" main window with an MDI area in the middle)
// when there is none, and makes its area the MDI client again when another
// frame of the same program took that place. Returns the area.
inline QMdiArea* test_frame_mdi(QPointer<QMainWindow>& frame)
{
    test_app();
    if (!frame) {
        frame = new QMainWindow();
        frame->setObjectName("Kest");
        auto* area = new QMdiArea(frame);
        frame->setCentralWidget(area);
        frame->resize(1000, 700);
        mdi_client_create(area);
        frame->show();
    }
    auto* area = qobject_cast<QMdiArea*>(frame->centralWidget());
    if (mdi_client() != area)
        mdi_client_create(area);
    return area;
}

// Runs pending events and deferred deletions a few rounds over.
inline void test_drain_events()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

#endif  // KEST_TEST_WIDGETS
