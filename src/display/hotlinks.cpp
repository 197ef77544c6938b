#include "display/hotlinks.h"

#include <QListWidget>
#include <QPointer>
#include <QRect>

#include <algorithm>
#include <cctype>
#include <vector>

#include "display/child_layout.h"
#include "display/child_controls.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "display/address_open.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "display/draw.h"
#include "model/line_buffer.h"
#include "display/mouse_clicks.h"
#include "model/nick_list.h"
#include "irc/lists/notify_list.h"
#include "irc/numerics/isupport.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"
#include "script/exec/executor.h"

namespace {

struct HotlinkState {
    std::string word;           // at most 4,200 characters
    QPointer<QWidget> window;   // the window whose text holds the hotlink
    int popup_kind = -1;        // the popup that belongs to the word
    int busy = 0;
};
HotlinkState g_hot;

constexpr std::size_t kWordLimit = 4200;
constexpr std::size_t kNickLimit = 256;

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

bool is_alnum(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

// The opener of a closing bracket or quote (the quote itself), 0 for none.
char opener_of(char closer)
{
    switch (closer) {
    case ')': return '(';
    case '>': return '<';
    case ']': return '[';
    case '}': return '{';
    case '"': return '"';
    case '\'': return '\'';
    default: return 0;
    }
}

char closer_of(char opener)
{
    switch (opener) {
    case '(': return ')';
    case '<': return '>';
    case '[': return ']';
    case '{': return '}';
    case '"': return '"';
    case '\'': return '\'';
    default: return 0;
    }
}

std::size_t skip_prefixes(const std::string& text, const std::string& prefixes)
{
    std::size_t i = 0;
    while (i < text.size() && prefixes.find(text[i]) != std::string::npos)
        ++i;
    return i;
}

// Clears the state and the busy flag whatever way the search ends.
struct BusyScope {
    BusyScope() { g_hot.busy = 1; }
    ~BusyScope() { g_hot.busy = 0; }
};

// The printed line a shown part belongs to: its parts joined (continuation
// indents skipped, an all-blank part as one blank), and where the part's
// byte index lands in the joined text.
struct JoinedLine {
    std::string text;
    int index = -1;
    const StringNode* first = nullptr;
};

JoinedLine join_printed_line(const WindowRecord* rec, const StringNode* part, int index)
{
    JoinedLine out;
    // The head's prev is the last line: the walk back stops at the head.
    const StringNode* first = part;
    while (first != rec->lines && first->prev && first->prev->serial == part->serial &&
           !line_is_marker(first->prev))
        first = first->prev;
    out.first = first;
    for (const StringNode* p = first; p && p->serial == part->serial && !line_is_marker(p);
         p = p->next) {
        if (out.text.size() >= kLongText)
            break;
        const std::string& t = p->text;
        std::size_t skip = 0;
        if (p != first) {
            while (skip < t.size() && skip < static_cast<std::size_t>(std::max(0, p->indent)) &&
                   t[skip] == ' ')
                ++skip;
        }
        const bool all_blank = t.find_first_not_of(' ') == std::string::npos;
        if (p == part) {
            const int at = static_cast<int>(out.text.size()) + index - static_cast<int>(skip);
            out.index = std::max(static_cast<int>(out.text.size()), at);
        }
        if (all_blank && p != first)
            out.text += ' ';
        else
            out.text.append(t, skip, std::string::npos);
        if (out.text.size() > kLongText)
            out.text.resize(kLongText);
    }
    if (out.index >= static_cast<int>(out.text.size()))
        out.index = -1;
    return out;
}

// The number (1-based) of the printed line that starts at the part.
int printed_line_number(const WindowRecord* rec, const StringNode* first)
{
    int number = 0;
    int serial = -1;
    for (const StringNode* p = rec->lines; p; p = p->next) {
        if (line_is_marker(p))
            continue;
        if (p->serial != serial) {
            ++number;
            serial = p->serial;
        }
        if (p == first)
            break;
    }
    return number;
}

void run_with_param(QWidget* window, const std::string& command, const std::string& param,
                    Connection* conn)
{
    if (command.empty())
        return;
    script_exec_line(window, command.c_str(), param.c_str(), 1, nullptr, nullptr, conn);
}

void select_member_row(WindowRecord* rec, int row)
{
    QListWidget* list = rec->listbox.get();
    if (!list || row < 0 || row >= list->count())
        return;
    list->clearSelection();
    list->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

}  // namespace

const std::string& hotlink_word()
{
    return g_hot.word;
}

QWidget* hotlink_window()
{
    return g_hot.window.data();
}

void hotlink_clear()
{
    g_hot.word.clear();
    g_hot.window = nullptr;
    g_hot.popup_kind = -1;
}

int hotlink_popup_kind()
{
    return g_hot.window ? g_hot.popup_kind : -1;
}

int hotlink_char_at(WindowRecord* rec, const StringNode* line, int x)
{
    if (!win_is_record(rec) || !line)
        return -1;
    WinRect r;
    win_text_rect(rec->hwnd.get(), r, 0);
    std::vector<CharBox> boxes;
    draw_line_char_boxes(rec, line, r.left + 2, boxes);
    for (const CharBox& b : boxes)
        if (x >= b.left && x < b.right)
            return b.from;
    return -1;
}

HotlinkNicks hotlink_nick_candidates(const std::string& input, const std::string& prefixes)
{
    HotlinkNicks out;
    std::string word = input.substr(0, input.find(':'));
    if (!input.empty() && input[0] == ':')
        return out;
    if (word.size() > kNickLimit)
        word.resize(kNickLimit);
    const std::size_t start = skip_prefixes(word, prefixes);
    out.nick[0] = word.substr(start);
    std::string s = word.substr(start);
    if (s.size() >= 2) {
        const char a = s.front();
        const char z = s.back();
        const bool pair = !is_alnum(a) && !is_alnum(z) && (a == z || closer_of(a) == z);
        if (pair) {
            s.pop_back();
            out.nick[1] = s.substr(1);
            if (!out.nick[1].empty() && prefixes.find(out.nick[1][0]) != std::string::npos)
                out.nick[2] = out.nick[1].substr(skip_prefixes(out.nick[1], prefixes));
        } else {
            out.nick[2] = s;
            if (!is_alnum(a)) {
                std::size_t i = 1;
                while (i < s.size() && prefixes.find(s[i]) != std::string::npos)
                    ++i;
                out.nick[1] = s.substr(i);
                out.nick[3] = out.nick[1];
            }
            if (!is_alnum(out.nick[2].back())) {
                out.nick[2].pop_back();
                if (!out.nick[3].empty() && !is_alnum(out.nick[3].back()))
                    out.nick[3].pop_back();
            }
        }
    }
    for (std::string& n : out.nick)
        text_lower(n);
    if (!out.nick[2].empty() && out.nick[2] == out.nick[0])
        out.nick[2].clear();
    if (!out.nick[3].empty() && out.nick[3] == out.nick[1])
        out.nick[3].clear();
    return out;
}

std::string hotlink_channel_name(const std::string& input, const std::string& before,
                                 const std::string& prefixes, Connection* conn)
{
    const std::size_t start = skip_prefixes(input, prefixes);
    if (start >= input.size() || !isupport_is_chantype(input.c_str() + start, conn))
        return {};
    std::string name = input.substr(start);
    name = name.substr(0, name.find(','));
    if (name.size() < 2)
        return {};
    const char last = name.back();
    if (const char open = opener_of(last)) {
        int count = 0;
        for (char c : before) {
            if (c == open)
                ++count;
            else if (c == last)
                --count;
        }
        if (open == last)
            count = count % 2;
        if (count > 0) {
            while (count-- > 0 && !name.empty() && name.back() == last)
                name.pop_back();
        } else if (count < 0) {
            name.pop_back();
        }
    }
    if (!name.empty() && (name.back() == ',' || name.back() == '.' || name.back() == ':' ||
                          name.back() == ';'))
        name.pop_back();
    // The name still starts with its channel-type character; one alone is
    // no channel.
    if (name.size() < 2)
        return {};
    return name;
}

std::string hotlink_address(const std::string& input, const std::string& before_text, int shift)
{
    std::string word = input;
    std::string before = before_text;
    for (;;) {
        const std::string previous = word;
        if (word.size() < 2 || word.find('.', 1) == std::string::npos)
            return {};
        const char first = word.front();
        if (const char close = (first == '"' || first == '\'' || first == '(' || first == '<' ||
                                first == '[' || first == '{')
                                   ? closer_of(first)
                                   : 0) {
            word.erase(0, 1);
            if (!word.empty() && word.back() == close)
                word.pop_back();
            if (first == '<')
                word = word.substr(0, word.find('>'));
        } else {
            const char last = word.back();
            if (const char open = opener_of(last)) {
                int opens = 0, closes = 0;
                for (char c : before) {
                    if (c == open)
                        ++opens;
                    else if (c == last)
                        ++closes;
                }
                if (open == last)
                    closes = 0, opens = opens % 2;
                if (opens > closes) {
                    word.pop_back();
                    before[before.find(open)] = ' ';
                }
            }
            if (!word.empty() && (word.back() == ',' || word.back() == '.'))
                word.pop_back();
        }
        if (word == previous)
            break;
    }
    struct Scheme {
        const char* text;
        int kind;
    };
    static const Scheme schemes[] = {
        {"aim:", 1},   {"callto:", 1}, {"ftp:", 1},     {"ftps:", 1},  {"gopher:", 1},
        {"http:", 1},  {"https:", 1},  {"goim:", 1},    {"irc:", 1},   {"mailto:", 1},
        {"msnim:", 1}, {"news:", 1},   {"skype:", 1},   {"telnet:", 1}, {"ymsgr:", 1},
        {"www.", 2},   {"ftp.", 2},    {"@", 4},        {nullptr, 0},
    };
    std::size_t minimum = 0;
    bool matched = false;
    for (const Scheme* s = schemes; s->kind; ++s) {
        const std::size_t n = std::char_traits<char>::length(s->text);
        const bool prefixed = word.size() >= n && text_equal_nocase(std::string_view(word).substr(0, n), s->text);
        if (s->kind == 1 && prefixed) {
            minimum = n + 4;
            matched = true;
            break;
        }
        if (s->kind == 2 && prefixed) {
            if (word.find('.', n) == std::string::npos)
                return {};
            minimum = 8;
            matched = true;
        } else if (s->kind == 4 && word.find('@') != std::string::npos) {
            if (!shift)
                return {};
            minimum = 6;
            matched = true;
        }
    }
    if (!matched || word.size() < minimum)
        return {};
    return word;
}

int hotlink_at_point(QWidget* window, QPoint point, int kind, int shift)
{
    if (g_hot.busy)
        return 0;
    BusyScope busy;
    if (!opt(OPT_HOTLINKS_WITHOUT_SHIFT) && !shift)
        return 0;
    hotlink_clear();
    WindowRecord* rec = win_record_of(window);
    if (!win_is_record(rec) || !rec->text_area.get() || !rec->lines || !conn_is_live(rec->conn))
        return 0;
    Connection* conn = rec->conn;
    WinRect r;
    win_text_rect(rec->hwnd.get(), r, 0);
    const QRect area(r.left, r.top, r.right - r.left, r.bottom - r.top);
    if (point.x() <= 1 || point.y() < area.top() || point.y() >= area.bottom())
        return 0;

    // The shown line under the point, as the painter laid the rows out.
    std::vector<ShownLine> shown;
    draw_lines_in_view(rec, area, shown);
    const StringNode* line = nullptr;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const int bottom = i + 1 < shown.size() ? shown[i + 1].top : area.bottom();
        if (point.y() >= shown[i].top && point.y() < bottom) {
            line = shown[i].line;
            break;
        }
    }
    if (!line || line_is_marker(line))
        return 0;
    const int at = hotlink_char_at(rec, line, point.x());
    if (at < 0 || at >= static_cast<int>(line->text.size()) || is_blank(line->text[at]))
        return 0;

    const JoinedLine joined = join_printed_line(rec, line, at);
    if (joined.index < 0 || is_blank(joined.text[joined.index]))
        return 0;
    const std::string& text = joined.text;
    std::size_t start = static_cast<std::size_t>(joined.index);
    while (start > 0 && !is_blank(text[start - 1]))
        --start;
    std::size_t end = static_cast<std::size_t>(joined.index);
    while (end < text.size() && !is_blank(text[end]))
        ++end;
    int word_number = 1;
    for (std::size_t i = 0; i < start; ++i)
        if (!is_blank(text[i]) && (i == 0 || is_blank(text[i - 1])))
            ++word_number;
    const std::string before = text.substr(0, start);
    std::string word = text.substr(start, std::min(end - start, kWordLimit));
    text_strip_codes(word, kStripBold | kStripUnderline | kStripReverse | kStripColour);
    if (word.empty())
        return 0;
    g_hot.word = word;
    QPointer<QWidget> hwnd(rec->hwnd.get());

    // A script may claim the word.
    if (event_switch_events && !event_startup_hold && event_index.head[kEvHotlink]) {
        EventSource source;
        source.text1 = text;
        source.text2 = word;
        source.hotline_pos[0] = printed_line_number(rec, joined.first);
        source.hotline_pos[1] = word_number;
        if (event_fire(conn, hwnd.data(), nullptr, "HOTLINK", kEvHotlink, 1, nullptr, &source)) {
            if (kind == kHotlinkDouble && hwnd && conn_is_live(conn))
                event_fire(conn, hwnd.data(), nullptr, "HOTLINK", kEvHotlink, 0, nullptr, &source);
            g_hot.window = hwnd;
            g_hot.popup_kind = kHotlinkPopupScript;
            return 1;
        }
        rec = win_record_of(hwnd.data());
        if (!win_is_record(rec) || !conn_is_live(conn))
            return 0;
    }

    const std::string prefixes = nicklist_prefix_chars(conn);
    // A channel name.
    const std::size_t after_prefix = skip_prefixes(word, prefixes);
    if (after_prefix < word.size() && isupport_is_chantype(word.c_str() + after_prefix, conn)) {
        const std::string name = hotlink_channel_name(word, before, prefixes, conn);
        if (name.empty())
            return 0;
        g_hot.window = hwnd;
        if (kind == kHotlinkDouble) {
            // The name is chat text: it goes to /join as it stands, never
            // evaluated and never split into further commands.
            script_exec_plain_command(hwnd.data(), "join " + name, conn, 0);
        } else if (kind == kHotlinkPopup) {
            g_hot.word = name;
        }
        g_hot.popup_kind = kHotlinkPopupChannel;
        return 1;
    }

    // An address.
    const std::string address = hotlink_address(word, before, shift);
    if (!address.empty()) {
        g_hot.window = hwnd;
        g_hot.popup_kind = kHotlinkPopupAddress;
        if (kind == kHotlinkDouble)
            url_open_address(address);
        else if (kind == kHotlinkPopup)
            g_hot.word = address;
        return 1;
    }

    // Nicks: members of a channel, notify entries, private-message partners.
    if (rec->type != kWinStatus && rec->type != kWinChannel && rec->type != kWinQuery)
        return 0;
    const HotlinkNicks nicks = hotlink_nick_candidates(word, prefixes);
    const bool message_window = rec->type == kWinQuery && rec->subtype == kQueryMessages;
    if (rec->type == kWinChannel) {
        for (const std::string& n : nicks.nick) {
            if (n.empty())
                continue;
            NickEntry* entry = nicklist_find(rec, n);
            if (!entry)
                continue;
            g_hot.window = hwnd;
            const int row = nicklist_row_of(rec, entry);
            const std::string nick = entry->text;
            g_hot.popup_kind = kHotlinkPopupNick;
            if (kind == kHotlinkDouble) {
                run_with_param(hwnd.data(), click_commands.nicklist, nick, conn);
            } else if (kind == kHotlinkPress || kind == kHotlinkPopup) {
                select_member_row(rec, row);
                if (kind == kHotlinkPopup)
                    g_hot.word = nick;
            }
            return 1;
        }
    }
    for (const std::string& n : nicks.nick) {
        if (n.empty())
            continue;
        const NotifyEntry* entry = notify_find(n, 1, conn);
        if (!entry)
            continue;
        const std::string nick = entry->nick.substr(0, entry->nick.find('!'));
        g_hot.window = hwnd;
        g_hot.popup_kind = kHotlinkPopupNotify;
        if (kind == kHotlinkDouble)
            run_with_param(hwnd.data(),
                           message_window ? click_commands.message : click_commands.notify, nick,
                           conn);
        else if (kind == kHotlinkPopup)
            g_hot.word = nick;
        return 1;
    }
    return 0;
}

