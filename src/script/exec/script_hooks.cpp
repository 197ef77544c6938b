#include "script/exec/script_hooks.h"

#include "platform/platform_utils.h"

#include <deque>
#include <vector>

#include "core/text_buffer.h"

namespace {

std::vector<ScriptOutputLine> output_lines;
constexpr std::size_t kMaxOutputLines = 10000;

void default_echo_line(QWidget* window, const std::string& text, int colour)
{
    if (output_lines.size() >= kMaxOutputLines)
        output_lines.erase(output_lines.begin(), output_lines.begin() + kMaxOutputLines / 2);
    output_lines.push_back({window, text, colour});
}

} // namespace

void (*script_echo_line)(QWidget*, const std::string&, int) = default_echo_line;
int (*script_send_text)(QWidget*, const std::string&, int, Connection*) = nullptr;
int (*script_event_ident_value)(EventContext*, std::string_view, std::string*) = nullptr;
int (*script_setting_value)(std::string_view, Connection*, QWidget*, std::string*) = nullptr;
char script_command_char = '/';
int script_ident_warnings = 0;
std::string script_program_title = "Kest";

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
