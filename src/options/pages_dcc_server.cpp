// The DCC server page of the DCC options: whether the server listens, on
// which port, which requests it takes and whether callers' host names are
// looked up. A change of the switch or the port restarts the running
// server at once.
#include "options/pages_dcc.h"

#include <QDialog>

#include <iterator>
#include <string>

#include "dcc/dcc_server.h"
#include "options/options_page.h"
#include "options/page_rules.h"

namespace {

const DlgControl k264[] = {
    {588, kDlgCheck, "DCC sunucusunu &etkinleştir", 4, 4, 150, 10},
    {589, kDlgLabel, "&Port:", 14, 20, 30, 8},
    {590, kDlgNumber, "", 46, 18, 40, 12, 0, 5},
    {591, kDlgGroupBox, "Kabul edilen istekler", 4, 36, 222, 52},
    {592, kDlgCheck, "&Dosya gönderme", 10, 48, 150, 10},
    {593, kDlgCheck, "&Sohbet", 10, 60, 150, 10},
    {594, kDlgCheck, "Dosya &sunucusu", 10, 72, 150, 10},
    {595, kDlgCheck, "Arayanların &adlarını çözümle", 4, 94, 200, 10},
};
const DlgTemplate kTemplate264 = {264, "", 230, 160, k264, std::size(k264)};

// The setting each box holds.
const struct {
    int control;
    int DccServerSettings::*field;
} kServerBoxes[] = {
    {588, &DccServerSettings::enabled}, {592, &DccServerSettings::sends},  {593, &DccServerSettings::chats},
    {594, &DccServerSettings::fserve},  {595, &DccServerSettings::lookup},
};

void fill_server(OptionsEdit& e)
{
    for (const auto& b : kServerBoxes)
        dlg_set_checked(e.dialog, b.control, dccserver_settings.*b.field != 0);
    dlg_set_text(e.dialog, 590, std::to_string(dccserver_settings.port));
}

void apply_server(OptionsEdit& e)
{
    const DccServerSettings before = dccserver_settings;
    for (const auto& b : kServerBoxes)
        dccserver_settings.*b.field = dlg_checked(e.dialog, b.control) ? 1 : 0;
    long long port = page_number(dlg_text(e.dialog, 590));
    if (port < 0 || port > 65535)
        port = before.port;
    dccserver_settings.port = static_cast<int>(port);
    if (dccserver_settings.enabled != before.enabled || dccserver_settings.port != before.port) {
        dccserver_stop(0);
        if (dccserver_settings.enabled)
            dccserver_start();
    }
    dccserver_save_settings();
}

}  // namespace

void pages_dcc_server_install()
{
    options_page_register({588, &kTemplate264, fill_server, apply_server});
}

void pages_dcc_server_uninstall()
{
    options_page_unregister(588);
}
