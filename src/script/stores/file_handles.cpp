#include "script/stores/file_handles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

#include "core/files.h"
#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"
#include "script/stores/binary_vars.h"
#include "script/stores/regex.h"
#include "script/stores/store_files.h"

namespace {

std::vector<std::unique_ptr<ScriptFileHandle>> handles;
ScriptFileHandle* current = nullptr;

constexpr std::size_t kBlock = 8192;

bool has_wild(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

void close_handle(ScriptFileHandle* h)
{
    if (h->fd >= 0)
        ::close(h->fd);
    if (current == h)
        current = nullptr;
    for (auto it = handles.begin(); it != handles.end(); ++it)
        if (it->get() == h) {
            handles.erase(it);
            break;
        }
}

bool test_line(const std::string& line, const std::string& text, int kind)
{
    if (kind == 2)
        return wild_match(text, line, 0, 1) != 0;
    return regex_match_text(line, text) > 0;
}

}  // namespace

ScriptFileHandle* fhandle_find(std::string_view name)
{
    for (auto& h : handles)
        if (text_equal_nocase(h->name, name))
            return h.get();
    return nullptr;
}

ScriptFileHandle* fhandle_at(long long n)
{
    if (n < 1 || static_cast<std::size_t>(n) > handles.size())
        return nullptr;
    return handles[static_cast<std::size_t>(n - 1)].get();
}

std::size_t fhandle_count() { return handles.size(); }

ScriptFileHandle* fhandle_current() { return current; }

void fhandle_set_current(ScriptFileHandle* h) { current = h; }

void fhandle_close_all()
{
    for (auto& h : handles)
        if (h->fd >= 0)
            ::close(h->fd);
    handles.clear();
    current = nullptr;
}

long long file_seek64(int fd, long long offset, int whence)
{
    const off_t r = ::lseek(fd, static_cast<off_t>(offset), whence);
    return r < 0 ? -1 : static_cast<long long>(r);
}

int file_seek_line(ScriptFileHandle& h, long long k, const std::string& text, int kind, bool rewind)
{
    h.eof = 0;
    h.err = 0;
    if (h.fd < 0) {
        h.err = 1;
        return 0;
    }
    if (rewind && file_seek64(h.fd, 0, SEEK_SET) < 0) {
        h.err = 1;
        return 0;
    }
    const bool counting = kind == 0 || kind == 1;
    char buf[kBlock];
    std::string line;
    for (;;) {
        const long long p = file_seek64(h.fd, 0, SEEK_CUR);
        if (p < 0) {
            h.err = 1;
            return 0;
        }
        ssize_t got;
        do {
            got = ::read(h.fd, buf, kBlock);
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            h.err = 1;
            return 0;
        }
        if (got == 0) {
            h.eof = 1;
            return 0;
        }
        const std::size_t n = static_cast<std::size_t>(got);
        std::size_t off = 0;
        bool reread = false;
        while (off < n) {
            const std::size_t start = off;
            std::size_t e = start;
            while (e < n && buf[e] != '\n' && buf[e] != '\r')
                ++e;
            if (counting && k > 0 && --k == 0) {
                if (file_seek64(h.fd, p + static_cast<long long>(start), SEEK_SET) < 0) {
                    h.err = 1;
                    return 0;
                }
                return 1;
            }
            std::size_t next = e + 1;
            if (e == n) {
                // The line runs to the end of the block.
                if (start != 0 && n == kBlock) {
                    // Unfinished: read again from its start.
                    if (counting)
                        ++k;
                    if (file_seek64(h.fd, p + static_cast<long long>(start), SEEK_SET) < 0) {
                        h.err = 1;
                        return 0;
                    }
                    reread = true;
                    break;
                }
                next = n;
            } else if (buf[e] == '\r') {
                if (e + 1 < n) {
                    if (buf[e + 1] == '\n')
                        next = e + 2;
                } else {
                    // A CR ends the block: a LF right after it belongs to
                    // this line; any other byte starts the next one.
                    char c = 0;
                    const ssize_t r = ::read(h.fd, &c, 1);
                    if (r < 0) {
                        h.err = 1;
                        return 0;
                    }
                    if (r == 0) {
                        if (!counting) {
                            line.assign(buf + start, e - start);
                            if (test_line(line, text, kind)) {
                                file_seek64(h.fd, p + static_cast<long long>(start), SEEK_SET);
                                return 1;
                            }
                        }
                        h.eof = 1;
                        return 0;
                    }
                    if (c != '\n')
                        file_seek64(h.fd, -1, SEEK_CUR);
                }
            }
            if (!counting) {
                line.assign(buf + start, e - start);
                if (test_line(line, text, kind)) {
                    if (file_seek64(h.fd, p + static_cast<long long>(start), SEEK_SET) < 0) {
                        h.err = 1;
                        return 0;
                    }
                    return 1;
                }
            }
            off = next;
        }
        (void)reread;
    }
}

// /fopen [-no] name file
int cmd_fopen(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    std::string sw;
    std::size_t i = 1;
    if (!call.arg(1).empty() && call.arg(1)[0] == '-') {
        sw = call.arg(1);
        i = 2;
    }
    const std::string& name = call.arg(i);
    if (name.empty() || call.arg(i + 1).empty())
        return script_error(nullptr, word, "", 0);
    if (name.size() >= kShortText || has_wild(name) || name[0] == '-')
        return script_error(nullptr, word, "", 3);
    if (fhandle_find(name))
        return script_error(nullptr, text_fill_id(2351, {name}), "", 6);
    std::string path;
    if (store_file_arg(call.tokens, i + 1, path, nullptr) <= 0)
        return script_error(nullptr, word, "", 3);
    const bool truncate = sw.find('o') != std::string::npos;
    const bool create_new = !truncate && sw.find('n') != std::string::npos;
    int flags = O_CLOEXEC;
    if (truncate)
        flags |= O_CREAT | O_TRUNC;
    else if (create_new)
        flags |= O_CREAT | O_EXCL;
    auto h = std::make_unique<ScriptFileHandle>();
    h->name = name;
    h->path = path;
    if (!file_is_device(path)) {
        h->fd = ::open(path.c_str(), flags | O_RDWR, 0644);
        if (h->fd < 0 && !create_new && !truncate)
            h->fd = ::open(path.c_str(), flags | O_RDONLY, 0644);
    }
    ScriptFileHandle* raw = h.get();
    handles.push_back(std::move(h));
    current = raw;
    const bool made = truncate || create_new;
    if (raw->fd < 0) {
        raw->err = 1;
        if (call.show)
            store_echo(call.window, text_fill_id(made ? 2353 : 2352, {name, path}));
        return kScriptDone;
    }
    if (call.show)
        store_echo(call.window, text_fill_id(made ? 2355 : 2354, {name, path}));
    return kScriptDone;
}

// /fclose name|wildcard
int cmd_fclose(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    const std::string& name = call.arg(1);
    if (name.empty())
        return script_error(nullptr, word, "", 0);
    if (name.size() >= kShortText)
        return script_error(nullptr, word, "", 3);
    std::vector<ScriptFileHandle*> doomed;
    if (has_wild(name)) {
        for (auto& h : handles)
            if (wild_match(name, h->name, 0, 1))
                doomed.push_back(h.get());
    } else {
        ScriptFileHandle* h = fhandle_find(name);
        if (!h)
            return script_error(nullptr, word, "", 3);
        doomed.push_back(h);
    }
    for (ScriptFileHandle* h : doomed) {
        if (call.show)
            store_echo(call.window, text_fill_id(2356, {h->name, h->path}));
        close_handle(h);
    }
    return kScriptDone;
}

// /flist [wildcard]
int cmd_flist(CommandCall& call)
{
    if (!call.show)
        return kScriptDone;
    const std::string& mask = call.arg(1);
    std::vector<ScriptFileHandle*> shown;
    for (auto& h : handles)
        if (mask.empty() || wild_match(mask, h->name, 0, 1))
            shown.push_back(h.get());
    if (shown.empty()) {
        store_echo(call.window, text_load_string(2358));
        return kScriptDone;
    }
    store_echo(call.window, text_load_string(2357));
    for (ScriptFileHandle* h : shown)
        if (script_echo_line)
            script_echo_line(call.window, h->name + " " + h->path, kColourInfo2);
    store_echo(call.window, "-");
    return kScriptDone;
}

// The switches and the handle named after them, made the current handle
// with its end and error flags cleared; null with the error reported.
static ScriptFileHandle* take_handle(CommandCall& call, std::string& sw, std::size_t& i)
{
    const std::string& word = call.tokens[0];
    i = 1;
    if (!call.arg(1).empty() && call.arg(1)[0] == '-') {
        sw = call.arg(1);
        i = 2;
    }
    const std::string& name = call.arg(i);
    if (name.empty()) {
        script_error(nullptr, word, "", 0);
        return nullptr;
    }
    ScriptFileHandle* h = name.size() < kShortText ? fhandle_find(name) : nullptr;
    if (!h) {
        script_error(nullptr, word, "", 3);
        return nullptr;
    }
    current = h;
    h->eof = 0;
    h->err = 0;
    return h;
}

// /fseek [-lnwr] name position|N|text
int cmd_fseek(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    std::string sw;
    std::size_t i = 1;
    ScriptFileHandle* h = take_handle(call, sw, i);
    if (!h)
        return 0;
    auto has = [&](char c) { return sw.find(c) != std::string::npos; };
    int kind = -1;
    if (has('r')) kind = 3;
    else if (has('w')) kind = 2;
    else if (has('n')) kind = 1;
    else if (has('l')) kind = 0;
    std::string text;
    arg_join_from(i + 1, text, call.tokens);
    if (kind == 1) {
        const int ok = file_seek_line(*h, 2, "", 1, false);
        if (call.show)
            store_echo(call.window, ok ? text_fill_id(2362, {h->name}) : text_fill_id(2360, {h->name}));
        return kScriptDone;
    }
    if (text.empty())
        return script_error(nullptr, word, "", 0);
    if (kind == 0) {
        long long n = std::strtoll(text.c_str(), nullptr, 10);
        if (n < 1)
            n = 1;
        const int ok = file_seek_line(*h, n, "", 0, true);
        if (call.show)
            store_echo(call.window, ok ? text_fill_id(2361, {h->name, std::to_string(n)}) : text_fill_id(2360, {h->name}));
        return kScriptDone;
    }
    if (kind >= 2) {
        const int ok = file_seek_line(*h, 0, text, kind, false);
        if (call.show)
            store_echo(call.window, ok ? text_fill_id(kind == 2 ? 2363 : 2364, {h->name, text})
                                       : text_fill_id(2360, {h->name}));
        return kScriptDone;
    }
    const long long pos = std::strtoll(text.c_str(), nullptr, 10);
    const long long got = h->fd >= 0 && pos >= 0 ? file_seek64(h->fd, pos, SEEK_SET) : -1;
    if (got < 0) {
        h->err = 1;
        return kScriptDone;
    }
    if (call.show)
        store_echo(call.window, text_fill_id(2359, {h->name, std::to_string(got)}));
    return kScriptDone;
}

// /fwrite [-bn] name text|&name
int cmd_fwrite(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    std::string sw;
    std::size_t i = 1;
    ScriptFileHandle* h = take_handle(call, sw, i);
    if (!h)
        return 0;
    if (call.arg(i + 1).empty())
        return script_error(nullptr, word, "", 0);
    std::string data;
    if (sw.find('b') != std::string::npos) {
        BinaryVariable* v = bvar_find(call.arg(i + 1));
        if (!v)
            return script_error(nullptr, word, "", 3);
        data = v->bytes;
    } else {
        arg_join_from(i + 1, data, call.tokens);
    }
    const bool crlf = sw.find('n') != std::string::npos;
    bool ok = h->fd >= 0 && file_write_all(h->fd, data.data(), data.size());
    if (ok) {
        if (call.show)
            store_echo(call.window, text_fill_id(2366, {std::to_string(data.size() + (crlf ? 2 : 0)), h->name}));
        if (crlf)
            ok = file_write_all(h->fd, "\r\n", 2);
    }
    if (!ok) {
        h->err = 1;
        if (call.show)
            store_echo(call.window, text_fill_id(2365, {h->name}));
    }
    return kScriptDone;
}

void file_handles_register()
{
    script_register_command_family("cmd_fopen", cmd_fopen);
    script_register_command_family("cmd_fclose", cmd_fclose);
    script_register_command_family("cmd_flist", cmd_flist);
    script_register_command_family("cmd_fseek", cmd_fseek);
    script_register_command_family("cmd_fwrite", cmd_fwrite);
}
