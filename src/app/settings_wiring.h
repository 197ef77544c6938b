// Connects the main settings load and save to the frame, the first connection
// and the command line.
#pragma once

// Sets the hooks through which start-up loads and shutdown saves the main
// settings. Called once at the start of app_init; calling it again is harmless.
void app_wire_main_settings();
