// The file and disk identifiers: $findfile and $finddir, $file and $lof,
// $exists, $isfile and $isdir, $disk, $nofile and $nopath, $longfn and
// $shortfn, $mkfn, $mklogfn and $mknickfn, and the program's folders
// $kestdir, $kestexe, $kestini and $logdir; the file dialogs of $sfile,
// $msfile and $sdir; the receive folder of $getdir.
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "app/file_dialogs.h"
#include "core/files.h"
#include "core/file_type_rules.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "identifiers/store_identifiers.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_text.h"
#include "irc/numerics/isupport.h"

namespace {

constexpr int kInvalid = 6;

std::string unquote(const std::string& s)
{
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        return s.substr(1, s.size() - 2);
    return s;
}

bool resolve(const std::string& arg, std::string& path)
{
    return file_resolve_path(unquote(arg), path) != 0;
}

std::string program_folder()
{
    std::string p = file_program_path();
    const std::size_t s = p.rfind('/');
    return s == std::string::npos ? std::string("./") : p.substr(0, s + 1);
}

// The text written after the identifier's word ($kestdirscripts/a.txt).
std::string suffix_after(const IdentCall& call, std::string_view word)
{
    std::string_view t = call.token ? std::string_view(call.token->text) : std::string_view();
    if (!t.empty() && t[0] == '$')
        t.remove_prefix(1);
    return t.size() > word.size() ? std::string(t.substr(word.size())) : std::string();
}

struct FindState {
    bool dirs = false;
    long long wanted = 0;     // N >= 1 stops there; else every match counts
    long long count = 0;
    std::string found;
    std::string action;       // a command run for each match
    IdentCall* call = nullptr;
    std::set<std::string> seen;
    bool halted = false;
};

void walk(FindState& st, const std::string& folder, const std::string& pattern, int depth)
{
    if (depth <= 0 || st.halted || (st.wanted >= 1 && st.count >= st.wanted))
        return;
    std::vector<std::string> names;
    if (!file_list_dir(folder, names))
        return;
    std::vector<std::string> subfolders;
    const bool dotted = pattern.find('.') != std::string::npos;
    for (const std::string& n : names) {
        const std::string full = folder + n;
        struct stat sb {};
        if (::stat(full.c_str(), &sb) != 0)
            continue;
        const bool is_dir = S_ISDIR(sb.st_mode);
        if (is_dir)
            subfolders.push_back(full + "/");
        if (is_dir != st.dirs)
            continue;
        const std::string tested = dotted && n.find('.') == std::string::npos ? n + "." : n;
        if (!wild_match(pattern, tested, 0, 1))
            continue;
        if (!st.seen.insert(full).second)
            continue;
        ++st.count;
        if (!st.action.empty() && (st.wanted < 1 || st.count >= st.wanted)) {
            const int r = script_exec_line(st.call->window(), st.action.c_str(), full.c_str(), 1, nullptr,
                                           st.call->args ? st.call->args->script : nullptr, st.call->conn());
            if (r == kScriptFailed || r == kScriptHalted) {
                st.halted = true;
                return;
            }
        }
        if (st.wanted >= 1 && st.count == st.wanted) {
            st.found = full;
            return;
        }
    }
    for (const std::string& sub : subfolders) {
        walk(st, sub, pattern, depth - 1);
        if (st.halted || (st.wanted >= 1 && st.count >= st.wanted))
            return;
    }
}

std::string attr_letters(const std::string& path, const struct stat& sb)
{
    std::string out;
    const std::string name = path.substr(path.find_last_of('/') + 1);
    if (S_ISREG(sb.st_mode))
        out += 'a';
    if (!S_ISREG(sb.st_mode) && !S_ISDIR(sb.st_mode))
        out += 'v';
    if (S_ISDIR(sb.st_mode))
        out += 'd';
    if (!name.empty() && name[0] == '.')
        out += 'h';
    if (!(sb.st_mode & S_IWUSR))
        out += 'r';
    return out;
}

}  // namespace

// $findfile and $finddir (dir, wildcard, N [, depth] [, command])
int id_findfile(IdentCall& call)
{
    int r = ident_args_step(call, kIdentAnyArgs);
    if (r >= 0)
        return r;
    std::string& out = *call.value;
    out.clear();
    const int argc = ident_arg_count(call);
    if (argc < 3 || argc > 5)
        return ident_error(call.token, call.work, kInvalid);
    std::string folder;
    if (!resolve(ident_arg(call, 0), folder))
        return ident_error(call.token, call.work, kInvalid);
    file_add_trailing_slash(folder);
    FindState st;
    st.dirs = call.name.rfind("finddir", 0) == 0;
    st.wanted = std::strtoll(ident_arg(call, 2).c_str(), nullptr, 10);
    st.call = &call;
    int depth = 999;
    for (int k = 3; k < argc; ++k) {
        const std::string& a = ident_arg(call, k);
        if (arg_is_integer(a))
            depth = static_cast<int>(std::strtol(a.c_str(), nullptr, 10));
        else if (!a.empty() && a[0] != '@')   // custom-window list boxes are not filled here
            st.action = a;
    }
    const std::string& patterns = ident_arg(call, 1);
    std::size_t p = 0;
    while (p <= patterns.size() && !st.halted) {
        std::size_t e = patterns.find(';', p);
        if (e == std::string::npos)
            e = patterns.size();
        std::string pat = patterns.substr(p, e - p);
        while (!pat.empty() && pat.front() == ' ')
            pat.erase(pat.begin());
        while (!pat.empty() && pat.back() == ' ')
            pat.pop_back();
        if (!pat.empty())
            walk(st, folder, pat, depth);
        if (st.wanted >= 1 && st.count >= st.wanted)
            break;
        p = e + 1;
    }
    if (st.halted)
        return 0;
    if (st.wanted < 1)
        out = std::to_string(st.count);
    else
        out = st.found;
    if (call.args && call.args->findfilen)
        *call.args->findfilen = static_cast<int>(st.count);
    return ident_finish(call);
}

// $file(path) with .size .atime .mtime .ctime .shortfn .longfn .attr; $lof(path)
int id_file(IdentCall& call)
{
    int r = ident_args_step(call, 1);
    if (r >= 0)
        return r;
    std::string& out = *call.value;
    out.clear();
    std::string path;
    if (!resolve(ident_arg(call, 0), path))
        return ident_error(call.token, call.work, kInvalid);
    struct stat sb {};
    if (::stat(path.c_str(), &sb) != 0)
        return ident_finish(call);
    const std::string prop = call.name.rfind("lof", 0) == 0 ? std::string() : text_lower_copy(ident_property(call));
    if (prop.empty() || prop == "size")
        out = std::to_string(static_cast<long long>(sb.st_size));
    else if (prop == "atime")
        out = std::to_string(static_cast<long long>(sb.st_atime));
    else if (prop == "mtime")
        out = std::to_string(static_cast<long long>(sb.st_mtime));
    else if (prop == "ctime")
        out = std::to_string(static_cast<long long>(sb.st_ctime));
    else if (prop == "shortfn" || prop == "longfn") {
        out = path;
        file_long_path(out);
    } else if (prop == "attr")
        out = attr_letters(path, sb);
    return ident_finish(call);
}

// $exists, $isfile and $isdir (path)
int id_isfile(IdentCall& call)
{
    int r = ident_args_step(call, 1);
    if (r >= 0)
        return r;
    std::string path = unquote(ident_arg(call, 0));
    file_fix_slashes(path);
    if (!path.empty() && path[0] != '/')
        path = program_folder() + path;
    int kinds = 3;
    if (call.name.rfind("isfile", 0) == 0)
        kinds = 1;
    else if (call.name.rfind("isdir", 0) == 0) {
        kinds = 2;
        file_strip_trailing_slash(path);
    }
    *call.value = !path.empty() && file_exists(path, kinds) ? "$true" : "$false";
    return ident_finish(call);
}

// $disk(N|path) with .free .size .type .path .label .unc
int id_disk(IdentCall& call)
{
    int r = ident_args_step(call, 1);
    if (r >= 0)
        return r;
    std::string& out = *call.value;
    const std::string& arg = ident_arg(call, 0);
    std::string root;
    if (arg_is_integer(arg)) {
        if (std::strtoll(arg.c_str(), nullptr, 10) == 0) {
            out = "1";
            return ident_finish(call);
        }
        root = "/";
    } else if (!resolve(arg, root)) {
        return ident_error(call.token, call.work, kInvalid);
    }
    while (!root.empty() && !file_exists(root, 2)) {
        const std::size_t s = root.find_last_of('/', root.size() > 1 ? root.size() - 2 : 0);
        root = s == std::string::npos ? std::string("/") : root.substr(0, s + 1);
        if (root == "/")
            break;
    }
    file_add_trailing_slash(root);
    struct statvfs vfs {};
    const bool ready = ::statvfs(root.c_str(), &vfs) == 0;
    const std::string prop = text_lower_copy(ident_property(call));
    out.clear();
    if (!ready) {
        out = prop.empty() ? "$false" : "";
        return ident_finish(call);
    }
    if (prop.empty())
        out = "$true";
    else if (prop == "free")
        out = std::to_string(static_cast<unsigned long long>(vfs.f_bavail) * vfs.f_frsize);
    else if (prop == "size")
        out = std::to_string(static_cast<unsigned long long>(vfs.f_blocks) * vfs.f_frsize);
    else if (prop == "type")
        out = "fixed";
    else if (prop == "path")
        out = root;
    return ident_finish(call);
}

// $nofile(path): the folder part; $nopath(path): the name part.
int id_nofile(IdentCall& call)
{
    int r = ident_args_step(call, 1);
    if (r >= 0)
        return r;
    std::string path = unquote(ident_arg(call, 0));
    file_fix_slashes(path);
    const std::size_t s = path.rfind('/');
    const bool folder = call.name.rfind("nofile", 0) == 0;
    if (folder)
        *call.value = s == std::string::npos ? std::string() : path.substr(0, s + 1);
    else
        *call.value = s == std::string::npos ? path : path.substr(s + 1);
    return ident_finish(call);
}

// $longfn(path) and $shortfn(path)
int id_longfn(IdentCall& call)
{
    int r = ident_args_step(call, 1);
    if (r >= 0)
        return r;
    std::string path;
    if (!resolve(ident_arg(call, 0), path))
        return ident_error(call.token, call.work, kInvalid);
    file_long_path(path);
    *call.value = path;
    return ident_finish(call);
}

// $mkfn, $mklogfn and $mknickfn (text)
int id_mkfn(IdentCall& call)
{
    int r = ident_args_step(call, 1);
    if (r >= 0)
        return r;
    std::string name = ident_arg(call, 0);
    file_sanitize_name(name, isupport_is_chantype(name.c_str(), call.conn()) != 0);
    if (call.name.rfind("mklogfn", 0) == 0 && !name.empty())
        name += ".log";
    if (!file_avoid_device_name(name))
        name.clear();
    *call.value = name;
    return ident_finish(call);
}

// $kestdir, $kestexe, $kestini and $logdir, with any text written after
// the word appended.
int id_kestdir(IdentCall& call)
{
    std::string& out = *call.value;
    std::string word;
    if (call.name.rfind("kestexe", 0) == 0) {
        word = "kestexe";
        out = file_program_path();
    } else if (call.name.rfind("kestini", 0) == 0) {
        word = "kestini";
        out = main_ini_path;
    } else if (call.name.rfind("logdir", 0) == 0) {
        word = "logdir";
        out = main_settings.log_dir.empty() ? settings_dir + "logs/" : main_settings.log_dir;
    } else {
        word = "kestdir";
        out = program_folder();
    }
    out += suffix_after(call, word);
    return 2;
}

namespace {

// The files of the last multiple selection of $msfile.
std::vector<std::string> multi_selection;

}  // namespace

// $sfile(dir [, title [, button]]), $sdir(...), $msfile(...) and $msfile(N)
int id_msfile(IdentCall& call)
{
    int r = ident_args_step(call, kIdentAnyArgs);
    if (r >= 0)
        return r;
    std::string out;
    const int argc = ident_arg_count(call);
    if (argc < 1 || argc > 3)
        return ident_result(call, kInvalid, out);
    const bool multi = call.name.rfind("msfile", 0) == 0;
    const bool folder = call.name.rfind("sdir", 0) == 0;
    if (multi && argc == 1 && arg_is_integer(ident_arg(call, 0))) {
        const long long n = std::strtoll(ident_arg(call, 0).c_str(), nullptr, 10);
        if (n >= 1 && static_cast<std::size_t>(n) <= multi_selection.size())
            out = multi_selection[static_cast<std::size_t>(n - 1)];
        return ident_result(call, out);
    }
    std::string start;
    if (!resolve(ident_arg(call, 0), start))
        return ident_result(call, kInvalid, out);
    if (folder && start.back() != '/')
        start += '/';
    const std::string title = argc >= 2 && !ident_arg(call, 1).empty() ? ident_arg(call, 1)
                              : text_load_string(folder ? 5102 : 5101);
    const std::string button = argc >= 3 ? ident_arg(call, 2) : std::string();
    std::vector<std::string> chosen;
    const int kind = multi ? kFileDialogFiles : folder ? kFileDialogFolder : kFileDialogFile;
    const int got = file_dialog_run(call.window(), kind, start, title, button, chosen);
    if (multi) {
        if (got == 1)
            multi_selection = chosen;
        out = got == 1 ? std::to_string(chosen.size()) : got == 0 ? "0" : "-1";
    } else if (got == 1) {
        out = chosen.front();
    }
    return ident_result(call, out);
}

// $getdir and $getdir(file): the folder the file-type rules give for a
// received file of that name (bare: the default folder).
int id_getdir(IdentCall& call)
{
    std::string out;
    if (call.name.back() != '(') {
        dcc_folder_for_file(std::string(), out, 0, nullptr);
        *call.value = out;
        return 2;
    }
    int r = ident_args_step(call, 1);
    if (r >= 0)
        return r;
    std::string name = unquote(ident_arg(call, 0));
    file_fix_slashes(name);
    const std::size_t slash = name.rfind('/');
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    dcc_folder_for_file(name, out, 0, nullptr);
    return ident_result(call, out);
}
