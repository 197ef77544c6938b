// The default browser found in the desktop's association files: a
// temporary home with its own config and data folders, desktop entries and
// programs, and PATH pointing at them.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "core/main_settings.h"
#include "platform/default_browser.h"
#include "support/hook_guard.h"

namespace {

namespace fs = std::filesystem;

// An environment variable set for the test and put back afterwards.
class EnvValue {
public:
    EnvValue(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~EnvValue()
    {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    EnvValue(const EnvValue&) = delete;
    EnvValue& operator=(const EnvValue&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

class DefaultBrowser : public ::testing::Test {
protected:
    SavedValues<std::string> saved_{main_settings.browser_path};
    fs::path root = fs::temp_directory_path() / ("kest-browser-" + std::to_string(::getpid()));
    fs::path config = root / "config";
    fs::path data = root / "data";
    fs::path system = root / "system";
    fs::path bin = root / "bin";
    std::optional<EnvValue> env[5];

    void SetUp() override
    {
        fs::remove_all(root);
        for (const fs::path& p : {config, data / "applications", system / "applications", bin})
            fs::create_directories(p);
        env[0].emplace("XDG_CONFIG_HOME", config.string());
        env[1].emplace("XDG_CONFIG_DIRS", (root / "noconfig").string());
        env[2].emplace("XDG_DATA_HOME", data.string());
        env[3].emplace("XDG_DATA_DIRS", system.string());
        env[4].emplace("PATH", bin.string());
    }
    void TearDown() override
    {
        for (auto& e : env)
            e.reset();
        fs::remove_all(root);
    }

    static void write(const fs::path& p, const std::string& text)
    {
        std::ofstream out(p);
        out << text;
    }
    fs::path program(const std::string& name, bool runnable = true)
    {
        const fs::path p = bin / name;
        write(p, "#!/bin/sh\n");
        ::chmod(p.c_str(), runnable ? 0755 : 0644);
        return p;
    }
    void entry(const fs::path& folder, const std::string& id, const std::string& exec)
    {
        write(folder / id, "[Desktop Entry]\nName=" + id + "\nExec=" + exec + "\n[Desktop Action new]\nExec=wrong\n");
    }
    void defaults(const fs::path& file, const std::string& lines)
    {
        write(file, "[Added Associations]\nx-scheme-handler/http=added.desktop\n[Default Applications]\n" + lines);
    }
};

TEST_F(DefaultBrowser, ExecLinesGiveTheProgram)
{
    const fs::path plain = program("webby");
    const fs::path spaced = bin / "my browser";
    write(spaced, "#!/bin/sh\n");
    ::chmod(spaced.c_str(), 0755);
    program("off", false);
    struct Case {
        std::string exec;
        std::string expected;
    };
    const Case cases[] = {
        {"webby %u", plain.string()},
        {"webby", plain.string()},
        {plain.string() + " --new-window %U", plain.string()},
        {"\"" + spaced.string() + "\" %u", spaced.string()},
        {"env GDK_BACKEND=x11 LANG=C webby %u", plain.string()},
        {"  webby", plain.string()},
        {"nosuch %u", ""},
        {"off %u", ""},            // not runnable
        {(bin).string(), ""},      // a folder
        {"", ""},
        {"env A=1", ""},
        {"\"unclosed", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exec);
        EXPECT_EQ(shell_browser_from_command(c.exec), c.expected);
    }
}

TEST_F(DefaultBrowser, TheAssociationFilesChooseInTheirOrder)
{
    const fs::path first = program("first");
    const fs::path second = program("second");
    const fs::path html = program("htmlview");
    entry(data / "applications", "first.desktop", "first %u");
    entry(system / "applications", "second.desktop", "second %u");
    entry(system / "applications", "html.desktop", "htmlview %f");

    // Nothing named: no browser, and an earlier value is cleared.
    main_settings.browser_path = "/stale";
    shell_default_browser();
    EXPECT_EQ(main_settings.browser_path, "");

    // The system's list, then the user's list over it.
    defaults(system / "applications" / "mimeapps.list", "x-scheme-handler/http=second.desktop\n");
    shell_default_browser();
    EXPECT_EQ(main_settings.browser_path, second.string());
    defaults(config / "mimeapps.list", "x-scheme-handler/http=missing.desktop;first.desktop;\n");
    shell_default_browser();
    EXPECT_EQ(main_settings.browser_path, first.string()) << "a missing entry is passed over";
    shell_default_browser();
    EXPECT_EQ(main_settings.browser_path, first.string()) << "asked again, the same";

    // Without an http handler the HTML handler is taken.
    defaults(config / "mimeapps.list", "text/html=html.desktop\n");
    fs::remove(system / "applications" / "mimeapps.list");
    shell_default_browser();
    EXPECT_EQ(main_settings.browser_path, html.string());
}

TEST_F(DefaultBrowser, NamesThatLeaveTheFoldersAreNotFollowed)
{
    program("evil");
    fs::create_directories(root / "outside");
    entry(root / "outside", "evil.desktop", "evil");
    const std::vector<std::string> ids = {"../../outside/evil.desktop",
                                           (root / "outside" / "evil.desktop").string(), "..", ""};
    for (const std::string& id : ids) {
        SCOPED_TRACE(id);
        defaults(config / "mimeapps.list", "x-scheme-handler/http=" + id + "\n");
        EXPECT_EQ(shell_default_handler("x-scheme-handler/http"), "");
        shell_default_browser();
        EXPECT_EQ(main_settings.browser_path, "");
    }
}

}  // namespace
