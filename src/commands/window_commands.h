// The commands that act on windows: /window makes and changes custom
// windows; /clear, /clearall, /renwin, /titlebar, /close, /closemsg, /mdi
// and /setlayer; /color, /font, /editbox, /dqwindow and /menubar; the line
// commands (/aline, /iline, /rline, /dline, /cline,
// /sline); /log and /debug; /url. $line reads a window's lines.
#pragma once

#include <string>
#include <vector>

#include "tools/url_catcher.h"

struct CommandCall;
struct Connection;
struct DebugSettings;
struct IdentCall;
struct WindowRecord;

// The window a command names: "@N" a window by number, else a window by
// name for the connection. Null when none is open.
WindowRecord* window_command_target(const std::string& name, Connection* conn);

int cmd_window(CommandCall& call);
int cmd_clear(CommandCall& call);
int cmd_renwin(CommandCall& call);
int cmd_titlebar(CommandCall& call);
int cmd_close(CommandCall& call);
int cmd_mdi(CommandCall& call);
int cmd_setlayer(CommandCall& call);
int cmd_aline(CommandCall& call);
int cmd_findtext(CommandCall& call);
int cmd_log(CommandCall& call);
int cmd_color(CommandCall& call);
int cmd_background(CommandCall& call);
int cmd_font(CommandCall& call);
int cmd_editbox(CommandCall& call);
int cmd_dqwindow(CommandCall& call);
int cmd_menubar(CommandCall& call);
int cmd_showkest(CommandCall& call);
int cmd_tray(CommandCall& call);
int cmd_debug(CommandCall& call);
int cmd_url(CommandCall& call);
int id_line(IdentCall& call);

// ---- /debug ----

// A debug line shown in the connection's custom window (a listener of the
// copy's window lines).
void debug_window_print(Connection* conn, const std::string& window, const std::string& line,
                        const DebugSettings& settings);
// The debug window was closed: the connection's debug settings are cleared.
void debug_window_gone(WindowRecord* rec);
// The copy into a custom window: its lines shown there, and its end when
// that window closes (listeners added and removed here).
void debug_window_install();
void debug_window_uninstall();

// ---- /url ----

// Opening an address through the desktop is the frame's url_open_address
// (app/frame_proc.h).

// Registers the handlers and $line with the interpreter, and the closing
// listener of the debug window.
void window_commands_install();

// The catcher's switch. The list, the catcher and the list window are the
// URL catcher's (tools/url_catcher.h).
int url_catching();
