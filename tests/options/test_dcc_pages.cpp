// The DCC requests, completion and file-server pages of the options
// dialog on their real widgets: filled from the options, changed and
// applied, with the bounds the pages keep.
#include <gtest/gtest.h>

#define KEST_TEST_WIDGETS
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

#include "core/ini.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/string_list.h"
#include "dcc/dcc_dialogs_trusted.h"
#include "options/dialog_opener.h"
#include "options/options_page.h"
#include "options/pages_dcc.h"
#include "platform/platform_test_env.h"
#include "platform/platform_utils.h"
#include "support/test_support.h"

namespace {

class DccPages : public ::testing::Test {
protected:
    TempSettingsDir settings{"kest_dccpages"};
    QDialog* dialog = nullptr;
    OptionsEdit edit;

    void SetUp() override
    {
        platform_test_app();
        options_reset();
        pages_dcc_install();
        dialog = new QDialog;
        for (const auto& [tmpl, first] : {std::pair{240, 500}, std::pair{260, 533}, std::pair{262, 518}}) {
            const OptionsPageDef* def = options_page_find(first);
            ASSERT_TRUE(def && def->page_template) << first;
            ASSERT_EQ(def->page_template->id, tmpl);
            dlg_template_register(*def->page_template);
            ASSERT_EQ(dlg_clone_page(*dialog, tmpl), 0);
        }
        edit.dialog = dialog;
    }
    void TearDown() override
    {
        delete dialog;
        pages_dcc_uninstall();
        options_reset();
    }
    void fill(int first) { options_page_find(first)->fill(edit); }
    void apply(int first) { options_page_find(first)->apply(edit); }
};

TEST_F(DccPages, RequestRadiosShowOneChoiceAndStoreIt)
{
    const struct {
        OptionId option;
        int radios[3];
    } settings_[] = {
        {OPT_DCC_SEND_REQUESTS, {501, 503, 502}},
        {OPT_DCC_CHAT_REQUESTS, {509, 510, 512}},
    };
    for (const auto& s : settings_) {
        for (int stored : {0, 1, 2, 3, -1}) {
            opt_set(s.option, stored);
            fill(500);
            const int shown = stored < 0 || stored > 2 ? 0 : stored;
            for (int i = 0; i < 3; ++i)
                EXPECT_EQ(dlg_checked(dialog, s.radios[i]), i == shown) << stored << " " << s.radios[i];
            for (int chosen = 0; chosen < 3; ++chosen) {
                for (int i = 0; i < 3; ++i)
                    dlg_set_checked(dialog, s.radios[i], i == chosen);
                apply(500);
                EXPECT_EQ(opt(s.option), chosen);
            }
        }
    }
    // The other setting is not moved by one's radios.
    opt_set(OPT_DCC_CHAT_REQUESTS, 2);
    fill(500);
    dlg_set_checked(dialog, 501, 0);
    dlg_set_checked(dialog, 503, 1);
    apply(500);
    EXPECT_EQ(opt(OPT_DCC_SEND_REQUESTS), 1);
    EXPECT_EQ(opt(OPT_DCC_CHAT_REQUESTS), 2);
}

TEST_F(DccPages, FileExistsComboShowsOutOfRangeAsAsk)
{
    for (int stored : {0, 1, 2, 3, 4, -1}) {
        opt_set(OPT_DCC_FILE_EXISTS, stored);
        fill(500);
        EXPECT_EQ(dlg_combo_index(dialog, 506), stored < 0 || stored > 3 ? 0 : stored);
        qobject_cast<QComboBox*>(dlg_item(dialog, 506))->setCurrentIndex(3);
        apply(500);
        EXPECT_EQ(opt(OPT_DCC_FILE_EXISTS), 3);
    }
}

TEST_F(DccPages, CompletionBoxesAndBoundedNumbers)
{
    const struct {
        int control;
        OptionId option;
    } boxes[] = {
        {535, OPT_DCC_BEEP_SEND_END}, {536, OPT_DCC_BEEP_GET_END},     {537, OPT_DCC_BEEP_CHAT_END},
        {539, OPT_DCC_CLOSE_SEND_ON_END}, {540, OPT_DCC_CLOSE_GET_ON_END}, {541, OPT_DCC_CLOSE_CHAT_ON_END},
        {551, OPT_DCC_FILL_FILES},    {553, OPT_DCC_PASSIVE},
    };
    for (const auto& b : boxes)
        for (int stored : {0, 1}) {
            opt_set(b.option, stored);
            fill(533);
            EXPECT_EQ(dlg_checked(dialog, b.control), stored) << b.control;
            dlg_set_checked(dialog, b.control, !stored);
            apply(533);
            EXPECT_EQ(opt(b.option), !stored) << b.control;
        }
    const struct {
        int control;
        OptionId option;
        const char* typed;
        int stored;
    } numbers[] = {
        {544, OPT_DCC_GET_CHAT_TIMEOUT, "4", 5},  {544, OPT_DCC_GET_CHAT_TIMEOUT, "5", 5},
        {544, OPT_DCC_GET_CHAT_TIMEOUT, "60", 60}, {546, OPT_DCC_SEND_TIMEOUT, "0", 5},
        {546, OPT_DCC_SEND_TIMEOUT, "120", 120},  {548, OPT_FSERVE_IDLE_LIMIT, "", 5},
        {550, OPT_DCC_MAX_SENDS, "0", 1},         {550, OPT_DCC_MAX_SENDS, "1", 1},
        {550, OPT_DCC_MAX_SENDS, "20", 20},
    };
    for (const auto& n : numbers) {
        fill(533);
        dlg_set_text(dialog, n.control, n.typed);
        apply(533);
        EXPECT_EQ(opt(n.option), n.stored) << n.control << " " << n.typed;
    }
}

TEST_F(DccPages, FileServerLimitsAndSendRate)
{
    const struct {
        const char* rate;
        int stored;
    } rates[] = {{"0", 0}, {"-5", 0}, {"1", 512}, {"100", 512}, {"511", 512}, {"512", 512}, {"513", 513},
                 {"", 0}};
    for (const auto& r : rates) {
        fill(518);
        dlg_set_text(dialog, 527, r.rate);
        apply(518);
        EXPECT_EQ(opt(OPT_DCC_MAX_SEND_RATE), r.stored) << r.rate;
        fill(518);
        EXPECT_EQ(dlg_text(dialog, 527), std::to_string(r.stored));
    }
    const struct {
        int control;
        OptionId option;
        const char* typed;
        int stored;
    } numbers[] = {
        {519, OPT_FSERVE_MAX_TRANSFERS, "0", 1}, {519, OPT_FSERVE_MAX_TRANSFERS, "10", 10},
        {521, OPT_FSERVE_GETS_PER_PEER, "0", 1}, {521, OPT_FSERVE_GETS_PER_PEER, "20", 20},
        {521, OPT_FSERVE_GETS_PER_PEER, "21", 20},
    };
    for (const auto& n : numbers) {
        fill(518);
        dlg_set_text(dialog, n.control, n.typed);
        apply(518);
        EXPECT_EQ(opt(n.option), n.stored) << n.control << " " << n.typed;
    }
}

// The trusted-list dialog the requests page opens: it edits a working copy
// that only OK or Apply of the options dialog puts in place.
class TrustedDialog : public DccPages {
protected:
    void SetUp() override
    {
        DccPages::SetUp();
        strlist_free(&dcc_trusted_list);
        for (const char* e : {"*!*@old.example", "ops"})
            dcc_trusted_list = strlist_append(dcc_trusted_list, e, 0);
        opt_set(OPT_DCC_TRUST, 0);
        opt_set(OPT_DCC_ASK_UNTRUSTED, 1);
    }
    void TearDown() override
    {
        strlist_free(&dcc_trusted_list);
        DccPages::TearDown();
    }
    static std::vector<std::string> entries(const StringNode* n)
    {
        std::vector<std::string> out;
        for (; n; n = n->next)
            out.push_back(n->text);
        return out;
    }
    static std::vector<std::string> combo_entries(QDialog* d)
    {
        std::vector<std::string> out;
        auto* c = qobject_cast<QComboBox*>(dlg_item(d, 101));
        for (int i = 0; c && i < c->count(); ++i)
            out.push_back(c->itemText(i).toStdString());
        return out;
    }
    static void click(QDialog* d, int id)
    {
        auto* b = qobject_cast<QAbstractButton*>(dlg_item(d, id));
        ASSERT_TRUE(b) << id;
        b->click();
    }
    static void type(QDialog* d, const std::string& text)
    {
        auto* c = qobject_cast<QComboBox*>(dlg_item(d, 101));
        ASSERT_TRUE(c);
        c->setEditText(QString::fromStdString(text));
    }
    // Opens the dialog through the page's button and runs `answer` on it.
    void with_dialog(const std::function<void(QDialog*)>& answer)
    {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!d)
                return;
            seen = true;
            answer(d);
            if (d->isVisible())
                d->reject();
        });
        ASSERT_EQ(options_page_find(500)->command(edit, 507), 1);
        EXPECT_TRUE(seen);
    }
};

TEST_F(TrustedDialog, AddAndRemoveEditTheShownList)
{
    const struct {
        const char* button;   // "add" or "remove"
        const char* typed;
        std::vector<std::string> after;
    } cases[] = {
        {"add", "bob!b@host.example extra words", {"*!*@old.example", "ops", "bob!b@host.example"}},
        {"add", "u@host.example", {"*!*@old.example", "ops", "*!u@host.example"}},
        {"add", "nick!user", {"*!*@old.example", "ops", "nick!user@*"}},
        {"add", "  friends", {"*!*@old.example", "ops", "friends"}},
        {"add", "OPS", {"*!*@old.example", "ops"}},
        {"add", "*!*@OLD.example", {"*!*@old.example", "ops"}},
        {"add", "", {"*!*@old.example", "ops"}},
        {"add", "   ", {"*!*@old.example", "ops"}},
        {"remove", "ops", {"*!*@old.example"}},
        {"remove", "*!*@Old.Example", {"ops"}},
        {"remove", "missing", {"*!*@old.example", "ops"}},
        {"remove", "", {"*!*@old.example", "ops"}},
    };
    for (const auto& c : cases) {
        fill(500);
        with_dialog([&](QDialog* d) {
            EXPECT_EQ(combo_entries(d), (std::vector<std::string>{"*!*@old.example", "ops"}));
            type(d, c.typed);
            click(d, std::string(c.button) == "add" ? 102 : 103);
            EXPECT_EQ(combo_entries(d), c.after) << c.button << " '" << c.typed << "'";
            // The same button again changes nothing more.
            type(d, c.typed);
            click(d, std::string(c.button) == "add" ? 102 : 103);
            if (std::string(c.button) == "add") {
                EXPECT_EQ(combo_entries(d), c.after) << "again: " << c.typed;
            }
        });
    }
    EXPECT_EQ(entries(dcc_trusted_list), (std::vector<std::string>{"*!*@old.example", "ops"}));
}

TEST_F(TrustedDialog, OnlyOkOfBothDialogsReplacesTheLiveListAndFlags)
{
    const std::vector<std::string> before{"*!*@old.example", "ops"};
    const std::vector<std::string> edited{"ops", "*!*@new.example"};
    const struct {
        bool dialog_ok;
        bool page_apply;
        bool replaced;
    } cases[] = {
        {true, true, true},
        {true, false, false},
        {false, true, false},
        {false, false, false},
    };
    for (const auto& c : cases) {
        strlist_free(&dcc_trusted_list);
        for (const auto& e : before)
            dcc_trusted_list = strlist_append(dcc_trusted_list, e.c_str(), 0);
        trusted_save();
        opt_set(OPT_DCC_TRUST, 0);
        opt_set(OPT_DCC_ASK_UNTRUSTED, 1);
        fill(500);
        with_dialog([&](QDialog* d) {
            EXPECT_EQ(dlg_checked(d, 104), 0);
            EXPECT_EQ(dlg_checked(d, 105), 1);
            type(d, "*!*@old.example");
            click(d, 103);
            type(d, "*!*@new.example");
            click(d, 102);
            dlg_set_checked(d, 104, 1);
            dlg_set_checked(d, 105, 0);
            click(d, c.dialog_ok ? 1 : 2);
        });
        if (c.page_apply)
            apply(500);
        else
            options_page_find(500)->cancel(edit);
        const auto& want = c.replaced ? edited : before;
        EXPECT_EQ(entries(dcc_trusted_list), want) << c.dialog_ok << c.page_apply;
        EXPECT_EQ(opt(OPT_DCC_TRUST), c.replaced ? 1 : 0);
        EXPECT_EQ(opt(OPT_DCC_ASK_UNTRUSTED), c.replaced ? 0 : 1);
        // What was saved is what is live.
        strlist_free(&dcc_trusted_list);
        trusted_load();
        EXPECT_EQ(entries(dcc_trusted_list), want) << "saved " << c.dialog_ok << c.page_apply;
    }
}

TEST_F(TrustedDialog, ApplyTwiceAndReopenKeepTheEditedCopy)
{
    fill(500);
    with_dialog([&](QDialog* d) {
        type(d, "pal!*@*");
        click(d, 102);
        click(d, 1);
    });
    apply(500);
    apply(500);
    const std::vector<std::string> want{"*!*@old.example", "ops", "pal!*@*"};
    EXPECT_EQ(entries(dcc_trusted_list), want);
    // Opened again in the same options dialog it shows the edited copy.
    with_dialog([&](QDialog* d) { EXPECT_EQ(combo_entries(d), want); });
    // Edits to the live list after a fresh fill are what the dialog shows.
    dcc_trusted_list = strlist_append(dcc_trusted_list, "late", 0);
    fill(500);
    with_dialog([&](QDialog* d) { EXPECT_EQ(combo_entries(d).back(), "late"); });
}

}  // namespace

namespace {

std::string ini_value(const char* section, const char* key)
{
    std::string v;
    ini_read(section, key, "", v, 1024, main_ini_path);
    return v;
}

// What the file-server page's pickers answer, and what they were asked.
struct Pickers {
    static inline std::string folder, file;
    static inline bool confirm = true;
    static inline int asked_folder = 0, asked_file = 0, asked_confirm = 0;
    static inline std::string confirm_text, start;
    static std::string pick_folder(QWidget*, const std::string& s)
    {
        ++asked_folder;
        start = s;
        return folder;
    }
    static std::string pick_file(QWidget*, const std::string& s)
    {
        ++asked_file;
        start = s;
        return file;
    }
    static bool ask(QWidget*, const std::string& caption, const std::string& text)
    {
        ++asked_confirm;
        confirm_text = caption + "|" + text;
        return confirm;
    }
};

class FileServerFields : public DccPages {
protected:
    std::string (*old_folder)(QWidget*, const std::string&) = nullptr;
    std::string (*old_file)(QWidget*, const std::string&) = nullptr;
    bool (*old_confirm)(QWidget*, const std::string&, const std::string&) = nullptr;
    void SetUp() override
    {
        DccPages::SetUp();
        old_folder = pages_dcc_pick_folder;
        old_file = pages_dcc_pick_file;
        old_confirm = pages_dcc_confirm;
        pages_dcc_pick_folder = Pickers::pick_folder;
        pages_dcc_pick_file = Pickers::pick_file;
        pages_dcc_confirm = Pickers::ask;
        Pickers::asked_folder = Pickers::asked_file = Pickers::asked_confirm = 0;
        Pickers::folder = Pickers::file = Pickers::confirm_text = Pickers::start = "";
        Pickers::confirm = true;
        main_settings.fserve_home.clear();
        main_settings.fserve_welcome.clear();
    }
    void TearDown() override
    {
        pages_dcc_pick_folder = old_folder;
        pages_dcc_pick_file = old_file;
        pages_dcc_confirm = old_confirm;
        main_settings.fserve_home.clear();
        main_settings.fserve_welcome.clear();
        DccPages::TearDown();
    }
    int press(int id) { return options_page_find(518)->command(edit, id); }
};

TEST_F(FileServerFields, HomeFolderIsConfirmedBeforeItStays)
{
    const std::string shared = settings.path() + "shared";
    const struct {
        const char* picked;   // "" = the browser was cancelled
        bool confirmed;
        std::string shown;
        int confirms;
    } cases[] = {
        {"shared", true, shared + "/", 1},
        {"shared", false, "", 1},
        {"", true, "", 0},
    };
    for (const auto& c : cases) {
        Pickers::asked_confirm = 0;
        Pickers::folder = *c.picked ? shared : "";
        Pickers::confirm = c.confirmed;
        fill(518);
        EXPECT_EQ(press(523), 1);
        EXPECT_EQ(dlg_text(dialog, 523), c.shown) << c.picked << " " << c.confirmed;
        EXPECT_EQ(Pickers::asked_confirm, c.confirms);
        EXPECT_EQ(Pickers::start, settings_dir);
    }
    EXPECT_EQ(Pickers::confirm_text,
              std::string(text_load_string(1702)) + "|" + text_load_string(1701));
    // The field filled, a click clears it without asking for a folder.
    Pickers::folder = shared;
    Pickers::confirm = true;
    fill(518);
    press(523);
    ASSERT_EQ(dlg_text(dialog, 523), shared + "/");
    const int asked = Pickers::asked_folder;
    press(523);
    EXPECT_EQ(dlg_text(dialog, 523), "");
    EXPECT_EQ(Pickers::asked_folder, asked);
    // A button of another page is not this page's.
    EXPECT_EQ(press(519), 0);
}

TEST_F(FileServerFields, FieldsAndWarningsAreStoredRelativeAndReadBack)
{
    const std::string home = settings.path() + "share/";
    const std::string welcome = settings.path() + "hello.txt";
    fill(518);
    Pickers::folder = home;
    press(523);
    Pickers::file = welcome;
    press(525);
    EXPECT_EQ(Pickers::start, settings_dir);
    EXPECT_EQ(Pickers::asked_confirm, 1);   // the welcome file needs no confirmation
    dlg_set_checked(dialog, 526, false);
    apply(518);
    EXPECT_EQ(main_settings.fserve_home, home);
    EXPECT_EQ(main_settings.fserve_welcome, welcome);
    EXPECT_EQ(main_settings.warn_fserve, 0);
    EXPECT_EQ(ini_value("fileserver", "homedir"), "share/");
    EXPECT_EQ(ini_value("fileserver", "welcome"), "hello.txt");
    EXPECT_EQ(ini_value("warn", "fserve"), "off");

    // Both cleared and the warning back on: nothing left to serve.
    fill(518);
    EXPECT_EQ(dlg_text(dialog, 523), home);
    EXPECT_EQ(dlg_text(dialog, 525), welcome);
    EXPECT_FALSE(dlg_checked(dialog, 526));
    press(523);
    press(525);
    dlg_set_checked(dialog, 526, true);
    apply(518);
    apply(518);
    EXPECT_EQ(main_settings.fserve_home, "");
    EXPECT_EQ(main_settings.fserve_welcome, "");
    EXPECT_EQ(ini_value("fileserver", "homedir"), "");
    EXPECT_EQ(ini_value("warn", "fserve"), "on");
    EXPECT_EQ(main_settings.warn_fserve, 1);
}

TEST_F(DccPages, FileWarningBoxWritesItsFlag)
{
    for (bool on : {false, true, false}) {
        main_settings.warn_dcc = on ? 0 : 1;
        fill(533);
        EXPECT_EQ(dlg_checked(dialog, 552), !on);
        dlg_set_checked(dialog, 552, on);
        apply(533);
        EXPECT_EQ(main_settings.warn_dcc, on ? 1 : 0);
        EXPECT_EQ(ini_value("warn", "dcc"), on ? "on" : "off");
    }
}

// Auto-accept of offered files asks first; anything but yes puts the
// choice back to ask.
TEST_F(DccPages, AutoAcceptAsksAndOnlyYesKeepsIt)
{
    const struct {
        int button;   // 1 yes, 2 no, 0 closed
        bool kept;
    } cases[] = {{1, true}, {2, false}, {0, false}};
    for (const auto& c : cases) {
        opt_set(OPT_DCC_SEND_REQUESTS, 0);
        fill(500);
        dlg_set_checked(dialog, 501, false);
        dlg_set_checked(dialog, 503, true);
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!d)
                return;
            seen = true;
            if (c.button)
                qobject_cast<QAbstractButton*>(dlg_item(d, c.button))->click();
            else
                d->reject();
        });
        EXPECT_EQ(options_page_find(500)->command(edit, 503), 1);
        EXPECT_TRUE(seen);
        EXPECT_EQ(dlg_checked(dialog, 503), c.kept) << c.button;
        EXPECT_EQ(dlg_checked(dialog, 501), !c.kept) << c.button;
        apply(500);
        EXPECT_EQ(opt(OPT_DCC_SEND_REQUESTS), c.kept ? 1 : 0);
    }
    // Choosing ask or ignore asks nothing.
    for (int id : {501, 502}) {
        fill(500);
        for (int r : {501, 502, 503})
            dlg_set_checked(dialog, r, r == id);
        bool asked = false;
        QTimer::singleShot(0, [&] {
            if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                asked = true;
                d->reject();
            }
        });
        options_page_find(500)->command(edit, id);
        QApplication::processEvents();
        EXPECT_FALSE(asked) << id;
        EXPECT_TRUE(dlg_checked(dialog, id));
    }
}

}  // namespace
