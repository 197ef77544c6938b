// The finger dialog and the Finger window's right-click menu on the real
// widgets, against a plain socket playing a finger server on loopback:
// /finger without a target and menu command 158 open the dialog, OK asks
// the target typed or chosen, Cancel asks nothing, the delete button drops
// a recent target; the menu asks a recent target again or cancels a query.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "model/connection.h"
#include "app/finger_dialog.h"
#include "app/frame_menu.h"
#include "app/frame_proc.h"
#include "app/mdi_arrange.h"
#include "app/popup_menus.h"
#include "app/subsystems.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/string_list.h"
#include "display/editbox.h"
#include "irc/services/finger.h"
#include "platform/app_messages.h"
#include "platform/platform_test_env.h"
#include "platform/platform_utils.h"
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/window_fixture.h"

namespace {

int beeps = 0;

// A plain socket standing for a finger server.
struct Peer {
    int fd = -1;
    int port = 0;
    Peer()
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 5) != 0)
            return;
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
    }
    ~Peer()
    {
        ::close(fd);
        if (held >= 0)
            ::close(held);
    }
    // The request line of the next client, or "" when none came. The
    // client is closed, which ends the query, unless it is to be held.
    std::string next_request(int ms = 5000, bool hold = false)
    {
        int client = -1;
        pump_until([&] { return (client = ::accept(fd, nullptr, nullptr)) >= 0; }, ms);
        if (client < 0)
            return std::string();
        std::string got;
        pump_until(
            [&] {
                char buf[256];
                const ssize_t n = ::recv(client, buf, sizeof buf, MSG_DONTWAIT);
                if (n > 0)
                    got.append(buf, static_cast<std::size_t>(n));
                return n == 0 || got.find('\n') != std::string::npos;
            },
            ms);
        if (hold)
            held = client;
        else
            ::close(client);
        return got;
    }
    int held = -1;
    bool nobody_came() { return ::accept(fd, nullptr, nullptr) < 0; }
};

std::vector<std::string> history()
{
    std::vector<std::string> out;
    StringNode* list = finger_history_load();
    for (const StringNode* n = list; n; n = n->next)
        out.push_back(n->text);
    strlist_free(&list);
    return out;
}

std::vector<std::string> captions(QMenu* menu)
{
    std::vector<std::string> out;
    for (QAction* a : menu->actions())
        out.push_back(a->isSeparator() ? std::string("-") : a->text().toStdString());
    return out;
}

class FingerDialog : public ::testing::Test {
    HookGuard hooks_;
    SavedValues<int, std::string> saved_{finger_port, main_ini_path};

protected:
    TempSettingsDir temp{"kest_fingerdlg_"};
    Peer peer;
    Connection* conn = nullptr;
    WindowRecord* status = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(temp.made());
        ASSERT_GT(peer.port, 0);
        window_test_reset();
        app_install_subsystems();
        app_messages_set_frame(nullptr);
        frame_proc_install();
        main_ini_path = temp.path() + "kest.ini";
        finger_port = peer.port;
        beeps = 0;
        beep_play_hook = [](int) { ++beeps; };
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        status = win_record_of(conn->status_window);
        ASSERT_TRUE(status && status->editbox.get());
    }
    void TearDown() override
    {
        while (QWidget* w = QApplication::activePopupWidget())
            w->close();
        if (QWidget* d = finger_dialog_window())
            delete d;
        menu_popup_reset();
        finger_close(std::string());
        window_test_reset();
    }
    void type(const std::string& text)
    {
        status->editbox->setTextBytes(text);
        editbox_submit(status, status->editbox.get(), kSubmitNormal | kSubmitAlways, 0);
        window_test_pump();
    }
    void set_history(const std::vector<std::string>& targets)
    {
        StringNode* list = nullptr;
        for (const std::string& t : targets)
            list = strlist_append(list, std::string_view(t), 0);
        ini_write_numbered_list(list, "finger", "n", 0, main_ini_path);
        strlist_free(&list);
    }
    QComboBox* combo() { return qobject_cast<QComboBox*>(dlg_item(finger_dialog_window(), 178)); }
    QPushButton* button(int id) { return qobject_cast<QPushButton*>(dlg_item(finger_dialog_window(), id)); }
    WindowRecord* finger_window() { return win_find_by_type(kWinFinger, nullptr); }
    std::vector<std::string> finger_lines()
    {
        std::vector<std::string> out;
        for (const StringNode* n = finger_window() ? finger_window()->lines : nullptr; n; n = n->next)
            out.push_back(n->text);
        return out;
    }
    // Right-clicks the Finger window's text; the menu shown, or null.
    QMenu* rclick_finger_window()
    {
        WindowRecord* rec = finger_window();
        if (!rec || !rec->text_area.get())
            return nullptr;
        win_activate(rec->hwnd, 0);
        window_test_pump();
        QWidget* area = rec->text_area.get();
        QTest::mouseClick(area, Qt::RightButton, {}, QPoint(area->width() / 2, area->height() - 5));
        window_test_pump();
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    }
    void choose(QMenu* menu, const std::string& caption)
    {
        for (QAction* a : menu->actions())
            if (a->text().toStdString() == caption) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
                window_test_pump();
                window_test_pump();
                return;
            }
        ADD_FAILURE() << "no item " << caption;
    }
};

TEST_F(FingerDialog, SlashFingerOpensItAndEnterAsksTheTypedTarget)
{
    set_history({"old@127.0.0.1", "127.0.0.1"});
    type("/finger");
    ASSERT_TRUE(finger_dialog_window()) << "no dialog";
    EXPECT_TRUE(finger_dialog_window()->isVisible());
    ASSERT_TRUE(combo());
    EXPECT_EQ(combo()->count(), 2);
    EXPECT_EQ(combo()->currentText().toStdString(), "old@127.0.0.1") << "the newest shown";
    combo()->lineEdit()->selectAll();
    QTest::keyClicks(combo()->lineEdit(), "alice@127.0.0.1");
    QTest::keyClick(combo()->lineEdit(), Qt::Key_Return);
    window_test_pump();
    EXPECT_EQ(peer.next_request(), "alice\n");
    EXPECT_FALSE(finger_dialog_window()) << "OK closes the dialog";
    EXPECT_EQ(history(), (std::vector<std::string>{"alice@127.0.0.1", "old@127.0.0.1", "127.0.0.1"}));
    ASSERT_TRUE(finger_window());
    pump_until([] { return !finger_running(); }, 5000);
}

TEST_F(FingerDialog, MenuCommandOpensItAndCancelAsksNothing)
{
    set_history({"old@127.0.0.1"});
    for (int round = 0; round < 2; ++round) {  // opened a second time after the first closed
        SCOPED_TRACE(round);
        frame_on_command(nullptr, 158, 0);
        window_test_pump();
        ASSERT_TRUE(finger_dialog_window());
        frame_on_command(nullptr, 158, 0);  // asked again while open: still one
        int dialogs = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            dialogs += w->objectName() == QLatin1String("finger_dialog") && w->isVisible() ? 1 : 0;
        EXPECT_EQ(dialogs, 1);
        combo()->setEditText("changed@127.0.0.1");
        QTest::mouseClick(button(2), Qt::LeftButton);
        window_test_pump();
        EXPECT_FALSE(finger_dialog_window());
        EXPECT_TRUE(peer.nobody_came());
        EXPECT_FALSE(finger_running());
        EXPECT_EQ(history(), std::vector<std::string>{"old@127.0.0.1"});
    }
}

TEST_F(FingerDialog, DeleteDropsTheShownRecentTargetAndBeepsForATypedOne)
{
    set_history({"a@127.0.0.1", "b@127.0.0.1", "c@127.0.0.1"});
    type("/finger");
    ASSERT_TRUE(combo());
    combo()->setCurrentIndex(1);
    QTest::mouseClick(button(179), Qt::LeftButton);
    EXPECT_EQ(combo()->count(), 2);
    EXPECT_EQ(combo()->findText("b@127.0.0.1"), -1);
    EXPECT_EQ(beeps, 0);
    combo()->setEditText("typed@127.0.0.1");  // not a recent one: nothing selected
    QTest::mouseClick(button(179), Qt::LeftButton);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(combo()->count(), 2);
    combo()->setCurrentIndex(1);  // c
    QTest::mouseClick(button(1), Qt::LeftButton);
    window_test_pump();
    EXPECT_EQ(peer.next_request(), "c\n");
    EXPECT_EQ(history(), (std::vector<std::string>{"c@127.0.0.1", "a@127.0.0.1"}));
    pump_until([] { return !finger_running(); }, 5000);
}

TEST_F(FingerDialog, WhileAQueryRunsOpeningItCancelsTheQuery)
{
    type("/finger @127.0.0.1");
    ASSERT_TRUE(finger_running());
    type("/finger");
    EXPECT_FALSE(finger_running());
    EXPECT_FALSE(finger_dialog_window());
    ASSERT_FALSE(finger_lines().empty());
    EXPECT_EQ(finger_lines().back(), "Finger İptal Edildi");
}

TEST_F(FingerDialog, TheFingerWindowMenuAsksARecentTargetOrCancels)
{
    type("/finger @127.0.0.1");
    EXPECT_EQ(peer.next_request(), "@127.0.0.1\n");
    ASSERT_TRUE(pump_until([] { return !finger_running(); }, 5000));
    set_history({"1@127.0.0.1", "2@127.0.0.1", "3@127.0.0.1", "4@127.0.0.1", "5@127.0.0.1", "6@127.0.0.1"});

    QMenu* menu = rclick_finger_window();
    ASSERT_TRUE(menu) << "no menu";
    EXPECT_EQ(popup_context.kind, kPopupFinger);
    EXPECT_EQ(captions(menu), (std::vector<std::string>{"&Finger...", "1@127.0.0.1", "2@127.0.0.1", "3@127.0.0.1",
                                                        "4@127.0.0.1", "5@127.0.0.1"}));
    choose(menu, "3@127.0.0.1");
    EXPECT_EQ(peer.next_request(5000, true), "3\n");
    EXPECT_EQ(popup_context.kind, kPopupNone);

    // While it runs the menu offers only to cancel it.
    ASSERT_TRUE(finger_running());
    menu = rclick_finger_window();
    ASSERT_TRUE(menu);
    EXPECT_EQ(captions(menu), std::vector<std::string>{"&Finger Iptal"});
    choose(menu, "&Finger Iptal");
    EXPECT_FALSE(finger_running());
    EXPECT_EQ(finger_lines().back(), "Finger İptal Edildi");

    // "Finger..." opens the dialog.
    menu = rclick_finger_window();
    ASSERT_TRUE(menu);
    choose(menu, "&Finger...");
    pump_until([this] { return finger_dialog_window() != nullptr; }, 2000);
    EXPECT_TRUE(finger_dialog_window());
}

TEST_F(FingerDialog, WithoutRecentTargetsTheMenuIsNotShown)
{
    type("/finger @127.0.0.1");
    EXPECT_EQ(peer.next_request(), "@127.0.0.1\n");
    ASSERT_TRUE(pump_until([] { return !finger_running(); }, 5000));
    ini_remove_section(main_ini_path, "[finger]");
    const int before = beeps;
    EXPECT_FALSE(rclick_finger_window());
    EXPECT_EQ(beeps, before + 1) << "one error sound";
    EXPECT_EQ(popup_context.kind, kPopupNone);
}

}  // namespace
