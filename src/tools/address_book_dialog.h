// The address book dialog: a page list (101) over its pages, the contacts
// page (controls 120-139) and the whois page (150-176). It reads and writes
// the lists of address_book.h; opened from the Tools menu (156), /abook and
// /uwho, and by the whois view's replies when it is not open.
#pragma once

#include <string>

class QDialog;
struct Connection;

// The pages of the page list.
enum AbookPage {
    kAbookContacts = 0,
    kAbookWhois = 1,
    kAbookControl = 3,
    kAbookNickColours = 4,
};

// Opens the dialog at the page (a page not shown here opens the contacts
// page) with the contact `name` chosen (on the whois page: the nick asked
// about). Runs it modally; 1, or 0 when one is open already or there is no
// current connection (the error sound).
int abook_dialog_run(int page, const std::string& name);
// The same, later from the event loop (what /abook does).
void abook_open_later(int page, const std::string& name);
// /uwho: with a nick, the whois view waits for its replies (the dialog
// opens when they end); without one, the dialog opens at the whois page.
void uwho_open(const std::string& nick, Connection* conn);
// The open dialog, or null.
QDialog* abook_dialog();

void address_book_dialog_install();
void address_book_dialog_uninstall();
