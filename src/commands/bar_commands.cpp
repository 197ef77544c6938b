// /switchbar and /treebar: show or hide the two window switchers, or tell
// whether they are shown.
#include "commands/bar_commands.h"

#include <string>

#include "app/window_ops.h"
#include "bars/switchbar.h"
#include "bars/treebar.h"
#include "commands/output_commands.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_types.h"

namespace {

void echo_state(CommandCall& call, int text_id)
{
    if (call.show && output_print)
        output_print(call.window, colour_item_value(kItemInfo2Text), script_text(text_id), EchoPrintOptions{},
                     kOutputEcho);
}

// "on" and "off" toggle the bar through the frame's menu command when its
// state differs; another word does nothing.
int bar_command(CommandCall& call, OptionId shown, int toggle_command, void (*follow)(), int on_text,
                int off_text)
{
    if (call.argc() >= 1) {
        const std::string& word = call.arg(1);
        int want;
        if (text_equal_nocase(word, "on"))
            want = 1;
        else if (text_equal_nocase(word, "off"))
            want = 0;
        else
            return 1;
        if ((opt(shown) != 0) != (want != 0)) {
            win_op_frame_command(toggle_command);
            follow();
        }
        echo_state(call, want ? on_text : off_text);
        ini_save_options();
        return 1;
    }
    echo_state(call, opt(shown) ? on_text : off_text);
    return 1;
}

}  // namespace

int cmd_switchbar(CommandCall& call)
{
    return bar_command(call, OPT_SWITCHBAR_SHOWN, 112, [] { switchbar_repaint(); }, 872, 873);
}

int cmd_treebar(CommandCall& call)
{
    return bar_command(call, OPT_TREEBAR_SHOWN, 210, [] { treebar_refresh(nullptr, 0); }, 874, 875);
}

void bar_commands_install()
{
    script_register_command_family("cmd_switchbar", cmd_switchbar);
    script_register_command_family("cmd_treebar", cmd_treebar);
}
