#include "dcc/dcc_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>

#include <deque>
#include <iterator>
#include <string>
#include <vector>

#include "app/file_dialogs.h"
#include "app/frame_menu.h"
#include "app/startup.h"
#include "app/tick.h"
#include "core/file_type_rules.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/numbered_texts.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "core/text_buffer.h"
#include "dcc/dcc_engine.h"
#include "dcc/download_folders.h"
#include "display/dialog_units.h"
#include "platform/app_messages.h"
#include "platform/platform_utils.h"
#include "script/exec/script_text.h"

int dcc_accept_no_activate_remembered = 0;

namespace {

// One control of a dialog template, placed in dialog units.
struct TemplateControl {
    int id;
    char kind;  // 'S' label, 'E' read-only field, 'C' editable combo, 'D' drop-down list, 'X' check box, 'B' button, 'L' link text
    const char* text;
    int x, y, w, h;
};

struct DialogTemplate {
    int id;
    const char* title;
    int width, height;
    const TemplateControl* controls;
    std::size_t count;
};

const TemplateControl k250[] = {
    {-1, 'S', "Gönderen:", 5, 9, 48, 8},
    {151, 'E', "", 54, 7, 196, 12},
    {-1, 'S', "Dosya:", 5, 25, 48, 8},
    {152, 'E', "", 54, 23, 196, 12},
    {-1, 'S', "Boyut:", 5, 41, 48, 8},
    {153, 'E', "", 54, 39, 196, 12},
    {-1, 'S', "Kaydet:", 5, 58, 48, 8},
    {154, 'C', "", 54, 56, 156, 13},
    {158, 'B', "&Gözat...", 214, 55, 36, 14},
    {157, 'X', "Pencereyi &etkinleştirme", 54, 75, 196, 10},
    {155, 'B', "&Kabul Et", 50, 92, 62, 14},
    {156, 'B', "&Reddet", 119, 92, 62, 14},
    {2, 'B', "İptal", 188, 92, 62, 14},
    {159, 'B', "", 0, 0, 0, 0},
};

const TemplateControl k320[] = {
    {-1, 'S', "Gönderen:", 5, 9, 48, 8},
    {160, 'E', "", 54, 7, 196, 12},
    {-1, 'S', "Dosya:", 5, 25, 48, 8},
    {152, 'E', "", 54, 23, 196, 12},
    {-1, 'S', "Boyut:", 5, 41, 48, 8},
    {162, 'E', "", 54, 39, 196, 12},
    {-1, 'S', "Bu dosya zaten var. Ne yapılsın?", 7, 58, 243, 8},
    {161, 'B', "&Devam Et", 50, 72, 62, 14},
    {1, 'B', "Ü&zerine Yaz", 119, 72, 62, 14},
    {2, 'B', "&Yeniden Adlandır", 188, 72, 62, 14},
};

const TemplateControl k825[] = {
    {-1, 'S', "Dosya tipi filtresi bir dosya gönderimini reddetti.", 7, 7, 220, 8},
    {101, 'L', "Dosya tipi filtresini değiştirmek için tıklayın", 7, 20, 220, 8},
    {102, 'X', "Bu uyarıyı bir daha &gösterme", 7, 36, 160, 10},
    {1, 'B', "Tamam", 172, 34, 55, 14},
};

const TemplateControl k815[] = {
    {101, 'S', "", 7, 7, 220, 26},
    {1, 'B', "Tamam", 103, 38, 55, 14},
    {2, 'B', "İptal", 165, 38, 55, 14},
};

const TemplateControl k820[] = {
    {-1, 'S', "Bu kullanıcı bilgisayarınızdaki bir klasöre erişebilecek:", 7, 7, 220, 8},
    {-1, 'S', "Nick:", 7, 21, 40, 8},
    {286, 'E', "", 50, 19, 177, 12},
    {-1, 'S', "Klasör:", 7, 37, 40, 8},
    {287, 'E', "", 50, 35, 177, 12},
    {288, 'X', "Bu uyarıyı her zaman &göster", 7, 53, 160, 10},
    {1, 'B', "Tamam", 47, 68, 55, 14},
    {2, 'B', "İptal", 109, 68, 55, 14},
    {9, 'B', "&Yardım", 171, 68, 55, 14},
};

const TemplateControl k330[] = {
    {-1, 'S', "Nick:", 5, 9, 48, 8},
    {152, 'C', "", 54, 7, 196, 13},
    {-1, 'S', "Dosya:", 5, 27, 48, 8},
    {120, 'E', "", 54, 25, 156, 12},
    {121, 'B', "&Gözat...", 214, 24, 36, 14},
    {-1, 'S', "Paket:", 5, 45, 48, 8},
    {154, 'D', "", 54, 43, 60, 13},
    {1, 'B', "&Gönder", 119, 64, 62, 14},
    {2, 'B', "İptal", 188, 64, 62, 14},
};

const DialogTemplate kT250{250, "DCC Dosya Al", 257, 113, k250, std::size(k250)};
const DialogTemplate kT320{320, "Dosya Zaten Var", 257, 93, k320, std::size(k320)};
const DialogTemplate kT825{825, "Dosya Tipi Uyarısı", 234, 55, k825, std::size(k825)};
const DialogTemplate kT330{330, "Kest DCC Send", 257, 85, k330, std::size(k330)};
const DialogTemplate kT815{815, "Uyarı", 234, 59, k815, std::size(k815)};
const DialogTemplate kT820{820, "File Server Uyarısı", 234, 88, k820, std::size(k820)};
bool g_fserve_warning_open = false;

QString qs(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }
std::string bytes_of(const QString& s) { return s.toUtf8().toStdString(); }

void build_template(QDialog& dialog, const DialogTemplate& t, const char* name)
{
    dialog.setObjectName(name);
    dialog.setProperty("template", t.id);
    dialog.setWindowTitle(QString::fromUtf8(t.title));
    const DialogBaseUnits base = dialog_base_units(dialog.font());
    auto rect = [&](int x, int y, int w, int h) { return dialog_units_rect(x, y, w, h, base); };
    for (std::size_t i = 0; i < t.count; ++i) {
        const TemplateControl& c = t.controls[i];
        QWidget* w = nullptr;
        const QString text = QString::fromUtf8(c.text);
        switch (c.kind) {
        case 'S': {
            auto* label = new QLabel(text, &dialog);
            label->setWordWrap(c.h > 10);
            w = label;
            break;
        }
        case 'L': {
            auto* label = new QLabel("<a href=\"options\">" + text.toHtmlEscaped() + "</a>", &dialog);
            label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
            w = label;
            break;
        }
        case 'E': {
            auto* edit = new QLineEdit(&dialog);
            edit->setReadOnly(true);
            w = edit;
            break;
        }
        case 'C': {
            auto* combo = new QComboBox(&dialog);
            combo->setEditable(true);
            combo->setInsertPolicy(QComboBox::NoInsert);
            w = combo;
            break;
        }
        case 'D':
            w = new QComboBox(&dialog);
            break;
        case 'X':
            w = new QCheckBox(text, &dialog);
            break;
        default: {
            auto* button = new QPushButton(text, &dialog);
            button->setAutoDefault(false);
            w = button;
            break;
        }
        }
        if (c.id > 0) {
            w->setObjectName(QString::number(c.id));
            dlg_set_item_id(w, c.id);
        }
        w->setGeometry(rect(c.x, c.y, c.w, c.h));
        if (c.w == 0)
            w->hide();
    }
    dialog.setFixedSize(rect(0, 0, t.width, t.height).size());
}

template <class T>
T* item(QDialog& d, int id)
{
    return d.findChild<T*>(QString::number(id));
}

void set_field(QDialog& d, int id, const std::string& text)
{
    if (auto* e = item<QLineEdit>(d, id))
        e->setText(qs(text));
}

QWidget* owner_or_frame(QWidget* owner)
{
    if (owner)
        return owner;
    QWidget* frame = frame_window.data();
    if (frame && (!frame->isVisible() || frame->isMinimized()))
        return nullptr;
    return frame;
}

std::string scaled(std::int64_t size)
{
    std::string out;
    num_format_bytes(static_cast<double>(size), out, 1, 0, 0, 0, 0);
    return out;
}

// The file requests' slot of the tick's countdowns: the dialog in it is
// cancelled when the count runs out.
TickDialog& request_slot() { return tick_request_dialogs[1]; }

int run_timed(QDialog& dialog)
{
    int seconds = opt(OPT_DCC_GET_CHAT_TIMEOUT);
    if (seconds < 5)
        seconds = 60;
    request_slot().window = &dialog;
    request_slot().countdown = seconds;
    const int result = dialog.exec();
    if (request_slot().window.data() == &dialog || !request_slot().window) {
        request_slot().window = nullptr;
        request_slot().countdown = 0;
    }
    return result;
}

int g_timeout_listener = 0;
int g_waiting_listener = 0;

// Offers waiting for the user, asked one at a time.
std::deque<int> g_waiting;
bool g_asking = false;

// Accepts the offer into the folder with the existing-file choice given
// (the option is switched for the call and put back).
void accept_with_choice(int id, const std::string& folder, int choice)
{
    const int saved = opt(OPT_DCC_FILE_EXISTS);
    opt_set(OPT_DCC_FILE_EXISTS, choice);
    dccget_accept(id, folder);
    opt_set(OPT_DCC_FILE_EXISTS, saved);
}

// Asks about one waiting offer: the accept dialog, then, for a file that
// exists, the exists dialog (a rename asks for the name again).
void ask_offer(int id)
{
    DccPendingOffer* p = dccget_pending(id);
    if (!p)
        return;
    DccAcceptOffer offer;
    offer.nick = p->nick;
    offer.address = p->offer.address_text;
    offer.file = p->offer.file;
    offer.size = p->offer.size;
    offer.folder = p->folder;
    offer.folder_chosen = !p->folder.empty();
    for (;;) {
        const int answer = dccget_accept_dialog(nullptr, offer);
        // The offer may have gone while the dialog was open.
        p = dccget_pending(id);
        if (!p)
            return;
        if (answer == kDccAcceptReject || answer == kDccAcceptCancel) {
            dccget_refuse(id);
            return;
        }
        p->offer.file = offer.file;
        const std::string path = offer.folder + offer.file;
        int choice = opt(OPT_DCC_FILE_EXISTS);
        if (file_exists(path, 1) && choice == 0) {
            DccExistsQuery q;
            q.nick = offer.nick;
            q.address = offer.address;
            q.folder = offer.folder;
            q.file = offer.file;
            q.offered = offer.size;
            const int exists = dccget_exists_dialog(nullptr, q);
            p = dccget_pending(id);
            if (!p)
                return;
            if (!exists) {
                offer.folder_chosen = true;
                continue;  // another name
            }
            choice = q.resume > 0 ? 1 : 2;
        }
        accept_with_choice(id, offer.folder, choice);
        return;
    }
}

void offer_waiting(int id)
{
    g_waiting.push_back(id);
    if (g_asking)
        return;
    g_asking = true;
    while (!g_waiting.empty()) {
        const int next = g_waiting.front();
        g_waiting.pop_front();
        ask_offer(next);
    }
    g_asking = false;
}
int g_filetype_handler_set = 0;
bool g_filetype_open = false;

// The path in the combo split into folder (ending in "/", empty when none)
// and file name.
void split_path(const std::string& path, std::string& folder, std::string& name)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        folder.clear();
        name = path;
    } else {
        folder = path.substr(0, slash + 1);
        name = path.substr(slash + 1);
    }
}

std::string with_slash(std::string f)
{
    if (!f.empty() && f.back() != '/')
        f += '/';
    return f;
}

// Accept (155): the combo's path becomes the get's name and folder; a folder
// that does not exist keeps the dialog open.
bool accept_choice(QDialog& d, DccAcceptOffer& offer, const std::string& rule_folder, int options)
{
    auto* combo = item<QComboBox>(d, 154);
    const std::string path = combo ? text_trim_blanks(bytes_of(combo->currentText())) : std::string();
    if (path.empty()) {
        beep_error(0);
        return false;
    }
    std::string folder, name;
    split_path(path, folder, name);
    std::string clean;
    if (!dcc_clean_file_name(name, clean)) {
        beep_error(0);
        return false;
    }
    if (folder.empty())
        folder = rule_folder;
    if (!folder.empty() && folder[0] != '/')
        file_abs_settings_dir(folder);
    folder = with_slash(folder);
    if (options) {
        offer.folder_chosen = true;
        file_make_dir(folder);
    }
    std::string resolved = folder;
    if (!file_exists(folder, 2) || !file_long_path(resolved) || with_slash(resolved) != folder) {
        beep_error(0);
        return false;
    }
    offer.file = clean;
    offer.folder = folder;
    auto* box = item<QCheckBox>(d, 157);
    dcc_accept_no_activate_remembered = box && box->isChecked() ? 1 : 0;
    offer.no_activate = dcc_accept_no_activate_remembered != 0;
    return true;
}

// Menu 151: the send dialog for the active window's connection.
int menu_send_file(int, intptr_t)
{
    QWidget* active = win_active.get();
    WindowRecord* rec = active ? win_record_of(active) : nullptr;
    Connection* conn = rec && conn_is_live(rec->conn) ? rec->conn : conn_list;
    dcc_send_dialog(conn, std::string());
    return 1;
}

intptr_t filetype_warning_message(uintptr_t, intptr_t)
{
    dcc_filetype_warning_open(nullptr);
    return 0;
}

bool filetype_warning_on()
{
    std::string v;
    ini_read("warn", "filetype", "on", v, 256, main_ini_path);
    return !text_equal_nocase(v, "off");
}

}  // namespace

int dccget_accept_dialog(QWidget* owner, DccAcceptOffer& offer)
{
    QDialog dialog(owner_or_frame(owner));
    build_template(dialog, kT250, kDccAcceptDialogName);
    set_field(dialog, 151, offer.nick + " (" + offer.address + ")");
    set_field(dialog, 152, offer.file);
    set_field(dialog, 153, offer.size < 0 ? std::string(text_load_string(1910)) : scaled(offer.size));
    if (auto* box = item<QCheckBox>(dialog, 157))
        box->setChecked(dcc_accept_no_activate_remembered != 0);

    // The save-as path: a folder chosen before, else the rules' folder (in
    // the nick's subfolder when the rule asks for it).
    std::string rule_folder;
    int options = 0;
    dcc_folder_for_file(offer.file, rule_folder, 0, &options);
    if (options)
        rule_folder = dcc_nick_folder(rule_folder, offer.nick);
    const std::string start = offer.folder_chosen && !offer.folder.empty() ? with_slash(offer.folder) : rule_folder;
    auto* combo = item<QComboBox>(dialog, 154);
    if (combo) {
        std::vector<std::string> seen;
        for (const std::string& rule : file_type_rules_read()) {
            const std::string f = file_type_rule_folder(rule);
            if (!file_exists(f, 2))
                continue;
            bool dup = false;
            for (const std::string& s : seen)
                dup = dup || file_same_path(s, f);
            if (dup)
                continue;
            seen.push_back(f);
            combo->addItem(qs(f));
        }
        combo->setCurrentIndex(-1);
        combo->setEditText(qs(start + offer.file));
        // Picking a folder keeps the typed name behind it.
        QObject::connect(combo, QOverload<int>::of(&QComboBox::activated), &dialog, [combo](int index) {
            std::string folder, name;
            split_path(bytes_of(combo->lineEdit()->text()), folder, name);
            (void)folder;
            const std::string picked = with_slash(bytes_of(combo->itemText(index)));
            combo->setEditText(qs(picked + name));
        });
        QObject::connect(combo->lineEdit(), &QLineEdit::returnPressed, &dialog, [&dialog] {
            if (auto* def = item<QPushButton>(dialog, 159))
                def->click();
        });
    }
    auto accept = [&] {
        if (accept_choice(dialog, offer, rule_folder, options))
            dialog.done(kDccAcceptYes);
    };
    if (auto* b = item<QPushButton>(dialog, 155))
        QObject::connect(b, &QPushButton::clicked, &dialog, accept);
    if (auto* b = item<QPushButton>(dialog, 159)) {
        b->setDefault(true);
        QObject::connect(b, &QPushButton::clicked, &dialog, accept);
    }
    if (auto* b = item<QPushButton>(dialog, 156))
        QObject::connect(b, &QPushButton::clicked, &dialog, [&dialog] { dialog.done(kDccAcceptReject); });
    if (auto* b = item<QPushButton>(dialog, 2))
        QObject::connect(b, &QPushButton::clicked, &dialog, [&dialog] { dialog.done(kDccAcceptCancel); });
    if (auto* b = item<QPushButton>(dialog, 158)) {
        QObject::connect(b, &QPushButton::clicked, &dialog, [&dialog, combo, &rule_folder] {
            std::string path = combo ? bytes_of(combo->currentText()) : std::string();
            if (path.empty())
                path = rule_folder + "*.*";
            std::vector<std::string> chosen;
            if (file_dialog_run(&dialog, kFileDialogFile, path, text_load_string(5103), std::string(), chosen) == 1 &&
                !chosen.empty() && combo)
                combo->setEditText(qs(chosen[0]));
        });
    }
    const int result = run_timed(dialog);
    return result == kDccAcceptYes || result == kDccAcceptReject ? result : kDccAcceptCancel;
}

int dccget_exists_dialog(QWidget* owner, DccExistsQuery& query)
{
    std::uint64_t existing = 0;
    const std::string path = with_slash(query.folder) + query.file;
    const bool readable = file_size64(path, existing) != 0;
    if (readable && opt(OPT_DCC_SEND_REQUESTS) == 1 && opt(OPT_DCC_FILE_EXISTS) == 1) {
        query.resume = static_cast<std::int64_t>(existing);
        return 1;
    }
    QDialog dialog(owner_or_frame(owner));
    build_template(dialog, kT320, kDccExistsDialogName);
    set_field(dialog, 160, query.nick + " (" + query.address + ")");
    set_field(dialog, 152, path);
    std::string size_text;
    if (!readable) {
        size_text = text_load_string(1903);
        if (auto* b = item<QPushButton>(dialog, 161)) {
            b->hide();
            b->setEnabled(false);
        }
    } else {
        size_text = scaled(static_cast<std::int64_t>(existing));
        if (query.offered >= 0)
            size_text += " (of " + scaled(query.offered) + ")";
    }
    set_field(dialog, 162, size_text);
    enum { kRename = 10, kResume, kOverwrite };
    const struct {
        int id;
        int code;
    } buttons[] = {{161, kResume}, {1, kOverwrite}, {2, kRename}};
    for (const auto& b : buttons)
        if (auto* w = item<QPushButton>(dialog, b.id)) {
            const int code = b.code;
            QObject::connect(w, &QPushButton::clicked, &dialog, [&dialog, code] { dialog.done(code); });
        }
    const int result = run_timed(dialog);
    switch (result) {
    case kResume:
        query.resume = readable ? static_cast<std::int64_t>(existing) : 0;
        return 1;
    case kOverwrite:
        query.resume = 0;
        return 1;
    case kRename:
        query.resume = 0;
        query.file.clear();
        return 0;
    default:
        return 0;
    }
}

std::vector<std::string> dcc_recent_nicks()
{
    std::vector<std::string> nicks;
    for (int i = 0; i < kDccRecentNicksMax; ++i) {
        std::string n;
        ini_read("dccnicks", ("n" + std::to_string(i)).c_str(), "", n, 256, main_ini_path);
        if (n.empty())
            break;
        nicks.push_back(n);
    }
    return nicks;
}

void dcc_remember_nick(const std::string& nick)
{
    std::vector<std::string> nicks = dcc_recent_nicks();
    std::vector<std::string> kept{nick};
    for (const std::string& n : nicks)
        if (!text_equal_nocase(n, nick) && kept.size() < static_cast<std::size_t>(kDccRecentNicksMax))
            kept.push_back(n);
    for (std::size_t i = 0; i < kept.size(); ++i)
        ini_write("dccnicks", ("n" + std::to_string(i)).c_str(), kept[i].c_str(), main_ini_path);
    ini_delete_numbered_from("dccnicks", "n", static_cast<int>(kept.size()), main_ini_path);
}

int dcc_send_dialog(Connection* conn, const std::string& nick_given)
{
    QDialog dialog(owner_or_frame(nullptr));
    build_template(dialog, kT330, kDccSendDialogName);
    auto* nicks = item<QComboBox>(dialog, 152);
    auto* sizes = item<QComboBox>(dialog, 154);
    if (!nicks || !sizes)
        return 0;
    for (const std::string& n : dcc_recent_nicks())
        nicks->addItem(qs(n));
    nicks->setEditText(qs(nick_given));
    for (int size = 512; size <= 65536; size *= 2)
        sizes->addItem(QString::number(size));
    sizes->setCurrentText(QString::number(dccsend_block_size(opt(OPT_DCC_PACKET_SIZE))));
    std::vector<std::string> files;
    auto* field = item<QLineEdit>(dialog, 120);
    if (auto* browse = item<QPushButton>(dialog, 121))
        QObject::connect(browse, &QPushButton::clicked, &dialog, [&dialog, &files, field] {
            std::string start = main_settings.send_dir.empty() ? settings_dir : main_settings.send_dir;
            std::vector<std::string> chosen;
            if (file_dialog_run(&dialog, kFileDialogFiles, start + "*.*", "Kest DCC Send", std::string(), chosen) != 1)
                return;
            files = chosen;
            std::string shown;
            for (const std::string& f : files)
                shown += (shown.empty() ? "" : " ") + f;
            field->setText(qs(shown));
        });
    std::string nick;
    if (auto* ok = item<QPushButton>(dialog, 1)) {
        ok->setDefault(true);
        QObject::connect(ok, &QPushButton::clicked, &dialog, [&] {
            nick = text_trim_blanks(bytes_of(nicks->currentText()).substr(0, 256));
            if (nick.empty()) {
                nicks->setFocus();
                beep_error(0);
                return;
            }
            // A path typed by hand stands for one file.
            if (files.empty() && field && !text_trim_blanks(bytes_of(field->text())).empty())
                files.push_back(text_trim_blanks(bytes_of(field->text())));
            if (files.empty()) {
                if (field)
                    field->setFocus();
                beep_error(0);
                return;
            }
            dialog.done(1);
        });
    }
    if (auto* cancel = item<QPushButton>(dialog, 2))
        QObject::connect(cancel, &QPushButton::clicked, &dialog, [&dialog] { dialog.done(0); });
    if (dialog.exec() != 1)
        return 0;
    dcc_remember_nick(nick);
    opt_set(OPT_DCC_PACKET_SIZE, dccsend_block_size(sizes->currentText().toInt()));
    // The connection may have gone while the dialog was open.
    if (!conn_is_live(conn))
        return 0;
    int started = 0;
    for (const std::string& path : files) {
        DccSendRequest request;
        request.conn = conn;
        request.nick = nick;
        request.path = path;
        started += dccsend_start(request);
    }
    return started;
}

int dcc_filetype_warning_open(const char* name)
{
    if (!filetype_warning_on() || g_filetype_open)
        return 0;
    if (name)
        return post_app_message(WM_APP_FILETYPE_WARNING, 0, 0) ? 1 : 0;
    QDialog dialog(owner_or_frame(nullptr));
    build_template(dialog, kT825, kDccFiletypeDialogName);
    bool to_options = false;
    if (auto* link = item<QLabel>(dialog, 101))
        QObject::connect(link, &QLabel::linkActivated, &dialog, [&dialog, &to_options] {
            to_options = true;
            dialog.done(1);
        });
    if (auto* ok = item<QPushButton>(dialog, 1)) {
        ok->setDefault(true);
        QObject::connect(ok, &QPushButton::clicked, &dialog, [&dialog] { dialog.done(1); });
    }
    g_filetype_open = true;
    dialog.exec();
    g_filetype_open = false;
    if (auto* box = item<QCheckBox>(dialog, 102))
        ini_write("warn", "filetype", box->isChecked() ? "off" : "on", main_ini_path);
    if (to_options && frame_window)
        frame_on_command(frame_window.data(), 159, 7);
    return 1;
}

int dcc_dangerous_file_dialog(QWidget* owner, const std::string& file)
{
    QDialog dialog(owner_or_frame(owner));
    build_template(dialog, kT815, kDccDangerDialogName);
    if (auto* text = item<QLabel>(dialog, 101))
        text->setText(qs(text_fill_id(5568, {file})));
    if (auto* b = item<QPushButton>(dialog, 1))
        QObject::connect(b, &QPushButton::clicked, &dialog, [&dialog] { dialog.done(1); });
    if (auto* b = item<QPushButton>(dialog, 2)) {
        b->setDefault(true);
        QObject::connect(b, &QPushButton::clicked, &dialog, [&dialog] { dialog.done(0); });
    }
    return dialog.exec() == 1 ? 1 : 0;
}

int fserve_warning_dialog(QWidget* owner, const std::string& nick, const std::string& home)
{
    if (g_fserve_warning_open)
        return -1;
    QDialog dialog(owner_or_frame(owner));
    build_template(dialog, kT820, kDccFserveWarningDialogName);
    for (auto [id, text] : {std::pair{286, &nick}, std::pair{287, &home}})
        if (auto* e = item<QLineEdit>(dialog, id)) {
            e->setText(qs(*text));
            e->setReadOnly(true);
        }
    auto* box = item<QCheckBox>(dialog, 288);
    if (box)
        box->setChecked(main_settings.warn_fserve != 0);
    if (auto* b = item<QPushButton>(dialog, 1)) {
        b->setDefault(true);
        QObject::connect(b, &QPushButton::clicked, &dialog, [&dialog] { dialog.done(1); });
    }
    if (auto* b = item<QPushButton>(dialog, 2))
        QObject::connect(b, &QPushButton::clicked, &dialog, [&dialog] { dialog.done(0); });
    if (auto* b = item<QPushButton>(dialog, 9))
        QObject::connect(b, &QPushButton::clicked, &dialog, [] { help_open("", "", 370); });
    g_fserve_warning_open = true;
    const int result = dialog.exec() == 1 ? 1 : 0;
    g_fserve_warning_open = false;
    if (box) {
        main_settings.warn_fserve = box->isChecked() ? 1 : 0;
        ini_write("warn", "fserve", main_settings.warn_fserve ? "on" : "off", main_ini_path);
    }
    return result;
}

void dcc_dialogs_install()
{
    tick_request_timed_out.add_once(g_timeout_listener, kTimedOutDccDialogs, [](QWidget* w) {
        auto* d = qobject_cast<QDialog*>(w);
        if (d && (d->objectName() == kDccAcceptDialogName || d->objectName() == kDccExistsDialogName))
            d->done(0);
    });
    dcc_offer_waiting.add_once(g_waiting_listener, kOfferWaitingDialog, offer_waiting);
    frame_menu_command_register(151, menu_send_file);
    if (!g_filetype_handler_set)
        g_filetype_handler_set = frame_set_handler(WM_APP_FILETYPE_WARNING, filetype_warning_message);
}

void dcc_dialogs_uninstall()
{
    tick_request_timed_out.drop(g_timeout_listener);
    dcc_offer_waiting.drop(g_waiting_listener);
    frame_menu_command_register(151, nullptr);
    if (g_filetype_handler_set) {
        frame_set_handler(WM_APP_FILETYPE_WARNING, nullptr);
        g_filetype_handler_set = 0;
    }
}
