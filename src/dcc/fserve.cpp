// The file server's command interpreter, its output stages, the folder
// listing and the paged reading of text files.
#include "dcc/fserve.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>

#include "core/files.h"
#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "core/wildcard.h"

namespace {

std::string lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string real_path(const std::string& p)
{
    char buf[PATH_MAX];
    if (!::realpath(p.c_str(), buf))
        return std::string();
    return buf;
}

std::vector<std::string> split_words(const std::string& line)
{
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size() && static_cast<int>(words.size()) < kFserveMaxWords) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        if (i >= line.size())
            break;
        std::size_t e = line.find(' ', i);
        if (e == std::string::npos)
            e = line.size();
        words.push_back(line.substr(i, e - i));
        i = e;
    }
    return words;
}

std::string join_from(const std::vector<std::string>& words, std::size_t from)
{
    std::string out;
    for (std::size_t i = from; i < words.size(); ++i) {
        if (!out.empty())
            out += ' ';
        out += words[i];
    }
    return out;
}

// The name and extension of a name a peer gave: any folder part dropped.
std::string base_name(const std::string& name)
{
    const std::size_t cut = name.find_last_of("/\\");
    return cut == std::string::npos ? name : name.substr(cut + 1);
}

void answer(FserveState& s, int text_id)
{
    s.work = std::string(text_load_string(text_id)) + "\n";
    s.stage = kFsMessage;
}

void go_parent(FserveState& s)
{
    const std::size_t cut = s.current.rfind('/');
    std::string parent = cut == std::string::npos || cut == 0 ? std::string("/") : s.current.substr(0, cut);
    s.current = fserve_path_inside(s.home, parent) ? parent : s.home;
}

bool open_for_lines(FserveState& s, const std::string& path, bool percent)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    s.file.reset(f);
    s.file_size = percent ? static_cast<std::int64_t>(st.st_size) : 0;
    s.page_lines = 0;
    s.pending_line.clear();
    return true;
}

// One line of the open file, at most kFserveLineMax characters, ending in
// a line feed; false at the end of the file.
bool next_file_line(FserveState& s, std::string& line)
{
    line.clear();
    int c = 0;
    while (line.size() < kFserveLineMax && (c = std::fgetc(s.file.get())) != EOF) {
        line += static_cast<char>(c);
        if (c == '\n')
            break;
    }
    if (line.empty())
        return false;
    if (line.back() != '\n')
        line += '\n';
    return true;
}

// After a successful "cd": the folder's dirinfo.srv when it has one, then
// the prompt.
void after_cd(FserveState& s)
{
    const std::string info = fserve_resolve(s.home, s.current, "dirinfo.srv", 1);
    s.file.reset();
    if (!info.empty() && open_for_lines(s, info, false))
        s.stage = kFsFileLines;
    else
        s.stage = kFsPrompt;
}

void command_cd(FserveState& s, const std::vector<std::string>& words, bool dots)
{
    if (dots) {
        go_parent(s);
        after_cd(s);
        return;
    }
    std::string name = lower(join_from(words, 1));
    std::replace(name.begin(), name.end(), '/', '\\');
    if (name.empty() || name == ".") {
        after_cd(s);
        return;
    }
    if (name.compare(0, 2, "..") == 0) {
        go_parent(s);
        after_cd(s);
        return;
    }
    if (name.find('\\') != std::string::npos || name.find("..") != std::string::npos) {
        answer(s, 2602);
        return;
    }
    if (name.back() == '.' || file_is_device(name)) {
        answer(s, 2603);
        return;
    }
    const std::string target = fserve_resolve(s.home, s.current, name, 2);
    if (target.empty()) {
        answer(s, 2603);
        return;
    }
    s.current = target;
    after_cd(s);
}

void command_dir(FserveState& s, const std::vector<std::string>& words, bool ls)
{
    bool wide = ls;
    std::string mask;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (text_equal_nocase(w, "/w"))
            wide = true;
        else if (w == "-b")
            s.bytes = true;
        else if (w == "-k")
            s.bytes = false;
        else if (w.size() == 2 && w[0] == '-' && w[1] >= '1' && w[1] <= '9')
            s.columns = w[1] - '0';
        else
            mask = lower(base_name(w));
    }
    fserve_list_folder(s, mask, wide);
}

void command_get(FserveState& s, const std::vector<std::string>& words)
{
    if (s.via_server)
        return;
    std::string name = lower(join_from(words, 1));
    if (name.empty()) {
        answer(s, 2607);
        return;
    }
    if (name.back() == '.') {
        answer(s, 2604);
        return;
    }
    name = base_name(name);
    if (name.empty() || name == ".." || file_is_device(name)) {
        answer(s, 2604);
        return;
    }
    const std::string path = fserve_resolve(s.home, s.current, name, 1);
    if (path.empty()) {
        answer(s, 2604);
        return;
    }
    const int result = s.get ? s.get(path) : 2606;
    if (result != 0)
        answer(s, result);
}

void command_read(FserveState& s, const std::vector<std::string>& words)
{
    std::size_t i = 1;
    if (i < words.size() && words[i].size() > 1 && words[i][0] == '-' && words[i][1] >= '0' && words[i][1] <= '9') {
        const long n = std::strtol(words[i].c_str() + 1, nullptr, 10);
        s.page_length = static_cast<int>(std::clamp(n, 5L, 50L));
        ++i;
    }
    const std::string name = base_name(lower(join_from(words, i)));
    if (name.empty()) {
        answer(s, 2607);
        return;
    }
    const std::string path = file_is_device(name) ? std::string() : fserve_resolve(s.home, s.current, name, 1);
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || st.st_size <= 0 || !open_for_lines(s, path, true)) {
        answer(s, 2608);
        return;
    }
    s.stage = kFsFileLines;
}

}  // namespace

bool fserve_path_inside(const std::string& home, const std::string& real)
{
    if (home.empty() || real.empty())
        return false;
    if (real == home)
        return true;
    const std::string prefix = home == "/" ? home : home + "/";
    return real.size() > prefix.size() && real.compare(0, prefix.size(), prefix) == 0;
}

std::string fserve_relative(const std::string& home, const std::string& real)
{
    std::string rel = real.size() > home.size() ? real.substr(home.size()) : std::string();
    if (home == "/" && !rel.empty() && rel[0] != '/')
        rel.insert(rel.begin(), '/');
    std::replace(rel.begin(), rel.end(), '/', '\\');
    return rel.empty() ? std::string("\\") : rel;
}

std::string fserve_resolve(const std::string& home, const std::string& folder, const std::string& name, int kind)
{
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos || name.size() > NAME_MAX)
        return std::string();
    DIR* d = ::opendir(folder.c_str());
    if (!d)
        return std::string();
    std::string found;
    while (dirent* e = ::readdir(d)) {
        if (text_equal_nocase(e->d_name, name)) {
            found = e->d_name;
            if (found == name)
                break;
        }
    }
    ::closedir(d);
    if (found.empty())
        return std::string();
    const std::string real = real_path(folder + "/" + found);
    struct stat st {};
    if (real.empty() || !fserve_path_inside(home, real) || real == home || ::stat(real.c_str(), &st) != 0)
        return std::string();
    if ((kind == 1 && !S_ISREG(st.st_mode)) || (kind == 2 && !S_ISDIR(st.st_mode)))
        return std::string();
    return real;
}

std::string fserve_size_text(std::int64_t size)
{
    static const char* const units[] = {"B", "KB", "MB", "GB", "TB"};
    double v = static_cast<double>(size < 0 ? 0 : size);
    int u = 0;
    while (v >= 1024.0 && u < 4) {
        v /= 1024.0;
        ++u;
    }
    char buf[64];
    if (u == 0)
        std::snprintf(buf, sizeof buf, "%lld%s", static_cast<long long>(size < 0 ? 0 : size), units[0]);
    else
        std::snprintf(buf, sizeof buf, "%.1f%s", v, units[u]);
    std::string out = buf;
    const std::size_t dot = out.find(".0");
    if (dot != std::string::npos && (dot + 2 == out.size() || !(out[dot + 2] >= '0' && out[dot + 2] <= '9')))
        out.erase(dot, 2);
    return out;
}

bool fserve_begin(FserveState& s, const std::string& home, const std::string& welcome, int get_limit)
{
    s.home = real_path(home);
    struct stat st {};
    if (s.home.empty() || ::stat(s.home.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    s.current = s.home;
    s.work = welcome;
    s.get_limit = std::clamp(get_limit, 1, 20);
    s.stage = kFsBanner;
    return true;
}

void fserve_list_folder(FserveState& s, const std::string& mask_given, bool wide)
{
    const std::string mask = mask_given.empty() ? std::string("*.*") : mask_given;
    std::vector<std::string> folders, files;
    std::vector<std::int64_t> sizes;
    struct Entry {
        std::string name;
        std::int64_t size;
    };
    std::vector<Entry> file_entries;
    auto matches = [&](const std::string& name) {
        if (mask == "*.*" || mask == "*")
            return true;
        // "*.*" style masks also take names without an extension.
        return wild_match(mask, name, 0, 1) != 0 ||
               (name.find('.') == std::string::npos && wild_match(mask, name + ".", 0, 1) != 0);
    };
    if (s.current != s.home && matches(".."))
        folders.push_back("..");
    if (DIR* d = ::opendir(s.current.c_str())) {
        int count = 0;
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == ".." || !matches(name))
                continue;
            if (++count > kFserveListMax)
                break;
            struct stat st {};
            const std::string full = s.current + "/" + name;
            if (::stat(full.c_str(), &st) != 0)
                continue;
            // Links that lead out of the home folder are not shown.
            const std::string real = real_path(full);
            if (!fserve_path_inside(s.home, real))
                continue;
            if (S_ISDIR(st.st_mode))
                folders.push_back(upper(name));
            else if (S_ISREG(st.st_mode) && !text_equal_nocase(name, "dirinfo.srv"))
                file_entries.push_back({lower(name), static_cast<std::int64_t>(st.st_size)});
        }
        ::closedir(d);
    }
    auto less_nocase = [](const std::string& a, const std::string& b) { return lower(a) < lower(b); };
    std::sort(folders.begin(), folders.end(), less_nocase);
    std::sort(file_entries.begin(), file_entries.end(),
              [&](const Entry& a, const Entry& b) { return less_nocase(a.name, b.name); });

    s.queue.clear();
    std::string rel = fserve_relative(s.home, s.current);
    if (rel.back() != '\\')
        rel += '\\';
    s.queue.push_back("[" + rel + mask + "]\n");
    if (wide) {
        std::vector<std::string> names = folders;
        for (const Entry& e : file_entries)
            names.push_back(e.name);
        std::string line;
        int in_line = 0;
        for (const std::string& n : names) {
            std::string cell = n;
            if (cell.size() < 15)
                cell.append(15 - cell.size(), ' ');
            if (in_line > 0)
                line += "  ";
            line += cell;
            if (++in_line >= s.columns) {
                s.queue.push_back(line + "\n");
                line.clear();
                in_line = 0;
            }
        }
        if (in_line > 0)
            s.queue.push_back(line + "\n");
    } else {
        for (const std::string& f : folders)
            s.queue.push_back(f + "\n");
        for (const Entry& e : file_entries) {
            const std::string size = s.bytes ? std::to_string(e.size) + " b" : fserve_size_text(e.size);
            std::string line = e.name + "  ";
            const std::size_t used = e.name.size() + size.size();
            if (used < 23)
                line.append(23 - used, ' ');
            s.queue.push_back(line + size + "\n");
        }
    }
    s.queue.push_back(std::string(text_load_string(2601)) + "\n");
    s.stage = kFsQueue;
}

void fserve_output(FserveState& s)
{
    auto send = [&](const std::string& text) { return s.send && s.send(text); };
    for (int guard = 0; guard < 100000; ++guard) {
        switch (s.stage) {
        case kFsBanner:
            if (!send(std::string("Kest ") + KEST_VERSION + " File Server\n"))
                return;
            s.stage = s.work.empty() ? kFsUsage : kFsWelcome;
            break;
        case kFsUsage:
            if (!send(std::string(text_load_string(2609)) + "\n"))
                return;
            s.stage = kFsPrompt;
            break;
        case kFsWelcome: {
            const std::string name = s.work;
            s.work.clear();
            if (!open_for_lines(s, name, false)) {
                if (s.show)
                    s.show(text_fill_id(2611, {name}));
                s.stage = kFsPrompt;
            } else {
                s.stage = kFsFileLines;
            }
            break;
        }
        case kFsPrompt: {
            const std::string prompt = "[" + fserve_relative(s.home, s.current) + "]\n";
            if (!send(prompt))
                return;
            if (s.show)
                s.show(prompt.substr(0, prompt.size() - 1));
            s.stage = kFsIdle;
            break;
        }
        case kFsResend:
            if (!send(s.pending_line))
                return;
            s.pending_line.clear();
            s.stage = s.page_lines >= s.page_length ? kFsPagePrompt : kFsFileLines;
            break;
        case kFsFileLines: {
            std::string line;
            if (!s.file || !next_file_line(s, line)) {
                s.file.reset();
                s.stage = kFsPrompt;
                break;
            }
            ++s.page_lines;
            if (!send(line)) {
                s.pending_line = line;
                s.stage = kFsResend;
                return;
            }
            if (s.page_lines >= s.page_length)
                s.stage = kFsPagePrompt;
            break;
        }
        case kFsMessage:
            if (!send(s.work))
                return;
            s.work.clear();
            s.stage = kFsIdle;
            break;
        case kFsQueue:
            while (!s.queue.empty()) {
                if (!send(s.queue.front()))
                    return;
                s.queue.pop_front();
            }
            s.stage = kFsIdle;
            break;
        case kFsPagePrompt: {
            std::string text;
            if (s.file_size > 0 && s.file) {
                const long pos = std::ftell(s.file.get());
                const std::int64_t pc = pos < 0 ? 0 : static_cast<std::int64_t>(pos) * 100 / s.file_size;
                text = text_fill_id(2612, {std::to_string(pc)});
            } else {
                text = text_load_string(2613);
            }
            if (!send(text + "\n"))
                return;
            s.page_lines = 0;
            s.stage = kFsPageWait;
            break;
        }
        default:
            return;
        }
    }
}

void FileServerCommand(FserveState& s, const std::string& line)
{
    if (s.stage != kFsIdle && s.stage != kFsPageWait)
        return;
    const std::vector<std::string> words = split_words(line);
    if (s.stage == kFsPageWait) {
        if (!words.empty() && text_equal_nocase(words[0], "c")) {
            s.stage = kFsFileLines;
        } else {
            s.file.reset();
            s.stage = kFsPrompt;
        }
        fserve_output(s);
        return;
    }
    if (words.empty())
        return;
    const std::string cmd = lower(words[0]);
    if (cmd == "cd..")
        command_cd(s, words, true);
    else if (cmd == "cd")
        command_cd(s, words, false);
    else if (cmd == "dir" || cmd == "ls")
        command_dir(s, words, cmd == "ls");
    else if (cmd == "get")
        command_get(s, words);
    else if (cmd == "read")
        command_read(s, words);
    else if (cmd == "help" || cmd == "?")
        s.stage = kFsUsage;
    else if (cmd == "bye" || cmd == "exit" || cmd == "quit") {
        if (s.quit)
            s.quit();
        return;
    } else
        answer(s, 2610);
    fserve_output(s);
}
