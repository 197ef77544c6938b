// The small dialogs the pages of the options dialog open: the server
// editor of the Servers page, and the reconnect, port-order, SSL and
// multi-server settings. The last four work on staging copies that the
// options dialog takes when it opens and hands back to the live settings
// on OK; Cancel drops them.
#pragma once

#include <functional>
#include <map>
#include <string>

class QWidget;
class QDialog;

// The staged values, as the live settings hold them.
struct SubdialogStaging {
    // Reconnect (201).
    int retry_on_fail = 0;
    int give_up_seconds = 0;
    int retries = 0;
    int retry_delay = 0;
    int next_server = 0;
    // Port order (202).
    int ports_dcc = 0;
    int ports_other = 0;
    int first_port = 0;
    int last_port = 0;
    int ports_random = 0;
    int ports_bind = 0;
    std::string bind_address;
    // SSL (204).
    int ssl_show = 1;
    std::string ssl_cert;
    std::string ssl_key;
    std::string ssl_ca;
    // Multi-server (203).
    int label_network = 0;
    int label_nick = 0;
    int caption_network = 0;
    int caption_nick = 0;
    // The small option dialogs: option-line positions they changed (by
    // option id), the DDE server settings and the finger file.
    std::map<int, int> option_values;
    int dde_on = 1;
    std::string dde_service;
    int dde_check = 0;
    std::string finger_file;
};

// The staging copy while the options dialog is open (null otherwise).
SubdialogStaging* subdialog_staging();
void subdialog_staging_begin();
// Copies the staged values back (bounded), saves the "ports" and "ssl"
// sections, and stages the values now live again.
void subdialog_staging_commit();
void subdialog_staging_drop();

// Each runs its dialog over the owner on the staging copy; 1 on OK.
int subdialog_reconnect_run(QWidget* owner);
int subdialog_ports_run(QWidget* owner);
int subdialog_ssl_run(QWidget* owner);
int subdialog_multiserver_run(QWidget* owner);

// The server editor: `entry` is the entry to edit (empty to add one). On
// OK returns 1 with the new entry text in `out`; 0 on Cancel, and at once
// (with the error beep) for an entry it cannot edit.
int server_editor_run(QWidget* owner, const std::string& entry, std::string* out);

// A sub-dialog's OK runs `ok` and ends it with 1 (unless `ok` answers
// false and keeps it open); Cancel ends it with 0.
void subdialog_wire_buttons(QDialog& d, std::function<bool()> ok);

void options_subdialogs_install();
void options_subdialogs_uninstall();
