// How a page of the options dialog is made. A page is a template of
// controls (dialog_opener.h) whose ids run without a gap from its first
// control id on (labels too: the first id without a control ends the
// page), and a record of what it does:
//
//     const DlgControl kIdentd[] = {{195, kDlgCheck, "&Etkin", 0, 0, 60, 10}, ...};
//     const DlgTemplate kIdentdTemplate = {540, "", 230, 150, kIdentd, std::size(kIdentd)};
//     void fill_identd(OptionsEdit& e) { dlg_set_checked(e.dialog, 195, ...); }
//     void apply_identd(OptionsEdit& e) { ... dlg_checked(e.dialog, 195) ... }
//     options_page_register({195, &kIdentdTemplate, fill_identd, apply_identd});
//
// The first control id names the page's row in the category table of the
// options dialog (options_dialog.h): a registered page takes that row's
// place in the tree. Its `fill` runs once when the dialog opens (settings
// into controls); `apply` runs on OK, on Apply and before a Connect, in the
// dialog's read-back order, and writes the controls into the live settings
// (the dialog saves the settings files after every page applied); `cancel`
// puts back what a page changed while the dialog was open (most pages
// change nothing before OK and give none); `command` gets a button or
// another control of the page when the user uses it (1 when handled).
// The dialog keeps track of which controls the user changed since the
// page was filled (options_control_changed).
#pragma once

#include <QDialog>

#include <string>

#include "options/dialog_opener.h"
#include "platform/platform_utils.h"

struct Connection;

// The open options dialog as its pages see it.
struct OptionsEdit {
    QDialog* dialog = nullptr;
    Connection* conn = nullptr;   // the connection being edited (checked live on use)
    int command = 0;              // on apply: 1 OK, 3 Apply, 126 Connect
    // The server entry chosen on the Servers page (servers list format),
    // empty while none was chosen in this opening.
    std::string chosen_server;
    int server_list_changed = 0;  // the Servers page edited the server list
};

using OptionsPageFn = void (*)(OptionsEdit& edit);
using OptionsPageCommandFn = int (*)(OptionsEdit& edit, int control_id);

struct OptionsPageDef {
    int first_control = 0;
    const DlgTemplate* page_template = nullptr;
    OptionsPageFn fill = nullptr;
    OptionsPageFn apply = nullptr;
    OptionsPageFn cancel = nullptr;
    OptionsPageCommandFn command = nullptr;
};

// Adds the page (replacing one with the same first control id) and its
// template; removes it again.
void options_page_register(const OptionsPageDef& page);
void options_page_unregister(int first_control);
const OptionsPageDef* options_page_find(int first_control);

// Whether the user changed the control (or any control of the page) since
// the dialog filled it; a page can mark a control changed itself.
bool options_control_changed(const OptionsEdit& edit, int control_id);
bool options_page_changed(const OptionsEdit& edit, int first_control);
void options_mark_changed(OptionsEdit& edit, int control_id);

// The server entry the Connection page and Connect use from now on (the
// Servers page calls it when the user picks a server).
void options_choose_server(OptionsEdit& edit, const std::string& entry);
