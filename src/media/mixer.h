// The mixer: the volume and mute state of three lines, the master output,
// the wave output (waves and songs) and the MIDI synthesiser. They are the
// playback volumes of this program's own devices: a line's volume scales
// the sounds it carries, the master scales every line.
#pragma once

struct CommandCall;
struct IdentCall;

enum MixerLine : int { kMixerMaster = 0, kMixerWave = 1, kMixerMidi = 2 };

// Reads (set 0) or writes (set 1) a line's volume (kind 0, 0..65,535; a
// value to write is clamped) or mute (kind 1, 0 or 1). 1 when it worked.
int mixer_control(long& value, int kind, int line, int set);
int mixer_get_mute(long& value, int line);

int cmd_vol(CommandCall& call);
int id_vol(IdentCall& call);

void mixer_install();
void mixer_uninstall();
