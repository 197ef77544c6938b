// Joins the subsystems to the frame: each subsystem fills the hooks through
// which the frame, the windows and the other subsystems reach it.
#pragma once

// Called once by the program's entry before app_run.
void app_install_subsystems();


// The wiring of each subsystem: every production assignment of a seam is made
// by one of these (app_install_subsystems calls each after the subsystem's
// install; a test that installs a subsystem alone calls its wiring too).
void app_wire_frame();
void app_wire_dcc_windows();
void app_wire_dcc_sessions();
void app_wire_media();
void app_wire_locks();
void app_wire_tips();
void app_wire_windows();
void app_wire_text_work();
void app_wire_irc_link();
void app_wire_irc_lookups();
void app_wire_irc_flood();
void app_wire_irc_dispatch();
void app_wire_irc_membership();
void app_wire_irc_ban_lists();
void app_wire_irc_user_lists();
void app_wire_irc_notify();
void app_wire_irc_ctcp();

void app_wire_script_events();
void app_wire_popups();

void app_wire_fonts();
void app_wire_text_area();
