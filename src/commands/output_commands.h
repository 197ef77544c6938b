// The output commands: /echo prints a line into a chosen window with a
// colour and one-shot print options, /linesep prints the separator line,
// /beep and /flash alert the user, and /ebeeps, /events, /timestamp and
// /strip switch display settings and report their state.
//
// The printing itself belongs to the display. Until it is attached, every
// line goes through the settable output_print, whose default keeps the
// lines in a bounded collector (output_lines).
#pragma once

#include <string>
#include <vector>

#include "display/print_requests.h"

class QWidget;
struct CommandCall;
struct Connection;
struct WindowRecord;

// ---------------------------------------------------------------------------
// Colour values: a palette index 0..15, or a colour item (kColourItemBase
// plus the item's index), resolved by the display when the line is painted.

constexpr int kColourItemBase = 0x10000;

enum ColourItem : int {
    kItemBackground = 0,
    kItemActionText,
    kItemCtcpText,
    kItemHighlightText,
    kItemInfoText,
    kItemInfo2Text,
    kItemInviteText,
    kItemJoinText,
    kItemKickText,
    kItemModeText,
    kItemNickText,
    kItemNormalText,
    kItemNoticeText,
    kItemNotifyText,
    kItemOtherText,
    kItemOwnText,
    kItemPartText,
    kItemQuitText,
    kItemTopicText,
    kItemWallopsText,
    kItemWhoisText,
    kItemEditbox,
    kItemEditboxText,
    kItemListbox,
    kItemListboxText,
    kItemGrayText,
    kItemTitleText,
    kItemInactive,
    kItemTreebar,
    kItemTreebarText,
    kColourItemCount,
};

constexpr int colour_item_value(int item) { return kColourItemBase + item; }

// The English name of a colour item ("Info text"), or empty.
const char* colour_item_name(int item);
// The first item whose English name begins with the text (case ignored;
// the empty text gives the first item), or -1.
int colour_item_by_prefix(const std::string& text);

// ---------------------------------------------------------------------------
// The display's print operations. Default: the collector below.
extern void (*output_print)(QWidget* window, int colour, const std::string& text,
                            const EchoPrintOptions& options, int kind);

struct OutputLine {
    QWidget* window;
    int colour;
    std::string text;
    EchoPrintOptions options;
    int kind;
};
// The lines the default printer kept (the last 10,000 at most).
const std::vector<OutputLine>& output_lines();
void output_lines_clear();

// ---------------------------------------------------------------------------
// Settings that these commands change and report.

// All-beeps switch: the sounds option (option line 5, position 14).
// Remote-events switch: option line 7, position 12.
// Global timestamp switch: option line 4, position 11.
// Timestamp formats: time_stamp_format and time_log_stamp_format.
// Strip flags: strip_setting_flags.

// ---------------------------------------------------------------------------
// /beep's repeated beep on frame timer 121.

// Beeps still to come (0 when none runs).
extern int output_beep_remaining;
// One expiry of timer 121 while /beep's own count runs: one beep, one less.
void output_beep_tick(int id);

// ---------------------------------------------------------------------------
// Flashing: the display's flash entries take a FlashRequest
// (display/print_requests.h).

// ---------------------------------------------------------------------------
// Calls into other parts of the program. A null entry means that part is
// absent; the default behaviour is given beside each.

struct OutputHooks {
    // The window of the DCC chat with the nick (the chat of the event being
    // handled first). Absent: no chats, null.
    QWidget* (*dcc_chat_window)(const std::string& nick, CommandCall& call) = nullptr;
    // flash_start and the entry's fields. Absent: the requests are kept in
    // output_flash_requests().
    void (*flash)(const FlashRequest& request) = nullptr;
};
extern OutputHooks output_hooks;

const std::vector<FlashRequest>& output_flash_requests();
void output_flash_requests_clear();

// ---------------------------------------------------------------------------
// The handlers.

int cmd_echo(CommandCall& call);
int cmd_linesep(CommandCall& call);
int cmd_beep(CommandCall& call);
int cmd_flash(CommandCall& call);
int cmd_ebeeps(CommandCall& call);
int cmd_events(CommandCall& call);
int cmd_strip(CommandCall& call);
int cmd_timestamp(CommandCall& call);

// Whether a window can take printed lines: a status, channel, query or
// custom window that is neither a picture window nor a list-box window.
int output_window_printable(QWidget* window);

// Registers the handlers with the interpreter.
void output_commands_register();
