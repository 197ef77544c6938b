// The event-sound table: one sound file for each of the program's events,
// kept in the [waves] section of the main settings file; and the sounds the
// rest of the program asks for (highlights, flashing, notify, SOUND
// requests and /sound, a lost connection).
#pragma once

#include <string>

struct Connection;

enum SoundEvent : int {
    kSoundEventQuery = 0,
    kSoundEventNotice,
    kSoundEventInvite,
    kSoundEventDisconnect,
    kSoundEventSend,
    kSoundEventHighlight,
    kSoundEventFlash,
    kSoundEventDccFail,
    kSoundEventChat,
    kSoundEventJoin,
    kSoundEventPart,
    kSoundEventKick,
    kSoundEventDccOk,
    kSoundEventConnect,
    kSoundEventCount
};

// Whether an event plays nothing, a beep (its value is "beep") or its file.
enum SoundEventMode : int {
    kSoundModeNone = 0,
    kSoundModeBeep = 1,
    kSoundModeFile = 2,
};
int sound_event_mode(int event);
// The value that makes an event beep.
inline constexpr const char* kSoundBeepValue = "beep";

// The file set for the event (empty when none); copied into `buffer` when given.
std::string sound_event_file(int event, std::string* buffer = nullptr);
void sound_set_event_file(int event, const std::string& path);
// [waves] of the main settings file: values absolute against the settings
// folder on load, relative where they lie inside it on save.
void sound_load_event_settings();
void sound_save_event_settings();

// A SOUND request or /sound: 1 played or queued, 0 found but not playable
// (`folder` holds where it was found), -1 not found.
int sound_request_play(const std::string& name, std::string& folder);
// A sound a highlight, flash or notify entry asks for.
void sound_entry_play(Connection* conn, const std::string& file);

// The sound of one of the program's events: nothing when none is set, the
// beep when its value is "beep", else its file with the play type.
void sound_event_play(int event, int type, Connection* conn);
// The event sound an announced event plays (its notification kind, as the
// tips and speech number them): -1 none.
int sound_event_of_kind(int kind);
// A registered link was lost: the disconnect sound.
void sound_disconnect_notice(Connection* conn);

// The settings listeners.
constexpr int kSettingsSaveSounds = 65;
void sound_events_install();
void sound_events_uninstall();
