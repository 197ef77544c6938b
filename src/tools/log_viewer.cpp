#include "tools/log_viewer.h"

#include "core/files.h"
#include "core/ini.h"
#include "core/list_sort.h"
#include "core/string_list.h"
#include "core/wildcard.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

int g_order = 0;

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A plain file name: no folder part, not "." or "..", not empty.
bool plain_name(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\") == std::string::npos && name.find('\0') == std::string::npos;
}

long long mtime_of(const fs::path& p)
{
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0)
        return 0;
    return static_cast<long long>(st.st_mtime);
}

// Searches one file's content in 16,384-byte blocks overlapping by 50.
// Returns 1 on a match, 0 none, -1 stopped.
int content_matches(const fs::path& path, const std::string& search, long long& done,
                    long long total, int& last_pct, const std::function<int(int)>& progress)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return 0;
    constexpr std::size_t kBlock = 16384;
    constexpr std::size_t kOverlap = 50;
    std::string carry;
    std::string buf(kBlock, '\0');
    while (in) {
        in.read(buf.data(), static_cast<std::streamsize>(kBlock));
        const std::size_t got = static_cast<std::size_t>(in.gcount());
        if (got == 0)
            break;
        done += static_cast<long long>(got);
        std::string block = carry + lower(buf.substr(0, got));
        if (logview_text_matches(search, block))
            return 1;
        carry = block.size() > kOverlap ? block.substr(block.size() - kOverlap) : block;
        if (progress && total > 0) {
            const int pct = static_cast<int>(std::min<long long>(100, done * 100 / total));
            if (pct != last_pct) {
                last_pct = pct;
                if (!progress(pct))
                    return -1;
            }
        }
    }
    return 0;
}

} // namespace

int logview_order()
{
    return g_order;
}

void logview_set_order(int order)
{
    g_order = (order < 0 || order > 7) ? 0 : order;
}

std::vector<std::string> logview_fill_folders(const std::string& log_dir)
{
    std::vector<std::string> out{""};
    std::error_code ec;
    std::vector<std::string> subs;
    for (fs::directory_iterator it(log_dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code e2;
        if (it->is_directory(e2) && !it->is_symlink(e2))
            subs.push_back(it->path().filename().string());
    }
    std::sort(subs.begin(), subs.end(),
              [](const std::string& a, const std::string& b) { return lower(a) < lower(b); });
    out.insert(out.end(), subs.begin(), subs.end());
    return out;
}

std::string logview_folder_path(const std::string& log_dir, const std::string& sub)
{
    std::string base = log_dir;
    if (!base.empty() && base.back() != '/')
        base += '/';
    if (sub.empty() || !plain_name(sub))
        return base;
    return base + sub + "/";
}

int logview_text_matches(const std::string& search, const std::string& text)
{
    if (search.empty())
        return 1;
    const std::string s = lower(search);
    if (s.find_first_of("*?") != std::string::npos)
        return wild_match(s, lower(text), 0, 1) ? 1 : 0;
    return lower(text).find(s) != std::string::npos ? 1 : 0;
}

std::vector<LogViewEntry> logview_refresh(const std::string& folder, const std::string& search,
                                          int names_only, const std::function<int(int)>& progress)
{
    std::vector<LogViewEntry> all;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code e2;
        if (!it->is_regular_file(e2))
            continue;
        const std::string name = it->path().filename().string();
        if (name.size() < 4 || lower(name.substr(name.size() - 4)) != ".log")
            continue;
        LogViewEntry e;
        e.name = name;
        e.size = static_cast<long long>(it->file_size(e2));
        e.modified = mtime_of(it->path());
        all.push_back(std::move(e));
    }

    std::vector<LogViewEntry> found;
    if (search.empty()) {
        found = all;
    } else {
        const std::string s = lower(search);
        long long total = 0, done = 0;
        for (const auto& e : all)
            total += e.size;
        int last_pct = -1;
        for (const auto& e : all) {
            if (logview_text_matches(s, e.name)) {
                found.push_back(e);
                done += e.size;
                continue;
            }
            if (names_only)
                continue;
            const int r = content_matches(fs::path(folder) / e.name, s, done, total, last_pct, progress);
            if (r < 0)
                break;
            if (r > 0)
                found.push_back(e);
        }
    }

    // Sorted through the list sort's log-name order.
    StringNode* head = nullptr;
    for (std::size_t i = 0; i < found.size(); ++i) {
        StringNode* h = strlist_append(head, found[i].name, static_cast<int>(std::min<long long>(found[i].modified, INT_MAX)));
        if (!h)
            break;
        head = h;
        StringNode* last = head->prev ? head->prev : head;
        last->wrapMode = static_cast<int>(std::min<long long>(found[i].size, INT_MAX));
        last->extra[0] = static_cast<std::intptr_t>(i);
    }
    head = strlist_sort(head, 5);
    std::vector<LogViewEntry> sorted;
    for (StringNode* n = head; n; n = n->next)
        sorted.push_back(found[static_cast<std::size_t>(n->extra[0])]);
    strlist_free(&head);
    return sorted;
}

void logview_filter_history_add(std::vector<std::string>& history, const std::string& text)
{
    if (text.empty())
        return;
    const std::string l = lower(text);
    history.erase(std::remove_if(history.begin(), history.end(),
                                 [&](const std::string& h) { return lower(h) == l; }),
                  history.end());
    history.insert(history.begin(), text);
    if (history.size() > 10)
        history.resize(10);
}

void logview_filter_history_save(const std::vector<std::string>& history, const std::string& ini)
{
    std::vector<std::pair<std::string, std::string>> keys;
    for (std::size_t i = 0; i < history.size() && i < 10; ++i)
        keys.emplace_back("n" + std::to_string(i), history[i]);
    ini_write_section("logmatch", keys, ini);
}

std::vector<std::string> logview_filter_history_load(const std::string& ini)
{
    std::vector<std::string> out;
    for (int i = 0; i < 10; ++i) {
        std::string v;
        const std::string key = "n" + std::to_string(i);
        ini_read("logmatch", key.c_str(), "", v, 1024, ini);
        if (v.empty())
            break;
        out.push_back(v);
    }
    return out;
}

int logview_merge(const std::string& folder, const std::vector<std::string>& sources, std::string target,
                  int delete_merged)
{
    if (sources.empty() || !plain_name(target))
        return 0;
    for (const auto& s : sources)
        if (!plain_name(s))
            return 0;
    if (fs::path(target).extension().empty())
        target += ".log";
    const fs::path dir(folder);
    std::vector<std::pair<long long, std::string>> ordered;
    for (const auto& s : sources)
        ordered.emplace_back(mtime_of(dir / s), s);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    bool target_is_source = false;
    for (const auto& s : sources)
        if (s == target)
            target_is_source = true;

    const fs::path final_path = dir / target;
    const fs::path out_path = target_is_source ? dir / (target + ".merge.tmp") : final_path;
    {
        std::ofstream out(out_path, std::ios::binary | (target_is_source ? std::ios::trunc : std::ios::app));
        if (!out)
            return 0;
        char buf[512];
        for (const auto& [t, s] : ordered) {
            std::ifstream in(dir / s, std::ios::binary);
            if (!in) {
                out.close();
                if (target_is_source)
                    fs::remove(out_path);
                return 0;
            }
            while (in) {
                in.read(buf, sizeof buf);
                out.write(buf, in.gcount());
            }
            if (!out) {
                out.close();
                if (target_is_source)
                    fs::remove(out_path);
                return 0;
            }
        }
    }
    if (target_is_source && file_move(out_path.string(), final_path.string(), 1 | 2) != 0) {
        std::error_code ec;
        fs::remove(out_path, ec);
        return 0;
    }
    if (delete_merged)
        for (const auto& s : sources)
            if (s != target)
                file_delete((dir / s).string(), 1);
    return 1;
}

int logview_rename(const std::string& folder, const std::string& from, const std::string& to)
{
    if (!plain_name(from) || !plain_name(to) || from == to)
        return 0;
    const fs::path dir(folder);
    std::error_code ec;
    if (!fs::is_regular_file(dir / from, ec) || fs::exists(dir / to, ec))
        return 0;
    return file_move((dir / from).string(), (dir / to).string(), 1) == 0 ? 1 : 0;
}

int logview_delete(const std::string& folder, const std::vector<std::string>& names)
{
    int n = 0;
    for (const auto& name : names)
        if (plain_name(name) && file_delete((fs::path(folder) / name).string(), 1))
            ++n;
    return n;
}
