// The option lines "n0" to "n8" of section "options": the table of every
// position with its default and load rule, the values, and their load and save.
#include "core/options.h"

#include <array>
#include <climits>
#include <cstdint>
#include <string>

#include <QGuiApplication>

#include "core/ini.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/time_date.h"

namespace {

// What happens to a value as it is read.
enum Rule : int {
    kPlain,
    kReserved,    // read and dropped; kept and written as 0
    kOutside,     // outside a .. b becomes c
    kBelow,       // below a becomes b
    kClamp,       // below a becomes a, above b becomes b
    kNonZeroOne,  // any non-zero value becomes 1
    kOwnRule,     // handled by its own code in read_position
};

struct OptionRow {
    OptionId id;
    int def;
    Rule rule = kPlain;
    int a = 0;
    int b = 0;
    int c = 0;
};

// Every position of every line, in line and position order.
constexpr OptionRow kOptionTable[] = {
    // ---- "n0" ----
    {OPT_CONNECT_ON_STARTUP, 0},
    {OPT_SHOW_ADDRESSES, 1},
    {OPT_BEEP_CHANNEL_MESSAGES, 0},
    {OPT_IDENT_SHOW_REQUESTS, 1},
    {OPT_HIGHLIGHT_ENABLED, 0},
    {OPT_NOTIFY_ENABLED, 0},
    {OPT_DDE_DELAY, 300},
    {OPT_REJOIN_ON_KICK, 0},
    {OPT_AWAY_CANCEL_ON_MESSAGE, 0},
    {OPT_IGNORE_ENABLED, 0},
    {OPT_SWITCHBAR_LIMIT_BUTTONS, 1},
    {OPT_ALIAS_FILE_INDEX, 0},
    {OPT_AUTO_OP_ENABLED, 0},
    {OPT_PROTECT_ENABLED, 0},
    {OPT_DCC_SEND_REQUESTS, 0},
    {OPT_DCC_FILE_EXISTS, 0},
    {OPT_DCC_SPACES_TO_UNDERSCORES, 1},
    {OPT_DCC_CHAT_REQUESTS, 0},
    {OPT_PERFORM_ENABLED, 0},
    {OPT_DCC_CHAT_NO_ACTIVATE, 0},
    {OPT_DCC_PACKET_SIZE, 4096, kOwnRule},
    {OPT_SINGLE_MESSAGE_WINDOW, 0},
    {OPT_PREFIX_OWN_MESSAGES, 1},
    {OPT_POPUP_FILE_KIND, 0},
    {OPT_DCC_BEEP_SEND_END, 1},
    {OPT_DCC_BEEP_CHAT_END, 1},
    {OPT_IDENT_ONLY_WHILE_CONNECTING, 1},
    {OPT_CHANLIST_RANGE_REQUEST, 1},
    {OPT_STRIP_ONLY_OVER_COUNT, 0},
    {OPT_STRIP_OVER_COUNT, 50},
    {OPT_HIDE_PING_PONG, 1},
    {OPT_NICK_COLOURS_ENABLED, 0},
    {OPT_IDENTIFIER_WARNING, 0},
    {OPT_N0_33, 1},
    {OPT_CONFIRM_CONNECT_SECOND_CLICK, 0},

    // ---- "n1" ----
    {OPT_BEEP_COUNT, 5},
    {OPT_BEEP_DELAY, 100},
    {OPT_ONLINE_TIMER, 1},
    {OPT_ONLINE_TIMER_TOTAL, 1},
    {OPT_ONLINE_TOTAL_HOURS, 0},
    {OPT_ONLINE_TOTAL_MINUTES, 0},   // the line's end checks minutes and seconds
    {OPT_ONLINE_TOTAL_SECONDS, 0},
    {OPT_EDITBOX_LINES, 2, kOutside, 0, 2, 0},
    {OPT_REMOTE_FILE_INDEX, 0},
    {OPT_N1_9, 1},
    {OPT_SKIP_MOTD, 0},
    {OPT_LOOKUP_LOCAL_HOST, 1},
    {OPT_LOG_CHANNELS, 1},
    {OPT_LOG_CHATS, 1},
    {OPT_N1_14, 1},
    {OPT_N1_15, 1},
    {OPT_DUAL_MONITORS, 2, kOwnRule},
    {OPT_MINIMISE_QUERIES, 1},
    {OPT_WHOIS_ON_QUERY, 0},
    {OPT_NICKFILE_LISTEN, 0},
    {OPT_BEEP_BUFFER, 1},
    {OPT_N1_21, 1},
    {OPT_NICKFILE_ANSWER_PRIVATE, 1},
    {OPT_ARRANGE_GROUP_BY_CONNECTION, 0},
    {OPT_FSERVE_GETS_PER_PEER, 5},
    {OPT_N1_25, 0},
    {OPT_MINIMISE_TO_TRAY, 1},
    {OPT_RESERVED_N1_27, 0, kReserved},
    {OPT_N1_28, 0},
    {OPT_LINE_SPACING, 0},
    {OPT_TITLE_RIGHT_CLICK_NEEDS_SHIFT, 1},
    {OPT_BEEP_BUILTIN_SOUNDS, 0},
    {OPT_BEEP_SPEAKER, 0},
    {OPT_BEEP_REDIRECT_CLICKS, 0},
    {OPT_PASTE_CONFIRM, 1},
    {OPT_PASTE_CONFIRM_LINES, 10, kBelow, 0, 0},

    // ---- "n2" ----
    {OPT_DCC_CLOSE_CHAT_ON_END, 0},
    {OPT_OPTIONS_ON_STARTUP, 1},
    {OPT_DCC_MINIMISE_AUTO_GETS, 0},
    {OPT_DCC_BEEP_GET_END, 1},
    {OPT_LOCAL_LOOKUP_BY_SERVER, 1},
    {OPT_REMOTE_RAW, 1},
    {OPT_REMOTE_CTCPS, 1},
    {OPT_DEFAULT_USER_LEVEL, 1},
    {OPT_ARRANGE_ORDER_BY_CREATION, 0},
    {OPT_DCC_GET_CHAT_TIMEOUT, 60},
    {OPT_DCC_SEND_TIMEOUT, 120},
    {OPT_DCC_CLOSE_SEND_ON_END, 0},
    {OPT_DCC_FILL_FILES, 0},
    {OPT_DCC_CHAT_MESSAGES, 1},
    {OPT_RESERVED_N2_14, 0, kReserved},
    {OPT_NOTIFY_QUIET, 0},
    {OPT_RESERVED_N2_16, 0, kReserved},
    {OPT_FINGER_SHOW_REQUESTS, 1},
    {OPT_SHORT_JOINS_PARTS, 0},
    {OPT_FSERVE_IDLE_LIMIT, 120},
    {OPT_DCC_MAX_SENDS, 20},
    {OPT_FSERVE_MAX_TRANSFERS, 10},
    {OPT_N2_22, 0},
    {OPT_RETRY_NEXT_SERVER, 1},
    {OPT_RESERVED_N2_24, 0, kReserved},
    {OPT_WHOIS_IN_ACTIVE, 1},
    {OPT_REJOIN_ON_CONNECT, 1},
    {OPT_N2_27, 1},
    {OPT_N2_28, 0},
    {OPT_SHOW_NICK_PREFIX, 1},
    {OPT_NOTIFY_LIST_OFFLINE, 1},
    {OPT_CTRL_TAB_SWITCHBAR_ORDER, 1},
    {OPT_TAB_CHANGES_EDITBOX, 0},
    {OPT_N2_33, 0},
    {OPT_ALT_Z_CLOSES_WINDOW, 1},
    {OPT_LOG_RELOAD, 0},

    // ---- "n3" ----
    {OPT_BUFFER_LINES, 5000, kBelow, 500, 500},
    {OPT_ESCAPE_CLOSES_WINDOWS, 1},
    {OPT_URL_NEW_AT_TOP, 0},
    {OPT_LOG_DATE_FILENAMES, 0},
    {OPT_RECONNECT_ON_DISCONNECT, 1},
    {OPT_DCC_TRUST, 0},
    {OPT_AUTO_OP_DELAY, 1},
    {OPT_TOOLBAR_SHOWN, 1},
    {OPT_RESERVED_N3_8, 0, kReserved},
    {OPT_DCC_FAST_SEND, 1},
    {OPT_JOIN_ON_INVITE, 0},
    {OPT_LOOKUP_LOCAL_ADDRESS, 1, kOwnRule},
    {OPT_CATCH_EMAIL, 0},
    {OPT_CATCH_URLS, 0},
    {OPT_URL_NEW_BROWSER_WINDOW, 1},
    {OPT_URL_ACTIVE_BROWSER_WINDOW, 1},
    {OPT_URL_SEND_DESCRIPTION, 1},
    {OPT_URL_DELETE_ON_EXIT, 1},
    {OPT_SOUND_ACCEPT_REQUESTS, 1},
    {OPT_SOUND_IGNORE_WHILE_PLAYING, 1},
    {OPT_SOUND_WARN_MISSING, 0},
    {OPT_RESERVED_N3_21, 0, kReserved},
    {OPT_KEEP_CHANNELS_OPEN, 0},
    {OPT_NOTIFY_ECHO_ACTIVE, 0},
    {OPT_DCC_ASK_UNTRUSTED, 1},
    {OPT_INVITES_IN_ACTIVE, 0},
    {OPT_DCC_CLOSE_GET_ON_END, 0},
    {OPT_OPTIONS_CATEGORY, 0},
    {OPT_FINGER_SERVER, 0},
    {OPT_LOG_DATE_PERIOD, 0},
    {OPT_DCC_FILTER_REENABLE, 1},
    {OPT_DCC_FILTER_REENABLE_MINUTES, 3, kOutside, 1, 360, 3},
    {OPT_DCC_FILTER_COUNTDOWN, 0, kOwnRule},
    {OPT_N3_33, 0},
    {OPT_SHOW_NICK_CHANGES, 0},
    {OPT_LOG_COLOURS, 1},
    {OPT_DCC_PASSIVE, 0},

    // ---- "n4" ----
    {OPT_CTRL_K_COLOUR_MENU, 1},
    {OPT_BEEP_PRIVATE_MESSAGES, 1},
    {OPT_N4_2, 1},
    {OPT_DCC_FILTER_MODE, 0},
    {OPT_PRIVATE_IN_ACTIVE, 0},
    {OPT_CHANLIST_MIN_USERS, 3},
    {OPT_CHANLIST_MAX_USERS, 9999, kOwnRule},
    {OPT_CHANLIST_TOPIC, 0},
    {OPT_CHANLIST_HIDE, 0},
    {OPT_INVISIBLE_MODE, 1},
    {OPT_CHANLIST_NAMELESS, 1},
    {OPT_TIMESTAMP_EVENTS, 0},
    {OPT_DCC_FIRST_PORT, 1024, kOwnRule},
    {OPT_SERVER_TO_TOP, 1},
    {OPT_RETRY_ON_FAIL, 1},
    {OPT_RETRY_LIMIT, 99},
    {OPT_CONNECT_TIMEOUT, 60, kBelow, 10, 60},
    {OPT_NOTIFY_AUTO_OPEN, 0},
    {OPT_CTCPS_IN_ACTIVE, 0},
    {OPT_N4_19, 1},
    {OPT_SWITCHBAR_SIDE, 1},
    {OPT_HIGHLIGHT_UNSEEN, 1, kOutside, 0, 3, 1},
    {OPT_SWITCHBAR_DCC_WINDOWS, 1},
    {OPT_N4_23, 0},
    {OPT_RESERVED_N4_24, 0, kReserved},
    {OPT_DCC_LAST_PORT, 5000, kOwnRule},
    {OPT_COPY_TO_QUERY, 1},
    {OPT_ACTIVITY_COLOUR_MESSAGE, 5, kOutside, 0, 16, 5},
    {OPT_N4_28, 0, kBelow, 0, 0},
    {OPT_N4_29, 0},
    {OPT_ACTIVITY_COLOUR_EVENT, 3, kOutside, 0, 16, 3},
    {OPT_AWAY_IN_ACTIVE, 0},
    {OPT_CHAT_LINKS, 1},
    {OPT_CHAT_LINKS_CONFIRM, 1},
    {OPT_TRANSPARENCY, 0},
    {OPT_N4_35, 0},
    {OPT_N4_36, 1},

    // ---- "n5" ----
    {OPT_MDI_STATUS, 1},
    {OPT_MDI_CHANNEL, 1},
    {OPT_MDI_QUERY, 1},
    {OPT_MDI_TRANSFER, 1},
    {OPT_MDI_FINGER, 1},
    {OPT_MDI_NOTIFY, 1},
    {OPT_MDI_URLS, 1},
    {OPT_MDI_CHANLIST, 1},
    {OPT_MDI_LINKS, 1},
    {OPT_MDI_FSERVE, 1},
    {OPT_OLD_DEFAULT_PORT, 0, kOwnRule},
    {OPT_PDCC_SIZE, 0, kOwnRule},
    {OPT_NOTICES_IN_ACTIVE, 0},
    {OPT_FAST_TEXT, 0, kNonZeroOne},
    {OPT_SOUNDS_ENABLED, 1},
    {OPT_LOG_UNLOCKED, 0},
    {OPT_MDI_CHAT, 1},
    {OPT_FLOOD_PROTECTION, 0},
    {OPT_FLOOD_BYTES, 300, kClamp, 100, 999},
    {OPT_FLOOD_QUEUE_LINES, 30, kBelow, 10, 10},
    {OPT_FLOOD_USER_LINES, 10, kBelow, 3, 3},
    {OPT_FLOOD_IGNORE_SECONDS, 0},
    {OPT_SWITCHBAR_SHOWN, 1},
    {OPT_SWITCHBAR_BUTTON_HEIGHT, 29, kOwnRule},
    {OPT_STRIP_INCOMING, 0},
    {OPT_LOG_STRIP_CODES, 0},
    {OPT_SCRIPT_START_EVENTS, 1},
    {OPT_DCC_MAX_SEND_RATE, 8192, kOwnRule},
    {OPT_LOG_STATUS_SEPARATE, 0},
    {OPT_AUTO_VOICE_ENABLED, 0},
    {OPT_SWITCHBAR_ROWS, 0, kOutside, 0, 9, 0},
    {OPT_SWITCHBAR_WIDTH, 115, kOutside, 27, 500, 115},
    {OPT_N5_32, 0},
    {OPT_MENUBAR_SHOWN, 1},
    {OPT_SCRIPT_BACKUP, 0},
    {OPT_N5_35, 1},

    // ---- "n6" ----
    {OPT_RESERVED_N6_0, 0, kReserved},
    {OPT_SWITCHBAR_SORT, 0},
    {OPT_OPTIONS_LIST_TOP, 0},
    {OPT_OPTIONS_GROUP_CONNECTION, 1},
    {OPT_OPTIONS_GROUP_IRC, 0},
    {OPT_OPTIONS_GROUP_OTHER, 0},
    {OPT_OPTIONS_GROUP_MOUSE, 0},
    {OPT_OPTIONS_GROUP_SOUNDS, 0},
    {OPT_OPTIONS_GROUP_DCC, 0},
    {OPT_OPTIONS_GROUP_DISPLAY, 0},
    {OPT_RESERVED_N6_10, 0, kReserved},
    {OPT_TRAY_ICON_ALWAYS, 1},
    {OPT_START_IN_TRAY, 0},
    {OPT_TRAY_ICON_INDEX, 0, kBelow, 0, 0},
    {OPT_NOTIFY_SHOW_ADDRESS, 1},
    {OPT_NOTIFY_SHOW_ONLINE_TIME, 1},
    {OPT_N6_16, 0},
    {OPT_TRAY_ANIMATE_ACTIVITY, 1},
    {OPT_ANSI_COLOURS, 1},
    {OPT_HIDE_MINIMISED_DESKTOP_WINDOWS, 0},
    {OPT_DESKTOP_WINDOWS_ON_TOP, 0},
    {OPT_LOG_SIZE_LIMIT, 0},
    {OPT_LOG_SIZE_LIMIT_KB, 100, kBelow, 100, 100},
    {OPT_N6_23, 1},
    {OPT_HOTLINKS_WITHOUT_SHIFT, 1},
    {OPT_RESERVED_N6_25, 0, kReserved},
    {OPT_LOG_TIMESTAMP, 1},
    {OPT_N6_27, 1},
    {OPT_NICKLIST_RIGHT_CLICK_SELECTS, 1},
    {OPT_N6_29, 0},
    {OPT_ACTIVITY_COLOUR_HIGHLIGHT, 4, kOutside, 0, 16, 4},
    {OPT_LOG_BY_NETWORK, 1},
    {OPT_IDENT_OWN_IDENTITY, 0},
    {OPT_N6_33, 0},
    {OPT_N6_34, 0},
    {OPT_N6_35, 0},

    // ---- "n7" ----
    {OPT_CONFIRM_EXIT_CHANNEL, 1},
    {OPT_CONFIRM_EXIT_QUERY, 1},
    {OPT_CONFIRM_EXIT_CONNECTED, 1},
    {OPT_CONFIRM_EXIT_ALWAYS, 0},
    {OPT_FLASH_CHANNEL_MESSAGES, 0},
    {OPT_FLASH_PRIVATE_MESSAGES, 1},
    {OPT_HIDE_CHANNEL_KEY, 0},
    {OPT_CONFIRM_EXIT_TRANSFERS, 1},
    {OPT_CONFIRM_EXIT_CHAT, 1},
    {OPT_FLOOD_ANSWER_CTCPS, 1},
    {OPT_NOTIFY_CHECK_ON_PRIVATE, 1},
    {OPT_SWITCHBAR_BLINK, 1},
    {OPT_REMOTE_EVENTS, 1},
    {OPT_FLOOD_WHOIS_QUERIES, 1},
    {OPT_FLOOD_HOLD_MODES, 0},
    {OPT_CONFIRM_EXIT_SONG, 0},
    {OPT_IAL_ENABLED, 1},
    {OPT_EDITBOX_SPLIT, 70, kOutside, 10, 90, 70},
    {OPT_N7_18, 0},
    {OPT_RETRY_DELAY, 3},
    {OPT_LOG_MAKE_FOLDERS, 0},
    {OPT_N7_21, 1},
    {OPT_CONFIRM_CLOSE_STATUS_CHANNEL, 1},
    {OPT_CONFIRM_CLOSE_STATUS_QUERY, 1},
    {OPT_CONFIRM_CLOSE_STATUS_CONNECTED, 1},
    {OPT_CONFIRM_CLOSE_STATUS_ALWAYS, 1},
    {OPT_FLOOD_HOLD_OWN, 0},
    {OPT_FLOOD_REPORT_QUEUE, 0},
    {OPT_CAPTION_NETWORK, 1},
    {OPT_CAPTION_NICK, 1},
    {OPT_STATUS_LABEL_NETWORK, 1},
    {OPT_STATUS_LABEL_NICK, 1},
    {OPT_N7_32, 0},
    {OPT_N7_33, 0},
    {OPT_N7_34, 1},
    {OPT_N7_35, 0},
    {OPT_TIMEOUT_CHECK, 1},

    // ---- "n8" ----
    {OPT_TOOLBAR_SIDE, 1, kOutside, 0, 3, 1},
    {OPT_TREEBAR_SIDE, 2, kOutside, 0, 3, 2},
    {OPT_TREEBAR_SHOWN, 1},
    {OPT_TREEBAR_WIDTH, 168, kOutside, 24, 500, 168},
    {OPT_N8_4, 1},
    {OPT_SWITCHBAR_DESKTOP_WINDOWS, 1},
    {OPT_N8_6, 1},
    {OPT_N8_7, 2, kOutside, 0, 2, 2},
    {OPT_N8_8, 0},
    {OPT_THIRD_NICK_SLOT, 0},
    {OPT_SWITCHBAR_AUTO_ROWS, 1},
    {OPT_TOOLBAR_MULTILINE, 1},
    {OPT_N8_12, 0},
    {OPT_TRAY_SINGLE_CLICK, 0},
    {OPT_FLASH_CHAT_MESSAGES, 1},
    {OPT_BEEP_CHAT_MESSAGES, 1},
    {OPT_N8_16, 1},
    {OPT_N8_17, 0},
    {OPT_N8_18, 0},
    {OPT_N8_19, 0},
    {OPT_N8_20, 0},
    {OPT_N8_21, 0},
    {OPT_N8_22, 168, kOutside, 30, 500, 168},
    {OPT_N8_23, 1, kOutside, 0, 2, 1},
    {OPT_N8_24, 0, kOutside, 0, 1, 0},
};

constexpr int kLineLengths[kOptionLines] = {35, 36, 36, 37, 37, 36, 36, 37, 25};

// The table must list every position of every line once, in order.
constexpr bool table_is_complete()
{
    std::size_t i = 0;
    for (int line = 0; line < kOptionLines; ++line)
        for (int pos = 0; pos < kLineLengths[line]; ++pos, ++i)
            if (i >= std::size(kOptionTable) || kOptionTable[i].id != option_id(line, pos))
                return false;
    return i == std::size(kOptionTable);
}
static_assert(table_is_complete(), "the option table must hold every position in order");

using Values = std::array<std::array<int, kOptionMaxPositions>, kOptionLines>;

constexpr Values default_values()
{
    Values v{};
    for (const OptionRow& s : kOptionTable)
        v[option_id_line(s.id)][option_id_position(s.id)] = s.def;
    return v;
}

// Constant-initialised, so the values are right before any other start-up code.
constinit Values g_values = default_values();

const OptionRow* row_of(int line, int position)
{
    if (line < 0 || line >= kOptionLines || position < 0 || position >= kLineLengths[line])
        return nullptr;
    int index = position;
    for (int l = 0; l < line; ++l)
        index += kLineLengths[l];
    return &kOptionTable[index];
}

int& value_of(OptionId id)
{
    return g_values[option_id_line(id)][option_id_position(id)];
}

// The line being read by ini_next_csv_int.
std::string g_csv_line;
std::size_t g_csv_cursor = std::string::npos;  // npos: nothing more

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

// Decimal with an optional sign; stops at the first other character; no
// digits give 0; values beyond int are held at its limits.
int parse_decimal(const std::string& text, std::size_t from, std::size_t to)
{
    std::size_t i = from;
    bool negative = false;
    if (i < to && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    long long v = 0;
    for (; i < to && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1)
            v = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        v = -v;
    if (v > INT_MAX)
        v = INT_MAX;
    if (v < INT_MIN)
        v = INT_MIN;
    return static_cast<int>(v);
}

// The values other parts keep in globals of their own.
void push_mirrors()
{
    strip_setting_flags = opt(OPT_STRIP_INCOMING);
    strip_setting_over_only = opt(OPT_STRIP_ONLY_OVER_COUNT);
    strip_setting_over_count = opt(OPT_STRIP_OVER_COUNT);
    opt_online_timer = opt(OPT_ONLINE_TIMER);
    online_time_total.hours = opt(OPT_ONLINE_TOTAL_HOURS);
    online_time_total.minutes = opt(OPT_ONLINE_TOTAL_MINUTES);
    online_time_total.seconds = opt(OPT_ONLINE_TOTAL_SECONDS);
}

void pull_mirrors()
{
    value_of(OPT_STRIP_INCOMING) = strip_setting_flags;
    value_of(OPT_STRIP_ONLY_OVER_COUNT) = strip_setting_over_only;
    value_of(OPT_STRIP_OVER_COUNT) = strip_setting_over_count;
    value_of(OPT_ONLINE_TIMER) = opt_online_timer;
    value_of(OPT_ONLINE_TOTAL_HOURS) = online_time_total.hours;
    value_of(OPT_ONLINE_TOTAL_MINUTES) = online_time_total.minutes;
    value_of(OPT_ONLINE_TOTAL_SECONDS) = online_time_total.seconds;
}

// Applies the position's rule to a value just read and stores it.
void read_position(const OptionRow& s, int v)
{
    switch (s.rule) {
    case kPlain:
        break;
    case kReserved:
        v = 0;
        break;
    case kOutside:
        if (v < s.a || v > s.b)
            v = s.c;
        break;
    case kBelow:
        if (v < s.a)
            v = s.b;
        break;
    case kClamp:
        if (v < s.a)
            v = s.a;
        else if (v > s.b)
            v = s.b;
        break;
    case kNonZeroOne:
        if (v != 0)
            v = 1;
        break;
    case kOwnRule:
        switch (s.id) {
        case OPT_DCC_PACKET_SIZE:
            v = options_default_block_size(v);
            break;
        case OPT_DUAL_MONITORS:
            // 2 becomes 1 when there is more than one monitor.
            if (v == 2 && QGuiApplication::screens().size() > 1)
                v = 1;
            break;
        case OPT_LOOKUP_LOCAL_ADDRESS:
            if (opt(OPT_LOOKUP_LOCAL_HOST) != 0)
                v = 1;
            break;
        case OPT_DCC_FILTER_COUNTDOWN: {
            // Read after the minutes, which are already in range.
            int most = 60 * opt(OPT_DCC_FILTER_REENABLE_MINUTES);
            if (v < 1 || v > most)
                v = most;
            break;
        }
        case OPT_CHANLIST_MAX_USERS:
            if (v == 999)
                v = 9999;
            break;
        case OPT_DCC_FIRST_PORT:
            v = static_cast<std::uint16_t>(v);
            if (v == 0)
                v = 1;
            break;
        case OPT_DCC_LAST_PORT:
            v = static_cast<std::uint16_t>(v);
            if (v < opt(OPT_DCC_FIRST_PORT)) {
                value_of(OPT_DCC_FIRST_PORT) = 1024;
                v = 5000;
            }
            break;
        case OPT_OLD_DEFAULT_PORT:
            options_old_default_port = v > 0 ? v : 0;
            v = 0;
            break;
        case OPT_PDCC_SIZE:
            if (v < 0)
                v = 0;
            else if (v > 0)
                v = 500000;
            break;
        case OPT_SWITCHBAR_BUTTON_HEIGHT:
            if (v != 29 && v != 33 && v != 37)
                v = 29;
            break;
        case OPT_DCC_MAX_SEND_RATE:
            if (v < 1)
                v = 0;
            else if (v < 512)
                v = 512;
            break;
        default:
            break;
        }
        break;
    }
    value_of(s.id) = v;
}

// Rules that look at a whole line once it is read.
void finish_line(int line)
{
    if (line == 1 && (opt(OPT_ONLINE_TOTAL_MINUTES) > 59 || opt(OPT_ONLINE_TOTAL_SECONDS) > 59)) {
        value_of(OPT_ONLINE_TOTAL_HOURS) = 0;
        value_of(OPT_ONLINE_TOTAL_MINUTES) = 0;
        value_of(OPT_ONLINE_TOTAL_SECONDS) = 0;
    }
}

}  // namespace

int options_old_default_port = 0;

int options_default_block_size(int size)
{
    int n = 512;
    while (n < size) {
        n *= 2;
        if (n > 65534)
            return 4096;
    }
    return n;
}

int opt(OptionId id)
{
    const OptionRow* s = row_of(option_id_line(id), option_id_position(id));
    return s ? g_values[option_id_line(id)][option_id_position(id)] : 0;
}

void opt_set(OptionId id, int value)
{
    option_set_value(option_id_line(id), option_id_position(id), value);
}

int opt_default(OptionId id)
{
    const OptionRow* s = row_of(option_id_line(id), option_id_position(id));
    return s ? s->def : 0;
}

int option_value(int line, int position, int def)
{
    if (!row_of(line, position))
        return def;
    return g_values[line][position];
}

void option_set_value(int line, int position, int value)
{
    const OptionRow* s = row_of(line, position);
    if (!s)
        return;
    if (s->rule == kReserved)
        value = 0;
    g_values[line][position] = value;
    // Keep the globals of other parts in step.
    switch (s->id) {
    case OPT_STRIP_INCOMING:
        strip_setting_flags = value;
        break;
    case OPT_STRIP_ONLY_OVER_COUNT:
        strip_setting_over_only = value;
        break;
    case OPT_STRIP_OVER_COUNT:
        strip_setting_over_count = value;
        break;
    case OPT_ONLINE_TIMER:
        opt_online_timer = value;
        break;
    case OPT_ONLINE_TOTAL_HOURS:
        online_time_total.hours = value;
        break;
    case OPT_ONLINE_TOTAL_MINUTES:
        online_time_total.minutes = value;
        break;
    case OPT_ONLINE_TOTAL_SECONDS:
        online_time_total.seconds = value;
        break;
    default:
        break;
    }
}

int options_line_length(int line)
{
    return line >= 0 && line < kOptionLines ? kLineLengths[line] : 0;
}

void options_reset()
{
    g_values = default_values();
    options_old_default_port = 0;
    push_mirrors();
}

void ini_csv_begin(const std::string& line)
{
    g_csv_line = line;
    g_csv_cursor = g_csv_line.empty() ? std::string::npos : 0;
}

int ini_next_csv_int(int def)
{
    if (g_csv_cursor == std::string::npos || g_csv_cursor >= g_csv_line.size())
        return def;
    const std::size_t start = g_csv_cursor;
    std::size_t end = g_csv_line.find(',', start);
    if (end == std::string::npos) {
        end = g_csv_line.size();
        g_csv_cursor = std::string::npos;
    } else {
        std::size_t next = end + 1;
        while (next < g_csv_line.size() && is_blank(g_csv_line[next]))
            ++next;
        g_csv_cursor = next < g_csv_line.size() ? next : std::string::npos;
    }
    std::size_t i = start;
    while (i < end && is_blank(g_csv_line[i]))
        ++i;
    if (i == end)
        return def;
    return parse_decimal(g_csv_line, i, end);
}

void options_load()
{
    options_old_default_port = 0;
    for (int line = 0; line < kOptionLines; ++line) {
        std::string text;
        const std::string key = "n" + std::to_string(line);
        ini_read("options", key.c_str(), "", text, kLongTextSize, main_ini_path);
        ini_csv_begin(text);
        for (int pos = 0; pos < kLineLengths[line]; ++pos) {
            const OptionRow* s = row_of(line, pos);
            read_position(*s, ini_next_csv_int(s->def));
        }
        finish_line(line);
    }
    ini_csv_begin(std::string());
    push_mirrors();
}

std::string options_line_text(int line)
{
    std::string out;
    if (line < 0 || line >= kOptionLines)
        return out;
    for (int pos = 0; pos < kLineLengths[line]; ++pos) {
        const OptionRow* s = row_of(line, pos);
        int v = g_values[line][pos];
        if (s->rule == kReserved || s->id == OPT_OLD_DEFAULT_PORT)
            v = 0;
        if (pos)
            out += ',';
        out += std::to_string(v);
    }
    return out;
}

void ini_save_options()
{
    pull_mirrors();
    for (int line = 0; line < kOptionLines; ++line) {
        const std::string key = "n" + std::to_string(line);
        const std::string text = options_line_text(line);
        ini_write("options", key.c_str(), text.c_str(), main_ini_path);
    }
}
