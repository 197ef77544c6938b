// The update check: its schedule, the reply's fields and the poll timer.
#include "tools/update_check.h"

#include "app/frame_menu.h"
#include "app/startup.h"
#include "app/tick.h"
#include "core/digest.h"
#include "core/files.h"
#include "core/ini.h"
#include "display/second_tick.h"
#include "tools/update_dialog.h"

#include <QApplication>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <cstdlib>
#include <string>

UpdateCheck update_check;

namespace {

constexpr long long kDay = 86400;

QPointer<QTimer> g_poll_timer;  // the frame's timer 139
int g_due_listener = 0;

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowered(std::string s)
{
    for (char& c : s)
        c = lower(c);
    return s;
}

long long read_number(const char* key, const char* def)
{
    std::string value;
    ini_read("update", key, def, value, 256, main_ini_path);
    return std::strtoll(value.c_str(), nullptr, 10);
}

void write_number(const char* key, long long value)
{
    const std::string text = std::to_string(value);
    ini_write("update", key, text.c_str(), main_ini_path);
}

std::uint32_t hex_crc(const std::string& text)
{
    return static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 16));
}

void poll_timer_start()
{
    if (!g_poll_timer) {
        g_poll_timer = new QTimer(qApp);
        g_poll_timer->setInterval(1000);
        QObject::connect(g_poll_timer, &QTimer::timeout, [] { update_check_poll(); });
    }
    g_poll_timer->start();
}

void poll_timer_stop()
{
    if (g_poll_timer)
        g_poll_timer->stop();
}

// The named fields (they override the update line).
void read_named_fields(const std::string& reply)
{
    if (std::string v = update_reply_field(reply, "version"); !v.empty())
        update_check.version = v;
    if (std::string v = update_reply_field(reply, "get"); !v.empty())
        update_check.url = v;
    if (std::string v = update_reply_field(reply, "crc"); !v.empty())
        update_check.package_crc = hex_crc(v);
    if (std::string v = update_reply_field(reply, "news"); !v.empty())
        update_check.news = v;
}

void read_next(const std::string& reply, long long now)
{
    const std::string v = update_reply_field(reply, "next");
    if (v.empty())
        return;
    const long long days = std::strtoll(v.c_str(), nullptr, 10);
    if (days >= 1 && days <= 30)
        write_number("next", now + days * kDay);
}

// The comma-separated update line: program CRC, version, package URL,
// package CRC, news.
void read_update_line(const std::string& line)
{
    update_check.version.clear();
    update_check.news.clear();
    update_check.url.clear();
    update_check.package_crc = 0;
    update_check.program_crc = 0;
    std::string parts[5];
    std::size_t at = 0;
    for (int i = 0; i < 5 && at <= line.size(); ++i) {
        const std::size_t comma = line.find(',', at);
        parts[i] = line.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        if (comma == std::string::npos)
            break;
        at = comma + 1;
    }
    update_check.program_crc = hex_crc(parts[0]);
    update_check.version = parts[1];
    update_check.url = parts[2];
    update_check.package_crc = hex_crc(parts[3]);
    update_check.news = parts[4];
}

}  // namespace

std::string update_reply_field(const std::string& reply_in, const std::string& name)
{
    std::string reply = reply_in;
    for (char& c : reply)
        if (c == '\r' || c == '\n')
            c = ' ';
    const std::size_t a = reply.find_first_not_of(' ');
    if (a == std::string::npos || name.empty())
        return {};
    reply = " " + reply.substr(a, reply.find_last_not_of(' ') - a + 1);
    const std::string low = lowered(reply);
    const std::string key = " " + lowered(name) + "=";
    const std::size_t at = low.find(key);
    if (at == std::string::npos)
        return {};
    std::size_t v = at + key.size();
    if (v >= reply.size())
        return {};
    if (reply[v] == '"' || reply[v] == '\'') {
        const char quote = reply[v];
        const std::size_t end = reply.find(quote, v + 1);
        return reply.substr(v + 1, end == std::string::npos ? std::string::npos : end - v - 1);
    }
    const std::size_t end = reply.find(' ', v);
    return reply.substr(v, end == std::string::npos ? std::string::npos : end - v);
}

int update_version_newer(const std::string& own, const std::string& offered)
{
    auto split = [](const std::string& text, long& major, long& minor) {
        const std::size_t dot = text.find('.');
        major = std::strtol(text.c_str(), nullptr, 10);
        minor = 0;
        if (dot == std::string::npos)
            return;
        std::size_t digits = 0;
        while (dot + 1 + digits < text.size() && text[dot + 1 + digits] >= '0' && text[dot + 1 + digits] <= '9' &&
               digits < 6)
            ++digits;
        minor = std::strtol(text.substr(dot + 1, digits).c_str(), nullptr, 10);
        if (digits == 1)
            minor *= 10;
    };
    long own_major, own_minor, new_major, new_minor;
    split(own, own_major, own_minor);
    split(offered, new_major, new_minor);
    return new_major > own_major || (new_major == own_major && new_minor > own_minor) ? 1 : 0;
}

int update_check_due(long long now, long long next)
{
    return now >= next || next - now >= 31 * kDay ? 1 : 0;
}

std::string update_own_version()
{
    const std::string full = KEST_VERSION;
    const std::size_t first = full.find('.');
    const std::size_t second = first == std::string::npos ? std::string::npos : full.find('.', first + 1);
    return full.substr(0, second);
}

std::string update_package_folder()
{
    return settings_dir + "updates/";
}

void update_check_clear()
{
    poll_timer_stop();
    http_download_clear(update_check.reply);
    http_download_clear(update_check.package);
    update_check.running = 0;
    update_check.counter = 0;
    update_check.result = 0;
}

void update_check_start(int forced)
{
    if (update_check.running)
        return;
    std::string address;
    ini_read("update", "url", "", address, 1024, main_ini_path);
    const long long check = read_number("check", "1");
    const long long next = read_number("next", "0");
    const long long now = tick_clock();
    if (!forced && (check == 0 || !update_check_due(now, next)))
        return;
    write_number("check", check ? 1 : 0);
    write_number("next", now + kDay);
    http_download_clear(update_check.reply);
    update_check.counter = 0;
    update_check.result = 0;
    update_check.reply_missing = 0;
    update_check.version.clear();
    update_check.news.clear();
    update_check.url.clear();
    update_check.package_crc = 0;
    update_check.program_crc = 0;
    update_check.running = 1;
    poll_timer_start();
    update_check.reply.url = address;
    update_check.reply.to_file = false;
    http_download_start(update_check.reply);
}

void update_check_read_reply(const std::string& reply, long long now)
{
    update_check.version.clear();
    update_check.news.clear();
    update_check.url.clear();
    update_check.package_crc = 0;
    update_check.program_crc = 0;
    read_named_fields(reply);
    read_next(reply, now);
    if (std::string line = update_reply_field(reply, "update"); !line.empty())
        read_update_line(line);
    int available = !update_check.version.empty() &&
                    update_version_newer(update_own_version(), update_check.version);
    if (update_check.program_crc) {
        const std::string program = file_program_path();
        if (!program.empty() && crc32_file(program) != update_check.program_crc) {
            available = 1;
            update_check.url.clear();
            update_check.package_crc = 0;
        }
    }
    read_named_fields(reply);
    read_next(reply, now);
    update_check.result = available;
}

void update_check_poll()
{
    if (update_check.result == 2) {
        if (!QApplication::activeModalWidget()) {
            poll_timer_stop();
            update_check.result = 1;
            frame_on_command(frame_window.data(), 194, 1);
        }
        return;
    }
    if (!update_check.running) {
        poll_timer_stop();
        return;
    }
    if (++update_check.counter >= kUpdateCheckGiveUp) {
        update_check_clear();
        update_check.reply_missing = 1;
        update_dialog_show_result();
        return;
    }
    if (update_check.reply.status.load() == kDownloadRunning)
        return;
    http_download_join(update_check.reply);
    poll_timer_stop();
    update_check.running = 0;
    const bool got = update_check.reply.status.load() == kDownloadDone;
    const std::string reply = got ? update_check.reply.data : std::string();
    http_download_clear(update_check.reply);
    if (!got) {
        update_check.reply_missing = 1;
        update_dialog_show_result();
        return;
    }
    update_check_read_reply(reply, tick_clock());
    if (update_dialog_is_open()) {
        update_dialog_show_result();
    } else if (!update_check.silent && update_check.result) {
        update_check.result = 2;
        poll_timer_start();
    }
}

void update_check_install()
{
    tick_update_check_due.add_once(g_due_listener, 0, [] {
        std::string address;
        ini_read("update", "url", "", address, 1024, main_ini_path);
        if (!address.empty())
            update_check_start(0);
    });
}

void update_check_uninstall()
{
    tick_update_check_due.drop(g_due_listener);
    update_check_clear();
    delete g_poll_timer.data();
}
