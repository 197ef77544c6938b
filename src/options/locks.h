// The lock options: what the owner of the program has locked (DCC, some
// script commands, joins outside a list of channels, tray and tips while
// locked), the password that guards those settings and the running lock,
// the password dialogs (template 600), the start-up check and the join
// gate. The password itself is never kept: only its 32-bit digest.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class QWidget;
struct Connection;

// The bits of the lock flags.
enum LockFlag : int {
    kLockAskAtStart = 1,
    kLockChannels = 2,
    kLockDccSend = 4,
    kLockDccGet = 8,
    kLockFserve = 16,
    kLockDccChat = 32,
    kLockOldCommands = 64,   // stored by older versions: every command lock
    kLockOldDll = 128,       // stored by older versions: the DLL lock
    kLockHideTray = 256,
    kLockCom = 512,
    kLockRun = 1024,
    kLockDll = 2048,
    kLockDecode = 4096,
    kLockHideTips = 8192,
};

// The lock settings in force.
struct LockOptions {
    std::uint32_t digest = 0;          // 0: no password
    int flags = 0;
    std::vector<std::string> channels; // the channels that may be joined
};
extern LockOptions lock_options;

// The running lock: the digest the program is locked against now (0 while
// unlocked) and the digest of the last password set for it.
struct RunningLock {
    std::uint32_t digest = 0;
    std::uint32_t last = 0;
};
extern RunningLock lock_running;

// The digest of a password (its first 256 characters).
std::uint32_t lock_password_digest(std::string_view password);

// Reads "LockOptions" and "Channels" from the private value store into
// lock_options (converting the old flag bits); no dialog.
void lock_options_read();
// Start-up: reads the settings and, when a password is set and asked for
// at start-up, runs the unlock dialog; 0 when start-up must stop.
int lock_options_load();
// Writes both private values.
void lock_options_save();
// The "Channels" text of a list: names joined by commas, ending before the
// name that would take it past 4,150 characters.
std::string lock_channels_text(const std::vector<std::string>& channels);

// The join gate: 1 when the text (a channel list as typed or a whole
// "JOIN " line) may be joined, 0 when refused. Report flags: 1 print the
// refusal to the connection's status window, 2 beep.
int lock_join_allowed(Connection* conn, std::string_view text, int report);

// The set-or-clear dialog on a staging digest: 1 a password was set, 2 it
// was cleared, 0 cancelled. With `assistant` the caption is the password
// assistant's (the lock command opens it so).
int opt_lock_password_dialog(QWidget* owner, std::uint32_t* staging, int assistant);
// The unlock dialog against a digest: 1 for the right password, 0 after
// three wrong ones or a cancel.
int lock_unlock_dialog(QWidget* owner, std::uint32_t digest);
// The unlock dialog against the running lock, owned by the main window; 0
// at once while one is running.
int lock_unlock_prompt();
// The password dialog's window while it is up, else null.
QWidget* lock_dialog_window();

// The frame's lock request (lparam flags): bit 1 applies the lock (the
// stored password, else one set now with the assistant), 1 when locked;
// bit 2 asks for the password, 1 when given right (the lock is lifted).
std::intptr_t lock_request(std::intptr_t flags);

// Seams the lower layers ask: the program is locked now; $decode and
// $utfdecode are locked; a channel may be joined (printing the refusal).
int lock_program_locked();
bool lock_decode_locked();
int lock_join_gate(const std::string& channel, Connection* conn);

// The Lock page of the options dialog and $lock(.
void locks_install();
void locks_uninstall();
void page_lock_install();
void page_lock_uninstall();
