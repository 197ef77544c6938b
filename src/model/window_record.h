// Window records: one WindowRecord per window that shows text or lists
// (status, channel, query, message, DCC, list and script-made windows), kept
// in one singly linked list in creation order, with the window numbers that
// scripts use ("@N") and every lookup from handles, names and numbers to
// records.
//
// A window handle is the QWidget of the window (the widget that carries the
// window's class name, "Kest_Channel" and so on). Records hold weak
// references: a destroyed widget reads as null, so a stale handle never
// matches a record.
//
// This header is used by code that has no display (protocol, interpreter),
// so it names widget classes only by forward declaration.
#pragma once

#include <QPointer>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "core/hash_table.h"
#include "core/record_slots.h"
#include "core/signal.h"

class QObject;
class QWidget;
class QScrollBar;
class QMenu;
class QFont;
class QIcon;
class TextArea;
class EditBox;
class ListBox;
struct StringNode;
struct Connection;

// A weak reference to a widget that may be destroyed behind our back. It
// reads as null once the widget is gone. Only storing a pointer needs the
// widget's class to be complete; reading it does not, so code without the
// widget headers can compare and pass handles.
template <class T>
class WidgetRef {
public:
    WidgetRef() = default;
    WidgetRef(std::nullptr_t) {}
    WidgetRef(T* widget) { reset(widget); }
    WidgetRef& operator=(T* widget)
    {
        reset(widget);
        return *this;
    }
    WidgetRef& operator=(std::nullptr_t)
    {
        guard_ = nullptr;
        raw_ = nullptr;
        return *this;
    }
    void reset(T* widget)
    {
        guard_ = widget;
        raw_ = widget;
    }
    T* get() const { return guard_.isNull() ? nullptr : raw_; }
    operator T*() const { return get(); }
    T* operator->() const { return get(); }
    // The widget as an object, for code that lacks its class.
    QObject* object() const { return guard_.data(); }

private:
    QPointer<QObject> guard_;
    T* raw_ = nullptr;
};

struct WindowRecord;

// Keeps the index from windows to their records current (window_record.cpp).
void win_index_move(WindowRecord* rec, const QWidget* from, const QWidget* to);

// The window of a record: a weak reference that keeps the index from
// windows to records current as it is set, so that win_record_of answers in
// constant time. It belongs to its record and is never copied.
class WindowHandle : public WidgetRef<QWidget> {
public:
    explicit WindowHandle(WindowRecord* owner) : owner_(owner) {}
    WindowHandle(const WindowHandle&) = delete;
    WindowHandle& operator=(const WindowHandle&) = delete;
    ~WindowHandle() { win_index_move(owner_, key_, nullptr); }
    // Storing needs the widget class: the callers that set a window have it.
    template <class W>
    WindowHandle& operator=(W* widget)
    {
        win_index_move(owner_, key_, widget);
        key_ = widget;
        reset(widget);
        return *this;
    }
    WindowHandle& operator=(std::nullptr_t)
    {
        win_index_move(owner_, key_, nullptr);
        key_ = nullptr;
        WidgetRef<QWidget>::operator=(nullptr);
        return *this;
    }

private:
    WindowRecord* owner_;
    const QWidget* key_ = nullptr;   // the window as it was set (the index's key)
};

// Window types.
enum WindowType : int {
    kWinStatus = 0,
    kWinChannel = 1,
    kWinQuery = 2,      // subtypes below
    kWinTransfer = 3,   // subtype 1 DCC send, 2 DCC get
    kWinChanList = 4,
    kWinFinger = 5,
    kWinUrls = 6,
    kWinNotify = 7,
    kWinLinks = 8,
    kWinCustom = 9,     // subtype 0 text, 1 list box only, 2 text with a side list box
};

// Subtypes of type 2.
enum QuerySubtype : int {
    kQueryPrivate = 1,
    kQueryMessages = 2,
    kQueryDccChat = 3,
    kQueryFserve = 4,
};

// Control ids of a window's child controls.
constexpr int kCtlTextArea = 32918;
constexpr int kCtlScrollBar = 32919;
constexpr int kCtlListBox = 32920;
constexpr int kCtlEditBox = 32921;
constexpr int kCtlEditBox2 = 32922;

// Activity levels: 0 none, 3 other text, 1 message, 2 highlight.
constexpr int kActivityNone = 0;
constexpr int kActivityMessage = 1;
constexpr int kActivityHighlight = 2;
constexpr int kActivityText = 3;

// The value of an unset coordinate.
constexpr int kUnsetCoord = INT32_MIN;

struct WinRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The request block of /window, kept in a custom window's record so that the
// window can be made again (desktop switch). Filled by the /window command.
struct CustomWindowRequest {
    int x = kUnsetCoord;
    int y = kUnsetCoord;
    int width = kUnsetCoord;
    int height = kUnsetCoord;
    int desktop = 0;          // d: a desktop window instead of an MDI child
    int on_top = 0;           // o
    int sorted_list = 0;      // s
    int sorted_side_list = 0; // S
    int minimise = 0;         // n, nN: 0 to 2
    int maximise = 0;         // x
    int bar_presence = 3;     // wN; h sets 0
    int editbox_kind = 0;     // 0 none, 1 one line, 2 two lines, 3 growing, 4 the option's mode
    int m_flag = 0;
    int b_flag = 0;           // B: editbox option 4
    int list_box = 0;         // l: list box window (subtype 1)
    int side_list_width = 0;  // lN: side list of that width (subtype 2)
    int side_list_hidden = 0; // H
    int t_flag = 0;
    int picture = 0;          // p: picture window
    int style_bits = 0;       // "+" group: 1 title, 2 dialog frame, 4 min box, 8 max box,
                              // 16 sizing, 32 thin border, 64 app+tool look, 128 tool look,
                              // 256 e (stored), 512 no frame
    int centre = 0;           // C
    int client_size = 0;      // f with a size
    int hide_at = 0;          // k
    int a_flag = 0;
    int v_flag = 0;
    int z_flag = 0;
    int i_flag = 0;
    int d_flag = 0;           // D
    int shown = 1;            // h sets 0
    std::array<int, 50> tab_stops = default_tab_stops();
    int M_flag = 0;
    std::string font;         // face, comma, size (at most 256)

    static std::array<int, 50> default_tab_stops()
    {
        std::array<int, 50> t{};
        for (int i = 0; i < 50; ++i)
            t[i] = 8 * (i + 1);
        return t;
    }
};

// Whole seconds on a steady clock: the base of the windows' idle times.
std::int64_t win_idle_clock();
// The clock win_idle_clock reads. Default: the system's steady clock.
extern std::int64_t (*win_idle_clock_source)();
// The window that holds the keyboard focus, as the frame knows it (null
// until the frame is there).
extern QWidget* (*win_focused_source)();

// One window. Texts are std::string cut at the usable lengths of their
// declared sizes where they are set (name 1,024, short texts 256).
struct WindowRecord {
    RecordSlots state_slots;          // the modules' own state, destroyed with the record
    WindowHandle hwnd{this};          // the window; null until made and after a failed creation
    int number = 0;                   // unique window number ("@N")
    std::int64_t message_clock = win_idle_clock();  // when the last message came (made: the creation)
    std::string name;                 // "Status Window", a channel, a nick, "@name", a list name

    // Channel state kept by the protocol layer.
    std::string chan_modes;           // mode text (256)
    std::string chan_key;             // key (256)
    std::string network_tag;          // the network the channel was joined on (256)
    std::string chan_text3;           // (256)
    std::string topic;                // (1,024)
    StringNode* chan_list = nullptr;  // protocol list of the window
    std::string proto_text;           // per-window protocol text (256)

    // Logging.
    std::string log_path;             // path of the window's log (1,024)
    std::string log_text;             // (1,024)
    int logging = 0;
    int log_words[2] = {0, 0};
    int log_file = -1;                // -1 while no log is open
    std::string log_pending;          // log lines not yet written to the file

    StringNode* nick_list = nullptr;  // nick entries of a channel
    StringNode* proto_list = nullptr; // protocol list of the window
    int proto_flag = 0;
    HashTable nick_hash;              // index of the nick list (99 buckets for channels)
    StringNode* lines = nullptr;      // display lines (first = oldest)
    StringNode* lines2 = nullptr;     // second display list (headers of list windows)
    StringNode* press_points = nullptr; // "%d,%d" press points of a custom window
    StringNode* history[2] = {nullptr, nullptr}; // input histories of editbox 1 and 2
    StringNode* chan_lists[3] = {nullptr, nullptr, nullptr}; // ban, except, invite lists

    // Display words of the line buffer.
    int line_count = 0;
    int scroll_pos = 0;               // first line in view / view position
    int scroll_end = 0;               // equal to scroll_pos while the newest lines are in view
    StringNode* marker_line = nullptr;
    int display_one = 1;              // set at creation
    int print_countdown = 0;          // query message guard in milliseconds
    long long seconds = 0;            // one more at every tick of the program's clock

    int type = 0;
    int subtype = 0;
    int activity = 0;                 // 0 none, 1 message, 2 highlight, 3 other text
    int beep = 2;                     // 0 off, 1 on, 2 default
    int flash = 2;                    // 0 off, 1 on, 2 default
    int open_flags = 0;               // flags the window was opened with
    int closing = 0;                  // 2 while the window is being closed
    int chan_state = 0;               // protocol layer; consulted before PART
    int chan_left = 0;                // protocol layer: the channel is already left
    int side_list_width = 0;          // pixels
    int side_list_chars = 0;          // 11 for channels; 10 or the request's width for custom
    int timestamp = 2;                // 0 off, 1 on, 2 default
    int option_words[2] = {0, 0};
    int nicklist_place = 0;           // 0 right, 1 left, 2 hidden
    int picture = 0;                  // 1 for a picture window
    int option_words2[2] = {0, 0};
    int song_urls = 0;                // song-URL flag (tracking)
    int rollup_height = 0;            // the height to return to after a roll-up
    int spacing = 2;                  // 0 single, 1 double, 2 default, 3 paragraph
    int speech = 2;                   // 0 off, 1 on, 2 default
    int tips = 2;                     // 0 off, 1 on, 2 default
    int spare_words[2] = {0, 0};
    int editbox_split = 70;           // per cent of the row the first editbox takes
    int activation_word = 0;          // cleared on activation
    int maximised = 0;                // MDI child is maximised
    int keep_icon = 0;                // a minimised MDI child keeps its icon with the bars shown
    int side_list_hidden = 0;
    int nicklist_auto_hide = 0;
    int nicklist_shift_tab = 0;
    int nicklist_hide_countdown = 0;
    std::array<int, 50> tab_stops = CustomWindowRequest::default_tab_stops();
    WinRect text_rect{-1, -1, -1, -1};   // the text area's client rectangle
    WinRect layout_rect{0, 0, 500, 500}; // the layout rectangle

    // Child controls.
    WidgetRef<TextArea> text_area;    // id 32918
    WidgetRef<QScrollBar> scroll_bar; // id 32919, inside the text area
    WidgetRef<EditBox> editbox;       // id 32921
    WidgetRef<EditBox> editbox2;      // id 32922, channels
    WidgetRef<ListBox> listbox;       // id 32920
    int border_style = 0;             // 0 none, 1 thin, 2 raised, 3 sunken
    WidgetRef<QWidget> last_focus;    // restored when the window is activated
    int editbox_extra = 1;            // extra height: 1, or 3 when sunken
    int editbox_spare = 0;
    int editbox_kind = 0;             // 0 "Edit", 2 "RichEdit20A"
    int editbox_mode = 0;             // 0 single line, 1 two lines, 2 grows with its lines
    int editbox_lines = 1;            // lines the editbox showed at the last layout
    int editbox2_wanted = 0;          // a second editbox is wanted
    int editbox2_when_mode = 0;       // shown only to users with one of the prefixes
    std::string editbox2_prefixes = "@";
    std::string editbox2_command;     // the second editbox's command (256)
    int editbox2_show_command = 0;

    // Picture state (background picture, picture-window back buffer), owned
    // by the picture code; released through win_hooks.picture_free.
    void* picture_state = nullptr;

    // Font.
    std::shared_ptr<QFont> font;
    std::string font_face = "FixedSys";
    int font_size = 12;
    int font_weight = 400;
    int font_charset = 1;             // 1: the default character set
    int char_width = 0;               // average character width for wrapping
    int line_height = 0;
    int tab_unit = 0;
    int font_encoding = 0;            // 0 default, 1 show UTF-8, 2 show and send UTF-8

    std::shared_ptr<QIcon> icon;
    std::shared_ptr<QMenu> system_menu; // the window's own system-menu entries

    int display_three = 3;            // custom windows: the script's value
    int shared = 0;                   // 1 not bound to one connection; 2 DCC window whose connection went
    int custom_one = 1;
    int quiet_minimise = 0;           // DCC transfer windows open minimised without activation
    int display_words[2] = {0, 0};
    int display_minus_one = -1;
    WinRect zero_rect{};
    std::string popup_file;           // popup file of a custom window (1,024)
    int custom_flags = 0;             // bits 1 and 2 of the /window request
    int debug_raw = 0;                // /debug writes raw traffic into this custom window
    std::string command_text;         // pre-fill of the editbox ("/msg " for the message window)
    Connection* conn = nullptr;       // owning connection (validated before use)
    int close_with_conn = 0;          // custom windows: closed when their connection is freed
    int follows_active = 0;           // takes the connection of every activated window
    int orphan = 0;                   // a DCC window that lost its connection
    int keep_open = 0;                // a query that ignores the next close command
    int track_urls = 0;
    CustomWindowRequest custom_request; // the /window request, kept for re-creation
    std::uint64_t creation_seq = 0;
    WinRect zero_rect2{};
    WinRect minus_rect{-1, -1, -1, -1};
    int list_extent = 0;              // 1 for list windows (types 4, 6, 7, 8)
    int shown = 1;                    // cleared for the first window when the program starts hidden
    int activation_guard = 0;
    int minus_words[2] = {-1, -1};
    int bar_flags = 3;                // bit 0 switchbar button, bit 1 treebar item
    int status_expanded = 1;          // status window's group expanded in the bars
    const void* script_file = nullptr; // the script that made a custom window

    WindowRecord* next = nullptr;
};

// ---- Globals of the window manager ----

extern WindowRecord* win_list;              // head of the window list (creation order)
extern WidgetRef<QWidget> win_active;       // the last activated window (child or desktop)
extern std::uint64_t win_creation_counter;  // raised by one for every record made

// ---- Calls into other parts of the program ----
//
// A null entry means that part is absent; the default behaviour is given
// beside each.
struct WinHooks {
    // Releases the picture state of a record. Absent: nothing to release.
    void (*picture_free)(WindowRecord* rec) = nullptr;
};
extern WinHooks win_hooks;

// The window list as the bars show it changed: a window's look (activity,
// caption, font: the switchbar repaints), the list's order (a window opened,
// renamed, closed or moved to another connection: the list is sorted again
// in the bars' order), the tree (refreshed by `mode`) or one window's item in
// the tree (`rec`, shown when `mode` is 1).
enum WinListChangeKind {
    kWinListLook,
    kWinListOrder,
    kWinListTree,
    kWinListTreeItem,
};
struct WinListChange {
    int kind = kWinListLook;
    WindowRecord* rec = nullptr;
    int mode = 0;
};
enum WinListChangedOrder {
    kWinListChangedSwitchbar = 10,  // repaints; sorts the list
    kWinListChangedTreebar = 20,    // refreshes the tree and its items
};
extern Signal<void(const WinListChange& change)> win_list_changed;
// Fires win_list_changed.
void win_list_change(int kind, WindowRecord* rec = nullptr, int mode = 0);

// A record is being freed (its lists still there): the parts that keep
// something open for it let go. Fired by win_record_free.
enum RecordFreeingOrder {
    kRecordFreeingLog = 10,  // the window's log is closed with its closing header
};
extern Signal<void(WindowRecord* rec)> win_record_freeing;

// Other numbers in use by lists outside the window and connection lists
// (notify entries, DCC records, script-made records): a listener gives 1
// when it holds the number.
enum WinIdsTakenOrder {
    kIdsTakenNotify = 10,
};
extern Signal<int(int id)> win_ids_taken;
// The next window number after the last one handed out, 1 to 14999 and
// wrapping to 1, skipping numbers in use by connections, window records and
// the other registered lists. 0 only when every number is taken.
int win_alloc_id();
// Sets the last number handed out (start-up and tests).
void win_alloc_id_set_last(int last);
// 1 when the number is in use by a connection, a window or another list.
int win_id_in_use(int id);

// ---- Records ----

// Seconds since the last message received in the window (since it was
// made while none came), and the note that one came.
long win_idle_seconds(const WindowRecord* rec);
void win_note_message(WindowRecord* rec);

// A record with the defaults. With with_number it gets a window number and is
// appended to the list; without, it is a loose record that is not listed.
// Null when memory runs out.
WindowRecord* win_record_new(int with_number);

// Releases what the record owns (lists, nick hash, log, picture, font, icon,
// the state other parts keep on it) and unlinks and frees it. A loose record
// is freed too. Returns 1, or 0 for a null pointer.
int win_record_free(WindowRecord* rec);

// The record whose window is the handle, or null (also for null).
WindowRecord* win_record_of(const QWidget* hwnd);
// The record with that window number, or null.
WindowRecord* win_record_by_id(int number);
// 1 when the pointer is a listed record.
int win_is_record(const void* pointer);
// A listed record whose window is still there.
bool win_is_open(const WindowRecord* rec);
// Number of listed records.
int win_count();

// One more on the second counter of every window (the one-second tick).
void win_count_second();

// ---- Lookups ----

// The first record whose name equals the given one (case ignored). Status,
// channel, query, message, channels-list and links windows must belong to the
// connection when one is given; DCC chat, file-server chat, transfer, finger,
// URL, notify and custom windows match on any connection. Empty name: none.
WindowRecord* win_find_by_name(const std::string& name, Connection* conn);
// The open channel window of that name (case ignored) on the connection, or
// null.
WindowRecord* win_find_channel(const std::string& name, Connection* conn);
// The first record of the type (of that connection when one is given).
WindowRecord* win_find_by_type(int type, Connection* conn);
// "@desktop" 1, "@kest" 2, "@mdi" 4, "@" 8, "@" followed only by digits 16,
// anything else 0 (case ignored for the words).
int win_special_name_kind(const std::string& name);

// ---- Activity ----

// Rank of a level: 0 < 3 < 1 < 2.
int win_activity_rank(int level);
// The level after a printed line of the kind (2 highlight, 1 message, 3 other
// text): only ever raised by rank.
int win_activity_after(int current, int kind);
// Clears the level (activation). 1 when it was set.
int win_clear_activity(WindowRecord* rec);


