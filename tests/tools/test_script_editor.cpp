// The script editor and its find and replace, through the real widgets.
#define KEST_TEST_WIDGETS
#include "tools/script_editor.h"

#include "app/frame_menu.h"
#include "core/ini.h"
#include "core/options.h"
#include "core/string_list.h"
#include "options/dialog_opener.h"
#include "platform/platform_utils.h"
#include "script/events/remote_files.h"
#include "script/exec/script_errors.h"
#include "script/stores/alias_files.h"
#include "support/test_support.h"
#include "tools/script_editor_find.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

std::vector<std::string> g_messages;

struct EditorFixture : ::testing::Test {
    TempSettingsDir settings{"kest_editor"};
    void (*saved_message)(const std::string&, const std::string&) = message_dialog_hook;

    void SetUp() override
    {
        ASSERT_TRUE(settings.made());
        test_app();
        alias_files_free();
        remote_files_free_all();
        opt_set(OPT_ALIAS_FILE_INDEX, 0);
        script_editor_install();
        editor_find_state = EditorFindState{};
        g_messages.clear();
        message_dialog_hook = [](const std::string&, const std::string& text) { g_messages.push_back(text); };
    }
    void TearDown() override
    {
        script_editor_uninstall();
        test_drain_events();
        alias_files_free();
        remote_files_free_all();
        message_dialog_hook = saved_message;
    }
    AliasFile* load_aliases(const std::string& name, const std::vector<std::string>& lines)
    {
        std::string t = "[aliases]\n";
        for (std::size_t i = 0; i < lines.size(); ++i)
            t += "n" + std::to_string(i) + "=" + lines[i] + "\n";
        spit(settings.path() + name, t);
        return alias_file_load(settings.path() + name);
    }
    static std::string text() { return editor_edit()->toPlainText().toStdString(); }
    static void type(const QString& keys) { QTest::keyClicks(editor_edit(), keys); }
    static void caret_to(int position)
    {
        QTextCursor c = editor_edit()->textCursor();
        c.setPosition(position);
        editor_edit()->setTextCursor(c);
    }
};

TEST(EditorText, LinesOfText)
{
    struct Case {
        std::string text;
        bool popup;
        std::vector<std::string> lines;
    } cases[] = {
        {"a\r\nb\rc\nd", false, {"a", "b", "c", "d"}},
        {"a\n\n\n", false, {"a"}},
        {"\n\na", false, {"", "", "a"}},
        {"", false, {}},
        {"x\n   \ny", false, {"x", "   ", "y"}},
        {"x\n   \ny", true, {"x", "", "y"}},
        {"   ", true, {}},
        {std::string(4150, 'a'), false, {std::string(4150, 'a')}},
        {std::string(4151, 'a'), false, {std::string(4150, 'a'), "a"}},
        {"a\r\n\r\nb", false, {"a", "", "b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 20));
        EXPECT_EQ(editor_lines_of_text(c.text, c.popup), c.lines);
    }
}

TEST(EditorText, TextOfLinesStopsAtTheLimit)
{
    StringNode* lines = nullptr;
    for (const char* t : {"one", "tw\fo\r", "three"})
        lines = strlist_append(lines, t, 0);
    EditorText all = editor_text_of_lines(lines);
    EXPECT_EQ(all.text, "one\ntwo\nthree");
    EXPECT_FALSE(all.partial());
    // Exactly full, and one character short.
    EditorText exact = editor_text_of_lines(lines, all.text.size());
    EXPECT_FALSE(exact.partial());
    EditorText short_one = editor_text_of_lines(lines, all.text.size() - 1);
    EXPECT_TRUE(short_one.partial());
    EXPECT_EQ(short_one.text, "one\ntwo");
    EXPECT_EQ(short_one.lines_loaded, 2);
    EXPECT_EQ(short_one.lines_total, 3);
    strlist_free(&lines);
}

TEST(EditorKeys, HomeAndEnterColumns)
{
    struct Home {
        const char* line;
        int column;
        int to;
    } homes[] = {
        {"    text", 0, 4}, {"    text", 6, 4}, {"    text", 8, 4}, {"    text", 4, 0},
        {"    text", 2, 0}, {"text", 0, 0},     {"text", 3, 0},     {"", 0, 0}, {"   ", 1, 0},
    };
    for (const Home& h : homes) {
        SCOPED_TRACE(std::string(h.line) + " @" + std::to_string(h.column));
        EXPECT_EQ(editor_home_column(h.line, h.column), h.to);
    }
    EXPECT_EQ(editor_enter_indent("  x", 3), "  ");
    EXPECT_EQ(editor_enter_indent("  x", 2), "  ");
    EXPECT_EQ(editor_enter_indent("  x", 1), "");
    EXPECT_EQ(editor_enter_indent("x", 1), "");
}

TEST_F(EditorFixture, OpensAtAView)
{
    load_aliases("aliases.ini", {"/hi echo hi"});
    struct Case {
        int asked;
        int shown;
    } cases[] = {{7, kEditorAliases}, {-1, kEditorAliases}, {2, kEditorScripts}, {4, kEditorVariables}, {0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked);
        editor_open(c.asked);
        EXPECT_EQ(editor_view(), c.shown);
        EXPECT_EQ(editor_tabs()->currentIndex(), c.shown);
    }
    EXPECT_EQ(script_editor_shows_variables(), 0);
    editor_open(kEditorVariables);
    EXPECT_EQ(script_editor_shows_variables(), 1);
    editor_cancel();
    EXPECT_EQ(script_editor_is_open(), 0);
    EXPECT_EQ(script_editor_shows_variables(), 0);
}

TEST_F(EditorFixture, MenuCommandsOpenTheirViews)
{
    load_aliases("aliases.ini", {"/hi echo hi"});
    const std::pair<int, int> cases[] = {{200, 0}, {201, 0}, {202, 1}, {203, 2}};
    for (auto [id, view] : cases) {
        SCOPED_TRACE(id);
        ASSERT_NE(frame_menu_command(id), nullptr);
        frame_menu_command(id)(id, 0);
        EXPECT_EQ(editor_view(), view);
    }
}

TEST_F(EditorFixture, WithoutAFileTheStatusSaysSo)
{
    editor_open(kEditorScripts);
    EXPECT_EQ(editor_status_path(), script_text(4925));
    EXPECT_TRUE(editor_window()->windowTitle().endsWith(QString::fromStdString(script_text(4917))));
    EXPECT_TRUE(editor_edit()->isReadOnly());
}

TEST_F(EditorFixture, TypedAliasTakesEffectAndOkSavesIt)
{
    AliasFile* f = load_aliases("aliases.ini", {"/hi echo hi"});
    ASSERT_NE(f, nullptr);
    editor_open(kEditorAliases);
    EXPECT_EQ(text(), "/hi echo hi");
    EXPECT_EQ(editor_status_path(), script_text(4924, f->path));
    caret_to(static_cast<int>(text().size()));
    QTest::keyClick(editor_edit(), Qt::Key_Return);
    type("/bye echo bye");
    EXPECT_EQ(alias_store_find("bye", nullptr, nullptr), nullptr) << "not before the text is stored";
    editor_tabs()->setCurrentIndex(kEditorPopups);  // switching stores the text
    EXPECT_NE(alias_store_find("bye", nullptr, nullptr), nullptr);
    EXPECT_EQ(slurp(settings.path() + "aliases.ini").find("bye"), std::string::npos) << "saved only by OK";
    editor_tabs()->setCurrentIndex(kEditorAliases);
    EXPECT_EQ(text(), "/hi echo hi\n/bye echo bye");
    QTest::mouseClick(editor_window()->findChild<QAbstractButton*>("EditorOk"), Qt::LeftButton);
    EXPECT_EQ(editor_window(), nullptr);
    EXPECT_NE(slurp(settings.path() + "aliases.ini").find("bye echo bye"), std::string::npos);
}

TEST_F(EditorFixture, CancelReadsTheFileBack)
{
    load_aliases("aliases.ini", {"/hi echo hi"});
    editor_open(kEditorAliases);
    editor_edit()->selectAll();
    type("/gone echo gone");
    editor_tabs()->setCurrentIndex(kEditorScripts);
    ASSERT_NE(alias_store_find("gone", nullptr, nullptr), nullptr);
    QTest::mouseClick(editor_window()->findChild<QAbstractButton*>("EditorCancel"), Qt::LeftButton);
    EXPECT_EQ(editor_window(), nullptr);
    EXPECT_EQ(alias_store_find("gone", nullptr, nullptr), nullptr);
    EXPECT_NE(alias_store_find("hi", nullptr, nullptr), nullptr);
    EXPECT_EQ(slurp(settings.path() + "aliases.ini").find("gone"), std::string::npos);
}

TEST_F(EditorFixture, APartlyLoadedFileIsReadOnlyAndNeverSavedShort)
{
    std::vector<std::string> lines;
    const std::string line(1000, 'x');
    for (int i = 0; i < 600; ++i)  // 600,000 characters and more
        lines.push_back("/a" + std::to_string(i) + " " + line);
    load_aliases("big.ini", lines);
    const std::string before = slurp(settings.path() + "big.ini");
    editor_open(kEditorAliases);
    EXPECT_TRUE(editor_edit()->isReadOnly());
    EXPECT_LE(text().size(), kEditorTextLimit);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_NE(g_messages[0].find("big.ini"), std::string::npos);
    type("more");
    QTest::keyClick(editor_edit(), Qt::Key_Return);
    editor_ok();
    EXPECT_EQ(slurp(settings.path() + "big.ini"), before);
    // The whole file is still loaded.
    EXPECT_NE(alias_store_find("a599", nullptr, nullptr), nullptr);
}

TEST_F(EditorFixture, SwitchingBackRestoresTheCaret)
{
    load_aliases("aliases.ini", {"/one echo 1", "/two echo 2", "/three echo 3"});
    editor_open(kEditorAliases);
    caret_to(15);
    editor_tabs()->setCurrentIndex(kEditorPopups);
    editor_tabs()->setCurrentIndex(kEditorAliases);
    EXPECT_EQ(editor_edit()->textCursor().position(), 15);
    // Twice, and by the view menu's keys as well.
    editor_open(kEditorScripts);
    editor_open(kEditorAliases);
    EXPECT_EQ(editor_edit()->textCursor().position(), 15);
}

TEST_F(EditorFixture, EnterKeepsTheIndentAndHomeGoesToTheText)
{
    load_aliases("aliases.ini", {"/x {", "echo a", "}"});
    editor_open(kEditorAliases);
    ASSERT_EQ(text(), "/x {\n  echo a\n}");  // the store indents blocks
    caret_to(static_cast<int>(std::string("/x {\n  echo a").size()));
    QTest::keyClick(editor_edit(), Qt::Key_Return);
    type("echo b");
    EXPECT_EQ(text(), "/x {\n  echo a\n  echo b\n}");
    QTest::keyClick(editor_edit(), Qt::Key_Home);
    EXPECT_EQ(editor_edit()->textCursor().positionInBlock(), 2);
    QTest::keyClick(editor_edit(), Qt::Key_Home);
    EXPECT_EQ(editor_edit()->textCursor().positionInBlock(), 0);
    QTest::keyClick(editor_edit(), Qt::Key_Home);
    EXPECT_EQ(editor_edit()->textCursor().positionInBlock(), 2);
    // Within the leading spaces: the new line takes none of them.
    QTest::keyClick(editor_edit(), Qt::Key_Left);
    QTest::keyClick(editor_edit(), Qt::Key_Return);
    EXPECT_EQ(text(), "/x {\n  echo a\n \n echo b\n}");
}

// Answers the modal dialogs in turn: each entry clicks a control id.
void answer_dialogs(std::vector<int> clicks, std::vector<std::string>* seen = nullptr)
{
    auto queue = std::make_shared<std::vector<int>>(std::move(clicks));
    auto step = std::make_shared<std::function<void()>>();
    *step = [queue, step, seen] {
        if (queue->empty())
            return;
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            if (seen)
                seen->push_back(dlg_text(d, 101));
            const int id = queue->front();
            queue->erase(queue->begin());
            if (auto* b = qobject_cast<QAbstractButton*>(dlg_item(d, id)))
                b->click();
        }
        QTimer::singleShot(10, *step);
    };
    QTimer::singleShot(10, *step);
}

TEST_F(EditorFixture, ReplaceAllWithNothingFindsAdjacentMatches)
{
    load_aliases("aliases.ini", {"/x echo abab ab", "/y echo AB"});
    editor_open(kEditorAliases);
    caret_to(0);
    editor_find_state.find = "ab";
    editor_find_state.replace = "";
    editor_find_state.confirm = 0;
    editor_find_state.replace_mode = 1;
    EXPECT_EQ(editor_search(), 4);
    EXPECT_EQ(text(), "/x echo  \n/y echo ");
    // Once more: nothing left.
    caret_to(0);
    EXPECT_EQ(editor_search(), 0);
}

TEST_F(EditorFixture, ReplaceWithAGrowingTextDoesNotLoop)
{
    load_aliases("aliases.ini", {"/x echo a a"});
    editor_open(kEditorAliases);
    caret_to(0);
    editor_find_state = {"a", "aa", 0, 0, 1};
    EXPECT_EQ(editor_search(), 2);
    EXPECT_EQ(text(), "/x echo aa aa");
}

TEST_F(EditorFixture, AllAtTheFirstPlaceAnswersThisRunOnly)
{
    load_aliases("aliases.ini", {"/x echo one one one"});
    editor_open(kEditorAliases);
    caret_to(0);
    editor_find_state = {"one", "two", 1, 0, 1};
    std::vector<std::string> asked;
    answer_dialogs({1}, &asked);  // "all"
    EXPECT_EQ(editor_search(), 3);
    EXPECT_EQ(text(), "/x echo two two two");
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(editor_find_state.confirm, 1) << "the next run asks again";
    // The next run: no at the first place, cancel at the second.
    editor_find_state.find = "two";
    editor_find_state.replace = "three";
    caret_to(0);
    asked.clear();
    answer_dialogs({7, 2}, &asked);
    EXPECT_EQ(editor_search(), 0);
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(text(), "/x echo two two two");
}

TEST_F(EditorFixture, FindStopsAtTheFirstHitAndGoesOnFromIt)
{
    load_aliases("aliases.ini", {"/x echo Needle", "/y echo needle"});
    editor_open(kEditorAliases);
    caret_to(0);
    editor_find_state = {"needle", "", 0, 0, 0};
    EXPECT_EQ(editor_search(), 1);
    EXPECT_EQ(editor_edit()->textCursor().selectionStart(), 8);
    EXPECT_EQ(editor_search(), 1);
    EXPECT_EQ(editor_edit()->textCursor().blockNumber(), 1);
    EXPECT_EQ(editor_search(), 0);
}

TEST_F(EditorFixture, FindNextWithoutHistoryOpensTheDialogAndKeepsTheHistory)
{
    load_aliases("aliases.ini", {"/x echo Word word"});
    editor_open(kEditorAliases);
    caret_to(9);  // inside "Word"
    bool opened = false;
    QTimer::singleShot(10, [&] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(d);
        opened = true;
        auto* finds = qobject_cast<QComboBox*>(dlg_item(d, 130));
        EXPECT_EQ(finds->currentText().toStdString(), "Word") << "the word at the caret";
        qobject_cast<QAbstractButton*>(dlg_item(d, 133))->click();
    });
    editor_find_next();
    EXPECT_TRUE(opened);
    std::string n0;
    ini_read("findtext", "n0", "", n0, 306, main_ini_path);
    EXPECT_EQ(n0, "Word");
    EXPECT_EQ(editor_edit()->textCursor().selectedText().toStdString(), "word");
}

TEST_F(EditorFixture, HistoryKeepsTenWithoutCaseRepeats)
{
    load_aliases("aliases.ini", {"/x echo x"});
    for (int i = 0; i < 10; ++i)
        ini_write("findtext", ("n" + std::to_string(i)).c_str(), ("old" + std::to_string(i)).c_str(), main_ini_path);
    editor_open(kEditorAliases);
    QTimer::singleShot(10, [] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(d);
        qobject_cast<QComboBox*>(dlg_item(d, 130))->setEditText("OLD3");
        qobject_cast<QAbstractButton*>(dlg_item(d, 1))->click();
    });
    editor_find_open();
    std::vector<std::string> keys;
    for (int i = 0; i < 12; ++i) {
        std::string v;
        ini_read("findtext", ("n" + std::to_string(i)).c_str(), "", v, 306, main_ini_path);
        keys.push_back(v);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"OLD3", "old0", "old1", "old2", "old4", "old5", "old6", "old7",
                                              "old8", "old9", "", ""}));
}

}  // namespace
