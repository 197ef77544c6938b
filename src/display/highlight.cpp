#include "display/highlight.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstdio>

#include "model/connection.h"
#include "model/window_record.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/text_buffer.h"
#include "core/wildcard.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "script/exec/script_types.h"
#include "script/stores/regex.h"

std::vector<HighlightEntry> highlight_entries;

namespace {

std::string g_matched_word;

bool alnum(unsigned char c)
{
    return c >= 0x80 || std::isalnum(c);
}

std::string lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

int to_int(const std::string& s)
{
    return std::atoi(s.c_str());
}

// A plain word found at word boundaries.
bool plain_match(const std::string& text, const std::string& word, bool case_sensitive)
{
    const std::string t = case_sensitive ? text : lower(text);
    const std::string w = case_sensitive ? word : lower(word);
    std::size_t pos = 0;
    while ((pos = t.find(w, pos)) != std::string::npos) {
        const bool before_ok = pos == 0 || !alnum(static_cast<unsigned char>(t[pos - 1]));
        const std::size_t end = pos + w.size();
        const bool after_ok = end >= t.size() || !alnum(static_cast<unsigned char>(t[end]));
        if (before_ok && after_ok)
            return true;
        ++pos;
    }
    return false;
}

// A wildcard word against the whole text, then against the text from each
// word on and each single word.
bool wildcard_match(const std::string& text, const std::string& word, bool case_sensitive)
{
    const int cs = case_sensitive ? 1 : 0;
    if (wild_match(word, text, cs, 1))
        return true;
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
        if (pos >= text.size())
            break;
        std::size_t end = text.find(' ', pos);
        if (end == std::string::npos)
            end = text.size();
        if (wild_match(word, std::string_view(text).substr(pos), cs, 1) ||
            wild_match(word, std::string_view(text).substr(pos, end - pos), cs, 1))
            return true;
        pos = end;
    }
    return false;
}

bool regex_word_match(const std::string& text, const std::string& word, bool case_sensitive)
{
    std::string expr = word;
    const bool delimited = (word.size() > 2 && word[0] == '/' && word.find('/', 1) != std::string::npos) ||
                           (word.size() > 3 && word[0] == 'm' && !std::isalnum(static_cast<unsigned char>(word[1])) &&
                            word.find(word[1], 2) != std::string::npos);
    if (delimited) {
        if (!case_sensitive)
            expr += 'i';
    } else if (!case_sensitive) {
        expr = "/" + word + "/i";
    }
    return regex_match_text(text, expr) > 0;
}

// The text an entry's words are tested against.
std::string cut_to_part(std::string text, int part, int test_mode, int message,
                        const std::string& sender)
{
    std::string nick;
    bool known = false;
    if (message && !sender.empty()) {
        nick = sender;
        known = true;
    } else if (test_mode == 2) {
        nick = text.substr(0, text.find(' '));
        known = true;
    }
    if (part == 0) {
        if (!known)
            return text;
        const std::size_t blank = text.find(' ', message && !sender.empty() ? nick.size() : 0);
        return blank == std::string::npos ? std::string() : text.substr(blank + 1);
    }
    if (known && message && !sender.empty() && !text.empty() &&
        !alnum(static_cast<unsigned char>(text[0]))) {
        text.erase(0, 1);
        const std::size_t n = nick.size();
        if (text.size() > n + 1 && !alnum(static_cast<unsigned char>(text[n])) && text[n + 1] == ' ')
            text.erase(n, 1);
    }
    if (part == 2 && known)
        text = text.substr(0, text.find(' '));
    return text;
}

}  // namespace

std::string highlight_field(std::string_view value, int n)
{
    std::size_t pos = 0;
    for (int k = 1; k <= n; ++k) {
        while (pos < value.size() && value[pos] == ' ')
            ++pos;
        if (pos >= value.size())
            return std::string();
        std::string field;
        std::size_t next;
        if (value[pos] == '"') {
            const std::size_t close = value.find('"', pos + 1);
            if (close == std::string_view::npos)
                return std::string();
            field = std::string(value.substr(pos + 1, close - pos - 1));
            const std::size_t comma = value.find(',', close);
            next = comma == std::string_view::npos ? value.size() : comma + 1;
        } else {
            const std::size_t comma = value.find(',', pos);
            const std::size_t end = comma == std::string_view::npos ? value.size() : comma;
            field = std::string(value.substr(pos, end - pos));
            const std::size_t quote = field.find('"');
            if (quote != std::string::npos)
                field.resize(quote);
            next = comma == std::string_view::npos ? value.size() : comma + 1;
        }
        if (k == n)
            return field;
        pos = next;
    }
    return std::string();
}

bool highlight_parse(std::string_view value, HighlightEntry& out)
{
    out = HighlightEntry();
    const std::string words = highlight_field(value, 7);
    std::size_t pos = 0;
    while (pos <= words.size()) {
        std::size_t comma = words.find(',', pos);
        if (comma == std::string::npos)
            comma = words.size();
        std::string w = words.substr(pos, comma - pos);
        text_strip_codes(w, 15);
        while (!w.empty() && w.front() == ' ')
            w.erase(0, 1);
        while (!w.empty() && w.back() == ' ')
            w.pop_back();
        if (!w.empty()) {
            int kind = kHighlightPlain;
            if (w[0] == '$' || w[0] == '%')
                kind = kHighlightEvaluated;
            else if (w.find_first_of("*?") != std::string::npos)
                kind = kHighlightWildcard;
            out.words.push_back({w, kind});
        }
        pos = comma + 1;
    }
    if (out.words.empty())
        return false;
    out.part = std::clamp(to_int(highlight_field(value, 3)), 0, 2);
    out.case_sensitive = to_int(highlight_field(value, 8)) ? 1 : 0;
    out.regex = to_int(highlight_field(value, 9)) ? 1 : 0;
    out.color = to_int(highlight_field(value, 1));
    if (out.color < 0 || out.color > 16)
        out.color = 0;
    const std::string sound = highlight_field(value, 5);
    if (sound.empty()) {
        out.sound = 0;
    } else if (text_equal_nocase(sound, "beep")) {
        out.sound = 1;
    } else {
        out.sound = 2;
        out.sound_file = sound;
        file_abs_settings_dir(out.sound_file);
    }
    out.flash = to_int(highlight_field(value, 2)) ? 1 : 0;
    out.message = highlight_field(value, 6).substr(0, 256);
    out.flash_count = std::clamp(to_int(highlight_field(value, 4)), 0, 999);
    out.tip = to_int(highlight_field(value, 10)) ? 1 : 0;
    out.tip_seconds = std::clamp(to_int(highlight_field(value, 11)), 3, 60);
    return true;
}

std::string highlight_entry_text(const HighlightEntry& e, int list_form)
{
    std::string words;
    for (const HighlightWord& w : e.words) {
        if (!words.empty())
            words += ',';
        words += w.text;
    }
    std::string sound;
    if (e.sound == 1)
        sound = "beep";
    else if (e.sound == 2)
        sound = file_relative_to_settings_dir(e.sound_file);
    char head[64];
    std::snprintf(head, sizeof head, "%d,%d,%d,%d", e.color, e.flash, e.part, e.flash_count);
    char tail[64];
    std::snprintf(tail, sizeof tail, ",%d,%d,%d,%d", e.case_sensitive, e.regex, e.tip,
                  e.tip_seconds);
    std::string out = head;
    out += ",\"" + sound + "\",\"" + e.message + "\",\"" + words + "\"" + tail;
    if (list_form)
        out = words + "\t" + out;
    return out;
}

void highlight_clear()
{
    highlight_entries.clear();
    g_matched_word.clear();
}

void highlight_load()
{
    highlight_clear();
    for (int n = 0;; ++n) {
        std::string value;
        const std::string key = "n" + std::to_string(n);
        ini_read("highlight", key.c_str(), "", value, 4200, main_ini_path);
        if (value.empty())
            break;
        HighlightEntry e;
        if (highlight_parse(value, e))
            highlight_entries.push_back(std::move(e));
    }
}

void highlight_save()
{
    int n = 0;
    for (const HighlightEntry& e : highlight_entries) {
        const std::string key = "n" + std::to_string(n++);
        ini_write("highlight", key.c_str(), highlight_entry_text(e, 0).c_str(), main_ini_path);
    }
    ini_delete_numbered_from("highlight", "n", n, main_ini_path);
}

const HighlightEntry* highlight_match(WindowRecord* rec, std::string_view line, int whole_line,
                                      int test_mode, int message, const std::string& nick)
{
    g_matched_word.clear();
    if (!win_is_record(rec) || !conn_is_live(rec->conn))
        return nullptr;
    std::string plain(line);
    text_strip_codes(plain, 15);
    for (const HighlightEntry& e : highlight_entries) {
        const std::string text =
            whole_line ? plain : cut_to_part(plain, e.part, test_mode, message, nick);
        if (text.empty())
            continue;
        for (const HighlightWord& w : e.words) {
            std::string word = w.text;
            int kind = w.kind;
            if (kind == kHighlightEvaluated) {
                if (!ident_eval_text(rec->hwnd.get(), &word, nullptr, nullptr, 0, -1, -1, nullptr,
                                     rec->conn))
                    continue;
                kind = kHighlightPlain;
            }
            if (word.empty())
                continue;
            bool hit;
            if (e.regex)
                hit = regex_word_match(text, word, e.case_sensitive);
            else if (kind == kHighlightWildcard)
                hit = wildcard_match(text, word, e.case_sensitive);
            else
                hit = plain_match(text, word, e.case_sensitive);
            if (hit) {
                g_matched_word = word;
                return &e;
            }
            if (!win_is_record(rec))
                return nullptr;
        }
    }
    return nullptr;
}

const std::string& highlight_matched_word()
{
    return g_matched_word;
}

int highlight_print_match(WindowRecord* rec, const std::string& text, int mode,
                          const std::string& sender_nick, HighlightMatch* out)
{
    const HighlightEntry* e =
        highlight_match(rec, text, 0, mode, print_options.message ? 1 : 0, sender_nick);
    if (!e || !out)
        return 0;
    out->flash = e->flash;
    out->sound_kind = e->sound;
    out->sound_file = e->sound_file;
    out->colour = e->color;
    out->tip = e->tip;
    out->text = e->message;
    out->entry = e;
    return 1;
}

namespace {

// $highlight(N) / $highlight(text): an entry by its place in the list (0
// or less: the number of entries), or the first entry that a line of that
// text would match in the window the script runs for.
int id_highlight(IdentCall& call)
{
    const int r = ident_args_step(call, 1);
    if (r >= 0)
        return r;
    const std::string& arg = ident_arg(call, 0);
    const std::string_view prop = ident_property(call);
    std::string out;
    const HighlightEntry* entry = nullptr;
    if (text_is_digits(arg)) {
        const long long n = std::min(std::atoll(arg.c_str()), 9998LL);
        if (n < 1) {
            out = std::to_string(highlight_entries.size());
            return ident_result(call, out);
        }
        if (n <= static_cast<long long>(highlight_entries.size()))
            entry = &highlight_entries[static_cast<std::size_t>(n - 1)];
    } else {
        QWidget* window = call.window();
        WindowRecord* rec = win_record_of(window);
        if (!rec)
            rec = win_record_of(conn_status_window_of(window));
        entry = highlight_match(rec, arg, 0, 0, 0, std::string());
    }
    if (!entry)
        return ident_result(call, out);
    if (prop.empty() || text_equal_nocase(prop, "text")) {
        for (const HighlightWord& w : entry->words) {
            if (!out.empty())
                out += ',';
            out += w.text;
        }
    } else if (text_equal_nocase(prop, "color") || text_equal_nocase(prop, "colour")) {
        out = std::to_string(entry->color > 0 ? entry->color - 1 : color_resolve(kColorHighlightText));
    } else if (text_equal_nocase(prop, "sound")) {
        out = entry->sound == 1 ? std::string("beep") : entry->sound == 2 ? entry->sound_file : std::string();
    } else if (text_equal_nocase(prop, "flash")) {
        out = std::to_string(entry->flash ? entry->flash_count : 0);
    } else if (text_equal_nocase(prop, "message")) {
        out = entry->message;
    } else if (text_equal_nocase(prop, "nicks")) {
        out = ident_truth(entry->part != 0);
    } else if (text_equal_nocase(prop, "cs")) {
        out = ident_truth(entry->case_sensitive != 0);
    } else if (text_equal_nocase(prop, "regex")) {
        out = ident_truth(entry->regex != 0);
    } else if (text_equal_nocase(prop, "tip")) {
        out = std::to_string(entry->tip ? entry->tip_seconds : 0);
    }
    if (out.size() > 4150)
        out.resize(4150);
    return ident_result(call, out);
}

}  // namespace

void highlight_register()
{
    ident_register_family("id_highlight", id_highlight);
}

void highlight_install()
{
    static int load_listener = 0;
    settings_loaded.add_once(load_listener, kLoadHighlight, [](SettingsLoad&) { highlight_load(); });
}
