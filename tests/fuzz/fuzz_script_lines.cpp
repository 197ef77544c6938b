// Arbitrary script lines through the evaluator and the executor. The first
// byte chooses: even evaluates the rest as text ($identifiers, %variables),
// odd runs it as a command line with evaluation on. Commands that reach
// outside the process (files, programs, sockets, the link, exiting) are
// answered by a stand-in that does nothing, so a run can't touch the disk;
// a run is broken as Ctrl+Break would once it has used its budget of time.
#include <cstddef>
#include <cstdint>
#include <string>

#include <signal.h>
#include <sys/time.h>

#include "fuzz_support.h"
#include "platform/platform_utils.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/stores/binary_vars.h"
#include "script/stores/timers.h"
#include "script/stores/variables.h"

namespace {

int do_nothing(CommandCall&) { return 1; }

// A loop without end is the language's own; the user ends it with
// Ctrl+Break. Here the break arrives as the break signal would, once a run
// has used 200 ms of processor time: the interpreter sees it at its next
// break check (every command and jump; the evaluator every 26 steps).
constexpr long kBreakBudgetUs = 200000;
void break_now(int)
{
    key_break_note_signal();
}
void arm_break(long usec)
{
    itimerval budget{};
    budget.it_value.tv_sec = usec / 1000000;
    budget.it_value.tv_usec = usec % 1000000;
    setitimer(ITIMER_VIRTUAL, &budget, nullptr);
}

const char* const kOutside[] = {
    "exit", "quit", "run", "remove", "rename", "rmdir", "mkdir", "copy", "write", "writeini", "remini",
    "flushini", "save", "savebuf", "saveini", "load", "unload", "reload", "server", "connect", "dcc",
    "sockopen", "socklisten", "sockudp", "sockwrite", "dll", "dde", "ddeserver", "play", "splay", "sound",
    "filter", "loadbuf", "logview", "url", "fopen", "fwrite", "fclose", "fseek", "hsave", "hload", "bwrite",
    "bread", "alias", "var", "set", "exec", "newnick", "nick", "quote", "raw", "debug", "log", "logs",
    "timer", "timers", "signal", "sockaccept", "sockclose", "sockrename", "sockread", "sockmark",
    "clearall", "window", "query", "notify", "ignore", "auser", "guser", "ruser", "rlevel", "ulist",
    "dialog", "did", "drawsave", "drawpic", "linesep", "partall", "join", "part", "kick", "mode", "away",
    "scon", "scid", "disconnect", "background", "font", "color", "colour", "beep", "flash", "speak",
    "setlayer", "showkest", "tray", "titlebar", "toolbar", "menubar", "switchbar", "treebar", "ial",
    "ialclear", "ialfill", "ialmark", "hmake", "hfree", "hadd", "hdel", "hinc", "hdec", "vcmd", "vcadd",
    "vcrem", "writeopt", "options", "identd", "proxy", "firewall", "sreq", "creq", "fsend", "fserve",
    "pdcc", "ctcp", "ctcpreply", "msg", "notice", "describe", "me", "say", "amsg", "ame", "anick", "onotice",
    "omsg", "who", "whois", "whowas", "links", "list", "names", "ison", "userhost", "invite", "topic",
    "ban", "unban", "dns", "finger", "ident", "emailaddr", "fullname", "username", "tnick",
};

void install_stand_ins()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    for (const char* word : kOutside)
        script_register_command(word, do_nothing);
    struct sigaction action{};
    action.sa_handler = break_now;
    sigemptyset(&action.sa_mask);
    sigaction(SIGVTALRM, &action, nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::setup();
    install_stand_ins();
    if (size < 1)
        return 0;
    Connection* conn = fuzz::connection();
    key_break_signal_clear();
    arm_break(kBreakBudgetUs);
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (data[0] % 2 == 0) {
        std::string t = text;
        ident_eval_text(nullptr, &t, nullptr, nullptr, 0, 0, -1, nullptr, conn);
    } else {
        script_exec_line(nullptr, text.c_str(), nullptr, 1, nullptr, nullptr, conn);
    }
    // What a run made lives on only as long as the run: variables (set
    // with "%name = value" or /inc), binary variables, timers.
    arm_break(0);
    key_break_signal_clear();
    script_error_clear();
    timer_clear_all();
    var_unset_all(nullptr, 0);
    bvar_free_all();
    fuzz::close_extra_windows();
    return 0;
}
