// The update check: at most once a day it downloads a short reply from the
// update service (its address is the setting [update] url of the main
// settings file; without one nothing is asked), reads the reply's fields,
// and offers the newer version in the update dialog, which can download the
// package into the "updates" folder. A downloaded package is never run or
// installed by the program: the dialog shows its folder.
#pragma once

#include "tools/http_download.h"

#include <cstdint>
#include <string>

// One check per process.
struct UpdateCheck {
    int running = 0;
    int silent = 0;     // the user closed the dialog: no result pops up
    int counter = 0;    // seconds polled
    int result = 0;     // 0 none, 1 update available, 2 available and the dialog to open
    std::string version;
    std::string news;
    std::string url;
    std::uint32_t package_crc = 0;
    std::uint32_t program_crc = 0;
    int reply_missing = 0;  // the last check ended without a reply
    DownloadJob reply;
    DownloadJob package;
};
extern UpdateCheck update_check;

// Seconds after which a check without a reply gives up.
constexpr int kUpdateCheckGiveUp = 60;

// The value of a field of the reply (`name=value`, name case ignored, value
// quoted with '"' or '\'' or running to the next space); empty when absent.
std::string update_reply_field(const std::string& reply, const std::string& name);
// 1 when the offered "major.minor" is newer than our own; a one-digit minor
// counts as tens (2.3 is 2.30).
int update_version_newer(const std::string& own, const std::string& offered);
// 1 when an automatic check is due at `now`: at or after next, or with next
// 31 days or more ahead (a clock set back).
int update_check_due(long long now, long long next);

// Starts a check (forced: even when off or not due). The address is read
// from [update] url; without one nothing starts.
void update_check_start(int forced);
// One second of a running check (the poll timer calls it).
void update_check_poll();
// Reads a finished reply into the state and the settings (the version
// compare, the program file's checksum, [update] next).
void update_check_read_reply(const std::string& reply, long long now);
// The program's own version ("major.minor").
std::string update_own_version();
// The folder packages download into ("updates/" in the settings folder).
std::string update_package_folder();
// Stops the poll timer, cancels and joins both downloads, clears the state.
void update_check_clear();

void update_check_install();
void update_check_uninstall();
