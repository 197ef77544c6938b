// Files and settings transfer: the copier.
#include "tools/files_transfer.h"

#include "app/command_line.h"
#include "core/files.h"
#include "core/ini.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace {

// The program's own files, never moved out of the root.
const char* const kProgramFiles[] = {"kest.exe", "uninstall.exe", "ircguide.chm", "ircguide.hlp",
                                     "kest.chm", "kest.hlp", "readme.txt", "versions.txt"};

bool is_folder(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_file(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool program_file(const std::string& name)
{
    for (const char* f : kProgramFiles)
        if (name == f)
            return true;
    return name == "defaults";
}

std::string state_read(const std::string& state, const char* key)
{
    std::string v;
    ini_read("update", key, "", v, 1024, state);
    return v;
}

// Moves one file: rename, else copy and delete.
bool move_file(const std::string& from, const std::string& to)
{
    if (::rename(from.c_str(), to.c_str()) == 0)
        return true;
    return file_copy(from, to, 2) == 0 && std::remove(from.c_str()) == 0;
}

}  // namespace

void files_transfer_move(const std::string& folder_in, bool root, const std::string& target_in, int& error,
                         const std::string& backup)
{
    std::string folder = folder_in, target = target_in;
    file_add_trailing_slash(folder);
    file_add_trailing_slash(target);
    std::vector<std::string> names;
    if (!file_list_dir(folder, names)) {
        error = 1;
        return;
    }
    std::vector<std::string> folders;
    for (const std::string& name : names) {
        if (error)
            return;
        if (name.empty() || name[0] == '.' || (root && program_file(name)))
            continue;
        const std::string from = folder + name;
        if (is_folder(from)) {
            folders.push_back(name);
            continue;
        }
        if (!is_file(from))
            continue;  // links and devices stay where they are
        const std::string to = target + name;
        if (!backup.empty() && is_file(to)) {
            std::string kept = backup;
            file_add_trailing_slash(kept);
            if (!file_make_dir(kept) || !move_file(to, kept + name)) {
                error = 1;
                return;
            }
        }
        if (!move_file(from, to))
            error = 1;
    }
    for (const std::string& name : folders) {
        if (error)
            return;
        const std::string sub_target = target + name + "/";
        if (!file_make_dir(sub_target)) {
            error = 1;
            return;
        }
        files_transfer_move(folder + name, false, sub_target, error, backup.empty() ? backup : backup + name + "/");
        if (!error && ::rmdir((folder + name).c_str()) != 0)
            error = 1;
    }
}

int files_transfer_copy(const std::string& state_path)
{
    const std::string store = state_read(state_path, "store");
    const std::string data = state_read(state_path, "data");
    const int save = state_read(state_path, "save") == "1";
    auto finish = [&](bool ok) {
        ini_write("update", "state", ok ? "finished" : "failed", state_path);
        return ok ? 1 : 0;
    };
    if (store.empty() || data.empty() || !is_folder(store))
        return finish(false);
    if (!ini_write("update", "state", "updating", state_path))
        return finish(false);
    std::string target = data;
    file_add_trailing_slash(target);
    if (!file_make_dir(target))
        return finish(false);
    std::string backup;
    if (save) {
        backup = target + (is_folder(target + "backup") || !is_folder(target + "backups") ? "backup/" : "backups/");
        if (!file_make_dir(backup))
            return finish(false);
        backup += "vista/";
        if (!file_make_dir(backup))
            return finish(false);
    }
    int error = 0;
    files_transfer_move(store, true, target, error, backup);
    if (error)
        return finish(false);
    ::rmdir(store.c_str());  // left when the program's own files stayed in it
    return finish(true);
}

int files_transfer_check(const std::string&)
{
    if (cmdline_args.empty() || cmdline_args[0].rfind("update", 0) != 0)
        return 1;
    std::string state = cmdline_args[0].substr(6);
    if (state.empty() && cmdline_args.size() > 1)
        state = cmdline_args[1];
    if (state.empty())
        return 1;
    files_transfer_copy(state);
    return 0;
}
