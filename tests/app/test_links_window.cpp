// The Links List window: LINKS replies from the server laid out as a tree in
// the connection's window, and a double-click on a line connecting to that
// server without evaluating or splitting the name the server gave.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTimer>
#include <QTest>

#include <filesystem>
#include <string>
#include <vector>

#include "app/child_widgets.h"
#include "model/connection.h"
#include "app/links_window.h"
#include "app/popup_menus.h"
#include "app/startup.h"
#include "app/frame_proc.h"
#include "platform/app_messages.h"
#include "platform/platform_utils.h"
#include "app/subsystems.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/string_list.h"
#include "model/colors.h"
#include "display/editbox.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/link/connect.h"
#include "irc/link/send_queue.h"
#include "irc/services/links.h"
#include "support/hook_guard.h"
#include "support/window_fixture.h"
#include "support/test_wire.h"

namespace {

namespace fs = std::filesystem;

StringNode* entries(std::initializer_list<const char*> newest_first)
{
    StringNode* list = nullptr;
    for (const char* e : newest_first)
        list = strlist_append(list, std::string_view(e), 0);
    return list;
}

TEST(LinksLayout, ATreeByUplinkWithDepthColoursAndOrphansAtTheTop)
{
    StringNode* list = entries({"c.test,b.test,2 Leaf C", "orphan.test,gone.test,5 Lost", "b.test,a.test,1 Hub B",
                                "a.test,a.test,0 Root A", "*.masked,a.test,1", "bare.test,a.test", "nocomma"});
    std::vector<LinkLine> lines = links_layout(list);
    EXPECT_EQ(list, nullptr) << "every entry is taken";
    std::vector<std::string> texts;
    std::vector<std::uint32_t> colours;
    for (const LinkLine& l : lines) {
        texts.push_back(l.text);
        colours.push_back(l.colour);
    }
    const std::vector<std::string> want = {"a.test (0) Root A", "\tb.test (1) Hub B", "\t\tc.test (2) Leaf C",
                                           "\t*.masked (1)", "\tbare.test", "orphan.test (5) Lost"};
    EXPECT_EQ(texts, want);
    const std::vector<std::uint32_t> want_colours = {kColorNormalText, kColorInfoText, kColorInfo2Text,
                                                     kColorInfoText, kColorInfoText, kColorNormalText};
    EXPECT_EQ(colours, want_colours);
}

// A hostile chain of servers, each the uplink of the next, stays bounded.
TEST(LinksLayout, ADeepChainIsBoundedInDepth)
{
    StringNode* list = nullptr;
    for (int i = 1; i < 500; ++i)
        list = strlist_append(list, std::string_view("s" + std::to_string(i) + ".test,s" + std::to_string(i - 1) + ".test,1 x"), 0);
    list = strlist_append(list, std::string_view("s0.test,s0.test,0 root"), 0);
    std::vector<LinkLine> lines = links_layout(list);
    EXPECT_EQ(lines.size(), 500u);
    for (const LinkLine& l : lines)
        EXPECT_LT(l.depth, kLinksMaxDepth);
}

TEST(LinksLines, DoubleClickCommandsAndFields)
{
    struct Case {
        const char* line;
        bool shift;
        const char* command;
        bool masked;
    };
    const Case cases[] = {
        {"\t\tirc.b.test (1) Hub B", false, "/!.server irc.b.test", false},
        {"\tirc.b.test (1) Hub B", true, "/!.server -m irc.b.test", false},
        {"\t*.masked.test (1) Hidden", false, "", true},
        {"\t*.masked.test (1) [10.0.0.5] Hidden", false, "/!.server 10.0.0.5", false},
        {"irc.c.test (2) [10.0.0.6] Info", false, "/!.server 10.0.0.6", false},
        {"irc.c.test (2) [name.only] Info", false, "/!.server irc.c.test", false},
        {"\t\t", false, "", false},
        {"", false, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        bool masked = !c.masked;
        EXPECT_EQ(links_dblclick_command(c.line, c.shift, &masked), c.command);
        EXPECT_EQ(masked, c.masked);
    }
    const std::string line = "\t\tirc.c.test (2) [10.0.0.6] Some info";
    EXPECT_EQ(link_line_field(line, 0), "irc.c.test");
    EXPECT_EQ(link_line_field(line, 1), "10.0.0.6");
    EXPECT_EQ(link_line_field(line, 2), "2");
    EXPECT_EQ(link_line_field(line, 3), "Some info");
    EXPECT_EQ(link_line_field("lonely", 0), "");
    EXPECT_EQ(link_line_field("a (x) [0.1]", 2), "");
    EXPECT_EQ(link_line_field("a (x) [0.1]", 1), "");
}

class LinksWindow : public ::testing::Test {
    HookGuard hooks_;
protected:
    void SetUp() override
    {
        window_test_reset();
        saved_ini = main_ini_path;
        saved_servers = main_settings.servers_file;
        app_install_subsystems();
        dir = fs::temp_directory_path() / ("kest-links-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        main_ini_path = (dir / "kest.ini").string();
        main_settings.servers_file = (dir / "servers.ini").string();
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        conn->stored_identity[0] = "Kest User";
        conn->stored_identity[1] = "kuser@example.org";
        conn->stored_identity[2] = "kestme";
        conn->stored_identity[5] = "start.test";
        conn->stored_identity[9] = "6667";
        conn_identity_copy(0, conn);
    }
    void TearDown() override
    {
        for (Connection* c = conn_list; c; c = c->next)
            conn_kill_connect_timer(c);
        main_ini_path = saved_ini;
        main_settings.servers_file = saved_servers;
        window_test_reset();
        fs::remove_all(dir);
    }
    void links_reply(const std::vector<std::string>& lines)
    {
        for (const std::string& l : lines)
            irc_dispatch_line(l, conn);
    }
    ListBox* box()
    {
        WindowRecord* rec = conn->links_window ? win_record_of(conn->links_window.data()) : nullptr;
        return rec ? rec->listbox.get() : nullptr;
    }
    void double_click(int row)
    {
        ListBox* b = box();
        b->window()->show();
        (void)QTest::qWaitForWindowExposed(b->window(), 2000);
        QListWidgetItem* item = b->item(row);
        QRect r = b->visualItemRect(item);
        // A double-click is a press and release followed by the second press.
        QTest::mousePress(b->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
        QTest::mouseRelease(b->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
        QTest::mouseDClick(b->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
        QTest::mouseRelease(b->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());  // the button comes up
    }
    std::string saved_ini, saved_servers;
    fs::path dir;
    TestWire wire;
    // The lines sent to the server so far.
    const std::vector<std::string>& sent() { return wire.lines(); }
    Connection* conn = nullptr;
};

TEST_F(LinksWindow, TheAnswerToLinksFillsTheWindowAndADoubleClickConnects)
{
    const std::vector<std::string> reply = {
        ":irc.test 364 kestme leaf.test hub.test :2 Leaf",
        ":irc.test 364 kestme hub.test root.test :1 Hub",
        ":irc.test 364 kestme root.test root.test :0 Root",
        ":irc.test 365 kestme * :End of LINKS list",
    };
    for (int round = 0; round < 2; ++round) {  // a second answer reuses the window
        SCOPED_TRACE(round);
        links_reply(reply);
        ASSERT_TRUE(conn->links_window) << "no Links List window";
        ListBox* b = box();
        ASSERT_TRUE(b);
        ASSERT_EQ(b->count(), 3);
        EXPECT_EQ(b->item(0)->data(Qt::UserRole).toString().toStdString(), "root.test (0) Root");
        EXPECT_EQ(b->item(2)->data(Qt::UserRole).toString().toStdString(), "\t\tleaf.test (2) Leaf");
        EXPECT_EQ(conn->links_window->windowTitle().toStdString(), "Link Listesi 3 server");
    }
    double_click(1);
    EXPECT_EQ(conn->stored_identity[5], "hub.test");
    links_dblclick_server("\thub2.test (1) x", conn->links_window.data(), false);
    EXPECT_EQ(conn->stored_identity[5], "hub2.test");
    // Enter on the caret line connects as a double-click on it does.
    ListBox* b = box();
    b->setCurrentRow(2);
    b->setFocus();
    QTest::keyClick(b, Qt::Key_Return);
    EXPECT_EQ(conn->stored_identity[5], "leaf.test");
}

// A server name with script text in it is taken as it is: nothing is
// evaluated and nothing after a "|" runs as a command of its own.
TEST_F(LinksWindow, AServerNameIsNeitherEvaluatedNorSplit)
{
    links_reply({":irc.test 364 kestme evil$me|/quit root.test :1 x",
                 ":irc.test 364 kestme root.test root.test :0 Root", ":irc.test 365 kestme * :End"});
    ASSERT_TRUE(box());
    ASSERT_EQ(box()->count(), 2);
    wire.clear();
    double_click(1);
    EXPECT_EQ(conn->stored_identity[5], "evil$me|/quit");
    for (const std::string& l : sent())
        EXPECT_EQ(l.rfind("QUIT", 0), std::string::npos) << l;
}

TEST_F(LinksWindow, AMaskedServerCannotBeConnectedTo)
{
    links_reply({":irc.test 364 kestme *.hidden.test root.test :1 Hidden",
                 ":irc.test 364 kestme root.test root.test :0 Root", ":irc.test 365 kestme * :End"});
    ASSERT_TRUE(box());
    const std::string before = conn->stored_identity[5];
    double_click(1);
    EXPECT_EQ(conn->stored_identity[5], before);
    WindowRecord* status = win_record_of(conn->status_window);
    ASSERT_TRUE(status);
    bool said = false;
    for (const StringNode* n = status->lines; n; n = n->next)
        said = said || n->text.find("* Server Adresi Bulunamıyor") != std::string::npos;
    EXPECT_TRUE(said);
}

// The lines are the window's own text, which $link reads: a new answer
// replaces them, and none of them goes to the status window.
TEST_F(LinksWindow, TheLinesAreTheWindowsOwnTextForLink)
{
    const std::vector<std::string> reply = {
        ":irc.test 364 kestme leaf.test hub.test :2 Leaf",
        ":irc.test 364 kestme hub.test root.test :1 Hub",
        ":irc.test 364 kestme root.test root.test :0 Root",
        ":irc.test 365 kestme * :End of LINKS list",
    };
    WindowRecord* status = win_record_of(conn->status_window.data());
    ASSERT_TRUE(status && status->editbox.get());
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        links_reply(reply);
        status->editbox->setTextBytes("//echo -s links $link(0) $link(2) $link(3).level");
        editbox_submit(status, status->editbox.get(), kSubmitNormal | kSubmitAlways, 0);
        window_test_pump();
        std::vector<std::string> lines;
        for (const StringNode* n = status->lines; n; n = n->next)
            lines.push_back(n->text);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "links 3 hub.test 2");
        for (const std::string& l : lines)
            EXPECT_EQ(l.find("Root"), std::string::npos) << "printed into the status window: " << l;
    }
}

// The window's right-click menu: the line under the pointer is selected and
// each item acts on it.
TEST_F(LinksWindow, TheRightClickMenuConnectsCopiesAsksAgainAndSaves)
{
    app_messages_set_frame(nullptr);
    frame_proc_install();
    const std::vector<std::string> reply = {
        ":irc.test 364 kestme leaf.test hub.test :2 Leaf",
        ":irc.test 364 kestme hub.test root.test :1 Hub",
        ":irc.test 364 kestme root.test root.test :0 Root",
        ":irc.test 365 kestme * :End of LINKS list",
    };
    links_reply(reply);
    ASSERT_TRUE(box());
    auto rclick = [this](int row) -> QMenu* {
        ListBox* b = box();
        b->window()->show();
        (void)QTest::qWaitForWindowExposed(b->window(), 2000);
        QTest::mouseClick(b->viewport(), Qt::RightButton, {}, b->visualItemRect(b->item(row)).center());
        window_test_pump();
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    };
    auto choose = [](QMenu* menu, const std::string& caption) {
        for (QAction* a : menu->actions())
            if (a->text().toStdString() == caption) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
                window_test_pump();
                return;
            }
        ADD_FAILURE() << "no item " << caption;
    };

    QMenu* menu = rclick(1);
    ASSERT_TRUE(menu) << "no menu";
    EXPECT_EQ(popup_context.kind, kPopupLinks);
    std::vector<std::string> captions;
    for (QAction* a : menu->actions())
        captions.push_back(a->isSeparator() ? "-" : a->text().toStdString());
    EXPECT_EQ(captions, (std::vector<std::string>{"Servera Bağlanılıyor", "Clipboard a Kopyala", "-",
                                                  "&Linkeleri Yükle", "-", "&Linkleri Kaydet..."}));
    QApplication::clipboard()->setText("before");
    choose(menu, "Clipboard a Kopyala");
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "hub.test");
    EXPECT_EQ(popup_context.kind, kPopupNone);

    menu = rclick(2);
    ASSERT_TRUE(menu);
    choose(menu, "Servera Bağlanılıyor");
    EXPECT_EQ(conn->stored_identity[5], "leaf.test");
    for (Connection* c = conn_list; c; c = c->next)
        conn_kill_connect_timer(c);

    // Saved under [links] of the file the user names, one key per line.
    const std::string file = dir.string() + "/saved-links.ini";
    // Answers the file dialog as soon as it shows.
    QString title;
    QTimer answer;
    answer.setInterval(10);
    QObject::connect(&answer, &QTimer::timeout, &answer, [&answer, &title, file] {
        auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!fd || !fd->isVisible())
            return;
        answer.stop();
        title = fd->windowTitle();
        if (auto* name = fd->findChild<QLineEdit*>("fileNameEdit"))
            name->setText(QString::fromStdString(file));
        static_cast<QDialog*>(fd)->accept();
    });
    answer.start();
    menu = rclick(0);
    ASSERT_TRUE(menu);
    choose(menu, "&Linkleri Kaydet...");
    answer.stop();
    EXPECT_EQ(title, QString::fromUtf8("Farklı Kaydet"));
    std::string value;
    ini_read("links", "n0", "", value, 1024, file);
    EXPECT_EQ(value, "root.test (0) Root");
    ini_read("links", "n2", "", value, 1024, file);
    EXPECT_EQ(value, "leaf.test (2) Leaf");
    ini_read("links", "n3", "", value, 1024, file);
    EXPECT_EQ(value, "");

    // Asked again: the list empties and LINKS goes to the server.
    conn->connected = 1;
    ASSERT_TRUE(wire.ok());
    wire.attach(conn);
    wire.clear();
    menu = rclick(0);
    ASSERT_TRUE(menu);
    choose(menu, "&Linkeleri Yükle");
    EXPECT_EQ(box()->count(), 0);
    EXPECT_EQ(sent(), std::vector<std::string>{"LINKS\n"});
    links_reply(reply);
    EXPECT_EQ(box()->count(), 3);
    conn->socket = -1;
    conn->connected = 0;
}

} // namespace
