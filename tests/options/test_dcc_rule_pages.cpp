// The Folders, Ignore and DCC server pages of the DCC options on their real
// widgets: the file-type rules in the list view and the rule editor, the
// file-type filter's lists by method, and the DCC server restarted only
// when its switch or port changes.
#include <gtest/gtest.h>

#define KEST_TEST_WIDGETS
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <string>
#include <vector>

#include "core/file_type_rules.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "dcc/dcc_server.h"
#include "irc/lists/ignore_list.h"
#include "options/dialog_opener.h"
#include "options/options_page.h"
#include "options/pages_dcc.h"
#include "platform/platform_test_env.h"
#include "platform/platform_utils.h"
#include "support/test_support.h"

namespace {

class DccRulePages : public ::testing::Test {
protected:
    TempSettingsDir settings{"kest_dccrules"};
    QDialog* dialog = nullptr;
    OptionsEdit edit;
    int beeps = 0;
    static inline int* beep_counter = nullptr;
    void (*saved_beep)(int) = nullptr;

    void SetUp() override
    {
        platform_test_app();
        options_reset();
        pages_dcc_install();
        dialog = new QDialog;
        for (const auto& [tmpl, first] : {std::pair{261, 563}, std::pair{263, 573}, std::pair{264, 588}}) {
            const OptionsPageDef* def = options_page_find(first);
            ASSERT_TRUE(def && def->page_template) << first;
            ASSERT_EQ(def->page_template->id, tmpl);
            dlg_template_register(*def->page_template);
            ASSERT_EQ(dlg_clone_page(*dialog, tmpl), 0);
        }
        edit.dialog = dialog;
        saved_beep = beep_play_hook;
        beep_counter = &beeps;
        beep_play_hook = [](int) { ++*beep_counter; };
        opt_set(OPT_SOUNDS_ENABLED, 1);
    }
    void TearDown() override
    {
        beep_play_hook = saved_beep;
        delete dialog;
        pages_dcc_uninstall();
        options_reset();
    }
    void fill(int first) { options_page_find(first)->fill(edit); }
    void apply(int first) { options_page_find(first)->apply(edit); }
    int command(int first, int id) { return options_page_find(first)->command(edit, id); }
    QTreeWidget* view() { return qobject_cast<QTreeWidget*>(dlg_item(dialog, 564)); }

    void write_rules(const std::vector<std::string>& rules)
    {
        ini_delete_numbered_from("extensions", "n", 0, main_ini_path);
        for (std::size_t i = 0; i < rules.size(); ++i)
            ini_write("extensions", ("n" + std::to_string(i)).c_str(), rules[i].c_str(), main_ini_path);
    }
    std::vector<std::string> shown_types()
    {
        std::vector<std::string> out;
        for (int r = 0; view() && r < view()->topLevelItemCount(); ++r)
            out.push_back(view()->topLevelItem(r)->text(0).toStdString());
        return out;
    }
    int selected() { return view()->indexOfTopLevelItem(view()->currentItem()); }
    void select(int row) { view()->setCurrentItem(view()->topLevelItem(row)); }
    // Opens the rule editor through a page button and runs `answer` on it.
    void with_editor(int button, const std::function<void(QDialog*)>& answer, bool* seen_out = nullptr)
    {
        bool seen = false;
        // A timer of this call only: when no editor opens it must not fire
        // into a later test's dialog.
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!d)
                return;
            seen = true;
            answer(d);
            if (d->isVisible())
                d->reject();
        });
        timer.start(0);
        ASSERT_EQ(command(563, button), 1);
        if (seen_out)
            *seen_out = seen;
        else
            EXPECT_TRUE(seen);
    }
    static void click(QDialog* d, int id)
    {
        auto* b = qobject_cast<QAbstractButton*>(dlg_item(d, id));
        ASSERT_TRUE(b) << id;
        b->click();
    }
};

// ---- Folders ----

TEST_F(DccRulePages, FoldersShowTheDefaultRuleFirst)
{
    const std::string s = settings.path();
    const struct {
        std::vector<std::string> stored;
        std::vector<std::string> shown;
    } cases[] = {
        {{"defaultEXTDIR:" + s + "get/", "*.mp3EXTDIR:" + s + "music/"}, {"default", "*.mp3"}},
        // The default rule stored later still shows first.
        {{"*.mp3EXTDIR:" + s + "music/", "defaultEXTDIR:" + s + "get/"}, {"default", "*.mp3"}},
        // No default rule: one for the settings folder is made.
        {{"*.jpg,*.pngEXTDIR:" + s + "pics/"}, {"default", "*.jpg,*.png"}},
        {{}, {"default"}},
    };
    for (const auto& c : cases) {
        write_rules(c.stored);
        fill(563);
        EXPECT_EQ(shown_types(), c.shown);
        EXPECT_EQ(selected(), 0);
        if (c.stored.size() == 1 || c.stored.empty()) {
            EXPECT_EQ(view()->topLevelItem(0)->text(1).toStdString(), s);
        }
    }
}

TEST_F(DccRulePages, FirstRowCannotBeDeletedOrMoved)
{
    const std::string s = settings.path();
    write_rules({"defaultEXTDIR:" + s + "get/", "*.aEXTDIR:" + s + "a/", "*.bEXTDIR:" + s + "b/",
                 "*.cEXTDIR:" + s + "c/"});
    const struct {
        int row;     // selected before the button, -1 none
        int button;  // 567 delete, 568 up, 569 down
        std::vector<std::string> after;
        int selected_after;
        int beeps;
    } cases[] = {
        {0, 567, {"default", "*.a", "*.b", "*.c"}, 0, 1},
        {0, 568, {"default", "*.a", "*.b", "*.c"}, 0, 1},
        {0, 569, {"default", "*.a", "*.b", "*.c"}, 0, 1},
        {-1, 567, {"default", "*.a", "*.b", "*.c"}, -1, 1},
        {-1, 568, {"default", "*.a", "*.b", "*.c"}, -1, 1},
        {-1, 569, {"default", "*.a", "*.b", "*.c"}, -1, 1},
        // Row 1 never goes above the default rule, and the last row stays last.
        {1, 568, {"default", "*.a", "*.b", "*.c"}, 1, 0},
        {3, 569, {"default", "*.a", "*.b", "*.c"}, 3, 0},
        {2, 568, {"default", "*.b", "*.a", "*.c"}, 1, 0},
        {1, 569, {"default", "*.b", "*.a", "*.c"}, 2, 0},
        {2, 567, {"default", "*.a", "*.c"}, 2, 0},
        {3, 567, {"default", "*.a", "*.b"}, 2, 0},
    };
    for (const auto& c : cases) {
        fill(563);
        if (c.row < 0) {
            view()->setCurrentItem(nullptr);
            view()->clearSelection();
        } else {
            select(c.row);
        }
        beeps = 0;
        EXPECT_EQ(command(563, c.button), 1);
        EXPECT_EQ(shown_types(), c.after) << c.row << " " << c.button;
        EXPECT_EQ(beeps, c.beeps) << c.row << " " << c.button;
        if (c.selected_after >= 0) {
            EXPECT_EQ(selected(), c.selected_after) << c.row << " " << c.button;
        }
    }
    // The moved whole rule travels with its cells.
    fill(563);
    select(3);
    command(563, 568);
    EXPECT_EQ(view()->topLevelItem(2)->text(2).toStdString(), "*.cEXTDIR:" + s + "c/");
    EXPECT_EQ(view()->topLevelItem(3)->text(2).toStdString(), "*.bEXTDIR:" + s + "b/");
}

TEST_F(DccRulePages, RuleEditorMakesTheRuleText)
{
    const std::string s = settings.path();
    write_rules({"defaultEXTDIR:" + s + "get/", "*.txtEXTDIR:" + s + "text/EXTCOM:echo $1"});
    const struct {
        const char* what;
        int button;
        int row;
        const char* masks;    // typed, null to leave
        const char* folder;   // set, null to leave
        const char* command;  // typed, null to leave
        int by_nick;
        bool accepted;
        std::string rule;     // at the row the editor chose
    } cases[] = {
        {"new", 565, -1, "*.zip  more", "/tmp/z", nullptr, 0, true, "*.zipEXTDIR:/tmp/z/"},
        {"new with command and nick folders", 565, -1, "*.doc", "/tmp/d/", "view $1", 1, true,
         "*.docEXTDIR:/tmp/d/EXTCOM:view $1EXTOPT:1"},
        {"new empty masks", 565, -1, "  ", "/tmp/z", nullptr, 0, false, ""},
        {"new named default", 565, -1, "DEFAULT", "/tmp/z", nullptr, 0, false, ""},
        {"new empty folder", 565, -1, "*.x", "", nullptr, 0, false, ""},
        {"edit keeps command", 566, 1, "*.log", nullptr, nullptr, 0, true, "*.logEXTDIR:" + s + "text/EXTCOM:echo $1"},
        {"edit first row stays default", 566, 0, "*.exe", "/tmp/g", nullptr, 0, true, "defaultEXTDIR:/tmp/g/"},
    };
    for (const auto& c : cases) {
        fill(563);
        if (c.row >= 0)
            select(c.row);
        const int rows_before = view()->topLevelItemCount();
        beeps = 0;
        bool ended_by_ok = false;
        with_editor(c.button, [&](QDialog* d) {
            if (c.button == 565) {
                EXPECT_EQ(dlg_text(d, 131), s) << c.what;
            }
            if (c.row == 0) {
                EXPECT_TRUE(qobject_cast<QLineEdit*>(dlg_item(d, 130))->isReadOnly());
            }
            if (c.masks)
                dlg_set_text(d, 130, c.masks);
            if (c.folder)
                dlg_set_text(d, 131, c.folder);
            if (c.command)
                dlg_set_text(d, 134, c.command);
            dlg_set_checked(d, 132, c.by_nick);
            click(d, 1);
            ended_by_ok = !d->isVisible();
        });
        EXPECT_EQ(ended_by_ok, c.accepted) << c.what;
        EXPECT_EQ(beeps, c.accepted ? 0 : 1) << c.what;
        if (c.accepted) {
            const int row = c.row >= 0 ? c.row : rows_before;
            EXPECT_EQ(view()->topLevelItemCount(), rows_before + (c.row >= 0 ? 0 : 1)) << c.what;
            EXPECT_EQ(view()->topLevelItem(row)->text(2).toStdString(), c.rule) << c.what;
            EXPECT_EQ(selected(), row) << c.what;
        } else {
            EXPECT_EQ(view()->topLevelItemCount(), rows_before) << c.what;
        }
    }
    // Edit without a selection beeps and opens nothing.
    fill(563);
    view()->setCurrentItem(nullptr);
    view()->clearSelection();
    beeps = 0;
    bool seen = true;
    with_editor(566, [](QDialog*) {}, &seen);
    EXPECT_FALSE(seen);
    EXPECT_EQ(beeps, 1);
}

TEST_F(DccRulePages, ApplyWritesTheRowsInOrderAndOnlyThen)
{
    const std::string s = settings.path();
    file_make_dir(s + "a");
    file_make_dir(s + "b");
    write_rules({"defaultEXTDIR:" + s + "get/", "*.aEXTDIR:" + s + "a/", "*.bEXTDIR:" + s + "b/"});
    fill(563);
    select(2);
    command(563, 568);
    // Nothing is stored before OK or Apply.
    EXPECT_EQ(dcc_ext_rule_part(file_type_rules_read()[1], 0), "*.a");
    apply(563);
    const std::vector<std::string> stored = file_type_rules_read();
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(dcc_ext_rule_part(stored[0], 0), "default");
    EXPECT_EQ(dcc_ext_rule_part(stored[1], 0), "*.b");
    EXPECT_EQ(dcc_ext_rule_part(stored[2], 0), "*.a");
    // The lookup sees the new order at once; a second apply changes nothing.
    std::string folder;
    dcc_folder_for_file("x.b", folder, 0, nullptr);
    EXPECT_EQ(folder, s + "b/");
    fill(563);
    apply(563);
    EXPECT_EQ(file_type_rules_read(), stored);
}

// ---- Ignore ----

class DccIgnorePage : public DccRulePages {
protected:
    void SetUp() override
    {
        DccRulePages::SetUp();
        strlist_free(&main_settings.dcc_accept_types);
        strlist_free(&main_settings.dcc_ignore_types);
        for (const char* t : {"*.jpg", "*.png"})
            main_settings.dcc_accept_types = strlist_append(main_settings.dcc_accept_types, t, 0);
        for (const char* t : {"*.exe"})
            main_settings.dcc_ignore_types = strlist_append(main_settings.dcc_ignore_types, t, 0);
    }
    QComboBox* types() { return qobject_cast<QComboBox*>(dlg_item(dialog, 574)); }
    std::vector<std::string> shown()
    {
        std::vector<std::string> out;
        for (int i = 0; i < types()->count(); ++i)
            out.push_back(types()->itemText(i).toStdString());
        return out;
    }
    static std::vector<std::string> list(const StringNode* n)
    {
        std::vector<std::string> out;
        for (; n; n = n->next)
            out.push_back(n->text);
        return out;
    }
    void choose_method(int m)
    {
        qobject_cast<QComboBox*>(dlg_item(dialog, 573))->setCurrentIndex(m);
        command(573, 573);
    }
    void type(const std::string& t) { types()->setEditText(QString::fromStdString(t)); }
};

TEST_F(DccIgnorePage, MethodShowsItsOwnList)
{
    const struct {
        int stored;
        int shown_method;
        std::vector<std::string> list;
        bool enabled;
    } cases[] = {
        {0, 0, {}, false},
        {1, 1, {"*.jpg", "*.png"}, true},
        {2, 2, {"*.exe"}, true},
        {5, 1, {"*.jpg", "*.png"}, true},
        {-1, 1, {"*.jpg", "*.png"}, true},
    };
    for (const auto& c : cases) {
        opt_set(OPT_DCC_FILTER_MODE, c.stored);
        fill(573);
        EXPECT_EQ(dlg_combo_index(dialog, 573), c.shown_method) << c.stored;
        EXPECT_EQ(shown(), c.list) << c.stored;
        EXPECT_EQ(types()->isEnabled(), c.enabled) << c.stored;
    }
}

TEST_F(DccIgnorePage, AddRemoveAndSwitchKeepEachMethodsCopy)
{
    opt_set(OPT_DCC_FILTER_MODE, 1);
    fill(573);
    beeps = 0;
    type("*.gif and more");
    EXPECT_TRUE(dlg_item(dialog, 579)->isEnabled());
    EXPECT_FALSE(dlg_item(dialog, 580)->isEnabled());
    command(573, 579);
    EXPECT_EQ(shown(), (std::vector<std::string>{"*.jpg", "*.png", "*.gif"}));
    // Already listed (case ignored): add selects it, and only remove is offered.
    type("*.PNG");
    EXPECT_FALSE(dlg_item(dialog, 579)->isEnabled());
    EXPECT_TRUE(dlg_item(dialog, 580)->isEnabled());
    command(573, 579);
    EXPECT_EQ(shown(), (std::vector<std::string>{"*.jpg", "*.png", "*.gif"}));
    EXPECT_EQ(types()->currentIndex(), 1);
    type("*.jpg");
    command(573, 580);
    EXPECT_EQ(shown(), (std::vector<std::string>{"*.png", "*.gif"}));
    type("*.none");
    command(573, 580);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(shown(), (std::vector<std::string>{"*.png", "*.gif"}));

    // To the ignore list and back: the edited accept list is kept.
    choose_method(2);
    EXPECT_EQ(shown(), (std::vector<std::string>{"*.exe"}));
    type("*.bat");
    command(573, 579);
    choose_method(0);
    EXPECT_TRUE(shown().empty());
    EXPECT_FALSE(types()->isEnabled());
    EXPECT_FALSE(dlg_item(dialog, 579)->isEnabled());
    choose_method(1);
    EXPECT_EQ(shown(), (std::vector<std::string>{"*.png", "*.gif"}));
    // Nothing live moved before OK.
    EXPECT_EQ(list(main_settings.dcc_accept_types), (std::vector<std::string>{"*.jpg", "*.png"}));
    EXPECT_EQ(opt(OPT_DCC_FILTER_MODE), 1);

    choose_method(2);
    apply(573);
    EXPECT_EQ(opt(OPT_DCC_FILTER_MODE), 2);
    EXPECT_EQ(list(main_settings.dcc_accept_types), (std::vector<std::string>{"*.png", "*.gif"}));
    EXPECT_EQ(list(main_settings.dcc_ignore_types), (std::vector<std::string>{"*.exe", "*.bat"}));
    // The filter uses the new list at once.
    std::string name = "setup.BAT";
    EXPECT_EQ(dcc_ignore_test(name, 0, 0), 1);
    name = "photo.jpg";
    EXPECT_EQ(dcc_ignore_test(name, 0, 0), 0);
}

TEST_F(DccIgnorePage, ReenableMinutesAndCountdown)
{
    const struct {
        int stored_minutes;
        int shown;  // minutes the list shows
        const char* chosen;
        int timer;
        int stored_after;
    } cases[] = {
        {3, 3, "3", 1, 3},
        {1, 1, "1", 1, 1},
        {60, 60, "60", 0, 60},
        {20, 20, "30", 1, 30},
        {45, 3, "3", 1, 3},   // a value the list lacks shows as 3
    };
    for (const auto& c : cases) {
        opt_set(OPT_DCC_FILTER_MODE, 1);
        opt_set(OPT_DCC_FILTER_REENABLE_MINUTES, c.stored_minutes);
        opt_set(OPT_DCC_FILTER_TIMER, 1);
        fill(573);
        EXPECT_EQ(dlg_text(dialog, 576), std::to_string(c.shown)) << c.stored_minutes;
        auto* minutes = qobject_cast<QComboBox*>(dlg_item(dialog, 576));
        minutes->setCurrentIndex(minutes->findText(c.chosen));
        dlg_set_checked(dialog, 575, c.timer);
        opt_set(OPT_DCC_FILTER_COUNTDOWN, 7);
        apply(573);
        EXPECT_EQ(opt(OPT_DCC_FILTER_REENABLE_MINUTES), c.stored_after) << c.stored_minutes;
        EXPECT_EQ(opt(OPT_DCC_FILTER_TIMER), c.timer);
        const bool changed = c.timer != 1 || c.stored_after != c.stored_minutes;
        EXPECT_EQ(opt(OPT_DCC_FILTER_COUNTDOWN), changed ? c.stored_after * 60 : 7) << c.stored_minutes;
    }
    // Switching the filter off remembers the method for re-enabling.
    opt_set(OPT_DCC_FILTER_MODE, 2);
    opt_set(OPT_DCC_FILTER_REENABLE, 0);
    fill(573);
    choose_method(0);
    apply(573);
    EXPECT_EQ(opt(OPT_DCC_FILTER_MODE), 0);
    EXPECT_EQ(opt(OPT_DCC_FILTER_REENABLE), 2);
}

// ---- DCC server ----

int free_port()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool wait_until(const std::function<bool()>& done, int ms = 3000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

class DccServerPage : public DccRulePages {
protected:
    DccServerSettings saved = dccserver_settings;
    void TearDown() override
    {
        dccserver_stop(0);
        dccserver_settings = saved;
        DccRulePages::TearDown();
    }
};

TEST_F(DccServerPage, BoxesAndPortRoundTrip)
{
    const struct {
        int control;
        int DccServerSettings::*field;
    } boxes[] = {
        {592, &DccServerSettings::sends}, {593, &DccServerSettings::chats},
        {594, &DccServerSettings::fserve}, {595, &DccServerSettings::lookup},
    };
    for (const auto& b : boxes)
        for (int stored : {0, 1}) {
            dccserver_settings = DccServerSettings{};
            dccserver_settings.*b.field = stored;
            fill(588);
            EXPECT_EQ(dlg_checked(dialog, b.control), stored) << b.control;
            dlg_set_checked(dialog, b.control, !stored);
            apply(588);
            EXPECT_EQ(dccserver_settings.*b.field, !stored) << b.control;
            // Saved: a fresh load reads it back.
            dccserver_settings = DccServerSettings{};
            dccserver_load_settings();
            EXPECT_EQ(dccserver_settings.*b.field, !stored) << b.control;
        }
    const struct {
        const char* typed;
        int port;
    } ports[] = {{"59", 59}, {"65535", 65535}, {"1", 1}, {"70000", 59}, {"", 0}};
    for (const auto& p : ports) {
        dccserver_settings = DccServerSettings{};
        fill(588);
        EXPECT_EQ(dlg_text(dialog, 590), "59");
        dlg_set_text(dialog, 590, p.typed);
        apply(588);
        EXPECT_EQ(dccserver_settings.port, p.port) << p.typed;
        EXPECT_EQ(dccserver_listening(), 0) << "off stays off";
    }
}

TEST_F(DccServerPage, SwitchAndPortRestartTheServerAcceptFlagsDoNot)
{
    const int port = free_port();
    ASSERT_GT(port, 0);
    dccserver_settings = DccServerSettings{};
    fill(588);
    dlg_set_checked(dialog, 588, 1);
    dlg_set_text(dialog, 590, std::to_string(port));
    apply(588);
    ASSERT_EQ(dccserver_listening(), 1);

    // A caller waits with its request unsent.
    QTcpSocket caller;
    caller.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    ASSERT_TRUE(wait_until([&] { return caller.state() == QAbstractSocket::ConnectedState; }));
    wait_until([] { return false; }, 200);

    // Only the accept flags change: the server and its caller stay.
    fill(588);
    dlg_set_checked(dialog, 593, 0);
    apply(588);
    EXPECT_EQ(dccserver_listening(), 1);
    wait_until([] { return false; }, 200);
    EXPECT_EQ(caller.state(), QAbstractSocket::ConnectedState);
    // Apply again with nothing changed: still the same caller.
    fill(588);
    apply(588);
    wait_until([] { return false; }, 200);
    EXPECT_EQ(caller.state(), QAbstractSocket::ConnectedState);

    // A new port: the server stops completely and listens on the new one.
    const int port2 = free_port();
    ASSERT_GT(port2, 0);
    fill(588);
    dlg_set_text(dialog, 590, std::to_string(port2));
    apply(588);
    EXPECT_EQ(dccserver_listening(), 1);
    EXPECT_TRUE(wait_until([&] { return caller.state() == QAbstractSocket::UnconnectedState; }));
    QTcpSocket again;
    again.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port2));
    EXPECT_TRUE(wait_until([&] { return again.state() == QAbstractSocket::ConnectedState; }));

    // Switched off: nothing listens.
    fill(588);
    dlg_set_checked(dialog, 588, 0);
    apply(588);
    EXPECT_EQ(dccserver_listening(), 0);
    QTcpSocket refused;
    refused.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port2));
    EXPECT_TRUE(wait_until([&] { return refused.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_NE(refused.state(), QAbstractSocket::ConnectedState);
}

}  // namespace
