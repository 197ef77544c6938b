// The player: one playback device for each kind of sound ("kestwave",
// "kestmidi", "kestsong"), the pending list of what plays and what waits in
// the queue, the end of playback turned into the WAVEEND, MIDIEND and
// SONGEND/MP3END script events, and /splay. Playback goes through Qt
// Multimedia to the desktop's sound server; MIDI files through its
// FluidSynth decoder with the packaged General MIDI sound font.
#pragma once

#include <list>
#include <string>

struct CommandCall;
struct Connection;

// Sound kinds by extension.
enum SoundKind : int {
    kSoundNone = 0,
    kSoundWave = 1,
    kSoundMidi = 2,
    kSoundMp3 = 3,
    kSoundWma = 4,
    kSoundOgg = 5,
};

// Kind codes of the pending list: 1..3 wait in the queue, 6..8 play.
enum SoundPendingCode : int {
    kPendingWave = 1,
    kPendingMidi = 2,
    kPendingSong = 3,
    kPlayingWave = 6,
    kPlayingMidi = 7,
    kPlayingSong = 8,
};

struct SoundPlayEntry {
    std::string path;
    int code = 0;
    bool paused = false;
    Connection* conn = nullptr; // looked up again before use
};

// The pending list, in order.
std::list<SoundPlayEntry>& sound_pending();

// 0..5 by the name's extension (case ignored; it must end the name).
int sound_file_kind(const std::string& name);
// The sound folder of a kind (waves for any kind without its own).
const std::string& sound_folder_of_kind(int kind);
// The player. Play types: -1 forced, 0 now, 1 only when the device is free,
// 2 queue, 3 the queue's head. 1 plays, waits or was skipped by rule; 0
// cannot be played.
int sound_play_file(const std::string& path, int type, Connection* conn);
// Finds a sound file: mode 1 commands (an absolute path as it stands), mode 2
// requests (the sound folders only). 1 with the full path, 0 with an empty one.
int sound_resolve_file(const std::string& name, std::string& path, int mode, std::string* base,
                       std::string* ext, Connection* conn);
// Stops (mode 1) or skips (mode 2) the kinds (bits 1 wave, 2 MIDI, 4 songs; 0 all).
void sound_stop(int kinds, int mode);
// Takes every entry of the code off the list: the connection of the last
// one when it is live, else the current connection.
Connection* sound_pending_take(int code);
// Whether an entry of the code is pending; its path into `path` when given.
bool sound_pending_find(int code, std::string* path = nullptr);
// After an end: plays the queue's head when nothing of the code is left.
void sound_queue_advance(int code);
// The start position for the next song (milliseconds), read and reset by the player.
void sound_set_start_position(int ms);

// Device state for the identifiers: open, position and length in
// milliseconds (0 when unknown), paused.
bool sound_device_open(int playing_code);
long sound_device_position(int playing_code);
long sound_device_length(int playing_code);
bool sound_device_paused(int playing_code);
// Sets a device's output volume (0..1); the mixer calls it.
void sound_device_set_volume(int playing_code, double volume);

// Whether a sound server answers (an audio output exists).
bool sound_output_available();

int cmd_splay(CommandCall& call);

// The end of playback on a device (the frame's steps): closes it and takes
// its entries (the file into `file`, the connection of the sound back);
// then the queue advances.
Connection* sound_end_close(int playing_code, std::string& file);
void sound_end_step(int playing_code);

// Registers /splay and the frame's end-of-playback steps.
void sound_player_install();
void sound_player_uninstall();
