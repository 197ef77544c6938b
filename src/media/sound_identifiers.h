// The sound identifiers: $inwave, $inmidi, $insong and $inmp3 (the devices),
// $insound( (the device of a file's kind), $sound( and $mp3( (the kind's
// folder, or an MP3 file's header and tag properties).
#pragma once

void sound_identifiers_install();
