#include "script/stores/text_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/files.h"
#include "core/ini.h"
#include "core/numbered_texts.h"
#include "core/random.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"
#include "script/stores/regex.h"
#include "script/stores/store_files.h"

namespace {

long long last_line = 0;
constexpr std::size_t kReadLimit = kLongText - 1;   // 4,149 characters per read

bool is_count_line(std::string_view line)
{
    return arg_is_integer(line) != 0;
}

// The rest of the line after the key of an s search, or false when the line
// does not begin with the key and a blank (or ends right after it).
bool key_rest(std::string_view line, std::string_view key, std::string* rest)
{
    if (line.size() < key.size() || !text_equal_nocase(line.substr(0, key.size()), key))
        return false;
    if (line.size() > key.size() && line[key.size()] != ' ')
        return false;
    if (rest) {
        std::size_t p = key.size();
        while (p < line.size() && line[p] == ' ')
            ++p;
        rest->assign(line.substr(p));
    }
    return true;
}

bool line_matches(char search, std::string_view line, const std::string& text)
{
    switch (search) {
    case 's': return key_rest(line, text, nullptr);
    case 'w': return wild_match(text, line, 0, 1) != 0;
    case 'r': return regex_match_text(line, text) > 0;
    default: return false;
    }
}

}  // namespace

long long text_last_line() { return last_line; }

namespace {

// Reads the next line of at most 4,149 characters (a longer line comes in
// pieces, as a bounded read gives it), without its line end.
bool next_line(std::FILE* f, std::string& line)
{
    char buf[kReadLimit + 1];
    if (!std::fgets(buf, sizeof buf, f))
        return false;
    line.assign(buf);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return true;
}

struct FileCloser {
    std::FILE* f;
    ~FileCloser() { if (f) std::fclose(f); }
};

}  // namespace

int text_read_line(const ReadRequest& req, std::string& out)
{
    out.clear();
    last_line = 0;
    if (!file_exists(req.path, 1))
        return 0;
    std::FILE* f = std::fopen(req.path.c_str(), "rb");
    if (!f)
        return -1;
    FileCloser closer{f};
    std::string line;
    long long count = -1;
    long body = 0;
    if (!req.plain_first) {
        if (next_line(f, line) && is_count_line(line)) {
            count = std::strtoll(line.c_str(), nullptr, 10);
            body = std::ftell(f);
            if (req.has_line && req.line < 1 && !req.search) {
                out = std::to_string(count);
                return 1;
            }
        } else {
            if (req.has_line && req.line < 1)
                return 0;
            std::rewind(f);
        }
    }
    long long wanted = 0;
    if (req.search) {
        long long n = 1;
        if (req.has_line && req.line > 1) {
            for (; n < req.line; ++n)
                if (!next_line(f, line))
                    return 0;
        }
        for (;; ++n) {
            if (!next_line(f, line))
                return 0;
            if (line_matches(req.search, line, req.text)) {
                last_line = n;
                break;
            }
        }
        if (req.search == 's') {
            std::string rest;
            key_rest(line, req.text, &rest);
            line = rest;
        }
    } else {
        if (req.has_line) {
            wanted = req.line;
        } else {
            if (count < 0) {
                count = 0;
                while (next_line(f, line))
                    ++count;
                std::fseek(f, body, SEEK_SET);
            }
            // Every line is drawn equally often: R mod L picks one of L lines.
            wanted = count >= 1 ? static_cast<long long>(std::fmod(rng_next(), static_cast<double>(count))) + 1 : 1;
        }
        if (wanted < 1)
            return 0;
        for (long long n = 1; n <= wanted; ++n)
            if (!next_line(f, line))
                return 0;
        last_line = wanted;
    }
    const std::size_t cr = line.find('\r');
    if (cr != std::string::npos)
        line.resize(cr);
    std::size_t lead = 0;
    while (lead < line.size() && line[lead] == ' ')
        ++lead;
    out = line.substr(lead);
    return 1;
}

namespace {

struct WriteSwitches {
    bool c = false, i = false, d = false, a = false, n = false;
    bool has_line = false;
    long long line = 0;
    char search = 0;
    std::string text;
};

}  // namespace

// /write [-cidanl<N>s<text>w<text>r<text>] file [text]
int cmd_write(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    WriteSwitches sw;
    std::size_t i = 1;
    const std::string& first = call.arg(1);
    if (!first.empty() && first[0] == '-') {
        i = 2;
        for (std::size_t k = 1; k < first.size(); ++k) {
            const char c = first[k];
            if (c == 'c') sw.c = true;
            else if (c == 'i') sw.i = true;
            else if (c == 'd') sw.d = true;
            else if (c == 'a') sw.a = true;
            else if (c == 'n') sw.n = true;
            else if (c == 'l') {
                sw.has_line = true;
                std::string digits = first.substr(k + 1);
                if (digits.empty() && arg_is_integer(call.arg(i))) {
                    digits = call.arg(i);
                    ++i;
                }
                sw.line = std::strtoll(digits.c_str(), nullptr, 10);
                if (sw.line < 2)
                    sw.line = 1;
                break;
            } else if (c == 's' || c == 'w' || c == 'r') {
                sw.search = c;
                std::string text = first.substr(k + 1);
                if (text.empty()) {
                    if (call.arg(i).empty())
                        return script_error(nullptr, word, "", 0);
                    text = call.arg(i);
                    ++i;
                }
                if (!text.empty() && text[0] == '"') {
                    // Runs across tokens up to the closing quote.
                    std::string joined = text.substr(1);
                    std::size_t q = joined.find('"');
                    while (q == std::string::npos) {
                        if (i >= call.tokens.size())
                            return script_error(nullptr, word, "", 3);
                        joined += ' ';
                        joined += call.tokens[i++];
                        q = joined.find('"');
                    }
                    text = joined.substr(0, q);
                }
                sw.text = text;
                break;
            }
        }
    }
    std::string path;
    std::size_t last = i;
    const int f = store_file_arg(call.tokens, i, path, &last);
    if (f == 0)
        return script_error(nullptr, word, "", 0);
    if (f < 0)
        return script_error(nullptr, word, "", 3);
    if (file_is_device(path))
        return script_error(nullptr, word, path, 4);
    std::string text;
    arg_join_from(last + 1, text, call.tokens);
    const bool targeted = sw.has_line || sw.search || sw.d;
    const bool orig_empty = text.empty();
    if (!orig_empty && !sw.n && text.back() != '\n')
        text.push_back('\n');
    if (orig_empty && (sw.has_line || sw.search) && !sw.n)
        text = "\n";
    const bool exists = file_exists(path, 1) != 0;
    if (sw.c || !exists || !targeted) {
        // An empty text writes nothing, or with -i an empty line.
        const std::string payload = orig_empty ? std::string(sw.i ? "\n" : "") : text;
        if (!exists || sw.c) {
            if (!file_safe_save(path, payload, 0))
                return script_error(nullptr, text_fill_id(4803, {word, store_shown_path(path)}), "", 6);
            return kScriptDone;
        }
        if (payload.empty())
            return kScriptDone;
        text = payload;
        const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
        if (fd < 0)
            return script_error(nullptr, word, path, 4);
        struct stat st {};
        std::string out;
        if (!sw.n && ::fstat(fd, &st) == 0 && st.st_size > 0) {
            char lastc = 0;
            if (::pread(fd, &lastc, 1, st.st_size - 1) == 1 && lastc != '\n')
                out.push_back('\n');
        }
        out += text;
        const bool ok = file_write_all(fd, out.data(), out.size());
        ::close(fd);
        if (!ok)
            return script_error(nullptr, word, path, 14);
        return kScriptDone;
    }
    // A changed line: the file is copied line by line into a temporary
    // beside it, which then replaces it in one step.
    std::string data;
    if (file_read_all(path, data, static_cast<std::size_t>(-1)) < 0)
        return script_error(nullptr, word, path, 4);
    std::vector<std::string> lines;
    {
        std::size_t p = 0;
        std::string line;
        while (p < data.size()) {
            std::size_t e = data.find('\n', p);
            if (e == std::string::npos) {
                lines.push_back(data.substr(p));
                break;
            }
            lines.push_back(data.substr(p, e - p + 1));
            p = e + 1;
        }
    }
    std::size_t target = lines.size();
    if (sw.search) {
        for (std::size_t k = 0; k < lines.size(); ++k) {
            std::string bare = lines[k];
            while (!bare.empty() && (bare.back() == '\n' || bare.back() == '\r'))
                bare.pop_back();
            if (line_matches(sw.search, bare, sw.text)) {
                target = k;
                break;
            }
        }
    } else if (sw.has_line) {
        if (static_cast<std::size_t>(sw.line) <= lines.size())
            target = static_cast<std::size_t>(sw.line - 1);
    } else if (sw.d) {
        target = lines.empty() ? 0 : lines.size() - 1;
    }
    std::string out;
    out.reserve(data.size() + text.size() + 1);
    for (std::size_t k = 0; k < lines.size(); ++k) {
        if (k != target) {
            out += lines[k];
            continue;
        }
        if (sw.d)
            continue;
        if (sw.i) {
            out += text;
            out += lines[k];
        } else if (sw.a) {
            std::string bare = lines[k];
            while (!bare.empty() && (bare.back() == '\n' || bare.back() == '\r'))
                bare.pop_back();
            out += bare;
            out += text;
        } else {
            out += text;
        }
    }
    if (target >= lines.size() && !sw.d) {
        if (!out.empty() && out.back() != '\n')
            out.push_back('\n');
        out += text;
    }
    if (!file_safe_save(path, out, 0))
        return script_error(nullptr, text_fill_id(4803, {word, store_shown_path(path)}), "", 6);
    return kScriptDone;
}

// /writeini [-n] file section item value   /remini file section [item]
int cmd_writeini(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    const bool remove = word == "remini";
    std::size_t i = 1;
    std::string sw;
    if (!remove && !call.arg(1).empty() && call.arg(1)[0] == '-') {
        sw = call.arg(1);
        i = 2;
    }
    std::string path;
    std::size_t last = i;
    const int f = store_file_arg(call.tokens, i, path, &last);
    if (f == 0)
        return script_error(nullptr, word, "", remove ? 0 : 0);
    if (f < 0)
        return script_error(nullptr, word, "", 3);
    if (file_is_device(path))
        return script_error(nullptr, word, path, 4);
    if (!remove && sw.find('n') == std::string::npos) {
        std::uint64_t size = 0;
        if (file_size64(path, size) && size >= 60000)
            return script_error(nullptr, text_fill_id(4804, {word, store_shown_path(path)}), "", 6);
    }
    std::string section;
    const int s_end = arg_get_quoted(call.tokens, last + 1, section, kMediumText, 0);
    if (s_end < 0 || section.empty())
        return script_error(nullptr, word, "", 3);
    const std::string& item = call.arg(static_cast<std::size_t>(s_end) + 1);
    if (remove) {
        const int ok = ini_write(section.c_str(), item.empty() ? nullptr : item.c_str(), nullptr, path);
        if (!ok)
            return script_error(nullptr, word, path, 14);
        return kScriptDone;
    }
    std::string value;
    arg_join_from(static_cast<std::size_t>(s_end) + 2, value, call.tokens);
    if (item.empty() || value.empty())
        return script_error(nullptr, word, "", 0);
    if (!ini_write(section.c_str(), item.c_str(), value.c_str(), path))
        return script_error(nullptr, word, path, 14);
    return kScriptDone;
}

void text_files_register()
{
    script_register_command_family("cmd_write", cmd_write);
    script_register_command_family("cmd_writeini", cmd_writeini);
}
