#include "script/eval/identifier_table.h"

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/connection.h"
#include "app/frame_proc.h"
#include "app/window_record.h"
#include "core/hash_table.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/time_date.h"
#include "display/editbox.h"
#include "irc/link/connect.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/query_replies.h"
#include "script/eval/evaluate.h"
#include "script/events/event_fire.h"
#include "identifiers/event_identifiers.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_text.h"

namespace {

enum IdentValue : int {
    kVal_true,
    kVal_false,
    kVal_yes,
    kVal_no,
    kVal_ok,
    kVal_cancel,
    kVal_timeout,
    kVal_inmode,
    kVal_null,
    kVal_beta,
    kVal_cr,
    kVal_lf,
    kVal_crlf,
    kVal_bits,
    kVal_pi,
    kVal_ctime,
    kVal_gmt,
    kVal_timezone,
    kVal_daylight,
    kVal_time,
    kVal_online,
    kVal_anick,
    kVal_fullname,
    kVal_email,
    kVal_emailaddr,
    kVal_host,
    kVal_ip,
    kVal_port,
    kVal_debug,
    kVal_me,
    kVal_mnick,
    kVal_chanmodes,
    kVal_chantypes,
    kVal_prefix,
    kVal_nickmode,
    kVal_modespl,
    kVal_network,
    kVal_server,
    kVal_usermode,
    kVal_cid,
    kVal_wid,
    kVal_idle,
    kVal_away,
    kVal_awaymsg,
    kVal_awaytime,
    kVal_status,
    kVal_ial,
    kVal_serverip,
    kVal_ssl,
    kVal_sslready,
    kVal_appactive,
    kVal_appstate,
    kVal_aop,
    kVal_auto,
    kVal_avoice,
    kVal_protect,
    kVal_ignore,
    kVal_dccignore,
    kVal_highlight,
    kVal_tips,
    kVal_ebeeps,
    kVal_portable,
    kVal_passivedcc,
    kVal_ctrlenter,
    kVal_inpaste,
    kVal_locked,
    kVal_compact,
    kVal_menubar,
    kVal_switchbar,
    kVal_toolbar,
    kVal_treebar,
    kVal_creq,
    kVal_sreq,
    kVal_dccport,
    kVal_dlevel,
    kVal_remote,
    kVal_ddename,
    kVal_titlebar,
    kVal_version,
    kVal_cmdline,
    kVal_comerr,
    kVal_error,
    kVal_menu,
    kVal_menutype,
    kVal_menucontext,
    kVal_dbuw,
    kVal_dbuh,
    kVal_cmdbox,
    kVal_isid,
    kVal_show,
    kVal_result,
    kVal_v1,
    kVal_ifmatch,
    kVal_v2,
    kVal_ifmatch2,
    kVal_prop,
    kVal_filtered,
    kVal_findfilen,
    kVal_finddirn,
    kVal_readn,
    kVal_rawmsg,
    kVal_stripped,
    kVal_pnick,
};

IdentEntry ident_entries[] = {
#include "script/eval/identifier_table.inc"
};
constexpr int kEntryCount = static_cast<int>(sizeof ident_entries / sizeof ident_entries[0]);

HashTable name_table;     // whole names and "name(" forms
std::vector<IdentEntry*> prefix_entries;
bool table_ready = false;

void ensure_table()
{
    if (table_ready)
        return;
    table_ready = true;
    hash_init(&name_table, 1021);
    for (IdentEntry& e : ident_entries) {
        if (e.flags & kIdentPrefix) {
            prefix_entries.push_back(&e);
            // A prefix name also matches itself whole.
        }
        if (std::string_view(e.family) == "id_value")
            e.handler = id_value;
        if (!hash_find(e.name, nullptr, &name_table))
            hash_set(e.name, &e, 0, &name_table);
    }
}

// Extra names registered by families that the vocabulary does not list.
std::vector<IdentEntry*> extra_entries;

const char* truth(bool b)
{
    return b ? "$true" : "$false";
}

// A DCC request setting: 0 ask, 1 accept, 2 ignore; any other stored value
// goes back to asking.
const char* request_setting(OptionId id)
{
    switch (opt(id)) {
    case 1: return "auto";
    case 2: return "ignore";
    case 0: return "ask";
    default:
        opt_set(id, 0);
        return "ask";
    }
}

} // namespace

const IdentEntry* ident_lookup(std::string_view name)
{
    ensure_table();
    if (name.empty())
        return nullptr;
    std::size_t paren = name.find('(');
    if (paren != std::string_view::npos) {
        auto* e = static_cast<IdentEntry*>(hash_find(name.substr(0, paren + 1), nullptr, &name_table));
        if (e)
            return e;
    } else {
        auto* e = static_cast<IdentEntry*>(hash_find(name, nullptr, &name_table));
        if (e && !(e->name[0] && std::string_view(e->name).back() == '('))
            return e;
    }
    for (IdentEntry* e : prefix_entries)
        if (text_starts_with_nocase(name, e->name))
            return e;
    return nullptr;
}

int ident_table_size()
{
    return kEntryCount;
}

const IdentEntry* ident_table_entry(int index)
{
    ensure_table();
    return index >= 0 && index < kEntryCount ? &ident_entries[index] : nullptr;
}

int ident_register(std::string_view name, IdentHandler handler, int variant, int flags)
{
    ensure_table();
    auto* e = static_cast<IdentEntry*>(hash_find(name, nullptr, &name_table));
    if (e) {
        e->handler = handler;
        e->variant = variant;
        return 1;
    }
    // A name the vocabulary does not hold.
    std::string* keep = new std::string(name);
    auto* ne = new IdentEntry{keep->c_str(), "", variant, flags, handler};
    extra_entries.push_back(ne);
    hash_set(*keep, ne, 0, &name_table);
    if (flags & kIdentPrefix)
        prefix_entries.push_back(ne);
    return 1;
}

int ident_register_family(std::string_view family, IdentHandler handler)
{
    ensure_table();
    int count = 0;
    for (IdentEntry& e : ident_entries)
        if (family == e.family) {
            e.handler = handler;
            ++count;
        }
    return count;
}

// ---------------------------------------------------------------------------
// Arguments of identifier calls.

int ident_split_args(IdentCall& call, int expected)
{
    TokenList& list = *call.list;
    EvalToken* id = call.token;
    std::string& text = id->text;
    std::size_t paren = text.find('(');
    if (paren == std::string::npos)
        return ident_error(id, call.work, 0);
    // Join the text after "(" with the following tokens up to the balancing
    // ")". The buffers are kept between calls (nothing in here evaluates, so
    // no call can come in between).
    static std::string joined;
    static std::vector<std::string_view> args;
    static std::vector<std::size_t> commas;   // the commas outside inner parentheses
    joined.assign(text, paren + 1);
    commas.clear();
    int level = 1;
    std::size_t close = std::string::npos;
    EvalToken* last_used = id;
    auto scan = [&](std::size_t from) {
        const char* p = joined.data();
        for (std::size_t i = from; i < joined.size(); ++i) {
            const char c = p[i];
            if (c > ',' || (c != '(' && c != ')' && c != ','))
                continue;
            if (c == '(') {
                ++level;
            } else if (c == ')') {
                if (--level == 0) {
                    close = i;
                    return;
                }
            } else if (level == 1) {
                commas.push_back(i);
            }
        }
    };
    scan(0);
    while (close == std::string::npos) {
        EvalToken* n = last_used->next;
        if (!n)
            return ident_error(id, call.work, 0);
        std::size_t from = joined.size() + 1;
        joined.push_back(' ');
        joined += n->text;
        last_used = n;
        if (joined.size() > kLongText + 2)
            return ident_error(id, call.work, 3);
        scan(from);
    }
    const std::string_view after = std::string_view(joined).substr(close + 1);
    const std::string_view inner = std::string_view(joined).substr(0, close);
    if (inner.size() > kLongText)
        return ident_error(id, call.work, 3);
    // The arguments between the top-level commas, trimmed of blanks.
    args.clear();
    {
        std::size_t start = 0;
        for (std::size_t k = 0; k <= commas.size(); ++k) {
            const std::size_t end = k < commas.size() ? commas[k] : inner.size();
            std::size_t a = start, b = end;
            while (a < b && inner[a] == ' ')
                ++a;
            while (b > a && inner[b - 1] == ' ')
                --b;
            args.push_back(inner.substr(a, b - a));
            start = end + 1;
        }
    }
    int count = static_cast<int>(args.size());
    if (expected != kIdentAnyArgs) {
        if (count < expected)
            return ident_error(id, call.work, 4);
        if (count > expected)
            return ident_error(id, call.work, 5);
    }
    // Remove the consumed tokens.
    while (id->next && last_used != id) {
        EvalToken* n = id->next;
        bool done = (n == last_used);
        toklist_remove(list, n);
        if (done)
            break;
    }
    // The token keeps its name: "name(", or "name()" and the property.
    if (!after.empty() && after[0] == '.') {
        text.resize(paren);
        text += "()";
        text += after;
        id->flags |= kTokProperty;
    } else {
        text.resize(paren + 1);
        id->flags &= ~kTokProperty;
    }
    EvalToken* pos = id;
    for (int k = 0; k < count; ++k) {
        EvalToken* t = toklist_new_token(list, args[static_cast<std::size_t>(k)]);
        if (k == count - 1)
            t->flags |= kTokLastArg;
        toklist_insert_after(list, pos, t);
        pos = t;
    }
    id->argc = count;
    if (joined.capacity() > 2 * kLongText)
        std::string().swap(joined);
    return 1;
}

int ident_args_ready(const EvalToken* token)
{
    const EvalToken* t = token->next;
    for (int k = 0; k < token->argc; ++k) {
        if (!t)
            return 2;
        if (t->state != kTokFinal)
            return 1;
        t = t->next;
    }
    return 0;
}

int ident_args_step(IdentCall& call, int expected)
{
    if (call.token->argc == 0)
        return ident_split_args(call, expected) ? 1 : 0;
    int r = ident_args_ready(call.token);
    if (r == 1)
        return 1;
    if (r == 2)
        return ident_error(call.token, call.work, 0);
    return -1;
}

int ident_arg_count(const IdentCall& call)
{
    return call.token ? call.token->argc : 0;
}

namespace {
const EvalToken* arg_token(const IdentCall& call, int i)
{
    if (!call.token || i < 0 || i >= call.token->argc)
        return nullptr;
    const EvalToken* t = call.token->next;
    for (int k = 0; k < i && t; ++k)
        t = t->next;
    return t;
}
const std::string empty_text;
} // namespace

const std::string& ident_arg(const IdentCall& call, int i)
{
    const EvalToken* t = arg_token(call, i);
    if (!t || (t->flags & kTokEmpty))
        return empty_text;
    return t->text;
}

std::string_view ident_property(const IdentCall& call)
{
    if (!call.token || !(call.token->flags & kTokProperty))
        return {};
    std::string_view t = call.token->text;
    std::size_t p = t.find("().");
    if (p == std::string_view::npos)
        return {};
    return t.substr(p + 3);
}

int ident_finish(IdentCall& call)
{
    EvalToken* id = call.token;
    for (int k = 0; k < id->argc && id->next; ++k)
        toklist_remove(*call.list, id->next);
    id->argc = 0;
    if (call.value && call.value->size() > kLongText)
        call.value->resize(kLongText);
    return 2;
}

// ---------------------------------------------------------------------------
// Handlers of the table itself.

int id_absent(IdentCall& call)
{
    if (call.token->text.find('(') != std::string::npos) {
        int r = ident_args_step(call, kIdentAnyArgs);
        if (r >= 0)
            return r;
        call.value->clear();
        return ident_finish(call);
    }
    call.value->clear();
    return 2;
}

int id_not_available(IdentCall& call)
{
    return script_error_not_available('$', call.name);
}

int id_value(IdentCall& call)
{
    std::string& out = *call.value;
    out.clear();
    EvalArgs* a = call.args;
    Connection* conn = call.conn();
    const bool live = conn_is_live(conn) != 0;
    char buf[64];
    switch (call.variant) {
    case kVal_true: out = "$true"; return 2;
    case kVal_false: out = "$false"; return 2;
    case kVal_yes: out = "$yes"; return 2;
    case kVal_no: out = "$no"; return 2;
    case kVal_ok: out = "$ok"; return 2;
    case kVal_cancel: out = "$cancel"; return 2;
    case kVal_timeout: out = "$timeout"; return 2;
    case kVal_inmode: out = "$inmode"; return 2;
    case kVal_null:
    case kVal_beta: return 2;
    case kVal_cr: out = "\r"; return 2;
    case kVal_lf: out = "\n"; return 2;
    case kVal_crlf: out = "\r\n"; return 2;
    case kVal_bits: out = "32"; return 2;
    case kVal_pi: out = "3.14159265358979323846"; return 2;
    case kVal_ctime:
        out = std::to_string(static_cast<long>(std::time(nullptr)));
        return 2;
    case kVal_gmt:
        tzset();
        out = std::to_string(static_cast<long>(std::time(nullptr)) + static_cast<long>(timezone));
        return 2;
    case kVal_timezone:
        tzset();
        out = std::to_string(static_cast<long>(timezone));
        return 2;
    case kVal_daylight: {
        std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        out = tm.tm_isdst > 0 ? "3600" : "0";
        return 2;
    }
    case kVal_time: {
        std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
        out = buf;
        return 2;
    }
    case kVal_isid: out = truth(a && a->ident_call); return 2;
    case kVal_show: out = truth(!a || a->show); return 2;
    case kVal_result:
        if (a && a->result_slot)
            out = *a->result_slot;
        return 2;
    case kVal_v1:
    case kVal_ifmatch:
    case kVal_v2:
    case kVal_ifmatch2:
        if (a && a->cond_slot) {
            const std::string& c = *a->cond_slot;
            std::size_t nul = c.find('\0');
            if (call.variant == kVal_v1 || call.variant == kVal_ifmatch)
                out = c.substr(0, nul);
            else if (nul != std::string::npos)
                out = c.substr(nul + 1);
        }
        return 2;
    case kVal_prop:
        if (a && a->prop)
            out = a->prop;
        return 2;
    case kVal_filtered:
        out = std::to_string(a && a->filtered ? *a->filtered : 0);
        return 2;
    case kVal_findfilen:
    case kVal_finddirn:
        out = std::to_string(a && a->findfilen ? static_cast<unsigned>(*a->findfilen) : 0u);
        return 2;
    case kVal_wid: {
        WindowRecord* rec = call.window() ? win_record_of(call.window()) : nullptr;
        out = std::to_string(rec ? rec->number : 0);
        return 2;
    }
    default:
        break;
    }
    // Names that the owning parts may answer.
    if (script_setting_value && script_setting_value(call.name, conn, call.window(), &out))
        return 2;
    switch (call.variant) {
    case kVal_me:
        if (live)
            out = conn->live_identity[conn->nick_index == 1 ? 3 : 2];
        return 2;
    case kVal_mnick: if (live) out = conn->live_identity[2]; return 2;
    case kVal_anick: if (live) out = conn->live_identity[3]; return 2;
    case kVal_fullname: if (live) out = conn->live_identity[0]; return 2;
    case kVal_email:
    case kVal_emailaddr: if (live) out = conn->live_identity[1]; return 2;
    case kVal_host: if (live) out = conn->local_host; return 2;
    case kVal_ip: if (live) out = conn->local_ip_text; return 2;
    case kVal_port: if (live) out = conn->live_server[4]; return 2;
    case kVal_debug: if (live) out = conn->debug_target; return 2;
    case kVal_chantypes: if (live) out = conn->chan_types; return 2;
    case kVal_prefix: if (live) out = conn->nick_prefixes; return 2;
    case kVal_chanmodes:
        if (live)
            out = irc_state(conn)->chan_modes;
        return 2;
    case kVal_nickmode: if (live) out = conn->prefix_modes; return 2;
    case kVal_modespl:
        out = std::to_string(live ? irc_state(conn)->modes_per_line : 0);
        return 2;
    case kVal_network: if (live) out = conn->network; return 2;
    case kVal_server:
        if (live && (conn->connected || conn->connecting))
            out = conn->server_name;
        return 2;
    case kVal_usermode:
        if (live) {
            out = conn->user_modes;
            std::size_t b = out.find(']');
            if (b != std::string::npos)
                out.resize(b);
        }
        return 2;
    case kVal_cid: out = std::to_string(live ? conn->id : 0); return 2;
    case kVal_idle: out = std::to_string(live ? conn->idle_seconds : 0); return 2;
    case kVal_away: out = truth(live && !conn->away_text.empty()); return 2;
    case kVal_awaymsg: if (live) out = conn->away_text; return 2;
    case kVal_awaytime: {
        QueryReplyState* st = live ? query_reply_state(conn) : nullptr;
        if (!st || !st->away || !st->away_since) {
            out = "0";
            return 2;
        }
        const std::time_t now = std::time(nullptr);
        if (st->away_since > now)
            st->away_since = now;
        out = std::to_string(static_cast<long>(now - st->away_since));
        return 2;
    }
    case kVal_status:
        if (!live)
            out = "disconnected";
        else if (conn->quitting && conn->connected)
            out = "closing";
        else if (conn_is_connected(conn) && !conn->registered)
            out = "loggingon";
        else if (conn_is_connected(conn))
            out = "connected";
        else if (conn->connecting || conn->lookup_handle)
            out = "connecting";
        else
            out = "disconnected";
        return 2;
    case kVal_online: {
        OnlineTime t;
        if (opt(OPT_ONLINE_TIMER_TOTAL))
            t = online_time_total;
        else if (live)
            t = OnlineTime{conn->online_hours, conn->online_minutes, conn->online_seconds};
        out = std::to_string(static_cast<unsigned long>(t.hours) * 3600ul +
                             static_cast<unsigned long>(t.minutes) * 60ul +
                             static_cast<unsigned long>(t.seconds));
        return 2;
    }
    case kVal_serverip:
        if (live && conn_is_connected(conn))
            out = link_state(conn).server_address;
        return 2;
    case kVal_menubar: out = opt(OPT_MENUBAR_SHOWN) ? "1" : "0"; return 2;
    case kVal_switchbar: out = opt(OPT_SWITCHBAR_SHOWN) ? "1" : "0"; return 2;
    case kVal_toolbar: out = opt(OPT_TOOLBAR_SHOWN) ? "1" : "0"; return 2;
    case kVal_treebar: out = opt(OPT_TREEBAR_SHOWN) ? "1" : "0"; return 2;
    case kVal_creq:
        out = request_setting(OPT_DCC_CHAT_REQUESTS);
        return 2;
    case kVal_sreq:
        out = request_setting(OPT_DCC_SEND_REQUESTS);
        return 2;
    case kVal_dlevel: out = std::to_string(opt(OPT_DEFAULT_USER_LEVEL)); return 2;
    case kVal_remote:
        out = std::to_string((event_switch_events ? 1 : 0) + (event_switch_raw ? 2 : 0) +
                             (event_switch_ctcps ? 4 : 0));
        return 2;
    case kVal_cmdline: {
        for (std::size_t i = 0; i < cmdline_args.size() && out.size() < kLongText; ++i) {
            if (i)
                out += ' ';
            out += cmdline_args[i];
        }
        if (out.size() > kLongText)
            out.resize(kLongText);
        return 2;
    }
    case kVal_error: out = script_error_state.text; return 2;
    case kVal_rawmsg:
    case kVal_stripped: {
        const EventLine* line = a && event_context_is_live(a->event_ctx)
                                    ? static_cast<const EventFireContext*>(a->event_ctx)->line
                                    : nullptr;
        if (call.variant == kVal_rawmsg) {
            if (line)
                out = line->raw;
        } else {
            out = std::to_string(line ? line->stripped_count : 0);
        }
        return 2;
    }
    case kVal_version:
#ifdef KEST_VERSION
        out = KEST_VERSION;
#endif
        if (!out.empty() && (out[0] == 'v' || out[0] == 'V'))
            out.erase(0, 1);
        return 2;
    case kVal_ial: out = truth(opt(OPT_IAL_ENABLED)); return 2;
    case kVal_appactive: out = truth(frame_app_active()); return 2;
    case kVal_aop:
    case kVal_auto: out = truth(opt(OPT_AUTO_OP_ENABLED)); return 2;
    case kVal_avoice: out = truth(opt(OPT_AUTO_VOICE_ENABLED)); return 2;
    case kVal_protect: out = truth(opt(OPT_PROTECT_ENABLED)); return 2;
    case kVal_ignore: out = truth(opt(OPT_IGNORE_ENABLED)); return 2;
    case kVal_dccignore: out = truth(opt(OPT_DCC_FILTER_MODE) != 0); return 2;
    case kVal_highlight: out = truth(opt(OPT_HIGHLIGHT_ENABLED)); return 2;
    case kVal_portable: out = truth(cmdline_no_registry); return 2;
    case kVal_passivedcc: out = truth(opt(OPT_DCC_PASSIVE)); return 2;
    case kVal_ctrlenter: out = truth(editbox_ctrl_enter); return 2;
    case kVal_inpaste: out = truth(editbox_in_paste); return 2;
    case kVal_cmdbox: out = truth(editbox_in_cmdbox); return 2;
    default:
        return 2;   // empty
    }
}
