// The send and get words of /dcc, /fsend, and the identifiers that read
// transfers: $send(, $get( and $dccport.
#include <algorithm>
#include <string>

#include "core/files.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "dcc/dcc_dialogs_trusted.h"
#include "dcc/dcc_chat.h"
#include "dcc/dcc_engine.h"
#include "irc/lists/ignore_list.h"
#include "script/events/event_fire.h"
#include "dcc/dcc_server.h"
#include "irc/dispatch/dispatcher.h"
#include "model/colors.h"
#include "model/connection.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"

namespace {

void info(CommandCall& call, const std::string& text)
{
    if (call.show)
        irc_status_echo(call.conn, static_cast<int>(kColorCtcpText), text);
}

// Options of /dcc send: "-c", "-l[N]", "-n", "-m[N]".
struct SendSwitches {
    int close = -1;
    int limit = -1;
    int minimise = -1;
};

bool read_switches(const std::string& word, SendSwitches& s)
{
    std::string seen;
    for (std::size_t i = 1; i < word.size(); ++i) {
        char c = word[i];
        if (seen.find(c) != std::string::npos)
            return false;
        seen += c;
        bool zero = i + 1 < word.size() && word[i + 1] == '0';
        switch (c) {
        case 'c':
            s.close = 1;
            break;
        case 'l':
            s.limit = zero ? 0 : 1;
            break;
        case 'n':
            s.limit = 0;
            break;
        case 'm':
            s.minimise = zero ? 0 : 1;
            break;
        default:
            return false;
        }
        if (zero)
            ++i;
    }
    return true;
}

int dcc_send_word(CommandCall& call)
{
    std::size_t i = 2;
    SendSwitches sw;
    if (!call.arg(i).empty() && call.arg(i)[0] == '-') {
        if (!read_switches(call.arg(i), sw))
            sw = SendSwitches{};
        ++i;
    }
    const std::string nick = call.arg(i);
    if (nick.empty() || i + 1 >= call.tokens.size())
        return script_error(call.window, "dcc", "", 0);
    if (!conn_is_connected(call.conn))
        return script_error(call.window, "dcc", "", 12);
    DccSendRequest r;
    r.conn = call.conn;
    r.window = call.window;
    r.nick = nick;
    r.close_when_done = sw.close >= 0 ? sw.close == 1 : opt(OPT_DCC_CLOSE_SEND_ON_END) != 0;
    r.speed_limited = sw.limit >= 0 ? sw.limit == 1 : call.origin != 0;
    r.minimised = sw.minimise >= 0 ? sw.minimise : 0;
    r.passive = opt(OPT_DCC_PASSIVE) != 0;
    std::vector<std::string> paths;
    if (call.arg(i + 1)[0] != '"') {
        std::string joined;
        arg_join_from(i + 1, joined, call.tokens);
        paths.push_back(joined);
    } else {
        for (std::size_t k = i + 1; k < call.tokens.size(); ++k) {
            std::string one;
            int last = arg_get_quoted(call.tokens, k, one, 1024, 0);
            if (last < 0)
                return script_error(call.window, "dcc", "", 3);
            paths.push_back(one);
            k = static_cast<std::size_t>(last);
        }
    }
    int started = 0;
    for (const std::string& p : paths) {
        std::string full;
        if (!file_resolve_file_path(p, full) || !file_exists(full, 1))
            return script_error(call.window, "dcc", "", 3);
        r.path = full;
        started = dccsend_start(r);
    }
    return started ? kScriptDone : kScriptFailed;
}

// /dcc trust [-r] [on|off|mask]: the switch, or a mask added (once, case
// ignored) or removed; the switch and the number of entries are shown.
int dcc_trust_word(CommandCall& call)
{
    std::size_t i = 2;
    const bool remove = text_equal_nocase(call.arg(i), "-r");
    if (remove)
        ++i;
    const std::string& what = call.arg(i);
    if (!remove && text_equal_nocase(what, "on")) {
        opt_set(OPT_DCC_TRUST, 1);
    } else if (!remove && text_equal_nocase(what, "off")) {
        opt_set(OPT_DCC_TRUST, 0);
    } else if (!what.empty()) {
        StringNode* found = nullptr;
        for (StringNode* n = dcc_trusted_list; n && !found; n = n->next)
            if (text_equal_nocase(n->text, what))
                found = n;
        if (remove && found)
            dcc_trusted_list = strlist_remove(dcc_trusted_list, found);
        else if (!remove && !found)
            dcc_trusted_list = strlist_append(dcc_trusted_list, std::string_view(what), 0);
    }
    info(call, text_fill_id(opt(OPT_DCC_TRUST) ? 774 : 775, {std::to_string(strlist_count(dcc_trusted_list))}));
    return kScriptDone;
}

// /dcc ignore [-uN] [on|off|accept|except|ignore|only]: the file-type
// filter's mode and the minutes after which "off" turns itself back on.
int dcc_ignore_word(CommandCall& call)
{
    std::size_t i = 2;
    const std::string& first = call.arg(i);
    if (first.size() >= 2 && first[0] == '-' && (first[1] == 'u' || first[1] == 'U')) {
        const long minutes = std::atol(first.c_str() + 2);
        if (minutes == 0) {
            opt_set(OPT_DCC_FILTER_TIMER, 0);
        } else {
            opt_set(OPT_DCC_FILTER_TIMER, 1);
            opt_set(OPT_DCC_FILTER_REENABLE_MINUTES, minutes < 1 || minutes > 360 ? 3 : static_cast<int>(minutes));
            opt_set(OPT_DCC_FILTER_COUNTDOWN, opt(OPT_DCC_FILTER_REENABLE_MINUTES) * 60);
        }
        ++i;
    }
    const std::string& what = call.arg(i);
    if (text_equal_nocase(what, "on")) {
        if (opt(OPT_DCC_FILTER_MODE) == 0) {
            const int before = opt(OPT_DCC_FILTER_REENABLE);
            dcc_ignore_set_mode(before == 1 || before == 2 ? before : 1);
        }
    } else if (text_equal_nocase(what, "off")) {
        dcc_ignore_set_mode(0);
    } else if (text_equal_nocase(what, "accept") || text_equal_nocase(what, "except")) {
        dcc_ignore_set_mode(1);
    } else if (text_equal_nocase(what, "ignore") || text_equal_nocase(what, "only")) {
        dcc_ignore_set_mode(2);
    }
    const int mode = opt(OPT_DCC_FILTER_MODE);
    if (mode == 0) {
        info(call, text_load_string(765));
        return kScriptDone;
    }
    std::string text = std::string(text_load_string(764)) + (mode == 1 ? " (accept)" : " (ignore)");
    if (opt(OPT_DCC_FILTER_TIMER))
        text += " (" + std::to_string(opt(OPT_DCC_FILTER_REENABLE_MINUTES)) + ")";
    info(call, text);
    return kScriptDone;
}

// /dcc get folder and /dcc reject, inside the ctcp event of a file offer:
// the folder the file is received into, or the offer refused. Elsewhere
// they do nothing.
int dcc_offer_word(CommandCall& call, bool get)
{
    const EventFireContext* ctx = event_current_context();
    const EventSource* source = ctx ? ctx->source : nullptr;
    if (!source || !source->offer_file)
        return kScriptDone;
    if (!get) {
        if (source->offer_rejected)
            *source->offer_rejected = 1;
        return kScriptDone;
    }
    std::string given;
    arg_join_from(2, given, call.tokens);
    if (given.size() >= 2 && given.front() == '"' && given.back() == '"')
        given = given.substr(1, given.size() - 2);
    std::string folder;
    if (given.empty() || !file_resolve_path(given, folder) || !file_exists(folder, 2))
        return script_error(call.window, "dcc", "", 3);
    file_add_trailing_slash(folder);
    std::string& target = *source->offer_file;
    target = folder + target.substr(target.rfind('/') + 1);
    return kScriptDone;
}

}  // namespace

int cmd_dcc(CommandCall& call)
{
    const std::string& word = call.arg(1);
    if (word.empty())
        return script_error(call.window, "dcc", "", 0);
    if (text_equal_nocase(word, "send"))
        return dcc_send_word(call);
    if (text_equal_nocase(word, "passive")) {
        const std::string& v = call.arg(2);
        if (text_equal_nocase(v, "on"))
            opt_set(OPT_DCC_PASSIVE, 1);
        else if (text_equal_nocase(v, "off"))
            opt_set(OPT_DCC_PASSIVE, 0);
        info(call, text_load_string(opt(OPT_DCC_PASSIVE) ? 782 : 783));
        return kScriptDone;
    }
    if (text_equal_nocase(word, "packetsize")) {
        if (!call.arg(2).empty())
            opt_set(OPT_DCC_PACKET_SIZE, dccsend_block_size(std::atoi(call.arg(2).c_str())));
        info(call, text_fill_id(729, {std::to_string(opt(OPT_DCC_PACKET_SIZE))}));
        return kScriptDone;
    }
    if (text_equal_nocase(word, "maxcps")) {
        if (!call.arg(2).empty()) {
            long v = std::atol(call.arg(2).c_str());
            opt_set(OPT_DCC_MAX_SEND_RATE, v <= 0 ? 0 : static_cast<int>(std::clamp(v, 512L, 2147483647L)));
        }
        info(call, text_fill_id(760, {std::to_string(opt(OPT_DCC_MAX_SEND_RATE))}));
        return kScriptDone;
    }
    if (text_equal_nocase(word, "nick")) {
        std::size_t i = 2;
        std::string kinds = "sgcf";
        if (!call.arg(i).empty() && call.arg(i)[0] == '-')
            kinds = call.arg(i++).substr(1);
        const std::string oldnick = call.arg(i), newnick = call.arg(i + 1);
        if (oldnick.empty() || newnick.empty())
            return script_error(call.window, "dcc", "", 0);
        dcc_each_transfer([&](DccTransfer* t) {
            const char letter = t->kind == kDccSend ? 's' : 'g';
            if (kinds.find(letter) == std::string::npos || !text_equal_nocase(t->nick, oldnick))
                return;
            t->nick = newnick.substr(0, kShortText);
            t->window->name = (t->kind == kDccSend ? "Send " : "Get ") + t->nick + " " + t->file;
            dcc_transfer_progress.fire(t);
        });
        return kScriptDone;
    }
    if (text_equal_nocase(word, "trust"))
        return dcc_trust_word(call);
    if (text_equal_nocase(word, "ignore"))
        return dcc_ignore_word(call);
    if (text_equal_nocase(word, "get") || text_equal_nocase(word, "reject"))
        return dcc_offer_word(call, text_equal_nocase(word, "get"));
    if (text_equal_nocase(word, "chat") || text_equal_nocase(word, "fserve"))
        return dcc_chat_word(call);
    if (text_equal_nocase(word, "server"))
        return dcc_server_word(call);
    return script_error(call.window, "dcc", "", 3);
}

int cmd_fsend(CommandCall& call)
{
    const std::string& v = call.arg(1);
    if (text_equal_nocase(v, "on"))
        opt_set(OPT_DCC_FAST_SEND, 1);
    else if (text_equal_nocase(v, "off"))
        opt_set(OPT_DCC_FAST_SEND, 0);
    if (call.show)
        irc_status_echo(call.conn, static_cast<int>(kColorInfoText),
                        text_load_string(opt(OPT_DCC_FAST_SEND) ? 808 : 809));
    return kScriptDone;
}

namespace {

long index_of(const std::string& text)
{
    return std::strtol(text.c_str(), nullptr, 10);
}

std::string transfer_property(DccTransfer* t, std::string_view prop)
{
    const bool get = t->kind == kDccGet;
    if (prop.empty())
        return t->nick;
    if (prop == "file")
        return t->file;
    if (prop == "path")
        return t->folder;
    if (prop == "size")
        return std::to_string(dcc_transfer_size(t));
    if (prop == "ip")
        return t->address;
    if ((get && prop == "rcvd") || (!get && prop == "sent"))
        return std::to_string(t->position);
    if (prop == "cps") {
        const auto& a = t->speed.front();
        const auto& b = t->speed.back();
        if (b.tick_ms > a.tick_ms && a.tick_ms > 0)
            return std::to_string((b.bytes - a.bytes) * 1000 / (b.tick_ms - a.tick_ms));
        return std::to_string(t->average_speed);
    }
    if (prop == "pc")
        return std::to_string(static_cast<long long>(t->percent));
    if (prop == "done")
        return ident_truth(t->done);
    if (prop == "status") {
        if (t->done)
            return get ? "received" : "sent";
        if (t->failed)
            return "failed";
        if (t->state == kDccClosed)
            return "inactive";
        if (t->state == (get ? kDccReceiving : kDccSending))
            return "active";
        return "waiting";
    }
    if (prop == "secs") {
        std::int64_t end = t->ended ? t->last_time : t->start_time + t->seconds;
        return std::to_string(std::max<std::int64_t>(1, end - t->start_time));
    }
    if (prop == "resume")
        return std::to_string(t->resume);
    if (!get && prop == "lra")
        return std::to_string(t->acked);
    if (prop == "wid")
        return std::to_string(t->window ? t->window->number : 0);
    if (prop == "cid")
        return std::to_string(conn_is_live(t->conn) ? t->conn->id : 0);
    if (prop == "idle")
        return std::to_string(t->idle);
    return std::string();
}

// $send( and $get(: N or nick; or nick, N (0 counts).
int id_transfer(IdentCall& call)
{
    const int r = ident_args_range(call, 1, 2);
    if (r >= 0)
        return r;
    const int kind = ident_word(call).substr(0, 3) == "get" ? kDccGet : kDccSend;
    std::string nick;
    long n = 0;
    if (ident_arg_count(call) == 2) {
        nick = ident_arg(call, 0);
        n = index_of(ident_arg(call, 1));
    } else if (arg_is_integer(ident_arg(call, 0))) {
        n = index_of(ident_arg(call, 0));
    } else {
        nick = ident_arg(call, 0);
        n = 1;
    }
    std::string out;
    if (n < 0)
        return ident_result(call, out);
    long count = 0;
    DccTransfer* found = nullptr;
    dcc_each_transfer([&](DccTransfer* t) {
        if (t->kind != kind || (!nick.empty() && !text_equal_nocase(t->nick, nick)))
            return;
        if (++count == n && !found)
            found = t;
    });
    if (n == 0)
        out = std::to_string(count);
    else if (found)
        out = transfer_property(found, ident_property(call));
    return ident_result(call, out);
}

// $trust(N): the N-th entry of the trusted list; 0 (or nothing) counts them;
// a negative N gives nothing.
int id_trust(IdentCall& call)
{
    const long n = index_of(ident_arg(call, 0));
    std::string out;
    if (n == 0) {
        out = std::to_string(strlist_count(dcc_trusted_list));
    } else if (n > 0) {
        long i = 0;
        for (const StringNode* e = dcc_trusted_list; e; e = e->next)
            if (++i == n) {
                out = e->text;
                break;
            }
    }
    return ident_result(call, out);
}

int id_dccport(IdentCall& call)
{
    *call.value = std::to_string(opt(OPT_DCC_FIRST_PORT));
    return 2;
}

}  // namespace

void dcc_commands_register()
{
    script_register_command_family("cmd_dcc", cmd_dcc);
    script_register_command_family("cmd_fsend", cmd_fsend);
    script_register_command_family("cmd_bindip", cmd_bindip);
    ident_register_family("id_send", id_transfer);
    ident_register_family("id_get", id_transfer);
    ident_register_family("id_trust", id_trust);
    ident_register("dccport", id_dccport);
}
