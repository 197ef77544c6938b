// $fopen, $fread, $fgetc, $feof and $ferr; $read, $readn and $readini;
// $compress and $decompress.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <zlib.h>

#include "core/files.h"
#include "core/ini.h"
#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "identifiers/store_identifiers.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_text.h"
#include "script/stores/binary_vars.h"
#include "script/stores/file_handles.h"
#include "script/stores/store_files.h"
#include "script/stores/text_files.h"

namespace {

constexpr int kInvalid = 6;
constexpr int kMemory = 8;
constexpr int kFileRead = 12;

ScriptFileHandle* handle_of(const std::string& arg)
{
    if (arg.size() >= kShortText)
        return nullptr;
    if (arg_is_number(arg))
        return fhandle_at(std::strtoll(arg.c_str(), nullptr, 10));
    return fhandle_find(arg);
}

std::string unquote(const std::string& s)
{
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        return s.substr(1, s.size() - 2);
    return s;
}

}  // namespace

// $fopen(name|N) with .fname .pos .eof .err; $feof and $ferr
int id_fopen(IdentCall& call)
{
    std::string& out = *call.value;
    if (call.name == "feof" || call.name == "ferr") {
        ScriptFileHandle* h = fhandle_current();
        out = h ? std::to_string(call.name == "feof" ? h->eof : h->err) : "0";
        return 2;
    }
    int r = ident_args_step(call, 1);
    if (r >= 0)
        return r;
    out.clear();
    const std::string& arg = ident_arg(call, 0);
    if (arg_is_number(arg) && std::strtoll(arg.c_str(), nullptr, 10) == 0) {
        out = std::to_string(fhandle_count());
        return ident_finish(call);
    }
    ScriptFileHandle* h = handle_of(arg);
    if (!h)
        return ident_finish(call);
    const std::string prop = text_lower_copy(ident_property(call));
    if (prop.empty()) {
        out = h->name;
    } else if (prop == "fname") {
        out = h->path;
    } else if (prop == "pos") {
        const long long p = h->fd >= 0 ? file_seek64(h->fd, 0, SEEK_CUR) : -1;
        if (p < 0)
            h->err = 1;
        out = std::to_string(p);
    } else if (prop == "eof") {
        out = std::to_string(h->eof);
    } else if (prop == "err") {
        out = std::to_string(h->err);
    }
    return ident_finish(call);
}

// $fread(name|N [, M [, &name]]) and $fgetc(name|N)
int id_fread(IdentCall& call)
{
    int r = ident_args_step(call, kIdentAnyArgs);
    if (r >= 0)
        return r;
    std::string& out = *call.value;
    out.clear();
    const int argc = ident_arg_count(call);
    const bool getc = call.name.rfind("fgetc", 0) == 0;
    if (argc < 1 || argc > (getc ? 1 : 3))
        return ident_error(call.token, call.work, kInvalid);
    const std::string& arg = ident_arg(call, 0);
    if (!getc && arg_is_number(arg) && std::strtoll(arg.c_str(), nullptr, 10) == 0) {
        out = std::to_string(fhandle_count());
        return ident_finish(call);
    }
    ScriptFileHandle* h = handle_of(arg);
    if (!h)
        return ident_error(call.token, call.work, kInvalid);
    fhandle_set_current(h);
    h->eof = 0;
    h->err = 0;
    if (h->fd < 0) {
        h->err = 1;
        return ident_finish(call);
    }
    if (getc) {
        unsigned char c = 0;
        const ssize_t got = ::read(h->fd, &c, 1);
        if (got < 0)
            h->err = 1;
        else if (got == 0)
            h->eof = 1;
        else
            out = std::to_string(c);
        return ident_finish(call);
    }
    long long m = static_cast<long long>(kLongText);
    if (argc >= 2) {
        m = std::strtoll(ident_arg(call, 1).c_str(), nullptr, 10);
        if (m == 0)
            return ident_error(call.token, call.work, kInvalid);
        if (m < 0 || (argc == 2 && m > static_cast<long long>(kLongText)))
            m = static_cast<long long>(kLongText);
    }
    if (argc == 3) {
        const std::string& name = ident_arg(call, 2);
        if (!bvar_name_valid(name))
            return ident_error(call.token, call.work, kInvalid);
        BinaryVariable* v = bvar_create(name, 0, call.args ? call.args->scope : 0);
        if (!v)
            return ident_error(call.token, call.work, kMemory);
        std::string buf(static_cast<std::size_t>(std::min<long long>(m, 1 << 26)), '\0');
        ssize_t got;
        do {
            got = ::read(h->fd, buf.data(), buf.size());
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            h->err = 1;
            return ident_finish(call);
        }
        v->bytes.assign(buf.data(), static_cast<std::size_t>(got));
        if (got == 0)
            h->eof = 1;
        else
            out = std::to_string(got);
        return ident_finish(call);
    }
    const long long start = file_seek64(h->fd, 0, SEEK_CUR);
    if (start < 0) {
        h->err = 1;
        return ident_finish(call);
    }
    std::string buf(static_cast<std::size_t>(m), '\0');
    ssize_t got;
    do {
        got = ::read(h->fd, buf.data(), buf.size());
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        h->err = 1;
        return ident_finish(call);
    }
    if (got == 0) {
        h->eof = 1;
        return ident_finish(call);
    }
    buf.resize(static_cast<std::size_t>(got));
    std::size_t cut = buf.find_first_of(std::string_view("\r\n\0", 3));
    if (cut != std::string::npos)
        buf.resize(cut);
    out = buf;
    if (file_seek64(h->fd, start, SEEK_SET) < 0) {
        h->err = 1;
        return ident_finish(call);
    }
    file_seek_line(*h, 2, "", 1, false);
    return ident_finish(call);
}

namespace {

// -p: the line is cut into its commands at " | "; the first is the result,
// the others run after the current command, in their order.
void split_commands(IdentCall& call, std::string& out)
{
    int ok = 0;
    std::vector<ScriptPiece> pieces = script_split_commands(out, 0, 0, &ok);
    if (ok != 1 || pieces.size() < 2)
        return;
    out = pieces[0].text;
    std::vector<std::string>* queued = call.args ? call.args->queued : nullptr;
    if (!queued)
        return;
    for (std::size_t k = pieces.size(); k-- > 1;)
        if (!pieces[k].text.empty())
            queued->push_back(pieces[k].text);
}

// The result of $read and $readini: split with -p, evaluated further
// unless -n.
int read_result(IdentCall& call, bool no_eval, bool split)
{
    if (split && !call.value->empty())
        split_commands(call, *call.value);
    return !no_eval && !call.value->empty() ? 3 : 2;
}

}  // namespace

// $read(file [, switches|N] [, text] [, N])
int id_read(IdentCall& call)
{
    int r = ident_args_step(call, kIdentAnyArgs);
    if (r >= 0)
        return r;
    std::string& out = *call.value;
    out.clear();
    const int argc = ident_arg_count(call);
    if (argc < 1 || argc > 4)
        return ident_error(call.token, call.work, kInvalid);
    ReadRequest req;
    if (!file_resolve_path(unquote(ident_arg(call, 0)), req.path))
        return ident_error(call.token, call.work, kInvalid);
    bool no_eval = false, split = false;
    if (argc == 2 && arg_is_number(ident_arg(call, 1))) {
        req.has_line = true;
        req.line = std::strtoll(ident_arg(call, 1).c_str(), nullptr, 10);
    } else if (argc >= 2) {
        const std::string& sw = ident_arg(call, 1);
        no_eval = sw.find('n') != std::string::npos;
        split = sw.find('p') != std::string::npos;
        req.plain_first = sw.find('t') != std::string::npos;
        for (char c : sw)
            if (c == 's' || c == 'w' || c == 'r') {
                req.search = c;
                break;
            }
        int line_arg = 2;
        if (req.search) {
            if (argc < 3)
                return ident_finish(call);
            req.text = ident_arg(call, 2);
            line_arg = 3;
        }
        if (argc > line_arg && !ident_arg(call, line_arg).empty()) {
            req.has_line = true;
            req.line = std::strtoll(ident_arg(call, line_arg).c_str(), nullptr, 10);
            if (req.search && req.line < 1)
                req.line = 1;
        }
    }
    const int got = text_read_line(req, out);
    if (got < 0) {
        out.clear();
        return script_error(nullptr, text_fill_id(4802, {store_shown_path(req.path)}), "", 6);
    }
    ident_finish(call);
    return read_result(call, no_eval, split);
}

int id_readn(IdentCall& call)
{
    *call.value = std::to_string(text_last_line());
    return 2;
}

// $readini(file, [np,] section, item)
int id_readini(IdentCall& call)
{
    int r = ident_args_step(call, kIdentAnyArgs);
    if (r >= 0)
        return r;
    std::string& out = *call.value;
    out.clear();
    const int argc = ident_arg_count(call);
    if (argc < 3 || argc > 4)
        return ident_error(call.token, call.work, kInvalid);
    const int base = argc == 4 ? 1 : 0;
    const bool no_eval = argc == 4 && ident_arg(call, 1).find('n') != std::string::npos;
    const bool split = argc == 4 && ident_arg(call, 1).find('p') != std::string::npos;
    std::string path;
    if (!file_resolve_path(unquote(ident_arg(call, 0)), path))
        return ident_error(call.token, call.work, kInvalid);
    if (file_is_device(path))
        return ident_finish(call);
    const std::string section = unquote(ident_arg(call, base + 1));
    const std::string item = unquote(ident_arg(call, base + 2));
    ini_read(section.c_str(), item.c_str(), "", out, kLongTextSize, path);
    ident_finish(call);
    return read_result(call, no_eval, split);
}

namespace {

// Runs one deflate or inflate stream over the input; false on a stream
// error.
bool run_stream(bool compress, int level, std::string_view in, std::string& out)
{
    z_stream zs{};
    const int init = compress ? deflateInit(&zs, level) : inflateInit(&zs);
    if (init != Z_OK)
        return false;
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    zs.avail_in = static_cast<uInt>(in.size());
    char chunk[32768];
    int rc = Z_OK;
    do {
        zs.next_out = reinterpret_cast<Bytef*>(chunk);
        zs.avail_out = sizeof chunk;
        rc = compress ? deflate(&zs, Z_FINISH) : inflate(&zs, Z_FINISH);
        if (rc == Z_STREAM_ERROR || rc == Z_DATA_ERROR || rc == Z_MEM_ERROR || rc == Z_NEED_DICT)
            break;
        out.append(chunk, sizeof chunk - zs.avail_out);
        if (rc == Z_BUF_ERROR && zs.avail_in == 0 && zs.avail_out != 0)
            break;   // truncated input
    } while (rc != Z_STREAM_END);
    if (compress)
        deflateEnd(&zs);
    else
        inflateEnd(&zs);
    return rc == Z_STREAM_END;
}

}  // namespace

// $compress and $decompress (file|&name [, options])
int id_compress(IdentCall& call)
{
    int r = ident_args_step(call, kIdentAnyArgs);
    if (r >= 0)
        return r;
    std::string& out = *call.value;
    out = "0";
    const int argc = ident_arg_count(call);
    if (argc < 1 || argc > 2)
        return ident_error(call.token, call.work, kInvalid);
    const bool compress = call.name.rfind("compress", 0) == 0;
    const std::string opts = argc == 2 ? ident_arg(call, 1) : std::string();
    int level = 6;
    const std::size_t l = opts.find('l');
    if (l != std::string::npos && l + 1 < opts.size() && opts[l + 1] >= '0' && opts[l + 1] <= '9') {
        level = opts[l + 1] - '0';
        level = level < 1 ? 1 : level > 6 ? 6 : level;
    }
    std::string result;
    if (opts.find('b') != std::string::npos) {
        BinaryVariable* v = bvar_find(ident_arg(call, 0));
        if (!v)
            return ident_error(call.token, call.work, kInvalid);
        if (run_stream(compress, level, v->bytes, result) && !result.empty()) {
            v->bytes.swap(result);
            out = "1";
        }
        return ident_finish(call);
    }
    std::string path;
    if (!file_resolve_path(unquote(ident_arg(call, 0)), path))
        return ident_error(call.token, call.work, kInvalid);
    if (file_is_device(path))
        return ident_error(call.token, call.work, kFileRead);
    std::string data;
    if (file_read_all(path, data, static_cast<std::size_t>(-1)) <= 0)
        return ident_finish(call);
    // The new contents are written beside the file and renamed over it: the
    // file is never left half-written.
    if (run_stream(compress, level, data, result) && file_safe_save(path, result, 0))
        out = "1";
    return ident_finish(call);
}

namespace {

// The words after a bare identifier ($read -l5 file): the tokens that follow
// it on the line, taken one by one; the identifier removes what it used.
struct BareWords {
    IdentCall& call;
    EvalToken* at;
    int used = 0;
    explicit BareWords(IdentCall& c) : call(c), at(c.token ? c.token->next : nullptr) {}
    bool more() const { return at != nullptr; }
    const std::string& peek() const { return at->text; }
    std::string take()
    {
        std::string t = at->text;
        at = at->next;
        ++used;
        return t;
    }
    // A word that may be written in double quotes across several tokens.
    bool take_quoted(std::string& out)
    {
        if (!more())
            return false;
        out = take();
        if (out.empty() || out[0] != '"')
            return true;
        out.erase(0, 1);
        while (out.empty() || out.back() != '"') {
            if (!more())
                return false;
            out += ' ';
            out += take();
        }
        out.pop_back();
        return true;
    }
    int finish()
    {
        call.token->argc = used;
        return ident_finish(call);
    }
};

}  // namespace

// Bare $read [-switches] file: l N, n, p, t, s/w/r text, R.
int id_read_bare(IdentCall& call)
{
    BareWords w(call);
    std::string& out = *call.value;
    out.clear();
    ReadRequest req;
    bool no_eval = false, raw_text = false, split = false;
    bool first = true;
    while (w.more() && w.peek().size() > 1 && w.peek()[0] == '-') {
        const std::string sw = w.take();
        if (first && sw == "-R") {
            raw_text = true;
            first = false;
            continue;
        }
        first = false;
        for (std::size_t k = 1; k < sw.size(); ++k) {
            const char c = sw[k];
            if (c == 'n') {
                no_eval = true;
            } else if (c == 'p') {
                split = true;
            } else if (c == 't') {
                req.plain_first = true;
            } else if (c == 'l') {
                std::string digits = sw.substr(k + 1);
                if (digits.empty() && w.more())
                    digits = w.take();
                req.has_line = true;
                req.line = std::strtoll(digits.c_str(), nullptr, 10);
                break;
            } else if (c == 's' || c == 'w' || c == 'r') {
                req.search = c;
                std::string text = sw.substr(k + 1);
                if (text.empty() && w.more())
                    text = w.take();
                if (!raw_text && !text.empty() && text[0] == '"') {
                    text.erase(0, 1);
                    while (text.empty() || text.back() != '"') {
                        if (!w.more()) {
                            w.finish();
                            return script_error(nullptr, text_load_string(4801), "", 6);
                        }
                        text += ' ';
                        text += w.take();
                    }
                    text.pop_back();
                }
                req.text = text;
                break;
            }
        }
    }
    std::string file;
    if (!w.take_quoted(file) || !file_resolve_path(file, req.path))
        return w.finish();
    if (req.search && req.has_line && req.line < 1)
        req.line = 1;
    const int got = text_read_line(req, out);
    w.finish();
    if (got < 0) {
        out.clear();
        return script_error(nullptr, text_fill_id(4802, {store_shown_path(req.path)}), "", 6);
    }
    return read_result(call, no_eval, split);
}

// Bare $readini [-np] file section item.
int id_readini_bare(IdentCall& call)
{
    BareWords w(call);
    std::string& out = *call.value;
    out.clear();
    bool no_eval = false, split = false;
    if (w.more() && w.peek().size() > 1 && w.peek()[0] == '-') {
        const std::string sw = w.take();
        no_eval = sw.find('n') != std::string::npos;
        split = sw.find('p') != std::string::npos;
    }
    std::string file, section, item, path;
    if (!w.take_quoted(file) || !w.take_quoted(section) || !w.take_quoted(item) ||
        !file_resolve_path(file, path) || file_is_device(path))
        return w.finish();
    ini_read(section.c_str(), item.c_str(), "", out, kLongTextSize, path);
    w.finish();
    return read_result(call, no_eval, split);
}
