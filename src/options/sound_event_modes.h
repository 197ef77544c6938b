// Whether an event plays nothing, a beep or its sound file: the choice the
// Sounds page keeps for each event of the event-sound table. A file is the
// event's sound file (media/sound_events.h); the events set to beep are
// kept in section "waves", key "beeps", as their numbers joined by commas.
#pragma once

enum SoundEventMode : int {
    kSoundModeNone = 0,
    kSoundModeBeep = 1,
    kSoundModeFile = 2,
};

// The event's mode: beep when it is set to beep, file when it has a
// sound file, else none.
int sound_event_mode(int event);
// Sets or clears the event's beep mode and writes the "beeps" key.
void sound_event_set_beep(int event, int on);
// Reads the "beeps" key again (after the settings file changed).
void sound_event_modes_load();
