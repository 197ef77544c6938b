#include "script/exec/script_hooks.h"

#include "platform/platform_utils.h"

#include <deque>
#include <vector>

#include "core/text_buffer.h"

namespace {

std::vector<ScriptOutputLine> output_lines;
constexpr std::size_t kMaxOutputLines = 10000;
std::string last_warning;

void default_echo_line(QWidget* window, const std::string& text, int colour)
{
    if (output_lines.size() >= kMaxOutputLines)
        output_lines.erase(output_lines.begin(), output_lines.begin() + kMaxOutputLines / 2);
    output_lines.push_back({window, text, colour});
}

int default_send_text(QWidget*, Connection*, const std::string&, int)
{
    return 0;
}

int default_key_break()
{
    return key_break_pressed();
}

int default_event_ident(EventContext*, std::string_view, std::string*)
{
    return 0;
}

int default_file_is_live(const ScriptFile*)
{
    return 1;
}

ScriptFile* default_file_of_line(const StringNode*)
{
    return nullptr;
}

void default_warning_box(const std::string&, const std::string& text)
{
    last_warning = text;
}

int default_var_find(std::string_view, std::string* value, StringNode**)
{
    if (value)
        value->clear();
    return 0;
}

// The name operands: every argument of /unset, the first argument of /set,
// /inc and /dec after their switches.
int default_var_keep_name(std::string_view word, int position, std::string_view)
{
    if (text_equal_nocase(word, "unset"))
        return 1;
    if (text_equal_nocase(word, "set") || text_equal_nocase(word, "inc") || text_equal_nocase(word, "dec"))
        return position == 1 ? 1 : 0;
    return 0;
}

int scope_counter = -9;

int default_next_scope()
{
    --scope_counter;
    if (scope_counter < -9999 || scope_counter > -9)
        scope_counter = -9;
    return scope_counter;
}

void default_scope_end(QWidget*, int) {}

} // namespace

int (*script_var_find)(std::string_view, std::string*, StringNode**) = default_var_find;
int (*script_var_keep_name)(std::string_view, int, std::string_view) = default_var_keep_name;
int (*script_var_next_scope)() = default_next_scope;
void (*script_var_scope_end)(QWidget*, int) = default_scope_end;

void (*script_echo_line)(QWidget*, const std::string&, int) = default_echo_line;
int (*script_send_text)(QWidget*, Connection*, const std::string&, int) = default_send_text;
int (*script_key_break_pressed)() = default_key_break;
int (*script_event_ident_value)(EventContext*, std::string_view, std::string*) = default_event_ident;
int (*script_file_is_live)(const ScriptFile*) = default_file_is_live;
ScriptFile* (*script_file_of_line)(const StringNode*) = default_file_of_line;
int (*script_line_locate)(const StringNode*, const StringNode*, const StringNode*, int*,
                          std::string*) = nullptr;
int (*script_setting_value)(std::string_view, Connection*, QWidget*, std::string*) = nullptr;
char script_command_char = '/';
int script_ident_warnings = 0;
std::string script_program_title = "Kest";
void (*script_warning_box)(const std::string&, const std::string&) = default_warning_box;

const std::vector<ScriptOutputLine>& script_output_lines()
{
    return output_lines;
}

void script_output_clear()
{
    output_lines.clear();
}

void script_beep_error(int always)
{
    beep_error(always ? 1 : 0);
}
