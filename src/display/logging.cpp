// Log files of windows: names, header lines, writing, trimming, the day
// change and merging.
#include "display/logging.h"
#include "display/window_buffer.h"
#include "display/log_prompts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "model/connection.h"
#include "display/second_tick.h"
#include "model/window_record.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/list_sort.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/time_date.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/replies.h"

LogHooks log_hooks;
int log_last_day = 0;

namespace {

// Set while a window's whole buffer is written: the file stays open
// between its lines even when files are closed after each line.
int hold_open = 0;

constexpr int kTextStarted = 3701;
constexpr int kTextClosed = 3702;
constexpr int kTextStopped = 3703;
constexpr int kTextSaveAs = 3704;
constexpr int kTextLoggingStarted = 3705;
constexpr int kTextCannotOpen = 3706;
constexpr int kTextIdent = 3709;
constexpr int kTextSessionTime = 3713;
constexpr int kTextDeleteTitle = 1920;
constexpr int kTextDeleteQuestion = 1926;

// Gathered log lines are written once this many bytes wait.
constexpr std::size_t kLogPendingLimit = 64 * 1024;

// Lines longer than this without a break count as content when a file is
// searched backwards for its last real line.
constexpr std::size_t kLongestScannedLine = 65536;

std::string numbered(int id)
{
    std::string s;
    text_load_string(id, &s);
    return s;
}

// printf with one text argument, the result cut at the long-text length.
std::string format_text(int id, const std::string& arg)
{
    std::string fmt = numbered(id);
    std::string out;
    std::size_t at = fmt.find("%s");
    if (at == std::string::npos)
        out = fmt;
    else
        out = fmt.substr(0, at) + arg + fmt.substr(at + 2);
    if (out.size() > kLongText)
        out.resize(kLongText);
    return out;
}

std::time_t now()
{
    return time_clock ? time_clock() : std::time(nullptr);
}

int local_day(std::time_t t)
{
    std::tm tm{};
    if (!localtime_r(&t, &tm))
        return 0;
    return (tm.tm_year + 1900) * 10000 + (tm.tm_mon + 1) * 100 + tm.tm_mday;
}

// The part of a name after its first blank; the whole name when it has none.
std::string after_first_blank(const std::string& name)
{
    std::size_t blank = name.find(' ');
    return blank == std::string::npos ? name : name.substr(blank + 1);
}

std::string chan_types_of(Connection* conn)
{
    if (conn_is_live(conn) && !conn->chan_types.empty())
        return conn->chan_types;
    return "#&";
}

bool is_channel_name(const std::string& name, Connection* conn)
{
    return !name.empty() && chan_types_of(conn).find(name[0]) != std::string::npos;
}

// Folder (with its "/"), file name without extension, and extension.
void split_path(const std::string& path, std::string& folder, std::string& name, std::string& ext)
{
    std::size_t slash = path.rfind('/');
    folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    std::size_t dot = file.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        name = file;
        ext.clear();
    } else {
        name = file.substr(0, dot);
        ext = file.substr(dot);
    }
}

bool write_all(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Opens a log for appending (created when missing); -1 on failure. Devices,
// pipes and other special files are refused.
int open_append(const std::string& path)
{
    if (path.empty() || file_is_device(path))
        return -1;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Writes the gathered lines; they are dropped when the file cannot be
// opened, so nothing piles up behind a file that is gone.
void write_pending(WindowRecord* rec)
{
    if (rec->log_pending.empty())
        return;
    if (rec->log_file == -1)
        rec->log_file = open_append(rec->log_path);
    if (rec->log_file != -1)
        write_all(rec->log_file, rec->log_pending);
    rec->log_pending.clear();
}

void close_handle(WindowRecord* rec)
{
    write_pending(rec);
    if (rec->log_file != -1) {
        ::close(rec->log_file);
        rec->log_file = -1;
    }
}

bool ensure_open(WindowRecord* rec)
{
    if (rec->log_file != -1)
        return true;
    rec->log_file = open_append(rec->log_path);
    return rec->log_file != -1;
}

// Writes at once, behind the lines gathered before (an open file).
void write_now(WindowRecord* rec, const std::string& data)
{
    write_pending(rec);
    write_all(rec->log_file, data);
}

// The log stamp of the current second: the stamp is made again only when
// the second, the log stamp format or the strip option changes.
const std::string& log_stamp(int strip)
{
    static std::time_t made_at = 0;
    static int made_strip = -1;
    static std::string made_format;
    static std::string stamp;
    const std::time_t t = now();
    if (t != made_at || strip != made_strip || made_format != time_log_stamp_format ||
        time_log_stamp_format.empty()) {
        time_stamp_text(stamp, 3);
        if (strip)
            text_strip_codes(stamp, kStripBold | kStripUnderline | kStripReverse | kStripColour);
        text_collapse_char(stamp, ' ');
        made_at = t;
        made_strip = strip;
        made_format = time_log_stamp_format;
    }
    return stamp;
}

void echo(WindowRecord* rec, const std::string& text)
{
    log_echo_in_window(rec, text);
}

// Moves a log to a new name; onto an existing file it is appended.
void move_log(const std::string& from, const std::string& to)
{
    if (from.empty() || to.empty() || from == to)
        return;
    if (!file_exists(from, 1))
        return;
    if (file_exists(to, 1))
        file_move(from, to, 4);
    else
        file_move(from, to, 1);
}

bool is_logging_kind(const WindowRecord* rec)
{
    return rec->type == kWinStatus || rec->type == kWinChannel || rec->type == kWinQuery ||
           (rec->type == kWinCustom && !rec->picture);
}

bool network_known(Connection* conn)
{
    return !log_network_name(conn).empty();
}

// The composed path of a window from its base path and network flag.
std::string composed_path(WindowRecord* rec, int use_network)
{
    std::string out;
    log_compose_path(rec->log_text, rec->type, use_network, 0, rec->conn, out);
    return out;
}

// A line that does not count as content of a log: empty, a header line or
// the separator, a leading colour code looked past.
bool is_header_line(std::string_view line, const std::string headers[3])
{
    while (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line.size() >= 1 && line[0] == 0x03) {
        std::size_t i = 1;
        for (int d = 0; d < 2 && i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])); ++d)
            ++i;
        if (i + 2 < line.size() && line[i] == ',' && line[i + 1] == '9' && line[i + 2] == '9')
            i += 3;
        line.remove_prefix(i);
    }
    if (line.empty())
        return true;
    for (int h = 0; h < 3; ++h) {
        if (!headers[h].empty() && text_starts_with_nocase(line, headers[h]))
            return true;
    }
    const std::string& sep = main_settings.line_separator;
    return !sep.empty() && line == sep;
}

// Writes the buffer of the window (each printed line joined from its parts)
// into the log, each line with its own colour and without stamps.
void write_buffer(WindowRecord* rec)
{
    std::string joined;
    for (StringNode* n = rec->lines; n; n = n->next) {
        if (line_is_marker(n))
            continue;
        StringNode* last = line_join_wrapped(n, &joined);
        log_write_line(rec, joined, 1, line_colour(n));
        n = last;
    }
}

bool switch_on(WindowRecord* rec, int echo_on, int write_ini, int ask_file, const std::string& file,
               int with_buffer, int reload, bool from_default)
{
    if (!rec->logging) {
        const LogSettings s = log_settings();
        std::string base;
        std::string stored;
        log_logging_key(rec->name, 1, &stored);
        auto explicit_name = [](const std::string& t) {
            return !t.empty() && !text_equal_nocase(t, "on") && !text_equal_nocase(t, "off");
        };
        std::string base_name;
        log_base_name(rec->name, base_name, rec->conn);
        if (explicit_name(file) || explicit_name(stored)) {
            // A name without a folder lies in the log folder; another
            // relative path is taken from the settings folder.
            base = explicit_name(file) ? file : stored;
            file_fix_slashes(base);
            if (base.find('/') == std::string::npos)
                base = log_folder() + base;
        } else if (ask_file) {
            base = log_prompt_file(numbered(kTextSaveAs), log_folder() + base_name);
            if (base.empty())
                return false;
        } else {
            base = log_folder() + base_name;
        }
        file_fix_slashes(base);
        if (!base.empty() && base[0] != '/')
            file_abs_settings_dir(base);
        rec->log_words[1] = network_known(rec->conn) ? 1 : 0;
        if (!file_avoid_device_name(base))
            return false;
        rec->log_text = base.substr(0, std::min<std::size_t>(base.size(), kMediumText));
        rec->log_path = composed_path(rec, rec->log_words[1]);
        if (s.by_network) {
            std::string plain = composed_path(rec, 0);
            if (plain != rec->log_path && file_exists(plain, 1))
                move_log(plain, rec->log_path);
        }
        if (!log_open(rec, 1)) {
            echo(rec, format_text(kTextCannotOpen, rec->log_path));
            return false;
        }
        if (with_buffer) {
            hold_open = 1;
            write_buffer(rec);
            hold_open = 0;
            if (s.close_each_line)
                close_handle(rec);
        }
        if (reload)
            log_reload_into_window(rec);
        if (echo_on)
            echo(rec, format_text(kTextLoggingStarted, rec->log_path));
    }
    if (!from_default && write_ini) {
        std::string key = log_logging_key(rec->name, 0, nullptr);
        std::string rel = file_relative_to_settings_dir(rec->log_text);
        ini_write("logging", key.c_str(), rel.c_str(), "");
    }
    return true;
}

void switch_off(WindowRecord* rec, int echo_on, int write_ini, bool from_default)
{
    const bool was = rec->logging != 0;
    log_reopen_handles(0);
    if (was)
        log_close(rec, 1);
    rec->logging = 0;
    log_reopen_handles(1);
    if (was && echo_on)
        echo(rec, format_text(kTextStopped, rec->log_path));
    if (!from_default && write_ini) {
        std::string key = log_logging_key(rec->name, 0, nullptr);
        ini_write("logging", key.c_str(), "off", "");
    }
}

bool default_wanted(const WindowRecord* rec)
{
    const LogSettings s = log_settings();
    switch (rec->type) {
    case kWinChannel: return s.channels_default != 0;
    case kWinQuery: return s.queries_default != 0;
    case kWinStatus: return true;
    default: return false;
    }
}

}  // namespace

// ---- Settings ----

LogSettings log_settings()
{
    LogSettings s;
    s.strip = opt(OPT_LOG_STRIP_CODES);
    s.timestamp = opt(OPT_LOG_TIMESTAMP);
    s.colours = opt(OPT_LOG_COLOURS);
    s.close_each_line = opt(OPT_LOG_UNLOCKED);
    s.size_limit = opt(OPT_LOG_SIZE_LIMIT);
    s.size_limit_kb = opt(OPT_LOG_SIZE_LIMIT_KB);
    if (s.size_limit_kb < 1)
        s.size_limit_kb = 1;
    s.by_network = opt(OPT_LOG_BY_NETWORK);
    s.network_folders = opt(OPT_LOG_MAKE_FOLDERS);
    s.dated = opt(OPT_LOG_DATE_FILENAMES);
    s.status_undated = opt(OPT_LOG_STATUS_SEPARATE);
    s.period = opt(OPT_LOG_DATE_PERIOD);
    s.channels_default = opt(OPT_LOG_CHANNELS);
    s.queries_default = opt(OPT_LOG_CHATS);
    return s;
}

std::string log_folder()
{
    std::string dir = main_settings.log_dir;
    if (dir.empty())
        dir = settings_dir + "logs/";
    file_fix_slashes(dir);
    if (dir.back() != '/')
        dir += '/';
    return dir;
}

// ---- Names ----

int log_base_name(const std::string& window_name, std::string& out, Connection* conn)
{
    static const struct {
        const char* window;
        const char* file;
    } kFixed[] = {
        {"Status Window", "status"}, {"Message Window", "messages"}, {"Finger Window", "finger"},
        {"Links List", "links"},     {"Urls List", "urls"},          {"Notify List", "notify"},
        {"Channels List", "chanlist"},
    };
    out.clear();
    for (const auto& f : kFixed) {
        if (text_equal_nocase(window_name, f.window)) {
            out = f.file;
            break;
        }
    }
    if (out.empty()) {
        out = window_name;
        if (!is_channel_name(out, conn)) {
            std::size_t blank = out.find(' ');
            if (blank != std::string::npos)
                out.erase(0, blank + 1);
        }
    }
    if (out.size() > kShortText)
        out.resize(kShortText);
    if (text_ends_with_nocase(out, ".log") == std::string::npos)
        out += ".log";
    file_sanitize_name(out, isupport_is_chantype(out.c_str(), conn) != 0);
    return out.size() > 4 ? 1 : 0;
}

std::string log_network_name(Connection* conn)
{
    if (!conn_is_live(conn))
        return {};
    std::string net = conn->network;
    if (net.size() > kShortText)
        net.resize(kShortText);
    // The name comes from the server: it is made a plain file name before it
    // goes into a folder or file name, and "." and ".." are never used.
    if (net.empty() || net == "." || net == "..")
        return {};
    file_sanitize_name(net, isupport_is_chantype(net.c_str(), conn) != 0);
    for (char& c : net) {
        if (c == '/' || c == '\\' || c == '\0')
            c = '_';
    }
    if (net.empty() || net == "." || net == "..")
        return {};
    if (file_is_device(net) && !file_avoid_device_name(net))
        return {};
    return net;
}

int log_compose_path(const std::string& base_path, int window_type, int use_network, int days_back,
                     Connection* conn, std::string& out)
{
    const LogSettings s = log_settings();
    int used = 0;
    out = base_path;
    std::string folder, name, ext;
    split_path(out, folder, name, ext);

    if (use_network && s.by_network && window_type >= kWinStatus && window_type <= kWinQuery &&
        !folder.empty() && folder[0] == '/' && !name.empty()) {
        const std::string net = log_network_name(conn);
        if (!net.empty()) {
            bool placed = false;
            if (s.network_folders) {
                const std::string root = log_folder();
                const std::string dir = root + net;
                if (file_make_dir(dir) && file_path_is_inside(dir + "/" + name + ext, root)) {
                    out = dir + "/" + name + ext;
                    used = 1;
                    placed = true;
                }
            }
            if (!placed) {
                out = folder + name + "." + net + ext;
                used = 2;
            }
        }
    }

    if (s.dated && !(window_type == kWinStatus && s.status_undated)) {
        split_path(out, folder, name, ext);
        std::time_t t = now();
        std::tm tm{};
        if (localtime_r(&t, &tm)) {
            tm.tm_mday -= days_back;
            tm.tm_hour = 12;
            tm.tm_min = 0;
            tm.tm_sec = 0;
            tm.tm_isdst = -1;
            std::time_t back = std::mktime(&tm);
            std::tm day{};
            if (back != static_cast<std::time_t>(-1) && localtime_r(&back, &day)) {
                int d = day.tm_mday;
                if (s.period == 1)
                    d = d >= 21 ? 21 : d >= 14 ? 14 : d >= 7 ? 7 : 1;
                else if (s.period == 2)
                    d = 1;
                char date[32];
                std::snprintf(date, sizeof date, ".%04d%02d%02d", day.tm_year + 1900,
                              day.tm_mon + 1, d);
                out = folder + name + date + ext;
                used |= 4;
            }
        }
    }
    return used;
}

std::string log_logging_key(const std::string& window_name, int read, std::string* value)
{
    std::string key;
    if (text_equal_nocase(window_name, "Status Window"))
        key = "status";
    else if (text_equal_nocase(window_name, "Message Window"))
        key = "messages";
    else
        key = after_first_blank(window_name);
    if (read && value) {
        value->clear();
        ini_read("logging", key.c_str(), "", *value, kMediumTextSize, "");
        std::size_t i = value->find_first_not_of(' ');
        value->erase(0, i == std::string::npos ? value->size() : i);
    }
    return key;
}

// ---- Header lines ----

std::string log_open_header(const WindowRecord* rec, std::time_t when)
{
    std::string name;
    if (rec) {
        name = rec->name;
        if (rec->type == kWinQuery && (rec->subtype == kQueryDccChat || rec->subtype == kQueryFserve))
            name = after_first_blank(name);
    }
    std::string out = "\r\n";
    out += numbered(kTextStarted) + " " + time_ctime_text(when) + "\r\n";
    out += numbered(kTextIdent) + " " + name + "\r\n";
    return out;
}

std::string log_close_header(std::time_t when)
{
    return numbered(kTextClosed) + " " + time_ctime_text(when) + "\r\n";
}

std::string log_day_line(std::time_t when)
{
    return format_text(kTextSessionTime, time_ctime_text(when));
}

// ---- Files ----

int log_open(WindowRecord* rec, int headers)
{
    if (!rec || rec->log_path.empty())
        return 0;
    const LogSettings s = log_settings();
    close_handle(rec);
    if (s.size_limit)
        log_trim_file(rec->log_path);
    if (!ensure_open(rec))
        return 0;
    if (headers)
        write_now(rec, log_open_header(rec, now()));
    if (s.close_each_line)
        close_handle(rec);
    rec->logging = 1;
    return 1;
}

void log_close(WindowRecord* rec, int headers)
{
    if (!rec)
        return;
    rec->logging = 0;
    if (rec->log_path.empty()) {
        close_handle(rec);
        return;
    }
    if (headers && ensure_open(rec))
        write_now(rec, log_close_header(now()));
    close_handle(rec);
    if (headers && log_file_has_content(rec->log_path) == 0)
        file_delete_via_temp(rec->log_path);
}

void log_write_line(WindowRecord* rec, std::string_view text_in, int no_stamp,
                    std::uint32_t colour)
{
    if (!rec || !rec->logging || rec->log_path.empty() || text_in.empty())
        return;
    const LogSettings s = log_settings();
    std::string text(text_in);
    if (s.strip) {
        text_strip_codes(text, kStripBold | kStripUnderline | kStripReverse | kStripColour);
        if (text.empty())
            return;
    }
    std::replace(text.begin(), text.end(), '\x1A', ' ');
    if (!ensure_open(rec))
        return;
    std::string line;
    if (s.colours && colour != kColorNormalText) {
        char prefix[8];
        std::snprintf(prefix, sizeof prefix, "\x03%02d", color_resolve(colour));
        line = prefix;
    }
    if (s.timestamp && !no_stamp) {
        const std::string& stamp = log_stamp(s.strip);
        if (!stamp.empty()) {
            line += stamp;
            line += ' ';
        }
    }
    line += text;
    line += "\r\n";
    if (s.close_each_line && !hold_open) {
        write_now(rec, line);
        close_handle(rec);
        return;
    }
    rec->log_pending += line;
    if (rec->log_pending.size() >= kLogPendingLimit)
        write_pending(rec);
}

void log_flush(WindowRecord* rec)
{
    if (!rec || rec->log_pending.empty())
        return;
    write_pending(rec);
    if (opt(OPT_LOG_UNLOCKED) && !hold_open)
        close_handle(rec);
}

void log_flush_all()
{
    for (WindowRecord* rec = win_list; rec; rec = rec->next)
        log_flush(rec);
}

int log_trim_file(const std::string& path)
{
    const LogSettings s = log_settings();
    std::uint64_t size = 0;
    if (!file_size64(path, size))
        return 1;
    const std::uint64_t limit = static_cast<std::uint64_t>(s.size_limit_kb) * 1000;
    if (size <= limit)
        return 1;
    const std::uint64_t from = size - limit * 2 / 3;

    int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return 0;
    // The first line break at or after `from`.
    char block[512];
    std::uint64_t pos = from;
    std::uint64_t start = 0;
    bool found = false;
    while (!found) {
        ssize_t n = ::pread(in, block, sizeof block, static_cast<off_t>(pos));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i) {
            if (block[i] == '\n') {
                start = pos + static_cast<std::uint64_t>(i) + 1;
                found = true;
                break;
            }
        }
        pos += static_cast<std::uint64_t>(n);
    }
    if (!found)
        start = size;

    std::string folder, name, ext;
    split_path(path, folder, name, ext);
    const std::string temp = folder + file_temp_name();
    int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        ::close(in);
        return 0;
    }
    bool ok = true;
    pos = start;
    for (;;) {
        ssize_t n = ::pread(in, block, sizeof block, static_cast<off_t>(pos));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0)
            break;
        if (!write_all(out, std::string(block, static_cast<std::size_t>(n)))) {
            ok = false;
            break;
        }
        pos += static_cast<std::uint64_t>(n);
    }
    ::close(in);
    if (::close(out) != 0)
        ok = false;
    if (!ok || file_move(temp, path, 2) != 0) {
        ::unlink(temp.c_str());
        return 0;
    }
    return 1;
}

int log_file_has_content(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    const std::string headers[3] = {numbered(kTextIdent), numbered(kTextStarted),
                                    numbered(kTextClosed)};
    // Read backwards in blocks; `pending` is the start of a line whose
    // beginning lies in an earlier block.
    std::uint64_t pos = static_cast<std::uint64_t>(st.st_size);
    std::string pending;
    std::string block(8192, '\0');
    int result = 0;
    while (true) {
        if (pos == 0) {
            if (!is_header_line(pending, headers))
                result = 1;
            break;
        }
        std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(pos, block.size()));
        pos -= want;
        ssize_t n = ::pread(fd, block.data(), want, static_cast<off_t>(pos));
        if (n != static_cast<ssize_t>(want)) {
            result = -1;
            break;
        }
        std::string text = block.substr(0, want) + pending;
        std::size_t end = text.size();
        bool done = false;
        for (;;) {
            std::size_t nl = end == 0 ? std::string::npos : text.rfind('\n', end - 1);
            if (nl == std::string::npos)
                break;
            if (!is_header_line(std::string_view(text).substr(nl + 1, end - nl - 1), headers)) {
                result = 1;
                done = true;
                break;
            }
            end = nl;
        }
        if (done)
            break;
        pending = text.substr(0, end);
        if (pending.size() > kLongestScannedLine) {
            result = 1;
            break;
        }
    }
    ::close(fd);
    return result;
}

void log_reopen_handles(int reopen)
{
    const LogSettings s = log_settings();
    for (WindowRecord* rec = win_list; rec; rec = rec->next) {
        if (!rec->logging)
            continue;
        if (!reopen) {
            close_handle(rec);
        } else if (!s.close_each_line) {
            ensure_open(rec);
        }
    }
}

void log_reopen_all(WindowRecord* target, Connection* conn, int cause)
{
    log_reopen_handles(0);
    const std::time_t t = now();
    for (WindowRecord* rec = win_list; rec; rec = rec->next) {
        if (!rec->logging)
            continue;
        switch (cause) {
        case 1: {
            std::string fresh = composed_path(rec, rec->log_words[1]);
            if (fresh != rec->log_path) {
                log_close(rec, 1);
                rec->log_path = fresh;
                log_open(rec, 1);
                close_handle(rec);
            } else {
                log_write_line(rec, log_day_line(t), 1, kColorNormalText);
                close_handle(rec);
            }
            break;
        }
        case 2: {
            std::string fresh = composed_path(rec, rec->log_words[1]);
            if (fresh != rec->log_path) {
                move_log(rec->log_path, fresh);
                rec->log_path = fresh;
            }
            break;
        }
        case 3: {
            if (rec->conn != conn)
                break;
            rec->log_words[1] = 1;
            std::string fresh;
            int used = log_compose_path(rec->log_text, rec->type, 1, 0, rec->conn, fresh);
            if ((used & 3) && fresh != rec->log_path) {
                move_log(rec->log_path, fresh);
                rec->log_path = fresh;
            }
            break;
        }
        case 4: {
            if (rec->conn != conn || !rec->log_words[1])
                break;
            rec->log_words[1] = 0;
            const int known = network_known(rec->conn) ? 1 : 0;
            std::string fresh;
            int used = log_compose_path(rec->log_text, rec->type, known, 0, rec->conn, fresh);
            if (fresh != rec->log_path) {
                if (ensure_open(rec))
                    write_now(rec, log_close_header(t));
                close_handle(rec);
                move_log(rec->log_path, fresh);
                rec->log_path = fresh;
                if (used & 3) {
                    rec->log_words[1] = 1;
                    if (ensure_open(rec))
                        write_now(rec, log_open_header(rec, t));
                    close_handle(rec);
                }
            }
            break;
        }
        case 5: {
            if (rec != target)
                break;
            if (ensure_open(rec))
                write_now(rec, log_close_header(t));
            close_handle(rec);
            std::string folder, name, ext;
            split_path(rec->log_text, folder, name, ext);
            std::string base_name;
            log_base_name(rec->name, base_name, rec->conn);
            rec->log_text = folder + base_name;
            std::string fresh = composed_path(rec, rec->log_words[1]);
            move_log(rec->log_path, fresh);
            rec->log_path = fresh;
            break;
        }
        case 6:
            if (rec == target)
                log_close(rec, 1);
            break;
        default:
            break;
        }
    }
    log_reopen_handles(1);
}

void log_day_check()
{
    const int today = local_day(now());
    if (today == 0)
        return;
    if (log_last_day == 0) {
        log_last_day = today;
        return;
    }
    if (today == log_last_day)
        return;
    log_last_day = today;
    log_reopen_all(nullptr, nullptr, 1);
}

int log_set_window_mode(WindowRecord* rec, int echo_on, int write_ini, int ask_file,
                        const std::string& file, int mode, int reload)
{
    if (!rec || !is_logging_kind(rec))
        return 0;
    switch (mode) {
    case 1:
    case 2:
        return switch_on(rec, echo_on, write_ini, ask_file, file, mode == 1, reload, false) ? 1 : 0;
    case 3:
        switch_off(rec, echo_on, write_ini, false);
        return 1;
    case 4: {
        if (rec->log_path.empty())
            return 0;
        if (!log_hooks.confirm_delete ||
            !log_hooks.confirm_delete(numbered(kTextDeleteTitle), numbered(kTextDeleteQuestion)))
            return 0;
        const bool was = rec->logging != 0;
        if (was)
            log_close(rec, 1);
        close_handle(rec);
        if (file_exists(rec->log_path, 1))
            file_delete(rec->log_path, 1);
        if (was)
            return log_open(rec, 1);
        return 1;
    }
    case 5: {
        const bool want = default_wanted(rec);
        bool ok = true;
        if (want)
            ok = switch_on(rec, echo_on, 0, 0, "", 0, reload, true);
        else
            switch_off(rec, echo_on, 0, true);
        if (write_ini) {
            std::string key = log_logging_key(rec->name, 0, nullptr);
            ini_write("logging", key.c_str(), nullptr, "");
        }
        return ok ? 1 : 0;
    }
    case 6: {
        std::string value;
        log_logging_key(rec->name, 1, &value);
        if (value.empty())
            return log_set_window_mode(rec, echo_on, 0, 0, "", 5, reload);
        if (text_equal_nocase(value, "off"))
            return log_set_window_mode(rec, echo_on, 0, 0, "", 3, 0);
        return switch_on(rec, echo_on, 0, 0, text_equal_nocase(value, "on") ? "" : value, 0, reload,
                         true)
                   ? 1
                   : 0;
    }
    case 7:
        if (write_ini) {
            std::string key = log_logging_key(rec->name, 0, nullptr);
            ini_write("logging", key.c_str(), nullptr, "");
        }
        close_handle(rec);
        rec->log_path.clear();
        rec->log_text.clear();
        rec->log_words[0] = 0;
        rec->log_words[1] = 0;
        rec->logging = 0;
        return 1;
    default:
        return 0;
    }
}

// ---- Merging ----

int logview_merge(const std::vector<std::string>& sources_in, const std::string& target_in,
                  int delete_merged)
{
    if (sources_in.empty() || target_in.empty())
        return 0;
    std::string target = target_in;
    file_fix_slashes(target);
    {
        std::string folder, name, ext;
        split_path(target, folder, name, ext);
        if (ext.empty())
            target += ".log";
    }
    if (file_is_device(target))
        return 0;

    // Sources in the order of their modification times.
    struct Source {
        std::string path;
        struct timespec mtime;
        std::size_t order;
    };
    std::vector<Source> sources;
    bool target_is_source = false;
    for (std::size_t i = 0; i < sources_in.size(); ++i) {
        struct stat st;
        if (::stat(sources_in[i].c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return 0;
        sources.push_back({sources_in[i], st.st_mtim, i});
        if (file_same_path(sources_in[i], target))
            target_is_source = true;
    }
    std::stable_sort(sources.begin(), sources.end(), [](const Source& a, const Source& b) {
        if (a.mtime.tv_sec != b.mtime.tv_sec)
            return a.mtime.tv_sec < b.mtime.tv_sec;
        return a.mtime.tv_nsec < b.mtime.tv_nsec;
    });

    // The windows writing to any of the files close them with their header.
    std::vector<WindowRecord*> closed;
    for (WindowRecord* rec = win_list; rec; rec = rec->next) {
        if (!rec->logging)
            continue;
        bool uses = file_same_path(rec->log_path, target);
        for (const Source& s : sources)
            uses = uses || file_same_path(rec->log_path, s.path);
        if (uses) {
            log_close(rec, 1);
            closed.push_back(rec);
        }
    }

    std::string folder, name, ext;
    split_path(target, folder, name, ext);
    const std::string temp = folder + file_temp_name();
    bool ok = true;
    if (!target_is_source && file_exists(target, 1))
        ok = file_copy(target, temp, 4) == 0;
    for (const Source& s : sources) {
        if (!ok)
            break;
        ok = file_copy(s.path, temp, 4) == 0;
    }
    if (ok) {
        // Make sure the temporary file exists even when every source was empty.
        int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        ok = fd >= 0;
        if (fd >= 0)
            ::close(fd);
    }
    if (ok) {
        int r = log_hooks.merge_replace ? log_hooks.merge_replace(temp, target)
                                        : file_move(temp, target, 2);
        ok = r == 0;
    }
    if (!ok) {
        ::unlink(temp.c_str());
    } else if (delete_merged) {
        for (const Source& s : sources) {
            if (!file_same_path(s.path, target))
                file_delete_via_temp(s.path);
        }
    }

    for (WindowRecord* rec : closed) {
        if (win_is_record(rec))
            log_open(rec, 1);
    }
    return ok ? 1 : 0;
}

// ---- Hooks ----

void log_window_close(WindowRecord* rec)
{
    if (rec->logging)
        log_close(rec, 1);
    close_handle(rec);
}

// Messages about a window's log are echoed in the window in the Info colour.
void log_echo_in_window(WindowRecord* rec, const std::string& text)
{
    if (rec && win_is_record(rec) && rec->hwnd.get())
        echo_line(rec->hwnd.get(), text, kColorInfoText);
}

void log_window_open(WindowRecord* rec)
{
    const int bits = opt(OPT_LOG_RELOAD);
    int reload = 0;
    if (rec->type == kWinChannel)
        reload = bits & 1;
    else if (rec->type == kWinQuery)
        reload = (bits & 2) ? 1 : 0;
    log_set_window_mode(rec, 0, 0, 0, "", 6, reload);
}

namespace {

int g_day_listener = 0;
int g_printed_id = 0;
int g_freeing_id = 0;

// A freed window's open log gets its closing header.
void log_record_freeing(WindowRecord* rec)
{
    if (rec->log_file != -1 || rec->logging || !rec->log_pending.empty())
        log_window_close(rec);
}

// The first part of a printed line goes to the window's log; the separator
// line without the log stamp, in Normal text.
void log_printed(const LinePrinted& line)
{
    if (line.event != kPrintStored || !line.first_part)
        return;
    if (!line.rec->logging || print_options.no_log)
        return;
    if (line.separator)
        log_write_line(line.rec, line.text, 1, kColorNormalText);
    else
        log_write_line(line.rec, line.text, 0, line.colour);
}

}  // namespace

void logging_install()
{
    // Each second the gathered lines go to their files, then the date is
    // looked at.
    tick_second.add_once(g_day_listener, kTickLogDay, [] {
        log_flush_all();
        log_day_check();
    });
    line_printed.add_once(g_printed_id, kPrintedLog, log_printed);
    win_record_freeing.add_once(g_freeing_id, kRecordFreeingLog, log_record_freeing);
}

void logging_uninstall()
{
    tick_second.drop(g_day_listener);
    line_printed.drop(g_printed_id);
    win_record_freeing.drop(g_freeing_id);
}

namespace {
int g_log_only_listener = 0;
}  // namespace

void log_install()
{
    irc_log_only_line.add_once(g_log_only_listener, kLogOnlyLineLog,
                               [](WindowRecord* rec, const std::string& text, std::uint32_t colour) {
                                   log_write_line(rec, text, 0, colour);
                               });
}

void log_uninstall()
{
    irc_log_only_line.drop(g_log_only_listener);
}
