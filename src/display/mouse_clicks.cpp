#include "display/mouse_clicks.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QCoreApplication>
#include <QListWidget>
#include <QMouseEvent>
#include <QPointer>

#include "display/child_controls.h"
#include "display/window_queries.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/string_list.h"
#include "core/main_settings.h"
#include "core/text_limits.h"
#include "display/hotlinks.h"
#include "model/nick_list.h"
#include "display/text_marking.h"
#include "platform/platform_utils.h"
#include "script/exec/executor.h"

ClickCommands click_commands;
Signal<void(WindowRecord*, int, int)> clicks_custom_event;
MouseState mouse_state;

namespace {

constexpr std::size_t kCommandSize = 1074;

struct ClickKey {
    const char* key;
    std::string ClickCommands::*field;
};
const ClickKey kClickKeys[] = {
    {"status", &ClickCommands::status},     {"query", &ClickCommands::query},
    {"channel", &ClickCommands::channel},   {"nicklist", &ClickCommands::nicklist},
    {"notify", &ClickCommands::notify},     {"message", &ClickCommands::message},
};

// The pointer's last point that the hotlinks were asked about, and where.
QPoint g_last_hover(-1, -1);
QPointer<QWidget> g_last_hover_window;
int g_list_listener = 0;

// The custom window under the pointer, whether its "leave" already ran
// (the pointer went out with a button held: the window keeps the hover
// until the button comes up), and the last point reported to "mouse".
QPointer<QWidget> g_custom_hover;
bool g_custom_left = false;
QPoint g_custom_last(-1, -1);
QPointer<QWidget> g_custom_last_window;

// Runs a custom window's mouse handler with the mouse state pointing at it.
void custom_mouse_event(WindowRecord* rec, int n)
{
    mouse_state.rec = rec;
    clicks_custom_event.fire(rec, n, -1);
    mouse_state.rec = nullptr;
}

// The "leave" handler of the hovered window, when it is still there.
void custom_hover_leave()
{
    QPointer<QWidget> hwnd = g_custom_hover;
    WindowRecord* rec = hwnd ? win_record_of(hwnd.data()) : nullptr;
    const bool ran = g_custom_left;
    g_custom_left = true;
    if (!ran && win_is_record(rec) && rec->type == kWinCustom)
        custom_mouse_event(rec, 8);
}

// A custom window's share of a mouse event on its text area.
void custom_text_area_mouse(TextArea* area, QMouseEvent* event, WindowRecord* rec)
{
    QPointer<QWidget> hwnd(rec->hwnd.get());
    QPointer<TextArea> guard(area);
    const QPoint p = event->position().toPoint();
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (event->button() != Qt::LeftButton)
            break;
        rec->press_points = strlist_append(rec->press_points,
                                           std::to_string(p.x()) + "," + std::to_string(p.y()), 0);
        custom_mouse_event(rec, 3);
        break;
    case QEvent::MouseButtonRelease: {
        if (event->button() != Qt::LeftButton)
            break;
        custom_mouse_event(rec, 6);
        rec = hwnd ? win_record_of(hwnd.data()) : nullptr;
        if (!win_is_record(rec))
            break;
        const StringNode* last = rec->press_points;
        while (last && last->next)
            last = last->next;
        if (!last || last->text != std::to_string(p.x()) + "," + std::to_string(p.y()))
            custom_mouse_event(rec, 5);
        // Released outside after the pointer went out: the hover ends.
        if (guard && !guard->rect().contains(p) && g_custom_hover.data() == hwnd.data()) {
            g_custom_hover = nullptr;
            g_custom_left = false;
        }
        break;
    }
    case QEvent::MouseMove: {
        const bool inside = area->rect().contains(p);
        if (!inside) {
            if (g_custom_hover.data() == hwnd.data())
                custom_hover_leave();
        } else if (g_custom_hover.data() != hwnd.data() || g_custom_left) {
            if (g_custom_hover && g_custom_hover.data() != hwnd.data())
                custom_hover_leave();
            g_custom_hover = hwnd.data();
            g_custom_left = false;
        }
        rec = hwnd ? win_record_of(hwnd.data()) : nullptr;
        if (win_is_record(rec) && (p != g_custom_last || g_custom_last_window.data() != hwnd.data())) {
            g_custom_last = p;
            g_custom_last_window = hwnd.data();
            custom_mouse_event(rec, 4);
        }
        break;
    }
    default:
        break;
    }
}

void run_click_command(QWidget* window, const std::string& command, const char* param,
                       Connection* conn)
{
    script_exec_line(window, command.c_str(), param, 1, nullptr, nullptr, conn);
}

// The text of a list line up to its first blank.
std::string first_word(const std::string& text)
{
    return text.substr(0, text.find(' '));
}

std::string item_text(QListWidgetItem* item)
{
    const QByteArray b = item->text().toUtf8();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

// The lists whose double-click is served here; the others (the links, the
// URLs) keep their own.
bool clicks_serves_list(const WindowRecord* rec)
{
    return rec->type == kWinChannel || rec->type == kWinChanList || rec->type == kWinNotify ||
           rec->type == kWinCustom;
}

// A custom window's list tells its script when the user moves its caret,
// by the mouse or the keys: the "lbclick" handler, once the list has taken
// the press or the key.
void custom_list_watch(ListBox* list, WindowRecord* rec)
{
    QPointer<ListBox> guard(list);
    QPointer<QWidget> hwnd(rec->hwnd.get());
    const int before = list->currentRow();
    QMetaObject::invokeMethod(list, [guard, hwnd, before] {
        WindowRecord* r = hwnd ? win_record_of(hwnd.data()) : nullptr;
        if (guard && win_is_record(r) && guard->currentRow() >= 0 && guard->currentRow() != before)
            clicks_custom_list_select(hwnd.data());
    }, Qt::QueuedConnection);
}

// Double-clicks on a side list (any window's list box) come here.
class ListClickFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress ||
            (event->type() == QEvent::MouseButtonPress &&
             static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)) {
            auto* list = qobject_cast<ListBox*>(watched);
            if (!list) {
                auto* viewport = qobject_cast<QWidget*>(watched);
                list = viewport ? qobject_cast<ListBox*>(viewport->parentWidget()) : nullptr;
            }
            WindowRecord* rec = list ? list->record() : nullptr;
            if (win_is_record(rec) && rec->type == kWinCustom)
                custom_list_watch(list, rec);
            return false;
        }
        if (event->type() != QEvent::MouseButtonDblClick)
            return false;
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() != Qt::LeftButton)
            return false;
        auto* viewport = qobject_cast<QWidget*>(watched);
        auto* list = viewport ? qobject_cast<ListBox*>(viewport->parentWidget()) : nullptr;
        if (!list)
            return false;
        WindowRecord* rec = list->record();
        if (!win_is_record(rec) || !clicks_serves_list(rec))
            return false;
        if (QListWidgetItem* item = list->itemAt(me->position().toPoint()))
            list->setCurrentItem(item);
        mouse_state.keys = mouse_key_flags(static_cast<int>(me->buttons()),
                                           static_cast<int>(me->modifiers()));
        clicks_list_dblclick(rec->hwnd.get(), (me->modifiers() & Qt::ShiftModifier) ? 1 : 0);
        return true;
    }
};
QPointer<ListClickFilter> g_list_filter;

}  // namespace

void clicks_load()
{
    for (const ClickKey& k : kClickKeys)
        ini_read("clicks", k.key, "", click_commands.*(k.field), kCommandSize, main_ini_path);
    ClickCommands& c = click_commands;
    if (c.status.empty())
        c.status = "/lusers";
    if (c.query.empty())
        c.query = "/whois $$1";
    if (c.channel.empty())
        c.channel = "/channel";
    if (c.nicklist.empty())
        c.nicklist = "/query $$1";
    if (c.notify.empty())
        c.notify = c.query;
    if (c.message.empty())
        c.message = c.query;
}

void clicks_save()
{
    for (const ClickKey& k : kClickKeys)
        ini_write("clicks", k.key, (click_commands.*(k.field)).c_str(), main_ini_path);
}

int mouse_key_flags(int buttons, int modifiers)
{
    int flags = 0;
    if (buttons & Qt::LeftButton)
        flags |= 1;
    if (modifiers & Qt::ControlModifier)
        flags |= 2;
    if (modifiers & Qt::ShiftModifier)
        flags |= 4;
    if (modifiers & Qt::AltModifier)
        flags |= 8;
    if (buttons & Qt::RightButton)
        flags |= 0x10;
    if (buttons & Qt::MiddleButton)
        flags |= 0x20;
    return flags;
}

void mouse_set_point(QPoint point)
{
    mouse_state.x = point.x();
    mouse_state.y = point.y();
}

int clicks_text_dblclick(QWidget* window, QPoint point, int shift)
{
    QPointer<QWidget> hwnd(window);
    textsel_end_record(win_record_of(window));
    if (hotlink_at_point(window, point, kHotlinkDouble, shift))
        return 1;
    WindowRecord* rec = hwnd ? win_record_of(hwnd.data()) : nullptr;
    if (!win_is_record(rec) || !conn_is_live(rec->conn))
        return beep_error(1), 0;
    Connection* conn = rec->conn;
    const std::string* command = nullptr;
    std::string param;
    bool with_param = false;
    switch (rec->type) {
    case kWinStatus:
        command = &click_commands.status;
        break;
    case kWinChannel:
        command = &click_commands.channel;
        break;
    case kWinQuery:
        if (click_commands.query.empty())
            break;
        command = &click_commands.query;
        with_param = true;
        if (rec->subtype == kQueryPrivate) {
            param = rec->name;
        } else if (rec->subtype == kQueryMessages) {
            // The newest partner of the connection's private messages; the
            // connection keeps no such list yet, so nothing runs.
            return 1;
        } else if (rec->subtype == kQueryDccChat || rec->subtype == kQueryFserve) {
            const std::size_t blank = rec->name.find(' ');
            param = blank == std::string::npos ? std::string() : rec->name.substr(blank + 1);
        } else {
            command = nullptr;
        }
        break;
    case kWinCustom:
        clicks_custom_event.fire(rec, 1, -1);
        return 1;
    default:
        break;
    }
    if (!command || command->empty())
        return beep_error(1), 0;
    run_click_command(hwnd.data(), *command, with_param ? param.c_str() : nullptr, conn);
    return 1;
}

int clicks_custom_list_select(QWidget* window)
{
    WindowRecord* rec = win_record_of(window);
    if (!win_is_record(rec) || rec->type != kWinCustom)
        return 0;
    clicks_custom_event.fire(rec, 7, list_caret_row(rec));
    return 1;
}

int clicks_list_dblclick(QWidget* window, int shift)
{
    WindowRecord* rec = win_record_of(window);
    textsel_end_record(rec);
    if (!win_is_record(rec) || !conn_is_live(rec->conn))
        return beep_error(1), 0;
    Connection* conn = rec->conn;
    QListWidget* list = rec->listbox.get();
    QListWidgetItem* caret = list ? list->currentItem() : nullptr;
    const bool selected = caret && caret->isSelected();
    switch (rec->type) {
    case kWinChannel: {
        if (click_commands.nicklist.empty())
            break;
        if (selected) {
            std::string nick = item_text(caret);
            std::size_t i = 0;
            const std::string prefixes = nicklist_prefix_chars(conn);
            while (i < nick.size() && prefixes.find(nick[i]) != std::string::npos)
                ++i;
            nick.erase(0, i);
            if (!nick.empty())
                run_click_command(window, click_commands.nicklist, nick.c_str(), conn);
        }
        return 1;
    }
    case kWinChanList: {
        if (!selected)
            break;
        std::string line = item_text(caret);
        line = line.substr(0, line.find('\t'));
        const std::size_t from = line.find_first_not_of(' ');
        if (from == std::string::npos)
            break;
        line.erase(0, from);
        if (!conn->chan_types.empty()) {
            const std::size_t c = line.find_first_of(conn->chan_types);
            if (c == std::string::npos)
                break;
            line.erase(0, c);
        }
        line = first_word(line);
        if (line.empty())
            break;
        // A channel name from the server's list joins as it stands.
        script_exec_plain_command(conn->status_window.data(),
                                  (shift ? "join -n " : "join ") + line, conn, 0);
        return 1;
    }
    case kWinNotify: {
        if (!selected || click_commands.notify.empty())
            break;
        const std::string nick = first_word(item_text(caret));
        if (nick.empty())
            break;
        run_click_command(conn->status_window.data(), click_commands.notify, nick.c_str(), conn);
        return 1;
    }
    case kWinCustom:
        clicks_custom_event.fire(rec, 1, list_caret_row(rec));
        return 1;
    default:
        break;
    }
    return beep_error(1), 0;
}

int clicks_text_area_mouse(TextArea* area, QMouseEvent* event, WindowRecord* rec)
{
    if (!area || !event || !win_is_record(rec))
        return 0;
    QPointer<TextArea> guard(area);
    QPointer<QWidget> hwnd(rec->hwnd.get());
    const QPoint p = event->position().toPoint();
    const int shift = (event->modifiers() & Qt::ShiftModifier) ? 1 : 0;
    mouse_state.keys = mouse_key_flags(static_cast<int>(event->buttons()),
                                       static_cast<int>(event->modifiers()));
    mouse_set_point(area->mapToGlobal(p));
    if (rec->type == kWinCustom) {
        custom_text_area_mouse(area, event, rec);
        rec = win_record_of(hwnd.data());
        if (!guard || !win_is_record(rec)) {
            mouse_state.x = -1;
            return 1;
        }
        // A picture has no text to mark and no links; its double-click is
        // the window's own.
        if (rec->picture && event->type() != QEvent::MouseButtonDblClick) {
            mouse_state.x = -1;
            return 1;
        }
    }
    int used = 0;
    switch (event->type()) {
    case QEvent::MouseButtonDblClick:
        if (event->button() != Qt::LeftButton)
            break;
        clicks_text_dblclick(hwnd.data(), p, shift);
        used = 1;
        break;
    case QEvent::MouseButtonPress:
        if (event->button() != Qt::LeftButton)
            break;
        hotlink_at_point(hwnd.data(), p, kHotlinkPress, shift);
        rec = win_record_of(hwnd.data());
        if (guard && win_is_record(rec))
            used = textsel_text_area_mouse(area, event, rec);
        break;
    case QEvent::MouseMove:
        if (!(event->buttons() & Qt::LeftButton)) {
            // The hotlink state and the pointer follow the pointer, in the
            // active window only.
            if (win_active.get() != hwnd.data()) {
                hotlink_clear();
                area->unsetCursor();
                break;
            }
            if (p != g_last_hover || g_last_hover_window.data() != hwnd.data()) {
                g_last_hover = p;
                g_last_hover_window = hwnd.data();
                if (hotlink_at_point(hwnd.data(), p, kHotlinkDetect, shift))
                    area->setCursor(Qt::PointingHandCursor);
                else
                    area->unsetCursor();
            }
            break;
        }
        used = textsel_text_area_mouse(area, event, rec);
        break;
    case QEvent::MouseButtonRelease:
        used = textsel_text_area_mouse(area, event, rec);
        if (guard && hwnd && event->button() == Qt::LeftButton) {
            g_last_hover = p;
            g_last_hover_window = hwnd.data();
            if (hotlink_at_point(hwnd.data(), p, kHotlinkDetect, shift))
                guard->setCursor(Qt::PointingHandCursor);
            else
                guard->unsetCursor();
        }
        break;
    default:
        break;
    }
    mouse_state.x = -1;
    return used;
}

void clicks_text_area_leave(TextArea* area, WindowRecord* rec)
{
    if (!area || !win_is_record(rec) || !rec->hwnd.get() || g_custom_hover.data() != rec->hwnd.get())
        return;
    if (QGuiApplication::mouseButtons() & (Qt::LeftButton | Qt::RightButton | Qt::MiddleButton))
        return;  // held: the window keeps the hover until the button comes up
    mouse_state.keys = mouse_key_flags(static_cast<int>(QGuiApplication::mouseButtons()),
                                       static_cast<int>(QGuiApplication::keyboardModifiers()));
    mouse_set_point(QCursor::pos());
    custom_hover_leave();
    g_custom_hover = nullptr;
    g_custom_left = false;
    mouse_state.x = -1;
}

void clicks_install()
{
    static int load_listener = 0;
    settings_loaded.add_once(load_listener, kLoadClicks, [](SettingsLoad&) { clicks_load(); });
    if (!g_list_filter && QCoreApplication::instance())
        g_list_filter = new ListClickFilter(QCoreApplication::instance());
    listbox_made.add_once(g_list_listener, kListboxMadeClicks, [](ListBox* list, WindowRecord*) {
        if (list && g_list_filter) {
            list->viewport()->installEventFilter(g_list_filter);
            list->installEventFilter(g_list_filter);  // its keys
        }
    });
}

void clicks_list_enter(WindowRecord* rec)
{
    if (!win_is_record(rec))
        return;
    QListWidget* list = rec->listbox.get();
    if (!list)
        return;
    const int shift = (QApplication::keyboardModifiers() & Qt::ShiftModifier) ? 1 : 0;
    if (clicks_serves_list(rec)) {
        clicks_list_dblclick(rec->hwnd.get(), shift);
        return;
    }
    if (QListWidgetItem* caret = list->currentItem())
        emit list->itemDoubleClicked(caret);
}
