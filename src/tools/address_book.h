// The address book's lists: the contacts file (a text file of sections, one
// per contact), the whois view's collected fields and its request state,
// and the $abook( identifier. The dialog that shows them is
// address_book_dialog.cpp.
#pragma once

#include <string>
#include <vector>

#include "core/signal.h"

struct Connection;

// One contact as the file keeps it. The picture is a full path; reading
// leaves it empty when its file does not exist.
struct ContactFields {
    std::string nick;      // the section name
    std::string name;      // full name
    std::string email;
    std::string website;
    std::string ipaddr;    // address for a DCC chat
    std::vector<std::string> notes;
    std::string picture;
};

// The whois view's collected fields for one nick: code 0 the nick (always
// first), 1 full name, 2 user@host, 4 channels, 5 idle time, 6 away
// message, 7 server, 8 status, 9 status detail, 10 the CTCP reply.
struct WhoisField {
    int code;
    std::string text;
};
using WhoisInfo = std::vector<WhoisField>;

// The contacts file in use ([files] "addrbk").
std::string abook_file_path();

// The section names in file order (an unreadable file gives none).
std::vector<std::string> abook_read_contacts();
// The first section whose name equals `name` (case ignored); 1 when found.
int abook_read_contacts(const std::string& name, ContactFields& out);
// The folder of the first contact picture that exists, for the file
// dialog; empty when none.
std::string abook_picture_folder();

// A contact's section as written: "\n[nick]\n" and its non-empty keys; a
// notes list's trailing empty lines are not written.
std::string abook_section_text(const ContactFields& c);

// Saves the contact: its section (any section of that name) goes and the
// new one is appended at the end. The whole file is written to a temporary
// and renamed onto the old one, so a failed save leaves the file, and the
// contact, as they were. 1 saved, 0 not (no nick, or the file could not be
// read or written).
int abook_write_contact(const ContactFields& c);
// Removes the contact's section; 1 when the file was rewritten.
int abook_remove_contact(const std::string& nick);

// ---- The whois view's request ----

// The control that waits for a reply (151 whois, 172 CTCP), 0 when none.
int abook_whois_waiting();
// The collected fields (the nick first), and the connection asked.
const WhoisInfo& abook_whois_info();
Connection* abook_whois_connection();
// Starts a request about `nick` on the connection for the control: the list
// becomes the nick alone.
void abook_whois_begin(const std::string& nick, Connection* conn, int control);
// Stops waiting (the list stays).
void abook_whois_stop();
// 1 when the view waits for a reply, the nick is the one asked about (case
// ignored) and the reply comes on the connection asked.
int abook_is_whois_target(const std::string& nick, Connection* conn);
// One reply field for the view (bounded: a field of each code at most once,
// 4150 characters).
void abook_whois_add(int code, const std::string& text);
// The replies ended: stops waiting and tells the listeners.
void abook_whois_end(Connection* conn);

// The whois view got its replies (the dialog fills its page or opens).
enum AbookWhoisEndedOrder {
    kAbookWhoisEndedDialog = 50,
};
extern Signal<void(Connection* conn)> abook_whois_ended;

// The $abook( identifier.
void address_book_install();
void address_book_uninstall();
