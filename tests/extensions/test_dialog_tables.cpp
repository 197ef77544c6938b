// Dialog tables written in script files: every control kind built at its
// place, dialog units, the table's errors and hostile tables.
#include "extensions/dialog_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QTabBar>

#include "display/dialog_units.h"

namespace {

const std::vector<std::string> kAllKinds = {
    "dialog every {",
    "  title \"All kinds\"",
    "  size -1 -1 400 300",
    "  text \"Plain text\", 1, 10 10 100 20",
    "  link \"A link\", 2, 10 35 100 20",
    "  edit \"typed\", 3, 10 60 100 22",
    "  button \"Press\", 4, 10 90 80 24, ok",
    "  check \"Tick\", 5, 10 120 100 20",
    "  radio \"One\", 6, 10 145 100 20, group",
    "  box \"Frame\", 7, 200 10 150 100",
    "  scroll \"\", 8, 200 120 20 100, range 0 50",
    "  list 9, 230 120 100 80, extsel",
    "  combo 10, 10 175 120 100, drop",
    "  icon 11, 340 120 32 32",
    "  edit \"\", 12, 140 60 50 22, pass limit 5",
    "}",
};

TEST_F(DialogTest, EveryKindIsBuiltAtItsPlaceWithItsText)
{
    load(kAllKinds);
    ASSERT_EQ(run("/dialog -m ev every"), 1) << error;
    ScriptDialogWindow* w = window("ev");
    ASSERT_TRUE(w);
    EXPECT_EQ(w->windowTitle(), "All kinds");
    EXPECT_EQ(w->client()->size(), QSize(400, 300));
    const struct {
        int id;
        const char* class_name;
        QRect place;
        const char* text;
    } cases[] = {
        {1, "QLabel", {10, 10, 100, 20}, "Plain text"},
        {2, "QLabel", {10, 35, 100, 20}, "A link"},
        {3, "QLineEdit", {10, 60, 100, 22}, "typed"},
        {4, "QPushButton", {10, 90, 80, 24}, "Press"},
        {5, "QCheckBox", {10, 120, 100, 20}, "Tick"},
        {6, "QRadioButton", {10, 145, 100, 20}, "One"},
        {7, "QGroupBox", {200, 10, 150, 100}, "Frame"},
        {9, "QListWidget", {230, 120, 100, 80}, ""},
        {10, "QComboBox", {10, 175, 120, control("ev", 10)->sizeHint().height()}, ""},
        {11, "QWidget", {340, 120, 32, 32}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        QWidget* ctl = control("ev", c.id);
        ASSERT_TRUE(ctl);
        EXPECT_STREQ(ctl->metaObject()->className(), c.class_name);
        EXPECT_EQ(ctl->geometry(), c.place);
        EXPECT_EQ(eval("$did(ev, " + std::to_string(c.id) + ")"), c.text) << error;
    }
    // The scroll bar keeps to the right edge of its rectangle at the
    // system's thickness, with the range the table gave.
    auto* bar = control<QScrollBar>("ev", 8);
    ASSERT_TRUE(bar);
    const int thick = bar->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    EXPECT_EQ(bar->geometry(), QRect(220 - thick, 120, thick, 100));
    EXPECT_EQ(bar->maximum(), 50);
    EXPECT_EQ(eval("$did(ev, 8).lines"), "50");
    // The ok word made button 4 the ok control; "pass" and "limit".
    EXPECT_EQ(eval("$dialog(ev).ok"), "4");
    auto* pass = control<QLineEdit>("ev", 12);
    ASSERT_TRUE(pass);
    EXPECT_EQ(pass->echoMode(), QLineEdit::Password);
    EXPECT_EQ(pass->maxLength(), 5);
    EXPECT_EQ(control<QListWidget>("ev", 9)->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_FALSE(control<QComboBox>("ev", 10)->isEditable());
    EXPECT_EQ(eval("$dialog(ev).table"), "every");
    EXPECT_EQ(eval("$dialog(ev).modal"), "$false");
}

TEST_F(DialogTest, StyleWordsChooseTheControlsBehaviour)
{
    load({"dialog styles {",
          "  size 0 0 300 300",
          "  edit \"\", 1, 0 0 100 60, multi return",
          "  edit \"\", 2, 0 70 100 20, read number limit 40000",
          "  check \"Three\", 3, 0 100 100 20, 3state",
          "  list 4, 0 130 100 50, check extsel",
          "  list 5, 110 130 100 50, radio extsel",
          "  combo 6, 110 0 100 80, drop edit",
          "  combo 7, 110 90 100 30",
          "  button \"A\", 8, 200 0 40 20, default ok",
          "  button \"B\", 9, 200 30 40 20, default",
          "  text \"hidden\", 10, 200 60 40 20, hide disable",
          "  scroll \"\", 11, 0 200 200 60, horiz range -5 5",
          "  scroll \"\", 12, 250 0 20 100, range -99999999999 99999999999",
          "  scroll \"\", 13, 280 0 20 100, range 7",
          "}"});
    ASSERT_EQ(run("/dialog -m st styles"), 1) << error;
    EXPECT_TRUE(control<QPlainTextEdit>("st", 1));
    auto* e2 = control<QLineEdit>("st", 2);
    ASSERT_TRUE(e2);
    EXPECT_TRUE(e2->isReadOnly());
    EXPECT_EQ(e2->maxLength(), 32767) << "40000 is out of range: no limit";
    EXPECT_TRUE(control<QCheckBox>("st", 3)->isTristate());
    EXPECT_EQ(control<QListWidget>("st", 4)->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(control<QListWidget>("st", 5)->selectionMode(), QAbstractItemView::SingleSelection)
        << "a radio list drops the selection styles";
    EXPECT_TRUE(control<QComboBox>("st", 6)->isEditable());
    EXPECT_TRUE(control<QComboBox>("st", 7)->isEditable()) << "a simple combo has an edit part";
    EXPECT_TRUE(control<QPushButton>("st", 8)->isDefault());
    EXPECT_FALSE(control<QPushButton>("st", 9)->isDefault()) << "only the first default button";
    EXPECT_EQ(eval("$dialog(st).ok"), "8");
    QWidget* hidden = control("st", 10);
    EXPECT_FALSE(hidden->isVisibleTo(window("st")));
    EXPECT_FALSE(hidden->isEnabled());
    auto* bar = control<QScrollBar>("st", 11);
    EXPECT_EQ(bar->orientation(), Qt::Horizontal);
    EXPECT_EQ(bar->minimum(), -5);
    EXPECT_EQ(bar->maximum(), 5);
    const int thick = bar->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    EXPECT_EQ(bar->geometry(), QRect(0, 260 - thick, 200, thick));
    // A range past any position is held to a billion either way; a single
    // number is the maximum.
    EXPECT_EQ(control<QScrollBar>("st", 12)->minimum(), -1000000000);
    EXPECT_EQ(control<QScrollBar>("st", 12)->maximum(), 1000000000);
    EXPECT_EQ(control<QScrollBar>("st", 13)->minimum(), 0);
    EXPECT_EQ(control<QScrollBar>("st", 13)->maximum(), 7);
}

TEST_F(DialogTest, DialogUnitsConvertPlacesAndTheSize)
{
    const DialogBaseUnits b = dialog_base_units();
    load({"dialog units {",
          "  size -1 -1 100 40",
          "  option dbu",
          "  button \"Go\", 1, 8 16 40 12",
          "  option pixels",
          "  button \"Px\", 2, 8 16 40 12",
          "}"});
    ASSERT_EQ(run("/dialog -m u units"), 1) << error;
    EXPECT_EQ(window("u")->client()->size(), QSize(100 * b.width / 4, 40 * b.height / 8))
        << "dbu after size converts the earlier size";
    EXPECT_EQ(control("u", 1)->geometry(), dialog_units_rect(8, 16, 40, 12, b));
    EXPECT_EQ(control("u", 2)->geometry(), QRect(8, 16, 40, 12)) << "pixels turns the units off";
    EXPECT_EQ(window("u")->client()->width(), 100 * b.width / 4) << "pixels does not convert back";
    // $dbuw and $dbuh: a quarter of the width and an eighth of the height.
    EXPECT_DOUBLE_EQ(std::stod(eval("$dbuw")), b.width / 4.0);
    EXPECT_DOUBLE_EQ(std::stod(eval("$dbuh")), b.height / 8.0);
}

TEST_F(DialogTest, TablesAreFoundByNameMaskAndLocality)
{
    load({"dialog a*,b {", "  size -1 -1 50 50", "  title \"masked\"", "}",
          "dialog -l mine {", "  size -1 -1 50 50", "}",
          "alias openmine dialog -m $1 mine"});
    ASSERT_EQ(run("/dialog -m d1 abc"), 1) << error;
    EXPECT_EQ(window("d1")->windowTitle(), "masked");
    ASSERT_EQ(run("/dialog -m d2 b"), 1) << error;
    EXPECT_EQ(run("/dialog -m d3 c"), 0);
    EXPECT_NE(error.find("'c' Tablo yok"), std::string::npos) << error;
    // A local table: typed, it is not found; from its own file it is.
    EXPECT_EQ(run("/dialog -m d4 mine"), 0);
    EXPECT_NE(error.find("Tablo yok"), std::string::npos) << error;
    ASSERT_EQ(run("/openmine d5"), 1) << error;
    EXPECT_TRUE(window("d5"));
    load({"alias openother dialog -m $1 mine"});
    EXPECT_EQ(run("/openother d6"), 0);
    EXPECT_FALSE(window("d6"));
}

TEST_F(DialogTest, TableErrorsNameTheTableTheLineAndTheId)
{
    const struct {
        const char* line;
        const char* message;
    } cases[] = {
        {"  button \"x\", 0, 1 1 10 10", "* /dialog: 'bad' Geçersiz id '0'"},
        {"  button \"x\", 3001, 1 1 10 10", "* /dialog: 'bad' Geçersiz id '3001'"},
        {"  button \"x\", 5, 1 1 10 10|  text \"y\", 5, 1 1 10 10", "* /dialog: 'bad' Benzer id '5'"},
        {"  knob \"x\", 5, 1 1 10 10", "* /dialog: 'bad' Geçersiz Ön ek (prefix) 'knob'"},
        {"  text \"x\", 6, 1 1 10", "* /dialog: 'bad' Geçersiz Tablo, in 'text' 6"},
        {"  tab \"One\", 10, 5 5 200 150|  text \"y\", 6, 1 1 10 10, tab 99",
         "* /dialog: 'bad' Geçersiz Tablo, in 'text' 6"},
        {"  icon 7, 1 1 32 32, nosuchfile.png", "* /dialog: 'bad' Icon Yüklemede Hata 'nosuchfile.png'"},
        {"  item \"Open\", 21", "* /dialog: 'bad' Geçersiz Tablo, in 'item' 21"},
        {"  menu \"Sub\", 30, 99", "* /dialog: 'bad' Geçersiz Tablo, in 'menu' 30"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        remote_files_free_all();
        std::vector<std::string> lines = {"dialog bad {", "  size -1 -1 100 100"};
        std::string rest = c.line;
        for (std::size_t p; (p = rest.find('|')) != std::string::npos; rest = rest.substr(p + 1))
            lines.push_back(rest.substr(0, p));
        lines.push_back(rest);
        lines.push_back("}");
        load(lines);
        EXPECT_EQ(run("/dialog -m bad bad"), 0);
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << error;
        EXPECT_FALSE(dialog_find("bad")) << "a failed build frees the record";
    }
    remote_files_free_all();
    load({"dialog nosize {", "  text \"x\", 1, 1 1 10 10", "}"});
    EXPECT_EQ(run("/dialog -m ns nosize"), 0);
    EXPECT_EQ(error.rfind("* /dialog: 'nosize' Geçersiz Tablo, Boyutu Belli değil", 0), 0u) << error;
}

TEST_F(DialogTest, HostileTablesAreRefusedWithAClearError)
{
    // 100,000 controls: the ids run out at 3,000 and the line after is refused.
    std::vector<std::string> many = {"dialog many {", "  size -1 -1 100 100"};
    for (int i = 1; i <= 100000; ++i)
        many.push_back("  text \"t\", " + std::to_string(i) + ", 0 0 5 5");
    many.push_back("}");
    load(many);
    EXPECT_EQ(run("/dialog -m many many"), 0);
    EXPECT_EQ(error.rfind("* /dialog: 'many' Geçersiz id '3001'", 0), 0u) << error;
    EXPECT_TRUE(script_dialogs.empty());

    // Menus without ids are bounded too, and so is their nesting.
    std::vector<std::string> menus = {"dialog menus {", "  size -1 -1 100 100"};
    for (int i = 0; i < 100000; ++i)
        menus.push_back("  menu \"m\"");
    menus.push_back("}");
    std::vector<std::string> deep = {"dialog deep {", "  size -1 -1 100 100", "  menu \"m\", 1"};
    for (int i = 2; i <= 1000; ++i)
        deep.push_back("  menu \"m\", " + std::to_string(i) + ", " + std::to_string(i - 1));
    deep.push_back("}");
    const struct {
        const std::vector<std::string>* table;
        const char* name;
        const char* message;
    } cases[] = {
        {&menus, "menus", "* /dialog: 'menus' Geçersiz Tablo, in 'menu': too many menus"},
        {&deep, "deep", "* /dialog: 'deep' Geçersiz Tablo, in 'menu' 33: menus nested too deep"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        remote_files_free_all();
        load(*c.table);
        EXPECT_EQ(run(std::string("/dialog -m x ") + c.name), 0);
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << error;
    }

    // Sizes and places beyond the bound, also once dialog units multiply them.
    const char* huge[] = {
        "  size -1 -1 99999999999 100",
        "  size -1 -1 30000 100|  option dbu",
        "  size -1 -1 100 100|  text \"x\", 1, 0 0 2147483647 10",
        "  size -1 -1 100 100|  option dbu|  text \"x\", 1, 0 0 20000 10",
        "  size -1 -1 -5 100",
    };
    for (const char* h : huge) {
        SCOPED_TRACE(h);
        remote_files_free_all();
        std::vector<std::string> lines = {"dialog huge {"};
        std::string rest = h;
        for (std::size_t p; (p = rest.find('|')) != std::string::npos; rest = rest.substr(p + 1))
            lines.push_back(rest.substr(0, p));
        lines.push_back(rest);
        lines.push_back("}");
        load(lines);
        const int r = run("/dialog -m hg huge");
        if (r) {
            // Accepted only within the bound.
            ScriptDialogWindow* w = window("hg");
            ASSERT_TRUE(w);
            EXPECT_LE(w->client()->width(), kDialogMaxCoord);
            run("/dialog -x hg");
        } else {
            EXPECT_NE(error.find("Geçersiz Tablo"), std::string::npos) << error;
        }
    }
}

TEST_F(DialogTest, TabsPutControlsOnTheirPages)
{
    load({"dialog tabs {",
          "  size -1 -1 300 250",
          "  tab \"One\", 10, 5 5 250 200",
          "  tab \"Two\", 11",
          "  text \"first\", 1, 20 60 80 20, tab 10",
          "  text \"second\", 2, 20 60 80 20, tab 11",
          "  text \"always\", 3, 20 220 80 20",
          "}"});
    ASSERT_EQ(run("/dialog -m t tabs"), 1) << error;
    ScriptDialogWindow* w = window("t");
    EXPECT_TRUE(control("t", 1)->isVisibleTo(w));
    EXPECT_FALSE(control("t", 2)->isVisibleTo(w));
    EXPECT_TRUE(control("t", 3)->isVisibleTo(w));
    EXPECT_EQ(eval("$dialog(t).tab"), "10");
    EXPECT_EQ(eval("$did(t, 11)"), "Two");
    ASSERT_EQ(run("/did -c t 11"), 1) << error;
    EXPECT_FALSE(control("t", 1)->isVisibleTo(w));
    EXPECT_TRUE(control("t", 2)->isVisibleTo(w));
    EXPECT_EQ(eval("$dialog(t).tab"), "11");
    // 51 tabs are one too many.
    std::vector<std::string> lines = {"dialog fifty {", "  size -1 -1 300 250", "  tab \"t\", 1, 5 5 250 200"};
    for (int i = 2; i <= 51; ++i)
        lines.push_back("  tab \"t\", " + std::to_string(i));
    lines.push_back("}");
    load(lines);
    EXPECT_EQ(run("/dialog -m f fifty"), 0);
    EXPECT_EQ(error.rfind("* /dialog: 'fifty' Geçersiz Tablo, in 'tab' 51", 0), 0u) << error;
}

TEST_F(DialogTest, MenusAndItemsMakeTheMenuBar)
{
    load({"dialog menus {",
          "  size -1 -1 200 100",
          "  menu \"&File\", 50",
          "  item \"Open\", 51, ok",
          "  item break, 52",
          "  item \"$style(3) Greyed\", 53",
          "  menu \"More\", 54, 50",
          "  item \"Deep\", 55",
          "}"});
    ASSERT_EQ(run("/dialog -m m menus"), 1) << error;
    ScriptDialog* d = dialog_find("m");
    ASSERT_TRUE(d->menubar);
    EXPECT_EQ(d->menubar->actions().size(), 1);
    EXPECT_EQ(eval("$dialog(m).ok"), "51");
    EXPECT_EQ(eval("$did(m, 51)"), "Open");
    EXPECT_TRUE(dialog_menu_entry(d, 52)->action->isSeparator());
    EXPECT_EQ(eval("$did(m, 53)"), "Greyed");
    EXPECT_EQ(eval("$did(m, 53).state"), "1");
    EXPECT_EQ(eval("$did(m, 53).enabled"), "0");
    EXPECT_EQ(eval("$did(m, 55)"), "Deep");
    EXPECT_EQ(dialog_menu_entry(d, 55)->parent, dialog_menu_entry(d, 54)->popup);
    EXPECT_EQ(eval("$did(m, 55).isid"), "$true");
    EXPECT_EQ(eval("$did(m, 56).isid"), "$false");
}

TEST_F(DialogTest, PictureControlsLoadDrawAndTakeTheMouse)
{
    // Pictures beside the script are found by their bare names.
    QImage red(16, 16, QImage::Format_RGB32), blue(16, 16, QImage::Format_RGB32);
    red.fill(Qt::red);
    blue.fill(Qt::blue);
    ASSERT_TRUE(red.save(QString::fromStdString(settings_.path() + "red.png")));
    ASSERT_TRUE(blue.save(QString::fromStdString(settings_.path() + "blue.png")));
    load({"dialog pics {",
          "  size -1 -1 200 100",
          "  icon red.png",
          "  icon 1, 10 10 40 40, red.png, 0 noborder",
          "  icon 2, 60 10 40 40, blue.png, 0 disable",
          "  icon 3, 110 10 40 40",
          "}",
          "on *:dialog:p:sclick:*:rec sclick $did"});
    ASSERT_EQ(run("/dialog -m p pics"), 1) << error;
    ScriptDialogWindow* w = window("p");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    EXPECT_EQ(eval("$did(p, 1)"), settings_.path() + "red.png");
    EXPECT_EQ(eval("$did(p, 3)"), "");
    EXPECT_FALSE(w->windowIcon().isNull()) << "the icon line is the dialog's icon";
    // The picture is drawn fitted into its rectangle (40 by 40: at its own
    // 16 by 16, centred).
    const QImage shot = control("p", 1)->grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(20, 20)), QColor(Qt::red));
    EXPECT_NE(QColor(shot.pixel(2, 2)), QColor(Qt::red));
    EXPECT_EQ(eval("$did(p, 2).visible"), "$false") << "a disabled picture";

    // Clicks: an enabled picture takes them, a disabled one leaves them to
    // the dialog.
    QWidget* client = w->client();
    QTest::mouseClick(client, Qt::LeftButton, {}, QPoint(30, 30));
    run("/did -b p 1");
    QTest::mouseClick(client, Qt::LeftButton, {}, QPoint(30, 30));
    run("/did -e p 1");
    QTest::mouseClick(client, Qt::LeftButton, {}, QPoint(30, 30));
    EXPECT_EQ(take(), (std::vector<std::string>{"sclick 1", "sclick 0", "sclick 1"}));

    // A new picture through /did -g, with an index first.
    ASSERT_EQ(run("/did -g p 1 blue.png"), 1) << error;
    EXPECT_EQ(eval("$did(p, 1)"), settings_.path() + "blue.png");
    EXPECT_EQ(QColor(control("p", 1)->grab().toImage().pixel(20, 20)), QColor(Qt::blue));
    ASSERT_EQ(run("/did -g p 3 2 red.png"), 1) << error;
    EXPECT_EQ(eval("$did(p, 3)"), settings_.path() + "red.png") << "a picture file has no index";
    EXPECT_EQ(run("/did -g p 1 nothere.png"), 0);
    EXPECT_EQ(error.rfind("* /did: 'p' Yüklemede Hata 'nothere.png'", 0), 0u) << error;
    EXPECT_EQ(run("/did -g p 1 5"), 0);
    EXPECT_EQ(error.rfind("* /did: Yetersiz veya eksik parametre", 0), 0u) << error;
}

TEST_F(DialogTest, OddLinesBuildOrFailWithAMessage)
{
    const char* odd[] = {
        "text",
        "text ,",
        "text \"unclosed, 1, 1 1 1 1",
        "text \"\", , 1 1 1 1",
        "text \"x\", 1",
        "text \"x\", 1, a b c d",
        "text \"x\", 99999999999999999999, 1 1 1 1",
        "text \"x\", -5, 1 1 1 1",
        "edit \"x\", 1, 1 1 1 1, limit -99999999999999",
        "scroll \"\", 1, 1 1 1 1, range",
        "scroll \"\", 1, 1 1 1 1, range - -",
        "list , 1 1 1 1",
        "combo 1, 1 1 1 1, limit",
        "icon 1, 1 1 1 1, , ",
        "icon ,",
        "tab",
        "tab \"a\", 1",
        "menu",
        "menu ,,,,",
        "item \"x\", 1, 99999999999",
        "item break",
        "option",
        "title",
        "size",
        "size 1 2 3",
        "text \"\xc3\xa7\xc4\x9f \xe2\x82\xac\", 1, 1 1 1 1, %",
        "text \"x\", 1, 1 1 1 1, tab 1",
        "button \"$calc(1/0)\", 1, $calc(2^40) 1 1 1",
    };
    for (const char* line : odd) {
        SCOPED_TRACE(line);
        remote_files_free_all();
        load({"dialog odd {", "  size -1 -1 100 100", std::string("  ") + line, "}"});
        const int r = run("/dialog -m o odd");
        if (r == 1) {
            EXPECT_TRUE(window("o"));
            run("/dialog -x o");
        } else {
            EXPECT_EQ(error.rfind("* /dialog: 'odd' ", 0), 0u) << error;
        }
        EXPECT_FALSE(dialog_find("o"));
    }
}

}  // namespace
