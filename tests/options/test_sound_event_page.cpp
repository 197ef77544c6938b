// The event part of the Sounds page on its real widgets: each event's
// sound stepped through no sound, beep and a file chosen in the file
// dialog, kept per event while another is shown, and written on OK into
// the event-sound table and the settings file.
#include <gtest/gtest.h>

#define KEST_TEST_WIDGETS
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QTimer>

#include <fstream>
#include <string>

#include "core/ini.h"
#include "core/options.h"
#include "core/main_settings.h"
#include "media/sound_events.h"
#include "options/dialog_opener.h"
#include "options/options_page.h"
#include "options/pages_display.h"
#include "platform/platform_test_env.h"
#include "platform/platform_utils.h"
#include "support/test_support.h"

namespace {

class SoundEventPage : public ::testing::Test {
protected:
    TempSettingsDir settings{"kest_soundev"};
    QDialog* dialog = nullptr;
    OptionsEdit edit;
    std::string wave;

    void SetUp() override
    {
        platform_test_app();
        options_reset();
        for (int e = 0; e < kSoundEventCount; ++e)
            sound_set_event_file(e, "");
        wave = settings.path() + "ding.wav";
        std::ofstream(wave) << "RIFF";
        pages_sounds_install();
        dialog = new QDialog;
        const OptionsPageDef* def = options_page_find(280);
        ASSERT_TRUE(def && def->page_template);
        dlg_template_register(*def->page_template);
        ASSERT_EQ(dlg_clone_page(*dialog, 770), 0);
        edit.dialog = dialog;
    }
    void TearDown() override
    {
        delete dialog;
        pages_sounds_uninstall();
        for (int e = 0; e < kSoundEventCount; ++e)
            sound_set_event_file(e, "");
        options_reset();
    }
    void fill() { options_page_find(280)->fill(edit); }
    void apply() { options_page_find(280)->apply(edit); }
    void show(int row)
    {
        qobject_cast<QComboBox*>(dlg_item(dialog, 282))->setCurrentIndex(row);
        options_page_find(280)->command(edit, 282);
    }
    std::string button() { return dlg_text(dialog, 283); }
    // Clicks the sound button; a file dialog that opens picks `file`
    // (empty: cancelled). Returns whether a file dialog opened.
    bool step(const std::string& file = {})
    {
        bool opened = false;
        QTimer timer;
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!d || !d->isVisible())
                return;
            opened = true;
            if (file.empty()) {
                d->reject();
            } else {
                d->selectFile(QString::fromStdString(file));
                static_cast<QDialog*>(d)->accept();
            }
        });
        timer.start();
        options_page_find(280)->command(edit, 283);
        timer.stop();
        return opened;
    }
};

TEST_F(SoundEventPage, ButtonStepsThroughTheModes)
{
    fill();
    EXPECT_EQ(dlg_combo_index(dialog, 282), 0);
    EXPECT_EQ(qobject_cast<QComboBox*>(dlg_item(dialog, 282))->currentText().toStdString(), "Bağlanma");
    const struct {
        std::string choose;  // the file picked when the dialog opens
        bool dialog;
        std::string shown;
    } steps[] = {
        {"", false, "Beep"},
        {"", true, "Ses Yok"},       // the dialog cancelled: no sound
        {"", false, "Beep"},
        {"ding.wav", true, "ding.wav"},
        {"", false, "Ses Yok"},      // a file becomes no sound
    };
    for (const auto& s : steps) {
        EXPECT_EQ(step(s.choose.empty() ? std::string() : settings.path() + s.choose), s.dialog) << s.shown;
        EXPECT_EQ(button(), s.shown);
    }
}

TEST_F(SoundEventPage, EachEventKeepsItsSoundAndOkWritesThemAll)
{
    // Join (row 2) has a file and Kick (row 5) beeps before the page opens.
    sound_set_event_file(kSoundEventJoin, wave);
    sound_set_event_file(kSoundEventKick, "beep");
    fill();
    const struct {
        int row;
        const char* shown;
    } before[] = {{0, "Ses Yok"}, {2, "ding.wav"}, {5, "Beep"}, {12, "Ses Yok"}};
    for (const auto& b : before) {
        show(b.row);
        EXPECT_EQ(button(), b.shown) << b.row;
    }
    // Connect (row 0) beeps, Kick gets a file, Join goes silent.
    show(0);
    step();
    show(5);
    EXPECT_TRUE(step(wave));
    show(2);
    step();
    EXPECT_EQ(button(), "Ses Yok");
    show(0);
    EXPECT_EQ(button(), "Beep");
    // Nothing live before OK.
    EXPECT_EQ(sound_event_file(kSoundEventJoin), wave);
    EXPECT_EQ(sound_event_mode(kSoundEventConnect), kSoundModeNone);

    apply();
    EXPECT_EQ(sound_event_mode(kSoundEventConnect), kSoundModeBeep);
    EXPECT_EQ(sound_event_mode(kSoundEventKick), kSoundModeFile);
    EXPECT_EQ(sound_event_file(kSoundEventKick), wave);
    EXPECT_EQ(sound_event_mode(kSoundEventJoin), kSoundModeNone);
    EXPECT_EQ(sound_event_file(kSoundEventJoin), "");
    // The events not touched stay as they were.
    EXPECT_EQ(sound_event_mode(kSoundEventPart), kSoundModeNone);
    EXPECT_EQ(sound_event_mode(kSoundEventFlash), kSoundModeNone);

    // Saved: read back from the settings file.
    std::string value;
    ini_read("waves", "connect", "", value, 256, main_ini_path);
    EXPECT_EQ(value, "beep");
    ini_read("waves", "kick", "", value, 1024, main_ini_path);
    EXPECT_EQ(value, "ding.wav");
    ini_read("waves", "join", "", value, 1024, main_ini_path);
    EXPECT_EQ(value, "");
    sound_load_event_settings();
    fill();
    show(5);
    EXPECT_EQ(button(), "ding.wav");
    show(0);
    EXPECT_EQ(button(), "Beep");
    // A second OK with nothing changed keeps everything.
    apply();
    EXPECT_EQ(sound_event_file(kSoundEventKick), wave);
    EXPECT_EQ(sound_event_mode(kSoundEventConnect), kSoundModeBeep);
}

// The mode is read from the [waves] value itself, the one place the sound
// player reads when the event happens.
TEST_F(SoundEventPage, StoredValueGivesTheMode)
{
    const struct {
        const char* stored;
        int mode;
    } cases[] = {
        {"beep", kSoundModeBeep},
        {"BEEP", kSoundModeBeep},
        {"beep.wav", kSoundModeFile},
        {"ding.wav", kSoundModeFile},
        {"", kSoundModeNone},
    };
    for (const auto& c : cases) {
        ini_write("waves", "connect", c.stored[0] ? c.stored : nullptr, main_ini_path);
        sound_load_event_settings();
        EXPECT_EQ(sound_event_mode(kSoundEventConnect), c.mode) << c.stored;
        EXPECT_EQ(sound_event_mode(kSoundEventQuery), kSoundModeNone) << c.stored;
    }
    // A beep is saved back as it was read, never made into a path.
    ini_write("waves", "connect", "beep", main_ini_path);
    sound_load_event_settings();
    sound_save_event_settings();
    std::string value;
    ini_read("waves", "connect", "", value, 256, main_ini_path);
    EXPECT_EQ(value, "beep");
}

}  // namespace
