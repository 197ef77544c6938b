#include "commands/file_commands.h"
#include "options/locks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <string>
#include <vector>

#include "app/startup.h"
#include "model/window_record.h"
#include "platform/platform_utils.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"
#include "script/stores/store_files.h"

namespace {

std::string switches_of(const CommandCall& call)
{
    const std::string& t = call.arg(1);
    return !t.empty() && t[0] == '-' ? t : std::string();
}

bool is_dir(const std::string& p)
{
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string name_part(const std::string& p)
{
    const std::size_t s = p.rfind('/');
    return s == std::string::npos ? p : p.substr(s + 1);
}

std::string folder_part(const std::string& p)
{
    const std::size_t s = p.rfind('/');
    return s == std::string::npos ? std::string() : p.substr(0, s + 1);
}

void print(const CommandCall& call, const std::string& text)
{
    if (call.show)
        store_echo(call.window, text);
}

}  // namespace

// /copy [-oa] source destination
int cmd_copy(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    const std::string sw = switches_of(call);
    const std::size_t i = sw.empty() ? 1 : 2;
    std::string source, target_raw;
    std::size_t last = i;
    const int f = store_file_arg(call.tokens, i, source, &last);
    if (f == 0)
        return script_error(nullptr, word, "", 0);
    if (f < 0)
        return script_error(nullptr, word, "", 3);
    const int end = arg_get_quoted(call.tokens, last + 1, target_raw, kMediumText, 0);
    if (end < 0 || target_raw.empty())
        return script_error(nullptr, word, "", 0);
    if (target_raw.find_first_of("*?") != std::string::npos)
        return script_error(nullptr, word, "", 3);
    std::string target;
    if (!file_resolve_path(target_raw, target))
        return script_error(nullptr, word, "", 3);
    if (is_dir(source))
        source += "/*.*";
    const std::string folder = folder_part(source);
    const std::string pattern = name_part(source);
    std::vector<std::string> files;
    if (pattern.find_first_of("*?") != std::string::npos) {
        std::vector<std::string> names;
        file_list_dir(folder.empty() ? settings_dir : folder, names);
        for (const std::string& n : names)
            if ((pattern == "*.*" || wild_match(pattern, n, 0, 1)) && !is_dir(folder + n))
                files.push_back(folder + n);
    } else {
        files.push_back(source);
    }
    const bool into_folder = is_dir(target);
    const int flags = sw.find('a') != std::string::npos ? 4 : sw.find('o') != std::string::npos ? 2 : 1;
    int copied = 0;
    if (files.empty())
        return script_error(nullptr, text_fill_id(721, {source, target}), "", 6);
    for (const std::string& from : files) {
        std::string to = into_folder ? target + (target.back() == '/' ? "" : "/") + name_part(from) : target;
        const int r = file_copy(from, to, flags);
        if (r == 1)
            return script_error(nullptr, word, from, 4);
        if (r == 2)
            return script_error(nullptr, text_fill_id(719, {to}), "", 6);
        if (r == 3)
            return script_error(nullptr, word, to, 4);
        if (r != 0)
            return script_error(nullptr, text_fill_id(721, {from, to}), "", 6);
        ++copied;
        print(call, text_fill_id(720, {from, to}));
    }
    if (copied && call.show)
        store_echo(call.window, "-");
    return kScriptDone;
}

// /remove [-b] file
int cmd_remove(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    const std::string sw = switches_of(call);
    const std::size_t i = sw.empty() ? 1 : 2;
    std::string path;
    const int f = store_file_arg(call.tokens, i, path, nullptr);
    if (f == 0)
        return script_error(nullptr, word, "", 0);
    if (f < 0 || !file_resolve_file_path(path, path))
        return script_error(nullptr, word, "", 3);
    if (!file_exists(path, 1)) {
        if (call.show && script_echo_line)
            script_echo_line(call.window, text_fill_id(916, {path}), kColourInfo);
        return kScriptDone;
    }
    file_delete(path, sw.find('b') != std::string::npos ? 1 : 0);
    if (file_exists(path, 1))
        return script_error(nullptr, text_fill_id(915, {path}), "", 6);
    print(call, text_fill_id(914, {path}));
    return kScriptDone;
}

// /rename source destination
int cmd_rename(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    std::string source, target;
    std::size_t last = 1;
    const int f = store_file_arg(call.tokens, 1, source, &last);
    if (f == 0)
        return script_error(nullptr, word, "", 0);
    if (f < 0 || source.find_first_of("*?") != std::string::npos)
        return script_error(nullptr, word, "", 3);
    const int g = store_file_arg(call.tokens, last + 1, target, nullptr);
    if (g == 0)
        return script_error(nullptr, word, "", 0);
    if (g < 0 || target.find_first_of("*?") != std::string::npos)
        return script_error(nullptr, word, "", 3);
    if (!file_exists(source, 3))
        return script_error(nullptr, word, source, 1);
    if (is_dir(target))
        target += (target.back() == '/' ? "" : "/") + name_part(source);
    if (file_move(source, target, 1) != 0)
        return script_error(nullptr, text_fill_id(918, {source, target}), "", 6);
    print(call, text_fill_id(917, {source, target}));
    return kScriptDone;
}

// /mkdir folder and /rmdir folder
int cmd_mkdir(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    std::string raw;
    if (call.arg(1).empty())
        return script_error(nullptr, word, "", 0);
    if (arg_get_quoted(call.tokens, 1, raw, kMediumText, 0) < 0)
        return script_error(nullptr, word, "", 3);
    file_strip_trailing_slash(raw);
    std::string path;
    if (raw.empty() || !file_resolve_path(raw, path))
        return script_error(nullptr, word, "", 3);
    if (word == "mkdir") {
        if (!file_make_dir(path))
            return script_error(nullptr, text_fill_id(840, {path}), "", 6);
        return kScriptDone;
    }
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) && file_same_path(cwd, path)) {
        const std::string parent = folder_part(path);
        if (!parent.empty() && ::chdir(parent.c_str()) != 0) {
        }
    }
    ::rmdir(path.c_str());
    if (file_exists(path, 2))
        return script_error(nullptr, text_fill_id(841, {path}), "", 6);
    return kScriptDone;
}

// /run [-nhp] program [parameters]
int cmd_run(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    if (lock_options.flags & kLockRun)
        return script_error(nullptr, word, "", 11);
    const std::string sw = switches_of(call);
    std::size_t i = sw.empty() ? 1 : 2;
    if (call.arg(i).empty())
        return script_error(nullptr, word, "", 0);
    std::string program;
    if (call.arg(i)[0] == '"') {
        const int end = arg_get_quoted(call.tokens, i, program, kMediumText, 0);
        if (end < 0)
            return script_error(nullptr, word, "", 3);
        i = static_cast<std::size_t>(end) + 1;
    } else {
        // A name with blanks in it: the longest run of words that names an
        // existing file is the program; otherwise the first word.
        std::size_t take = 1;
        std::string joined;
        for (std::size_t k = i; k < call.tokens.size(); ++k) {
            if (k > i && call.tokens[k].find(':') != std::string::npos)
                break;
            joined += (k > i ? " " : "") + call.tokens[k];
            // A single word without a folder is left to the search path.
            if (k == i && joined.find('/') == std::string::npos)
                continue;
            std::string full = joined;
            file_abs_settings_dir(full);
            if (file_exists(full, 1))
                take = k - i + 1;
        }
        for (std::size_t k = 0; k < take; ++k)
            program += (k ? " " : "") + call.tokens[i + k];
        i += take;
    }
    // A relative program name with a folder part or a blank is taken from
    // the settings folder; a bare word is looked up on the search path.
    if (program[0] != '/' && program.find_first_of("/ ") != std::string::npos)
        file_abs_settings_dir(program);
    QStringList args;
    for (; i < call.tokens.size(); ++i)
        if (!call.tokens[i].empty())
            args << QString::fromStdString(call.tokens[i]);
    const std::string folder = sw.find('p') != std::string::npos && program.find('/') != std::string::npos
                                   ? folder_part(program)
                                   : settings_dir;
    // An argument list, never a shell: the words reach the program as they are.
    if (!QProcess::startDetached(QString::fromStdString(program), args, QString::fromStdString(folder)))
        return script_error(nullptr, word, program, 4);
    return kScriptDone;
}

// /clipboard [-an] text
int cmd_clipboard(CommandCall& call)
{
    const std::string sw = switches_of(call);
    const std::size_t i = sw.empty() ? 1 : 2;
    std::string text;
    arg_join_from(i, text, call.tokens);
    if (sw.find('n') != std::string::npos)
        text += "\r\n";
    clip_set_text(win_record_of(call.window), text, sw.find('a') != std::string::npos ? 1 : 0);
    return kScriptDone;
}

// /help [keyword] and /winhelp file [keyword]
int cmd_help(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    std::string keyword;
    if (word == "help") {
        // Without a keyword the default help file opens at its first page.
        arg_join_from(1, keyword, call.tokens);
        help_open(std::string(), keyword, keyword.empty() ? 510 : 0);
        return kScriptDone;
    }
    std::string path;
    std::size_t last = 1;
    const int f = store_file_arg(call.tokens, 1, path, &last);
    if (f == 0)
        return script_error(nullptr, word, "", 0);
    if (f < 0 || file_is_device(path))
        return script_error(nullptr, word, "", 3);
    arg_join_from(last + 1, keyword, call.tokens);
    help_open(path, keyword, keyword.empty() ? -1 : 0);
    return kScriptDone;
}

// /exit [-nr]
int cmd_exit(CommandCall& call)
{
    const std::string sw = switches_of(call);
    int flags = 0;
    if (sw.find('n') != std::string::npos)
        flags |= 1;
    if (sw.find('r') != std::string::npos)
        flags |= 2;
    // The close request runs from the event loop, after the command that
    // asked for it has finished.
    QTimer::singleShot(0, [flags] { frame_close(flags); });
    return kScriptDone;
}

void file_commands_register()
{
    script_register_command_family("cmd_copy", cmd_copy);
    script_register_command_family("cmd_remove", cmd_remove);
    script_register_command_family("cmd_rename", cmd_rename);
    script_register_command_family("cmd_mkdir", cmd_mkdir);
    script_register_command_family("cmd_run", cmd_run);
    script_register_command_family("cmd_clipboard", cmd_clipboard);
    script_register_command_family("cmd_exit", cmd_exit);
    script_register_command_family("cmd_help", cmd_help);
}
