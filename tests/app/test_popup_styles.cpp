// Items of a popup file written with $style: a right-click on the real
// status window shows them ticked and greyed, and a greyed item picked
// with the mouse runs nothing.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>

#include <fstream>
#include <string>
#include <vector>

#include "model/connection.h"
#include "app/frame_proc.h"
#include "app/popup_menus.h"
#include "app/mdi_arrange.h"
#include "app/window_ops.h"
#include "app/subsystems.h"
#include "model/window_record.h"
#include "platform/app_messages.h"
#include "script/events/remote_files.h"
#include "script/popups.h"
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/window_fixture.h"
#include "support/test_wire.h"

namespace {

QAction* action_named(QMenu* menu, const std::string& text)
{
    for (QAction* a : menu->actions())
        if (a->text().toStdString() == text)
            return a;
    return nullptr;
}

void close_popups()
{
    while (QWidget* w = QApplication::activePopupWidget())
        w->close();
    window_test_pump();
}

class PopupStyles : public ::testing::Test {
    HookGuard hooks_;

protected:
    TempSettingsDir temp{"kest_popup_styles_"};
    TestWire wire;
    Connection* conn = nullptr;

    // The lines sent to the server so far.
    const std::vector<std::string>& sent_lines() { return wire.lines(); }
    WindowRecord* status = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(temp.made());
        window_test_reset();
        app_install_subsystems();
        app_messages_set_frame(nullptr);
        frame_proc_install();
        remote_files_free_all();
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        conn->connected = 1;
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        conn->live_identity[2] = "me";
        status = win_record_of(conn->status_window);
        ASSERT_TRUE(status);
    }
    void TearDown() override
    {
        close_popups();
        menu_popup_reset();
        popup_files_free();
        if (conn_is_live(conn))
            conn->socket = -1;
        window_test_reset();
    }

    void write_status_popup(const std::vector<std::string>& lines)
    {
        std::ofstream out(temp.path() + "popups.ini");
        out << "[mpopup]\n";
        for (std::size_t i = 0; i < lines.size(); ++i)
            out << "n" << i << "=" << lines[i] << "\n";
        out.close();
        popup_files_load_all();
    }

    QMenu* rclick_status()
    {
        QWidget* area = status->text_area.get();
        if (!area)
            return nullptr;
        win_activate(status->hwnd, 0);
        window_test_pump();
        QTest::mouseClick(area, Qt::RightButton, {}, QPoint(area->width() / 2, area->height() / 2));
        window_test_pump();
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    }
};

TEST_F(PopupStyles, StyleTwoGreysAnItemStyleOneTicksItAndThreeDoesBoth)
{
    write_status_popup({"$style(2) Greyed:/raw GREYED", "$style(1) Ticked:/raw TICKED",
                        "$style(3) Both:/raw BOTH", "$style(0) Plain:/raw PLAIN", "Bare:/raw BARE",
                        "$style(2) Sub", ".Inner:/raw INNER"});
    QMenu* menu = rclick_status();
    ASSERT_TRUE(menu);
    const struct {
        const char* caption;
        bool enabled;
        bool checked;
    } cases[] = {
        {"Greyed", false, false},
        {"Ticked", true, true},
        {"Both", false, true},
        {"Plain", true, false},
        {"Bare", true, false},
        {"Sub", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caption);
        QAction* a = action_named(menu, c.caption);
        ASSERT_TRUE(a) << "the style text is cut from the caption";
        EXPECT_EQ(a->isEnabled(), c.enabled);
        EXPECT_EQ(a->isCheckable() && a->isChecked(), c.checked);
    }
    close_popups();
}

TEST_F(PopupStyles, AGreyedItemPickedWithTheMouseRunsNothing)
{
    write_status_popup({"$style(2) Greyed:/raw GREYED", "Plain:/raw PLAIN"});
    // Twice: the greyed item stays silent each time, the plain one runs.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        QMenu* menu = rclick_status();
        ASSERT_TRUE(menu);
        QAction* greyed = action_named(menu, "Greyed");
        ASSERT_TRUE(greyed);
        wire.clear();
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(greyed).center());
        window_test_pump();
        EXPECT_TRUE(sent_lines().empty()) << ::testing::PrintToString(sent_lines());
        QAction* plain = action_named(menu, "Plain");
        ASSERT_TRUE(plain);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(plain).center());
        window_test_pump();
        EXPECT_EQ(sent_lines(), std::vector<std::string>{"PLAIN\n"});
        close_popups();
    }
}

}  // namespace
