#include "identifiers/value_identifiers.h"

#include <cstdio>
#include <ctime>
#include <string>

#include "app/command_line.h"
#include "model/connection.h"
#include "app/frame_dde.h"
#include "app/frame_proc.h"
#include "display/window_queries.h"
#include "model/window_record.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/text_limits.h"
#include "core/time_date.h"
#include "display/editbox.h"
#include "identifiers/event_identifiers.h"
#include "irc/link/connect.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/query_replies.h"
#include "script/eval/evaluate.h"
#include "script/events/event_fire.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_text.h"

namespace {

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
    case kVal_isid: out = ident_truth(a && a->ident_call); return 2;
    case kVal_show: out = ident_truth(!a || a->show); return 2;
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
            out = conn_own_nick(conn);
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
            // The modes are kept as the caption shows them: "[+iw]".
            out = conn->user_modes;
            if (!out.empty() && out[0] == '[')
                out.erase(0, 1);
            std::size_t b = out.find(']');
            if (b != std::string::npos)
                out.resize(b);
        }
        return 2;
    case kVal_cid: out = std::to_string(live ? conn->id : 0); return 2;
    case kVal_idle: out = std::to_string(live ? conn->idle_seconds : 0); return 2;
    case kVal_away: out = ident_truth(live && !conn->away_text.empty()); return 2;
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
    case kVal_titlebar: out = main_settings.app_title; return 2;
    case kVal_ddename: out = dde_settings.service; return 2;
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
    case kVal_ial: out = ident_truth(opt(OPT_IAL_ENABLED)); return 2;
    case kVal_appactive: out = ident_truth(frame_app_active()); return 2;
    case kVal_aop:
    case kVal_auto: out = ident_truth(opt(OPT_AUTO_OP_ENABLED)); return 2;
    case kVal_avoice: out = ident_truth(opt(OPT_AUTO_VOICE_ENABLED)); return 2;
    case kVal_protect: out = ident_truth(opt(OPT_PROTECT_ENABLED)); return 2;
    case kVal_ignore: out = ident_truth(opt(OPT_IGNORE_ENABLED)); return 2;
    case kVal_dccignore: out = ident_truth(opt(OPT_DCC_FILTER_MODE) != 0); return 2;
    case kVal_highlight: out = ident_truth(opt(OPT_HIGHLIGHT_ENABLED)); return 2;
    case kVal_portable: out = ident_truth(cmdline_no_registry); return 2;
    case kVal_passivedcc: out = ident_truth(opt(OPT_DCC_PASSIVE)); return 2;
    case kVal_ctrlenter: out = ident_truth(editbox_ctrl_enter); return 2;
    case kVal_inpaste: out = ident_truth(editbox_in_paste); return 2;
    case kVal_cmdbox: out = ident_truth(editbox_in_cmdbox); return 2;
    default:
        return 2;   // empty
    }
}

void value_identifiers_register()
{
    ident_register_family("id_value", id_value);
}
