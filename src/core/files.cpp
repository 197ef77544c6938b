// Paths, files and safe saving.
#include "core/files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <limits.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "core/ini.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"

std::string file_command_shell;
std::string program_path_override;
int (*file_trash_confirm)(const std::string& path) = nullptr;
std::function<int(const std::string& temp_path, const std::string& target_path)> file_replace_hook;

namespace {

constexpr std::size_t kCopyBlock = 4096;
constexpr int kTempAttempts = 1000;

// The path with "/" for "\" and, when relative, the settings folder in front.
std::string abs_path(const std::string& path)
{
    std::string p = path;
    file_fix_slashes(p);
    if (!p.empty() && p[0] != '/')
        p.insert(0, settings_dir);
    return p;
}

// The folder part of a path, ending in "/" ("" for a bare name).
std::string dir_part(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string name_part(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Resolves "." and ".." and repeated slashes without touching the disk.
std::string normalize_lexical(const std::string& path)
{
    bool absolute = !path.empty() && path[0] == '/';
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i <= path.size()) {
        std::size_t j = path.find('/', i);
        if (j == std::string::npos)
            j = path.size();
        std::string part = path.substr(i, j - i);
        if (part.empty() || part == ".") {
            // nothing
        } else if (part == "..") {
            if (!parts.empty() && parts.back() != "..")
                parts.pop_back();
            else if (!absolute)
                parts.push_back(part);
        } else {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string out = absolute ? "/" : "";
    for (std::size_t k = 0; k < parts.size(); ++k) {
        if (k)
            out += '/';
        out += parts[k];
    }
    if (out.empty())
        out = ".";
    return out;
}

bool real_path(const std::string& path, std::string& out)
{
    char* r = ::realpath(path.c_str(), nullptr);
    if (!r)
        return false;
    out = r;
    std::free(r);
    return true;
}

// The canonical form of the longest existing part of the path, with the rest
// appended as written (it doesn't exist, so it holds no links).
std::string canonical_best(const std::string& path)
{
    std::string p = abs_path(path);
    std::string real;
    if (real_path(p, real))
        return real;
    std::string rest;
    std::string head = normalize_lexical(p);
    while (true) {
        std::size_t slash = head.rfind('/');
        if (slash == std::string::npos)
            return normalize_lexical(p);
        std::string last = head.substr(slash + 1);
        rest = rest.empty() ? last : last + "/" + rest;
        head = slash == 0 ? "/" : head.substr(0, slash);
        if (real_path(head, real)) {
            if (real.back() != '/')
                real += '/';
            return normalize_lexical(real + rest);
        }
        if (head == "/")
            return normalize_lexical(p);
    }
}

bool is_dir(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool write_all(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Copies what is left of in to out in blocks. False on a read or write error.
bool copy_fd(int in, int out)
{
    char block[kCopyBlock];
    while (true) {
        ssize_t n = ::read(in, block, sizeof block);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return true;
        if (!write_all(out, block, static_cast<std::size_t>(n)))
            return false;
    }
}

// Opens a new temporary file "kest%u.tm_" in the folder (which ends in "/" or is
// empty); the name is never one that exists already.
int open_temp_in(const std::string& folder, std::string& temp_path, mode_t mode)
{
    for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
        temp_path = folder + file_temp_name();
        int fd = ::open(temp_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0) {
            // Held while the file is written: the start-up sweep of stale
            // temporaries leaves a locked one alone.
            ::flock(fd, LOCK_EX | LOCK_NB);
            return fd;
        }
        if (errno != EEXIST)
            break;
    }
    temp_path.clear();
    return -1;
}

// Renames without replacing an existing target. False with errno EEXIST when the
// target exists.
bool rename_noreplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return false;
    // The file system can't do it in one step: a hard link refuses an existing
    // target just as well.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    if (errno == EEXIST)
        return false;
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

// The file a write to path lands in: the target of a link, else the path.
std::string write_target(const std::string& path)
{
    struct stat st;
    std::string real;
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && real_path(path, real))
        return real;
    return path;
}

// FILETIME-style 100-nanosecond steps since 1601-01-01 of a modification time.
std::uint64_t file_time_of(const struct stat& st)
{
    constexpr std::uint64_t kEpochDiff = 11644473600ULL;  // seconds from 1601 to 1970
    std::int64_t secs = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    std::uint64_t base = static_cast<std::uint64_t>(secs + static_cast<std::int64_t>(kEpochDiff));
    return base * 10000000ULL + static_cast<std::uint64_t>(st.st_mtim.tv_nsec / 100);
}

std::string home_dir()
{
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return home;
    struct passwd pw;
    struct passwd* result = nullptr;
    char buf[4096];
    if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &result) == 0 && result && result->pw_dir)
        return result->pw_dir;
    return std::string();
}

// Makes a folder and its missing parents with the given mode.
bool make_dirs(const std::string& path, mode_t mode)
{
    if (path.empty())
        return false;
    if (is_dir(path))
        return true;
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    std::size_t slash = p.rfind('/');
    if (slash != std::string::npos && slash > 0 && !make_dirs(p.substr(0, slash), mode))
        return false;
    if (::mkdir(p.c_str(), mode) == 0)
        return true;
    return errno == EEXIST && is_dir(p);
}

std::string url_encode_path(const std::string& path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' ||
            c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// Moves a file to the desktop's trash folder ($XDG_DATA_HOME/Trash).
int move_to_trash(const std::string& path)
{
    std::string p = abs_path(path);
    struct stat st;
    if (::lstat(p.c_str(), &st) != 0)
        return 0;
    std::string data;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/')
        data = xdg;
    else {
        std::string home = home_dir();
        if (home.empty())
            return 0;
        data = home + "/.local/share";
    }
    std::string trash = data + "/Trash";
    if (!make_dirs(trash + "/files", 0700) || !make_dirs(trash + "/info", 0700))
        return 0;
    std::string full = canonical_best(p);
    std::string base = name_part(full);
    if (base.empty() || base == "." || base == "..")
        return 0;
    for (int i = 1; i <= kTempAttempts; ++i) {
        std::string name = i == 1 ? base : base + "." + std::to_string(i);
        std::string info = trash + "/info/" + name + ".trashinfo";
        std::string dest = trash + "/files/" + name;
        int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return 0;
        }
        char date[64] = "";
        std::time_t now = std::time(nullptr);
        struct tm tmv;
        if (::localtime_r(&now, &tmv))
            std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &tmv);
        std::string text = "[Trash Info]\nPath=" + url_encode_path(full) + "\nDeletionDate=" + date + "\n";
        bool ok = write_all(fd, text.data(), text.size());
        ::close(fd);
        if (ok && rename_noreplace(p, dest))
            return 1;
        int err = errno;
        ::unlink(info.c_str());
        if (ok && err == EEXIST)
            continue;
        return 0;
    }
    return 0;
}

bool has_wildcards(const std::string& path)
{
    return path.find_first_of("*?") != std::string::npos;
}

}  // namespace

// ---------------------------------------------------------------------------
// Paths

void file_fix_slashes(std::string& path)
{
    std::replace(path.begin(), path.end(), '\\', '/');
}

std::string& file_abs_settings_dir(std::string& path)
{
    file_fix_slashes(path);
    if (path.empty() || path[0] != '/')
        path.insert(0, settings_dir);
    return path;
}

std::string& file_abs_exe_dir(std::string& path)
{
    file_fix_slashes(path);
    if (path.empty() || path[0] != '/')
        path.insert(0, dir_part(file_program_path()));
    return path;
}

int file_resolve_path(const std::string& path, std::string& out)
{
    std::string p = path;
    file_fix_slashes(p);
    out.clear();
    if (p.empty())
        return 0;
    if (p[0] != '/')
        p.insert(0, settings_dir);
    if (p.size() > kMediumText)
        return 0;
    out = p;
    return 1;
}

int file_resolve_file_path(const std::string& path, std::string& out)
{
    if (!file_resolve_path(path, out))
        return 0;
    std::string name = name_part(out);
    if (name.empty() || name == "." || name == "..") {
        out.clear();
        return 0;
    }
    return 1;
}

int file_strip_trailing_slash(std::string& path)
{
    int removed = 0;
    while (!path.empty() && (path.back() == '/' || path.back() == '\\' || path.back() == ' ')) {
        if (path.back() != ' ')
            ++removed;
        path.pop_back();
    }
    return removed;
}

void file_add_trailing_slash(std::string& path)
{
    file_fix_slashes(path);
    file_strip_trailing_slash(path);
    path += '/';
}

std::string file_relative_to_settings_dir(const std::string& path)
{
    std::string p = path;
    file_fix_slashes(p);
    if (settings_dir.empty())
        return p;
    if (p.size() >= settings_dir.size() && p.compare(0, settings_dir.size(), settings_dir) == 0)
        return p.substr(settings_dir.size());
    std::string real;
    if (real_path(settings_dir, real)) {
        if (real.back() != '/')
            real += '/';
        if (p.size() >= real.size() && p.compare(0, real.size(), real) == 0)
            return p.substr(real.size());
    }
    return p;
}

int file_same_path(const std::string& a, const std::string& b)
{
    std::string pa = abs_path(a);
    std::string pb = abs_path(b);
    if (pa.empty() || pb.empty())
        return 0;
    if (normalize_lexical(pa) == normalize_lexical(pb))
        return 1;
    struct stat sa, sb;
    if (::stat(pa.c_str(), &sa) == 0 && ::stat(pb.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
        sa.st_ino == sb.st_ino)
        return 1;
    return 0;
}

int file_short_path(std::string& path)
{
    file_fix_slashes(path);
    struct stat st;
    if (path.empty() || ::stat(abs_path(path).c_str(), &st) != 0)
        return 0;
    if (S_ISDIR(st.st_mode) && path.back() != '/')
        path += '/';
    return 1;
}

int file_long_path(std::string& path)
{
    std::string real;
    if (path.empty() || !real_path(abs_path(path), real))
        return 0;
    if (is_dir(real) && real.back() != '/')
        real += '/';
    path = real;
    return 1;
}

void file_sanitize_name(std::string& name, bool keep_first)
{
    if (name.empty())
        return;
    std::size_t start = 0;
    if (name[0] == '.')
        name[0] = '_';
    else if (keep_first)
        start = 1;
    const bool alnum_only = text_equal_nocase(file_command_shell, "4DOS.COM");
    for (std::size_t i = start; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        bool bad = (c >= 1 && c <= 31) || std::strchr("\"\\/:*?<>|^", c) != nullptr;
        if (!bad && alnum_only)
            bad = !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
        if (c == 0)
            bad = true;
        if (bad)
            name[i] = '_';
    }
}

int file_path_is_inside(const std::string& path, const std::string& folder)
{
    if (path.empty() || folder.empty())
        return 0;
    std::string p = canonical_best(path);
    std::string f = canonical_best(folder);
    if (f.back() != '/')
        f += '/';
    return p.size() > f.size() && p.compare(0, f.size(), f) == 0 ? 1 : 0;
}

std::string file_program_path()
{
    if (!program_path_override.empty())
        return program_path_override;
    char buf[kMediumTextSize];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
    if (n <= 0 || static_cast<std::size_t>(n) > kMediumText)
        return std::string();
    return std::string(buf, static_cast<std::size_t>(n));
}

// ---------------------------------------------------------------------------
// Files

int file_is_device(const std::string& name)
{
    static const char* const kDevices[] = {"aux",  "clock$", "com1", "com2", "com3", "com4", "com5", "com6",
                                           "com7", "com8",   "com9", "con",  "lpt1", "lpt2", "lpt3", "lpt4",
                                           "lpt5", "lpt6",   "lpt7", "lpt8", "lpt9", "nul",  "prn"};
    if (name.empty())
        return 0;
    std::string p = abs_path(name);
    std::string stem = name_part(p);
    std::size_t dot = stem.find('.');
    if (dot != std::string::npos)
        stem.resize(dot);
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    for (const char* device : kDevices)
        if (text_equal_nocase(stem, device))
            return 1;
    std::string lexical = normalize_lexical(p);
    std::string canonical = canonical_best(p);
    for (const std::string* form : {&lexical, &canonical})
        if (*form == "/dev" || form->rfind("/dev/", 0) == 0)
            return 1;
    struct stat st;
    if (::stat(p.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        return 1;
    return 0;
}

int file_avoid_device_name(std::string& name)
{
    file_fix_slashes(name);
    if (!file_is_device(name))
        return 1;
    std::size_t start = name.rfind('/');
    start = start == std::string::npos ? 0 : start + 1;
    std::size_t dot = name.find('.', start);
    if (dot != std::string::npos && dot > start)
        name[dot - 1] = '_';
    else
        name += '_';
    return file_is_device(name) ? 0 : 1;
}

int file_exists(const std::string& path, int kinds)
{
    if (path.empty() || has_wildcards(path))
        return 0;
    std::string p = abs_path(path);
    if (file_is_device(p))
        return 0;
    struct stat st;
    if (::stat(p.c_str(), &st) != 0)
        return 0;
    if (S_ISREG(st.st_mode))
        return (kinds & 1) ? 1 : 0;
    if (S_ISDIR(st.st_mode))
        return (kinds & 2) ? 1 : 0;
    return 0;
}

int file_make_dir(const std::string& path)
{
    std::string p = abs_path(path);
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    if (p.empty())
        return 0;
    if (is_dir(p))
        return 1;
    if (::mkdir(p.c_str(), 0777) == 0)
        return 1;
    return errno == EEXIST && is_dir(p) ? 1 : 0;
}

int file_list_dir(const std::string& folder, std::vector<std::string>& names)
{
    names.clear();
    DIR* d = ::opendir(folder.c_str());
    if (!d)
        return 0;
    while (struct dirent* e = ::readdir(d)) {
        std::string_view n = e->d_name;
        if (n != "." && n != "..")
            names.emplace_back(n);
    }
    ::closedir(d);
    return 1;
}

void file_find_recursive(const std::string& folder, const char* pattern, StringNode*& files,
                         StringNode*& folders, int full_path, int depth)
{
    if (depth <= 0)
        return;
    std::string dir = abs_path(folder);
    if (dir.empty())
        return;
    if (dir.back() != '/')
        dir += '/';
    std::string pat = pattern ? pattern : "*";
    file_fix_slashes(pat);
    if (pat == "*.*" || pat.empty())
        pat = "*";

    std::vector<std::string> names;
    if (!file_list_dir(dir, names))
        return;
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const int c = text_compare_nocase(a, b);
        return c != 0 ? c < 0 : a < b;
    });

    std::vector<std::string> subfolders;
    for (const std::string& n : names) {
        std::string full = dir + n;
        struct stat lst;
        if (::lstat(full.c_str(), &lst) != 0)
            continue;
        if (S_ISDIR(lst.st_mode)) {
            if (n[0] != '.')
                subfolders.push_back(full);
            continue;
        }
        struct stat st;
        if (::stat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (::fnmatch(pat.c_str(), n.c_str(), FNM_CASEFOLD) != 0)
            continue;
        StringNode* head = strlist_append(files, std::string_view(full_path ? full : n), 0);
        if (!head)
            continue;
        files = head;
        std::uint64_t t = file_time_of(st);
        files->prev->wrapWidth = static_cast<int>(static_cast<std::uint32_t>(t >> 32));
        files->prev->charWidth = static_cast<int>(static_cast<std::uint32_t>(t & 0xffffffffu));
    }
    for (const std::string& sub : subfolders) {
        StringNode* head = strlist_append(folders, std::string_view(sub), 0);
        if (head)
            folders = head;
        file_find_recursive(sub, pat.c_str(), files, folders, 1, depth - 1);
    }
}

int file_size64(const std::string& path, std::uint64_t& out)
{
    out = 0;
    struct stat st;
    if (path.empty() || ::stat(abs_path(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    out = static_cast<std::uint64_t>(st.st_size);
    return 1;
}

std::uint64_t file_disk_space(const std::string& root, int mode)
{
    if (mode != 0 && mode != 1)
        return 0;
    struct statvfs sv;
    if (::statvfs(abs_path(root).c_str(), &sv) != 0)
        return 0;
    std::uint64_t unit = sv.f_frsize ? sv.f_frsize : sv.f_bsize;
    return mode == 0 ? static_cast<std::uint64_t>(sv.f_bavail) * unit
                     : static_cast<std::uint64_t>(sv.f_blocks) * unit;
}

std::string file_temp_name()
{
    static std::atomic<unsigned> counter{0};
    char name[32];
    std::snprintf(name, sizeof name, "kest%u.tm_", counter.fetch_add(1));
    return name;
}

bool file_is_temp_name(std::string_view name)
{
    constexpr std::string_view head = "kest", tail = ".tm_";
    if (name.size() <= head.size() + tail.size() || name.size() > 24 || name.substr(0, head.size()) != head ||
        name.substr(name.size() - tail.size()) != tail)
        return false;
    std::string_view digits = name.substr(head.size(), name.size() - head.size() - tail.size());
    return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int file_remove_stale_temps(const std::string& folder, int min_age_seconds)
{
    std::string dir = folder.empty() ? std::string("./") : folder;
    if (dir.back() != '/')
        dir += '/';
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return 0;
    int removed = 0;
    std::time_t now = std::time(nullptr);
    while (dirent* e = ::readdir(d)) {
        if (!file_is_temp_name(e->d_name))
            continue;
        std::string path = dir + e->d_name;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        // A save closes its file a moment before the rename: a young file
        // may still be on its way.
        if (now - st.st_mtime < min_age_seconds)
            continue;
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
        if (fd < 0)
            continue;
        // Locked: a save of another run is writing it.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(path.c_str()) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(d);
    return removed;
}

int file_copy(const std::string& source, const std::string& target, int flags)
{
    std::string src = abs_path(source);
    std::string dst = abs_path(target);
    if (src.empty() || dst.empty())
        return src.empty() ? 1 : 3;
    if (file_same_path(src, dst))
        return 0;
    if (!(flags & 7))
        return 3;
    file_clear_readonly(dst);
    int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (in < 0)
        return 1;
    struct stat sst;
    if (::fstat(in, &sst) != 0 || !S_ISREG(sst.st_mode)) {
        ::close(in);
        return 1;
    }
    if (file_is_device(dst)) {
        ::close(in);
        return 3;
    }
    mode_t mode = sst.st_mode & 0777;
    int result = 0;
    if (flags & 4) {
        int out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, mode);
        if (out < 0) {
            ::close(in);
            return 3;
        }
        struct stat dst_st;
        off_t old_size = ::fstat(out, &dst_st) == 0 ? dst_st.st_size : 0;
        if (!copy_fd(in, out)) {
            if (::ftruncate(out, old_size) != 0) {
                // the partial tail stays; nothing more can be done
            }
            result = 4;
        }
        ::close(out);
    } else if (flags & 2) {
        std::string real_dst = write_target(dst);
        std::string temp;
        int out = open_temp_in(dir_part(real_dst), temp, mode | S_IWUSR);
        if (out < 0) {
            ::close(in);
            return 3;
        }
        bool ok = copy_fd(in, out);
        ok = ::fchmod(out, mode | S_IWUSR) == 0 && ok;
        ok = ::close(out) == 0 && ok;
        if (!ok) {
            ::unlink(temp.c_str());
            result = 4;
        } else if (::rename(temp.c_str(), real_dst.c_str()) != 0) {
            ::unlink(temp.c_str());
            result = 3;
        }
    } else {
        int out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
        if (out < 0) {
            ::close(in);
            return errno == EEXIST ? 2 : 3;
        }
        bool ok = copy_fd(in, out);
        ok = ::close(out) == 0 && ok;
        if (!ok) {
            ::unlink(dst.c_str());
            result = 4;
        }
    }
    ::close(in);
    return result;
}

int file_move(const std::string& source, const std::string& target, int flags)
{
    std::string src = abs_path(source);
    std::string dst = abs_path(target);
    if (src.empty() || dst.empty())
        return 1;
    if (file_same_path(src, dst)) {
        struct stat st;
        if (::stat(src.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::rename(src.c_str(), dst.c_str()) == 0)
            return 0;
        return 1;
    }
    if (flags & 4) {
        if (file_copy(src, dst, 4) != 0)
            return 1;
        return file_delete_via_temp(src) == 0 ? 0 : 1;
    }
    if (!(flags & 3))
        return 1;
    if (file_is_device(dst))
        return 1;
    // A rename replaces the target in one step, so the target is never missing.
    bool moved = (flags & 2) ? ::rename(src.c_str(), dst.c_str()) == 0 : rename_noreplace(src, dst);
    if (moved)
        return 0;
    if (errno != EXDEV)
        return 1;
    if (file_copy(src, dst, (flags & 2) ? 2 : 1) != 0)
        return 1;
    if (file_delete_via_temp(src) != 0) {
        ::unlink(dst.c_str());
        return 1;
    }
    return 0;
}

int file_backup(const std::string& path)
{
    std::string p = abs_path(path);
    if (p.empty())
        return 0;
    std::string name = name_part(p);
    std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    std::string bak = dir_part(p) + name + ".bak";
    return file_copy(p, bak, 2) == 0 ? 1 : 0;
}

int file_delete_via_temp(const std::string& path)
{
    std::string p = abs_path(path);
    if (p.empty())
        return 1;
    std::string dir = dir_part(p);
    std::string temp;
    bool renamed = false;
    for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
        temp = dir + file_temp_name();
        if (rename_noreplace(p, temp)) {
            renamed = true;
            break;
        }
        if (errno != EEXIST)
            return 1;
    }
    if (!renamed)
        return 1;
    if (::unlink(temp.c_str()) == 0)
        return 0;
    ::rename(temp.c_str(), p.c_str());
    return 1;
}

int file_delete(const std::string& path, int mode)
{
    switch (mode) {
    case 0:
        return file_delete_via_temp(path) == 0 ? 1 : 0;
    case 1:
        return move_to_trash(path);
    case 2:
        if (file_trash_confirm && !file_trash_confirm(abs_path(path)))
            return 0;
        return move_to_trash(path);
    default:
        return 0;
    }
}

int file_read_all(const std::string& path, std::string& out, std::size_t limit)
{
    out.clear();
    std::string p = abs_path(path);
    if (p.empty())
        return 0;
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return (errno == ENOENT || errno == ENOTDIR) ? 0 : -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) > limit) {
        ::close(fd);
        return -1;
    }
    out.reserve(static_cast<std::size_t>(st.st_size));
    char block[16384];
    while (true) {
        ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            out.clear();
            return -1;
        }
        if (n == 0)
            break;
        if (out.size() + static_cast<std::size_t>(n) > limit) {
            ::close(fd);
            out.clear();
            return -1;
        }
        out.append(block, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return 1;
}

int file_safe_save(const std::string& path, const std::string& content, int backup)
{
    std::string p;
    if (!file_resolve_file_path(path, p) || file_is_device(p))
        return 0;
    std::string target = write_target(p);
    file_clear_readonly(target);
    struct stat st;
    bool existed = ::stat(target.c_str(), &st) == 0;
    if (existed && !S_ISREG(st.st_mode))
        return 0;
    mode_t mode = existed ? (st.st_mode & 07777) : 0600;

    std::string temp;
    int fd = open_temp_in(dir_part(target), temp, 0600);
    if (fd < 0)
        return 0;
    bool ok = write_all(fd, content.data(), content.size());
    ok = ok && ::fdatasync(fd) == 0;
    ok = ok && ::fchmod(fd, mode) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        ::unlink(temp.c_str());
        return 0;
    }
    if (backup && existed)
        file_backup(target);
    if (file_replace_hook && !file_replace_hook(temp, target))
        return 0;
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return 0;
    }
    return 1;
}

bool file_write_all(int fd, const char* data, std::size_t size)
{
    return write_all(fd, data, size);
}
