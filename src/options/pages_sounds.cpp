// The Sounds and Requests pages of the options dialog: each event's sound,
// the beeps, the sound requests of other users and the sound folders.
#include <QDialog>
#include <QLineEdit>

#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "app/file_dialogs.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "options/option_bindings.h"
#include "options/options_page.h"
#include "options/page_rules.h"
#include "options/pages_display.h"
#include "media/sound_events.h"
#include "media/sound_player.h"
#include "platform/platform_utils.h"

namespace {

// ---- Sounds (770) ----

const DlgControl k770[] = {
    {280, kDlgCheck, "Sesleri &etkinleştir", 4, 4, 110, 10},
    {281, kDlgLabel, "&Olay:", 4, 20, 28, 8},
    {282, kDlgCombo, "", 34, 18, 86, 120},
    {283, kDlgButton, "", 124, 17, 78, 14},
    {284, kDlgButton, "Çal", 206, 17, 20, 14},
    {285, kDlgGroupBox, "Bip", 4, 34, 222, 124},
    {286, kDlgCheck, "&Kanal mesajlarında", 10, 46, 100, 10},
    {287, kDlgCheck, "Ö&zel mesajlarda", 10, 58, 100, 10},
    {288, kDlgCheck, "&Tamponda", 10, 82, 100, 10},
    {289, kDlgLabel, "Bip &sayısı:", 10, 98, 60, 8},
    {290, kDlgLabel, "", 4, 4, 0, 0},
    {291, kDlgNumber, "", 72, 96, 30, 12, 0, 2},
    {292, kDlgLabel, "&Aralık:", 110, 98, 40, 8},
    {293, kDlgNumber, "", 152, 96, 30, 12, 0, 3},
    {294, kDlgCheck, "&Yerleşik bip sesleri", 10, 114, 120, 10},
    {295, kDlgCheck, "Bilgisayarın &hoparlörü", 10, 126, 120, 10},
    {296, kDlgCheck, "Tıklamaları &yönlendir", 10, 138, 120, 10},
    {297, kDlgCheck, "&Sohbet mesajlarında", 10, 70, 100, 10},
};
const DlgTemplate kTemplate770 = {770, "", 230, 160, k770, std::size(k770)};

const OptionBinding kSoundBindings[] = {
    {280, 5, 14}, {286, 0, 2}, {287, 4, 1}, {297, 8, 15}, {288, 1, 20},
    {291, 1, 0, 0, false, true, 0, 20}, {293, 1, 1, 0, false, true, 1, 999},
    {294, 1, 31}, {295, 1, 32}, {296, 1, 33},
};

// The events of the combo, in its order: their names and event numbers.
const struct {
    int text;
    int event;
} kSoundEvents[] = {
    {4386, kSoundEventConnect}, {4337, kSoundEventDisconnect}, {4382, kSoundEventJoin},
    {4383, kSoundEventPart},    {4340, kSoundEventInvite},     {4384, kSoundEventKick},
    {4342, kSoundEventQuery},   {4341, kSoundEventNotice},     {4336, kSoundEventSend},
    {4381, kSoundEventChat},    {4385, kSoundEventDccOk},      {4359, kSoundEventDccFail},
    {4338, kSoundEventFlash},
};
constexpr int kShownEvents = static_cast<int>(std::size(kSoundEvents));

// Each event's sound as the page edits it: a mode and its file.
struct EventSound {
    int mode = kSoundModeNone;
    std::string file;
};
EventSound g_event_sounds[kShownEvents];

int shown_event(QDialog* d)
{
    const int at = dlg_combo_index(d, 282);
    return at >= 0 && at < kShownEvents ? at : 0;
}

// The sound button: no sound, beep, or the file's name.
void show_event_sound(QDialog* d)
{
    const EventSound& s = g_event_sounds[shown_event(d)];
    std::string text;
    if (s.mode == kSoundModeBeep)
        text = text_load_string(2983);
    else if (s.mode == kSoundModeFile)
        text = s.file.substr(s.file.rfind('/') + 1);
    else
        text = text_load_string(2982);
    dlg_set_text(d, 283, text);
}

void fill_event_sounds(QDialog* d)
{
    std::string texts[kShownEvents];
    const char* items[kShownEvents];
    for (int i = 0; i < kShownEvents; ++i) {
        texts[i] = text_load_string(kSoundEvents[i].text);
        items[i] = texts[i].c_str();
        EventSound& s = g_event_sounds[i];
        s.mode = sound_event_mode(kSoundEvents[i].event);
        s.file = s.mode == kSoundModeFile ? sound_event_file(kSoundEvents[i].event) : std::string();
    }
    dlg_combo_fill(d, 282, items, kShownEvents, 0);
    show_event_sound(d);
}

// Steps the shown event through the modes: none, beep, a file (chosen in
// the file dialog; none when cancelled), none.
void step_event_sound(QDialog* d)
{
    EventSound& s = g_event_sounds[shown_event(d)];
    if (s.mode == kSoundModeNone) {
        s.mode = kSoundModeBeep;
    } else if (s.mode == kSoundModeBeep) {
        std::vector<std::string> chosen;
        const int got = file_dialog_run(d, kFileDialogFile, sound_folder_of_kind(kSoundWave) + "*.wav",
                                        text_load_string(5101), "", chosen);
        s.mode = got == 1 && !chosen.empty() ? kSoundModeFile : kSoundModeNone;
        s.file = s.mode == kSoundModeFile ? chosen.front() : std::string();
    } else {
        s.mode = kSoundModeNone;
        s.file.clear();
    }
    show_event_sound(d);
}

// Stops what plays; when nothing plays, plays the shown sound.
void play_event_sound(QDialog* d)
{
    if (sound_pending_find(kPlayingWave) || sound_pending_find(kPlayingMidi) || sound_pending_find(kPlayingSong)) {
        sound_stop(0, 1);
        return;
    }
    const EventSound& s = g_event_sounds[shown_event(d)];
    if (s.mode == kSoundModeBeep)
        beep_repeat_timer(1);
    else if (s.mode == kSoundModeFile)
        sound_play_file(s.file, -1, nullptr);
}

void apply_event_sounds()
{
    for (int i = 0; i < kShownEvents; ++i) {
        const EventSound& s = g_event_sounds[i];
        sound_set_event_file(kSoundEvents[i].event, s.mode == kSoundModeFile   ? s.file
                                                    : s.mode == kSoundModeBeep ? std::string(kSoundBeepValue)
                                                                               : std::string());
    }
    sound_save_event_settings();
}

// The values 291, 293, 294 and 295 had when the dialog opened: they act
// while the page is open and Cancel puts them back.
struct SoundsOpen {
    int count = 0, delay = 0, builtin = 0, speaker = 0;
    bool filled = false;
};
SoundsOpen g_sounds;

// A number field clamped to its range while typing; the value acts at once.
void clamp_field(QDialog* d, int id, OptionId option, int low, int high)
{
    const std::string text = dlg_text(d, id);
    if (text.empty())
        return;
    long long v = page_number(text);
    const long long bounded = v < low ? low : v > high ? high : v;
    if (bounded != v || std::to_string(bounded) != text)
        dlg_set_text(d, id, std::to_string(bounded));
    opt_set(option, static_cast<int>(bounded));
}

void fill_sounds(OptionsEdit& e)
{
    QDialog* d = e.dialog;
    g_sounds = {opt(OPT_BEEP_COUNT), opt(OPT_BEEP_DELAY), opt(OPT_BEEP_BUILTIN_SOUNDS), opt(OPT_BEEP_SPEAKER), true};
    option_bindings_fill(d, kSoundBindings);
    fill_event_sounds(d);
    for (const auto& [id, option, low, high] :
         {std::tuple{291, OPT_BEEP_COUNT, 0, 20}, std::tuple{293, OPT_BEEP_DELAY, 1, 999}}) {
        if (auto* edit = qobject_cast<QLineEdit*>(dlg_item(d, id))) {
            QObject::disconnect(edit, &QLineEdit::textEdited, nullptr, nullptr);
            QObject::connect(edit, &QLineEdit::textEdited, edit,
                             [d, id = id, option = option, low = low, high = high] { clamp_field(d, id, option, low, high); });
        }
    }
}

int command_sounds(OptionsEdit& e, int id)
{
    QDialog* d = e.dialog;
    if (id == 282) {
        show_event_sound(d);
        return 1;
    }
    if (id == 283) {
        step_event_sound(d);
        return 1;
    }
    if (id == 284) {
        play_event_sound(d);
        return 1;
    }
    if (id == 294 || id == 295) {
        const int other = id == 294 ? 295 : 294;
        if (dlg_checked(d, id))
            dlg_set_checked(d, other, 0);
        opt_set(OPT_BEEP_BUILTIN_SOUNDS, dlg_checked(d, 294));
        opt_set(OPT_BEEP_SPEAKER, dlg_checked(d, 295));
        return 1;
    }
    return 0;
}

void apply_sounds(OptionsEdit& e)
{
    option_bindings_apply(e.dialog, kSoundBindings);
    apply_event_sounds();
    g_sounds.filled = false;
}

void cancel_sounds(OptionsEdit&)
{
    if (!g_sounds.filled)
        return;
    opt_set(OPT_BEEP_COUNT, g_sounds.count);
    opt_set(OPT_BEEP_DELAY, g_sounds.delay);
    opt_set(OPT_BEEP_BUILTIN_SOUNDS, g_sounds.builtin);
    opt_set(OPT_BEEP_SPEAKER, g_sounds.speaker);
    g_sounds.filled = false;
}

// ---- Requests (730) ----

const DlgControl k730[] = {
    {335, kDlgCheck, "Ses isteklerini &kabul et", 4, 4, 150, 10},
    {336, kDlgGroupBox, "Ses istekleri", 4, 18, 222, 52},
    {337, kDlgCheck, "Ses çalarken isteği &yoksay", 10, 30, 200, 10},
    {338, kDlgCheck, "Ses yoksa &uyar", 10, 42, 200, 10},
    {339, kDlgCheck, "Özel &mesajla yanıtla", 10, 86, 200, 10},
    {340, kDlgCheck, "Takma ad dosyası isteklerini &dinle", 10, 74, 200, 10},
    {341, kDlgLabel, "&Ses klasörü:", 4, 106, 60, 8},
    {342, kDlgCombo, "", 66, 104, 70, 80},
    {343, kDlgButton, "", 4, 120, 222, 14},
};
const DlgTemplate kTemplate730 = {730, "", 230, 160, k730, std::size(k730)};

const OptionBinding kRequestBindings[] = {{335, 3, 18}, {337, 3, 19}, {338, 3, 20}, {340, 1, 19}, {339, 1, 22}};

const char* const kFolderKinds[] = {"Wave (*.wav)", "Midi (*.mid)", "Mp3 (*.mp3)", "Wma (*.wma)", "Ogg (*.ogg)"};

std::string MainSettings::*const kFolderFields[] = {&MainSettings::waves_dir, &MainSettings::midis_dir,
                                                     &MainSettings::mp3s_dir, &MainSettings::wmas_dir,
                                                     &MainSettings::oggs_dir};

// The five folders as the page edits them.
std::string g_folders[5];

void show_folder(QDialog* d)
{
    const int kind = dlg_combo_index(d, 342);
    dlg_set_text(d, 343, g_folders[kind >= 0 && kind < 5 ? kind : 0]);
}

void fill_requests(OptionsEdit& e)
{
    QDialog* d = e.dialog;
    option_bindings_fill(d, kRequestBindings);
    for (int i = 0; i < 5; ++i)
        g_folders[i] = main_settings.*kFolderFields[i];
    dlg_combo_fill(d, 342, kFolderKinds, 5, 0);
    show_folder(d);
}

int command_requests(OptionsEdit& e, int id)
{
    QDialog* d = e.dialog;
    if (id == 342) {
        show_folder(d);
        return 1;
    }
    if (id == 343) {
        const int kind = dlg_combo_index(d, 342);
        std::string& folder = g_folders[kind >= 0 && kind < 5 ? kind : 0];
        filedlg_state().remembered_folder = folder.empty() ? settings_dir : folder;
        if (filedlg_open(d, 0, text_load_string(5102), nullptr, 4) == 1) {
            folder = filedlg_state().remembered_folder;
            show_folder(d);
        }
        return 1;
    }
    return 0;
}

void apply_requests(OptionsEdit& e)
{
    option_bindings_apply(e.dialog, kRequestBindings);
    for (int i = 0; i < 5; ++i)
        main_settings.*kFolderFields[i] = g_folders[i];
}

}  // namespace

void pages_sounds_install()
{
    options_page_register({280, &kTemplate770, fill_sounds, apply_sounds, cancel_sounds, command_sounds});
    options_page_register({335, &kTemplate730, fill_requests, apply_requests, nullptr, command_requests});
}

void pages_sounds_uninstall()
{
    options_page_unregister(280);
    options_page_unregister(335);
}
