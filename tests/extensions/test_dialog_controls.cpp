// /did, /didtok and the $did family on the controls of an open dialog: a
// table of switches against the state the user sees, the properties read
// back, and the errors.
#include "extensions/dialog_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

namespace {

const std::vector<std::string> kTable = {
    "dialog ctl {",
    "  size -1 -1 400 300",
    "  text \"Label\", 1, 5 5 100 20",
    "  button \"Push\", 2, 5 30 60 24",
    "  check \"Tick\", 3, 5 60 100 20, 3state",
    "  radio \"R1\", 4, 5 85 80 20, group",
    "  radio \"R2\", 5, 5 110 80 20",
    "  edit \"one\", 6, 5 135 100 22",
    "  edit \"\", 7, 120 5 150 80, multi",
    "  list 8, 120 90 120 80",
    "  list 9, 250 90 120 80, multsel",
    "  combo 10, 120 180 120 80, drop edit",
    "  scroll \"\", 11, 380 5 20 100, range 0 100",
    "  list 12, 250 180 120 80, check",
    "  list 13, 5 180 100 80, radio",
    "  link \"Here\", 14, 5 270 60 20",
    "  button \"Other\", 15, 70 30 60 24, default",
    "}",
};

class DialogControlsTest : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        load(kTable);
        ASSERT_EQ(run("/dialog -m c ctl"), 1) << error;
        w = window("c");
        ASSERT_TRUE(w);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    }

    // Runs the lines, each of which must succeed.
    void runs(std::initializer_list<std::string> lines)
    {
        for (const std::string& l : lines)
            ASSERT_EQ(run(l), 1) << l << ": " << error;
    }

    ScriptDialogWindow* w = nullptr;
};

TEST_F(DialogControlsTest, SwitchesSetTheStateTheUserSees)
{
    const struct {
        const char* lines;          // commands, "|" between them
        const char* expression;     // read back afterwards
        const char* expected;
    } cases[] = {
        {"/did -c c 3", "$did(c, 3).state", "1"},
        {"/did -c c 3|/did -u c 3", "$did(c, 3).state", "0"},
        {"/did -cu c 3", "$did(c, 3).state", "2"},
        {"/did -c c 4|/did -c c 5", "$did(c, 4).state $did(c, 5).state", "0 1"},
        {"/did -c c 5|/did -u c 5", "$did(c, 5).state", "0"},
        {"/did -b c 2", "$did(c, 2).enabled", "$false"},
        {"/did -be c 2", "$did(c, 2).enabled", "$true"},
        {"/did -h c 1,3-5", "$did(c, 1).visible $did(c, 3).visible $did(c, 4).visible $did(c, 5).visible $did(c, 2).visible",
         "$false $false $false $false $true"},
        {"/did -hv c 1", "$did(c, 1).visible", "$true"},
        {"/did -h c 14", "$did(c, 14).visible", "$false"},
        {"/did -h c 14|/did -v c 14", "$did(c, 14).visible", "$true"},
        {"/did -r c 6", "$did(c, 6)", ""},
        {"/did -a c 6 two words", "$did(c, 6)", "onetwo words"},
        {"/did -ra c 1 New label", "$did(c, 1)", "New label"},
        {"/did -o c 6 1 replaced", "$did(c, 6)", "replaced"},
        {"/did -m c 6", "$did(c, 6).edited", "$false"},
        {"/did -a c 8 b|/did -a c 8 a|/did -a c 8 c", "$didtok(c, 8)", "b,a,c"},
        {"/didtok c 8 44 a,b,,c", "$did(c, 8).lines $didtok(c, 8, 59)", "3 a;b;c"},
        {"/didtok c 8 44 x,y,z|/did -d c 8 2", "$didtok(c, 8)", "x,z"},
        {"/didtok c 8 44 x,y,z|/did -i c 8 2 new item", "$didtok(c, 8)", "x,new item,y,z"},
        {"/didtok c 8 44 x,y,z|/did -o c 8 3 last", "$didtok(c, 8)", "x,y,last"},
        {"/didtok c 8 44 x,y,z|/did -c c 8 2", "$did(c, 8).sel $did(c, 8).seltext $did(c, 8, 2).state", "2 y 1"},
        {"/didtok c 8 44 x,y,z|/did -c c 8 2|/did -u c 8", "$did(c, 8).sel $did(c, 8, 0).sel", "0 0"},
        {"/didtok c 8 44 x,y|/did -ca c 8 two words", "$did(c, 8).sel $did(c, 8).seltext", "3 two words"},
        {"/didtok c 9 44 x,y,z", "$did(c, 9, 0).sel", "0"},
        {"/didtok c 9 44 x,y,z|/did -c c 9", "$did(c, 9, 0).sel", "3"},
        {"/didtok c 9 44 x,y,z|/did -c c 9|/did -u c 9", "$did(c, 9, 0).sel", "0"},
        {"/didtok c 9 44 x,y,z|/did -c c 9 1|/did -c c 9 3", "$did(c, 9, 0).sel $did(c, 9, 1).sel", "1 3"},
        {"/didtok c 9 44 x,y,z|/did -c c 9 1|/did -ck c 9 3", "$did(c, 9, 0).sel $did(c, 9, 1).sel $did(c, 9, 2).sel",
         "2 1 3"},
        {"/did -r c 8", "$did(c, 8).lines", "0"},
        {"/didtok c 10 44 red,green", "$did(c, 10).sel $len($did(c, 10))", "0 0"},
        {"/did -a c 10 typed|/did -i c 10 1 first", "$did(c, 10).sel $did(c, 10, 1) $did(c, 10).lines", "0 first 2"},
        {"/didtok c 10 44 red,green|/did -c c 10 2", "$did(c, 10) $did(c, 10).sel $did(c, 10, 1)", "green 2 red"},
        {"/didtok c 10 44 red,green|/did -d c 10 0", "$did(c, 10).lines $did(c, 10, 0).len", "2 0"},
        {"/didtok c 7 44 second,third", "$did(c, 7).lines $did(c, 7, 1) $did(c, 7, 2) $did(c, 7, 2).len",
         "3 second third 5"},
        {"/did -a c 7 first|/didtok c 7 44 second", "$did(c, 7) $did(c, 7).len", "firstsecond 0"},
        {"/didtok c 7 44 a,b,c|/did -d c 7 2", "$didtok(c, 7)", "a,c,"},
        {"/didtok c 7 44 a,b,c|/did -i c 7 1 top", "$did(c, 7, 1) $did(c, 7, 2)", "top a"},
        {"/didtok c 7 44 abc,defgh|/did -c c 7 2 2 4", "$did(c, 7).seltext $did(c, 7, 1).sel", "ef 2"},
        {"/did -c c 11 40", "$did(c, 11).sel $did(c, 11).lines", "40 100"},
        {"/did -z c 11 5 20", "$did(c, 11).lines", "20"},
        {"/did -t c 2", "$did(c, 2).enabled", "$true"},
        {"/didtok c 12 44 a,b,c|/did -s c 12 1|/did -s c 12 3", "$did(c, 12, 0).csel $did(c, 12, 2).csel $did(c, 12, 3).cstate",
         "2 3 1"},
        {"/didtok c 12 44 a,b,c|/did -s c 12 1|/did -l c 12 1", "$did(c, 12, 0).csel", "0"},
        {"/didtok c 13 44 a,b,c|/did -s c 13 1|/did -s c 13 3", "$did(c, 13, 0).csel $did(c, 13).csel", "1 3"},
        {"/didtok c 8 44 apple,banana,cherry", "$didwm(c, 8, *an*) $didwm(c, 8, *r*, 3) $didwm(c, 8, z*)", "2 3 0"},
        {"/didtok c 8 44 apple,banana,cherry", "$didreg(c, 8, /^ch/) $didreg(c, 8, /a/, 2)", "3 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        // A fresh dialog per case.
        run("/dialog -x c");
        ASSERT_EQ(run("/dialog -m c ctl"), 1) << error;
        std::string rest = c.lines;
        for (;;) {
            std::size_t p = rest.find('|');
            const std::string line = rest.substr(0, p);
            ASSERT_EQ(run(line), 1) << line << ": " << error;
            if (p == std::string::npos)
                break;
            rest = rest.substr(p + 1);
        }
        EXPECT_EQ(eval(c.expression), c.expected) << error;
    }
}

TEST_F(DialogControlsTest, SwitchesShowOnTheWidgets)
{
    runs({"/did -c c 3", "/did -b c 2", "/did -h c 1", "/did -a c 8 shown item", "/did -m c 6",
          "/did -t c 2", "/did -f c 6"});
    EXPECT_TRUE(control<QCheckBox>("c", 3)->isChecked());
    EXPECT_FALSE(control("c", 2)->isEnabled());
    EXPECT_FALSE(control("c", 1)->isVisible());
    EXPECT_EQ(control<QListWidget>("c", 8)->item(0)->text(), "shown item");
    EXPECT_TRUE(control<QLineEdit>("c", 6)->isReadOnly());
    EXPECT_TRUE(control<QPushButton>("c", 2)->isDefault());
    EXPECT_FALSE(control<QPushButton>("c", 15)->isDefault()) << "the default moved";
    EXPECT_EQ(eval("$dialog(c).focus"), "6");
    runs({"/did -n c 6"});
    EXPECT_FALSE(control<QLineEdit>("c", 6)->isReadOnly());
}

TEST_F(DialogControlsTest, TheUsersEditsReadBack)
{
    auto* edit = control<QLineEdit>("c", 6);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "hello world");
    EXPECT_EQ(eval("$did(c, 6) $did(c, 6, 1).len $did(c, 6).len $did(c, 6).edited"), "hello world 11 0 $true");
    edit->setSelection(6, 5);
    EXPECT_EQ(eval("$did(c, 6).seltext $did(c, 6).selstart $did(c, 6).selend"), "world 6 11");
    runs({"/did -j c 6"});
    EXPECT_EQ(eval("$did(c, 6).edited"), "$false");

    // A check list: a click on an item toggles it, the space key gives the
    // selected items the focused one's toggled state.
    runs({"/didtok c 12 44 a,b,c"});
    auto* list = control<QListWidget>("c", 12);
    const QPoint first = list->visualItemRect(list->item(0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first);
    EXPECT_EQ(eval("$did(c, 12, 1).cstate $did(c, 12, 0).csel"), "1 1");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first);
    EXPECT_EQ(eval("$did(c, 12, 1).cstate"), "0");
    list->setFocus();
    list->setCurrentRow(2);
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(eval("$did(c, 12, 3).cstate"), "1");
    // A radio list: a click checks that item alone.
    runs({"/didtok c 13 44 a,b,c"});
    auto* radio = control<QListWidget>("c", 13);
    QTest::mouseClick(radio->viewport(), Qt::LeftButton, {}, radio->visualItemRect(radio->item(1)).center());
    QTest::mouseClick(radio->viewport(), Qt::LeftButton, {}, radio->visualItemRect(radio->item(2)).center());
    EXPECT_EQ(eval("$did(c, 13, 0).csel $did(c, 13).csel"), "1 3");
}

TEST_F(DialogControlsTest, ErrorsOfDid)
{
    const struct {
        const char* line;
        const char* message;
    } cases[] = {
        {"/did -a", "* /did: Yetersiz veya eksik parametre"},
        {"/did -a c", "* /did: Yetersiz veya eksik parametre"},
        {"/did -a nosuch 1 x", "* /did: Geçersiz parametre"},
        {"/did -a c 99 x", "* /did: 'c' Geçersiz id '99'"},
        {"/did -h c 1,99,2", "* /did: 'c' Geçersiz id '99'"},
        {"/did -d c 8", "* /did: Yetersiz veya eksik parametre"},
        {"/did -d c 8 0", "* /did: Geçersiz parametre"},
        {"/did c 8", "* /did: Yetersiz veya eksik parametre"},
        {"/did -g c 1 nosuch.png", "* /did: 'c' Geçersiz id '1'"},
        {"/didtok c 8", "* /didtok: Yetersiz veya eksik parametre"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(run(c.line), 0);
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << error;
    }
    // The list stopped at the first failing id: 2 is still shown.
    EXPECT_EQ(eval("$did(c, 1).visible $did(c, 2).visible"), "$false $true");
    // A range past the table's ids ends at the first id that names nothing.
    EXPECT_EQ(run("/did -h c 1-999999999"), 0);
    EXPECT_EQ(error.rfind("* /did: 'c' Geçersiz id '16'", 0), 0u) << error;
    EXPECT_EQ(eval("$did(c, 15).visible"), "$false");
    // $did's own errors: outside an event the id alone names no dialog.
    const char* bad[] = {"$did(5)", "$did(c, 0)", "$did(c, 3001)", "$did(nosuch, 1)", "$did(c, 99)"};
    for (const char* b : bad) {
        SCOPED_TRACE(b);
        EXPECT_EQ(run(std::string("/echo -s ") + b), 0);
        EXPECT_EQ(error.rfind("* Geçersiz parametre: $did", 0), 0u) << error;
    }
    // A number alone after the ids changes nothing.
    EXPECT_EQ(run("/did c 1 5"), 1) << error;
    EXPECT_EQ(eval("$did(c, 1)"), "Label");
}

TEST_F(DialogControlsTest, InsideTheEventTheNameMayBeLeftOut)
{
    load({"on *:dialog:c:sclick:3:rec $did(3).state $did(6) $did(6, 1).len $didtok(8)"});
    runs({"/didtok c 8 44 p,q"});
    QTest::mouseClick(control("c", 3), Qt::LeftButton, {}, QPoint(6, 10));
    EXPECT_EQ(take(), (std::vector<std::string>{"1 one 3 p,q"}));
}

TEST_F(DialogControlsTest, DidtokStopsBeforeTheLongLineLimit)
{
    // 100 items of 100 characters: the joined text stops at whole items
    // within 4,150 characters.
    const std::string item(100, 'x');
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(run("/did -a c 8 " + item), 1);
    const std::string joined = eval("$didtok(c, 8)");
    EXPECT_LE(joined.size(), 4150u);
    EXPECT_EQ(joined.size(), 41u * 100 + 40) << "41 whole items and their commas";
}

}  // namespace

namespace {

TEST_F(DialogControlsTest, FilterReadsAndFillsDialogControls)
{
    const std::string file = settings_.path() + "lines.txt";
    spit(file, "apple pie\nbanana\ncherry pie\n");
    runs({"/didtok c 8 44 alpha,beta,gamma,delta"});
    const struct {
        const char* line;
        const char* expression;
        const char* expected;
    } cases[] = {
        // A list into a list, matching; -c empties the target first.
        {"/filter -io c 8 c 9 *a", "$didtok(c, 9)", "alpha,beta,gamma,delta"},
        {"/filter -cio c 8 c 9 *ta", "$didtok(c, 9)", "beta,delta"},
        // A file into a multi-line edit: one line each.
        {"/filter -co $file c 7 *pie", "$did(c, 7).lines $did(c, 7, 1) $did(c, 7, 2)", "3 apple pie cherry pie"},
        // A file into a combo, numbered.
        {"/filter -fon $file c 10 *an*", "$did(c, 10).lines $did(c, 10, 1)", "1 2 banana"},
        // A list out to a file.
        {"/filter -cif c 8 $out *l*", "$did(c, 8).lines", "4"},
    };
    const std::string out = settings_.path() + "out.txt";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        std::string line = c.line;
        for (std::size_t p; (p = line.find("$file")) != std::string::npos;)
            line.replace(p, 5, file);
        for (std::size_t p; (p = line.find("$out")) != std::string::npos;)
            line.replace(p, 4, out);
        ASSERT_EQ(run(line), 1) << error;
        EXPECT_EQ(eval(c.expression), c.expected) << error;
    }
    EXPECT_EQ(slurp(out), "alpha\ndelta\n");
    // Errors: no such dialog or control, a control that holds no lines.
    const struct {
        const char* line;
        const char* message;
    } errors[] = {
        {"/filter -io nosuch 8 c 9 *", "* /filter: Geçersiz pencere"},
        {"/filter -io c 99 c 9 *", "* /filter: Geçersiz pencere"},
        {"/filter -io c 8 c 3 *", "* /filter: Geçersiz parametre"},
        {"/filter -io c 8 c *", "* /filter: Geçersiz parametre"},
    };
    for (const auto& e : errors) {
        SCOPED_TRACE(e.line);
        EXPECT_EQ(run(e.line), 0);
        EXPECT_EQ(error.rfind(e.message, 0), 0u) << error;
    }
}

TEST_F(DialogControlsTest, RadioGroupsEndAtTheNextGroupWord)
{
    load({"dialog groups {",
          "  size -1 -1 200 200",
          "  radio \"A\", 1, 5 5 80 20, group",
          "  radio \"B\", 2, 5 30 80 20",
          "  check \"C\", 3, 5 55 80 20, group",
          "  radio \"D\", 4, 5 80 80 20",
          "  radio \"E\", 5, 5 105 80 20, group",
          "}"});
    ASSERT_EQ(run("/dialog -m g groups"), 1) << error;
    for (int id : {1, 4, 5})
        QTest::mouseClick(control("g", id), Qt::LeftButton, {}, QPoint(6, 10));
    EXPECT_EQ(eval("$did(g, 1).state $did(g, 2).state $did(g, 4).state $did(g, 5).state"), "1 0 1 1");
    QTest::mouseClick(control("g", 2), Qt::LeftButton, {}, QPoint(6, 10));
    EXPECT_EQ(eval("$did(g, 1).state $did(g, 2).state $did(g, 4).state $did(g, 5).state"), "0 1 1 1");
}

}  // namespace
