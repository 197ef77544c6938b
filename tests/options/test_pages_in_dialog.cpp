// The connection and IRC pages inside the options dialog as the program
// opens it: each page is reached from the category list, its controls are
// typed into and clicked, and OK must leave the values in the settings
// file while Cancel leaves the file and the running settings alone. The
// Servers page's editor is driven with keys, and the list it edits reaches
// the servers file only through OK.
#include <gtest/gtest.h>

#define KEST_TEST_WIDGETS
#include <QLabel>
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <string>

#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "display/font_fallback.h"
#include "irc/link/net_settings.h"
#include "irc/lists/servers.h"
#include "model/connection.h"
#include "options/options_dialog.h"
#include "options/options_page.h"
#include "options/options_pages.h"
#include "options/page_connect.h"
#include "platform/platform_utils.h"
#include "support/hook_guard.h"
#include "support/test_support.h"

namespace {

class PagesInDialog : public ::testing::Test {
    HookGuard hooks_;

protected:
    TempSettingsDir settings{"kest_pagesdlg"};
    SavedValues<MainSettings, IdentSettings, ProxySettings, int, int> saved{
        main_settings, ident_settings, proxy_settings, lang_setting_utf, lang_setting_multibyte};
    int linking = fontlink_option();

    void SetUp() override
    {
        test_app();
        ASSERT_TRUE(settings.made());
        main_settings.servers_file = settings.path() + "servers.ini";
        spit(servers_file(), "[servers]\nn0=Yerel sunucuSERVER:127.0.0.1:6667GROUP:Yerel\n");
        options_reset();
        // Both groups open, so every row of these pages is listed.
        option_set_value(6, 3, 1);
        option_set_value(6, 4, 1);
        conn = conn_new(nullptr);
        ASSERT_TRUE(conn);
        beep_play_hook = [](int) {};
        options_dialog_install();
        page_connect_install();
        options_pages_install();
    }
    void TearDown() override
    {
        options_pages_uninstall();
        page_connect_uninstall();
        options_dialog_uninstall();
        conn_free_all();
        StringNode*& list = servers_list();
        strlist_free(&list);
        options_reset();
        fontlink_set_option(linking);
        test_drain_events();
    }

    void run(const std::function<void(QDialog*)>& act)
    {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            QDialog* d = options_dialog_window();
            if (!d)
                return;
            seen = true;
            act(d);
            if (QDialog* left = options_dialog_window(); left && left->isVisible())
                click(left, 2);
        });
        options_dialog_open(0);
        test_drain_events();
        ASSERT_TRUE(seen) << "the dialog did not open";
    }
    // Shows the page from the category list, as a click on its row does.
    static void show_page(QDialog* d, int first_control)
    {
        auto* list = qobject_cast<QListWidget*>(dlg_item(d, 101));
        ASSERT_TRUE(list);
        const int row = options_category_row_of(first_control);
        ASSERT_GE(row, 0) << first_control;
        QListWidgetItem* it = list->item(row);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(it).center());
        ASSERT_TRUE(dlg_item(d, first_control)->isVisible()) << first_control;
    }
    static void click(QDialog* d, int id)
    {
        auto* b = qobject_cast<QAbstractButton*>(dlg_item(d, id));
        ASSERT_TRUE(b) << id;
        ASSERT_TRUE(b->isVisible()) << id;
        QTest::mouseClick(b, Qt::LeftButton);
    }
    static void type(QWidget* d, int id, const QString& text)
    {
        auto* e = qobject_cast<QLineEdit*>(dlg_item(d, id));
        ASSERT_TRUE(e) << id;
        ASSERT_TRUE(e->isVisible()) << id;
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        QTest::keyClicks(e, text);
    }
    std::string ini(const char* section, const char* key)
    {
        std::string out;
        ini_read(section, key, "", out, 4150, main_ini_path);
        return out;
    }
    // Changes one control on several pages.
    void change_pages(QDialog* d)
    {
        show_page(d, 175);
        type(d, 182, "+7000");
        show_page(d, 195);
        type(d, 199, "OTHER");
        show_page(d, 310);
        click(d, 310);
        type(d, 312, "50");
        show_page(d, 230);
        click(d, 239);
    }

    Connection* conn = nullptr;
};

TEST_F(PagesInDialog, OkWritesEveryPageToTheSettingsFile)
{
    const int rejoin = opt(OPT_REJOIN_ON_KICK);
    const int flood = opt(OPT_FLOOD_PROTECTION);
    run([&](QDialog* d) {
        change_pages(d);
        click(d, 1);
    });
    EXPECT_EQ(ini("text", "defport"), "+7000");
    EXPECT_EQ(ini("ident", "system"), "OTHER");
    EXPECT_EQ(opt(OPT_FLOOD_BYTES), 100);
    EXPECT_EQ(opt(OPT_FLOOD_PROTECTION), !flood);
    EXPECT_EQ(opt(OPT_REJOIN_ON_KICK), !rejoin);
    // The option lines in the file hold the same values.
    EXPECT_EQ(ini("options", "n5"), options_line_text(5));
    EXPECT_EQ(ini("options", "n0"), options_line_text(0));
}

TEST_F(PagesInDialog, CancelLeavesTheFileAndTheRunningSettings)
{
    const std::string before_port = main_settings.default_port;
    const std::string n0 = options_line_text(0), n5 = options_line_text(5);
    const std::string file_before = slurp(main_ini_path);
    const std::string servers_before = slurp(servers_file());
    run([&](QDialog* d) {
        change_pages(d);
        show_page(d, 140);
        auto* tree = qobject_cast<QTreeWidget*>(dlg_item(d, 141));
        ASSERT_TRUE(tree);
        tree->setCurrentItem(tree->topLevelItem(0));
        tree->topLevelItem(0)->setSelected(true);
        click(d, 145);
        EXPECT_EQ(tree->topLevelItemCount(), 0);
        click(d, 2);
    });
    EXPECT_EQ(main_settings.default_port, before_port);
    EXPECT_EQ(options_line_text(0), n0);
    EXPECT_EQ(options_line_text(5), n5);
    EXPECT_EQ(slurp(main_ini_path), file_before);
    EXPECT_EQ(slurp(servers_file()), servers_before);
    EXPECT_EQ(servers_group_entries("Yerel").size(), 1u);
}

TEST_F(PagesInDialog, AServerAddedWithTheEditorIsPickedForTheConnection)
{
    run([&](QDialog* d) {
        show_page(d, 140);
        bool edited = false;
        QTimer::singleShot(0, [&] {
            auto* editor = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!editor || editor == d)
                return;
            edited = true;
            type(editor, 130, "Test");
            type(editor, 131, "127.0.0.2");
            type(editor, 132, "6697");
            type(editor, 133, "Deneme");
            auto* ok = qobject_cast<QAbstractButton*>(dlg_item(editor, 1));
            QTest::mouseClick(ok, Qt::LeftButton);
        });
        click(d, 143);
        EXPECT_TRUE(edited);
        auto* tree = qobject_cast<QTreeWidget*>(dlg_item(d, 141));
        ASSERT_TRUE(tree && tree->currentItem());
        EXPECT_EQ(tree->currentItem()->text(0), "Test");
        click(d, 142);
        // Select goes back to the Connection page, which shows the choice.
        EXPECT_TRUE(dlg_item(d, 120)->isVisible());
        EXPECT_FALSE(dlg_item(d, 141)->isVisible());
        EXPECT_EQ(dlg_text(d, 129), "Deneme: Test");
        click(d, 1);
    });
    EXPECT_EQ(servers_group_entries("Deneme"), std::vector<std::string>{"TestSERVER:127.0.0.2:6697GROUP:Deneme"});
    EXPECT_EQ(conn->stored_identity[5], "127.0.0.2");
    EXPECT_EQ(conn->stored_identity[7], "Deneme");
    EXPECT_EQ(ini("text", "network"), "Deneme");
}

TEST_F(PagesInDialog, SkippingTheMessageOfTheDayWarnsWhenTicked)
{
    int warnings = 0;
    QString text;
    run([&](QDialog* d) {
        show_page(d, 260);
        auto* box = qobject_cast<QCheckBox*>(dlg_item(d, 264));
        ASSERT_TRUE(box);
        // Ticked twice (a warning each time), cleared once (none).
        for (bool expect_warning : {!box->isChecked(), box->isChecked(), !box->isChecked()}) {
            bool warned = false;
            QTimer::singleShot(0, [&] {
                QWidget* w = QApplication::activeModalWidget();
                if (!w || w == d)
                    return;
                warned = true;
                ++warnings;
                text = w->windowTitle();
                if (auto* dlg = qobject_cast<QDialog*>(w))
                    dlg->reject();
            });
            click(d, 264);
            test_drain_events();
            EXPECT_EQ(warned, expect_warning);
        }
        click(d, 1);
    });
    EXPECT_EQ(warnings, 2);
    EXPECT_EQ(text, "Kest");
    EXPECT_EQ(opt(static_cast<OptionId>(option_id(1, 10))), 1);
}

TEST_F(PagesInDialog, LanguageSwitchesAreSavedTogether)
{
    run([&](QDialog* d) {
        show_page(d, 480);
        for (int id : {494, 495, 496, 497, 498})
            dlg_set_checked(d, id, 0);
        click(d, 494);
        // Converting JIS ticks the multibyte display and editbox with it.
        EXPECT_TRUE(dlg_checked(d, 495));
        EXPECT_TRUE(dlg_checked(d, 496));
        EXPECT_FALSE(dlg_checked(d, 497));
        click(d, 1);
    });
    EXPECT_EQ(ini("language", "sjis"), "1");
    EXPECT_EQ(ini("language", "multibyte"), "1");
    EXPECT_EQ(ini("language", "mbed"), "1");
    EXPECT_EQ(ini("language", "utf"), "0");
    EXPECT_EQ(ini("language", "linking"), "0");
    EXPECT_EQ(lang_setting_utf, 0);
    EXPECT_EQ(lang_setting_multibyte, 1);
}

} // namespace

// A label shows its "&" as a mnemonic only with a buddy; on every page, no
// shown label may carry a lone "&" without one.
TEST_F(PagesInDialog, NoPageLabelShowsALiteralAmpersand)
{
    run([&](QDialog* d) {
        auto* list = qobject_cast<QListWidget*>(dlg_item(d, 101));
        ASSERT_TRUE(list);
        int pages = 0;
        for (int row = 0; row < list->count(); ++row) {
            QListWidgetItem* it = list->item(row);
            if (it->isHidden())
                continue;
            list->setCurrentRow(row);
            ++pages;
            for (QLabel* label : d->findChildren<QLabel*>()) {
                if (!label->isVisible())
                    continue;
                QString text = label->text();
                text.replace(QStringLiteral("&&"), QString());
                if (text.contains(QLatin1Char('&'))) {
                    EXPECT_TRUE(label->buddy()) << it->text().toStdString() << ": " << label->text().toStdString();
                }
            }
        }
        EXPECT_GT(pages, 10);
    });
}
