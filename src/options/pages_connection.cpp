// The pages of the Connection group of the options dialog after the
// Connection page itself: Options, Local Info, Identd and Firewall. Each
// page's template, what it shows when the dialog opens and what OK does
// with it.
#include "options/pages_connection.h"

#include <QComboBox>
#include <QDialog>
#include <QWidget>

#include <cstdlib>
#include <iterator>

#include "core/main_settings.h"
#include "core/options.h"
#include "irc/link/connect.h"
#include "irc/link/net_settings.h"
#include "irc/link/proxy.h"
#include "irc/services/ident.h"
#include "model/connection.h"
#include "platform/app_messages.h"
#include "platform/platform_utils.h"
#include "core/text_buffer.h"
#include "options/option_bindings.h"
#include "options/options_page.h"
#include "options/options_subdialogs.h"
#include "options/page_rules.h"

namespace {

// ---- Options (200) ----

const DlgControl kOptions[] = {
    {175, kDlgCheck, "Açılışta &bağlan", 4, 4, 200, 10},
    {176, kDlgCheck, "Bağlantı koparsa &yeniden bağlan", 4, 18, 200, 10},
    {177, kDlgCheck, "Açılışta seçenekleri &göster", 4, 32, 200, 10},
    {178, kDlgCheck, "Bağlanılan sunucuyu listenin &başına al", 4, 46, 200, 10},
    {179, kDlgCheck, "Bağlantının &zaman aşımını denetle", 4, 60, 200, 10},
    {180, kDlgCheck, "&Takma adı hatırla", 4, 74, 200, 10},
    {181, kDlgLabel, "&Öntanımlı port:", 4, 92, 70, 8},
    {182, kDlgEdit, "", 76, 90, 50, 12},
    {183, kDlgButton, "&Yeniden Bağlan...", 4, 112, 70, 14},
    {184, kDlgButton, "&Port Sırası...", 80, 112, 70, 14},
    {185, kDlgButton, "&Perform...", 4, 130, 70, 14},
    {186, kDlgButton, "&SSL...", 80, 130, 70, 14},
};
const DlgTemplate kOptionsTemplate = {200, "", 230, 160, kOptions, std::size(kOptions)};

const OptionBinding kOptionsBindings[] = {
    {175, 0, 0}, {176, 3, 4}, {177, 2, 1}, {178, 4, 13}, {179, 7, 36}, {180, 8, 9},
};

// ---- Local Info (580) ----

const DlgControl kLocal[] = {
    {160, kDlgGroupBox, "Yerel Bilgi", 4, 2, 222, 70},
    {161, kDlgLabel, "&Yerel makine:", 10, 16, 60, 8},
    {162, kDlgLabel, "&IP adresi:", 10, 32, 60, 8},
    {163, kDlgEdit, "", 72, 14, 148, 12},
    {164, kDlgEdit, "", 72, 30, 148, 12},
    {165, kDlgCheck, "Bağlanırken yerel &makineyi sorgula", 10, 46, 210, 10},
    {166, kDlgCheck, "Bağlanırken IP &adresini sorgula", 10, 58, 210, 10},
    {167, kDlgGroupBox, "Sorgulama yöntemi", 4, 78, 222, 44},
    {168, kDlgLabel, "Yerel adres nasıl öğrenilsin:", 10, 90, 210, 8},
    {169, kDlgRadio, "&Normal", 10, 104, 80, 10, kDlgGroupStart},
    {170, kDlgRadio, "&Sunucudan", 100, 104, 80, 10},
};
const DlgTemplate kLocalTemplate = {580, "", 230, 160, kLocal, std::size(kLocal)};

const OptionBinding kLocalBindings[] = {
    {165, 1, 11}, {166, 3, 11}, {170, 2, 4},
};

// ---- Identd (540) ----

const DlgControl kIdentd[] = {
    {195, kDlgCheck, "Ident sunucusunu &etkinleştir", 4, 4, 200, 10},
    {196, kDlgLabel, "&Kullanıcı kimliği:", 4, 22, 70, 8},
    {197, kDlgEdit, "", 76, 20, 100, 12},
    {198, kDlgLabel, "&Sistem:", 4, 38, 70, 8},
    {199, kDlgEdit, "", 76, 36, 100, 12},
    {200, kDlgLabel, "&Port:", 4, 54, 70, 8},
    {201, kDlgNumber, "", 76, 52, 40, 12, 0, 5},
    {202, kDlgCheck, "Ident isteklerini &göster", 4, 72, 200, 10},
    {203, kDlgCheck, "Yalnızca &bağlanırken etkin", 4, 86, 200, 10},
    {204, kDlgCheck, "Kimliği e-posta &adresinden al", 4, 100, 200, 10},
};
const DlgTemplate kIdentdTemplate = {540, "", 230, 160, kIdentd, std::size(kIdentd)};

const OptionBinding kIdentdBindings[] = {
    {202, 0, 3}, {203, 0, 26}, {204, 6, 32},
};

// ---- Firewall (450) ----

const DlgControl kFirewall[] = {
    {210, kDlgLabel, "&Güvenlik duvarını kullan:", 4, 6, 100, 8},
    {211, kDlgCombo, "", 106, 4, 80, 60},
    {212, kDlgLabel, "&Protokol:", 4, 22, 100, 8},
    {213, kDlgCombo, "", 106, 20, 80, 60},
    {214, kDlgLabel, "&Sunucu:", 4, 38, 100, 8},
    {215, kDlgEdit, "", 106, 36, 118, 12},
    {216, kDlgLabel, "&Kullanıcı kimliği:", 4, 54, 100, 8},
    {217, kDlgEdit, "", 106, 52, 118, 12},
    {218, kDlgLabel, "Şif&re:", 4, 70, 100, 8},
    {219, kDlgEdit, "", 106, 68, 118, 12, kDlgPassword},
    {220, kDlgLabel, "P&ort:", 4, 86, 100, 8},
    {221, kDlgNumber, "", 106, 84, 40, 12, 0, 5},
    {222, kDlgLabel, "&Doğrudan bağlanılacak adresler:", 4, 102, 200, 8},
    {223, kDlgMultiEdit, "", 4, 112, 220, 44, 0, kFirewallMasksMax},
};
const DlgTemplate kFirewallTemplate = {450, "", 230, 160, kFirewall, std::size(kFirewall)};

const char* const kFirewallUse[] = {"Hiçbiri", "Sunucu", "DCC", "İkisi de"};
const char* const kFirewallProtocol[] = {"Socks4", "Socks5", "Proxy"};

// ---- Options page ----

void fill_options(OptionsEdit& e)
{
    option_bindings_fill(e.dialog, kOptionsBindings);
    dlg_set_text(e.dialog, 182, main_settings.default_port);
    subdialog_staging_begin();
}

void apply_options(OptionsEdit& e)
{
    option_bindings_apply(e.dialog, kOptionsBindings);
    main_settings.default_port = page_default_port(dlg_text(e.dialog, 182));
    subdialog_staging_commit();
}

void cancel_options(OptionsEdit&)
{
    subdialog_staging_drop();
}

int command_options(OptionsEdit& e, int id)
{
    switch (id) {
    case 183:
        return subdialog_reconnect_run(e.dialog), 1;
    case 184:
        return subdialog_ports_run(e.dialog), 1;
    case 186:
        return subdialog_ssl_run(e.dialog), 1;
    default:
        return 0;
    }
}

// ---- Local Info page ----

void local_host_toggle(QWidget* page)
{
    const int host = dlg_checked(page, 165);
    if (host)
        dlg_set_checked(page, 166, 1);
    if (QWidget* w = dlg_item(page, 166))
        w->setEnabled(!host);
}

void fill_local(OptionsEdit& e)
{
    option_bindings_fill(e.dialog, kLocalBindings);
    dlg_set_checked(e.dialog, 169, !opt(OPT_LOCAL_LOOKUP_BY_SERVER));
    local_host_toggle(e.dialog);
    Connection* conn = conn_is_live(e.conn) ? e.conn : nullptr;
    if (!conn)
        return;
    dlg_set_text(e.dialog, 163, conn->local_host.empty() ? conn->stored_local_host : conn->local_host);
    dlg_set_text(e.dialog, 164, conn->local_ip_text.empty() ? conn->stored_local_ip_text : conn->local_ip_text);
}

void apply_local(OptionsEdit& e)
{
    option_bindings_apply(e.dialog, kLocalBindings);
    Connection* conn = conn_is_live(e.conn) ? e.conn : nullptr;
    QWidget* host = dlg_item(e.dialog, 163);
    if (!conn || !host || !host->isEnabled())
        return;
    conn->local_ip = 0;
    conn->local_ip_text.clear();
    bool ok = false;
    const std::string ip = page_first_word(dlg_text(e.dialog, 164));
    const std::uint32_t addr = page_parse_ipv4(ip, &ok);
    if (ok) {
        conn->local_ip = addr;
        conn->local_ip_text = ip;
    }
    conn->local_host = page_first_word(dlg_text(e.dialog, 163));
    conn->stored_local_host = conn->local_host;
    conn->stored_local_ip_text = conn->local_ip_text;
    conn->stored_local_ip = conn->local_ip;
}

int command_local(OptionsEdit& e, int id)
{
    if (id != 165)
        return 0;
    local_host_toggle(e.dialog);
    return 1;
}

// ---- Identd page ----

void fill_identd(OptionsEdit& e)
{
    option_bindings_fill(e.dialog, kIdentdBindings);
    dlg_set_checked(e.dialog, 195, ident_settings.enabled);
    dlg_set_text(e.dialog, 197, ident_settings.userid);
    dlg_set_text(e.dialog, 199, ident_settings.system);
    dlg_set_text(e.dialog, 201, std::to_string(ident_settings.port));
}

void apply_identd(OptionsEdit& e)
{
    const int was_only_connecting = opt(OPT_IDENT_ONLY_WHILE_CONNECTING);
    option_bindings_apply(e.dialog, kIdentdBindings);
    const int was_enabled = ident_settings.enabled;
    const int was_port = ident_settings.port;

    int enabled = dlg_checked(e.dialog, 195);
    std::string typed = dlg_text(e.dialog, 197);
    if (page_first_word(typed).empty())
        enabled = 1;
    std::string userid = opt_ident_userid(typed, conn_is_live(e.conn) ? e.conn : nullptr);
    if (userid.empty()) {
        enabled = 0;
        dlg_set_checked(e.dialog, 195, 0);
    }
    ident_settings.enabled = enabled;
    ident_settings.userid = userid;
    ident_settings.system = page_first_word(dlg_text(e.dialog, 199));
    if (ident_settings.system.empty())
        ident_settings.system = "UNIX";
    ident_settings.port = page_port_or(page_number(dlg_text(e.dialog, 201)), 113);
    ident_settings_save();
    if (ident_settings.enabled != was_enabled || ident_settings.port != was_port)
        ident_restart();
    else if (opt(OPT_IDENT_ONLY_WHILE_CONNECTING) != was_only_connecting)
        post_app_message(WM_APP_IDENT_START, 0, 0);
}

// ---- Firewall page ----

void fill_firewall(OptionsEdit& e)
{
    const ProxySettings& p = proxy_settings;
    dlg_combo_fill(e.dialog, 211, kFirewallUse, 4, (p.enabled ? 1 : 0) + 2 * (p.dcc ? 1 : 0));
    dlg_combo_fill(e.dialog, 213, kFirewallProtocol, 3, p.method);
    std::string host = p.host;
    if (host.empty())
        if (const char* env = std::getenv("SOCKS_HOST"))
            host = std::string(env).substr(0, kPageFieldMax);
    dlg_set_text(e.dialog, 215, host);
    dlg_set_text(e.dialog, 217, p.userid);
    dlg_set_text(e.dialog, 219, p.password);
    dlg_set_text(e.dialog, 221, std::to_string(p.port));
    dlg_set_text(e.dialog, 223, page_firewall_masks_text(p.masks));
}

void apply_firewall(OptionsEdit& e)
{
    ProxySettings& p = proxy_settings;
    const int use = dlg_combo_index(e.dialog, 211);
    p.enabled = (use & 1) ? 1 : 0;
    p.dcc = (use & 2) ? 1 : 0;
    int method = dlg_combo_index(e.dialog, 213);
    p.method = method < 0 || method > 2 ? 0 : method;
    p.host = page_first_word(dlg_text(e.dialog, 215));
    p.userid = page_first_word(dlg_text(e.dialog, 217));
    p.password = dlg_text(e.dialog, 219);
    p.port = page_port_or(page_number(dlg_text(e.dialog, 221)), 1080);
    p.masks = page_masks_joined(page_firewall_masks(dlg_text(e.dialog, 223)));
    proxy_settings_save();
    // Server links no longer go through the firewall: their pending
    // negotiations end.
    if (!p.enabled)
        for (Connection* c = conn_list; c; c = c->next)
            proxy_close_by_key(kProxyOwnerConnection, c->id);
}

const OptionsPageDef kPages[] = {
    {175, &kOptionsTemplate, fill_options, apply_options, cancel_options, command_options},
    {160, &kLocalTemplate, fill_local, apply_local, nullptr, command_local},
    {195, &kIdentdTemplate, fill_identd, apply_identd, nullptr, nullptr},
    {210, &kFirewallTemplate, fill_firewall, apply_firewall, nullptr, nullptr},
};

} // namespace

std::string page_server_label(const std::string& host, const std::string& description, const std::string& group)
{
    std::string d = description.empty() ? host : description;
    if (group.empty() || text_find_nocase(d, group) == 0)
        return d;
    return group + ": " + d;
}

std::string page_masks_joined(const std::vector<std::string>& masks)
{
    std::string out;
    for (const std::string& m : masks) {
        const std::size_t add = m.size() + (out.empty() ? 0 : 1);
        if (out.size() + add > static_cast<std::size_t>(kPageLongFieldMax))
            break;
        if (!out.empty())
            out += ",";
        out += m;
    }
    return out;
}

void pages_connection_install()
{
    for (const OptionsPageDef& p : kPages)
        options_page_register(p);
}

void pages_connection_uninstall()
{
    for (const OptionsPageDef& p : kPages)
        options_page_unregister(p.first_control);
}
