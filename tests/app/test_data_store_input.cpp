// The script data stores reached from the editbox: lines typed into the
// active window run the store commands and identifiers, and their
// confirmations and values land in the window. A binary variable belongs to
// the typed line that made it and is gone with it; a hash table stays.
#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/connection.h"
#include "app/subsystems.h"
#include "model/window_record.h"
#include "display/editbox.h"
#include "model/line_buffer.h"
#include "irc/link/close.h"
#include "script/stores/hash_tables.h"
#include "support/hook_guard.h"
#include "support/window_fixture.h"
#include "support/test_wire.h"

namespace {

std::vector<std::string> lines_of(const WindowRecord* rec)
{
    std::vector<std::string> out;
    for (const StringNode* n = rec ? rec->lines : nullptr; n; n = n->next)
        out.push_back(n->text);
    return out;
}

class DataStoreInputTest : public ::testing::Test {
    HookGuard hooks_;
protected:
    void SetUp() override
    {
        window_test_reset();
        app_install_subsystems();
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);  // what is sent goes to the wire, unread
        channel = window_test_open("#stores", kWinChannel, 0, conn);
        ASSERT_TRUE(channel && channel->editbox.get());
        window_test_pump();
    }
    void TearDown() override
    {
        htable_free_all();
        window_test_reset();
    }

    // Types the line into the active window and returns what it added there.
    std::vector<std::string> type(const std::string& text)
    {
        WindowRecord* active = win_record_of(win_active);
        EXPECT_TRUE(active && active->editbox.get());
        if (!active || !active->editbox.get())
            return {};
        const std::size_t before = lines_of(active).size();
        QTest::keyClicks(active->editbox.get(), QString::fromStdString(text));
        QTest::keyClick(active->editbox.get(), Qt::Key_Return);
        window_test_pump();
        const std::vector<std::string> all = lines_of(active);
        return std::vector<std::string>(all.begin() + static_cast<long>(before), all.end());
    }

    TestWire wire;
    Connection* conn = nullptr;
    WindowRecord* channel = nullptr;
};

bool ends_with(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST_F(DataStoreInputTest, TypedStoreCommandsAndIdentifiers)
{
    const struct {
        const char* typed;
        const char* shown;   // the end of the one line it adds; null: no line
    } cases[] = {
        {"/hmake -s typed 5", "* Uyan Hash Tablo 'typed' (5)"},
        {"/hadd -s typed a 1", "* 'a' İtemi 'typed' Hash Tablosuna eklendi"},
        {"/hinc typed a 2", nullptr},
        {"//echo -a $hget(typed,a) $hget(typed).size $hget(0)", "3 5 1"},
        {"//bset &x 1 65 66 | echo -a $bvar(&x,0) $bvar(&x,1-).text", "2 AB"},
        // The variable went with the line that made it.
        {"//echo -a $bvar(&x,0)", "0"},
        {"/hmake typed", "* /hmake: 'typed' Tablosu zaten var"},
        {"/hfree -s typed", "* Kurtulanan Hash Tablo 'typed' (5)"},
        {"//echo -a $hget(0) $+ .", "0."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        const std::vector<std::string> added = type(c.typed);
        if (!c.shown) {
            EXPECT_TRUE(added.empty()) << ::testing::PrintToString(added);
            continue;
        }
        bool found = false;
        for (const std::string& l : added)
            found = found || ends_with(l, c.shown);
        EXPECT_TRUE(found) << ::testing::PrintToString(added);
    }
}

TEST_F(DataStoreInputTest, ADotSilencesTheConfirmation)
{
    EXPECT_TRUE(type("/.hmake -s quiet 3").empty());
    EXPECT_TRUE(type("/.hadd -s quiet k v").empty());
    const std::vector<std::string> shown = type("//echo -a $hget(quiet,k)");
    ASSERT_FALSE(shown.empty());
    EXPECT_TRUE(ends_with(shown.back(), "v")) << shown.back();
}

// /filter typed into the editbox fills a custom window from a file: the
// kept lines, numbered by their source line, after what the window held;
// with -c the window is cleared first; a window that is not a custom
// window is refused.
TEST_F(DataStoreInputTest, FilterFillsACustomWindow)
{
    WindowRecord* custom = window_test_open("@picked", kWinCustom, 0, conn);
    ASSERT_TRUE(custom);
    channel->hwnd->activateWindow();
    win_active = channel->hwnd.get();
    const std::string dir = ::testing::TempDir() + "kest_filter_window/";
    std::filesystem::create_directories(dir);
    {
        std::ofstream(dir + "src.txt") << "red apple\ngreen pear\nred cherry\n";
    }
    line_new(custom, "held before", 0, 0, 0, 0, 1);
    type("/filter -fwn " + dir + "src.txt @picked red*");
    EXPECT_EQ(lines_of(custom), (std::vector<std::string>{"held before", "1 red apple", "3 red cherry"}));
    type("/filter -fwcx " + dir + "src.txt @picked red*");
    EXPECT_EQ(lines_of(custom), (std::vector<std::string>{"green pear"}));
    const std::vector<std::string> refused = type("/filter -fw " + dir + "src.txt #stores");
    bool said = false;
    for (const std::string& l : refused)
        said = said || ends_with(l, "* /filter: Geçersiz pencere");
    EXPECT_TRUE(said) << ::testing::PrintToString(refused);
    std::filesystem::remove_all(dir);
}

}  // namespace
