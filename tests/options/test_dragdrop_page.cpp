// The Drag-drop page of the options dialog on its real widgets: the two
// rule lists staged while the radio buttons switch between them, the lines
// tidied as they are stored, and OK putting both lists in place and into
// the settings file.
#include <gtest/gtest.h>

#define KEST_TEST_WIDGETS
#include <QDialog>
#include <QPlainTextEdit>
#include <QRadioButton>

#include <string>
#include <vector>

#include "core/ini.h"
#include "core/string_list.h"
#include "options/dialog_opener.h"
#include "options/drag_drop.h"
#include "options/options_page.h"
#include "options/page_dragdrop.h"
#include "platform/platform_test_env.h"
#include "support/test_support.h"

namespace {

const std::vector<std::string> kPlainDefaults{"*.wav:/sound $1 $2-", "*.*:/dcc send $1 $2-"};
const std::vector<std::string> kShiftDefaults{"*.*:/dcc send $1 $2-"};

std::vector<std::string> list_texts(const StringNode* n)
{
    std::vector<std::string> out;
    for (; n; n = n->next)
        out.push_back(n->text);
    return out;
}

TEST(DragDropPageLines, LinesAreTidiedAndAnEmptyListTakesItsDefaults)
{
    const std::string long_line = "*.x:/echo " + std::string(5000, 'a');
    const struct {
        std::string text;
        int shift;
        std::vector<std::string> rules;
    } cases[] = {
        {"*.txt:/play $1 $2-\n*.*:/dcc send $1 $2-", 0, {"*.txt:/play $1 $2-", "*.*:/dcc send $1 $2-"}},
        {"*.txt:/play   $1\t\t$2-\r\n\r\n   \n  *.*:/x  ", 1, {"*.txt:/play $1 $2-", "*.*:/x"}},
        {"", 0, kPlainDefaults},
        {"", 1, kShiftDefaults},
        {" \n\t\n", 0, kPlainDefaults},
        {"a", 0, {"a"}},
        {long_line, 0, {long_line.substr(0, kDragDropLineMax)}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dragdrop_page_lines(c.text, c.shift), c.rules) << c.text.substr(0, 40);
}

class DragDropPage : public ::testing::Test {
protected:
    TempSettingsDir settings{"kest_ddpage"};
    QDialog* dialog = nullptr;
    OptionsEdit edit;

    void SetUp() override
    {
        platform_test_app();
        page_dragdrop_install();
        dragdrop_set_rules(0, {"*.png:/echo png $1 $2-", "*.*:/dcc send $1 $2-"});
        dragdrop_set_rules(1, {"*.*:/echo shift $1 $2-"});
        dialog = new QDialog;
        const OptionsPageDef* def = options_page_find(300);
        ASSERT_TRUE(def && def->page_template);
        dlg_template_register(*def->page_template);
        ASSERT_EQ(dlg_clone_page(*dialog, 300), 0);
        edit.dialog = dialog;
    }
    void TearDown() override
    {
        delete dialog;
        page_dragdrop_uninstall();
        dragdrop_load();
    }
    void fill() { options_page_find(300)->fill(edit); }
    void apply() { options_page_find(300)->apply(edit); }
    void choose(int radio)
    {
        dlg_set_checked(dialog, radio, 1);
        options_page_find(300)->command(edit, radio);
    }
    std::string shown() { return qobject_cast<QPlainTextEdit*>(dlg_item(dialog, 304))->toPlainText().toStdString(); }
    void type(const std::string& t)
    {
        qobject_cast<QPlainTextEdit*>(dlg_item(dialog, 304))->setPlainText(QString::fromStdString(t));
    }
};

TEST_F(DragDropPage, RadiosSwitchTheShownListAndKeepEdits)
{
    fill();
    EXPECT_TRUE(dlg_checked(dialog, 302));
    EXPECT_FALSE(dlg_checked(dialog, 303));
    EXPECT_EQ(shown(), "*.png:/echo png $1 $2-\n*.*:/dcc send $1 $2-");
    type("*.jpg:/echo   jpg $1 $2-\n\n");
    choose(303);
    EXPECT_EQ(shown(), "*.*:/echo shift $1 $2-");
    // The same radio again keeps what is typed.
    type("*.gz:/echo gz $1 $2-");
    choose(303);
    EXPECT_EQ(shown(), "*.gz:/echo gz $1 $2-");
    choose(302);
    EXPECT_EQ(shown(), "*.jpg:/echo jpg $1 $2-");
    choose(303);
    EXPECT_EQ(shown(), "*.gz:/echo gz $1 $2-");
    // Nothing live changed before OK.
    EXPECT_EQ(list_texts(dragdrop_rules(0)), (std::vector<std::string>{"*.png:/echo png $1 $2-", "*.*:/dcc send $1 $2-"}));
    apply();
    EXPECT_EQ(list_texts(dragdrop_rules(0)), (std::vector<std::string>{"*.jpg:/echo jpg $1 $2-"}));
    EXPECT_EQ(list_texts(dragdrop_rules(1)), (std::vector<std::string>{"*.gz:/echo gz $1 $2-"}));
    // Saved: a fresh load reads the same lists, and the drop rules use them.
    dragdrop_load();
    EXPECT_EQ(list_texts(dragdrop_rules(0)), (std::vector<std::string>{"*.jpg:/echo jpg $1 $2-"}));
    std::string command;
    EXPECT_EQ(dragdrop_find_rule("photo.JPG", command, 0), 1);
    EXPECT_EQ(command, "/echo jpg $1 $2-");
    EXPECT_EQ(dragdrop_find_rule("photo.png", command, 0), 0);
    EXPECT_EQ(dragdrop_find_rule("photo.png", command, 1), 0);
    EXPECT_EQ(dragdrop_find_rule("a.gz", command, 1), 1);
}

TEST_F(DragDropPage, AnEmptiedListKeepsItsDefaults)
{
    fill();
    type("   \n");
    choose(303);
    type("");
    choose(302);
    EXPECT_EQ(shown(), kPlainDefaults[0] + "\n" + kPlainDefaults[1]);
    apply();
    EXPECT_EQ(list_texts(dragdrop_rules(0)), kPlainDefaults);
    EXPECT_EQ(list_texts(dragdrop_rules(1)), kShiftDefaults);
    std::string key;
    ini_read("dragdrop", "n1", "", key, 4150, main_ini_path);
    EXPECT_EQ(key, kPlainDefaults[1]);
    // The keys after the last written are gone.
    ini_read("dragdrop", "s1", "", key, 4150, main_ini_path);
    EXPECT_EQ(key, "");
}

}  // namespace
