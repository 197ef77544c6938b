#include "options/options_subdialogs.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFileInfo>
#include <QLineEdit>

#include <iterator>
#include <memory>

#include "app/file_dialogs.h"
#include "app/frame_dde.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "irc/ssl/ssl_checks.h"
#include "options/dialog_opener.h"
#include "options/page_rules.h"
#include "options/server_list_edit.h"
#include "platform/platform_utils.h"

namespace {

std::unique_ptr<SubdialogStaging> g_staging;

// ---- Templates ----

const DlgControl kServerEditor[] = {
    {-1, kDlgLabel, "&Açıklama:", 6, 8, 50, 8},
    {130, kDlgEdit, "", 58, 6, 150, 12, 0, kPageFieldMax},
    {-1, kDlgLabel, "&Sunucu:", 6, 24, 50, 8},
    {131, kDlgEdit, "", 58, 22, 150, 12, 0, kPageFieldMax},
    {-1, kDlgLabel, "&Portlar:", 6, 40, 50, 8},
    {132, kDlgEdit, "", 58, 38, 150, 12, 0, kPageFieldMax},
    {-1, kDlgLabel, "&Grup:", 6, 56, 50, 8},
    {133, kDlgEdit, "", 58, 54, 150, 12, 0, kPageFieldMax},
    {-1, kDlgLabel, "Şif&re:", 6, 72, 50, 8},
    {134, kDlgEdit, "", 58, 70, 150, 12, kDlgPassword, kPageFieldMax},
    {1, kDlgDefButton, "&Ekle", 40, 90, 50, 14},
    {2, kDlgButton, "İptal", 96, 90, 50, 14},
    {9, kDlgButton, "&Yardım", 152, 90, 50, 14},
};
const DlgTemplate kServerEditorTemplate = {60, "Sunucu Ekle", 214, 110, kServerEditor, std::size(kServerEditor)};

const DlgControl kReconnect[] = {
    {101, kDlgCheck, "Bağlanamazsa &yeniden dene", 6, 6, 200, 10},
    {-1, kDlgLabel, "&Vazgeçme süresi (saniye):", 6, 22, 120, 8},
    {102, kDlgNumber, "", 130, 20, 40, 12, 0, 6},
    {-1, kDlgLabel, "&Deneme sayısı:", 6, 38, 120, 8},
    {103, kDlgNumber, "", 130, 36, 40, 12, 0, 6},
    {-1, kDlgLabel, "Denemeler &arası (saniye):", 6, 54, 120, 8},
    {104, kDlgNumber, "", 130, 52, 40, 12, 0, 6},
    {105, kDlgCheck, "Grubun &sonraki sunucusunu dene", 6, 70, 200, 10},
    {1, kDlgDefButton, "Tamam", 60, 90, 50, 14},
    {2, kDlgButton, "İptal", 116, 90, 50, 14},
};
const DlgTemplate kReconnectTemplate = {201, "Yeniden Bağlan", 214, 110, kReconnect, std::size(kReconnect)};

const DlgControl kPorts[] = {
    {110, kDlgCheck, "Port aralığını &DCC için kullan", 6, 6, 200, 10},
    {111, kDlgCheck, "Port aralığını &diğer bağlantılar için kullan", 6, 18, 200, 10},
    {-1, kDlgLabel, "&İlk port:", 6, 34, 50, 8},
    {112, kDlgNumber, "", 60, 32, 40, 12, 0, 5},
    {-1, kDlgLabel, "&Son port:", 110, 34, 50, 8},
    {113, kDlgNumber, "", 160, 32, 40, 12, 0, 5},
    {114, kDlgCheck, "Portları &rastgele seç", 6, 50, 200, 10},
    {115, kDlgCheck, "Soketleri bir &adrese bağla:", 6, 64, 120, 10},
    {116, kDlgEdit, "", 130, 62, 76, 12, 0, kPageFieldMax},
    {1, kDlgDefButton, "Tamam", 60, 84, 50, 14},
    {2, kDlgButton, "İptal", 116, 84, 50, 14},
};
const DlgTemplate kPortsTemplate = {202, "Port Sırası", 214, 104, kPorts, std::size(kPorts)};

const DlgControl kMultiserver[] = {
    {-1, kDlgGroupBox, "Durum penceresi düğmesinde", 6, 4, 202, 36},
    {108, kDlgCheck, "&Ağ adı", 12, 16, 90, 10},
    {107, kDlgCheck, "&Takma ad", 12, 28, 90, 10},
    {-1, kDlgGroupBox, "Kanal ve sohbet başlıklarında", 6, 44, 202, 36},
    {106, kDlgCheck, "A&ğ adı", 12, 56, 90, 10},
    {105, kDlgCheck, "Takma a&d", 12, 68, 90, 10},
    {1, kDlgDefButton, "Tamam", 60, 88, 50, 14},
    {2, kDlgButton, "İptal", 116, 88, 50, 14},
};
const DlgTemplate kMultiserverTemplate = {203, "Çoklu Sunucu", 214, 108, kMultiserver, std::size(kMultiserver)};

const DlgControl kSsl[] = {
    {-1, kDlgLabel, "&Geçersiz sertifikalar:", 6, 8, 92, 8},
    {101, kDlgCombo, "", 100, 6, 108, 50},
    {-1, kDlgLabel, "Sertifika:", 6, 26, 92, 8},
    {102, kDlgButton, "", 100, 24, 108, 14},
    {-1, kDlgLabel, "Özel anahtar:", 6, 44, 92, 8},
    {103, kDlgButton, "", 100, 42, 108, 14},
    {-1, kDlgLabel, "Kabul edilenler:", 6, 62, 92, 8},
    {104, kDlgButton, "", 100, 60, 108, 14},
    {105, kDlgButton, "Kabul &geçmişini sil", 100, 78, 108, 14},
    {1, kDlgDefButton, "Tamam", 60, 100, 50, 14},
    {2, kDlgButton, "İptal", 116, 100, 50, 14},
};
const DlgTemplate kSslTemplate = {204, "SSL", 214, 120, kSsl, std::size(kSsl)};

const char* const kSslShow[] = {"Reddet", "Sor", "Kabul et"};
const char* const kEmptyPath = "(yok)";

const DlgTemplate* const kTemplates[] = {
    &kServerEditorTemplate, &kReconnectTemplate, &kPortsTemplate, &kMultiserverTemplate, &kSslTemplate,
};

QAbstractButton* button(QWidget* d, int id)
{
    return qobject_cast<QAbstractButton*>(dlg_item(d, id));
}


std::string num(int v)
{
    return std::to_string(v);
}

int read_int(QWidget* d, int id)
{
    const long long v = page_number(dlg_text(d, id));
    return v > 1000000000LL ? 1000000000 : v < -1000000000LL ? -1000000000 : static_cast<int>(v);
}

std::string ini_text(const char* key, const char* def)
{
    std::string v;
    ini_read("ports", key, def, v, kPageFieldMax, main_ini_path);
    return v;
}

// A file button shows its path or the empty mark; clicking a path clears
// it, clicking the empty mark asks for a file.
void wire_file_button(QDialog& d, int id, const std::string& path, const QString& start)
{
    QAbstractButton* b = button(&d, id);
    if (!b)
        return;
    b->setProperty("path", QString::fromStdString(path));
    b->setText(path.empty() ? QString::fromUtf8(kEmptyPath) : QFileInfo(QString::fromStdString(path)).fileName());
    b->setToolTip(QString::fromStdString(path));
    QObject::connect(b, &QAbstractButton::clicked, &d, [b, &d, start] {
        QString p = b->property("path").toString();
        if (!p.isEmpty()) {
            p.clear();
        } else {
            filedlg_state().remembered_folder = start.toStdString() + "/";
            if (filedlg_open(&d, 1, text_load_string(5101), nullptr, 4) == 1)
                p = QString::fromStdString(filedlg_state().remembered_folder + filedlg_state().chosen_name);
        }
        b->setProperty("path", p);
        b->setText(p.isEmpty() ? QString::fromUtf8(kEmptyPath) : QFileInfo(p).fileName());
        b->setToolTip(p);
    });
}

std::string file_button_path(QWidget* d, int id)
{
    QAbstractButton* b = button(d, id);
    return b ? b->property("path").toString().toStdString() : std::string();
}

} // namespace

SubdialogStaging* subdialog_staging()
{
    return g_staging.get();
}

void subdialog_staging_begin()
{
    g_staging = std::make_unique<SubdialogStaging>();
    SubdialogStaging& s = *g_staging;
    s.retry_on_fail = opt(OPT_RETRY_ON_FAIL);
    s.give_up_seconds = opt(OPT_CONNECT_TIMEOUT);
    s.retries = opt(OPT_RETRY_LIMIT);
    s.retry_delay = opt(OPT_RETRY_DELAY);
    s.next_server = opt(OPT_RETRY_NEXT_SERVER);
    s.ports_dcc = page_number(ini_text("dcc", "1")) != 0;
    s.ports_other = page_number(ini_text("other", "0")) != 0;
    s.first_port = opt(OPT_DCC_FIRST_PORT);
    s.last_port = opt(OPT_DCC_LAST_PORT);
    s.ports_random = text_equal_nocase(ini_text("random", "off"), "on");
    s.ports_bind = text_equal_nocase(ini_text("bind", "off"), "on");
    s.bind_address = ini_text("address", "");
    s.ssl_show = ssl_settings.show < 0 || ssl_settings.show > 2 ? 1 : ssl_settings.show;
    s.ssl_cert = ssl_settings.cert;
    s.ssl_key = ssl_settings.key;
    s.ssl_ca = ssl_settings.ca;
    s.label_network = opt(OPT_STATUS_LABEL_NETWORK);
    s.label_nick = opt(OPT_STATUS_LABEL_NICK);
    s.caption_network = opt(OPT_CAPTION_NETWORK);
    s.caption_nick = opt(OPT_CAPTION_NICK);
    s.dde_on = dde_settings.server_on;
    s.dde_service = dde_settings.service;
    s.dde_check = dde_settings.check_name;
    s.finger_file = main_settings.finger_file;
}

void subdialog_staging_commit()
{
    if (!g_staging)
        return;
    SubdialogStaging& s = *g_staging;
    opt_set(OPT_RETRY_ON_FAIL, s.retry_on_fail ? 1 : 0);
    opt_set(OPT_CONNECT_TIMEOUT, page_at_least(s.give_up_seconds, 10));
    opt_set(OPT_RETRY_LIMIT, page_at_least(s.retries, 1));
    opt_set(OPT_RETRY_DELAY, page_at_least(s.retry_delay, 1));
    opt_set(OPT_RETRY_NEXT_SERVER, s.next_server ? 1 : 0);

    int first = s.first_port == 0 ? 1 : s.first_port;
    int last = s.last_port;
    if (last < first) {
        first = 1024;
        last = 5000;
    }
    opt_set(OPT_DCC_FIRST_PORT, first);
    opt_set(OPT_DCC_LAST_PORT, last);
    bool ok = false;
    page_parse_ipv4(s.bind_address, &ok);
    const std::string address = ok ? s.bind_address : std::string();
    auto on_off = [](int v) { return v ? "on" : "off"; };
    ini_write("ports", "dcc", s.ports_dcc ? "1" : "0", main_ini_path);
    ini_write("ports", "other", s.ports_other ? "1" : "0", main_ini_path);
    ini_write("ports", "random", on_off(s.ports_random), main_ini_path);
    ini_write("ports", "bind", on_off(s.ports_bind), main_ini_path);
    ini_write("ports", "address", address.c_str(), main_ini_path);

    ssl_settings.show = s.ssl_show < 0 || s.ssl_show > 2 ? 1 : s.ssl_show;
    ssl_settings.cert = s.ssl_cert;
    ssl_settings.key = s.ssl_key;
    ssl_settings.ca = s.ssl_ca;
    ssl_settings_save();

    opt_set(OPT_STATUS_LABEL_NETWORK, s.label_network ? 1 : 0);
    opt_set(OPT_STATUS_LABEL_NICK, s.label_nick ? 1 : 0);
    opt_set(OPT_CAPTION_NETWORK, s.caption_network ? 1 : 0);
    opt_set(OPT_CAPTION_NICK, s.caption_nick ? 1 : 0);
    for (const auto& [id, value] : s.option_values)
        option_set_value(option_id_line(id), option_id_position(id), value);
    if (s.dde_on != dde_settings.server_on || s.dde_service != dde_settings.service ||
        s.dde_check != dde_settings.check_name) {
        dde_settings.server_on = s.dde_on ? 1 : 0;
        dde_settings.service = s.dde_service.empty() ? "Kest" : s.dde_service.substr(0, 256);
        dde_settings.check_name = s.dde_check ? 1 : 0;
        dde_save_settings();
    }
    main_settings.finger_file = s.finger_file;
    // A dialog still open after this goes on from the values now live.
    subdialog_staging_begin();
}

void subdialog_staging_drop()
{
    g_staging.reset();
}

int subdialog_reconnect_run(QWidget* owner)
{
    SubdialogStaging* s = subdialog_staging();
    if (!s)
        return 0;
    return dlg_show_modal(owner, 201, [s](QDialog& d) {
        dlg_set_checked(&d, 101, s->retry_on_fail);
        dlg_set_text(&d, 102, num(s->give_up_seconds));
        dlg_set_text(&d, 103, num(s->retries));
        dlg_set_text(&d, 104, num(s->retry_delay));
        dlg_set_checked(&d, 105, s->next_server);
        subdialog_wire_buttons(d, [s, &d] {
            s->retry_on_fail = dlg_checked(&d, 101);
            s->give_up_seconds = read_int(&d, 102);
            s->retries = read_int(&d, 103);
            s->retry_delay = read_int(&d, 104);
            s->next_server = dlg_checked(&d, 105);
            return true;
        });
    }) == 1;
}

int subdialog_ports_run(QWidget* owner)
{
    SubdialogStaging* s = subdialog_staging();
    if (!s)
        return 0;
    return dlg_show_modal(owner, 202, [s](QDialog& d) {
        dlg_set_checked(&d, 110, s->ports_dcc);
        dlg_set_checked(&d, 111, s->ports_other);
        dlg_set_text(&d, 112, num(s->first_port));
        dlg_set_text(&d, 113, num(s->last_port));
        dlg_set_checked(&d, 114, s->ports_random);
        dlg_set_checked(&d, 115, s->ports_bind);
        dlg_set_text(&d, 116, s->bind_address);
        subdialog_wire_buttons(d, [s, &d] {
            s->ports_dcc = dlg_checked(&d, 110);
            s->ports_other = dlg_checked(&d, 111);
            s->first_port = read_int(&d, 112);
            s->last_port = read_int(&d, 113);
            s->ports_random = dlg_checked(&d, 114);
            s->ports_bind = dlg_checked(&d, 115);
            s->bind_address = page_first_word(dlg_text(&d, 116));
            return true;
        });
    }) == 1;
}

int subdialog_multiserver_run(QWidget* owner)
{
    SubdialogStaging* s = subdialog_staging();
    if (!s)
        return 0;
    return dlg_show_modal(owner, 203, [s](QDialog& d) {
        dlg_set_checked(&d, 108, s->label_network);
        dlg_set_checked(&d, 107, s->label_nick);
        dlg_set_checked(&d, 106, s->caption_network);
        dlg_set_checked(&d, 105, s->caption_nick);
        subdialog_wire_buttons(d, [s, &d] {
            s->label_network = dlg_checked(&d, 108);
            s->label_nick = dlg_checked(&d, 107);
            s->caption_network = dlg_checked(&d, 106);
            s->caption_nick = dlg_checked(&d, 105);
            return true;
        });
    }) == 1;
}

int subdialog_ssl_run(QWidget* owner)
{
    SubdialogStaging* s = subdialog_staging();
    if (!s)
        return 0;
    return dlg_show_modal(owner, 204, [s](QDialog& d) {
        if (auto* c = qobject_cast<QComboBox*>(dlg_item(&d, 101))) {
            for (const char* t : kSslShow)
                c->addItem(QString::fromUtf8(t));
            if (s->ssl_show < 0 || s->ssl_show > 2)
                s->ssl_show = 1;
            c->setCurrentIndex(s->ssl_show);
        }
        // File choices start in the folder of the first path that has one,
        // else in the program's folder.
        QString start = QCoreApplication::applicationDirPath();
        for (const std::string* p : {&s->ssl_cert, &s->ssl_key, &s->ssl_ca}) {
            const QString dir = QFileInfo(QString::fromStdString(*p)).absolutePath();
            if (!p->empty() && p->find('/') != std::string::npos && QFileInfo(dir).isDir()) {
                start = dir;
                break;
            }
        }
        wire_file_button(d, 102, s->ssl_cert, start);
        wire_file_button(d, 103, s->ssl_key, start);
        wire_file_button(d, 104, s->ssl_ca, start);
        if (QAbstractButton* clear = button(&d, 105)) {
            clear->setEnabled(ssl_cache_any() != 0);
            QObject::connect(clear, &QAbstractButton::clicked, &d, [clear] {
                ssl_cache_clear();
                clear->setEnabled(false);
            });
        }
        subdialog_wire_buttons(d, [s, &d] {
            if (auto* c = qobject_cast<QComboBox*>(dlg_item(&d, 101)))
                s->ssl_show = c->currentIndex();
            s->ssl_cert = file_button_path(&d, 102);
            s->ssl_key = file_button_path(&d, 103);
            s->ssl_ca = file_button_path(&d, 104);
            return true;
        });
    }) == 1;
}

int server_editor_run(QWidget* owner, const std::string& entry, std::string* out)
{
    out->clear();
    ServerEditorFields fields;
    if (!server_editor_fields(entry, &fields)) {
        beep_error(0);
        return 0;
    }
    std::string result;
    const int code = dlg_show_modal(owner, 60, [&](QDialog& d) {
        if (!entry.empty()) {
            d.setWindowTitle(QStringLiteral("Sunucuyu Düzenle"));
            if (QAbstractButton* b = button(&d, 1))
                b->setText(QStringLiteral("&Kaydet"));
        }
        dlg_set_text(&d, 130, fields.description);
        dlg_set_text(&d, 131, fields.server);
        dlg_set_text(&d, 132, fields.ports);
        dlg_set_text(&d, 133, fields.group);
        dlg_set_text(&d, 134, fields.password);
        subdialog_wire_buttons(d, [&d, &result] {
            ServerEditorFields f;
            f.description = dlg_text(&d, 130);
            f.server = dlg_text(&d, 131);
            f.ports = dlg_text(&d, 132);
            f.group = dlg_text(&d, 133);
            f.password = dlg_text(&d, 134);
            int empty = -1;
            result = server_editor_entry(f, &empty);
            if (empty >= 0) {
                if (QWidget* w = dlg_item(&d, 130 + empty))
                    w->setFocus();
                beep_error(0);
                return false;
            }
            return true;
        });
    });
    if (code != 1)
        return 0;
    *out = result;
    return 1;
}

void options_subdialogs_install()
{
    for (const DlgTemplate* t : kTemplates)
        dlg_template_register(*t);
}

void options_subdialogs_uninstall()
{
    for (const DlgTemplate* t : kTemplates)
        dlg_template_unregister(t->id);
    g_staging.reset();
}

void subdialog_wire_buttons(QDialog& d, std::function<bool()> ok)
{
    if (QAbstractButton* b = qobject_cast<QAbstractButton*>(dlg_item(&d, 1)))
        QObject::connect(b, &QAbstractButton::clicked, &d, [&d, ok] {
            if (ok())
                d.done(1);
        });
    if (QAbstractButton* b = qobject_cast<QAbstractButton*>(dlg_item(&d, 2)))
        QObject::connect(b, &QAbstractButton::clicked, &d, [&d] { d.done(0); });
}
