#include "tools/url_list_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "app/file_dialogs.h"
#include "app/frame_menu.h"
#include "app/popup_menus.h"
#include "app/window_open.h"
#include "app/window_ops.h"
#include "bars/toolbar_buttons.h"
#include "core/ini.h"
#include "core/list_sort.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_limits.h"
#include "display/child_controls.h"
#include "display/editbox.h"
#include "display/input_procs.h"
#include "display/window_queries.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "platform/platform_utils.h"
#include "tools/url_catcher.h"

namespace {

QString numbered(int id)
{
    return QString::fromUtf8(text_load_string(id));
}

QString qs(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

std::string utf8(const QString& s)
{
    return s.toUtf8().toStdString();
}

QListWidget* list_of(WindowRecord* rec)
{
    return rec && win_is_record(rec) ? rec->listbox.get() : nullptr;
}

std::string lowered(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string g_filter;   // the find dialog's text the window was last filled with

// The entry of a list line (its address after "URL:").
StringNode* entry_of_line(const QString& line)
{
    const std::string text = utf8(line);
    const std::size_t at = text.find("URL:");
    return at == std::string::npos ? nullptr : url_find(text.substr(at + 4), 1);
}

// The selected lines, in list order.
std::vector<int> selected_rows(QListWidget* list)
{
    std::vector<int> rows;
    for (int i = 0; list && i < list->count(); ++i)
        if (list->item(i)->isSelected())
            rows.push_back(i);
    return rows;
}

std::vector<StringNode*> selected_entries(QListWidget* list)
{
    std::vector<StringNode*> out;
    for (int row : selected_rows(list))
        if (StringNode* e = entry_of_line(list->item(row)->text()))
            out.push_back(e);
    return out;
}

void open_entry(const StringNode* entry)
{
    std::string address = url_entry_address(entry->text);
    // Blanks inside an address are collapsed away.
    address.erase(std::remove(address.begin(), address.end(), ' '), address.end());
    url_open(address, 0, url_entry_state(entry->text) == '?' ? 1 : 0);
}

void on_double_click(QListWidgetItem* item)
{
    if (!item)
        return;
    if (StringNode* e = entry_of_line(item->text()))
        open_entry(e);
}

void edit_entries(WindowRecord* rec, int id)
{
    QListWidget* list = list_of(rec);
    std::vector<StringNode*> chosen = selected_entries(list);
    int mode = 0;
    char state = '?';
    std::string description, address;
    if (id == 7001) {
        if (chosen.empty()) {
            beep_error(0);
            return;
        }
        mode = chosen.size() > 1 ? 2 : 1;
        if (mode == 1) {
            state = url_entry_state(chosen.front()->text);
            description = url_entry_description(chosen.front()->text);
            address = url_entry_address(chosen.front()->text);
        }
    }
    const std::string old_address = address;
    std::vector<std::string> several;
    for (StringNode* e : chosen)
        several.push_back(url_entry_address(e->text));
    QDialog* dialog = url_entry_dialog_create(rec ? rec->hwnd.get() : nullptr, mode, state, description, address);
    const int answer = dialog->exec();
    if (answer == QDialog::Accepted)
        url_entry_dialog_result(dialog, &state, &description, &address);
    delete dialog;
    if (answer != QDialog::Accepted)
        return;
    if (mode == 2) {
        // Several lines: only their state characters change.
        for (const std::string& a : several)
            if (StringNode* e = url_find(a, 1); e && !e->text.empty())
                e->text[0] = state;
        url_list_touch();
        url_list_sort();
        url_list_refill(g_filter);
        return;
    }
    url_set_entry(state, description, address, mode == 1 ? old_address : std::string());
    if (QListWidget* l = list_of(url_list_window()))
        for (int i = 0; i < l->count(); ++i)
            if (entry_of_line(l->item(i)->text()) == url_find(address, 1)) {
                l->setCurrentRow(i, QItemSelectionModel::ClearAndSelect);
                break;
            }
}

void delete_entries(WindowRecord* rec)
{
    QListWidget* list = list_of(rec);
    std::vector<StringNode*> chosen = selected_entries(list);
    if (chosen.empty()) {
        beep_error(0);
        return;
    }
    if (QMessageBox::question(rec->hwnd.get(), numbered(1920), numbered(1906),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    std::vector<std::string> addresses;
    for (StringNode* e : chosen)
        addresses.push_back(url_entry_address(e->text));
    for (auto it = addresses.rbegin(); it != addresses.rend(); ++it)
        if (StringNode* e = url_find(*it, 1))
            url_remove(e);
}

void copy_entries(WindowRecord* rec)
{
    std::string text;
    for (StringNode* e : selected_entries(list_of(rec))) {
        const std::string part = (text.empty() ? "" : "\r\n") + url_entry_address(e->text);
        if (text.size() + part.size() > kLongText)
            break;
        text += part;
    }
    if (text.empty() || !clip_set_text(rec, text, 0))
        beep_error(0);
}

void send_entries(WindowRecord* rec, int target)
{
    WindowRecord* to = win_record_by_id(target);
    std::vector<StringNode*> chosen = selected_entries(list_of(rec));
    if (!to || !to->hwnd.get() || chosen.empty() || !conn_is_live(to->conn)) {
        beep_error(0);
        return;
    }
    std::vector<std::string> lines;
    for (StringNode* e : chosen) {
        const std::string address = url_entry_address(e->text);
        const std::string description = url_entry_description(e->text);
        if (address.empty())
            continue;
        lines.push_back(opt(OPT_URL_SEND_DESCRIPTION) && description != address ? description + " " + address
                                                                                : address);
    }
    if (lines.empty()) {
        beep_error(0);
        return;
    }
    // The sent addresses are not caught again.
    const int catching = opt(OPT_CATCH_URLS);
    opt_set(OPT_CATCH_URLS, 0);
    for (const std::string& line : lines) {
        if (!win_is_record(to) || !to->hwnd.get() || !conn_is_live(to->conn))
            break;
        editbox_run_typed_line(to->hwnd.get(), line, 3, to->conn);
    }
    opt_set(OPT_CATCH_URLS, catching);
}

void load_file(WindowRecord* rec)
{
    url_save_list(0);
    std::vector<std::string> chosen;
    if (file_dialog_run(rec ? rec->hwnd.get() : nullptr, kFileDialogFile, url_list_file(), text_load_string(5101),
                        "", chosen) != 1 ||
        chosen.empty())
        return;
    url_list_load(chosen.front());
}

void save_file_as(WindowRecord* rec)
{
    std::vector<std::string> chosen;
    if (file_dialog_run(rec ? rec->hwnd.get() : nullptr, kFileDialogFile, url_list_file(), text_load_string(5103),
                        "", chosen) != 1 ||
        chosen.empty())
        return;
    main_settings.urls_file = chosen.front();
    url_list_touch();
    url_save_list(0);
    if (WindowRecord* w = url_list_window())
        win_op_set_title(w->hwnd.get(), url_list_title());
}

void find_in_list(WindowRecord* rec)
{
    bool ok = false;
    const QString text = QInputDialog::getText(rec ? rec->hwnd.get() : nullptr, numbered(3827).remove('&'),
                                               QString(), QLineEdit::Normal, qs(g_filter), &ok);
    if (ok)
        url_list_refill(utf8(text).substr(0, kMediumText));
}

// The Insert and Delete keys of the list.
void on_list_key(int id, WindowRecord* rec)
{
    if (rec && rec->type == kWinUrls)
        menu_urls_command(id, rec);
}

int on_popup(WindowRecord* rec, const QPoint& point)
{
    if (!rec || rec->type != kWinUrls || !rec->hwnd.get())
        return 0;
    QMenu* menu = url_popup_build(rec);
    QWidget* window = rec->hwnd.get();
    const QPoint at = point.isNull() ? window->mapToGlobal(window->rect().center()) : point;
    QAction* chosen = menu->exec(at);
    const int id = chosen && chosen->data().isValid() ? chosen->data().toInt() : 0;
    const int target = chosen ? chosen->property("kestTarget").toInt() : 0;
    delete menu;
    if (id && win_is_record(rec))
        menu_urls_command(id, rec, target);
    return 1;
}

// The popup of an address in a window's text: open, open in a new browser
// window, copy.
int on_address_popup(QWidget* window, const std::string& address, const QPoint& point)
{
    if (address.empty())
        return 0;
    QMenu* menu = url_address_popup_build(window);
    QAction* chosen = menu->exec(point);
    const int id = chosen && chosen->data().isValid() ? chosen->data().toInt() : 0;
    delete menu;
    if (id)
        menu_url_hotlink_command(id, address);
    return 1;
}

int menu_urls(int, intptr_t)
{
    url_list_toggle();
    return 1;
}

int menu_stored_page(int id, intptr_t)
{
    url_open_stored_page(id == 192 ? 2 : 3);
    return 1;
}

int marked_first()
{
    return opt(OPT_URL_NEW_AT_TOP) ? 1 : 0;
}

}  // namespace

WindowRecord* url_list_window()
{
    return win_find_by_type(kWinUrls, nullptr);
}

std::string url_list_title()
{
    const QFileInfo info(qs(url_list_file()));
    return "Urls List [" + utf8(info.fileName()) + "]";
}

void url_list_refill(const std::string& filter)
{
    g_filter = filter;
    url_list_sort();
    WindowRecord* rec = url_list_window();
    QListWidget* list = list_of(rec);
    if (!list)
        return;
    const std::string want = lowered(filter);
    list->setUpdatesEnabled(false);
    list->clear();
    for (StringNode* p = main_settings.url_list; p; p = p->next)
        if (want.empty() || lowered(url_entry_description(p->text)).find(want) != std::string::npos)
            list->addItem(qs(url_entry_line(p->text)));
    list->setUpdatesEnabled(true);
    win_op_set_title(rec->hwnd.get(), url_list_title());
}

void url_list_window_inserted(int n, const std::string& entry)
{
    QListWidget* list = list_of(url_list_window());
    if (!list)
        return;
    if (!g_filter.empty() &&
        lowered(url_entry_description(entry)).find(lowered(g_filter)) == std::string::npos)
        return;
    const QString line = qs(url_entry_line(entry));
    if (!g_filter.empty() || n < 1 || n > list->count())
        list->addItem(line);
    else
        list->insertItem(n - 1, line);
}

void url_list_window_removed(int n)
{
    QListWidget* list = list_of(url_list_window());
    StringNode* entry = url_entry_at(n);
    if (!list || !entry)
        return;
    const QString line = qs(url_entry_line(entry->text));
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text() == line) {
            delete list->takeItem(i);
            break;
        }
}

int url_list_window_in_view()
{
    WindowRecord* rec = url_list_window();
    return rec && rec->hwnd.get() && rec->hwnd.get() == win_active_if_shown() ? 1 : 0;
}

QWidget* url_list_open()
{
    Connection* conn = conn_current();
    if (!conn_is_live(conn)) {
        beep_error(0);
        return nullptr;
    }
    toolbar_show_urls_state(0);
    WindowRecord* rec = url_list_window();
    if (!rec) {
        WindowOpenRequest request;
        request.name = "Urls List";
        request.type = kWinUrls;
        request.conn = conn;
        rec = win_record_of(win_open(request));
        if (!rec)
            return nullptr;
        if (QListWidget* list = list_of(rec))
            QObject::connect(list, &QListWidget::itemDoubleClicked, list, on_double_click);
        url_list_refill(std::string());
    }
    win_op_activate(rec->hwnd.get(), 1);
    return rec->hwnd.get();
}

void url_list_toggle()
{
    WindowRecord* rec = url_list_window();
    if (rec && rec->hwnd.get() && rec->hwnd.get() == win_active_if_shown())
        win_op_close(rec->hwnd.get());
    else
        url_list_open();
}

QMenu* url_popup_build(WindowRecord* rec)
{
    auto* menu = new QMenu(rec ? rec->hwnd.get() : nullptr);
    const int selected = static_cast<int>(selected_rows(list_of(rec)).size());
    auto add = [menu](int text, int id) {
        QAction* a = menu->addAction(numbered(text));
        a->setData(id);
        return a;
    };
    add(3823, 7000);
    add(3824, 7001)->setEnabled(selected > 0);
    add(3825, 7002)->setEnabled(selected > 0);
    add(3826, 7003)->setEnabled(selected > 0);
    menu->addSeparator();
    add(3827, 7004);
    menu->addSeparator();
    add(3828, 7005)->setEnabled(selected == 1);
    QMenu* send = menu->addMenu(numbered(3829));
    int id = 7009;
    for (Connection* c = conn_list; c; c = c->next) {
        std::vector<WindowRecord*> targets;
        for (int pass = 0; pass < 2; ++pass)
            for (WindowRecord* w = win_list; w; w = w->next) {
                if (w->conn != c || !w->hwnd.get())
                    continue;
                const bool chan = w->type == kWinChannel;
                const bool query = w->type == kWinQuery && (w->subtype == 1 || w->subtype == 3);
                if ((pass == 0 && chan) || (pass == 1 && query))
                    targets.push_back(w);
            }
        if (targets.empty())
            continue;
        if (!send->isEmpty())
            send->addSeparator();
        QWidget* status = c->status_window.data();
        QAction* heading = send->addAction(status ? status->windowTitle() : QString());
        heading->setEnabled(false);
        for (WindowRecord* w : targets) {
            QAction* a = send->addAction(qs(w->name));
            a->setData(id++);
            a->setProperty("kestTarget", w->number);
            a->setEnabled(selected > 0);
        }
    }
    send->setEnabled(selected > 0 && !send->isEmpty());
    menu->addSeparator();
    add(3830, 7006);
    add(3831, 7007);
    menu->addSeparator();
    add(3832, 7008);
    return menu;
}

void menu_urls_command(int id, WindowRecord* rec, int target)
{
    if (!rec || !win_is_record(rec)) {
        beep_error(0);
        return;
    }
    switch (id) {
    case 7000:
    case 7001:
        edit_entries(rec, id);
        break;
    case 7002:
        copy_entries(rec);
        break;
    case 7003:
        delete_entries(rec);
        break;
    case 7004:
        find_in_list(rec);
        break;
    case 7005: {
        std::vector<StringNode*> chosen = selected_entries(list_of(rec));
        if (chosen.empty())
            beep_error(0);
        else
            open_entry(chosen.front());
        break;
    }
    case 7006:
        load_file(rec);
        break;
    case 7007:
        save_file_as(rec);
        break;
    case 7008:
        frame_on_command(nullptr, 159, 4);
        break;
    default:
        if (id >= 7009)
            send_entries(rec, target);
        else
            beep_error(0);
        break;
    }
}

QMenu* url_address_popup_build(QWidget* window)
{
    auto* menu = new QMenu(window);
    auto add = [menu](int text, int id) { menu->addAction(numbered(text))->setData(id); };
    add(3860, 7000);
    add(3861, 7001);
    menu->addSeparator();
    add(3862, 7002);
    return menu;
}

void menu_url_hotlink_command(int id, const std::string& address)
{
    switch (id) {
    case 7000:
    case 7001:
        // The desktop has no browser windows to choose: both open alike.
        url_open(address, 0, 1);
        break;
    case 7002:
        if (!clip_set_text(nullptr, address.substr(0, kLongText), 0))
            beep_error(0);
        break;
    default:
        beep_error(0);
        break;
    }
}

// ---- The entry editor ----

QDialog* url_entry_dialog_create(QWidget* owner, int mode, char state, const std::string& description,
                                 const std::string& address)
{
    auto* dialog = new QDialog(owner);
    dialog->setObjectName("urlEntryDialog");
    dialog->setWindowTitle(numbered(mode == 0 ? 5702 : 5703));
    auto* form = new QFormLayout(dialog);
    auto* addr = new QLineEdit(dialog);
    addr->setObjectName("urlAddress");
    auto* desc = new QLineEdit(dialog);
    desc->setObjectName("urlDescription");
    auto* mark = new QLineEdit(dialog);
    mark->setObjectName("urlState");
    mark->setMaxLength(1);
    addr->setMaxLength(kMediumText);
    desc->setMaxLength(kMediumText);
    if (mode == 0) {
        addr->setText(numbered(5701));
        desc->setText(numbered(5701));
    } else {
        addr->setText(qs(address));
        desc->setText(qs(description));
    }
    mark->setText(QString(QChar::fromLatin1(mode == 2 ? '?' : state)));
    // Several entries at once: only their state changes.
    addr->setEnabled(mode != 2);
    desc->setEnabled(mode != 2);
    form->addRow("URL:", addr);
    form->addRow(numbered(5704), desc);
    form->addRow(numbered(5705), mark);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, [dialog, addr, desc, mark] {
        // Every field must be filled: the first empty one takes the focus.
        for (QLineEdit* e : {addr, desc, mark}) {
            if (e->isEnabled() && e->text().trimmed().isEmpty()) {
                beep_error(0);
                e->setFocus();
                return;
            }
        }
        dialog->accept();
    });
    return dialog;
}

void url_entry_dialog_result(QDialog* dialog, char* state, std::string* description, std::string* address)
{
    auto* addr = dialog->findChild<QLineEdit*>("urlAddress");
    auto* desc = dialog->findChild<QLineEdit*>("urlDescription");
    auto* mark = dialog->findChild<QLineEdit*>("urlState");
    if (mark && !mark->text().isEmpty())
        *state = mark->text().toLatin1().at(0);
    if (addr && addr->isEnabled())
        *address = utf8(addr->text().trimmed());
    if (desc && desc->isEnabled())
        *description = utf8(desc->text().trimmed());
}

// ---- The link warning ----

int url_link_warning_ask(std::string& address)
{
    QDialog dialog(QApplication::activeWindow());
    dialog.setObjectName("linkWarning");
    dialog.setWindowTitle(numbered(5706));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(numbered(5707), &dialog));
    auto* edit = new QLineEdit(qs(address), &dialog);
    edit->setObjectName("linkAddress");
    edit->setMaxLength(kLongText);
    layout->addWidget(edit);
    auto* keep = new QCheckBox(numbered(5708), &dialog);
    keep->setObjectName("linkKeepWarning");
    keep->setChecked(main_settings.warn_link != 0);
    layout->addWidget(keep);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Yes | QDialogButtonBox::No, &dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    buttons->button(QDialogButtonBox::No)->setDefault(true);
    buttons->button(QDialogButtonBox::No)->setFocus();
    const int answer = dialog.exec();
    if (keep->isChecked() != (main_settings.warn_link != 0)) {
        main_settings.warn_link = keep->isChecked() ? 1 : 0;
        ini_write("warn", "link", main_settings.warn_link ? "on" : "off", main_ini_path);
    }
    if (answer != QDialog::Accepted)
        return 0;
    address = utf8(edit->text().trimmed());
    return address.empty() ? 0 : 1;
}

void url_list_window_install()
{
    url_catcher_install();
    popup_window_register(kWinUrls, on_popup);
    popup_address_register(on_address_popup);
    frame_menu_command_register(132, menu_urls);
    frame_menu_command_register(192, menu_stored_page);
    frame_menu_command_register(193, menu_stored_page);
    input_frame_command_hook = on_list_key;
    sort_url_marked_first_hook = marked_first;
}

void url_list_window_uninstall()
{
    sort_url_marked_first_hook = nullptr;
    input_frame_command_hook = nullptr;
    frame_menu_command_register(193, nullptr);
    frame_menu_command_register(192, nullptr);
    frame_menu_command_register(132, nullptr);
    popup_address_register(nullptr);
    popup_window_register(kWinUrls, nullptr);
    url_catcher_uninstall();
}
