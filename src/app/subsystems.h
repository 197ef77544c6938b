// Joins the subsystems to the frame: each subsystem fills the hooks through
// which the frame, the windows and the other subsystems reach it.
#pragma once

// Called once by the program's entry before app_run.
void app_install_subsystems();

// One 100 ms step of the per-window countdowns (frame timer 138): the nick
// lists' deferred steps and the query windows' message guards. 1 while any
// window still needs the timer.
int display_countdown_step();
