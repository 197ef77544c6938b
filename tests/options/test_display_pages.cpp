// The Sounds, Requests, Display, Display Options, Other and Mouse pages of
// the options dialog on their real widgets: copied into a dialog as the
// options dialog copies them, filled from the settings, changed through
// their controls and applied; the settings come back as the page shows
// them, bounded where the page bounds them.
#include <gtest/gtest.h>

#define KEST_TEST_WIDGETS
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QTest>

#include <string>

#include "core/main_settings.h"
#include "core/options.h"
#include "display/mouse_clicks.h"
#include "options/dialog_opener.h"
#include "options/options_page.h"
#include "options/pages_display.h"
#include "platform/platform_test_env.h"
#include "platform/platform_utils.h"
#include "support/hook_guard.h"
#include "support/test_support.h"

namespace {

const struct {
    int tmpl;
    int first;
} kPages[] = {{770, 280}, {730, 335}, {275, 460}, {280, 420}, {500, 440}, {645, 375}};

class DisplayPages : public ::testing::Test {
protected:
    TempSettingsDir settings{"kest_disppages"};
    SavedValues<MainSettings, ClickCommands> saved{main_settings, click_commands};
    QDialog* dialog = nullptr;
    OptionsEdit edit;

    void SetUp() override
    {
        platform_test_app();
        ASSERT_TRUE(settings.made());
        options_reset();
        pages_display_install();
        pages_sounds_install();
        dialog = new QDialog;
        for (const auto& p : kPages) {
            const OptionsPageDef* def = options_page_find(p.first);
            ASSERT_TRUE(def && def->page_template) << p.first;
            ASSERT_EQ(def->page_template->id, p.tmpl);
            dlg_template_register(*def->page_template);
            ASSERT_EQ(dlg_clone_page(*dialog, p.tmpl), 0) << p.tmpl;
        }
        edit.dialog = dialog;
    }
    void TearDown() override
    {
        delete dialog;
        pages_sounds_uninstall();
        pages_display_uninstall();
        options_reset();
    }
    const OptionsPageDef* page(int first) { return options_page_find(first); }
    void fill(int first) { page(first)->fill(edit); }
    void apply(int first) { page(first)->apply(edit); }
    void select(int id, int index)
    {
        auto* c = qobject_cast<QComboBox*>(dlg_item(dialog, id));
        ASSERT_TRUE(c) << id;
        c->setCurrentIndex(index);
    }
    int shown(int id) { return dlg_combo_index(dialog, id); }
    // Types into a field as the user does.
    void type(int id, const std::string& text)
    {
        auto* e = qobject_cast<QLineEdit*>(dlg_item(dialog, id));
        ASSERT_TRUE(e) << id;
        e->clear();
        QTest::keyClicks(e, QString::fromStdString(text));
    }
};

// Every check box of the pages against its option position, both ways.
TEST_F(DisplayPages, CheckBoxesRoundTripTheirOptions)
{
    const struct {
        int first;
        int control;
        OptionId option;
        bool inverted;
    } boxes[] = {
        {280, 280, OPT_SOUNDS_ENABLED, false},          {280, 286, OPT_BEEP_CHANNEL_MESSAGES, false},
        {280, 287, OPT_BEEP_PRIVATE_MESSAGES, false},   {280, 297, OPT_BEEP_CHAT_MESSAGES, false},
        {280, 288, OPT_BEEP_BUFFER, false},             {280, 296, OPT_BEEP_REDIRECT_CLICKS, false},
        {335, 335, OPT_SOUND_ACCEPT_REQUESTS, false},   {335, 337, OPT_SOUND_IGNORE_WHILE_PLAYING, false},
        {335, 338, OPT_SOUND_WARN_MISSING, false},      {335, 340, OPT_NICKFILE_LISTEN, false},
        {335, 339, OPT_NICKFILE_ANSWER_PRIVATE, false}, {460, 463, OPT_HIGHLIGHT_UNSEEN, false},
        {460, 464, OPT_SWITCHBAR_BLINK, false},         {460, 460, OPT_SWITCHBAR_LIMIT_BUTTONS, true},
        {460, 461, OPT_SWITCHBAR_DCC_WINDOWS, false},   {460, 475, OPT_SWITCHBAR_DESKTOP_WINDOWS, false},
        {460, 462, OPT_SWITCHBAR_SORT, false},          {460, 476, OPT_TOOLBAR_MULTILINE, false},
        {420, 426, OPT_DUAL_MONITORS, false},           {420, 427, OPT_FAST_TEXT, false},
    };
    for (const auto& b : boxes) {
        for (int stored : {0, 1}) {
            opt_set(b.option, stored);
            fill(b.first);
            EXPECT_EQ(dlg_checked(dialog, b.control), b.inverted ? !stored : stored) << b.control;
            // Toggled on the page, the option follows on OK.
            dlg_set_checked(dialog, b.control, !dlg_checked(dialog, b.control));
            apply(b.first);
            EXPECT_EQ(opt(b.option), !stored) << b.control;
        }
    }
}

TEST_F(DisplayPages, BeepCountAndDelayAreClampedWhileTyping)
{
    const struct {
        int control;
        const char* typed;
        const char* shown;
        OptionId option;
        int value;
    } cases[] = {
        {291, "25", "20", OPT_BEEP_COUNT, 20}, {291, "20", "20", OPT_BEEP_COUNT, 20},
        {291, "0", "0", OPT_BEEP_COUNT, 0},    {291, "3", "3", OPT_BEEP_COUNT, 3},
        {293, "0", "1", OPT_BEEP_DELAY, 1},    {293, "999", "999", OPT_BEEP_DELAY, 999},
        {293, "1", "1", OPT_BEEP_DELAY, 1},
    };
    for (const auto& c : cases) {
        fill(280);
        type(c.control, c.typed);
        EXPECT_EQ(dlg_text(dialog, c.control), c.shown) << c.typed;
        // The value acts at once, before OK.
        EXPECT_EQ(opt(c.option), c.value) << c.typed;
    }
}

TEST_F(DisplayPages, CancelPutsTheLiveBeepValuesBack)
{
    opt_set(OPT_BEEP_COUNT, 2);
    opt_set(OPT_BEEP_DELAY, 300);
    opt_set(OPT_BEEP_BUILTIN_SOUNDS, 1);
    opt_set(OPT_BEEP_SPEAKER, 0);
    fill(280);
    type(291, "7");
    type(293, "50");
    QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg_item(dialog, 295)), Qt::LeftButton);
    page(280)->command(edit, 295);
    EXPECT_EQ(opt(OPT_BEEP_COUNT), 7);
    EXPECT_EQ(opt(OPT_BEEP_SPEAKER), 1);
    page(280)->cancel(edit);
    EXPECT_EQ(opt(OPT_BEEP_COUNT), 2);
    EXPECT_EQ(opt(OPT_BEEP_DELAY), 300);
    EXPECT_EQ(opt(OPT_BEEP_BUILTIN_SOUNDS), 1);
    EXPECT_EQ(opt(OPT_BEEP_SPEAKER), 0);
    // A second cancel changes nothing more.
    opt_set(OPT_BEEP_COUNT, 9);
    page(280)->cancel(edit);
    EXPECT_EQ(opt(OPT_BEEP_COUNT), 9);
}

TEST_F(DisplayPages, BuiltInBeepsAndSpeakerExcludeEachOther)
{
    const struct {
        int ticked_before;
        int click;
        int builtin;
        int speaker;
    } cases[] = {
        {294, 295, 0, 1},
        {295, 294, 1, 0},
        {0, 294, 1, 0},
    };
    for (const auto& c : cases) {
        opt_set(OPT_BEEP_BUILTIN_SOUNDS, c.ticked_before == 294);
        opt_set(OPT_BEEP_SPEAKER, c.ticked_before == 295);
        fill(280);
        dlg_set_checked(dialog, c.click, 1);
        page(280)->command(edit, c.click);
        EXPECT_EQ(dlg_checked(dialog, 294), c.builtin) << c.click;
        EXPECT_EQ(dlg_checked(dialog, 295), c.speaker) << c.click;
        apply(280);
        EXPECT_EQ(opt(OPT_BEEP_BUILTIN_SOUNDS), c.builtin);
        EXPECT_EQ(opt(OPT_BEEP_SPEAKER), c.speaker);
    }
}

TEST_F(DisplayPages, ButtonSizeAndRowsComboStoreTheirValues)
{
    const struct {
        int stored;
        int shown;
        int chosen;
        int stores;
    } sizes[] = {{29, 0, 2, 37}, {33, 1, 0, 29}, {37, 2, 1, 33}, {31, 0, 0, 29}, {0, 0, 2, 37}};
    for (const auto& s : sizes) {
        opt_set(OPT_SWITCHBAR_BUTTON_HEIGHT, s.stored);
        fill(460);
        EXPECT_EQ(shown(466), s.shown) << s.stored;
        select(466, s.chosen);
        apply(460);
        EXPECT_EQ(opt(OPT_SWITCHBAR_BUTTON_HEIGHT), s.stores) << s.stored;
    }
    const struct {
        int auto_rows;
        int rows;
        int shown;
        int chosen;
        int stores_auto;
        int stores_rows;
    } rows[] = {
        {1, 4, 0, 3, 0, 2},   // auto shows "Auto"; "3" stores rows less one
        {0, 0, 1, 10, 0, 9},  // one row; "10" is the last
        {0, 10, 0, 0, 1, 10}, // out of range shows as auto; auto keeps the rows
        {0, -1, 0, 1, 0, 0},
    };
    for (const auto& r : rows) {
        opt_set(OPT_SWITCHBAR_AUTO_ROWS, r.auto_rows);
        opt_set(OPT_SWITCHBAR_ROWS, r.rows);
        fill(460);
        EXPECT_EQ(shown(468), r.shown) << r.rows;
        select(468, r.chosen);
        apply(460);
        EXPECT_EQ(opt(OPT_SWITCHBAR_AUTO_ROWS), r.stores_auto) << r.rows;
        EXPECT_EQ(opt(OPT_SWITCHBAR_ROWS), r.stores_rows) << r.rows;
    }
}

TEST_F(DisplayPages, ActivityColourCombosShowOutOfRangeAsTheirDefault)
{
    const struct {
        int control;
        OptionId option;
        int fallback;
    } combos[] = {
        {470, OPT_ACTIVITY_COLOUR_EVENT, 3},
        {472, OPT_ACTIVITY_COLOUR_MESSAGE, 5},
        {474, OPT_ACTIVITY_COLOUR_HIGHLIGHT, 4},
    };
    for (const auto& c : combos) {
        for (int stored : {0, 1, 16, 17, -1}) {
            opt_set(c.option, stored);
            fill(460);
            EXPECT_EQ(shown(c.control), stored < 0 || stored > 16 ? c.fallback : stored) << c.control;
            apply(460);
            EXPECT_EQ(opt(c.option), stored < 0 || stored > 16 ? c.fallback : stored) << c.control;
        }
        EXPECT_EQ(qobject_cast<QComboBox*>(dlg_item(dialog, c.control))->count(), 17);
    }
}

TEST_F(DisplayPages, SpacingAndEditboxLinesRoundTrip)
{
    for (int i = 0; i < 3; ++i) {
        opt_set(OPT_LINE_SPACING, i);
        opt_set(OPT_EDITBOX_LINES, 2 - i);
        fill(420);
        EXPECT_EQ(shown(423), i);
        EXPECT_EQ(shown(425), 2 - i);
        select(423, (i + 1) % 3);
        select(425, i);
        apply(420);
        EXPECT_EQ(opt(OPT_LINE_SPACING), (i + 1) % 3);
        EXPECT_EQ(opt(OPT_EDITBOX_LINES), i);
    }
    main_settings.app_title = "eski";
    fill(420);
    EXPECT_EQ(dlg_text(dialog, 421), "eski");
    dlg_set_text(dialog, 421, "yeni başlık");
    apply(420);
    EXPECT_EQ(main_settings.app_title, "yeni başlık");
}

TEST_F(DisplayPages, OtherPageBoundsPrefixAndBuffer)
{
    const struct {
        const char* prefix;
        const char* stored_prefix;
        const char* buffer;
        int stored_buffer;
    } cases[] = {
        {"", "/", "100", 500},     {"!", "!", "50000", 30000}, {"/", "/", "500", 500},
        {".", ".", "30000", 30000}, {"#", "#", "499", 500},     {"%", "%", "1234", 1234},
    };
    for (const auto& c : cases) {
        fill(440);
        dlg_set_text(dialog, 441, c.prefix);
        dlg_set_text(dialog, 443, c.buffer);
        apply(440);
        EXPECT_EQ(main_settings.command_char, c.stored_prefix) << c.prefix;
        EXPECT_EQ(opt(OPT_BUFFER_LINES), c.stored_buffer) << c.buffer;
        // Filled again, the page shows what was stored.
        fill(440);
        EXPECT_EQ(dlg_text(dialog, 441), c.stored_prefix);
        EXPECT_EQ(dlg_text(dialog, 443), std::to_string(c.stored_buffer));
    }
    for (const char* sep : {"", " ", "-", "~~"}) {
        dlg_set_text(dialog, 445, sep);
        apply(440);
        EXPECT_EQ(main_settings.line_separator, sep);
    }
}

TEST_F(DisplayPages, MouseFieldsRoundTripEachToItsOwnClick)
{
    const struct {
        int control;
        std::string ClickCommands::*field;
    } fields[] = {
        {383, &ClickCommands::status},   {384, &ClickCommands::query},  {386, &ClickCommands::channel},
        {387, &ClickCommands::nicklist}, {388, &ClickCommands::notify}, {385, &ClickCommands::message},
    };
    for (const auto& f : fields) {
        click_commands = ClickCommands();
        fill(375);
        dlg_set_text(dialog, f.control, "/echo " + std::to_string(f.control));
        apply(375);
        for (const auto& other : fields)
            EXPECT_EQ(click_commands.*other.field, other.control == f.control ? "/echo " + std::to_string(f.control) : "")
                << f.control << " " << other.control;
    }
    // 1,024 characters at most.
    fill(375);
    dlg_set_text(dialog, 383, std::string(1100, 'x'));
    apply(375);
    EXPECT_LE(click_commands.status.size(), 1024u);
}

TEST_F(DisplayPages, RequestFoldersAreStagedUntilOk)
{
    main_settings.waves_dir = "/w/";
    main_settings.midis_dir.clear();  // a settings load earlier in the run may have filled it
    main_settings.oggs_dir = "/o/";
    fill(335);
    EXPECT_EQ(dlg_text(dialog, 343), "/w/");
    select(342, 4);
    page(335)->command(edit, 342);
    EXPECT_EQ(dlg_text(dialog, 343), "/o/");
    select(342, 1);
    page(335)->command(edit, 342);
    EXPECT_EQ(dlg_text(dialog, 343), "");
    apply(335);
    EXPECT_EQ(main_settings.waves_dir, "/w/");
    EXPECT_EQ(main_settings.oggs_dir, "/o/");
}

}  // namespace
