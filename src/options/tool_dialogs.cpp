#include "options/tool_dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QListWidget>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <cstdio>
#include <iterator>

#include "app/frame_menu.h"
#include "app/mdi_client.h"
#include "app/startup.h"
#include "bars/switchbar.h"
#include "core/ini.h"
#include "core/list_sort.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/record_slots.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/time_date.h"
#include "model/connection.h"
#include "options/dialog_opener.h"
#include "platform/platform_utils.h"

namespace {

// ---- Templates ----

const DlgControl kOnlineTimer[] = {
    {-1, kDlgLabel, "Çevrimiçi süre:", 8, 8, 70, 8},
    {225, kDlgLabel, "00:00:00", 80, 8, 80, 8},
    {-1, kDlgLabel, "Son sıfırlama:", 8, 22, 70, 8},
    {224, kDlgLabel, "", 80, 22, 130, 8},
    {220, kDlgCheck, "Çevrimiçi zamanlayıcı &açık", 8, 38, 150, 10},
    {221, kDlgRadio, "&Şu anki bağlantının süresi", 8, 52, 150, 10, kDlgGroupStart},
    {222, kDlgRadio, "&Toplam bağlantı süresi", 8, 64, 150, 10},
    {223, kDlgButton, "&Sıfırla", 166, 36, 50, 14},
    {1, kDlgDefButton, "Tamam", 110, 82, 50, 14},
    {2, kDlgButton, "İptal", 166, 82, 50, 14},
};
const DlgTemplate kOnlineTimerTemplate = {780, "Çevrimiçi Zamanlayıcı", 224, 102, kOnlineTimer,
                                          std::size(kOnlineTimer)};

const DlgControl kWindowSettings[] = {
    {101, kDlgCheck, "Pencereleri &bağlantıya göre grupla", 8, 8, 200, 10},
    {102, kDlgCheck, "Pencereleri &açılış sırasına göre diz", 8, 20, 200, 10},
    {103, kDlgCheck, "Yeni pencereleri &öne getirme", 8, 32, 200, 10},
    {-1, kDlgGroupBox, "Otomatik düzenleme", 6, 48, 206, 62},
    {105, kDlgCheck, "&Yatay döşe", 14, 60, 90, 10},
    {106, kDlgCheck, "&Dikey döşe", 14, 72, 90, 10},
    {107, kDlgCheck, "&Basamakla", 14, 84, 90, 10},
    {108, kDlgCheck, "&Simgeleri düzenle", 14, 96, 90, 10},
    {1, kDlgDefButton, "Tamam", 50, 118, 50, 14},
    {2, kDlgButton, "İptal", 106, 118, 50, 14},
    {9, kDlgButton, "&Yardım", 162, 118, 50, 14},
};
const DlgTemplate kWindowSettingsTemplate = {860, "Pencere Ayarları", 220, 138, kWindowSettings,
                                             std::size(kWindowSettings)};

const DlgControl kWindowOrder[] = {
    {101, kDlgComboEdit, "", 8, 8, 140, 80},
    {102, kDlgButton, "&Ekle", 156, 7, 50, 14},
    {104, kDlgList, "", 8, 26, 140, 90},
    {103, kDlgButton, "&Sil", 156, 26, 50, 14},
    {105, kDlgButton, "&Yukarı", 156, 44, 50, 14},
    {106, kDlgButton, "&Aşağı", 156, 62, 50, 14},
    {107, kDlgButton, "&Uygula", 156, 80, 50, 14},
    {1, kDlgDefButton, "Tamam", 44, 124, 50, 14},
    {2, kDlgButton, "İptal", 100, 124, 50, 14},
    {9, kDlgButton, "&Yardım", 156, 124, 50, 14},
};
const DlgTemplate kWindowOrderTemplate = {870, "Pencere Sırası", 214, 144, kWindowOrder, std::size(kWindowOrder)};

const DlgControl kAbout[] = {
    {101, kDlgLabel, "Kest", 10, 10, 180, 10},
    {102, kDlgLabel, "", 10, 24, 180, 10},
    {103, kDlgLabel, "Grafik arayüzlü bir IRC istemcisi.", 10, 38, 180, 10},
    {1, kDlgDefButton, "Tamam", 75, 58, 50, 14},
};
const DlgTemplate kAboutTemplate = {10, "Kest Hakkında", 200, 78, kAbout, std::size(kAbout)};

// ---- Shared ----

QAbstractButton* button(QWidget* d, int id)
{
    return qobject_cast<QAbstractButton*>(dlg_item(d, id));
}

void on_click(QDialog& d, int id, std::function<void()> fn)
{
    if (QAbstractButton* b = button(&d, id))
        QObject::connect(b, &QAbstractButton::clicked, &d, [fn] { fn(); });
}

QWidget* owner_or_frame(QWidget* owner)
{
    return owner ? owner : frame_window.data();
}

// Each dialog of the menu is open at most once.
bool g_timer_open = false;
bool g_settings_open = false;
bool g_order_open = false;
bool g_about_open = false;

// ---- Online timer ----

// The time of the connection's counter's last reset.
struct OnlineReset {
    std::string when;
};
RecordSlot<OnlineReset> g_reset_slot;

QPointer<QDialog> g_timer_dialog;
int g_online_listener = 0;

struct TimerView {
    int total = 1;          // showing the total time (222), else the connection's (221)
    int conn_id = 0;        // the connection shown
};
TimerView g_view;

Connection* shown_conn()
{
    Connection* c = conn_by_id(g_view.conn_id);
    return conn_is_live(c) ? c : nullptr;
}

void timer_refresh(QDialog* d)
{
    if (!d)
        return;
    if (g_view.total) {
        dlg_set_text(d, 225, online_time_text(online_time_total.hours, online_time_total.minutes,
                                              online_time_total.seconds));
        dlg_set_text(d, 224, main_settings.last_reset);
    } else if (Connection* c = shown_conn()) {
        dlg_set_text(d, 225, online_time_text(c->online_hours, c->online_minutes, c->online_seconds));
        dlg_set_text(d, 224, c->state_slots.get(g_reset_slot).when);
    } else {
        dlg_set_text(d, 225, online_time_text(0, 0, 0));
        dlg_set_text(d, 224, "");
    }
}

std::string now_text()
{
    return time_ctime_text(time_clock()).substr(0, kShortText);
}

// ---- Window order ----

StringNode* g_order = nullptr;
int g_order_load_listener = 0;

struct KindRow {
    const char* english;
    int type;
    int subtype;
    int text;  // the shown name's string
};
const KindRow kKinds[] = {
    {"Channel Windows", 1, 0, 6202}, {"Channels List", 4, 0, 6203}, {"Chat Windows", 2, 3, 6204},
    {"Custom Windows", 9, 0, 6205},  {"Fserve Windows", 2, 4, 6206}, {"Get Windows", 3, 2, 6207},
    {"Links List", 8, 0, 6208},      {"Message Window", 2, 2, 6209}, {"Query Windows", 2, 1, 6210},
    {"Send Windows", 3, 1, 6211},    {"Notify List", 7, 0, 6212},    {"Urls List", 6, 0, 6213},
};

const KindRow* kind_of(const std::string& name)
{
    for (const KindRow& k : kKinds)
        if (text_equal_nocase(name, k.english))
            return &k;
    return nullptr;
}

void order_apply_and_save(const std::vector<std::string>& entries)
{
    winlist_order_set(entries, 1);
    ini_save_options();
    winlist_sort_windows();
    switchbar_repaint();
}

void order_fill_combo(QDialog* d)
{
    auto* combo = qobject_cast<QComboBox*>(dlg_item(d, 101));
    auto* list = qobject_cast<QListWidget*>(dlg_item(d, 104));
    if (!combo || !list)
        return;
    combo->clear();
    for (const KindRow& k : kKinds) {
        const QString shown = QString::fromStdString(winlist_kind_shown(k.english));
        if (list->findItems(shown, Qt::MatchFixedString).isEmpty())
            combo->addItem(shown);
    }
    combo->setCurrentIndex(-1);
    combo->setEditText(QString());
}

std::vector<std::string> order_entries(QDialog* d)
{
    std::vector<std::string> out;
    auto* list = qobject_cast<QListWidget*>(dlg_item(d, 104));
    for (int i = 0; list && i < list->count(); ++i)
        out.push_back(winlist_kind_english(list->item(i)->text().toStdString()));
    return out;
}

// ---- Frame commands ----

int cmd_online_timer(int, intptr_t)
{
    if (!g_timer_open)
        online_timer_dialog(frame_window.data());
    return 1;
}

int cmd_window_settings(int, intptr_t)
{
    if (!g_settings_open)
        window_settings_dialog(frame_window.data());
    return 1;
}

int cmd_window_order(int, intptr_t)
{
    if (!g_order_open)
        window_order_dialog(frame_window.data());
    return 1;
}

int cmd_about(int, intptr_t lparam)
{
    if (!g_about_open)
        about_box(frame_window.data(), lparam == 1);
    return 1;
}

}  // namespace

void about_box_at_start()
{
    // After the start step returns: the box is modal.
    QTimer::singleShot(0, [] { frame_on_command(frame_window.data(), 195, 1); });
}

std::string online_time_text(int hours, int minutes, int seconds)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", hours, minutes, seconds);
    return buf;
}

int online_timer_dialog(QWidget* owner)
{
    if (g_timer_open)
        return 0;
    g_timer_open = true;
    // What cancel gives back.
    const OnlineTime total_before = online_time_total;
    const std::string reset_before = main_settings.last_reset;
    Connection* conn = conn_current();
    const int conn_id = conn_is_live(conn) ? conn->id : 0;
    OnlineTime conn_before;
    std::string conn_reset_before;
    if (conn_is_live(conn)) {
        conn_before = {conn->online_hours, conn->online_minutes, conn->online_seconds};
        conn_reset_before = conn->state_slots.get(g_reset_slot).when;
    }
    g_view.total = opt(OPT_ONLINE_TIMER_TOTAL) ? 1 : 0;
    g_view.conn_id = conn_id;

    const int result = dlg_show_modal(owner_or_frame(owner), 780, [](QDialog& d) {
        d.setObjectName(kOnlineTimerName);
        g_timer_dialog = &d;
        dlg_set_checked(&d, 220, opt(OPT_ONLINE_TIMER) ? 1 : 0);
        dlg_set_checked(&d, 222, g_view.total);
        dlg_set_checked(&d, 221, !g_view.total);
        timer_refresh(&d);
        // A click on the chosen one keeps it chosen.
        auto choose = [&d](int total) {
            g_view.total = total;
            dlg_set_checked(&d, 221, !total);
            dlg_set_checked(&d, 222, total);
            timer_refresh(&d);
        };
        on_click(d, 221, [choose] { choose(0); });
        on_click(d, 222, [choose] { choose(1); });
        on_click(d, 223, [&d] {
            if (g_view.total) {
                online_time_total = OnlineTime();
                main_settings.last_reset = now_text();
            } else if (Connection* c = shown_conn()) {
                c->online_hours = c->online_minutes = c->online_seconds = 0;
                c->state_slots.get(g_reset_slot).when = now_text();
            }
            timer_refresh(&d);
        });
        on_click(d, 1, [&d] {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            opt_set(OPT_ONLINE_TIMER, dlg_checked(&d, 220));
            opt_set(OPT_ONLINE_TIMER_TOTAL, g_view.total);
            ini_save_text_settings();
            ini_save_options();
            QApplication::restoreOverrideCursor();
            d.done(1);
        });
        on_click(d, 2, [&d] { d.done(0); });
    });
    g_timer_dialog = nullptr;
    if (result != 1) {
        online_time_total = total_before;
        main_settings.last_reset = reset_before;
        Connection* c = conn_by_id(conn_id);
        if (conn_id && conn_is_live(c)) {
            c->online_hours = conn_before.hours;
            c->online_minutes = conn_before.minutes;
            c->online_seconds = conn_before.seconds;
            c->state_slots.get(g_reset_slot).when = conn_reset_before;
        }
    }
    g_timer_open = false;
    return result == 1 ? 1 : 0;
}

int window_settings_dialog(QWidget* owner)
{
    if (g_settings_open)
        return 0;
    g_settings_open = true;
    const int result = dlg_show_modal(owner_or_frame(owner), 860, [](QDialog& d) {
        d.setObjectName(kWindowSettingsName);
        dlg_set_checked(&d, 101, opt(OPT_ARRANGE_GROUP_BY_CONNECTION) ? 1 : 0);
        dlg_set_checked(&d, 102, opt(OPT_ARRANGE_ORDER_BY_CREATION) ? 1 : 0);
        dlg_set_checked(&d, 103, opt(OPT_N2_22) ? 1 : 0);
        dlg_set_checked(&d, 105, mdi_auto_arrange && mdi_arrange_mode == 0);
        dlg_set_checked(&d, 106, mdi_auto_arrange && mdi_arrange_mode == 1);
        dlg_set_checked(&d, 107, mdi_auto_arrange && mdi_arrange_mode == 2);
        dlg_set_checked(&d, 108, mdi_auto_arrange_icons ? 1 : 0);
        // The two tilings exclude each other and the cascade; the cascade
        // clears both.
        on_click(d, 105, [&d] {
            if (dlg_checked(&d, 105)) {
                dlg_set_checked(&d, 106, 0);
                dlg_set_checked(&d, 107, 0);
            }
        });
        on_click(d, 106, [&d] {
            if (dlg_checked(&d, 106)) {
                dlg_set_checked(&d, 105, 0);
                dlg_set_checked(&d, 107, 0);
            }
        });
        on_click(d, 107, [&d] {
            if (dlg_checked(&d, 107)) {
                dlg_set_checked(&d, 105, 0);
                dlg_set_checked(&d, 106, 0);
            }
        });
        on_click(d, 9, [] { help_open("", "", 1360); });
        on_click(d, 1, [&d] {
            opt_set(OPT_ARRANGE_GROUP_BY_CONNECTION, dlg_checked(&d, 101));
            opt_set(OPT_ARRANGE_ORDER_BY_CREATION, dlg_checked(&d, 102));
            opt_set(OPT_N2_22, dlg_checked(&d, 103));
            const int h = dlg_checked(&d, 105), v = dlg_checked(&d, 106), c = dlg_checked(&d, 107);
            mdi_auto_arrange = h || v || c;
            mdi_arrange_mode = v ? 1 : (c ? 2 : 0);
            mdi_auto_arrange_icons = dlg_checked(&d, 108);
            ini_save_options();
            d.done(1);
        });
        on_click(d, 2, [&d] { d.done(0); });
    });
    g_settings_open = false;
    return result == 1 ? 1 : 0;
}

int window_order_dialog(QWidget* owner)
{
    if (g_order_open)
        return 0;
    g_order_open = true;
    const int result = dlg_show_modal(owner_or_frame(owner), 870, [](QDialog& d) {
        d.setObjectName(kWindowOrderName);
        auto* list = qobject_cast<QListWidget*>(dlg_item(&d, 104));
        auto* combo = qobject_cast<QComboBox*>(dlg_item(&d, 101));
        if (!list || !combo)
            return;
        for (const StringNode* n = g_order; n; n = n->next)
            list->addItem(QString::fromStdString(winlist_kind_shown(n->text)));
        order_fill_combo(&d);
        on_click(d, 102, [&d, list, combo] {
            QByteArray bytes = combo->currentText().trimmed().toUtf8();
            std::string text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
            if (text.empty() || text.size() > kShortText) {
                beep_error(0);
                return;
            }
            const QString shown = QString::fromStdString(text);
            if (!list->findItems(shown, Qt::MatchFixedString).isEmpty()) {
                beep_error(0);
                return;
            }
            list->addItem(shown);
            list->setCurrentRow(list->count() - 1);
            order_fill_combo(&d);
        });
        on_click(d, 103, [&d, list] {
            const int row = list->currentRow();
            if (row < 0) {
                beep_error(0);
                return;
            }
            delete list->takeItem(row);
            list->setCurrentRow(row < list->count() ? row : list->count() - 1);
            order_fill_combo(&d);
        });
        auto move = [list](int by) {
            const int row = list->currentRow();
            const int to = row + by;
            if (row < 0 || to < 0 || to >= list->count()) {
                beep_error(0);
                return;
            }
            QListWidgetItem* item = list->takeItem(row);
            list->insertItem(to, item);
            list->setCurrentRow(to);
        };
        on_click(d, 105, [move] { move(-1); });
        on_click(d, 106, [move] { move(1); });
        on_click(d, 107, [&d] { order_apply_and_save(order_entries(&d)); });
        on_click(d, 9, [] { help_open("", "", 1360); });
        on_click(d, 1, [&d] {
            order_apply_and_save(order_entries(&d));
            d.done(1);
        });
        on_click(d, 2, [&d] { d.done(0); });
    });
    g_order_open = false;
    return result == 1 ? 1 : 0;
}

int about_box(QWidget* owner, int finish_start)
{
    if (g_about_open)
        return 0;
    g_about_open = true;
    const int result = dlg_show_modal(owner_or_frame(owner), 10, [](QDialog& d) {
        d.setObjectName(kAboutBoxName);
        dlg_set_text(&d, 102, std::string("Sürüm ") + kProgramVersionText);
        on_click(d, 1, [&d] { d.done(1); });
    });
    g_about_open = false;
    if (finish_start && app_starting)
        app_finish_startup();
    return result == 1 ? 1 : 0;
}

// ---- Window order list ----

const StringNode* winlist_order()
{
    return g_order;
}

int winlist_kind_type(const std::string& name, int* subtype)
{
    const KindRow* k = kind_of(name);
    if (subtype)
        *subtype = k ? k->subtype : 0;
    return k ? k->type : 0;
}

std::string winlist_kind_shown(const std::string& english)
{
    const KindRow* k = kind_of(english);
    if (!k)
        return english;
    const std::string shown = text_load_string(k->text);
    return shown.empty() ? std::string(k->english) : shown;
}

std::string winlist_kind_english(const std::string& shown)
{
    for (const KindRow& k : kKinds)
        if (text_equal_nocase(shown, text_load_string(k.text)) || text_equal_nocase(shown, k.english))
            return k.english;
    return shown;
}

void winlist_order_set(const std::vector<std::string>& entries, int save)
{
    strlist_free(&g_order);
    for (const std::string& e : entries) {
        const std::string text = e.substr(0, kShortText);
        if (text.empty())
            continue;
        int subtype = 0;
        const int type = winlist_kind_type(text, &subtype);
        g_order = strlist_append(g_order, std::string_view(text), type);
        StringNode* last = g_order;
        while (last->next)
            last = last->next;
        last->serial = subtype;
    }
    if (save)
        ini_write_numbered_list(g_order, "order", "n", 0, main_ini_path);
}

void winlist_order_load()
{
    std::vector<std::string> entries;
    StringNode* read = ini_read_numbered_list("order", "n", nullptr, main_ini_path, 0);
    for (const StringNode* n = read; n; n = n->next)
        entries.push_back(n->text);
    strlist_free(&read);
    winlist_order_set(entries, 0);
}

void tool_dialogs_install()
{
    for (const DlgTemplate* t : {&kOnlineTimerTemplate, &kWindowSettingsTemplate, &kWindowOrderTemplate,
                                 &kAboutTemplate})
        dlg_template_register(*t);
    frame_menu_command_register(157, cmd_online_timer);
    frame_menu_command_register(174, cmd_window_settings);
    frame_menu_command_register(175, cmd_window_order);
    frame_menu_command_register(195, cmd_about);
    settings_loaded.add_once(g_order_load_listener, kLoadOptionsOrder, [](SettingsLoad&) { winlist_order_load(); });
    online_time_moved.add_once(g_online_listener, kOnlineTimeDialog, [](bool) { timer_refresh(g_timer_dialog); });
}

void tool_dialogs_uninstall()
{
    settings_loaded.drop(g_order_load_listener);
    online_time_moved.drop(g_online_listener);
    strlist_free(&g_order);
}
