#include "script/stores/binary_vars.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <unordered_map>

#include "core/files.h"
#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"
#include "script/stores/store_files.h"
#include "script/stores/variables.h"

namespace {

std::unordered_map<std::string, std::unique_ptr<BinaryVariable>>& vars()
{
    static std::unordered_map<std::string, std::unique_ptr<BinaryVariable>> map;
    return map;
}

std::string switches_of(const CommandCall& call)
{
    const std::string& t = call.arg(1);
    return !t.empty() && t[0] == '-' ? t : std::string();
}

bool has(const std::string& sw, char c) { return sw.find(c) != std::string::npos; }

// A signed decimal number that must be whole; false when it is not.
bool whole_number(std::string_view text, long long& out)
{
    if (text.empty())
        return false;
    std::string s(text);
    char* end = nullptr;
    errno = 0;
    out = std::strtoll(s.c_str(), &end, 10);
    return end && *end == 0 && errno == 0;
}

// The most a binary variable may hold: a script that asks for more gets the
// memory error instead of taking the machine's memory.
constexpr long long kMaxBytes = 256LL << 20;

// Writes bytes at 1-based position `at`, growing the variable by the growth
// rule; with `cut` the length becomes the last position written.
void write_at(BinaryVariable& v, std::size_t at, std::string_view data, bool cut)
{
    const std::size_t end = at - 1 + data.size();
    if (end > v.bytes.size())
        v.bytes.resize(end, '\0');
    v.bytes.replace(at - 1, data.size(), data);
    if (cut)
        v.bytes.resize(end);
}

int open_shared(const std::string& path, int flags)
{
    return ::open(path.c_str(), flags | O_CLOEXEC, 0644);
}

}  // namespace

bool bvar_name_valid(std::string_view name)
{
    return name.size() >= 2 && name[0] == '&';
}

BinaryVariable* bvar_find(std::string_view name)
{
    if (!bvar_name_valid(name))
        return nullptr;
    auto it = vars().find(text_lower_copy(name));
    return it == vars().end() ? nullptr : it->second.get();
}

BinaryVariable* bvar_create(std::string_view name, std::size_t n, int scope)
{
    if (!bvar_name_valid(name))
        return nullptr;
    auto& slot = vars()[text_lower_copy(name)];
    if (!slot) {
        slot = std::make_unique<BinaryVariable>();
        slot->name.assign(name);
        slot->scope = scope;
    }
    slot->bytes.clear();
    slot->bytes.reserve(n);
    return slot.get();
}

int bvar_free(std::string_view name)
{
    if (!bvar_name_valid(name))
        return 0;
    return vars().erase(text_lower_copy(name)) ? 1 : 0;
}

void bvar_scope_end(int scope)
{
    for (auto it = vars().begin(); it != vars().end();) {
        if (it->second->scope == scope)
            it = vars().erase(it);
        else
            ++it;
    }
}

void bvar_free_all() { vars().clear(); }

std::size_t bvar_count() { return vars().size(); }

long long bvar_byte_value(std::string_view text)
{
    if (text.empty())
        return -1;
    if (text[0] >= '0' && text[0] <= '9')
        return std::strtoll(std::string(text).c_str(), nullptr, 10);
    return static_cast<unsigned char>(text[0]);
}

// /bread [-t] file S N &name
int cmd_bread(CommandCall& call)
{
    const std::string sw = switches_of(call);
    std::size_t i = sw.empty() ? 1 : 2;
    const std::string& word = call.tokens[0];
    std::string path;
    std::size_t last = i;
    const int f = store_file_arg(call.tokens, i, path, &last);
    if (f == 0)
        return script_error(nullptr, word, "", 0);
    if (f < 0)
        return script_error(nullptr, word, "", 3);
    const std::string& s_text = call.arg(last + 1);
    const std::string& n_text = call.arg(last + 2);
    const std::string& name = call.arg(last + 3);
    if (s_text.empty() || n_text.empty() || name.empty())
        return script_error(nullptr, word, "", 0);
    long long start = 0, count = 0;
    whole_number(s_text, start);
    count = std::strtoll(n_text.c_str(), nullptr, 10);
    if (count < 1 || !bvar_name_valid(name))
        return script_error(nullptr, word, "", 3);
    if (count > kMaxBytes)
        return script_error(nullptr, word, "", 2);
    if (file_is_device(path))
        return script_error(nullptr, word, path, 4);
    const int fd = open_shared(path, O_RDONLY);
    if (fd < 0)
        return script_error(nullptr, word, path, 4);
    if (start < 0 || ::lseek(fd, start, SEEK_SET) < 0) {
        ::close(fd);
        return script_error(nullptr, text_fill_id(4701, {store_shown_path(path)}), "", 6);
    }
    // Never reserve more than the file can give.
    struct stat st {};
    long long room = count;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        room = std::min<long long>(count, st.st_size > start ? st.st_size - start : 0);
    BinaryVariable* v = bvar_create(name, static_cast<std::size_t>(room), call.scope);
    if (!v) {
        ::close(fd);
        return script_error(nullptr, word, "", 2);
    }
    bool failed = false;
    long long left = count;
    char buf[65536];
    while (left > 0) {
        const ssize_t got = ::read(fd, buf, static_cast<std::size_t>(std::min<long long>(left, sizeof buf)));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            failed = true;
            break;
        }
        if (got == 0)
            break;
        v->bytes.append(buf, static_cast<std::size_t>(got));
        left -= got;
    }
    ::close(fd);
    if (has(sw, 't')) {
        std::size_t cut = v->bytes.find('\n');
        if (cut != std::string::npos)
            v->bytes.resize(cut);
        cut = v->bytes.find('\r');
        if (cut != std::string::npos)
            v->bytes.resize(cut);
        cut = v->bytes.find('\0');
        if (cut != std::string::npos)
            v->bytes.resize(cut);
    }
    if (failed)
        return script_error(nullptr, text_fill_id(4702, {store_shown_path(path)}), "", 6);
    return kScriptDone;
}

// /bwrite file S [N] data
int cmd_bwrite(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    std::string path;
    std::size_t last = 1;
    const int f = store_file_arg(call.tokens, 1, path, &last);
    if (f == 0)
        return script_error(nullptr, word, "", 0);
    if (f < 0)
        return script_error(nullptr, word, "", 3);
    const std::string& s_text = call.arg(last + 1);
    const std::string& n_text = call.arg(last + 2);
    if (s_text.empty() || n_text.empty())
        return script_error(nullptr, word, "", 0);
    const long long start = std::strtoll(s_text.c_str(), nullptr, 10);
    long long count = -1;
    std::size_t data_at = last + 2;
    if (n_text == "-1") {
        data_at = last + 3;
    } else if (n_text[0] >= '0' && n_text[0] <= '9') {
        count = std::strtoll(n_text.c_str(), nullptr, 10);
        if (count < 1)
            return kScriptDone;
        data_at = last + 3;
    }
    const std::string& first = call.arg(data_at);
    if (first.empty())
        return script_error(nullptr, word, "", 0);
    std::string data;
    if (first[0] == '&') {
        BinaryVariable* v = bvar_find(first);
        if (!v)
            return script_error(nullptr, word, "", 3);
        data = v->bytes;
    } else if (first[0] == '%') {
        if (!var_find(first, &data, call.locals ? *call.locals : nullptr))
            return script_error(nullptr, word, "", 3);
    } else {
        arg_join_from(data_at, data, call.tokens);
    }
    if (count >= 0 && static_cast<std::size_t>(count) < data.size())
        data.resize(static_cast<std::size_t>(count));
    if (file_is_device(path))
        return script_error(nullptr, word, path, 4);
    const int fd = open_shared(path, O_RDWR | O_CREAT);
    if (fd < 0)
        return script_error(nullptr, word, path, 4);
    if (data.empty()) {
        ::close(fd);
        return kScriptDone;
    }
    const off_t at = start < 0 ? ::lseek(fd, 0, SEEK_END) : ::lseek(fd, start, SEEK_SET);
    const bool ok = at >= 0 && file_write_all(fd, data.data(), data.size());
    ::close(fd);
    if (!ok)
        return script_error(nullptr, text_fill_id(4703, {store_shown_path(path)}), "", 6);
    return kScriptDone;
}

// /btrunc file N
int cmd_btrunc(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    std::string path;
    std::size_t last = 1;
    const int f = store_file_arg(call.tokens, 1, path, &last);
    if (f == 0)
        return script_error(nullptr, word, "", 0);
    if (f < 0)
        return script_error(nullptr, word, "", 3);
    const std::string& n_text = call.arg(last + 1);
    if (n_text.empty())
        return script_error(nullptr, word, "", 0);
    const long long n = std::strtoll(n_text.c_str(), nullptr, 10);
    if (n < 0)
        return script_error(nullptr, word, "", 3);
    // A size that would leave the disk all but full is refused.
    std::uint64_t current = 0;
    file_size64(path, current);
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string("/") : path.substr(0, slash + 1);
    const std::uint64_t total = file_disk_space(folder, 1);
    if (total > 0) {
        const long long limit = static_cast<long long>(file_disk_space(folder, 0) + current) - 10240000LL;
        if (n >= limit)
            return script_error(nullptr, text_fill_id(4704, {store_shown_path(path)}), "", 6);
    }
    if (file_is_device(path))
        return script_error(nullptr, word, path, 4);
    const int fd = open_shared(path, O_WRONLY | O_CREAT | O_APPEND);
    if (fd < 0)
        return script_error(nullptr, word, path, 4);
    const int r = ::ftruncate(fd, n);
    ::close(fd);
    if (r != 0)
        return script_error(nullptr, text_fill_id(4704, {store_shown_path(path)}), "", 6);
    return kScriptDone;
}

// /bset [-tc] &name N value [value ...]   /bcopy [-zc] &dst N &src S M
int cmd_bset(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    const std::string sw = switches_of(call);
    const std::size_t i = sw.empty() ? 1 : 2;
    const bool cut = has(sw, 'c');
    if (word == "bcopy") {
        const std::string& dst = call.arg(i);
        const std::string& n_text = call.arg(i + 1);
        const std::string& src = call.arg(i + 2);
        if (dst.empty() || n_text.empty() || src.empty())
            return script_error(nullptr, word, "", 0);
        const std::string& s_text = call.arg(i + 3);
        const std::string& m_text = call.arg(i + 4);
        if (s_text.empty() || m_text.empty())
            return script_error(nullptr, word, "", 3);
        const long long n = std::strtoll(n_text.c_str(), nullptr, 10);
        const long long s = std::strtoll(s_text.c_str(), nullptr, 10);
        long long m = std::strtoll(m_text.c_str(), nullptr, 10);
        BinaryVariable* from = bvar_find(src);
        if (!bvar_name_valid(dst) || !from || s < 1 || n < 1)
            return script_error(nullptr, word, "", 3);
        BinaryVariable* to = bvar_find(dst);
        const long long len = static_cast<long long>(from->bytes.size());
        if (s > len) {
            if (to)
                return script_error(nullptr, word, "", 3);
            return kScriptDone;
        }
        if (m == -1 || m > len - s + 1)
            m = len - s + 1;
        if (m < 1)
            return kScriptDone;
        if (n + m > kMaxBytes)
            return script_error(nullptr, word, "", 2);
        const std::string copy = from->bytes.substr(static_cast<std::size_t>(s - 1), static_cast<std::size_t>(m));
        if (has(sw, 'z'))
            from->bytes.replace(static_cast<std::size_t>(s - 1), copy.size(), copy.size(), '\0');
        if (!to) {
            to = bvar_create(dst, static_cast<std::size_t>(n + m), call.scope);
            if (!to)
                return script_error(nullptr, word, "", 2);
        }
        write_at(*to, static_cast<std::size_t>(n), copy, cut);
        return kScriptDone;
    }
    const std::string& name = call.arg(i);
    const std::string& n_text = call.arg(i + 1);
    if (name.empty() || n_text.empty() || call.arg(i + 2).empty())
        return script_error(nullptr, word, "", 0);
    const long long n = std::strtoll(n_text.c_str(), nullptr, 10);
    if (!bvar_name_valid(name) || n < 1)
        return script_error(nullptr, word, "", 3);
    std::string data;
    if (has(sw, 't')) {
        arg_join_from(i + 2, data, call.tokens);
        if (data.empty())
            return script_error(nullptr, word, "", 0);
    } else {
        for (std::size_t k = i + 2; k < call.tokens.size(); ++k) {
            if (call.tokens[k].empty())
                continue;
            data.push_back(static_cast<char>(bvar_byte_value(call.tokens[k]) & 0xff));
        }
    }
    if (n + static_cast<long long>(data.size()) > kMaxBytes)
        return script_error(nullptr, word, "", 2);
    BinaryVariable* v = bvar_find(name);
    if (!v && !(v = bvar_create(name, static_cast<std::size_t>(n) + data.size(), call.scope)))
        return script_error(nullptr, word, "", 2);
    write_at(*v, static_cast<std::size_t>(n), data, cut);
    return kScriptDone;
}

// /breplace &name old new [old new ...]
int cmd_breplace(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    const std::string& name = call.arg(1);
    if (name.empty() || call.arg(2).empty() || call.arg(3).empty())
        return script_error(nullptr, word, "", 0);
    BinaryVariable* v = bvar_find(name);
    if (!v)
        return script_error(nullptr, word, "", 3);
    // Each byte changes at most once: the old contents decide, the copy changes.
    unsigned char map[256];
    bool set[256] = {};
    for (std::size_t k = 2; k + 1 < call.tokens.size(); k += 2) {
        const long long from = bvar_byte_value(call.tokens[k]);
        const long long to = bvar_byte_value(call.tokens[k + 1]);
        if (from < 0 || from > 255 || to < 0)
            continue;
        set[from] = true;
        map[from] = static_cast<unsigned char>(to & 0xff);
    }
    for (char& c : v->bytes) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (set[b])
            c = static_cast<char>(map[b]);
    }
    return kScriptDone;
}

// /bunset &name [&name ...]
int cmd_bunset(CommandCall& call)
{
    for (std::size_t k = 1; k < call.tokens.size(); ++k)
        bvar_free(call.tokens[k]);
    return kScriptDone;
}

void binary_vars_register()
{
    script_register_command_family("cmd_bread", cmd_bread);
    script_register_command_family("cmd_bwrite", cmd_bwrite);
    script_register_command_family("cmd_btrunc", cmd_btrunc);
    script_register_command_family("cmd_bset", cmd_bset);
    script_register_command_family("cmd_breplace", cmd_breplace);
    script_register_command_family("cmd_bunset", cmd_bunset);
}
