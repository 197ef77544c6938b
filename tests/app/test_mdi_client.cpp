// The MDI client's background: the "@mdi" picture painted while the area
// lives, the background menu on the right button, and a frame closed with
// its area leaves nothing that reaches the picture or the area afterwards;
// another frame's area takes over.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenu>
#include <QPointer>
#include <QTest>

#include "app/mdi_client.h"
#include "app/popup_menus.h"
#include "core/ini.h"
#include "display/backgrounds.h"
#define KEST_TEST_WIDGETS
#include "support/hook_guard.h"
#include "support/test_support.h"

namespace {

// Pixels of the widget's own painting that are pure red.
int red_pixels(QWidget* w)
{
    const QImage image = w->grab().toImage();
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == qRgb(255, 0, 0))
                ++n;
    return n;
}

void close_popups()
{
    while (QWidget* w = QApplication::activePopupWidget())
        w->close();
    test_drain_events();
}

TEST(MdiClient, FrameClosedTwiceOverLeavesThePictureAndMenuAlone)
{
    HookGuard hooks;
    test_app();
    TempSettingsDir settings("kest_mdi_");
    ASSERT_TRUE(settings.made());
    const std::string picture = settings.path() + "red.png";
    QImage red(8, 8, QImage::Format_RGB32);
    red.fill(qRgb(255, 0, 0));
    ASSERT_TRUE(red.save(QString::fromStdString(picture)));

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        QPointer<QMainWindow> frame = new QMainWindow();
        auto* area = new QMdiArea(frame);
        frame->setCentralWidget(area);
        frame->resize(400, 300);
        ASSERT_EQ(mdi_client_create(area), area);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));

        // Without a picture the area keeps its own background; with one
        // tiled, the picture covers it.
        bg_mdi_clear();
        EXPECT_EQ(red_pixels(area->viewport()), 0);
        ASSERT_EQ(bg_mdi_set_picture(picture), 1);
        bg_mdi_set_mode(kBgTile);
        const QSize size = area->viewport()->size();
        EXPECT_EQ(red_pixels(area->viewport()), size.width() * size.height());

        // Only the right button's release opens the background menu.
        QTest::mouseClick(area->viewport(), Qt::LeftButton);
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        QTest::mouseClick(area->viewport(), Qt::RightButton, {}, QPoint(5, 5));
        test_drain_events();
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_TRUE(menu);
        EXPECT_EQ(popup_context.kind, kPopupMdi);
        close_popups();
        menu_popup_reset();

        // The frame goes with its area and every child window; the picture
        // stays for the next area.
        delete frame.data();
        test_drain_events();
        EXPECT_EQ(mdi_client(), nullptr);
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        EXPECT_EQ(bg_mdi_file(), picture);
    }
    bg_mdi_clear();
}

}  // namespace
