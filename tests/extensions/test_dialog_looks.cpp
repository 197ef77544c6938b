// Each control kind draws something of its own: the dialog's picture
// differs from the bare ground wherever a control stands. With
// KEST_DIALOG_SHOTS naming a folder, each control's picture is saved there
// to be looked at.
#include "extensions/dialog_fixture.h"

#include <QImage>
#include <QListWidget>

#include <cstdlib>

namespace {

TEST_F(DialogTest, EveryControlKindDrawsItself)
{
    QImage dot(24, 24, QImage::Format_RGB32);
    dot.fill(Qt::darkGreen);
    ASSERT_TRUE(dot.save(QString::fromStdString(settings_.path() + "dot.png")));
    load({"dialog looks {",
          "  title \"Every kind\"",
          "  size -1 -1 520 330",
          "  menu \"File\", 90",
          "  item \"Open\", 91",
          "  text \"Plain text\", 1, 10 10 120 20",
          "  link \"A link to follow\", 2, 10 35 120 20",
          "  edit \"An edit\", 3, 10 60 120 24",
          "  button \"Button\", 4, 10 90 90 26, default",
          "  check \"Check box\", 5, 10 122 120 22",
          "  radio \"Radio\", 6, 10 148 120 22, group",
          "  box \"Group box\", 7, 140 10 160 110",
          "  scroll \"\", 8, 140 130 20 120",
          "  list 9, 170 130 130 90, check",
          "  combo 10, 10 180 120 120, drop",
          "  icon 11, 10 260 40 40, dot.png",
          "  tab \"First\", 12, 310 10 200 200",
          "  tab \"Second\", 13",
          "  text \"On the first page\", 14, 320 60 150 20, tab 12",
          "  list 15, 320 220 130 90, radio",
          "}"});
    ASSERT_EQ(run("/dialog -m l looks"), 1) << error;
    ScriptDialogWindow* w = window("l");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    run("/didtok l 9 44 first,second");
    run("/did -s l 9 2");
    run("/didtok l 10 44 one,two");
    run("/did -c l 10 1");
    run("/didtok l 15 44 left,right");
    run("/did -s l 15 1");
    test_drain_events();
    const char* folder = std::getenv("KEST_DIALOG_SHOTS");
    const QImage whole = w->grab().toImage();
    if (folder)
        whole.save(QString("%1/dialog.png").arg(folder));
    const QColor ground = w->palette().color(QPalette::Window);
    for (int id : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 14, 15}) {
        SCOPED_TRACE(id);
        QWidget* ctl = control("l", id);
        ASSERT_TRUE(ctl);
        ASSERT_TRUE(ctl->isVisible());
        const QImage shot = ctl->grab().toImage();
        if (folder)
            shot.save(QString("%1/control_%2.png").arg(folder).arg(id));
        int differing = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                differing += QColor(shot.pixel(x, y)) != ground;
        EXPECT_GT(differing, 10) << "nothing drawn";
    }
    // The tab strip too.
    const QImage tabs = dialog_find("l")->tabs->grab().toImage();
    if (folder)
        tabs.save(QString("%1/tabs.png").arg(folder));
    EXPECT_FALSE(tabs.isNull());
}

}  // namespace
