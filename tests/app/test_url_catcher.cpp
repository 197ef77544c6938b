// The URL catcher: addresses caught from printed lines, the list kept in
// its file, the opener's completion of an address, and the "Urls List"
// window with its popup commands, driven through the frame's commands,
// typed lines, keys and the real dialogs. Nothing leaves the machine: the
// desktop's opener is replaced by a recorder.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/frame_menu.h"
#include "app/frame_proc.h"
#include "platform/app_messages.h"
#include "app/subsystems.h"
#include "app/window_open.h"
#include "bars/tray_icon.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "display/editbox.h"
#include "display/window_queries.h"
#include "model/connection.h"
#include "model/line_buffer.h"
#include "model/window_record.h"
#include "platform/platform_utils.h"
#include "support/hook_guard.h"
#include "support/window_fixture.h"
#include "tools/url_catcher.h"
#include "tools/url_list_window.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> g_opened;

std::string read_text(const fs::path& p)
{
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Answers the next modal dialog with the action once it shows.
void answer_modal(std::function<void(QWidget*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        timer->stop();
        timer->deleteLater();
        act(modal);
    });
    timer->start();
}

void click_button(QWidget* dialog, QDialogButtonBox::StandardButton which)
{
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
        box->button(static_cast<QMessageBox::StandardButton>(which))->click();
        return;
    }
    auto* buttons = dialog->findChild<QDialogButtonBox*>();
    ASSERT_TRUE(buttons);
    buttons->button(which)->click();
}

class UrlCatcher : public ::testing::Test {
protected:
    HookGuard hooks_;
    fs::path dir;
    Connection* conn = nullptr;
    WindowRecord* status = nullptr;
    std::string saved_settings = settings_dir, saved_ini = main_ini_path;

    void SetUp() override
    {
        window_test_reset();
        dir = fs::temp_directory_path() / ("kest-urlcat-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        settings_dir = dir.string() + "/";
        main_ini_path = (dir / "kest.ini").string();
        app_install_subsystems();
        g_opened.clear();
        desktop_open_hook = [](const std::string& url) {
            g_opened.push_back(url);
            return 1;
        };
        url_list_load((dir / "urls.ini").string());
        opt_set(OPT_CATCH_URLS, 1);
        opt_set(OPT_CATCH_EMAIL, 0);
        opt_set(OPT_URL_NEW_AT_TOP, 0);
        main_settings.warn_link = 0;
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        status = win_record_of(conn->status_window);
        ASSERT_TRUE(status && status->editbox.get());
    }

    void TearDown() override
    {
        window_test_reset();
        strlist_free(&main_settings.url_list);
        settings_dir = saved_settings;
        main_ini_path = saved_ini;
        fs::remove_all(dir);
    }

    void type(const std::string& line)
    {
        EditBox* box = status->editbox.get();
        box->setTextBytes("");
        QTest::keyClicks(box, QString::fromStdString(line));
        QTest::keyClick(box, Qt::Key_Return);
        window_test_pump();
    }

    static std::vector<std::string> addresses()
    {
        std::vector<std::string> out;
        for (const std::string& e : url_list_entries())
            out.push_back(url_entry_address(e));
        return out;
    }

    static QListWidget* list()
    {
        WindowRecord* rec = url_list_window();
        return rec ? rec->listbox.get() : nullptr;
    }
    static std::vector<std::string> lines()
    {
        std::vector<std::string> out;
        if (QListWidget* l = list())
            for (int i = 0; i < l->count(); ++i)
                out.push_back(l->item(i)->text().toStdString());
        return out;
    }
    static void select_rows(const std::vector<int>& rows)
    {
        QListWidget* l = list();
        l->clearSelection();
        for (int r : rows)
            l->item(r)->setSelected(true);
        if (!rows.empty())
            l->setCurrentRow(rows.front(), QItemSelectionModel::NoUpdate);
    }
};

// ---- Catching ----

TEST_F(UrlCatcher, AddressesInALineAreCaughtAsThePrefixTableSays)
{
    const std::string long_tail(193, 'a');  // "http://" + 193 = 200 characters
    struct Case {
        std::string line;
        std::vector<std::string> caught;
    } cases[] = {
        {"see www.example.com.", {"www.example.com"}},
        {"(at http://a.example.org/x) here", {"http://a.example.org/x"}},
        {"<https://b.example.org/p>, [ftp://c.example.org]", {"https://b.example.org/p", "ftp://c.example.org"}},
        {"go to ftp.example.org, now", {"ftp.example.org"}},
        {"www.abc is too short", {}},
        {"www.abcd is long enough", {"www.abcd"}},
        {"http://" + long_tail, {"http://" + long_tail}},
        {"http://" + long_tail + "b is one too many", {}},
        // A refused address gives up no part of itself to a later row.
        {"http://www." + std::string(190, 'w') + " is 201 long", {}},
        {"\x02http://bold.example.org\x02 and \x03" "4irc://net.example.org/chan", {"http://bold.example.org", "irc://net.example.org/chan"}},
        {"HTTP://Upper.Example.org/Keep", {"HTTP://Upper.Example.org/Keep"}},
        {"http://www.example.net has one address", {"http://www.example.net"}},
        {"http://ex.org/\xc3\xa9t\xc3\xa9 stops at a non-ASCII byte", {"http://ex.org/"}},
        {"no address here: bob@example.org and mail", {}},
    };
    for (const Case& c : cases) {
        strlist_free(&main_settings.url_list);
        const int found = url_catch(c.line, 1);
        EXPECT_EQ(found, c.caught.empty() ? 0 : 1) << c.line;
        std::vector<std::string> got = addresses();
        std::vector<std::string> want = c.caught;
        std::sort(got.begin(), got.end());
        std::sort(want.begin(), want.end());
        EXPECT_EQ(got, want) << c.line;
        for (const std::string& e : url_list_entries())
            EXPECT_EQ(e, "?:" + url_entry_address(e) + "URL:" + url_entry_address(e));
    }
}

TEST_F(UrlCatcher, EmailAddressesOnlyInMessageLinesThatMentionMail)
{
    opt_set(OPT_CATCH_URLS, 0);
    opt_set(OPT_CATCH_EMAIL, 1);
    struct Case {
        std::string line;
        int message;
        std::vector<std::string> caught;
    } cases[] = {
        {"mail me at bob@example.org please", 1, {"bob@example.org"}},
        {"Mail: ab@c.de", 1, {"ab@c.de"}},
        {"mail a@b.cd", 1, {"a@b.cd"}},          // six characters
        {"mail a@b.c", 1, {}},                   // five
        {"write to bob@example.org", 1, {}},     // no "mail" in the line
        {"mail me at bob@example.org", 0, {}},   // not a message
        {"@example.org mail", 1, {}},            // "@" starts the line
        {"mail www.example.org", 1, {}},         // only e-mail is caught
    };
    for (const Case& c : cases) {
        strlist_free(&main_settings.url_list);
        url_catch(c.line, 1, c.message);
        EXPECT_EQ(addresses(), c.caught) << c.line << " message " << c.message;
    }
}

TEST_F(UrlCatcher, AnAddressIsKeptOnceWithOrWithoutATrailingSlash)
{
    url_catch("http://one.example.org/ first", 1);
    url_catch("http://one.example.org again", 1);
    url_catch("HTTP://ONE.EXAMPLE.ORG/ shouted", 1);
    url_catch("one.example.org without a scheme is no address", 1);
    EXPECT_EQ(addresses(), (std::vector<std::string>{"http://one.example.org/"}));
    // The address after "://" is the same entry too.
    EXPECT_EQ(url_find("one.example.org", 0), url_entry_at(1));
    EXPECT_EQ(url_find("one.example.org", 1), nullptr);
}

TEST_F(UrlCatcher, AFloodOfAddressesStopsAtTheListsLimit)
{
    for (int i = 0; i < kUrlListMax + 40; ++i)
        url_catch("spam http://flood" + std::to_string(i) + ".example.org/ more", 1);
    EXPECT_EQ(url_count(), kUrlListMax);
    EXPECT_EQ(url_catch("http://late.example.org/", 1), 1) << "found, though not kept";
    EXPECT_EQ(url_find("http://late.example.org/", 1), nullptr);
    // A line holding many addresses stops at the first one refused.
    strlist_free(&main_settings.url_list);
    std::string line;
    for (int i = 0; i < 400; ++i)
        line += "www.w" + std::to_string(i) + ".org ";
    url_catch(line, 1);
    EXPECT_EQ(url_count(), 400);
}

TEST_F(UrlCatcher, PrintedLinesAreCaughtAndTrackedWindowsPassAddressesOn)
{
    type("/echo -s look at https://printed.example.org/a");
    EXPECT_NE(url_find("https://printed.example.org/a", 1), nullptr);
    opt_set(OPT_CATCH_URLS, 0);
    type("/echo -s and https://missed.example.org/");
    EXPECT_EQ(url_find("https://missed.example.org/", 1), nullptr);
    opt_set(OPT_CATCH_EMAIL, 1);
    type("/echo -sm mail to someone@example.org");
    EXPECT_NE(url_find("someone@example.org", 1), nullptr) << "a message line with mail";
    type("/echo -s mail to other@example.org");
    EXPECT_EQ(url_find("other@example.org", 1), nullptr) << "not a message line";

    // A window that tracks addresses hands web addresses of message lines on
    // to the frame, which opens them from its message queue.
    app_messages_set_frame(nullptr);
    frame_proc_install();
    opt_set(OPT_CATCH_URLS, 1);
    status->track_urls = 1;
    type("/echo -sm open www.tracked.example.org now");
    type("/echo -s but not www.plain.example.org");
    // The frame opens passed-on addresses from its message queue.
    for (int i = 0; i < 100 && g_opened.empty(); ++i) {
        window_test_pump();
        QTest::qWait(10);
    }
    window_test_pump();
    EXPECT_EQ(g_opened, (std::vector<std::string>{"http://www.tracked.example.org"}));
}

// ---- Opening ----

TEST(UrlOpenForm, TheFirstFittingPrefixRowCompletesTheAddress)
{
    struct Case {
        std::string address, opened;
    } cases[] = {
        {"www.example.org", "http://www.example.org"},
        {"WWW.Example.org", "http://WWW.Example.org"},
        {"ftp.example.org", "ftp://ftp.example.org"},
        {"bob@example.org", "mailto:bob@example.org"},
        {"mailto://bob@example.org", "mailto:bob@example.org"},
        {"callto:\\\\someone", "callto:someone"},
        {"http:example.org", "http://example.org"},
        {"https:/example.org", "https://example.org"},
        {"http://example.org/%41b", "http://example.org/%41b"},
        {"irc://net.example.org", "irc://net.example.org"},
        {"www", "www"},
        {"wwwexample", "wwwexample"},
        {"www.", "www."},               // no "." after the host prefix: no row fits
        {"", ""},
        {"http://example.org/%zz", ""},
        {"http://example.org/%4", ""},
        {"http://example.org/%", ""},
        {"http://example.org/%00", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(url_open_form(c.address), c.opened) << c.address;
}

TEST_F(UrlCatcher, TheLinkWarningIsAskedForUnconfirmedEntriesButNotForMail)
{
    main_settings.warn_link = 1;
    // Refused: nothing opens.
    answer_modal([](QWidget* d) { click_button(d, QDialogButtonBox::No); });
    EXPECT_EQ(url_open("www.example.org", 0, 1), 0);
    EXPECT_TRUE(g_opened.empty());
    // The address may be changed before it opens.
    answer_modal([](QWidget* d) {
        d->findChild<QLineEdit*>("linkAddress")->setText("www.changed.example.org");
        click_button(d, QDialogButtonBox::Yes);
    });
    EXPECT_EQ(url_open("www.example.org", 0, 1), 1);
    EXPECT_EQ(g_opened, (std::vector<std::string>{"http://www.changed.example.org"}));
    // Mail addresses and calls without warn go straight on.
    g_opened.clear();
    EXPECT_EQ(url_open("bob@example.org", 0, 1), 1);
    EXPECT_EQ(url_open("www.example.org", 0, 0), 1);
    EXPECT_EQ(g_opened, (std::vector<std::string>{"mailto:bob@example.org", "http://www.example.org"}));
    // Clearing "keep warning" stops the questions and is remembered.
    answer_modal([](QWidget* d) {
        d->findChild<QCheckBox*>("linkKeepWarning")->setChecked(false);
        click_button(d, QDialogButtonBox::Yes);
    });
    EXPECT_EQ(url_open("www.once.example.org", 0, 1), 1);
    EXPECT_EQ(main_settings.warn_link, 0);
    std::string stored;
    ini_read("warn", "link", "", stored, 16, main_ini_path);
    EXPECT_EQ(stored, "off");
    g_opened.clear();
    EXPECT_EQ(url_open("www.twice.example.org", 0, 1), 1);
    EXPECT_EQ(g_opened, (std::vector<std::string>{"http://www.twice.example.org"}));
}

TEST_F(UrlCatcher, StoredPagesOpenTheirAddressFromTheSettings)
{
    ini_write("update", "url2", "www.news.example.org", main_ini_path);
    ini_write("update", "url3", "https://board.example.org/", main_ini_path);
    ASSERT_EQ(frame_on_command(nullptr, 192, 0), 1);
    ASSERT_EQ(frame_on_command(nullptr, 193, 0), 1);
    EXPECT_EQ(g_opened, (std::vector<std::string>{"http://www.news.example.org", "https://board.example.org/"}));
    g_opened.clear();
    ini_write("update", "url3", "", main_ini_path);
    frame_on_command(nullptr, 193, 0);
    EXPECT_TRUE(g_opened.empty()) << "no address stored: nothing opens";
}

TEST_F(UrlCatcher, TheAddressPopupOpensWithTheWarningAndCopies)
{
    QMenu* menu = url_address_popup_build(status->hwnd.get());
    std::vector<int> ids;
    for (QAction* a : menu->actions())
        if (!a->isSeparator())
            ids.push_back(a->data().toInt());
    delete menu;
    EXPECT_EQ(ids, (std::vector<int>{7000, 7001, 7002}));

    main_settings.warn_link = 1;
    int asked = 0;
    answer_modal([&asked](QWidget* d) {
        ++asked;
        click_button(d, QDialogButtonBox::Yes);
    });
    menu_url_hotlink_command(7000, "www.hot.example.org");
    answer_modal([&asked](QWidget* d) {
        ++asked;
        click_button(d, QDialogButtonBox::No);
    });
    menu_url_hotlink_command(7001, "www.refused.example.org");
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(g_opened, (std::vector<std::string>{"http://www.hot.example.org"}));
    menu_url_hotlink_command(7002, "www.copied.example.org");
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "www.copied.example.org");
    EXPECT_EQ(g_opened.size(), 1u) << "copying opens nothing";
}

// ---- The list file ----

TEST_F(UrlCatcher, SavingWritesWhenChangedAndForgettingDropsUnconfirmedEntries)
{
    url_catch("http://caught.example.org/", 1);
    url_set_entry('!', "Kept page", "http://kept.example.org/");
    url_save_list(0);
    const std::string first = read_text(dir / "urls.ini");
    EXPECT_NE(first.find("URL:http://caught.example.org/"), std::string::npos) << first;
    EXPECT_NE(first.find("!:Kept pageURL:http://kept.example.org/"), std::string::npos) << first;
    // Unchanged: a second save leaves the file alone.
    fs::remove(dir / "urls.ini");
    url_save_list(0);
    EXPECT_FALSE(fs::exists(dir / "urls.ini"));
    // Delete on exit: the unconfirmed entries go, the confirmed one stays.
    opt_set(OPT_URL_DELETE_ON_EXIT, 1);
    url_save_list(1);
    const std::string second = read_text(dir / "urls.ini");
    EXPECT_EQ(second.find("caught.example.org"), std::string::npos) << second;
    EXPECT_NE(second.find("kept.example.org"), std::string::npos) << second;
    url_list_load((dir / "urls.ini").string());
    EXPECT_EQ(addresses(), (std::vector<std::string>{"http://kept.example.org/"}));
}

TEST_F(UrlCatcher, NewEntriesGoFirstWhileTheOptionIsOn)
{
    url_set_entry('a', "Alpha", "http://alpha.example.org");
    url_catch("http://zulu.example.org", 1);
    EXPECT_EQ(addresses(), (std::vector<std::string>{"http://zulu.example.org", "http://alpha.example.org"}))
        << "'?' sorts before 'a' by text";
    url_set_entry('!', "Bang", "http://bang.example.org");
    EXPECT_EQ(url_entry_address(url_entry_at(1)->text), "http://bang.example.org");
    opt_set(OPT_URL_NEW_AT_TOP, 1);
    url_list_sort();
    EXPECT_EQ(url_entry_address(url_entry_at(1)->text), "http://zulu.example.org") << "unconfirmed first";
}

// ---- The window ----

TEST_F(UrlCatcher, TheFrameCommandAndTheTrayOpenAndCloseTheWindow)
{
    url_catch("http://one.example.org/", 1);
    ASSERT_EQ(frame_on_command(nullptr, 132, 0), 1);
    window_test_pump();
    WindowRecord* rec = url_list_window();
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->hwnd.get()->windowTitle().toStdString(), "Urls List [urls.ini]");
    EXPECT_EQ(lines(), (std::vector<std::string>{" ?\thttp://one.example.org/\tURL:http://one.example.org/"}));
    // New catches show at once.
    url_catch("http://two.example.org/", 1);
    EXPECT_EQ(lines().size(), 2u);
    // Active: the command closes it.
    ASSERT_EQ(rec->hwnd.get(), win_active_if_shown());
    frame_on_command(nullptr, 132, 0);
    window_test_pump();
    EXPECT_EQ(url_list_window(), nullptr);
    // The tray's item opens it again.
    QMenu* tray = tray_popup();
    ASSERT_TRUE(tray);
    for (QAction* a : tray->actions())
        if (a->data().toInt() == 2008)
            a->trigger();
    window_test_pump();
    EXPECT_NE(url_list_window(), nullptr);
}

TEST_F(UrlCatcher, ThePopupGreysWhatTheSelectionDoesNotAllow)
{
    for (const char* a : {"http://a.example.org", "http://b.example.org", "http://c.example.org"})
        url_catch(a, 1);
    url_list_open();
    window_test_pump();
    ASSERT_EQ(lines().size(), 3u);
    auto enabled = [](QMenu* m, int id) {
        for (QAction* a : m->actions())
            if (a->data().toInt() == id)
                return a->isEnabled();
        ADD_FAILURE() << "no item " << id;
        return false;
    };
    struct Case {
        std::vector<int> rows;
        bool edit, copy, del, show;
    } cases[] = {
        {{}, false, false, false, false},
        {{1}, true, true, true, true},
        {{0, 1, 2}, true, true, true, false},
    };
    for (const Case& c : cases) {
        select_rows(c.rows);
        QMenu* m = url_popup_build(url_list_window());
        EXPECT_TRUE(enabled(m, 7000));
        EXPECT_EQ(enabled(m, 7001), c.edit) << c.rows.size();
        EXPECT_EQ(enabled(m, 7002), c.copy) << c.rows.size();
        EXPECT_EQ(enabled(m, 7003), c.del) << c.rows.size();
        EXPECT_EQ(enabled(m, 7005), c.show) << c.rows.size();
        delete m;
    }
}

TEST_F(UrlCatcher, EditingSeveralLinesChangesOnlyTheirStates)
{
    url_set_entry('a', "First", "http://a.example.org");
    url_set_entry('b', "Second", "http://b.example.org");
    url_set_entry('c', "Third", "http://c.example.org");
    url_set_entry('d', "Fourth", "http://d.example.org");
    url_list_open();
    window_test_pump();
    select_rows({0, 1, 2});
    answer_modal([](QWidget* d) {
        EXPECT_FALSE(d->findChild<QLineEdit*>("urlAddress")->isEnabled());
        d->findChild<QLineEdit*>("urlState")->setText("!");
        click_button(d, QDialogButtonBox::Ok);
    });
    menu_urls_command(7001, url_list_window());
    EXPECT_EQ(url_list_entries(), (std::vector<std::string>{"!:FirstURL:http://a.example.org",
                                                            "!:SecondURL:http://b.example.org",
                                                            "!:ThirdURL:http://c.example.org",
                                                            "d:FourthURL:http://d.example.org"}));
    EXPECT_EQ(lines().at(0), " !\tFirst\tURL:http://a.example.org");
}

TEST_F(UrlCatcher, AddingAndEditingOneEntryThroughItsDialog)
{
    url_list_open();
    window_test_pump();
    // Insert in the list opens the new-entry dialog; an empty field refuses OK.
    answer_modal([](QWidget* d) {
        auto* desc = d->findChild<QLineEdit*>("urlDescription");
        d->findChild<QLineEdit*>("urlAddress")->setText("http://new.example.org/");
        desc->setText("");
        d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        EXPECT_TRUE(d->isVisible()) << "an empty description keeps the dialog open";
        desc->setText("New page");
        d->findChild<QLineEdit*>("urlState")->setText("n");
        click_button(d, QDialogButtonBox::Ok);
    });
    list()->setFocus();
    QTest::keyClick(list(), Qt::Key_Insert);
    window_test_pump();
    EXPECT_EQ(url_list_entries(), (std::vector<std::string>{"n:New pageURL:http://new.example.org/"}));
    ASSERT_EQ(lines().size(), 1u);
    // Editing the address replaces the entry; no copy of the old one stays.
    select_rows({0});
    answer_modal([](QWidget* d) {
        d->findChild<QLineEdit*>("urlAddress")->setText("http://moved.example.org/");
        click_button(d, QDialogButtonBox::Ok);
    });
    menu_urls_command(7001, url_list_window());
    EXPECT_EQ(url_list_entries(), (std::vector<std::string>{"n:New pageURL:http://moved.example.org/"}));
    EXPECT_EQ(lines(), (std::vector<std::string>{" n\tNew page\tURL:http://moved.example.org/"}));
    // Cancel changes nothing.
    answer_modal([](QWidget* d) { click_button(d, QDialogButtonBox::Cancel); });
    menu_urls_command(7000, url_list_window());
    EXPECT_EQ(url_count(), 1);
}

TEST_F(UrlCatcher, DeleteAsksFirstAndCopyJoinsTheAddresses)
{
    for (const char* a : {"http://a.example.org", "http://b.example.org", "http://c.example.org"})
        url_catch(a, 1);
    url_list_open();
    window_test_pump();
    select_rows({0, 2});
    menu_urls_command(7002, url_list_window());
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "http://a.example.org\r\nhttp://c.example.org");

    // "No" keeps them; Delete in the list asks the same.
    answer_modal([](QWidget* d) { click_button(d, QDialogButtonBox::No); });
    list()->setFocus();
    QTest::keyClick(list(), Qt::Key_Delete);
    window_test_pump();
    EXPECT_EQ(url_count(), 3);
    select_rows({0, 2});
    answer_modal([](QWidget* d) { click_button(d, QDialogButtonBox::Yes); });
    menu_urls_command(7003, url_list_window());
    EXPECT_EQ(addresses(), (std::vector<std::string>{"http://b.example.org"}));
    EXPECT_EQ(lines(), (std::vector<std::string>{" ?\thttp://b.example.org\tURL:http://b.example.org"}));
}

TEST_F(UrlCatcher, ShowAndDoubleClickOpenTheEntryAskingForUnconfirmedOnes)
{
    main_settings.warn_link = 1;
    url_catch("www.caught.example.org", 1);
    url_set_entry('!', "Known", "www.known.example.org");
    url_list_open();
    window_test_pump();
    ASSERT_EQ(lines().size(), 2u);
    // The confirmed entry ("!") opens without a question.
    select_rows({0});
    ASSERT_EQ(lines().at(0).substr(0, 2), " !");
    menu_urls_command(7005, url_list_window());
    EXPECT_EQ(g_opened, (std::vector<std::string>{"http://www.known.example.org"}));
    // The caught one ("?") asks; a refusal opens nothing.
    g_opened.clear();
    int asked = 0;
    answer_modal([&asked](QWidget* d) {
        ++asked;
        click_button(d, QDialogButtonBox::No);
    });
    select_rows({1});
    list()->setFocus();
    QTest::keyClick(list(), Qt::Key_Return);
    window_test_pump();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(g_opened.empty());
    answer_modal([&asked](QWidget* d) {
        ++asked;
        click_button(d, QDialogButtonBox::Yes);
    });
    emit list()->itemDoubleClicked(list()->item(1));
    window_test_pump();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(g_opened, (std::vector<std::string>{"http://www.caught.example.org"}));
}

TEST_F(UrlCatcher, FindShowsOnlyEntriesWhoseDescriptionHoldsTheText)
{
    url_set_entry('!', "Weather report", "http://w.example.org");
    url_set_entry('!', "News", "http://n.example.org");
    url_set_entry('!', "weather map", "http://m.example.org");
    url_list_open();
    window_test_pump();
    answer_modal([](QWidget* d) {
        d->findChild<QLineEdit*>()->setText("WEATHER");
        click_button(d, QDialogButtonBox::Ok);
    });
    menu_urls_command(7004, url_list_window());
    // In the list's order: case is ignored, "map" before "report".
    EXPECT_EQ(lines(), (std::vector<std::string>{" !\tweather map\tURL:http://m.example.org",
                                                 " !\tWeather report\tURL:http://w.example.org"}));
    // A new entry that does not match stays out of the filtered window.
    url_set_entry('!', "Sports", "http://s.example.org");
    EXPECT_EQ(lines().size(), 2u);
    url_list_refill("");
    EXPECT_EQ(lines().size(), 4u);
}

}  // namespace
