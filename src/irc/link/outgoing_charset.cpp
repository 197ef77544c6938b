// The re-encoding of outgoing lines.
#include "irc/link/outgoing_charset.h"

#include <cstring>
#include <string>
#include <string_view>

#include "core/encodings.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "irc/link/connections.h"
#include "model/connection.h"
#include "model/connection_windows.h"
#include "model/window_charset.h"
#include "model/window_record.h"

void (*outgoing_target_font)(Connection*, const std::string&, int*, int*) = nullptr;

int charset_encode_outgoing(WindowRecord* window, Connection* conn, std::string& line, int flags)
{
    if (line.empty()) return -1;

    auto window_font = [](WindowRecord* w, int& charset, int& encoding) {
        charset = 1;
        encoding = 0;
        return w != nullptr && win_font_charset(w, &charset, &encoding);
    };

    if (flags & kEncodeJisAnyWindow) {
        if (!(flags & kEncodeJis)) return 0;
        bool sjis = false;
        if (!window) {
            sjis = win_any_sjis();
        } else {
            int charset, encoding;
            sjis = window_font(window, charset, encoding) && charset == 128;
        }
        if (!sjis) return -1;
        sjis_to_jis(line);
        return 0;
    }

    // An IRC command line: find the target and the message part.
    std::string target;
    std::size_t message_at = std::string::npos; // index just past the ':'
    if (flags & kEncodeIrcMessage) {
        std::size_t p = line.find_first_not_of(' ');
        if (p == std::string::npos) return -1;
        const std::string_view rest = std::string_view(line).substr(p);
        static const struct {
            const char* word;
            bool has_target;
        } kCommands[] = {{"PRIVMSG ", true}, {"NOTICE ", true}, {"PART ", true}, {"TOPIC ", true},
                         {"KICK ", true},    {"AWAY ", false},  {"PING ", false}};
        const auto* found = static_cast<decltype(&kCommands[0])>(nullptr);
        for (const auto& c : kCommands)
            if (text_starts_with_nocase(rest, c.word)) {
                found = &c;
                break;
            }
        if (!found) return -1;
        p += std::strlen(found->word);
        if (found->has_target) {
            while (p < line.size() && line[p] == ' ') ++p;
            std::size_t e = p;
            while (e < line.size() && line[e] != ' ') ++e;
            if (e == p) return -1;
            std::string word = line.substr(p, e - p);
            const std::size_t comma = word.find(',');
            if (comma != std::string::npos) word.resize(comma);
            buf_copy(target, kShortTextSize, std::string_view(word));
            if (e >= line.size()) return -1; // no text after the target
            p = e;
        }
        const std::size_t colon = line.find(':', p);
        if (colon == std::string::npos) return -1;
        message_at = colon + 1;
    }

    // The window whose settings decide.
    WindowRecord* deciding = window;
    int charset = 1, encoding = 0;
    bool known = false;
    if (deciding) {
        known = window_font(deciding, charset, encoding);
    } else if (!target.empty()) {
        deciding = win_find_by_name(target, conn);
        if (deciding) {
            known = window_font(deciding, charset, encoding);
        } else {
            // A target without a window: the font settings it would have.
            if (outgoing_target_font)
                outgoing_target_font(conn, target, &charset, &encoding);
            known = true;
        }
    } else {
        deciding = conn_is_live(conn) ? win_record_of(conn_status_window(conn)) : nullptr;
        known = deciding && window_font(deciding, charset, encoding);
    }
    if (!known) return -1;
    const bool want_utf8 = (flags & kEncodeUtf8) && encoding == 2;
    const bool want_jis = !want_utf8 && (flags & kEncodeJis) && charset == 128;
    if (!want_utf8 && !want_jis) return -1;

    auto convert = [&](std::string& s) {
        if (want_utf8)
            charset_to_utf8_mixed(deciding ? win_codepage(deciding) : charset_codepage_of(charset), s);
        else
            sjis_to_jis(s);
    };

    bool whole = !(flags & kEncodeIrcMessage);
    if (!whole) {
        const std::string server_charset = conn_charset_of(conn);
        whole = text_find_nocase(server_charset, want_utf8 ? "utf-8" : "jis") != std::string_view::npos;
    }
    if (whole) {
        convert(line);
        return 0;
    }
    std::string message = line.substr(message_at);
    convert(message);
    if (message_at + message.size() >= kLongText) return -1;
    line.resize(message_at);
    line += message;
    return 0;
}
