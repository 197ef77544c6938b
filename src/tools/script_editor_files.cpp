// The script editor's files: views, text in and out, rebuilds.
#include "tools/script_editor_files.h"

#include "core/string_list.h"
#include "irc/lists/user_lists.h"
#include "script/events/event_index.h"
#include "script/events/remote_files.h"
#include "script/popups.h"
#include "script/stores/alias_files.h"
#include "script/stores/variables.h"

#include <algorithm>

namespace {

extern const char* const kPopupKindNames[5];

AliasFile* alias_of(const EditorFile& f)
{
    auto* a = static_cast<AliasFile*>(f.record);
    return a && alias_file_is_loaded(a) ? a : nullptr;
}

PopupFile* popup_of(const EditorFile& f)
{
    auto* p = static_cast<PopupFile*>(f.record);
    return p && popup_file_is_loaded(p) ? p : nullptr;
}

ScriptFile* remote_of(const EditorFile& f)
{
    auto* s = static_cast<ScriptFile*>(f.record);
    return s && remote_file_is_loaded(s) ? s : nullptr;
}

VarFile* var_of(const EditorFile& f)
{
    return f.record && f.record == var_file ? var_file : nullptr;
}

int remote_kind_of_view(int view)
{
    return view == kEditorScripts ? kRemoteScript : view == kEditorUsers ? kRemoteUsers : kRemoteVariables;
}

// Builds a list from the texts, each numbered by its place.
StringNode* build_lines(const std::vector<std::string>& lines)
{
    StringNode* head = nullptr;
    int number = 0;
    for (const std::string& l : lines) {
        StringNode* grown = strlist_append(head, std::string_view(l), ++number);
        if (!grown)
            break;
        head = grown;
    }
    return head;
}

std::string file_part(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::vector<EditorFile> editor_view_files(int view)
{
    std::vector<EditorFile> out;
    switch (view) {
    case kEditorAliases:
        for (AliasFile* a = alias_files_head; a; a = a->next)
            out.push_back({view, a, 0});
        break;
    case kEditorPopups:
        for (int kind = 0; kind < 5; ++kind)
            out.push_back({view, popup_file_of_kind(kind), kind});
        break;
    case kEditorVariables:
        if (var_file)
            out.push_back({view, var_file, 0});
        break;
    default:
        for (ScriptFile* s = remote_list; s; s = s->next)
            if (s->kind == remote_kind_of_view(view))
                out.push_back({view, s, 0});
        break;
    }
    return out;
}

EditorFile editor_view_current(int view)
{
    const std::vector<EditorFile> files = editor_view_files(view);
    switch (view) {
    case kEditorAliases:
        for (const EditorFile& f : files)
            if (static_cast<AliasFile*>(f.record)->current)
                return f;
        break;
    case kEditorPopups: {
        for (const EditorFile& f : files)
            if (f.record && static_cast<PopupFile*>(f.record)->current)
                return f;
        break;
    }
    case kEditorScripts:
        for (const EditorFile& f : files)
            if (static_cast<ScriptFile*>(f.record)->selected)
                return f;
        break;
    default:
        break;
    }
    if (!files.empty())
        return files.front();
    return {view, nullptr, 0};
}

void editor_set_current(const EditorFile& file)
{
    switch (file.view) {
    case kEditorAliases:
        for (AliasFile* a = alias_files_head; a; a = a->next)
            a->current = a == file.record;
        break;
    case kEditorPopups:
        for (PopupFile* p = popup_files_head; p; p = p->next)
            p->current = p == file.record;
        break;
    case kEditorScripts:
        for (ScriptFile* s = remote_list; s; s = s->next)
            if (s->kind == kRemoteScript)
                s->selected = s == file.record;
        break;
    default:
        break;
    }
}

int editor_file_is_live(const EditorFile& file)
{
    switch (file.view) {
    case kEditorAliases: return alias_of(file) ? 1 : 0;
    case kEditorPopups: return popup_of(file) ? 1 : 0;
    case kEditorVariables: return var_of(file) ? 1 : 0;
    default: return remote_of(file) ? 1 : 0;
    }
}

std::string editor_file_path(const EditorFile& file)
{
    switch (file.view) {
    case kEditorAliases: return alias_of(file) ? alias_of(file)->path : std::string();
    case kEditorPopups: return popup_of(file) ? popup_of(file)->path : std::string();
    case kEditorVariables: return var_of(file) ? var_of(file)->path : std::string();
    default: return remote_of(file) ? remote_of(file)->path : std::string();
    }
}

StringNode* editor_file_lines(const EditorFile& file)
{
    switch (file.view) {
    case kEditorAliases: return alias_of(file) ? alias_of(file)->lines : nullptr;
    case kEditorPopups: return popup_of(file) ? popup_of(file)->lines : nullptr;
    case kEditorVariables: return var_of(file) ? var_of(file)->lines : nullptr;
    default: return remote_of(file) ? remote_of(file)->lines : nullptr;
    }
}

std::string editor_file_title(const EditorFile& file)
{
    if (file.view == kEditorPopups)
        return kPopupKindNames[std::clamp(file.popup_kind, 0, 4)];
    return file_part(editor_file_path(file));
}

EditorText editor_text_of_lines(const StringNode* lines, std::size_t limit)
{
    EditorText out;
    bool full = false;
    for (const StringNode* n = lines; n; n = n->next) {
        ++out.lines_total;
        if (full)
            continue;
        std::string line = n->text.substr(0, kEditorLineMax);
        line.erase(std::remove_if(line.begin(), line.end(),
                                  [](char c) { return c == '\r' || c == '\n' || c == '\f'; }),
                   line.end());
        const std::size_t need = line.size() + (out.lines_loaded ? 1 : 0);
        if (out.text.size() + need > limit) {
            full = true;
            continue;
        }
        if (out.lines_loaded)
            out.text += '\n';
        out.text += line;
        ++out.lines_loaded;
    }
    return out;
}

std::vector<std::string> editor_lines_of_text(std::string_view text, bool popup_view)
{
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", i);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(i, end - i);
        do {
            std::string piece(line.substr(0, kEditorLineMax));
            line.remove_prefix(piece.size());
            if (popup_view && piece.find_first_not_of(' ') == std::string::npos)
                piece.clear();
            out.push_back(std::move(piece));
        } while (!line.empty());
        if (end >= text.size())
            break;
        i = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    while (!out.empty() && out.back().empty())
        out.pop_back();
    return out;
}

int editor_store_lines(const EditorFile& file, const std::vector<std::string>& lines)
{
    switch (file.view) {
    case kEditorAliases: {
        AliasFile* a = alias_of(file);
        if (!a)
            return 0;
        strlist_free(&a->lines);
        a->lines = build_lines(lines);
        a->modified = 1;
        alias_file_scan(a);
        alias_index_rebuild();
        return 1;
    }
    case kEditorPopups: {
        PopupFile* p = popup_of(file);
        if (!p)
            return 0;
        strlist_free(&p->lines);
        p->lines = build_lines(lines);
        p->modified = 1;
        popup_file_rescan(p);
        return 1;
    }
    case kEditorVariables: {
        VarFile* v = var_of(file);
        if (!v)
            return 0;
        strlist_free(&v->lines);
        v->lines = build_lines(lines);
        v->modified = 1;
        var_file_scan(v);
        var_index_rebuild();
        return 1;
    }
    default: {
        ScriptFile* s = remote_of(file);
        if (!s)
            return 0;
        remote_index_clear(1);
        strlist_free(&s->lines);
        s->lines = build_lines(lines);
        s->modified = 1;
        if (s->kind == kRemoteScript) {
            script_classify(s->lines, s);
        } else {
            script_reindent(s->lines, s, 2);
            for (StringNode* n = s->lines; n; n = n->next)
                n->extra[kLineScript] = reinterpret_cast<std::intptr_t>(s);
        }
        remote_index_events();
        alias_index_rebuild();
        if (s->kind == kRemoteUsers)
            userlist_recolor();
        return 1;
    }
    }
}

int editor_save_file(const EditorFile& file)
{
    switch (file.view) {
    case kEditorAliases: return alias_of(file) ? alias_file_save(nullptr, alias_of(file)) : 0;
    case kEditorPopups: return popup_of(file) ? popup_file_save(nullptr, file.popup_kind) : 0;
    case kEditorVariables: return var_of(file) ? var_file_save(nullptr) : 0;
    default: return remote_of(file) ? remote_file_save(nullptr, remote_of(file)) : 0;
    }
}

void editor_save_all()
{
    for (int view = 0; view < kEditorViews; ++view)
        for (const EditorFile& f : editor_view_files(view))
            if (editor_file_is_live(f)) {
                const bool changed =
                    view == kEditorAliases     ? alias_of(f)->modified
                    : view == kEditorPopups    ? popup_of(f)->modified
                    : view == kEditorVariables ? var_of(f)->modified
                                               : remote_of(f)->modified;
                if (changed)
                    editor_save_file(f);
            }
    alias_files_save_list(0);
    popup_files_save_list(0);
    remote_files_save_list(2);
}

void editor_reload_changed()
{
    for (AliasFile* a = alias_files_head; a; a = a->next)
        if (a->modified)
            a->reload_pending = 1;
    alias_files_reload_pending();
    for (PopupFile* p = popup_files_head; p; p = p->next)
        if (p->modified)
            p->reload_pending = 1;
    popup_files_reload_pending();
    for (ScriptFile* s = remote_list; s; s = s->next)
        if (s->modified)
            s->reload = 1;
    remote_files_reload_changed();
    if (var_file && var_file->modified)
        var_file_load(var_file->path);
}

namespace {

// The popup kinds' names in the editor.
const char* const kPopupKindNames[5] = {"Durum", "Kanal", "Özel", "Kişi Listesi", "Menü Çubuğu"};

}  // namespace
