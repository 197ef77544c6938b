#include "identifiers/script_identifiers.h"

#include <cstdlib>
#include <fstream>
#include <string>

#include "core/files.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/wildcard.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "identifiers/tokens.h"
#include "script/events/remote_files.h"
#include "script/exec/alias_lookup.h"
#include "script/exec/script_text.h"
#include "script/exec/script_errors.h"
#include "script/stores/alias_files.h"

namespace {

constexpr long kMaxIndex = 9998;

long index_of(const std::string& text)
{
    const long n = std::strtol(text.c_str(), nullptr, 10);
    return n > kMaxIndex ? kMaxIndex : n;
}

std::string first_word(std::string_view text)
{
    std::size_t a = 0;
    while (a < text.size() && (text[a] == ' ' || text[a] == '\t'))
        ++a;
    std::size_t b = a;
    while (b < text.size() && text[b] != ' ' && text[b] != '\t')
        ++b;
    return std::string(text.substr(a, b - a));
}

int id_alias(IdentCall& call)
{
    std::string out;
    std::string a = ident_arg(call, 0);
    if (a.empty())
        return ident_result(call, out);
    if (arg_is_integer(a)) {
        const long n = index_of(a);
        long seen = 0;
        for (AliasFile* f = alias_files_head; f; f = f->next)
            if (++seen == n && n >= 1) {
                out = f->path;
                return ident_result(call, out);
            }
        if (n <= 0)
            out = std::to_string(seen);
    } else {
        text_strip_quotes(a);
        if (AliasFile* f = alias_file_find(a))
            out = f->path;
    }
    return ident_result(call, out);
}

int id_isalias(IdentCall& call)
{
    std::string out;
    const std::string& name = ident_arg(call, 0);
    std::string found_name;
    StringNode* def = name.empty() ? nullptr : alias_find(name, &found_name, call.args ? call.args->script : nullptr);
    const std::string_view prop = ident_property(call);
    if (prop.empty()) {
        out = ident_truth(def != nullptr);
    } else if (def && text_equal_nocase(prop, "alias")) {
        // The definition without its name ("alias" and "-l" of script-file
        // lines go with it).
        std::string_view t = def->text;
        auto skip_word = [&t]() {
            std::size_t a = t.find_first_not_of(' ');
            a = a == std::string_view::npos ? t.size() : t.find(' ', a);
            t.remove_prefix(a == std::string_view::npos ? t.size() : a);
            const std::size_t b = t.find_first_not_of(' ');
            t.remove_prefix(b == std::string_view::npos ? t.size() : b);
        };
        if (text_equal_nocase(first_word(t), "alias")) {
            skip_word();
            if (text_equal_nocase(first_word(t), "-l"))
                skip_word();
        }
        skip_word();
        const std::size_t a = 0;
        out = std::string(t.substr(a));
    } else if (def && text_equal_nocase(prop, "fname")) {
        for (const AliasIndexEntry& e : alias_index_head(alias_index_head_of(found_name))) {
            if (e.definition != def || !e.owner)
                continue;
            if (e.number == kAliasEntryFile)
                out = static_cast<const AliasFile*>(e.owner)->path;
            else
                out = static_cast<const ScriptFile*>(e.owner)->path;
            break;
        }
    }
    return ident_result(call, out);
}

int id_script_of(IdentCall& call)
{
    std::string out;
    std::string a = ident_arg(call, 0);
    text_strip_quotes(a);
    if (a.empty())
        return ident_result(call, out);
    if (arg_is_integer(a)) {
        const long n = index_of(a);
        long seen = 0;
        for (ScriptFile* f = remote_list; f; f = f->next) {
            if (f->kind != kRemoteScript)
                continue;
            if (++seen == n && n >= 1) {
                out = f->path;
                return ident_result(call, out);
            }
        }
        if (n <= 0)
            out = std::to_string(seen);
    } else if (ScriptFile* f = remote_file_find(a, kRemoteScript)) {
        out = f->path;
    }
    return ident_result(call, out);
}

std::string folder_of(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// "script", "scriptdir...", "scriptline" and "script..." without "(".
int id_script(IdentCall& call)
{
    std::string_view word = call.token->text;
    const std::size_t at = text_find_nocase(word, "script");
    std::string_view rest = at == std::string_view::npos ? std::string_view() : word.substr(at + 6);
    const ScriptFile* file = call.args ? call.args->script : nullptr;
    if (file && !remote_script_file_is_live(file))
        file = nullptr;
    std::string& out = *call.value;
    if (rest.size() >= 4 && text_equal_nocase(rest.substr(0, 4), "line") && rest.size() == 4) {
        out = std::to_string(script_running_line_number(call));
    } else if (rest.size() >= 3 && text_equal_nocase(rest.substr(0, 3), "dir")) {
        out = folder_of(file ? file->path : main_ini_path);
        out += rest.substr(3);
    } else if (file) {
        out = file->path;
        out += rest;
    }
    return 2;
}

int id_group(IdentCall& call)
{
    std::string out;
    const std::string& a = ident_arg(call, 0);
    if (a.empty())
        return ident_result(call, out);
    const bool by_index = a[0] >= '0' && a[0] <= '9';
    const long n = by_index ? index_of(a) : 0;
    long seen = 0;
    const StringNode* found = nullptr;
    const ScriptFile* found_file = nullptr;
    for (ScriptFile* f = remote_list; f && !found; f = f->next) {
        if (f->kind != kRemoteScript)
            continue;
        for (StringNode* line = f->lines; line; line = line->next) {
            const int kind = static_cast<int>(line->extra[kLineClass]);
            if (kind != kLineGroupOn && kind != kLineGroupOff)
                continue;
            ++seen;
            if ((by_index && n >= 1 && seen == n) || (!by_index && text_equal_nocase(first_word(line->text), a))) {
                found = line;
                found_file = f;
                break;
            }
        }
    }
    if (!found) {
        if (by_index && n <= 0)
            out = std::to_string(seen);
        return ident_result(call, out);
    }
    const std::string_view prop = ident_property(call);
    const char* status = found->extra[kLineClass] == kLineGroupOn ? "on" : "off";
    if (text_equal_nocase(prop, "status"))
        out = status;
    else if (text_equal_nocase(prop, "name"))
        out = first_word(found->text);
    else if (text_equal_nocase(prop, "fname"))
        out = found_file->path;
    else if (prop.empty())
        out = a[0] == '#' ? std::string(status) : first_word(found->text);
    return ident_result(call, out);
}

int id_ini(IdentCall& call)
{
    std::string name = ident_arg(call, 0);
    text_strip_quotes(name);
    std::string path, out;
    if (name.empty() || !file_resolve_file_path(name, path))
        return ident_error(call.token, call.work, 6);
    const bool has_item = ident_arg_count(call) == 3;
    ini_position(path, ident_arg(call, 1), has_item, ident_arg(call, 2), out);
    return ident_result(call, out);
}

// $wavedir, $mididir and $mp3dir: the folder and whatever follows the word.
int id_sound_dir(IdentCall& call)
{
    std::string_view word = call.token->text;
    const std::size_t at = word.find_first_not_of('$');
    word.remove_prefix(at == std::string_view::npos ? word.size() : at);
    const std::string* folder = nullptr;
    std::size_t len = 0;
    if (word.size() >= 7 && text_equal_nocase(word.substr(0, 7), "wavedir")) {
        folder = &main_settings.waves_dir;
        len = 7;
    } else if (word.size() >= 7 && text_equal_nocase(word.substr(0, 7), "mididir")) {
        folder = &main_settings.midis_dir;
        len = 7;
    } else if (word.size() >= 6 && text_equal_nocase(word.substr(0, 6), "mp3dir")) {
        folder = &main_settings.mp3s_dir;
        len = 6;
    }
    if (folder) {
        *call.value = *folder;
        *call.value += word.substr(len);
    }
    return 2;
}

int id_dccignore(IdentCall& call)
{
    std::string out;
    const std::string& a = ident_arg(call, 0);
    const int mode = opt(OPT_DCC_FILTER_MODE);
    const StringNode* types = mode == 1 ? main_settings.dcc_accept_types
                              : mode == 2 ? main_settings.dcc_ignore_types
                                          : nullptr;
    if (a.empty())
        return ident_result(call, out);
    if (arg_is_integer(a)) {
        const long n = index_of(a);
        long seen = 0;
        for (const StringNode* t = types; t; t = t->next)
            if (++seen == n && n >= 1) {
                out = t->text;
                return ident_result(call, out);
            }
        if (n <= 0)
            out = std::to_string(seen);
        return ident_result(call, out);
    }
    std::string name = a;
    const std::size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    bool listed = false;
    for (const StringNode* t = types; t && !listed; t = t->next)
        listed = wild_match(t->text, name, 0, 1) != 0;
    out = ident_truth(mode == 1 ? listed : mode == 2 ? !listed : false);
    return ident_result(call, out);
}

} // namespace

int script_running_line_number(const IdentCall& call)
{
    const EvalArgs* a = call.args;
    if (!a || (!a->running_line && !a->running_first && !a->running_definition))
        return 0;
    int number = 0;
    std::string file;
    if (!script_line_place(a->running_line, a->running_first, a->running_definition, &number, &file))
        return 0;
    return number;
}

namespace {

// A section line: "[" first, and only blanks after its last "]".
bool section_line(std::string_view line, std::string* name)
{
    if (line.empty() || line[0] != '[')
        return false;
    const std::size_t close = line.rfind(']');
    if (close == std::string_view::npos || close == 0)
        return false;
    for (std::size_t i = close + 1; i < line.size(); ++i)
        if (line[i] != ' ' && line[i] != '\t')
            return false;
    if (name)
        *name = std::string(line.substr(1, close - 1));
    return true;
}

bool same_section(const std::string& in_file, const std::string& asked)
{
    if (text_equal_nocase(in_file, asked))
        return true;
    if (in_file.find('~') == std::string::npos && asked.find('~') == std::string::npos)
        return false;
    std::string a = in_file, b = asked;
    for (char& c : a)
        if (c == '~')
            c = ']';
    for (char& c : b)
        if (c == '~')
            c = ']';
    return text_equal_nocase(a, b);
}

} // namespace

void ini_position(const std::string& path, const std::string& section, bool has_item, const std::string& item,
                  std::string& out)
{
    out.clear();
    const bool section_index = arg_is_integer(section);
    long sn = section_index ? index_of(section) : 0;
    if (sn < 0)
        sn = 0;
    std::ifstream in(file_is_device(path) ? std::string() : path, std::ios::binary);
    if (!in) {
        if (section_index && sn == 0)
            out = "0";
        return;
    }
    const bool item_index = has_item && arg_is_integer(item);
    long in_ = item_index ? index_of(item) : 0;
    if (in_ < 0)
        in_ = 0;
    std::string line, name;
    long sections = 0, items = 0;
    bool inside = false;
    while (std::getline(in, line)) {
        if (line.size() > kLongText)
            line.resize(kLongText);
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        if (section_line(line, &name)) {
            if (inside)
                break;   // the section found ended
            ++sections;
            const bool match = section_index ? (sn >= 1 && sections == sn) : same_section(name, section);
            if (match) {
                if (!has_item) {
                    out = section_index ? name : std::to_string(sections);
                    return;
                }
                inside = true;
            }
            continue;
        }
        if (!inside)
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        ++items;
        if (item_index) {
            if (in_ >= 1 && items == in_) {
                out = line.substr(0, eq);
                return;
            }
        } else if (text_equal_nocase(std::string_view(line).substr(0, eq), item)) {
            out = std::to_string(items);
            return;
        }
    }
    if (!has_item) {
        out = section_index ? (sn == 0 ? std::to_string(sections) : std::string()) : "0";
        return;
    }
    if (!inside)
        return;   // no such section
    out = item_index ? (in_ == 0 ? std::to_string(items) : std::string()) : "0";
}

void script_identifiers_register()
{
    ident_register_family("id_alias", id_alias);
    ident_register_family("id_isalias", id_isalias);
    ident_register_family("id_script_of", id_script_of);
    ident_register_family("id_script", id_script);
    ident_register_family("id_group", id_group);
    ident_register_family("id_ini", id_ini);
    ident_register_family("id_dccignore", id_dccignore);
    // The sound folders; the devices of the same family wait for the media
    // part.
    for (const char* name : {"wavedir", "mididir", "mp3dir"})
        ident_register(name, id_sound_dir, 0, kIdentPrefix);
}
