// Menu items and commands: the window menu's nick list, editbox, font and
// background dialogs, and the items whose target nothing on the system
// opens answer the user instead of doing nothing: Help's contents and
// search, the received-files folder; /abook and /uwho without a nick open
// the address book.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenu>
#include <QDialog>
#include <QTest>
#include <QListWidget>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "model/connection.h"
#include "app/editbox_options_dialog.h"
#include "app/file_dialogs.h"
#include "app/frame_menu.h"
#include "app/frame_proc.h"
#include "app/mdi_arrange.h"
#include "app/startup.h"
#include "app/subsystems.h"
#include "app/system_menu.h"
#include "app/window_options.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "display/backgrounds.h"
#include "display/fonts.h"
#include "display/nick_list.h"
#include "display/editbox.h"
#include "platform/app_messages.h"
#include "platform/platform_utils.h"
#include "support/hook_guard.h"
#include "tools/address_book_dialog.h"
#include "support/test_support.h"
#include "support/window_fixture.h"

namespace {

int beeps = 0;
std::vector<std::string> opened;

std::vector<std::string> lines_of(const WindowRecord* rec)
{
    std::vector<std::string> out;
    for (const StringNode* n = rec ? rec->lines : nullptr; n; n = n->next)
        out.push_back(n->text);
    return out;
}

class MenuItemAnswers : public ::testing::Test {
protected:
    HookGuard guard;
    TempSettingsDir settings{"kest_answers"};
    QPointer<QMainWindow> saved_frame;
    Connection* conn = nullptr;
    WindowRecord* chan = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(settings.made());
        window_test_reset();
        app_install_subsystems();
        app_messages_set_frame(nullptr);
        frame_proc_install();
        frame_menu_install();
        QMdiArea* mdi = window_test_mdi();
        saved_frame = frame_window;
        frame_window = qobject_cast<QMainWindow*>(mdi->window());
        ASSERT_TRUE(frame_window);
        frame_window->showNormal();
        ASSERT_EQ(frame_menu_build(), 1);
        beeps = 0;
        beep_play_hook = [](int) { ++beeps; };
        opened.clear();
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        chan = window_test_open("#here", kWinChannel, 0, conn);
        ASSERT_TRUE(chan);
        win_activate(chan->hwnd, 0);
        window_test_pump();
    }
    void TearDown() override
    {
        frame_menus_destroy();
        if (frame_window)
            frame_window->menuBar()->clear();
        window_test_reset();
        frame_window = saved_frame;
    }
    std::string last_line() const
    {
        const std::vector<std::string> l = lines_of(chan);
        return l.empty() ? std::string() : l.back();
    }
    // Picks an item of the channel's window menu.
    void pick_window_item(int id)
    {
        QMenu* menu = win_system_menu(chan);
        ASSERT_TRUE(menu);
        QAction* found = nullptr;
        for (QAction* a : menu->actions())
            if (win_sysmenu_action_id(a) == id)
                found = a;
        ASSERT_TRUE(found) << id;
        found->trigger();
        window_test_pump();
    }
    void pick_frame_item(int id)
    {
        QAction* a = frame_menu_action(id);
        ASSERT_TRUE(a) << id;
        a->trigger();
        window_test_pump();
    }
    void type(const std::string& text)
    {
        chan->editbox->setTextBytes(text);
        editbox_submit(chan, chan->editbox.get(), kSubmitNormal | kSubmitAlways, 0);
        window_test_pump();
    }
};

// The window menu's nick list item opens the nick list's options for the
// channel: OK stores the choice as the channel's own key, as everyone's
// default, or puts the defaults back; the list moves at once. Cancel and
// the other channel are left alone.
TEST_F(MenuItemAnswers, TheWindowMenuNickListItemSetsTheChannelsList)
{
    WindowRecord* other = window_test_open("#there", kWinChannel, 0, conn);
    ASSERT_TRUE(other);
    win_activate(chan->hwnd, 0);
    window_test_pump();
    ini_write("nicklist", "#there", "right,70,0,0", main_ini_path);
    const NicklistDefaults kept = nicklist_defaults;
    struct Case {
        int side;  // combo index: default, right, left, hidden
        bool auto_hide, shift_tab, reset, use, all, cancel;
        const char* key;     // the channel's key afterwards
        int default_side;    // the defaults' side afterwards
        int place;           // the window's side afterwards
    } cases[] = {
        {2, true, false, false, false, false, false, "left,0,1,0", 0, 1},
        {3, false, true, false, false, false, false, "off,0,0,1", 0, 2},
        {1, false, false, false, false, false, true, "off,0,0,1", 0, 2},  // cancelled
        {2, false, false, false, true, false, false, "", 0, 0},           // the defaults again
        {2, false, false, false, false, true, false, "", 1, 1},           // left for all
        {1, false, false, true, false, false, false, "", 0, 0},           // defaults reset
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        bool shown = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!d || d->objectName() != "nicklist_options")
                return;
            shown = true;
            d->findChild<QComboBox*>("110")->setCurrentIndex(c.side);
            d->findChild<QCheckBox*>("111")->setChecked(c.auto_hide);
            d->findChild<QCheckBox*>("115")->setChecked(c.shift_tab);
            d->findChild<QCheckBox*>("112")->setChecked(c.reset);
            d->findChild<QCheckBox*>("113")->setChecked(c.use);
            d->findChild<QCheckBox*>("114")->setChecked(c.all);
            if (c.cancel)
                d->reject();
            else
                d->accept();
        });
        pick_window_item(274);
        EXPECT_TRUE(shown);
        std::string key;
        ini_read("nicklist", "#here", "", key, 1024, main_ini_path);
        EXPECT_EQ(key, c.key);
        EXPECT_EQ(nicklist_defaults.side, c.default_side);
        EXPECT_EQ(chan->nicklist_place, c.place);
        ini_read("nicklist", "#there", "", key, 1024, main_ini_path);
        EXPECT_EQ(key, "right,70,0,0");
        EXPECT_EQ(other->nicklist_place, 0);
    }
    // Opened again, the dialog shows the side now stored.
    ini_write("nicklist", "#here", "left,0,1,1", main_ini_path);
    int shown_side = -1;
    bool auto_on = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!d)
            return;
        shown_side = d->findChild<QComboBox*>("110")->currentIndex();
        auto_on = d->findChild<QCheckBox*>("111")->isChecked();
        d->reject();
    });
    pick_window_item(274);
    EXPECT_EQ(shown_side, 2);
    EXPECT_TRUE(auto_on);
    nicklist_defaults = kept;
}

// The window menu's background item opens the picture dialog with its
// preview: a cancel leaves the window bare, a chosen picture shows.
TEST_F(MenuItemAnswers, TheWindowMenuBackgroundItemChoosesAPictureWithAPreview)
{
    QImage img(8, 8, QImage::Format_RGB32);
    img.fill(Qt::blue);
    const std::string pic = settings.path() + "back.png";
    ASSERT_TRUE(img.save(QString::fromStdString(pic)));
    filedlg_state().remembered_folder = settings.path();
    for (const bool choose : {false, true}) {
        SCOPED_TRACE(choose);
        bool previewed = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!d)
                return;
            auto* preview = d->findChild<QLabel*>("139");
            if (preview) {
                emit d->currentChanged(QString::fromStdString(pic));
                previewed = !preview->pixmap().isNull();
            }
            if (!choose) {
                d->reject();
                return;
            }
            if (auto* name = d->findChild<QLineEdit*>("fileNameEdit")) {
                d->activateWindow();
                name->setFocus();
                name->setText("back.png");
            }
            static_cast<QDialog*>(d)->accept();
        });
        // The item sits in the background submenu; its command is the same.
        EXPECT_EQ(menu_sys_command(chan->hwnd.get(), 266), 1);
        window_test_pump();
        EXPECT_TRUE(previewed);
        EXPECT_EQ(filedlg_state().chosen_name, choose ? "back.png" : "");
        EXPECT_EQ(bg_file(chan), choose ? pic : "");
        // The cancel forgot the folder; the next dialog is put back there.
        filedlg_state().remembered_folder = settings.path();
    }
}

// The window menu's editbox item opens the second input box's options for
// the channel: OK stores them as the channel's own key, as everyone's
// default (every channel follows at once), or goes back to the default;
// the boxes change at once. Cancel and the other channel are left alone.
TEST_F(MenuItemAnswers, TheWindowMenuEditboxItemSetsTheChannelsSecondBox)
{
    WindowRecord* other = window_test_open("#there", kWinChannel, 0, conn);
    ASSERT_TRUE(other);
    win_activate(chan->hwnd, 0);
    window_test_pump();
    struct Case {
        const char* what;
        bool enabled;
        int show;  // combo index: "Always", "When mode"
        const char* chars;
        const char* command;
        bool show_command, set_default, use_default, cancel;
        const char* key;      // [editbox] #here afterwards
        const char* def;      // [editbox] default afterwards
        bool here_box, there_box;
        const char* here_command;
    } cases[] = {
        {"own key", true, 0, "@", "say", true, false, false, false, "1,0,\"@\",\"say\",1", "", true, false,
         "say"},
        {"cancelled", false, 1, "+", "me", false, false, false, true, "1,0,\"@\",\"say\",1", "", true, false,
         "say"},
        // Not an operator there: a box shown "When mode" is not made.
        {"cleaned, when mode", true, 1, " @, \"%  ", "\"me  \x02x\x03" "4,5y\" ", false, false, false, false,
         "1,1,\"@ %\",\"me xy\",0", "", false, false, "me xy"},
        {"everyone's default", true, 0, "@", "msg", false, true, false, false, "", "1,0,\"@\",\"msg\",0", true,
         true, "msg"},
        {"own key off", false, 0, "@", "say", false, false, false, false, "0,0,\"@\",\"say\",0",
         "1,0,\"@\",\"msg\",0", false, true, "say"},
        {"the default again", false, 0, "@", "x", false, false, true, false, "", "1,0,\"@\",\"msg\",0", true, true,
         "msg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bool shown = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!d || d->objectName() != "editbox_options")
                return;
            shown = true;
            d->findChild<QCheckBox*>("101")->setChecked(c.enabled);
            auto* show = d->findChild<QComboBox*>("102");
            show->setCurrentIndex(c.show);
            emit show->activated(c.show);
            auto* chars = d->findChild<QLineEdit*>("103");
            EXPECT_EQ(chars->isEnabled(), c.show == 1);
            chars->setText(QString::fromUtf8(c.chars));
            d->findChild<QLineEdit*>("104")->setText(QString::fromUtf8(c.command));
            d->findChild<QCheckBox*>("105")->setChecked(c.show_command);
            d->findChild<QCheckBox*>("106")->setChecked(c.set_default);
            d->findChild<QCheckBox*>("107")->setChecked(c.use_default);
            if (c.cancel)
                d->reject();
            else
                d->accept();
        });
        pick_window_item(275);
        EXPECT_TRUE(shown);
        std::string key;
        ini_read("editbox", "#here", "", key, 1024, main_ini_path);
        EXPECT_EQ(key, c.key);
        ini_read("editbox", "default", "", key, 1024, main_ini_path);
        EXPECT_EQ(key, c.def);
        ini_read("editbox", "#there", "", key, 1024, main_ini_path);
        EXPECT_EQ(key, "");
        EXPECT_EQ(chan->editbox2.get() != nullptr, c.here_box);
        EXPECT_EQ(other->editbox2.get() != nullptr, c.there_box);
        EXPECT_EQ(chan->editbox2_command, c.here_command);
    }
    // Opened again, the dialog shows the stored values; a show mode outside
    // 0..1 shows as "Always" with the mode characters greyed.
    for (const int stored : {1, 5}) {
        SCOPED_TRACE(stored);
        const std::string value = "1," + std::to_string(stored) + ",\"%\",\"notice\",1";
        ini_write("editbox", "#here", value.c_str(), main_ini_path);
        editbox_load_settings(chan);
        int shown_mode = -1;
        bool chars_on = true, enabled = false, show_command = false;
        QString chars, command;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!d)
                return;
            enabled = d->findChild<QCheckBox*>("101")->isChecked();
            shown_mode = d->findChild<QComboBox*>("102")->currentIndex();
            chars_on = d->findChild<QLineEdit*>("103")->isEnabled();
            chars = d->findChild<QLineEdit*>("103")->text();
            command = d->findChild<QLineEdit*>("104")->text();
            show_command = d->findChild<QCheckBox*>("105")->isChecked();
            d->reject();
        });
        pick_window_item(275);
        EXPECT_TRUE(enabled);
        EXPECT_EQ(shown_mode, stored == 1 ? 1 : 0);
        EXPECT_EQ(chars_on, stored == 1);
        EXPECT_EQ(chars, "%");
        EXPECT_EQ(command, "notice");
        EXPECT_TRUE(show_command);
        std::string key;
        ini_read("editbox", "#here", "", key, 1024, main_ini_path);
        EXPECT_EQ(key, value);
    }
    // Anything but a channel window beeps and shows nothing.
    WindowRecord* query = window_test_open("someone", kWinQuery, kQueryPrivate, conn);
    ASSERT_TRUE(query);
    const int before = beeps;
    bool any = false;
    QTimer::singleShot(0, [&] {
        if (QWidget* d = QApplication::activeModalWidget()) {
            any = true;
            static_cast<QDialog*>(d)->reject();
        }
    });
    EXPECT_EQ(editbox_options_dlg(query), 0);
    window_test_pump();
    EXPECT_EQ(beeps, before + 1);
    EXPECT_FALSE(any);
}

// The mode characters and the command lose formatting codes, quotes (the
// mode characters commas too), blanks at the ends and runs of blanks.
TEST(EditboxOptionsText, ModeCharactersAndCommandAreCleaned)
{
    const struct {
        const char* in;
        const char* chars;
        const char* command;
    } cases[] = {
        {"", "", ""},
        {"@", "@", "@"},
        {"a,b", "ab", "a,b"},
        {"\"say\"", "say", "say"},
        {"  msg   #x  ", "msg #x", "msg #x"},
        {"\x02" "b\x1fu\x16r\x0fo", "buro", "buro"},
        {"\x03" "12,4red\x03", "red", "red"},
        {"@ , %", "@ %", "@ , %"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(editbox_clean_mode_chars(c.in), c.chars);
        EXPECT_EQ(editbox_clean_command(c.in), c.command);
    }
}

// The window menu's font item opens the font chooser for that window; OK
// applies the font and stores it for the channel, or as the default of
// channels; Cancel changes nothing.
TEST_F(MenuItemAnswers, TheWindowMenuFontItemChoosesTheChannelsFont)
{
    const struct {
        const char* what;
        bool ok;
        bool make_default;
        int encoding;
        const char* key;      // the key written, "" none
        const char* other;    // a key that must stay empty
    } cases[] = {
        {"cancelled", false, false, 0, "", "f#here"},
        {"this channel", true, false, 1, "f#here", "fchannel"},
        {"the channels' default", true, true, 2, "fchannel", "f#here"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ini_remove_section(main_ini_path, "[fonts]");
        QString title;
        QTimer answer;
        answer.setInterval(10);
        QObject::connect(&answer, &QTimer::timeout, &answer, [&] {
            auto* fd = qobject_cast<QFontDialog*>(QApplication::activeModalWidget());
            if (!fd || !fd->isVisible())
                return;
            answer.stop();
            title = fd->windowTitle();
            QFont f(QStringLiteral("DejaVu Sans Mono"));
            f.setPointSize(15);
            fd->setCurrentFont(f);
            if (auto* box = qobject_cast<QCheckBox*>(dlg_item(fd, 102)))
                box->setChecked(c.make_default);
            if (auto* combo = qobject_cast<QComboBox*>(dlg_item(fd, 105)))
                combo->setCurrentIndex(c.encoding);
            if (c.ok)
                fd->accept();
            else
                fd->reject();
        });
        answer.start();
        const std::string face_before = chan->font_face;
        pick_window_item(258);
        answer.stop();
        EXPECT_EQ(title.toStdString(), "Yazı Karakteri (Font) Ayarları (/font)");
        std::string value, other;
        ini_read("fonts", c.other, "", other, 1024, main_ini_path);
        EXPECT_EQ(other, "");
        if (!c.ok) {
            EXPECT_EQ(chan->font_face, face_before);
            continue;
        }
        const int pixels = (15 * font_logpixelsy() + 36) / 72;
        ini_read("fonts", c.key, "", value, 1024, main_ini_path);
        EXPECT_EQ(value.rfind("DejaVu Sans Mono," + std::to_string(400 + pixels) + ",", 0), 0u) << value;
        EXPECT_EQ(value.back(), static_cast<char>('0' + c.encoding)) << value;
        EXPECT_EQ(chan->font_face, "DejaVu Sans Mono");
        EXPECT_EQ(chan->font_size, pixels);
        EXPECT_EQ(chan->font_encoding, c.encoding);
    }
}

// Help and the received-files folder go to the desktop's opener; when
// nothing opens them the user is told what is missing, and when something
// does nothing is said.
TEST_F(MenuItemAnswers, HelpAndReceivedFilesSayWhatIsMissingWhenNothingOpensThem)
{
    const std::string help = settings_dir + "kest.chm";
    {
        std::ofstream out(help);
        out << "help";
    }
    for (int works = 0; works < 2; ++works) {
        SCOPED_TRACE(works ? "an opener is set" : "no opener");
        if (works)
            desktop_open_hook = [](const std::string& t) {
                opened.push_back(t);
                return 1;
            };
        else
            desktop_open_hook = [](const std::string& t) {
                opened.push_back(t);
                return 0;
            };
        const struct {
            int id;
            const char* tail;
        } cases[] = {{190, ": no web browser is set"}, {191, ": no web browser is set"},
                     {154, ": no file manager is set"}};
        for (const auto& c : cases) {
            SCOPED_TRACE(c.id);
            opened.clear();
            const std::size_t count = lines_of(chan).size();
            pick_frame_item(c.id);
            ASSERT_EQ(opened.size(), 1u) << "the desktop is asked once";
            if (c.id != 154) {
                EXPECT_EQ(opened[0], help);
            }
            if (works) {
                EXPECT_EQ(lines_of(chan).size(), count);
            } else {
                EXPECT_EQ(last_line(), "* Cannot open " + opened[0] + c.tail);
            }
        }
    }
}

TEST_F(MenuItemAnswers, AbookAndUwhoWithoutANickOpenTheAddressBookAtTheirPage)
{
    const struct {
        const char* typed;
        int page;            // the page list's row
        const char* nick;    // the contact or the nick asked about
    } cases[] = {
        {"/abook", kAbookContacts, ""},
        {"/abook -w bob", kAbookWhois, "bob"},
        {"/uwho", kAbookWhois, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        int page = -1;
        std::string nick = "<none>";
        std::function<void()> look = [&] {
            QDialog* d = abook_dialog();
            if (!d || !d->isVisible()) { QTimer::singleShot(10, look); return; }
            if (auto* pages = qobject_cast<QListWidget*>(dlg_item(d, 101))) page = pages->currentRow();
            const int id = c.page == kAbookWhois ? 151 : 122;
            if (auto* e = qobject_cast<QLineEdit*>(dlg_item(d, id))) nick = e->text().toStdString();
            else if (auto* box = qobject_cast<QComboBox*>(dlg_item(d, id))) nick = box->currentText().toStdString();
            d->reject();
        };
        QTimer::singleShot(0, look);
        type(c.typed);
        for (int i = 0; i < 100 && page < 0; ++i) QTest::qWait(10);
        EXPECT_EQ(page, c.page);
        EXPECT_EQ(nick, c.nick);
        for (const WindowRecord* rec : {chan, win_record_of(conn->status_window.data())})
            for (const std::string& l : lines_of(rec))
                EXPECT_EQ(l.find("not available yet"), std::string::npos) << l;
    }
}

}  // namespace
