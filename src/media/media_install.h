// Sound, mixer, MP3 tags and speech: every listener, command and identifier
// of the media folder, installed and removed in one call each.
#pragma once

void media_install();
void media_uninstall();
