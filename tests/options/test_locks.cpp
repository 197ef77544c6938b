// The lock options: what is read back from the private store, the join
// gate, the password dialogs on their real widgets, the running lock, the
// Lock page of the options dialog, and what scripts see of it ($lock(,
// $locked, $decode refused while locked, /join refused with its text).
#include <gtest/gtest.h>

#define KEST_TEST_WIDGETS
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

#include "app/frame_proc.h"
#include "app/subsystems.h"
#include "commands/channel_commands.h"
#include "commands/file_commands.h"
#include "extensions/dll_calls.h"
#include "core/encoding_idents.h"
#include "core/numbered_texts.h"
#include "core/private_store.h"
#include "display/editbox.h"
#include "extensions/script_fixture.h"
#include "irc/dispatch/server_commands.h"
#include "options/dialog_opener.h"
#include "options/locks.h"
#include "options/options_page.h"
#include "platform/platform_test_env.h"
#include "platform/platform_utils.h"

namespace {

int beeps = 0;

// Answers the next modal dialog with `answer` (which may leave it open);
// an answered dialog still open is cancelled. True when a dialog came up.
bool with_dialog(std::function<void(QDialog*)> answer, std::function<void()> run)
{
    bool seen = false;
    QObject guard;   // the polls end with the call
    std::function<void()> poll;
    poll = [&] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!d) {
            QTimer::singleShot(5, &guard, poll);
            return;
        }
        seen = true;
        answer(d);
        if (d->isVisible())
            d->reject();
    };
    QTimer::singleShot(0, &guard, poll);
    run();
    return seen;
}

void type(QDialog* d, int id, const std::string& text)
{
    auto* e = qobject_cast<QLineEdit*>(dlg_item(d, id));
    ASSERT_TRUE(e) << id;
    e->setFocus();
    e->setText(QString::fromStdString(text));
}

void click(QWidget* d, int id)
{
    auto* b = qobject_cast<QAbstractButton*>(dlg_item(d, id));
    ASSERT_TRUE(b) << id;
    b->click();
}

class Locks : public ext_test::ScriptTest {
protected:
    SavedValues<LockOptions, RunningLock> saved{lock_options, lock_running};

    void SetUp() override
    {
        ext_test::ScriptTest::SetUp();
        platform_test_app();
        beeps = 0;
        beep_play_hook = [](int) { ++beeps; };
        lock_options = LockOptions();
        lock_running = RunningLock();
        channel_commands_register();
        file_commands_register();
        dll_calls_install();
        app_wire_locks();
    }
    void TearDown() override
    {
        locks_uninstall();
        ext_test::ScriptTest::TearDown();
    }
};

// ---- Reading and writing the private values ----

TEST_F(Locks, StoredValuesLoadWithOldBitsConvertedAndBadFormsIgnored)
{
    const struct {
        const char* stored;
        std::uint32_t digest;
        int flags;
    } cases[] = {
        {"123,4", 123, 4},
        {"4294967295,2", 4294967295u, 2},
        {"123", 0, 0},            // no comma
        {"123,", 0, 0},           // nothing after the comma
        {"7,64", 7, 7680},        // every command lock
        {"7,128", 7, 2048},       // the DLL lock
        {"7,192", 7, 7680},
        {"7,65", 7, 7681},        // other bits stay
        {"0,8192", 0, 8192},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(private_value_set("LockOptions", c.stored), 1);
        lock_options_read();
        EXPECT_EQ(lock_options.digest, c.digest) << c.stored;
        EXPECT_EQ(lock_options.flags, c.flags) << c.stored;
    }
}

TEST_F(Locks, StoredChannelsLoadWithoutSpacesAndSecondWords)
{
    const struct {
        const char* stored;
        std::vector<std::string> channels;
    } cases[] = {
        {"#a,#b", {"#a", "#b"}},
        {"   #a, #b second,,  #c", {"#a", "#b", "#c"}},
        {"#only", {"#only"}},
        {", ,", {}},
        {"#x ", {"#x"}},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(private_value_set("Channels", c.stored), 1);
        lock_options_read();
        EXPECT_EQ(lock_options.channels, c.channels) << c.stored;
    }
}

TEST_F(Locks, SaveThenReadGivesTheSameSettings)
{
    lock_options.digest = lock_password_digest("sır");
    lock_options.flags = kLockChannels | kLockRun | kLockHideTips;
    lock_options.channels = {"#one", "#Two"};
    lock_options_save();
    const LockOptions before = lock_options;
    lock_options = LockOptions();
    lock_options_read();
    EXPECT_EQ(lock_options.digest, before.digest);
    EXPECT_EQ(lock_options.flags, before.flags);
    EXPECT_EQ(lock_options.channels, before.channels);
    // Saving twice changes nothing.
    lock_options_save();
    lock_options_read();
    EXPECT_EQ(lock_options.channels, before.channels);
}

TEST_F(Locks, ChannelTextEndsBeforeTheNameThatWouldPassTheLimit)
{
    // 4,149 characters fit; one more name of any length does not.
    const std::string long_name = "#" + std::string(4148, 'a');
    EXPECT_EQ(lock_channels_text({long_name}).size(), 4149u);
    EXPECT_EQ(lock_channels_text({long_name, "#b"}), long_name);
    const std::string exact = "#" + std::string(4147, 'a');   // 4,148 + ",#" = 4,150
    EXPECT_EQ(lock_channels_text({exact, "#"}), exact + ",#");
    EXPECT_EQ(lock_channels_text({exact, "#b", "#c"}), exact);
}

// ---- The join gate ----

TEST_F(Locks, JoinGateRefusesTheWholeTextWhenOneChannelIsNotListed)
{
    const struct {
        int flags;
        std::vector<std::string> allowed;
        const char* text;
        int result;
    } cases[] = {
        {0, {}, "", 1},                              // no channel limit: everything passes
        {0, {}, "#any,#other", 1},
        {kLockChannels, {"#a", "#B"}, "#a", 1},
        {kLockChannels, {"#a", "#B"}, "JOIN #A,#b", 1},
        {kLockChannels, {"#a", "#B"}, "  join #a key", 1},
        {kLockChannels, {"#a", "#B"}, "#a,#c", 0},  // the first allowed, the second not
        {kLockChannels, {"#a", "#B"}, "JOIN #c\r\n", 0},
        {kLockChannels, {"#a", "#B"}, "#a,, ,#b", 1},
        {kLockChannels, {"#a", "#B"}, "", 0},
        {kLockChannels, {"#a", "#B"}, "   ", 0},
        {kLockChannels, {}, "#a", 0},               // an empty list refuses all
        {kLockChannels, {"#a"}, "#ab", 0},
    };
    for (const auto& c : cases) {
        lock_options.flags = c.flags;
        lock_options.channels = c.allowed;
        beeps = 0;
        EXPECT_EQ(lock_join_allowed(conn, c.text, 2), c.result) << c.text;
        // A beep for a refusal with a text, and never for a pass.
        if (c.result) {
            EXPECT_EQ(beeps, 0) << c.text;
        }
        // The same call again answers the same.
        EXPECT_EQ(lock_join_allowed(conn, c.text, 0), c.result) << c.text;
    }
}

TEST_F(Locks, RefusedJoinCommandPrintsTheLockTextAndSendsNothing)
{
    lock_options.flags = kLockChannels;
    lock_options.channels = {"#ok"};
    ASSERT_TRUE(irc_join_allowed);
    run("/join #blocked");
    const std::string refusal = text_load_string(2224);
    std::vector<std::string> lines = status_lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find(refusal), std::string::npos) << lines.back();
    const std::size_t count = lines.size();
    // An allowed channel prints no refusal.
    run("/join #ok");
    lines = status_lines();
    for (std::size_t i = count; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].find(refusal), std::string::npos) << lines[i];
}

// ---- What scripts see ----

TEST_F(Locks, LockIdentifierAnswersEachWordByItsBit)
{
    const struct {
        const char* word;
        int bit;
    } words[] = {
        {"channels", kLockChannels}, {"send", kLockDccSend}, {"get", kLockDccGet},   {"chat", kLockDccChat},
        {"query", kLockDccChat},     {"fserve", kLockFserve}, {"com", kLockCom},      {"decode", kLockDecode},
        {"utfdecode", kLockDecode},  {"DLL", kLockDll},       {"run", kLockRun},
    };
    for (const auto& w : words) {
        lock_options.flags = 0xFFFF & ~w.bit;
        EXPECT_EQ(eval(std::string("$lock(") + w.word + ")"), "$false") << w.word;
        lock_options.flags = w.bit;
        EXPECT_EQ(eval(std::string("$lock(") + w.word + ")"), "$true") << w.word;
    }
    EXPECT_EQ(eval("$lock(foo)"), "");
}

TEST_F(Locks, LockIdentifierReadsTheChannelList)
{
    conn->chan_types = "#&";
    lock_options.channels = {"#one", "#two"};
    const struct {
        const char* arg;
        const char* value;
    } cases[] = {
        {"0", "2"}, {"1", "#one"}, {"2", "#two"}, {"3", ""}, {"99999", ""},
        {"#TWO", "$true"}, {"#three", "$false"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(eval(std::string("$lock(") + c.arg + ")"), c.value) << c.arg;
    lock_options.channels.clear();
    EXPECT_EQ(eval("$lock(0)"), "0");
    EXPECT_EQ(eval("$lock(#one)"), "$false");
}

TEST_F(Locks, DecodeIsRefusedWithTheLockTextOnlyWhileItsBitIsSet)
{
    lock_options.flags = kLockDecode;
    EXPECT_TRUE(lock_decode_locked());
    for (const char* text : {"$decode(YWJj,m)", "$utfdecode(abc)"}) {
        EXPECT_EQ(eval(text), "<failed>") << text;
        EXPECT_NE(script_error_state.text.find(text_load_string(2223)), std::string::npos)
            << script_error_state.text;
    }
    // Encoding stays allowed.
    EXPECT_EQ(eval("$encode(abc,m)"), "YWJj");
    lock_options.flags = 0xFFFF & ~kLockDecode;
    EXPECT_FALSE(lock_decode_locked());
    EXPECT_EQ(eval("$decode(YWJj,m)"), "abc");
    EXPECT_EQ(eval("$utfdecode(abc)"), "abc");
}

TEST_F(Locks, LockedCommandsAreRefusedWithTheLockTextOnlyByTheirOwnBit)
{
    const struct {
        const char* line;
        int bit;
        const char* word;
    } cases[] = {
        {"/run /nonexistent/kest-test-program", kLockRun, "run"},
        {"/dll /nonexistent/kest-test.so routine", kLockDll, "dll"},
    };
    const std::string locked = text_load_string(2222);
    const std::string lead = locked.substr(0, locked.find("%s"));
    for (const auto& c : cases) {
        lock_options.flags = c.bit;
        run(c.line);
        const std::string refusal = last_error() + script_error_state.text;
        EXPECT_NE(refusal.find(std::string(lead) + c.word), std::string::npos) << c.line << ": " << refusal;
        // With every other bit set, the command is not refused by the lock.
        ext_test::Printed::errors.clear();
        lock_options.flags = 0xFFFF & ~c.bit;
        run(c.line);
        const std::string other = last_error() + script_error_state.text;
        EXPECT_EQ(other.find("kitlenmi"), std::string::npos) << c.line << ": " << other;
    }
}

// ---- The password dialogs ----

TEST_F(Locks, SettingAPasswordNeedsTheSameTextTwice)
{
    std::uint32_t staging = 0;
    int result = -1;
    ASSERT_TRUE(with_dialog(
        [](QDialog* d) {
            EXPECT_TRUE(dlg_item(d, 133)->isVisibleTo(d));
            type(d, 131, "gizli");
            type(d, 133, "gizlx");
            click(d, 1);
            // A mismatch keeps the dialog open, empties both fields and beeps.
            EXPECT_TRUE(d->isVisible());
            EXPECT_EQ(dlg_text(d, 131), "");
            EXPECT_EQ(dlg_text(d, 133), "");
            EXPECT_EQ(beeps, 1);
            // An empty password would lock with nothing to guard it: refused.
            click(d, 1);
            EXPECT_TRUE(d->isVisible());
            EXPECT_EQ(beeps, 2);
            type(d, 131, "gizli");
            type(d, 133, "gizli");
            click(d, 1);
        },
        [&] { result = opt_lock_password_dialog(nullptr, &staging, 0); }));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(staging, lock_password_digest("gizli"));
    EXPECT_NE(staging, 0u);
}

TEST_F(Locks, ClearingThePasswordNeedsTheRightOne)
{
    std::uint32_t staging = lock_password_digest("gizli");
    const std::uint32_t set = staging;
    int result = -1;
    ASSERT_TRUE(with_dialog(
        [](QDialog* d) {
            EXPECT_FALSE(dlg_item(d, 133)->isVisibleTo(d));
            type(d, 131, "yanlış");
            click(d, 1);
            EXPECT_TRUE(d->isVisible());
            EXPECT_EQ(beeps, 1);
        },
        [&] { result = opt_lock_password_dialog(nullptr, &staging, 0); }));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(staging, set);
    ASSERT_TRUE(with_dialog(
        [](QDialog* d) {
            type(d, 131, "gizli");
            click(d, 1);
        },
        [&] { result = opt_lock_password_dialog(nullptr, &staging, 0); }));
    EXPECT_EQ(result, 2);
    EXPECT_EQ(staging, 0u);
}

TEST_F(Locks, UnlockDialogEndsAfterTheThirdWrongPassword)
{
    const std::uint32_t digest = lock_password_digest("açıl");
    const struct {
        std::vector<std::string> tries;
        int result;
        int beeps;
    } cases[] = {
        {{"açıl"}, 1, 0},
        {{"x", "açıl"}, 1, 1},
        {{"x", "y", "açıl"}, 1, 2},
        {{"x", "y", "z"}, 0, 3},
    };
    for (const auto& c : cases) {
        beeps = 0;
        int result = -1;
        ASSERT_TRUE(with_dialog(
            [&](QDialog* d) {
                EXPECT_EQ(d->windowTitle().toStdString(), text_load_string(4651));
                for (const std::string& t : c.tries) {
                    if (!d->isVisible())
                        break;
                    type(d, 131, t);
                    click(d, 1);
                }
            },
            [&] { result = lock_unlock_dialog(nullptr, digest); }));
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(beeps, c.beeps);
    }
}

// ---- The running lock ----

TEST_F(Locks, RunningLockHoldsUntilThePasswordLiftsIt)
{
    lock_options.digest = lock_password_digest("anahtar");
    EXPECT_EQ(eval("$locked"), "$false");
    ASSERT_TRUE(frame_hooks().lock_password);
    EXPECT_EQ(frame_hooks().lock_password(1), 1);
    EXPECT_EQ(eval("$locked"), "$true");
    ASSERT_TRUE(editbox_locked_hook);
    EXPECT_EQ(editbox_locked_hook(), 1);
    // Locking again while locked keeps the lock.
    EXPECT_EQ(frame_hooks().lock_password(1), 1);

    // A wrong password leaves it locked.
    intptr_t r = -1;
    ASSERT_TRUE(with_dialog(
        [](QDialog* d) {
            for (const char* t : {"a", "b", "c"}) {
                type(d, 131, t);
                click(d, 1);
            }
        },
        [&] { r = frame_hooks().lock_password(2); }));
    EXPECT_EQ(r, 0);
    EXPECT_EQ(eval("$locked"), "$true");

    ASSERT_TRUE(with_dialog(
        [](QDialog* d) {
            type(d, 131, "anahtar");
            click(d, 1);
        },
        [&] { r = frame_hooks().lock_password(2); }));
    EXPECT_EQ(r, 1);
    EXPECT_EQ(eval("$locked"), "$false");
    EXPECT_EQ(editbox_locked_hook(), 0);
    // Asking to unlock while unlocked needs no password.
    EXPECT_EQ(frame_hooks().lock_password(2), 1);
}

TEST_F(Locks, LockingWithoutAStoredPasswordAsksTheAssistant)
{
    intptr_t r = -1;
    ASSERT_TRUE(with_dialog(
        [](QDialog* d) {
            EXPECT_EQ(d->windowTitle().toStdString(), text_load_string(4651));
            click(d, 2);
        },
        [&] { r = lock_request(1); }));
    EXPECT_EQ(r, 0);
    EXPECT_EQ(lock_running.digest, 0u);
    ASSERT_TRUE(with_dialog(
        [](QDialog* d) {
            type(d, 131, "yeni");
            type(d, 133, "yeni");
            click(d, 1);
        },
        [&] { r = lock_request(1); }));
    EXPECT_EQ(r, 1);
    EXPECT_EQ(lock_running.digest, lock_password_digest("yeni"));
    // The stored options are not touched by the running lock.
    EXPECT_EQ(lock_options.digest, 0u);
}

TEST_F(Locks, StartupAsksOnlyWhenAPasswordIsSetAndAskedFor)
{
    const std::uint32_t digest = lock_password_digest("başla");
    const struct {
        int flags;
        std::uint32_t digest;
        bool asks;
    } cases[] = {
        {0, digest, false},
        {kLockAskAtStart, 0, false},
        {kLockAskAtStart, digest, true},
    };
    for (const auto& c : cases) {
        lock_options.digest = c.digest;
        lock_options.flags = c.flags;
        lock_options_save();
        int r = -1;
        const bool asked = with_dialog([](QDialog* d) { click(d, 2); }, [&] { r = lock_options_load(); });
        EXPECT_EQ(asked, c.asks) << c.flags;
        EXPECT_EQ(r, c.asks ? 0 : 1) << c.flags;
    }
}

// ---- The Lock page ----

class LockPage : public Locks {
protected:
    QDialog* dialog = nullptr;
    OptionsEdit edit;
    const OptionsPageDef* page = nullptr;

    void SetUp() override
    {
        Locks::SetUp();
        page = options_page_find(598);
        ASSERT_TRUE(page && page->page_template);
        ASSERT_EQ(page->page_template->id, 590);
        dialog = new QDialog;
        ASSERT_EQ(dlg_clone_page(*dialog, 590), 0);
        dialog->show();
        for (QWidget* w : dialog->findChildren<QWidget*>())
            w->show();
        edit.dialog = dialog;
        edit.conn = conn;
    }
    void TearDown() override
    {
        delete dialog;
        Locks::TearDown();
    }
    QListWidget* list() { return qobject_cast<QListWidget*>(dlg_item(dialog, 611)); }
    QComboBox* combo() { return qobject_cast<QComboBox*>(dlg_item(dialog, 608)); }
    void typed(const std::string& text)
    {
        combo()->setEditText(QString::fromStdString(text));
    }
};

TEST_F(LockPage, BoxesAndTickedCommandsRoundTripTheirBits)
{
    const struct {
        int control;
        int bit;
    } boxes[] = {
        {599, kLockAskAtStart}, {601, kLockDccSend},  {602, kLockDccGet},   {604, kLockDccChat},
        {603, kLockFserve},     {610, kLockHideTray}, {612, kLockHideTips}, {607, kLockChannels},
    };
    for (const auto& b : boxes) {
        // Filled from the settings: only its own box is ticked.
        lock_options.flags = b.bit;
        page->fill(edit);
        for (const auto& other : boxes)
            EXPECT_EQ(dlg_checked(dialog, other.control), other.control == b.control) << b.control;
        // Cleared on the page, the bit goes on OK.
        dlg_set_checked(dialog, b.control, 0);
        page->apply(edit);
        EXPECT_EQ(lock_options.flags, 0) << b.control;
        dlg_set_checked(dialog, b.control, 1);
        page->apply(edit);
        EXPECT_EQ(lock_options.flags, b.bit) << b.control;
    }
    // The list of commands: Com, Decode, Dll, Run in this order.
    const int bits[] = {kLockCom, kLockDecode, kLockDll, kLockRun};
    for (int i = 0; i < 4; ++i) {
        lock_options.flags = 0;
        page->fill(edit);
        ASSERT_EQ(list()->count(), 4);
        QListWidgetItem* item = list()->item(i);
        const QRect r = list()->visualItemRect(item);
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, r.center());
        EXPECT_EQ(item->checkState(), Qt::Checked);
        page->apply(edit);
        EXPECT_EQ(lock_options.flags, bits[i]) << i;
        // A second click takes the tick away again.
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, r.center());
        page->apply(edit);
        EXPECT_EQ(lock_options.flags, 0) << i;
    }
    // What OK stored is in the private store.
    lock_options.flags = kLockRun;
    page->fill(edit);
    dlg_set_checked(dialog, 602, 1);
    page->apply(edit);
    lock_options = LockOptions();
    lock_options_read();
    EXPECT_EQ(lock_options.flags, kLockRun | kLockDccGet);
}

TEST_F(LockPage, ChannelButtonAddsNewNamesAndDeletesListedOnesInAnyCase)
{
    lock_options.channels = {"#Kest"};
    page->fill(edit);
    ASSERT_TRUE(combo());
    const struct {
        const char* typed;
        const char* caption;
        bool enabled;
    } captions[] = {
        {"", "&Ekle", false}, {"#new", "&Ekle", true}, {"#kest", "&Sil", true}, {"#KEST", "&Sil", true},
    };
    for (const auto& c : captions) {
        typed(c.typed);
        EXPECT_EQ(dlg_text(dialog, 609), c.caption) << c.typed;
        EXPECT_EQ(dlg_item(dialog, 609)->isEnabled(), c.enabled) << c.typed;
    }
    // Added: cut to the first word and at a comma.
    typed("#yeni,#öteki ikinci");
    page->command(edit, 609);
    EXPECT_EQ(combo()->count(), 2);
    EXPECT_EQ(combo()->itemText(1).toStdString(), "#yeni");
    EXPECT_EQ(combo()->currentText().toStdString(), "");
    // A listed channel typed in another case is deleted.
    typed("#KEST");
    page->command(edit, 609);
    ASSERT_EQ(combo()->count(), 1);
    EXPECT_EQ(combo()->itemText(0).toStdString(), "#yeni");
    page->apply(edit);
    EXPECT_EQ(lock_options.channels, std::vector<std::string>{"#yeni"});
    lock_options = LockOptions();
    lock_options_read();
    EXPECT_EQ(lock_options.channels, std::vector<std::string>{"#yeni"});
}

TEST_F(LockPage, PasswordButtonGuardsTheControlsAndIsSavedOnlyOnOk)
{
    page->fill(edit);
    EXPECT_EQ(dlg_text(dialog, 606), text_load_string(4344));
    ASSERT_TRUE(with_dialog(
        [](QDialog* d) {
            type(d, 131, "kilit");
            type(d, 133, "kilit");
            click(d, 1);
        },
        [&] { page->command(edit, 606); }));
    EXPECT_EQ(dlg_text(dialog, 606), text_load_string(4345));
    for (int id : {599, 601, 602, 603, 604, 607, 610, 611})
        EXPECT_FALSE(dlg_item(dialog, id)->isEnabled()) << id;
    EXPECT_TRUE(dlg_item(dialog, 612)->isEnabled());
    EXPECT_TRUE(dlg_item(dialog, 606)->isEnabled());
    // Not live before OK.
    EXPECT_EQ(lock_options.digest, 0u);
    page->apply(edit);
    EXPECT_EQ(lock_options.digest, lock_password_digest("kilit"));
    lock_options = LockOptions();
    lock_options_read();
    EXPECT_EQ(lock_options.digest, lock_password_digest("kilit"));

    // Removing it opens the controls again.
    page->fill(edit);
    EXPECT_FALSE(dlg_item(dialog, 599)->isEnabled());
    ASSERT_TRUE(with_dialog(
        [](QDialog* d) {
            type(d, 131, "kilit");
            click(d, 1);
        },
        [&] { page->command(edit, 606); }));
    EXPECT_TRUE(dlg_item(dialog, 599)->isEnabled());
    EXPECT_EQ(dlg_text(dialog, 606), text_load_string(4344));
    page->apply(edit);
    EXPECT_EQ(lock_options.digest, 0u);
}

}  // namespace
