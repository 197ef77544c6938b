// The link-request dialog: an irc: link handed to the program from outside
// (a second start, the desktop's link handler, the local service) asks the
// user before the program leaves its server, joins or opens a connection.
// Templates 585 (the link names a channel) and 586 (it names none).
#pragma once

#include <cstdint>
#include <string>

struct Connection;

// What the user chose: nothing (closed, Escape), change the server (and
// join), join on the current server, open a new connection.
enum LinkRequestResult {
    kLinkRequestNone = 0,
    kLinkRequestChangeServer = 1,
    kLinkRequestJoinHere = 2,
    kLinkRequestNewConnection = 3,
};

// A link waiting for the user's answer.
struct LinkRequest {
    std::string server;
    std::string port;
    std::string password;
    std::string channel;
};

// Shows the dialog (modal) and returns the user's choice. `current_server`
// is the server of the connection the link would act on.
int link_request_dialog(const std::string& current_server, const LinkRequest& request);

// Whether every field can go into a command line as it is: server,
// password and port one word each without control characters and not
// starting with "-", the port a number from 1 to 65535 (required with a
// server), the channel without control characters and at most a key after
// one blank. 1 valid, 0 not.
int link_request_fields_valid(const LinkRequest& request);

// The command line a choice runs (empty when a field is not valid) on the connection: the quiet built-in
// /server for another server (with -m for a new connection), /join for the
// current one. Empty for no choice, and for a join without a channel.
std::string link_request_command(int result, const LinkRequest& request);

// Keeps the request for the connection and posts the frame's link-request
// message; the frame then shows the dialog (a request not yet shown is
// replaced by a later one). 0 (nothing kept) while a request is shown: only
// one is shown at a time.
int link_request_post(const LinkRequest& request, Connection* conn);

// The frame's link-request message: shows the kept request and runs the
// choice for its connection (looked up again; gone: nothing happens).
intptr_t link_request_open(uintptr_t wparam, intptr_t lparam);

// Registers the frame's link-request message.
void link_request_install();

// Object name of the dialog, for finding it.
constexpr const char* kLinkRequestDialogName = "link_request";
