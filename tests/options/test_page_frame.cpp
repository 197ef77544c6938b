// The dialog opener and the page frame on real dialogs: page templates
// copied into one dialog, their mnemonics hidden while their page is, one
// page shown at a time in the page area, centred there.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QImage>
#include <QPainter>
#include <QTimer>

#include <string>
#include <vector>

#include "options/dialog_opener.h"
#include "options/page_frame.h"
#include "platform/platform_utils.h"
#include "support/hook_guard.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"

namespace {

int beeps = 0;

// A dialog with the frame's list 101 and page area 102 in pixels.
struct FrameDialog {
    QDialog dialog;
    QListWidget* list = nullptr;
    QWidget* area = nullptr;
    OptionsPage pages[kPagesMax + 1];
    int current = 0;

    FrameDialog()
    {
        list = new QListWidget(&dialog);
        dlg_set_item_id(list, 101);
        list->setGeometry(0, 0, 90, 200);
        area = new QWidget(&dialog);
        dlg_set_item_id(area, 102);
        area->setGeometry(100, 10, 200, 100);
        dialog.resize(320, 220);
    }
    void add_page(const char* caption, int first)
    {
        int i = list->count();
        list->addItem(QString::fromUtf8(caption));
        pages[i].caption = caption;
        pages[i].tab = &dialog;
        pages[i].first_control = first;
    }
    QString text(int id) { return dlg_widget_text(dlg_item(&dialog, id)); }
    bool shown(int id) { return !dlg_item(&dialog, id)->isHidden(); }
};

class PageFrameTest : public ::testing::Test {
    HookGuard hooks_;

protected:
    void SetUp() override
    {
        test_app();
        beeps = 0;
        beep_play_hook = [](int) { ++beeps; };
    }
    void TearDown() override
    {
        for (int id : {9001, 9002, 9003, 9004, 9005})
            dlg_template_unregister(id);
    }
};

TEST_F(PageFrameTest, ACopiedPageIsHiddenBoundedAndCarriesNoMnemonic)
{
    // 300 controls: only the first 256 are copied.
    std::vector<std::string> texts(300);
    std::vector<DlgControl> many;
    for (int i = 0; i < 300; ++i) {
        texts[static_cast<std::size_t>(i)] = "&" + std::to_string(i);
        many.push_back({1000 + i, kDlgLabel, texts[static_cast<std::size_t>(i)].c_str(), 0, i, 20, 8});
    }
    const DlgControl mixed[] = {
        {500, kDlgButton, "&a&b&c", 0, 0, 40, 14},
        {501, kDlgCombo, "", 0, 20, 60, 60},
        {502, kDlgEdit, "", 0, 40, 60, 12, 0, 5},
        {503, kDlgCheck, "no mnemonic", 0, 60, 60, 10},
    };
    dlg_template_register({9001, "", 100, 100, many.data(), many.size()});
    dlg_template_register({9002, "", 100, 100, mixed, std::size(mixed)});
    QDialog dialog;
    EXPECT_EQ(dlg_clone_page(dialog, 9001), 0);
    EXPECT_EQ(dlg_clone_page(dialog, 9002), 0);
    EXPECT_EQ(dlg_clone_page(dialog, 9099), 1);  // no such template
    EXPECT_TRUE(dlg_item(&dialog, 1000));
    EXPECT_TRUE(dlg_item(&dialog, 1255));
    EXPECT_FALSE(dlg_item(&dialog, 1256));
    for (int id : {1000, 1255, 500, 501, 502, 503})
        EXPECT_TRUE(dlg_item(&dialog, id)->isHidden()) << id;

    EXPECT_EQ(dlg_widget_text(dlg_item(&dialog, 500)), QString("\x01" "a\x01" "b\x01" "c"));
    EXPECT_EQ(dlg_widget_text(dlg_item(&dialog, 503)), QString("no mnemonic"));
    // The combo box keeps one line; its list is as long as the template's height.
    auto* combo = qobject_cast<QComboBox*>(dlg_item(&dialog, 501));
    ASSERT_TRUE(combo);
    auto* edit = qobject_cast<QLineEdit*>(dlg_item(&dialog, 502));
    ASSERT_TRUE(edit);
    EXPECT_LE(combo->height(), edit->height() + 4);
    EXPECT_GE(combo->maxVisibleItems(), 5);
    // The edit field takes its limit.
    EXPECT_EQ(edit->maxLength(), 5);
}

TEST_F(PageFrameTest, ShowModalAnswersTheEndCodeAndKnowsItsOwner)
{
    const DlgControl controls[] = {{1, kDlgDefButton, "OK", 0, 0, 40, 14}};
    dlg_template_register({9003, "Deneme", 60, 30, controls, std::size(controls)});
    QWidget owner;
    QWidget* seen_owner = nullptr;
    QString caption;
    const int code = dlg_show_modal(&owner, 9003, [&](QDialog& d) {
        caption = d.windowTitle();
        QTimer::singleShot(0, &d, [&] {
            seen_owner = dlg_modal_owner();
            d.done(7);
        });
    });
    EXPECT_EQ(code, 7);
    EXPECT_EQ(seen_owner, &owner);
    EXPECT_EQ(caption, QString("Deneme"));
    EXPECT_EQ(dlg_modal_owner(), nullptr);
    EXPECT_EQ(beeps, 0);
    // A template that is not there: -1 and the error sound.
    EXPECT_EQ(dlg_show_modal(&owner, 9098, nullptr), -1);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(dlg_modal_owner(), nullptr);
}

TEST_F(PageFrameTest, RadioButtonsOfOneGroupExcludeEachOtherOnly)
{
    const DlgControl controls[] = {
        {10, kDlgRadio, "a", 0, 0, 40, 10, kDlgGroupStart},
        {11, kDlgRadio, "b", 0, 10, 40, 10},
        {12, kDlgRadio, "c", 0, 20, 40, 10, kDlgGroupStart},
        {13, kDlgRadio, "d", 0, 30, 40, 10},
    };
    dlg_template_register({9004, "", 60, 60, controls, std::size(controls)});
    QDialog dialog;
    dlg_build(dialog, *dlg_template_find(9004));
    dlg_set_checked(&dialog, 10, 1);
    dlg_set_checked(&dialog, 12, 1);
    dlg_set_checked(&dialog, 11, 1);
    EXPECT_EQ(dlg_checked(&dialog, 10), 0);
    EXPECT_EQ(dlg_checked(&dialog, 11), 1);
    EXPECT_EQ(dlg_checked(&dialog, 12), 1);
    EXPECT_EQ(dlg_checked(&dialog, 13), 0);
}

TEST_F(PageFrameTest, AnIndexOutsideThePagesIsTheFirst)
{
    const int cases[][2] = {{-1, 0}, {0, 0}, {1, 1}, {49, 49}, {50, 0}, {1000, 0}};
    for (auto [in, out] : cases)
        EXPECT_EQ(pagelist_index(in), out) << in;
}

TEST_F(PageFrameTest, OnePageAtATimeIsShownCentredWithItsMnemonics)
{
    FrameDialog f;
    const DlgControl first[] = {
        {200, kDlgCheck, "&Bir", 0, 0, 40, 10},
        {201, kDlgLabel, "İ&ki", 30, 20, 40, 10},
        {203, kDlgCheck, "&Dört", 0, 40, 40, 10},  // after a gap: not on the page
    };
    const DlgControl second[] = {
        {300, kDlgButton, "&Üç", 0, 0, 40, 14},
        {301, kDlgEdit, "", 0, 20, 40, 12},
    };
    dlg_template_register({9001, "", 100, 100, first, std::size(first)});
    dlg_template_register({9002, "", 100, 100, second, std::size(second)});
    ASSERT_EQ(dlg_clone_page(f.dialog, 9001), 0);
    ASSERT_EQ(dlg_clone_page(f.dialog, 9002), 0);
    f.add_page("Birinci", 200);
    f.add_page("İkinci", 300);
    f.pages[0].switch_controls = 1;
    f.pages[0].x_offset = 3;

    // Text typed into the edit field keeps its ampersand whatever happens.
    dlg_set_text(&f.dialog, 301, "a&b");

    f.list->setCurrentRow(0);
    pagelist_show_page(&f.dialog, 1, f.pages, &f.current);
    EXPECT_TRUE(f.shown(200));
    EXPECT_TRUE(f.shown(201));
    EXPECT_FALSE(f.shown(203));
    EXPECT_FALSE(f.shown(300));
    EXPECT_EQ(f.text(200), QString("&Bir"));
    EXPECT_EQ(f.text(201), QString("İ&ki"));
    EXPECT_EQ(f.text(300), QString("\x01Üç"));
    // Centred in the area, with the page's offset, keeping the layout.
    QWidget* a = dlg_item(&f.dialog, 200);
    QWidget* b = dlg_item(&f.dialog, 201);
    const QRect group = a->geometry().united(b->geometry());
    EXPECT_EQ(group.left(), 100 + 3 + (200 - group.width()) / 2);
    EXPECT_EQ(group.top(), 10 + (100 - group.height()) / 2);

    // Showing the same page again changes nothing.
    pagelist_show_page(&f.dialog, 1, f.pages, &f.current);
    EXPECT_EQ(f.text(200), QString("&Bir"));
    EXPECT_EQ(a->geometry().united(b->geometry()), group);

    // The user picks the second page.
    f.list->setCurrentRow(1);
    pagelist_notify(&f.dialog, f.pages, &f.current);
    EXPECT_EQ(f.current, 1);
    EXPECT_FALSE(f.shown(200));
    EXPECT_FALSE(f.shown(201));
    EXPECT_TRUE(f.shown(300));
    EXPECT_TRUE(f.shown(301));
    EXPECT_EQ(f.text(200), QString("\x01" "Bir"));
    EXPECT_EQ(f.text(201), QString("İ\x01ki"));
    EXPECT_EQ(f.text(300), QString("&Üç"));
    EXPECT_EQ(f.text(301), QString("a&b"));
    // And back.
    f.list->setCurrentRow(0);
    pagelist_notify(&f.dialog, f.pages, &f.current);
    EXPECT_EQ(f.text(300), QString("\x01Üç"));
    EXPECT_EQ(f.text(301), QString("a&b"));
    EXPECT_EQ(f.text(200), QString("&Bir"));
    EXPECT_EQ(beeps, 0);

    // No selection: the error sound, the page stays.
    f.list->setCurrentRow(-1);
    pagelist_show_page(&f.dialog, 0, f.pages, &f.current);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(f.current, 0);
    EXPECT_TRUE(f.shown(200));

    // A current index out of range is the first page.
    f.current = 50;
    f.list->setCurrentRow(1);
    pagelist_show_page(&f.dialog, 0, f.pages, &f.current);
    EXPECT_EQ(f.current, 1);
    EXPECT_FALSE(f.shown(200));
}

TEST_F(PageFrameTest, WithoutSwitchingNoControlIsShownOrHidden)
{
    FrameDialog f;
    const DlgControl first[] = {{200, kDlgCheck, "&Bir", 0, 0, 40, 10}};
    dlg_template_register({9001, "", 100, 100, first, std::size(first)});
    ASSERT_EQ(dlg_clone_page(f.dialog, 9001), 0);
    f.add_page("Birinci", 200);
    f.pages[0].switch_controls = 0;
    pagelist_show_page(&f.dialog, 1, f.pages, &f.current);
    EXPECT_FALSE(f.shown(200));
    EXPECT_EQ(f.text(200), QString("\x01" "Bir"));
}

}  // namespace

namespace {

// A dialog with a strip of tabs over its page area, one tab window per page.
struct StripDialog : FrameDialog {
    std::vector<QWidget*> tabs;
    explicit StripDialog(int pages_count, int area_width)
    {
        area->setGeometry(100, 40, area_width, 100);
        dialog.resize(100 + area_width + 20, 160);
        for (int i = 0; i < pages_count; ++i) {
            auto* tab = new QWidget(&dialog);
            tab->setGeometry(0, 20, 10, 18);
            tab->hide();
            tabs.push_back(tab);
            const std::string caption = "Sayfa " + std::to_string(i);
            add_page(caption.c_str(), 700 + 10 * i);
            pages[i].tab = tab;
            pages[i].strip = 1;
        }
    }
    QWidget* bar() { return dlg_item(&dialog, 103); }
    // The tabs drawn: not left of the area, left of the scroll bar.
    bool tab_whole(int i)
    {
        const QRect r = tabs[static_cast<std::size_t>(i)]->geometry();
        const int limit = bar() ? bar()->x() : area->geometry().right();
        return r.left() >= area->x() && r.right() + 2 < limit;
    }
};

TEST_F(PageFrameTest, TabsThatFitNeedNoScrollBarAndSitSideBySide)
{
    StripDialog s(3, 600);
    pagelist_layout(&s.dialog, s.pages, 0);
    EXPECT_FALSE(s.bar());
    EXPECT_EQ(s.tabs[0]->x(), 100 + 3);
    for (int i = 1; i < 3; ++i) {
        EXPECT_EQ(s.tabs[static_cast<std::size_t>(i)]->x(), s.tabs[static_cast<std::size_t>(i) - 1]->geometry().right() + 1 + 3);
        EXPECT_GT(s.tabs[static_cast<std::size_t>(i)]->width(), 0);
    }
    // Each keeps its own top and height.
    EXPECT_EQ(s.tabs[2]->y(), 20);
    EXPECT_EQ(s.tabs[2]->height(), 18);
}

TEST_F(PageFrameTest, WideTabsGetAScrollBarAndTheSelectedTabIsKeptWhole)
{
    StripDialog s(12, 200);
    pagelist_layout(&s.dialog, s.pages, 0);
    ASSERT_TRUE(s.bar());
    EXPECT_EQ(s.pages[0].first_visible_tab, 0);

    // The last page: the strip scrolls until its tab is whole.
    s.list->setCurrentRow(11);
    pagelist_notify(&s.dialog, s.pages, &s.current);
    EXPECT_EQ(s.current, 11);
    EXPECT_GT(s.pages[0].first_visible_tab, 0);
    EXPECT_TRUE(s.tab_whole(11));
    // Laying out again changes nothing.
    const int first = s.pages[0].first_visible_tab;
    pagelist_layout(&s.dialog, s.pages, 1);
    EXPECT_EQ(s.pages[0].first_visible_tab, first);
    EXPECT_TRUE(s.tab_whole(11));

    // The first page: back to the start.
    s.list->setCurrentRow(0);
    pagelist_notify(&s.dialog, s.pages, &s.current);
    EXPECT_EQ(s.pages[0].first_visible_tab, 0);
    EXPECT_EQ(s.tabs[0]->x(), 100 + 3);
    EXPECT_TRUE(s.tab_whole(0));

    // Made wide enough, the scroll bar goes.
    s.area->setGeometry(100, 40, 3000, 100);
    pagelist_layout(&s.dialog, s.pages, 1);
    EXPECT_FALSE(s.bar());
}

TEST_F(PageFrameTest, AClickOnATabOrJustAboveItSelectsItsPage)
{
    StripDialog s(3, 600);
    pagelist_layout(&s.dialog, s.pages, 0);
    s.list->setCurrentRow(0);
    pagelist_show_page(&s.dialog, 1, s.pages, &s.current);
    const QRect second = s.tabs[1]->geometry();
    struct Case {
        QPoint at;
        int hit;
        int current;
    };
    const Case cases[] = {
        {second.center(), 1, 1},
        {QPoint(second.center().x(), second.top() - 2), 1, 1},
        {QPoint(second.center().x(), second.top() - 3), 0, 0},
        {QPoint(s.tabs[2]->geometry().left(), second.top() - 1), 1, 2},
        {QPoint(99, second.center().y()), 0, 0},  // left of the page area
        {QPoint(second.center().x(), second.bottom() + 1), 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.at.x()) + "," + std::to_string(c.at.y()));
        s.list->setCurrentRow(0);
        pagelist_notify(&s.dialog, s.pages, &s.current);
        ASSERT_EQ(s.current, 0);
        EXPECT_EQ(pagelist_click_page(&s.dialog, c.at, s.pages, &s.current), c.hit);
        EXPECT_EQ(s.current, c.current);
        EXPECT_EQ(s.list->currentRow(), c.current);
    }
    // A click on the tab already selected hits and changes nothing.
    EXPECT_EQ(pagelist_click_page(&s.dialog, s.tabs[0]->geometry().center(), s.pages, &s.current), 1);
    EXPECT_EQ(s.current, 0);
}

TEST_F(PageFrameTest, TheStripIsDrawnOverThePageAreaWithTheSelectedTabOpen)
{
    StripDialog s(3, 300);
    pagelist_layout(&s.dialog, s.pages, 0);
    s.list->setCurrentRow(1);
    s.current = 1;
    QImage image(s.dialog.size(), QImage::Format_ARGB32);
    const QColor paper(1, 2, 3);
    image.fill(paper);
    {
        QPainter p(&image);
        pagelist_paint(&s.dialog, p, s.pages, s.current);
    }
    const QColor face = s.dialog.palette().color(QPalette::Button);
    const QRect area = s.area->geometry();
    // The border's top edge is drawn beside the selected tab and left open
    // (in the face colour) under it.
    const QRect tab = s.tabs[1]->geometry();
    EXPECT_NE(image.pixelColor(area.right() - 3, area.top()), face);
    EXPECT_NE(image.pixelColor(area.right() - 3, area.top()), paper);
    EXPECT_EQ(image.pixelColor(tab.center().x(), area.top()), face);
    // Something was drawn where each tab is.
    for (QWidget* t : s.tabs) {
        bool drawn = false;
        for (int x = t->x(); x <= t->geometry().right() && !drawn; ++x)
            drawn = image.pixelColor(x, t->y() - 4) != face && image.pixelColor(x, t->y() - 4) != paper;
        EXPECT_TRUE(drawn);
    }
    // Without the strip flag nothing is drawn.
    s.pages[0].strip = 0;
    image.fill(paper);
    {
        QPainter p(&image);
        pagelist_paint(&s.dialog, p, s.pages, s.current);
    }
    EXPECT_EQ(image.pixelColor(area.right() - 3, area.top()), paper);
}

}  // namespace

#include "app/frame_layout.h"

namespace {

// A language module in the settings folder gives its own texts to every
// template but the About box, in modal dialogs and in copied pages.
TEST_F(PageFrameTest, ALanguageModuleGivesItsTextsToEveryTemplateButTheAboutBox)
{
    TempSettingsDir settings("kest_lang_");
    ASSERT_TRUE(settings.made());
    const DlgControl controls[] = {
        {1, kDlgDefButton, "&Tamam", 0, 0, 40, 14},
        {5, kDlgLabel, "kendi", 0, 20, 40, 8},
    };
    dlg_template_register({9005, "Kendi", 60, 40, controls, std::size(controls)});
    dlg_template_register({10, "Hakkında", 60, 40, controls, std::size(controls)});
    auto texts = [&](int id) {
        std::vector<QString> out;
        dlg_show_modal(nullptr, id, [&](QDialog& d) {
            out = {d.windowTitle(), dlg_widget_text(dlg_item(&d, 1)), dlg_widget_text(dlg_item(&d, 5))};
            QTimer::singleShot(0, &d, [&d] { d.done(0); });
        });
        return out;
    };
    const std::string module = std::string("[version]\nFileVersion=") + lang_program_version() +
                               "\n[dialog 9005]\ncaption=Own\r\n1=&OK\n99=none\n[dialog 10]\n1=&Other\n";

    // No module: the program's own texts.
    EXPECT_EQ(texts(9005), (std::vector<QString>{"Kendi", "&Tamam", "kendi"}));

    spit(settings.path() + "lang.dll", module);
    lang_module_load();
    ASSERT_TRUE(lang_module_loaded());
    EXPECT_EQ(texts(9005), (std::vector<QString>{"Own", "&OK", "kendi"}));
    EXPECT_EQ(texts(10), (std::vector<QString>{"Hakkında", "&Tamam", "kendi"}));
    QDialog page;
    ASSERT_EQ(dlg_clone_page(page, 9005), 0);
    EXPECT_EQ(dlg_widget_text(dlg_item(&page, 1)), QString("\x01OK"));

    // A module of another version is not used.
    spit(settings.path() + "lang.dll", "[version]\nFileVersion=0.0.0\n[dialog 9005]\n1=&OK\n");
    lang_module_load();
    EXPECT_FALSE(lang_module_loaded());
    EXPECT_EQ(texts(9005), (std::vector<QString>{"Kendi", "&Tamam", "kendi"}));
    dlg_template_unregister(10);
}

}  // namespace
