// The address book's control and nick-colour pages: the entry texts their
// dialogs build and their lists show, the page operations (kinds kept
// apart, a moved line keeping its value), and OK handing the lists to the
// running program and to "control.ini" and [cnicks].
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "model/window_record.h"
#include "display/nick_colours.h"
#include "irc/chat_test_support.h"
#include "irc/lists/ignore_list.h"
#include "platform/platform_utils.h"
#include "tools/address_book_dialog.h"
#include "tools/control_entries.h"
#include "tools/control_pages.h"

namespace fs = std::filesystem;

namespace {

std::string read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> texts(StringNode* n)
{
    std::vector<std::string> out;
    for (; n; n = n->next) out.push_back(n->text);
    return out;
}

struct DisplayCase {
    const char* entry;
    int kind;
    std::uint32_t value;
    const char* shown;
};

TEST(ControlEntryText, ThePageShowsKindsChannelsNumberAndNetwork)
{
    const DisplayCase cases[] = {
        {"*!*@h.example", kControlIgnore, 0x10000, "*!*@h.example (all)"},
        {"*!*@h.example,ctcp,private", kControlIgnore, 0x10000, "*!*@h.example (pt)"},
        {"a!*@*,exclude,codes,invite,dcc,ctcp,notice,channel,private", kControlIgnore, 0,
         "a!*@* (pcntdikx)"},
        {"*!*@h,dcc,\"Net\"", kControlIgnore, 0x10000 | 120, "*!*@h (d) [120] - Net"},
        {"*!*@h,\"Net\"", kControlIgnore, 0, "*!*@h (all) - Net"},
        {"*!*@h", kControlOp, 0x10000 | 5, "*!*@h"},  // the number is an ignore's only
        {"*!*@h,#a,#b", kControlVoice, 0, "*!*@h (#a,#b)"},
        {"bob,#a,\"Net\"", kControlProtect, 0, "bob (#a) - Net"},
    };
    for (const DisplayCase& c : cases)
        EXPECT_EQ(control_entry_display(c.entry, c.kind, c.value), c.shown) << c.entry;
}

struct BuildCase {
    int kind;
    ControlEntryForm form;
    std::uint32_t value_in;
    const char* entry;
    std::uint32_t value_out;
};

TEST(ControlEntryText, TheDialogBuildsTheEntry)
{
    auto form = [](const char* mask, const char* channels, int kinds, bool timed, int seconds, const char* net) {
        ControlEntryForm f;
        f.mask = mask;
        f.channels = channels;
        f.kinds = kinds;
        f.timed = timed;
        f.seconds = seconds;
        f.network = net;
        return f;
    };
    const BuildCase cases[] = {
        // Nothing ticked: the mask alone (every kind).
        {kControlIgnore, form("*!*@h.example", "", 0, false, 0, ""), 0x10000, "*!*@h.example", 0x10000},
        {kControlIgnore, form("  x!y@h.example  more", "", 1 | 8, false, 0, ""), 0x10000,
         "*!*@h.example,private,ctcp", 0x10000},
        // Timed: the low half takes the seconds, the high half stays.
        {kControlIgnore, form("*!*@h", "", 0, true, 60, " Net extra"), 0x30000, "*!*@h,\"Net\"", 0x3003C},
        // Not timed clears an earlier number.
        {kControlIgnore, form("*!*@h", "", 4, false, 60, ""), 0x2002A, "*!*@h,notice", 0x20000},
        // A full address becomes its host mask; a bare nick a nick mask.
        {kControlOp, form("nick!user@host.example", "", 0, false, 0, ""), 0, "*!*@host.example", 0},
        {kControlOp, form("nick", "", 0, false, 0, ""), 0, "nick!*@*", 0},
        {kControlVoice, form("a", " #a  #b,,#c ,", 0, false, 0, ""), 0, "a!*@*,#a,#b,#c", 0},
        // A wildcard mask is already a mask: it stays as typed.
        {kControlVoice, form("nick!*@*.example", "", 0, false, 0, ""), 0, "nick!*@*.example", 0},
        // A bare nick on the protect list stays a bare nick; with an address it does not.
        {kControlProtect, form("bob", "#x", 0, false, 0, "Net"), 0, "bob,#x,\"Net\"", 0},
        {kControlProtect, form("bob!b@h", "", 0, false, 0, ""), 0, "*!*@h", 0},
        // The mask is cut at a comma.
        {kControlOp, form("*!*@h,#sneaky", "", 0, false, 0, ""), 0, "*!*@h", 0},
    };
    for (const BuildCase& c : cases) {
        std::uint32_t v = c.value_in;
        EXPECT_EQ(control_entry_build(c.form, c.kind, v), c.entry) << c.form.mask;
        EXPECT_EQ(v, c.value_out) << c.form.mask;
    }
    std::uint32_t v = 7;
    EXPECT_EQ(control_entry_build(form("  ", "#a", 1, true, 30, "Net"), kControlIgnore, v), "");
    EXPECT_EQ(control_entry_build(form(",x", "", 0, false, 0, ""), kControlOp, v), "");
}

TEST(ControlEntryText, TheDialogOpensWithTheEntrysFieldsAndBuildsItAgain)
{
    ControlEntryForm f = control_entry_form("*!*@h,ctcp,private,bogus,\"Net\"", kControlIgnore, "#&");
    EXPECT_EQ(f.mask, "*!*@h");
    EXPECT_EQ(f.kinds, 1 | 8);
    EXPECT_EQ(f.network, "Net");
    std::uint32_t v = 0x10000;
    EXPECT_EQ(control_entry_build(f, kControlIgnore, v), "*!*@h,private,ctcp,\"Net\"");

    // Only words starting with a channel type are channels.
    f = control_entry_form("*!*@h,#a,notachan,&b", kControlOp, "#&");
    EXPECT_EQ(f.channels, "#a,&b");
    f = control_entry_form("*!*@h,#a", kControlOp, "&");
    EXPECT_EQ(f.channels, "");
}

TEST(CnickEntryText, TheDialogBuildsTheRuleLine)
{
    CnickEntryForm f;
    EXPECT_EQ(cnick_entry_build(f), ",99,,,1,1,0,0,0") << "a rule that tests nothing matches every nick";
    EXPECT_TRUE(f.any_mode && f.no_mode);

    f = CnickEntryForm();
    f.lists = 16;
    EXPECT_EQ(cnick_entry_build(f), ",99,,,0,0,16,0,0") << "a list is a test";

    f = CnickEntryForm();
    f.use_mask = true;
    f.mask = " bob*,x  other";
    f.colour = 4;
    f.use_modes = true;
    f.modes = "@+ extra";
    f.use_levels = true;
    f.levels = "10,, friend ,";
    f.method = 2;
    f.idle = -5;
    EXPECT_EQ(cnick_entry_build(f), "bob*,4,@+,10 friend,0,0,0,2,0");

    // Unticked boxes keep their texts out of the rule.
    f.use_mask = f.use_modes = f.use_levels = false;
    f.colour = 16;
    f.idle = 30;
    f.method = 7;
    EXPECT_EQ(cnick_entry_build(f), ",99,,,1,1,0,0,30");

    CnickEntryForm back;
    ASSERT_TRUE(cnick_entry_form("bob*,4,@+,10 friend,0,1,6,1,20", back));
    EXPECT_TRUE(back.use_mask && back.use_modes && back.use_levels);
    EXPECT_EQ(back.levels, "10,friend");
    EXPECT_EQ(back.lists, 6);
    EXPECT_EQ(cnick_entry_build(back), "bob*,4,@+,10 friend,0,1,6,1,20");
    EXPECT_FALSE(cnick_entry_form("", back));
    EXPECT_EQ(cnick_line_colour("x,12,,,0,0,0,0,0"), 12);
    EXPECT_EQ(cnick_line_colour(""), 99);
}

// A settings folder of its own and a live connection.
class ControlPages : public ChatLink {
protected:
    void SetUp() override
    {
        ChatLink::SetUp();
        dir_ = fs::temp_directory_path() / ("kest_control_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        saved_dir_ = settings_dir;
        saved_ini_ = main_ini_path;
        settings_dir = dir_.string() + "/";
        main_ini_path = (dir_ / "kest.ini").string();
        saved_rules_ = cnick_rules;
        for (StringNode** h : heads()) strlist_free(h);
        main_settings.ignore_list = strlist_append(nullptr, std::string_view("*!*@old.example,ctcp"), 0);
        main_settings.aop_list = strlist_append(nullptr, std::string_view("*!*@op.example,#a"), 0);
        for (OptionId o : {OPT_IGNORE_ENABLED, OPT_AUTO_OP_ENABLED, OPT_AUTO_VOICE_ENABLED, OPT_PROTECT_ENABLED,
                           OPT_AUTO_OP_DELAY, OPT_NICK_COLOURS_ENABLED})
            saved_opts_.push_back({o, opt(o)});
        opt_set(OPT_IGNORE_ENABLED, 1);
        opt_set(OPT_AUTO_OP_ENABLED, 0);
    }
    void TearDown() override
    {
        ignore_tick_timed(2);
        ignore_tick_timed(0);
        for (StringNode** h : heads()) strlist_free(h);
        for (auto& [o, v] : saved_opts_) opt_set(o, v);
        cnick_rules = saved_rules_;
        settings_dir = saved_dir_;
        main_ini_path = saved_ini_;
        fs::remove_all(dir_);
        ChatLink::TearDown();
    }
    static std::vector<StringNode**> heads()
    {
        return {&main_settings.ignore_list, &main_settings.aop_list, &main_settings.avoice_list,
                &main_settings.protect_list};
    }
    static std::vector<std::string> rows(QListWidget* l)
    {
        std::vector<std::string> out;
        for (int i = 0; i < l->count(); ++i) out.push_back(l->item(i)->text().toStdString());
        return out;
    }
    fs::path dir_;
    std::string saved_dir_, saved_ini_;
    std::vector<NickColorRule> saved_rules_;
    std::vector<std::pair<OptionId, int>> saved_opts_;
};

TEST_F(ControlPages, EachKindKeepsItsOwnLinesAndFlag)
{
    ControlPage page("#&");
    EXPECT_EQ(rows(page.list), (std::vector<std::string>{"*!*@old.example (t)"}));
    EXPECT_TRUE(page.enabled->isChecked());
    page.add_line("*!*@new.example", 0x10000 | 30);
    page.enabled->setChecked(false);

    page.control_page_show(kControlOp);
    EXPECT_EQ(rows(page.list), (std::vector<std::string>{"*!*@op.example (#a)"}));
    EXPECT_FALSE(page.enabled->isChecked());
    page.enabled->setChecked(true);
    page.control_page_show(kControlVoice);
    EXPECT_EQ(page.list->count(), 0);

    page.control_page_show(kControlIgnore);
    EXPECT_EQ(rows(page.list), (std::vector<std::string>{"*!*@old.example (t)", "*!*@new.example (all) [30]"}));
    EXPECT_FALSE(page.enabled->isChecked());
    // Switching twice to the same kind changes nothing.
    page.control_page_show(kControlIgnore);
    EXPECT_EQ(page.list->count(), 2);
    // Nothing has reached the program yet.
    EXPECT_EQ(texts(main_settings.ignore_list), (std::vector<std::string>{"*!*@old.example,ctcp"}));
    EXPECT_EQ(opt(OPT_IGNORE_ENABLED), 1);
}

TEST_F(ControlPages, ButtonsFollowTheSelectionAndMovesKeepTheValue)
{
    ControlPage page("#&");
    page.add_line("*!*@b.example", 0x10000 | 60);
    page.add_line("*!*@a.example", 0x10000);
    struct Case {
        std::vector<int> selected;
        bool edit, del, move;
    };
    const Case cases[] = {{{}, false, false, false}, {{1}, true, true, true}, {{0, 2}, false, true, false}};
    for (const Case& c : cases) {
        page.list->clearSelection();
        for (int r : c.selected) page.list->item(r)->setSelected(true);
        EXPECT_TRUE(page.add->isEnabled());
        EXPECT_EQ(page.edit->isEnabled(), c.edit);
        EXPECT_EQ(page.del->isEnabled(), c.del);
        EXPECT_EQ(page.up->isEnabled(), c.move);
        EXPECT_EQ(page.down->isEnabled(), c.move);
        EXPECT_TRUE(page.sort->isEnabled());
    }
    page.list->clearSelection();
    page.list->item(1)->setSelected(true);
    page.move_selected(-1);
    EXPECT_EQ(page.list->item(0)->data(kControlValueRole).toUInt(), 0x10000u | 60);
    EXPECT_EQ(page.list->item(0)->text().toStdString(), "*!*@b.example (all) [60]");
    page.move_selected(-1);  // already first: stays
    EXPECT_EQ(page.list->item(0)->data(kControlValueRole).toUInt(), 0x10000u | 60);

    page.control_page_sort();
    EXPECT_EQ(rows(page.list), (std::vector<std::string>{"*!*@a.example (all)", "*!*@b.example (all) [60]",
                                                         "*!*@old.example (t)"}));
    EXPECT_EQ(page.list->item(1)->data(kControlValueRole).toUInt(), 0x10000u | 60);

    // Deleting two lines selects the one above the first.
    page.list->clearSelection();
    page.list->item(1)->setSelected(true);
    page.list->item(2)->setSelected(true);
    page.delete_selected();
    EXPECT_EQ(rows(page.list), (std::vector<std::string>{"*!*@a.example (all)"}));
    EXPECT_TRUE(page.list->item(0)->isSelected());
    EXPECT_FALSE(page.sort->isEnabled());
}

TEST_F(ControlPages, ApplyingReplacesTheListsSavesThemAndTimesTheIgnores)
{
    ignore_timed_add("*!*@old.example", "*", 500);
    ControlPage page("#&");
    EXPECT_EQ(page.list->item(0)->data(kControlValueRole).toUInt() & 0xFFFF, 500u);
    page.list->item(0)->setSelected(true);
    page.delete_selected();
    page.add_line("*!*@t.example,dcc", 0x10000 | 120);
    page.control_page_show(kControlProtect);
    page.add_line("bob,#x", 0x10000);
    page.enabled->setChecked(true);
    page.random_delay->setChecked(true);
    page.apply();

    EXPECT_EQ(texts(main_settings.ignore_list), (std::vector<std::string>{"*!*@t.example,dcc"}));
    EXPECT_EQ(texts(main_settings.aop_list), (std::vector<std::string>{"*!*@op.example,#a"}));
    EXPECT_EQ(texts(main_settings.protect_list), (std::vector<std::string>{"bob,#x"}));
    EXPECT_EQ(opt(OPT_PROTECT_ENABLED), 1);
    EXPECT_EQ(opt(OPT_AUTO_OP_DELAY), 1);
    EXPECT_EQ(ignore_timed_seconds("*!*@t.example"), 120);
    EXPECT_EQ(ignore_timed_seconds("*!*@old.example"), 0) << "a deleted entry keeps no timer";

    const std::string file = read_file(dir_ / "control.ini");
    EXPECT_NE(file.find("*!*@t.example,dcc"), std::string::npos) << file;
    EXPECT_NE(file.find("bob,#x"), std::string::npos) << file;
    EXPECT_EQ(file.find("old.example"), std::string::npos) << file;

    // The file reads back into the same lists; applying again changes nothing.
    for (StringNode** h : heads()) strlist_free(h);
    ini_load_user_lists();
    EXPECT_EQ(texts(main_settings.protect_list), (std::vector<std::string>{"bob,#x"}));
    EXPECT_EQ(texts(main_settings.ignore_list), (std::vector<std::string>{"*!*@t.example,dcc"}));
    ControlPage again("#&");
    again.apply();
    EXPECT_EQ(read_file(dir_ / "control.ini"), file);
    EXPECT_EQ(texts(main_settings.aop_list), (std::vector<std::string>{"*!*@op.example,#a"}));
}

TEST_F(ControlPages, NickColourPageRebuildsTheRulesInOrder)
{
    cnick_rules.clear();
    NickColorRule r;
    ASSERT_TRUE(cnick_rule_parse(r, "alice,4,,,0,0,0,0,0"));
    cnick_rules.push_back(r);
    ASSERT_TRUE(cnick_rule_parse(r, ",9,@,,0,0,0,1,0"));
    cnick_rules.push_back(r);
    opt_set(OPT_NICK_COLOURS_ENABLED, 0);

    CnickPage page;
    ASSERT_EQ(page.list->count(), 2);
    EXPECT_TRUE(page.list->item(0)->isSelected());
    EXPECT_EQ(page.list->item(0)->data(kControlValueRole).toInt(), 4);
    EXPECT_EQ(page.list->item(1)->text().toStdString(), "Any nick (@) [M]");
    EXPECT_FALSE(page.enabled->isChecked());

    page.move_selected(1);  // alice goes second, keeping its colour
    EXPECT_EQ(page.list->item(1)->data(kControlValueRole).toInt(), 4);
    EXPECT_TRUE(page.list->item(1)->isSelected());
    page.add_line("");  // does not parse: shown, not kept
    EXPECT_EQ(page.list->item(2)->data(kControlValueRole).toInt(), 99);
    page.add_line("bob,12,,,0,0,16,2,10");
    page.enabled->setChecked(true);
    page.apply();

    ASSERT_EQ(cnick_rules.size(), 3u);
    EXPECT_EQ(cnick_rule_value(cnick_rules[0]), ",9,@,,0,0,0,1,0");
    EXPECT_EQ(cnick_rule_value(cnick_rules[1]), "alice,4,,,0,0,0,0,0");
    EXPECT_EQ(cnick_rule_value(cnick_rules[2]), "bob,12,,,0,0,16,2,10");
    EXPECT_EQ(opt(OPT_NICK_COLOURS_ENABLED), 1);

    // Saved to [cnicks]: a fresh load gives the same rules.
    cnick_rules.clear();
    cnick_load();
    ASSERT_EQ(cnick_rules.size(), 3u);
    EXPECT_EQ(cnick_rule_value(cnick_rules[1]), "alice,4,,,0,0,0,0,0");
}

TEST_F(ControlPages, TheEntryDialogsFillAndReadTheirControls)
{
    ControlEntryDialog d(kControlIgnore, "x!y@h.example,private,\"Net\"", true, "#", nullptr);
    EXPECT_EQ(d.mask->text().toStdString(), "x!y@h.example");
    EXPECT_TRUE(d.kinds[0]->isChecked());
    EXPECT_FALSE(d.kinds[1]->isChecked());
    EXPECT_EQ(d.network->text().toStdString(), "Net");
    d.kinds[7]->setChecked(true);
    d.timed->setChecked(true);
    d.seconds->setCurrentText("240");
    std::uint32_t v = 0x10000;
    EXPECT_EQ(d.result(v), "*!*@h.example,private,exclude,\"Net\"");
    EXPECT_EQ(v, 0x10000u | 240);

    CnickEntryForm f;
    CnickEntryDialog n(f, false, "@+", nullptr);
    EXPECT_EQ(n.modes->text().toStdString(), "@+") << "a new rule offers the prefixes, unticked";
    EXPECT_FALSE(n.use_modes->isChecked());
    EXPECT_EQ(n.colour->count(), 17);
    EXPECT_EQ(n.colour->currentIndex(), 0);
    n.any_mode->click();
    QTest::keyClicks(n.modes, "o");
    EXPECT_TRUE(n.use_modes->isChecked());
    EXPECT_FALSE(n.any_mode->isChecked()) << "modes and any mode exclude each other";
    n.any_mode->click();
    EXPECT_FALSE(n.use_modes->isChecked());
    QTest::keyClicks(n.mask, "z");
    EXPECT_TRUE(n.use_mask->isChecked());
    n.mask->selectAll();
    QTest::keyClick(n.mask, Qt::Key_Backspace);
    EXPECT_FALSE(n.use_mask->isChecked());
    n.colour->setCurrentIndex(16);
    n.idle->setCurrentIndex(3);
    CnickEntryForm out = n.form();
    EXPECT_EQ(cnick_entry_build(out), ",15,,,1,0,0,0,30");
}

// Through the address book: /abook -c opens the control page; OK hands the
// edited list to the program, Cancel drops it.
TEST_F(ControlPages, TheAddressBookShowsThePagesAndOkAppliesThem)
{
    address_book_dialog_install();
    win_active = status->hwnd.get();
    ASSERT_EQ(conn_current(), conn);
    for (bool ok : {false, true}) {
        bool ran = false;
        std::function<void()> act = [&] {
            QDialog* d = abook_dialog();
            if (!d || !d->isVisible() || QApplication::activeModalWidget() != d) {
                QTimer::singleShot(10, act);
                return;
            }
            ran = true;
            auto* pages = qobject_cast<QListWidget*>(dlg_item(d, 101));
            auto* list = qobject_cast<QListWidget*>(dlg_item(d, 207));
            ASSERT_NE(list, nullptr);
            EXPECT_TRUE(list->isVisible()) << "the control page is shown";
            EXPECT_EQ(pages->currentItem()->text().toStdString(), "Kontrol");
            auto* page = static_cast<ControlPage*>(list->parentWidget());
            page->add_line("*!*@added.example", 0x10000);
            pages->setCurrentRow(3);
            EXPECT_TRUE(dlg_item(d, 225)->isVisible()) << "the nick-colour page";
            if (ok)
                QTest::mouseClick(qobject_cast<QPushButton*>(dlg_item(d, 1)), Qt::LeftButton);
            else
                d->reject();
        };
        QTimer::singleShot(0, act);
        ASSERT_EQ(abook_dialog_run(kAbookControl, ""), 1);
        EXPECT_TRUE(ran);
        const std::vector<std::string> want =
            ok ? std::vector<std::string>{"*!*@old.example,ctcp", "*!*@added.example"}
               : std::vector<std::string>{"*!*@old.example,ctcp"};
        EXPECT_EQ(texts(main_settings.ignore_list), want) << (ok ? "OK" : "Cancel");
        EXPECT_EQ(fs::exists(dir_ / "control.ini"), ok);
    }
    address_book_dialog_uninstall();
}

}  // namespace
