// The store commands and identifiers that open something for the user,
// typed with real keys into a status window's editbox: /help and /winhelp
// hand a help document to the desktop, $sfile, $msfile and $sdir ask with a
// file dialog (driven here from a timer while it waits), $read and $readini
// with -p run the rest of a line as commands, /filter reads and fills list
// boxes, and /playctrl opens the Play Center whose buttons change the play
// queue. Files stay in a temporary settings folder; nothing reaches a
// network.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/child_widgets.h"
#include "model/connection.h"
#include "app/subsystems.h"
#include "model/window_record.h"
#include "commands/play_queue.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/string_list.h"
#include "display/editbox.h"
#include "display/window_buffer.h"
#include "platform/platform_utils.h"
#include "script/exec/script_types.h"
#include "support/hook_guard.h"
#include "support/window_fixture.h"
#include "support/test_wire.h"

namespace {

namespace fs = std::filesystem;

class StoreDialogs : public ::testing::Test {
protected:
    HookGuard hooks_;
    SavedValues<std::string, std::string, std::string> saved_{settings_dir, main_ini_path, program_path_override};

    void SetUp() override
    {
        window_test_reset();
        dir = fs::temp_directory_path() / ("kest-storedlg-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "prog");
        settings_dir = dir.string() + "/";
        main_ini_path = (dir / "kest.ini").string();
        program_path_override = (dir / "prog" / "kest").string();
        app_install_subsystems();
        opened.clear();
        messages.clear();
        desktop_open_hook = [](const std::string& url) {
            opened.push_back(url);
            return 1;
        };
        message_dialog_hook = [](const std::string& caption, const std::string& text) {
            messages.push_back(caption + "|" + text);
        };
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);  // what is sent goes to the wire, unread
        status = win_record_of(conn->status_window);
        ASSERT_TRUE(status && status->editbox.get());
    }

    void TearDown() override
    {
        play_stop_all(conn);
        if (QWidget* c = play_center())
            delete c;
        window_test_reset();
        fs::remove_all(dir);
    }

    void write(const std::string& name, const std::string& text)
    {
        fs::create_directories((dir / name).parent_path());
        std::ofstream(dir / name, std::ios::binary) << text;
    }

    // Types the line into the status window's editbox and presses Enter;
    // returns the lines it added to the window (without the blank line
    // that separates what came after another window was active).
    std::vector<std::string> type(const std::string& line)
    {
        const int from = strlist_count(status->lines);
        EditBox* box = status->editbox.get();
        box->setTextBytes("");
        QTest::keyClicks(box, QString::fromStdString(line));
        QTest::keyClick(box, Qt::Key_Return);
        window_test_pump();
        std::vector<std::string> out;
        int i = 0;
        for (const StringNode* n = status->lines; n; n = n->next, ++i)
            if (i >= from && !n->text.empty())
                out.push_back(n->text);
        return out;
    }

    // The value of an expression as an echo shows it, in "[" and "]". A
    // play running into the status window may add its own lines meanwhile:
    // only the echo's line, between "<" and ">", is the value.
    std::string echo(const std::string& expr)
    {
        const std::vector<std::string> got = type("//echo -s < $+ " + expr + " $+ >");
        std::vector<std::string> echoed;
        for (const std::string& line : got)
            if (line.size() >= 2 && line.front() == '<' && line.back() == '>')
                echoed.push_back("[" + line.substr(1, line.size() - 2) + "]");
        EXPECT_EQ(echoed.size(), 1u) << ::testing::PrintToString(got);
        return echoed.empty() ? std::string() : echoed.back();
    }

    static QWidget* play_center()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "play_center")
                return w;
        return nullptr;
    }

    static inline std::vector<std::string> opened;
    static inline std::vector<std::string> messages;
    fs::path dir;
    TestWire wire;
    Connection* conn = nullptr;
    WindowRecord* status = nullptr;
};

bool has_line(const std::vector<std::string>& lines, const std::string& tail)
{
    for (const std::string& l : lines)
        if (l.size() >= tail.size() && l.compare(l.size() - tail.size(), tail.size(), tail) == 0)
            return true;
    return false;
}

// ---- /help and /winhelp ----

TEST_F(StoreDialogs, HelpOpensTheDocumentOrSaysItIsMissing)
{
    const std::string sdir = dir.string() + "/", prog = dir.string() + "/prog/";
    const struct {
        std::vector<const char*> files;  // present before the line is typed
        const char* typed;
        const char* opened;              // what reached the desktop; null: nothing
        bool missing_message;
        const char* error;               // the end of an error line, or null
    } cases[] = {
        // No help file anywhere: the missing-file message, nothing opens.
        {{}, "/help", nullptr, true, nullptr},
        {{}, "/help join", nullptr, true, nullptr},
        // The program's own document beside it: at its start, or at a
        // keyword's anchor (lower-cased, without the command character).
        {{"prog/kest.html"}, "/help", "PROG:kest.html", false, nullptr},
        {{"prog/kest.html"}, "/help /JOIN now", "file://PROG:kest.html#join", false, nullptr},
        // A kest.chm in the settings folder comes first, opened whole.
        {{"prog/kest.html", "kest.chm"}, "/help join", "SET:kest.chm", false, nullptr},
        {{}, "/winhelp", nullptr, false, "* /winhelp: Yetersiz veya eksik parametre"},
        {{"guide.html"}, "/winhelp guide.html nick change", "file://SET:guide.html#nick", false, nullptr},
        {{"my guide.txt"}, "/winhelp \"my guide.txt\"", "SET:my guide.txt", false, nullptr},
        {{}, "/winhelp other.chm", nullptr, true, nullptr},
        // A missing help file of another kind opens nothing and says nothing.
        {{}, "/winhelp other.txt", nullptr, false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        fs::remove_all(dir);
        fs::create_directories(dir / "prog");
        for (const char* f : c.files)
            write(f, "<html></html>");
        opened.clear();
        messages.clear();
        const std::vector<std::string> shown = type(c.typed);
        if (c.opened) {
            std::string want = c.opened;
            for (const auto& [key, value] : {std::pair<std::string, std::string>{"PROG:", prog}, {"SET:", sdir}}) {
                const std::size_t at = want.find(key);
                if (at != std::string::npos)
                    want.replace(at, key.size(), value);
            }
            EXPECT_EQ(opened, std::vector<std::string>{want});
        } else {
            EXPECT_TRUE(opened.empty()) << ::testing::PrintToString(opened);
        }
        if (c.missing_message)
            EXPECT_EQ(messages, std::vector<std::string>{"Kest Yardım Dosyası|Kest Yardım Dosyası Bulunamadı."});
        else
            EXPECT_TRUE(messages.empty()) << ::testing::PrintToString(messages);
        if (c.error) {
            EXPECT_TRUE(has_line(shown, c.error)) << ::testing::PrintToString(shown);
        }
    }
}

// ---- $read -p and $readini -p ----

TEST_F(StoreDialogs, ReadWithPRunsTheRestOfTheLineAfterTheCommand)
{
    write("cmds.txt", "echo -s one $len(abc) | echo -s two $len(ab) | echo -s three\n");
    write("cmds.ini", "[run]\ngo=echo -s ini $len(a) | echo -s ini two\n");
    const struct {
        const char* typed;
        std::vector<std::string> shown;
    } cases[] = {
        // Without p the whole line is one command: the bars are its text.
        {"//$read(cmds.txt, 1)", {"one 3 | echo -s two 2 | echo -s three"}},
        {"//$read(cmds.txt, p, 1) | echo -s after", {"one 3", "two 2", "three", "after"}},
        {"//$read -pl1 cmds.txt", {"one 3", "two 2", "three"}},
        // n keeps the first command as written; the others are evaluated
        // when they run, as any command is.
        {"//$read(cmds.txt, np, 1)", {"one $len(abc)", "two 2", "three"}},
        {"//$readini(cmds.ini, p, run, go)", {"ini 1", "ini two"}},
        {"//$readini -p cmds.ini run go", {"ini 1", "ini two"}},
        {"//$readini(cmds.ini, run, go)", {"ini 1 | echo -s ini two"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(type(c.typed), c.shown);
        // A second run gives the same: nothing is left queued.
        EXPECT_EQ(type(c.typed), c.shown);
    }
}

// ---- $sfile, $msfile and $sdir ----

// Runs `act` on the file dialog as soon as it is shown; the timer that
// watches for it goes once it has acted.
QTimer* when_dialog_opens(std::function<void(QFileDialog*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!d || !d->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        act(d);
    });
    timer->start();
    return timer;
}

TEST_F(StoreDialogs, FileDialogsAnswerWithWhatTheUserPicks)
{
    write("pick/a.txt", "a");
    write("pick/b.txt", "b");
    const std::string pick = dir.string() + "/pick/";
    std::string title, button;
    auto choose = [&](const QString& typed) {
        return [&, typed](QFileDialog* d) {
            title = d->windowTitle().toStdString();
            button = d->labelText(QFileDialog::Accept).toStdString();
            if (auto* edit = d->findChild<QLineEdit*>("fileNameEdit"))
                edit->setText(typed);
            QMetaObject::invokeMethod(d, "accept");
        };
    };

    when_dialog_opens(choose("b.txt"));
    EXPECT_EQ(echo("$sfile(pick, Pick one, Use)"), "[" + pick + "b.txt]");
    EXPECT_EQ(title, "Pick one");
    EXPECT_EQ(button, "Use");

    when_dialog_opens([&](QFileDialog* d) {
        title = d->windowTitle().toStdString();
        d->reject();
    });
    EXPECT_EQ(echo("$sfile(pick/*.txt)"), "[]");
    EXPECT_EQ(title, "Dosya Seç");

    when_dialog_opens([&](QFileDialog* d) {
        title = d->windowTitle().toStdString();
        QMetaObject::invokeMethod(d, "accept");
    });
    EXPECT_EQ(echo("$sdir(pick)"), "[" + pick + "]");
    EXPECT_EQ(title, "Klasör Seç");

    when_dialog_opens(choose("\"a.txt\" \"b.txt\""));
    EXPECT_EQ(echo("$msfile(pick)"), "[2]");
    EXPECT_EQ(echo("$msfile(1) $msfile(2)"), "[" + pick + "a.txt " + pick + "b.txt]");
    EXPECT_EQ(echo("$msfile(3)"), "[]");
    EXPECT_EQ(echo("$msfile(0)"), "[]");
    // A cancelled selection answers 0 and keeps the last list.
    when_dialog_opens([](QFileDialog* d) { d->reject(); });
    EXPECT_EQ(echo("$msfile(pick)"), "[0]");
    EXPECT_EQ(echo("$msfile(2)"), "[" + pick + "b.txt]");

    // No dialog opens for a call with too many arguments: the line stops
    // with the identifier's error.
    bool opened_one = false;
    QTimer* watch = when_dialog_opens([&](QFileDialog* d) {
        opened_one = true;
        d->reject();
    });
    for (const char* bad : {"sfile", "msfile", "sdir"}) {
        SCOPED_TRACE(bad);
        const std::vector<std::string> shown = type(std::string("//echo -s $") + bad + "(a, b, c, d) $+ .");
        EXPECT_TRUE(has_line(shown, std::string("* Geçersiz parametre: $") + bad)) << ::testing::PrintToString(shown);
    }
    QTest::qWait(50);
    EXPECT_FALSE(opened_one);
    if (!opened_one)
        delete watch;
}

// ---- $getdir ----

TEST_F(StoreDialogs, GetdirFollowsTheFileTypeRules)
{
    const std::string sdir = dir.string() + "/";
    // No rules and no download folder yet.
    EXPECT_EQ(echo("$getdir"), "[" + sdir + "downloads/]");
    fs::create_directories(dir / "download");
    EXPECT_EQ(echo("$getdir(a.jpg)"), "[" + sdir + "download/]");

    fs::create_directories(dir / "dl");
    fs::create_directories(dir / "pics");
    type("/writeini -n kest.ini extensions n0 defaultEXTDIR:dl");
    type("/writeini -n kest.ini extensions n1 *.jpg,*.gifEXTDIR:picsEXTOPT:1");
    type("/writeini -n kest.ini extensions n2 *.txtEXTDIR:gone");
    type("/writeini -n kest.ini extensions n3 *.jpgEXTDIR:dl");
    const struct {
        const char* expr;
        std::string folder;
    } cases[] = {
        {"$getdir", sdir + "dl/"},
        {"$getdir(photo.JPG)", sdir + "pics/"},        // masks ignore case; the first rule wins
        {"$getdir(/some/where/anim.gif)", sdir + "pics/"},  // the name counts, not its folder
        {"$getdir(notes.txt)", sdir + "dl/"},          // the rule's folder is gone
        {"$getdir(song.mp3)", sdir + "dl/"},           // no rule matches
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expr);
        EXPECT_EQ(echo(c.expr), "[" + c.folder + "]");
    }
}

// ---- /filter with list boxes ----

TEST_F(StoreDialogs, FilterReadsAndFillsListBoxes)
{
    write("fruit.txt", "red apple\ngreen pear\nred cherry\n");
    type("/window -l @list");
    type("/window @text");
    type("/window -l20 @side");
    WindowRecord* list = win_find_by_name("@list", conn);
    WindowRecord* text = win_find_by_name("@text", conn);
    WindowRecord* side = win_find_by_name("@side", conn);
    ASSERT_TRUE(list && text && side);
    auto items = [](WindowRecord* rec) {
        std::vector<std::string> out;
        buffer_list_items(rec, out);
        return out;
    };
    auto text_lines = [](WindowRecord* rec) {
        std::vector<std::string> out;
        for (const StringNode* n = rec->lines; n; n = n->next)
            out.push_back(n->text);
        return out;
    };

    // A list window is always filled through its list box.
    type("/filter -fwn fruit.txt @list red*");
    EXPECT_EQ(items(list), (std::vector<std::string>{"1 red apple", "3 red cherry"}));
    EXPECT_TRUE(text_lines(list).empty());
    // Appended without -c, replaced with it.
    type("/filter -fw fruit.txt @list green*");
    EXPECT_EQ(items(list), (std::vector<std::string>{"1 red apple", "3 red cherry", "green pear"}));
    type("/filter -fwc fruit.txt @list *pear");
    EXPECT_EQ(items(list), (std::vector<std::string>{"green pear"}));

    // A window with a side list: its text unless -L names the list.
    type("/filter -fw fruit.txt @side *cherry");
    EXPECT_EQ(text_lines(side), (std::vector<std::string>{"red cherry"}));
    EXPECT_TRUE(items(side).empty());
    type("/filter -fwL fruit.txt @side *apple");
    EXPECT_EQ(items(side), (std::vector<std::string>{"red apple"}));

    // A list box as the source: the list window whole, the side list with -l.
    type("/filter -fwc fruit.txt @list");
    type("/filter -wwn @list @text *e*r*");
    EXPECT_EQ(text_lines(text), (std::vector<std::string>{"2 green pear", "3 red cherry"}));
    type("/filter -wwcl @side @text");
    EXPECT_EQ(text_lines(text), (std::vector<std::string>{"red apple"}));
    type("/filter -wwc @side @text");
    EXPECT_EQ(text_lines(text), (std::vector<std::string>{"red cherry"}));

    // The same list box as source and target: the kept lines replace it.
    EXPECT_EQ(type("//filter -wwc @list @list red* | echo -s < $+ $filtered $+ >"), std::vector<std::string>{"<2>"});
    EXPECT_EQ(items(list), (std::vector<std::string>{"red apple", "red cherry"}));
    EXPECT_EQ(type("//filter -fw fruit.txt @list zzz | echo -s < $+ $filtered $+ >"), std::vector<std::string>{"<0>"});
    EXPECT_EQ(items(list), (std::vector<std::string>{"red apple", "red cherry"}));

    // Items keep their colour with -z; without it they take the list's own.
    type("/window -l @col");
    type("/aline 4 @col red one");
    type("/aline @col plain");
    auto colours = [](WindowRecord* rec) {
        std::vector<std::string> t;
        std::vector<int> c;
        buffer_list_items(rec, t, &c);
        return c;
    };
    const std::vector<int> own = colours(win_find_by_name("@col", conn));
    ASSERT_EQ(own.size(), 2u);
    EXPECT_EQ(own[0], 4);
    type("/filter -wwcz @col @list");
    EXPECT_EQ(colours(list), own);
    type("/filter -wwc @col @list");
    EXPECT_EQ(colours(list), (std::vector<int>{own[1], own[1]}));

    // A script dialog control names a dialog, and none is open.
    const std::vector<std::string> shown = type("/filter -io mydialog 4 @list");
    EXPECT_TRUE(has_line(shown, "* /filter: Geçersiz pencere")) << ::testing::PrintToString(shown);
}

// ---- The Play Center ----

TEST_F(StoreDialogs, PlayCenterShowsAndChangesTheQueue)
{
    write("a.txt", "a1\na2\na3\n");
    write("b.txt", "b1\nb2\n");
    EXPECT_TRUE(type("/playctrl").empty());
    QWidget* center = play_center();
    ASSERT_TRUE(center);
    EXPECT_TRUE(center->isVisible());
    EXPECT_EQ(center->windowTitle().toStdString(), "Play (Çalıştır) Merkezi");
    auto* list = center->findChild<QListWidget*>("101");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->count(), 0);
    auto button = [&](int id) { return center->findChild<QPushButton*>(QString::number(id)); };
    for (int id : {102, 103, 104, 105, 106, 107, 108, 1})
        ASSERT_TRUE(button(id)) << id;
    auto click = [&](int id) {
        QTest::mouseClick(button(id), Qt::LeftButton);
        window_test_pump();
    };
    auto select = [&](std::vector<int> rows) {
        list->clearSelection();
        for (int r : rows)
            list->item(r)->setSelected(true);
    };

    // Slow requests: nothing ticks while the test runs.
    type("/play #one a.txt 8900");
    type("/play #two b.txt 60000");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text().toStdString(), "#one\n0/3 satırlar, 8900ms, a.txt");
    EXPECT_EQ(list->item(1)->text().toStdString(), "#two\n0/2 satırlar, 60000ms, b.txt");
    // Nothing selected: the buttons that need a selection are off.
    for (int id : {103, 104, 106, 107, 108})
        EXPECT_FALSE(button(id)->isEnabled()) << id;

    click(102);
    EXPECT_EQ(button(102)->text().toStdString(), "Devam Et");
    EXPECT_EQ(echo("$play(1).status $play(2).status"), "[paused paused]");
    click(102);
    EXPECT_EQ(button(102)->text().toStdString(), "Durdur");
    EXPECT_EQ(echo("$play(1).status $play(2).status"), "[playing queued]");

    // Re-timing holds the delay within 0..9000.
    select({0, 1});
    EXPECT_FALSE(button(107)->isEnabled());
    EXPECT_TRUE(button(103)->isEnabled());
    click(103);
    EXPECT_EQ(echo("$play(1).delay $play(2).delay"), "[9000 9000]");
    click(103);
    EXPECT_EQ(echo("$play(1).delay $play(2).delay"), "[9000 9000]");
    select({1});
    click(104);
    EXPECT_EQ(echo("$play(1).delay $play(2).delay"), "[9000 8900]");

    // The first request cannot move up.
    select({0});
    click(107);
    EXPECT_EQ(echo("$play(1) $play(2)"), "[#one #two]");

    // Moving the second up stops the first, which waits; moving it down
    // again lets the first go on.
    select({1});
    int from = strlist_count(status->lines);
    click(107);
    EXPECT_EQ(echo("$play(1) $play(2) $play(1).status"), "[#two #one playing]");
    std::vector<std::string> said;
    int i = 0;
    for (const StringNode* n = status->lines; n; n = n->next, ++i)
        if (i >= from)
            said.push_back(n->text);
    EXPECT_TRUE(has_line(said, "* Oynatma isteği durduruluyor...")) << ::testing::PrintToString(said);
    ASSERT_EQ(list->selectedItems().size(), 1);
    EXPECT_EQ(list->row(list->selectedItems().front()), 0);
    from = strlist_count(status->lines);
    click(108);
    EXPECT_EQ(echo("$play(1) $play(2)"), "[#one #two]");
    said.clear();
    i = 0;
    for (const StringNode* n = status->lines; n; n = n->next, ++i)
        if (i >= from)
            said.push_back(n->text);
    EXPECT_TRUE(has_line(said, "* 'a.txt' devam ediyor #one ile 9000ms geciktir")) << ::testing::PrintToString(said);

    // Removing the playing request lets the next one play.
    select({0});
    click(106);
    EXPECT_EQ(echo("$play(0) $play(1) $play(1).status"), "[1 #two playing]");
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text().toStdString(), "#two\n0/2 satırlar, 8900ms, b.txt");

    // The selection stays with its request when the one before it ends.
    write("one.txt", "only\n");
    type("/play -p #fast one.txt 300");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(echo("$play(1)"), "[#fast]");
    select({1});
    ASSERT_TRUE(QTest::qWaitFor([&] { return play_queue_length(conn) == 1; }, 30000));
    ASSERT_EQ(list->count(), 1);
    EXPECT_TRUE(list->item(0)->isSelected());

    // Closing keeps the place; /play alone opens it again.
    click(1);
    window_test_pump();
    EXPECT_FALSE(play_center() && play_center()->isVisible());
    std::string place;
    ini_read("windows", "playctrl", "", place, 256, main_ini_path);
    EXPECT_FALSE(place.empty());
    type("/play");
    ASSERT_TRUE(play_center());
    EXPECT_TRUE(play_center()->isVisible());
    EXPECT_EQ(play_center()->findChild<QListWidget*>("101")->count(), 1);
}

}  // namespace

namespace {

QWidget* top_level(const char* name)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible())
            return w;
    return nullptr;
}

// Add Play, opened from the Play Center, composes a /play command from its
// form, remembers the named preset and the file, and refuses a form that
// lacks what the method needs.
TEST_F(StoreDialogs, AddPlayComposesAndRemembersARequest)
{
    write("a.txt", "a1\na2\na3\n");
    write("topics.txt", "[greet]\nhi\n[bye]\nbye\n");
    type("/playctrl");
    QWidget* center = play_center();
    ASSERT_TRUE(center);
    QTest::mouseClick(center->findChild<QPushButton*>("105"), Qt::LeftButton);
    window_test_pump();
    QWidget* add = top_level("play_add");
    ASSERT_TRUE(add);
    EXPECT_EQ(add->windowTitle().toStdString(), "Play (Çalıştır) Ekle");
    auto* preset = add->findChild<QComboBox*>("101");
    auto* file = add->findChild<QComboBox*>("108");
    auto* browse = add->findChild<QPushButton*>("107");
    auto* method = add->findChild<QComboBox*>("103");
    auto* field = add->findChild<QComboBox*>("104");
    auto* target = add->findChild<QComboBox*>("106");
    auto* delay = add->findChild<QComboBox*>("105");
    auto* hidden = add->findChild<QCheckBox*>("111");
    ASSERT_TRUE(preset && file && browse && method && field && target && delay && hidden);
    EXPECT_EQ(method->currentText().toStdString(), "Dosya");
    EXPECT_EQ(target->currentText().toStdString(), "Active Window");
    EXPECT_EQ(delay->currentText().toStdString(), "1000");
    auto choices = [&] {
        std::vector<std::string> out;
        for (int i = 0; i < field->count(); ++i)
            out.push_back(field->itemText(i).toStdString());
        return out;
    };

    // The field offers what the method can use of the file.
    file->setEditText("a.txt");
    EXPECT_EQ(choices(), (std::vector<std::string>{"1", "3"}));
    method->setCurrentIndex(1);
    EXPECT_EQ(choices(), (std::vector<std::string>{"Rastgele", "1", "3"}));
    file->setEditText("topics.txt");
    method->setCurrentIndex(2);
    EXPECT_EQ(choices(), (std::vector<std::string>{"greet", "bye"}));
    method->setCurrentIndex(3);
    EXPECT_FALSE(file->isEnabled());
    EXPECT_FALSE(browse->isEnabled());
    EXPECT_FALSE(field->isEnabled());
    method->setCurrentIndex(0);
    EXPECT_TRUE(file->isEnabled() && browse->isEnabled() && field->isEnabled());

    // A form without a file is refused and stays open.
    file->setEditText("");
    QTest::mouseClick(add->findChild<QPushButton*>("1"), Qt::LeftButton);
    window_test_pump();
    EXPECT_EQ(top_level("play_add"), add);
    EXPECT_EQ(echo("$play(0)"), "[0]");

    // A named, hidden play from line 2 with too short a delay.
    preset->setEditText("mine");
    file->setEditText("a.txt");
    field->setEditText("2");
    target->setEditText("#one extra");
    delay->setEditText("10");
    hidden->setChecked(true);
    const int from = strlist_count(status->lines);
    QTest::mouseClick(add->findChild<QPushButton*>("1"), Qt::LeftButton);
    window_test_pump();
    EXPECT_EQ(top_level("play_add"), nullptr);
    EXPECT_EQ(echo("$play(1) $play(1).delay $play(1).lines $play(1).fname"),
              "[#one 50 2 " + dir.string() + "/a.txt]");
    // Hidden: the start was not announced.
    EXPECT_EQ(strlist_count(status->lines), from + 1);
    std::string saved, history;
    ini_read("play", "n0", "", saved, 4150, main_ini_path);
    ini_read("playfile", "n0", "", history, 4150, main_ini_path);
    EXPECT_EQ(saved, "mine,\"a.txt\",0,2,#one,50,0,1");
    EXPECT_EQ(history, "a.txt");

    // Opened again: the preset, the file and the hidden choice are back.
    QTest::mouseClick(center->findChild<QPushButton*>("105"), Qt::LeftButton);
    window_test_pump();
    add = top_level("play_add");
    ASSERT_TRUE(add);
    preset = add->findChild<QComboBox*>("101");
    ASSERT_EQ(preset->count(), 1);
    EXPECT_EQ(add->findChild<QComboBox*>("108")->itemText(0).toStdString(), "a.txt");
    EXPECT_TRUE(add->findChild<QCheckBox*>("111")->isChecked());
    preset->setCurrentIndex(0);
    emit preset->activated(0);
    EXPECT_EQ(add->findChild<QComboBox*>("104")->currentText().toStdString(), "2");
    EXPECT_EQ(add->findChild<QComboBox*>("106")->currentText().toStdString(), "#one");
    EXPECT_EQ(add->findChild<QComboBox*>("105")->currentText().toStdString(), "50");
    // The Active Window target of a status window plays there.
    add->findChild<QComboBox*>("106")->setCurrentIndex(0);
    add->findChild<QCheckBox*>("111")->setChecked(false);
    QTest::mouseClick(add->findChild<QPushButton*>("1"), Qt::LeftButton);
    window_test_pump();
    EXPECT_EQ(echo("$play(0) $play(2) $play(2).lines"), "[2 Status Window 2]");

    // Deleting the preset empties the section.
    QTest::mouseClick(center->findChild<QPushButton*>("105"), Qt::LeftButton);
    window_test_pump();
    add = top_level("play_add");
    ASSERT_TRUE(add);
    add->findChild<QComboBox*>("101")->setCurrentIndex(0);
    QTest::mouseClick(add->findChild<QPushButton*>("109"), Qt::LeftButton);
    EXPECT_EQ(add->findChild<QComboBox*>("101")->count(), 0);
    ini_read("play", "n0", "", saved, 4150, main_ini_path);
    EXPECT_EQ(saved, "");
    QTest::mouseClick(add->findChild<QPushButton*>("2"), Qt::LeftButton);
    window_test_pump();
    EXPECT_EQ(top_level("play_add"), nullptr);

    // A file whose name holds commas keeps them in the history, first.
    write("b,c,d.txt", "b1\nb2\n");
    QTest::mouseClick(center->findChild<QPushButton*>("105"), Qt::LeftButton);
    window_test_pump();
    add = top_level("play_add");
    ASSERT_TRUE(add);
    add->findChild<QComboBox*>("108")->setEditText("b,c,d.txt");
    add->findChild<QComboBox*>("104")->setEditText("1");
    add->findChild<QComboBox*>("106")->setCurrentIndex(0);
    QTest::mouseClick(add->findChild<QPushButton*>("1"), Qt::LeftButton);
    window_test_pump();
    ini_read("playfile", "n0", "", history, 4150, main_ini_path);
    EXPECT_EQ(history, "b,c,d.txt");
    ini_read("playfile", "n1", "", history, 4150, main_ini_path);
    EXPECT_EQ(history, "a.txt");
}

}  // namespace
