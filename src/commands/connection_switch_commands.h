// /scid, /scon, $scid and $scon in the interpreter: the commands move the
// running line to another connection or run a command on one or all of
// them; the identifiers count and find connections and read an identifier's
// value on one of them (model/connection.h holds the switching itself).
#pragma once

#include <string>

class QWidget;
struct CommandCall;
struct Connection;
struct IdentCall;

// /scid (by id) and /scon (by position).
int cmd_scid(CommandCall& call);
// $scid(N) and $scon(N), with an optional property.
int id_scid(IdentCall& call);

// Runs a command line on a connection, with the window and nesting depth.
int scid_run_line(Connection* conn, QWidget* window, const std::string& line, int depth);
// Evaluates an identifier text on a connection; 1 with the value in out.
int scid_eval_text(Connection* conn, QWidget* window, const std::string& text, std::string& out);
// Reports an error of /scid, /scon, $scid or $scon as a script error: kind 0
// missing parameters, 2 the command cannot be stored (name is the word), 6
// invalid parameter of an identifier, 7 the name is the whole message.
void scid_report_error(const std::string& name, int kind);

// Registers the two commands and the two identifiers.
void connection_switch_register();
