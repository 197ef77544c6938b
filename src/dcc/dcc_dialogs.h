// The DCC dialogs the user answers: accepting a file (template 250), a file
// that already exists (320), the file-type warning for a refused offer
// (825) and the warning before a dangerous received file is opened (815).
// The accept and exists dialogs close themselves as cancelled when the
// request time-out of the one-second tick runs out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class QWidget;

// Object names of the dialogs (tests and the tick find them by these).
inline constexpr const char* kDccAcceptDialogName = "dcc_accept";
inline constexpr const char* kDccExistsDialogName = "dcc_exists";
inline constexpr const char* kDccFiletypeDialogName = "dcc_filetype_warning";
inline constexpr const char* kDccDangerDialogName = "dcc_dangerous_file";
inline constexpr const char* kDccFserveWarningDialogName = "fserve_warning";
inline constexpr const char* kDccSendDialogName = "dcc_send";

struct Connection;

// An offer being asked about, and what the user chose.
struct DccAcceptOffer {
    std::string nick;
    std::string address;       // shown after the nick
    std::string file;          // in: the offered (cleaned) name; out: the chosen name
    std::int64_t size = -1;    // -1: not announced
    std::string folder;        // in: a folder chosen before (else empty); out: the chosen folder, ending in "/"
    bool folder_chosen = false;
    bool no_activate = false;  // out: the window opens without activation
};

enum DccAcceptResult { kDccAcceptCancel = 0, kDccAcceptYes = 1, kDccAcceptReject = 2 };

// The check box "do not activate" of the accept dialog as last left.
extern int dcc_accept_no_activate_remembered;

// Template 250. On 1 the offer's file and folder hold the choice (the
// folder exists; a per-nick folder is made); 2 reject; 0 cancel or time-out.
int dccget_accept_dialog(QWidget* owner, DccAcceptOffer& offer);

// A file that already exists, being asked about.
struct DccExistsQuery {
    std::string nick;
    std::string address;
    std::string folder;           // ending in "/"
    std::string file;             // out: cleared on rename
    std::int64_t offered = -1;    // the offered size; -1 unknown
    std::int64_t resume = 0;      // out: the resume position (0 overwrite)
};

// Template 320: 1 with resume set to the existing size (resume) or 0
// (overwrite); 0 rename (file cleared) or cancel or time-out. With incoming
// sends on auto-accept and the existing-file choice on resume, answers 1
// (resume) at once without a dialog.
int dccget_exists_dialog(QWidget* owner, DccExistsQuery& query);

// Template 825: the file-type warning; only when the warning is on (ini
// "warn"/"filetype") and none is open. With a name it only posts the
// request to the main window, which opens the dialog later; returns 1 when
// it showed or posted.
int dcc_filetype_warning_open(const char* name);

// Template 815: message 5568 with the file name; 1 on OK.
int dcc_dangerous_file_dialog(QWidget* owner, const std::string& file);
// Template 820: the warning before a peer may browse the home folder; the
// check box keeps the warning on (ini "warn"/"fserve"). 1 OK, 0 cancel, -1
// when one is already open.
int fserve_warning_dialog(QWidget* owner, const std::string& nick, const std::string& home);

// The recent DCC nicks (section "dccnicks", newest first, at most 20) and
// putting one first.
constexpr int kDccRecentNicksMax = 20;
std::vector<std::string> dcc_recent_nicks();
void dcc_remember_nick(const std::string& nick);

// The send dialog (template 330, menu 151): a nick (with the recent ones),
// one or more files and the packet size; each file is offered to the nick
// on the connection. Returns the number of sends started.
int dcc_send_dialog(Connection* conn, const std::string& nick);

// The accept dialog listens to the offers that wait for the user.
enum DccOfferWaitingOrder { kOfferWaitingDialog = 50 };

void dcc_dialogs_install();
void dcc_dialogs_uninstall();
