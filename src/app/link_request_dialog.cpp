#include "app/link_request_dialog.h"

#include <cstdlib>

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>

#include <iterator>

#include "model/connection.h"
#include "display/dialog_units.h"
#include "app/frame_proc.h"
#include "app/startup.h"
#include "platform/app_messages.h"
#include "script/exec/script_types.h"

namespace {

// One control of a dialog template: id (-1 for a plain label), kind,
// text, and its place in dialog units (a quarter of the average character
// width across, an eighth of the line height down).
struct TemplateControl {
    int id;
    char kind;  // 'S' label, 'E' read-only field, 'B' button
    const char* text;
    int x, y, w, h;
};

struct DialogTemplate {
    int id;
    int width, height;
    const TemplateControl* controls;
    std::size_t count;
};

// 585: the link names a channel.
const TemplateControl k585[] = {
    {-1, 'S', "Şu Anki Sunucu:", 7, 9, 68, 8},
    {101, 'E', "", 78, 7, 153, 12},
    {-1, 'S', "İstenen Sunucu:", 7, 25, 68, 8},
    {102, 'E', "", 78, 23, 153, 12},
    {-1, 'S', "Kanal:", 7, 41, 68, 8},
    {103, 'E', "", 78, 39, 153, 12},
    {104, 'B', "&Sunucu Değiştir", 7, 60, 72, 14},
    {105, 'B', "&Bu Sunucuda Katıl", 83, 60, 72, 14},
    {106, 'B', "&Yeni Bağlantı", 159, 60, 72, 14},
};

// 586: the link names no channel.
const TemplateControl k586[] = {
    {-1, 'S', "Şu Anki Sunucu:", 7, 9, 68, 8},
    {101, 'E', "", 78, 7, 153, 12},
    {-1, 'S', "İstenen Sunucu:", 7, 25, 68, 8},
    {102, 'E', "", 78, 23, 153, 12},
    {104, 'B', "&Sunucu Değiştir", 7, 44, 72, 14},
    {105, 'B', "&Bu Sunucuda Katıl", 83, 44, 72, 14},
    {106, 'B', "&Yeni Bağlantı", 159, 44, 72, 14},
};

const DialogTemplate kTemplates[] = {
    {585, 238, 81, k585, std::size(k585)},
    {586, 238, 65, k586, std::size(k586)},
};

const char* const kTitle = "Bağlantı İsteği";

// Builds the template's controls into the dialog; each control's object
// name is its id.
void build_template(QDialog& dialog, const DialogTemplate& t)
{
    const DialogBaseUnits base = dialog_base_units(dialog.font());
    auto rect = [&](int x, int y, int w, int h) { return dialog_units_rect(x, y, w, h, base); };
    for (std::size_t i = 0; i < t.count; ++i) {
        const TemplateControl& c = t.controls[i];
        QWidget* w = nullptr;
        const QString text = QString::fromUtf8(c.text);
        if (c.kind == 'S') {
            w = new QLabel(text, &dialog);
        } else if (c.kind == 'E') {
            auto* edit = new QLineEdit(text, &dialog);
            edit->setReadOnly(true);
            w = edit;
        } else {
            auto* button = new QPushButton(text, &dialog);
            // A stray Enter must not follow a link: no default button.
            button->setAutoDefault(false);
            button->setDefault(false);
            w = button;
        }
        if (c.id > 0)
            w->setObjectName(QString::number(c.id));
        w->setGeometry(rect(c.x, c.y, c.w, c.h));
    }
    dialog.setFixedSize(rect(0, 0, t.width, t.height).size());
}

void set_field(QDialog& dialog, int id, const std::string& text)
{
    if (auto* edit = dialog.findChild<QLineEdit*>(QString::number(id)))
        edit->setText(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
}

// The request waiting for the frame's message (a later one replaces it
// until it is shown), and whether a dialog is shown.
LinkRequest g_request;
int g_conn_id = 0;
bool g_pending = false;
bool g_showing = false;

} // namespace

int link_request_dialog(const std::string& current_server, const LinkRequest& request)
{
    const DialogTemplate& t = request.channel.empty() ? kTemplates[1] : kTemplates[0];
    QWidget* owner = frame_window.data();
    if (owner && (!owner->isVisible() || owner->isMinimized()))
        owner = nullptr;
    QDialog dialog(owner);
    dialog.setObjectName(kLinkRequestDialogName);
    dialog.setProperty("template", t.id);
    dialog.setWindowTitle(QString::fromUtf8(kTitle));
    build_template(dialog, t);
    set_field(dialog, 101, current_server);
    set_field(dialog, 102, request.server);
    set_field(dialog, 103, request.channel);
    const struct {
        int id;
        int result;
    } choices[] = {{104, kLinkRequestChangeServer}, {105, kLinkRequestJoinHere}, {106, kLinkRequestNewConnection}};
    for (const auto& c : choices) {
        auto* button = dialog.findChild<QPushButton*>(QString::number(c.id));
        if (!button)
            continue;
        const int result = c.result;
        QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, result] { dialog.done(result); });
    }
    // Without a channel there is nothing to join on the current server.
    if (auto* join = dialog.findChild<QPushButton*>("105"))
        join->setEnabled(!request.channel.empty());
    const int result = dialog.exec();
    return result >= kLinkRequestChangeServer && result <= kLinkRequestNewConnection ? result : kLinkRequestNone;
}

namespace {

bool has_control(const std::string& text)
{
    for (unsigned char ch : text)
        if (ch < ' ' || ch == 0x7F)
            return true;
    return false;
}

// One word: no blanks, no control characters, not read as a switch.
bool word_ok(const std::string& text)
{
    return !has_control(text) && text.find(' ') == std::string::npos && (text.empty() || text[0] != '-');
}

}  // namespace

int link_request_fields_valid(const LinkRequest& r)
{
    if (!word_ok(r.server) || !word_ok(r.password) || !word_ok(r.port))
        return 0;
    // The port: digits only, 1 to 65535 (needed with a server).
    if (!r.server.empty() || !r.port.empty()) {
        if (r.port.empty() || r.port.size() > 5 || r.port.find_first_not_of("0123456789") != std::string::npos)
            return 0;
        const long port = std::strtol(r.port.c_str(), nullptr, 10);
        if (port < 1 || port > 65535)
            return 0;
    }
    // The channel, and a key after one blank: neither read as a switch.
    if (has_control(r.channel))
        return 0;
    const std::size_t blank = r.channel.find(' ');
    if (blank != std::string::npos) {
        const std::string key = r.channel.substr(blank + 1);
        if (blank == 0 || !word_ok(key) || key.empty())
            return 0;
    }
    return r.channel.empty() || r.channel[0] != '-' ? 1 : 0;
}

std::string link_request_command(int result, const LinkRequest& r)
{
    if (!link_request_fields_valid(r))
        return std::string();
    if (result == kLinkRequestJoinHere)
        return r.channel.empty() ? std::string() : "/join " + r.channel;
    if (result != kLinkRequestChangeServer && result != kLinkRequestNewConnection)
        return std::string();
    const std::string server = result == kLinkRequestNewConnection ? "/!.server -m " : "/!.server ";
    if (r.server.empty())
        return server + "-j " + r.channel;
    if (!r.password.empty())
        return server + r.server + " " + r.port + " " + r.password + " -l -j " + r.channel;
    return server + r.server + " " + r.port + " -l -j " + r.channel;
}

int link_request_post(const LinkRequest& request, Connection* conn)
{
    if (g_showing || !conn_is_live(conn))
        return 0;
    g_request = request;
    g_conn_id = conn->id;
    g_pending = true;
    if (!post_app_message(WM_APP_OPTIONS_REQUEST, 0, 0)) {
        g_pending = false;
        return 0;
    }
    return 1;
}

intptr_t link_request_open(uintptr_t, intptr_t)
{
    if (!g_pending || g_showing)
        return 0;
    g_pending = false;
    const LinkRequest request = g_request;
    const int conn_id = g_conn_id;
    Connection* conn = conn_by_id(conn_id);
    int result = kLinkRequestNone;
    if (conn_is_live(conn)) {
        const std::string current = conn->server_name.empty() ? conn->stored_identity[5] : conn->server_name;
        g_showing = true;
        result = link_request_dialog(current, request);
        g_showing = false;
    }
    // The connection may have gone while the dialog was open.
    conn = conn_by_id(conn_id);
    const std::string command = link_request_command(result, request);
    if (command.empty() || !conn_is_live(conn))
        return 0;
    QWidget* window = conn->status_window.data();
    script_exec_line(window, command.c_str(), nullptr, 0, nullptr, nullptr, conn);
    return result;
}

void link_request_install()
{
    frame_set_handler(WM_APP_OPTIONS_REQUEST, link_request_open);
}
