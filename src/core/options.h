// The option lines: section "options" of the main settings file holds nine
// keys "n0" to "n8", each a line of decimal numbers separated by ",". Most
// yes/no and numeric settings of the program are positions in these lines.
//
// The values live here, process-wide, each position starting at its default.
// Other parts of the program read and change them by name:
//
//     if (opt(OPT_CONNECT_ON_STARTUP)) ...
//     opt_set(OPT_BEEP_COUNT, 3);
//
// `options_load` reads the lines at start-up (a missing or empty field takes
// its default, so a shorter line from an older file is valid) and applies the
// load rules of each position; `ini_save_options` writes them back.
//
// Where the meaning of a position is settled only by the code that reads it,
// its name carries the line and position (OPT_N4_2) and the comment names
// those readers.
#pragma once

#include <string>

constexpr int kOptionLines = 9;             // "n0" .. "n8"
constexpr int kOptionMaxPositions = 37;     // the longest line

// An option is known by its line and position.
constexpr int option_id(int line, int position) { return line * 64 + position; }
constexpr int option_id_line(int id) { return id / 64; }
constexpr int option_id_position(int id) { return id % 64; }

enum OptionId : int {
    // ---- Line "n0" (35 values) ----
    OPT_CONNECT_ON_STARTUP = option_id(0, 0),
    OPT_SHOW_ADDRESSES = option_id(0, 1),             // addresses in join, part, invite lines
    OPT_BEEP_CHANNEL_MESSAGES = option_id(0, 2),
    OPT_IDENT_SHOW_REQUESTS = option_id(0, 3),
    OPT_HIGHLIGHT_ENABLED = option_id(0, 4),
    OPT_NOTIFY_ENABLED = option_id(0, 5),
    OPT_DDE_DELAY = option_id(0, 6),
    OPT_REJOIN_ON_KICK = option_id(0, 7),
    OPT_AWAY_CANCEL_ON_MESSAGE = option_id(0, 8),
    OPT_IGNORE_ENABLED = option_id(0, 9),
    OPT_SWITCHBAR_LIMIT_BUTTONS = option_id(0, 10),   // 1: buttons keep their size (not stretched)
    OPT_ALIAS_FILE_INDEX = option_id(0, 11),          // the current alias file
    OPT_AUTO_OP_ENABLED = option_id(0, 12),
    OPT_PROTECT_ENABLED = option_id(0, 13),
    OPT_DCC_SEND_REQUESTS = option_id(0, 14),         // 0 ask, 1 accept, 2 ignore
    OPT_DCC_FILE_EXISTS = option_id(0, 15),           // 0 ask, 1 resume, 2 overwrite, 3 cancel
    OPT_DCC_SPACES_TO_UNDERSCORES = option_id(0, 16),
    OPT_DCC_CHAT_REQUESTS = option_id(0, 17),         // 0 ask, 1 accept, 2 ignore
    OPT_PERFORM_ENABLED = option_id(0, 18),
    OPT_DCC_CHAT_NO_ACTIVATE = option_id(0, 19),      // accepted chat windows open without activation
    OPT_DCC_PACKET_SIZE = option_id(0, 20),           // a power of two, 512 .. 32768
    OPT_SINGLE_MESSAGE_WINDOW = option_id(0, 21),
    OPT_PREFIX_OWN_MESSAGES = option_id(0, 22),
    OPT_POPUP_FILE_KIND = option_id(0, 23),           // the current popup file
    OPT_DCC_BEEP_SEND_END = option_id(0, 24),
    OPT_DCC_BEEP_CHAT_END = option_id(0, 25),
    OPT_IDENT_ONLY_WHILE_CONNECTING = option_id(0, 26),
    OPT_CHANLIST_RANGE_REQUEST = option_id(0, 27),    // read by chanlist_copy_filter
    OPT_STRIP_ONLY_OVER_COUNT = option_id(0, 28),
    OPT_STRIP_OVER_COUNT = option_id(0, 29),
    OPT_HIDE_PING_PONG = option_id(0, 30),
    OPT_NICK_COLOURS_ENABLED = option_id(0, 31),
    OPT_IDENTIFIER_WARNING = option_id(0, 32),
    OPT_N0_33 = option_id(0, 33),                     // kept for the options dialog
    OPT_CONFIRM_CONNECT_SECOND_CLICK = option_id(0, 34),

    // ---- Line "n1" (36 values) ----
    OPT_BEEP_COUNT = option_id(1, 0),
    OPT_BEEP_DELAY = option_id(1, 1),                 // milliseconds
    OPT_ONLINE_TIMER = option_id(1, 2),
    OPT_ONLINE_TIMER_TOTAL = option_id(1, 3),         // the timer shows the total time
    OPT_ONLINE_TOTAL_HOURS = option_id(1, 4),
    OPT_ONLINE_TOTAL_MINUTES = option_id(1, 5),
    OPT_ONLINE_TOTAL_SECONDS = option_id(1, 6),
    OPT_EDITBOX_LINES = option_id(1, 7),              // 0 single, 1 multiple, 2 automatic
    OPT_REMOTE_FILE_INDEX = option_id(1, 8),          // the current remote file
    OPT_N1_9 = option_id(1, 9),                       // read by conn_close
    OPT_SKIP_MOTD = option_id(1, 10),
    OPT_LOOKUP_LOCAL_HOST = option_id(1, 11),         // look the local host up on every connect
    OPT_LOG_CHANNELS = option_id(1, 12),
    OPT_LOG_CHATS = option_id(1, 13),
    OPT_N1_14 = option_id(1, 14),                     // read by irc_on_privmsg
    OPT_N1_15 = option_id(1, 15),                     // read by irc_on_notice, irc_on_numeric
    OPT_DUAL_MONITORS = option_id(1, 16),
    OPT_MINIMISE_QUERIES = option_id(1, 17),
    OPT_WHOIS_ON_QUERY = option_id(1, 18),
    OPT_NICKFILE_LISTEN = option_id(1, 19),
    OPT_BEEP_BUFFER = option_id(1, 20),               // beep on lines while scrolled back
    OPT_N1_21 = option_id(1, 21),                     // read by irc_on_invite
    OPT_NICKFILE_ANSWER_PRIVATE = option_id(1, 22),
    OPT_ARRANGE_GROUP_BY_CONNECTION = option_id(1, 23),
    OPT_FSERVE_GETS_PER_PEER = option_id(1, 24),
    OPT_N1_25 = option_id(1, 25),                     // read by flash_start
    OPT_MINIMISE_TO_TRAY = option_id(1, 26),
    OPT_RESERVED_N1_27 = option_id(1, 27),
    OPT_N1_28 = option_id(1, 28),                     // display
    OPT_LINE_SPACING = option_id(1, 29),              // 0 single, 1 double, 2 paragraph
    OPT_TITLE_RIGHT_CLICK_NEEDS_SHIFT = option_id(1, 30),
    OPT_BEEP_BUILTIN_SOUNDS = option_id(1, 31),
    OPT_BEEP_SPEAKER = option_id(1, 32),
    OPT_BEEP_REDIRECT_CLICKS = option_id(1, 33),
    OPT_PASTE_CONFIRM = option_id(1, 34),
    OPT_PASTE_CONFIRM_LINES = option_id(1, 35),

    // ---- Line "n2" (36 values) ----
    OPT_DCC_CLOSE_CHAT_ON_END = option_id(2, 0),
    OPT_OPTIONS_ON_STARTUP = option_id(2, 1),
    OPT_DCC_MINIMISE_AUTO_GETS = option_id(2, 2),
    OPT_DCC_BEEP_GET_END = option_id(2, 3),
    OPT_LOCAL_LOOKUP_BY_SERVER = option_id(2, 4),
    OPT_REMOTE_RAW = option_id(2, 5),
    OPT_REMOTE_CTCPS = option_id(2, 6),
    OPT_DEFAULT_USER_LEVEL = option_id(2, 7),
    OPT_ARRANGE_ORDER_BY_CREATION = option_id(2, 8),
    OPT_DCC_GET_CHAT_TIMEOUT = option_id(2, 9),       // seconds
    OPT_DCC_SEND_TIMEOUT = option_id(2, 10),          // seconds
    OPT_DCC_CLOSE_SEND_ON_END = option_id(2, 11),
    OPT_DCC_FILL_FILES = option_id(2, 12),
    OPT_DCC_CHAT_MESSAGES = option_id(2, 13),         // read by dccchat_end, _accept, _on_connected
    OPT_RESERVED_N2_14 = option_id(2, 14),
    OPT_NOTIFY_QUIET = option_id(2, 15),
    OPT_RESERVED_N2_16 = option_id(2, 16),
    OPT_FINGER_SHOW_REQUESTS = option_id(2, 17),
    OPT_SHORT_JOINS_PARTS = option_id(2, 18),
    OPT_FSERVE_IDLE_LIMIT = option_id(2, 19),         // seconds
    OPT_DCC_MAX_SENDS = option_id(2, 20),
    OPT_FSERVE_MAX_TRANSFERS = option_id(2, 21),
    OPT_N2_22 = option_id(2, 22),                     // read by mdi_post_arrange_command, win_open
    OPT_RETRY_NEXT_SERVER = option_id(2, 23),
    OPT_RESERVED_N2_24 = option_id(2, 24),
    OPT_WHOIS_IN_ACTIVE = option_id(2, 25),
    OPT_REJOIN_ON_CONNECT = option_id(2, 26),
    OPT_N2_27 = option_id(2, 27),                     // tool windows
    OPT_N2_28 = option_id(2, 28),                     // tool windows
    OPT_SHOW_NICK_PREFIX = option_id(2, 29),
    OPT_NOTIFY_LIST_OFFLINE = option_id(2, 30),
    OPT_CTRL_TAB_SWITCHBAR_ORDER = option_id(2, 31),
    OPT_TAB_CHANGES_EDITBOX = option_id(2, 32),
    OPT_N2_33 = option_id(2, 33),                     // read by win_build_system_menu
    OPT_ALT_Z_CLOSES_WINDOW = option_id(2, 34),
    OPT_LOG_RELOAD = option_id(2, 35),                // bit 1 channels, bit 2 chats

    // ---- Line "n3" (37 values) ----
    OPT_BUFFER_LINES = option_id(3, 0),
    OPT_ESCAPE_CLOSES_WINDOWS = option_id(3, 1),
    OPT_URL_NEW_AT_TOP = option_id(3, 2),
    OPT_LOG_DATE_FILENAMES = option_id(3, 3),
    OPT_RECONNECT_ON_DISCONNECT = option_id(3, 4),
    OPT_DCC_TRUST = option_id(3, 5),                  // automatic receives only from the trusted list
    OPT_AUTO_OP_DELAY = option_id(3, 6),
    OPT_TOOLBAR_SHOWN = option_id(3, 7),
    OPT_RESERVED_N3_8 = option_id(3, 8),
    OPT_DCC_FAST_SEND = option_id(3, 9),
    OPT_JOIN_ON_INVITE = option_id(3, 10),
    OPT_LOOKUP_LOCAL_ADDRESS = option_id(3, 11),      // look the local address up on every connect
    OPT_CATCH_EMAIL = option_id(3, 12),
    OPT_CATCH_URLS = option_id(3, 13),
    OPT_URL_NEW_BROWSER_WINDOW = option_id(3, 14),
    OPT_URL_ACTIVE_BROWSER_WINDOW = option_id(3, 15),
    OPT_URL_SEND_DESCRIPTION = option_id(3, 16),
    OPT_URL_DELETE_ON_EXIT = option_id(3, 17),
    OPT_SOUND_ACCEPT_REQUESTS = option_id(3, 18),
    OPT_SOUND_IGNORE_WHILE_PLAYING = option_id(3, 19),
    OPT_SOUND_WARN_MISSING = option_id(3, 20),
    OPT_RESERVED_N3_21 = option_id(3, 21),
    OPT_KEEP_CHANNELS_OPEN = option_id(3, 22),
    OPT_NOTIFY_ECHO_ACTIVE = option_id(3, 23),
    OPT_DCC_ASK_UNTRUSTED = option_id(3, 24),         // with OPT_DCC_TRUST: ask about untrusted senders
    OPT_INVITES_IN_ACTIVE = option_id(3, 25),
    OPT_DCC_CLOSE_GET_ON_END = option_id(3, 26),
    OPT_OPTIONS_CATEGORY = option_id(3, 27),          // the options dialog's selected row
    OPT_FINGER_SERVER = option_id(3, 28),             // the finger server runs (started at start-up)
    OPT_LOG_DATE_PERIOD = option_id(3, 29),           // 0 day, 1 week, 2 month
    OPT_DCC_FILTER_REENABLE = option_id(3, 30),
    OPT_DCC_FILTER_REENABLE_MINUTES = option_id(3, 31),
    OPT_DCC_FILTER_COUNTDOWN = option_id(3, 32),      // seconds
    OPT_N3_33 = option_id(3, 33),                     // DCC
    OPT_SHOW_NICK_CHANGES = option_id(3, 34),
    OPT_LOG_COLOURS = option_id(3, 35),
    OPT_DCC_PASSIVE = option_id(3, 36),

    // ---- Line "n4" (37 values) ----
    OPT_CTRL_K_COLOUR_MENU = option_id(4, 0),
    OPT_BEEP_PRIVATE_MESSAGES = option_id(4, 1),
    OPT_N4_2 = option_id(4, 2),                       // server-line handling
    OPT_DCC_FILTER_MODE = option_id(4, 3),            // 0 off, 1 accept listed, 2 ignore listed
    OPT_PRIVATE_IN_ACTIVE = option_id(4, 4),
    OPT_CHANLIST_MIN_USERS = option_id(4, 5),
    OPT_CHANLIST_MAX_USERS = option_id(4, 6),
    OPT_CHANLIST_TOPIC = option_id(4, 7),
    OPT_CHANLIST_HIDE = option_id(4, 8),
    OPT_INVISIBLE_MODE = option_id(4, 9),
    OPT_CHANLIST_NAMELESS = option_id(4, 10),
    OPT_TIMESTAMP_EVENTS = option_id(4, 11),
    OPT_DCC_FIRST_PORT = option_id(4, 12),
    OPT_SERVER_TO_TOP = option_id(4, 13),
    OPT_RETRY_ON_FAIL = option_id(4, 14),
    OPT_RETRY_LIMIT = option_id(4, 15),
    OPT_CONNECT_TIMEOUT = option_id(4, 16),           // seconds
    OPT_NOTIFY_AUTO_OPEN = option_id(4, 17),
    OPT_CTCPS_IN_ACTIVE = option_id(4, 18),
    OPT_N4_19 = option_id(4, 19),                     // read by conn_auto_join
    OPT_SWITCHBAR_SIDE = option_id(4, 20),            // 0 bottom, 1 top, 2 left, 3 right
    OPT_HIGHLIGHT_UNSEEN = option_id(4, 21),          // read by win_needs_highlight, 0 .. 3
    OPT_SWITCHBAR_DCC_WINDOWS = option_id(4, 22),
    OPT_N4_23 = option_id(4, 23),                     // notify
    OPT_RESERVED_N4_24 = option_id(4, 24),
    OPT_DCC_LAST_PORT = option_id(4, 25),
    OPT_COPY_TO_QUERY = option_id(4, 26),
    OPT_ACTIVITY_COLOUR_MESSAGE = option_id(4, 27),
    OPT_N4_28 = option_id(4, 28),                     // display
    OPT_N4_29 = option_id(4, 29),                     // display
    OPT_ACTIVITY_COLOUR_EVENT = option_id(4, 30),
    OPT_AWAY_IN_ACTIVE = option_id(4, 31),
    OPT_CHAT_LINKS = option_id(4, 32),
    OPT_CHAT_LINKS_CONFIRM = option_id(4, 33),
    OPT_TRANSPARENCY = option_id(4, 34),              // percent, 0 .. 75
    OPT_N4_35 = option_id(4, 35),                     // display
    OPT_N4_36 = option_id(4, 36),                     // read by conn_auto_join

    // ---- Line "n5" (36 values) ----
    // Positions 0 to 9 and 16: the window kind opens inside the main window
    // (1) or on the desktop (0).
    OPT_MDI_STATUS = option_id(5, 0),
    OPT_MDI_CHANNEL = option_id(5, 1),
    OPT_MDI_QUERY = option_id(5, 2),
    OPT_MDI_TRANSFER = option_id(5, 3),
    OPT_MDI_FINGER = option_id(5, 4),
    OPT_MDI_NOTIFY = option_id(5, 5),
    OPT_MDI_URLS = option_id(5, 6),
    OPT_MDI_CHANLIST = option_id(5, 7),
    OPT_MDI_LINKS = option_id(5, 8),
    OPT_MDI_FSERVE = option_id(5, 9),
    OPT_OLD_DEFAULT_PORT = option_id(5, 10),          // older place of "text"/"defport"; written as 0
    OPT_PDCC_SIZE = option_id(5, 11),                 // 0 or 500000
    OPT_NOTICES_IN_ACTIVE = option_id(5, 12),
    OPT_FAST_TEXT = option_id(5, 13),
    OPT_SOUNDS_ENABLED = option_id(5, 14),
    OPT_LOG_UNLOCKED = option_id(5, 15),              // 1: log files are not locked
    OPT_MDI_CHAT = option_id(5, 16),
    OPT_FLOOD_PROTECTION = option_id(5, 17),
    OPT_FLOOD_BYTES = option_id(5, 18),
    OPT_FLOOD_QUEUE_LINES = option_id(5, 19),
    OPT_FLOOD_USER_LINES = option_id(5, 20),
    OPT_FLOOD_IGNORE_SECONDS = option_id(5, 21),
    OPT_SWITCHBAR_SHOWN = option_id(5, 22),
    OPT_SWITCHBAR_BUTTON_HEIGHT = option_id(5, 23),   // 29, 33 or 37
    OPT_STRIP_INCOMING = option_id(5, 24),            // bits 1 bold, 2 underline, 4 reverse, 8 colour
    OPT_LOG_STRIP_CODES = option_id(5, 25),
    OPT_SCRIPT_START_EVENTS = option_id(5, 26),       // read by cmd_load, script_fire_load_start
    OPT_DCC_MAX_SEND_RATE = option_id(5, 27),         // bytes per second, 0 none
    OPT_LOG_STATUS_SEPARATE = option_id(5, 28),
    OPT_AUTO_VOICE_ENABLED = option_id(5, 29),
    OPT_SWITCHBAR_ROWS = option_id(5, 30),            // rows less one, 0 .. 9
    OPT_SWITCHBAR_WIDTH = option_id(5, 31),           // at a side, 27 .. 500
    OPT_N5_32 = option_id(5, 32),                     // DCC
    OPT_MENUBAR_SHOWN = option_id(5, 33),
    OPT_SCRIPT_BACKUP = option_id(5, 34),             // ".bak" copies of saved script files
    OPT_N5_35 = option_id(5, 35),                     // tool windows

    // ---- Line "n6" (36 values) ----
    OPT_RESERVED_N6_0 = option_id(6, 0),
    OPT_SWITCHBAR_SORT = option_id(6, 1),
    OPT_OPTIONS_LIST_TOP = option_id(6, 2),           // the options dialog's first shown row
    // Positions 3 to 9: the options dialog's groups are open (1) or closed.
    OPT_OPTIONS_GROUP_CONNECTION = option_id(6, 3),
    OPT_OPTIONS_GROUP_IRC = option_id(6, 4),
    OPT_OPTIONS_GROUP_OTHER = option_id(6, 5),
    OPT_OPTIONS_GROUP_MOUSE = option_id(6, 6),
    OPT_OPTIONS_GROUP_SOUNDS = option_id(6, 7),
    OPT_OPTIONS_GROUP_DCC = option_id(6, 8),
    OPT_OPTIONS_GROUP_DISPLAY = option_id(6, 9),
    OPT_RESERVED_N6_10 = option_id(6, 10),
    OPT_TRAY_ICON_ALWAYS = option_id(6, 11),
    OPT_START_IN_TRAY = option_id(6, 12),
    OPT_TRAY_ICON_INDEX = option_id(6, 13),
    OPT_NOTIFY_SHOW_ADDRESS = option_id(6, 14),
    OPT_NOTIFY_SHOW_ONLINE_TIME = option_id(6, 15),
    OPT_N6_16 = option_id(6, 16),                     // read by frame_create, frame_shutdown
    OPT_TRAY_ANIMATE_ACTIVITY = option_id(6, 17),
    OPT_ANSI_COLOURS = option_id(6, 18),
    OPT_HIDE_MINIMISED_DESKTOP_WINDOWS = option_id(6, 19),
    OPT_DESKTOP_WINDOWS_ON_TOP = option_id(6, 20),
    OPT_LOG_SIZE_LIMIT = option_id(6, 21),
    OPT_LOG_SIZE_LIMIT_KB = option_id(6, 22),
    OPT_N6_23 = option_id(6, 23),                     // read by editor_open
    OPT_HOTLINKS_WITHOUT_SHIFT = option_id(6, 24),
    OPT_RESERVED_N6_25 = option_id(6, 25),
    OPT_LOG_TIMESTAMP = option_id(6, 26),
    OPT_N6_27 = option_id(6, 27),                     // read by cmd_dcc, dcc_ignore_test
    OPT_NICKLIST_RIGHT_CLICK_SELECTS = option_id(6, 28),
    OPT_N6_29 = option_id(6, 29),                     // read by editor_find
    OPT_ACTIVITY_COLOUR_HIGHLIGHT = option_id(6, 30),
    OPT_LOG_BY_NETWORK = option_id(6, 31),
    OPT_IDENT_OWN_IDENTITY = option_id(6, 32),
    OPT_N6_33 = option_id(6, 33),                     // window manager
    OPT_N6_34 = option_id(6, 34),                     // display
    OPT_N6_35 = option_id(6, 35),                     // display

    // ---- Line "n7" (37 values) ----
    OPT_CONFIRM_EXIT_CHANNEL = option_id(7, 0),
    OPT_CONFIRM_EXIT_QUERY = option_id(7, 1),
    OPT_CONFIRM_EXIT_CONNECTED = option_id(7, 2),
    OPT_CONFIRM_EXIT_ALWAYS = option_id(7, 3),
    OPT_FLASH_CHANNEL_MESSAGES = option_id(7, 4),
    OPT_FLASH_PRIVATE_MESSAGES = option_id(7, 5),
    OPT_HIDE_CHANNEL_KEY = option_id(7, 6),
    OPT_CONFIRM_EXIT_TRANSFERS = option_id(7, 7),
    OPT_CONFIRM_EXIT_CHAT = option_id(7, 8),
    OPT_FLOOD_ANSWER_CTCPS = option_id(7, 9),
    OPT_NOTIFY_CHECK_ON_PRIVATE = option_id(7, 10),
    OPT_SWITCHBAR_BLINK = option_id(7, 11),
    OPT_REMOTE_EVENTS = option_id(7, 12),
    OPT_FLOOD_WHOIS_QUERIES = option_id(7, 13),
    OPT_FLOOD_HOLD_MODES = option_id(7, 14),
    OPT_CONFIRM_EXIT_SONG = option_id(7, 15),
    OPT_IAL_ENABLED = option_id(7, 16),
    OPT_EDITBOX_SPLIT = option_id(7, 17),             // per cent of the row for the first editbox, 10 .. 90
    OPT_N7_18 = option_id(7, 18),                     // read by cmd_dcc
    OPT_RETRY_DELAY = option_id(7, 19),               // seconds
    OPT_LOG_MAKE_FOLDERS = option_id(7, 20),
    OPT_N7_21 = option_id(7, 21),                     // window manager
    OPT_CONFIRM_CLOSE_STATUS_CHANNEL = option_id(7, 22),
    OPT_CONFIRM_CLOSE_STATUS_QUERY = option_id(7, 23),
    OPT_CONFIRM_CLOSE_STATUS_CONNECTED = option_id(7, 24),
    OPT_CONFIRM_CLOSE_STATUS_ALWAYS = option_id(7, 25),
    OPT_FLOOD_HOLD_OWN = option_id(7, 26),
    OPT_FLOOD_REPORT_QUEUE = option_id(7, 27),
    OPT_CAPTION_NETWORK = option_id(7, 28),
    OPT_CAPTION_NICK = option_id(7, 29),
    OPT_STATUS_LABEL_NETWORK = option_id(7, 30),
    OPT_STATUS_LABEL_NICK = option_id(7, 31),
    OPT_N7_32 = option_id(7, 32),                     // window manager
    OPT_N7_33 = option_id(7, 33),                     // window manager
    OPT_N7_34 = option_id(7, 34),                     // read by frame_on_command
    OPT_N7_35 = option_id(7, 35),                     // window manager
    OPT_TIMEOUT_CHECK = option_id(7, 36),

    // ---- Line "n8" (25 values) ----
    OPT_TOOLBAR_SIDE = option_id(8, 0),               // 0 bottom, 1 top, 2 left, 3 right
    OPT_TREEBAR_SIDE = option_id(8, 1),
    OPT_TREEBAR_SHOWN = option_id(8, 2),
    OPT_TREEBAR_WIDTH = option_id(8, 3),              // 24 .. 500
    OPT_N8_4 = option_id(8, 4),                       // bars menu
    OPT_SWITCHBAR_DESKTOP_WINDOWS = option_id(8, 5),
    OPT_N8_6 = option_id(8, 6),                       // bars menu, treebar
    OPT_N8_7 = option_id(8, 7),                       // bars menu, 0 .. 2
    OPT_N8_8 = option_id(8, 8),                       // window manager
    OPT_THIRD_NICK_SLOT = option_id(8, 9),
    OPT_SWITCHBAR_AUTO_ROWS = option_id(8, 10),
    OPT_TOOLBAR_MULTILINE = option_id(8, 11),
    OPT_N8_12 = option_id(8, 12),                     // bars menu, frame layout
    OPT_TRAY_SINGLE_CLICK = option_id(8, 13),
    OPT_FLASH_CHAT_MESSAGES = option_id(8, 14),
    OPT_BEEP_CHAT_MESSAGES = option_id(8, 15),
    OPT_N8_16 = option_id(8, 16),                     // DCC chats
    OPT_N8_17 = option_id(8, 17),                     // read by irc_on_join
    OPT_N8_18 = option_id(8, 18),                     // read by irc_on_part
    OPT_N8_19 = option_id(8, 19),                     // read by irc_on_kick
    OPT_N8_20 = option_id(8, 20),                     // DCC
    OPT_N8_21 = option_id(8, 21),                     // read by irc_on_numeric
    OPT_N8_22 = option_id(8, 22),                     // frame layout, 30 .. 500
    OPT_N8_23 = option_id(8, 23),                     // bars menu, notify window, 0 .. 2
    OPT_N8_24 = option_id(8, 24),                     // bars menu, 0 .. 1
};

// ---- Values ----

// The value of an option (its default until it is loaded or set).
int opt(OptionId id);
// Sets an option as it is (callers apply their own bounds).
void opt_set(OptionId id, int value);
// The default of an option.
int opt_default(OptionId id);

// The same by line and position: the value, or `def` for a position that
// does not exist. Same shape as the connection module's option reader.
int option_value(int line, int position, int def);
// Sets a value; a position that does not exist is ignored.
void option_set_value(int line, int position, int value);

// Number of positions of a line (0 for a line that does not exist).
int options_line_length(int line);

// Every position back to its default.
void options_reset();

// ---- Reading a line of numbers ----

// Starts reading a comma-separated line of numbers (the text is copied).
void ini_csv_begin(const std::string& line);
// The next field of the line: the default when the line has no more fields
// or the field is empty after its leading blanks; otherwise the field as a
// decimal number with an optional sign (conversion stops at the first other
// character; no digits give 0).
int ini_next_csv_int(int def);

// ---- Load and save ----

// Reads the nine lines of section "options" of the main settings file and
// applies each position's rules. Also hands the values that other parts
// keep in their own globals to them (the strip settings, the online timer).
void options_load();

// Writes "n0" to "n8" (reserved positions and the older default port as 0),
// first taking back the values that other parts keep in their own globals.
void ini_save_options();

// The text ini_save_options writes for a line.
std::string options_line_text(int line);

// The value of "n5" position 10 read by the last options_load when it was
// positive, else 0: an older file's default port, which then replaces the
// default port text.
extern int options_old_default_port;

// ---- Calls out ----

// Rounds the stored DCC packet size ("n0" position 20): the smallest power
// of two from 512 up that is not below the size, where a step past 65534
// gives 4096.
int options_default_block_size(int size);
