#include "options/drag_drop.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QListWidget>
#include <QMimeData>
#include <QPointer>
#include <QScrollBar>
#include <QUrl>
#include <QWidget>

#include "app/popup_menus.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/string_list.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "display/child_controls.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "platform/platform_utils.h"
#include "script/exec/script_types.h"

namespace {

StringNode* g_plain = nullptr;
StringNode* g_shift = nullptr;

// What the last hover saw: the list item and the point, so that feedback
// is given only when they change.
const void* g_hover_item = nullptr;
int g_hover_y = -1;
const void* g_hover_window = nullptr;

int g_load_listener = 0;
int g_save_listener = 0;

constexpr const char* kDropTargetName = "kest_drop_target";

StringNode* defaults(int shift)
{
    StringNode* list = nullptr;
    if (!shift)
        list = strlist_append(list, "*.wav:/sound $1 $2-", 0);
    return strlist_append(list, "*.*:/dcc send $1 $2-", 0);
}

StringNode*& list_of(int shift)
{
    return shift ? g_shift : g_plain;
}

// The local files of the dragged data; empty when it offers none.
std::vector<std::string> local_files(const QMimeData* data)
{
    std::vector<std::string> out;
    if (!data || !data->hasUrls())
        return out;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        const QByteArray path = url.toLocalFile().toUtf8();
        if (path.isEmpty() || static_cast<std::size_t>(path.size()) > kLongText)
            continue;
        out.emplace_back(path.constData(), static_cast<std::size_t>(path.size()));
    }
    return out;
}

// Ctrl asks for a copy, Shift for a move; otherwise (or when the source
// allows neither) a move, else a copy, else nothing.
Qt::DropAction drop_effect(Qt::DropActions allowed, Qt::KeyboardModifiers keys)
{
    if ((keys & Qt::ControlModifier) && (allowed & Qt::CopyAction))
        return Qt::CopyAction;
    if ((keys & Qt::ShiftModifier) && (allowed & Qt::MoveAction))
        return Qt::MoveAction;
    if (allowed & Qt::MoveAction)
        return Qt::MoveAction;
    if (allowed & Qt::CopyAction)
        return Qt::CopyAction;
    return Qt::IgnoreAction;
}

// The drop target of one window: watches the window, and the list box's
// item area, for the drag events.
class DropTarget : public QObject {
public:
    DropTarget(QWidget* window, QWidget* list_area) : QObject(window), list_area_(list_area)
    {
        setObjectName(QString::fromLatin1(kDropTargetName));
        window->setAcceptDrops(true);
        window->installEventFilter(this);
        if (list_area) {
            list_area->setAcceptDrops(true);
            list_area->installEventFilter(this);
        }
    }
    ~DropTarget() override
    {
        if (QWidget* w = qobject_cast<QWidget*>(parent())) {
            w->removeEventFilter(this);
            w->setAcceptDrops(false);
        }
        if (list_area_) {
            list_area_->removeEventFilter(this);
            list_area_->setAcceptDrops(false);
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter: {
            auto* e = static_cast<QDragEnterEvent*>(event);
            accept_ = !local_files(e->mimeData()).empty();
            g_hover_item = nullptr;
            g_hover_y = -1;
            if (!accept_) {
                e->setDropAction(Qt::IgnoreAction);
                e->ignore();
                return true;
            }
            e->setDropAction(drop_effect(e->possibleActions(), e->modifiers()));
            e->accept();
            if (QWidget* w = qobject_cast<QWidget*>(parent()))
                w->setFocus(Qt::OtherFocusReason);
            return true;
        }
        case QEvent::DragMove: {
            auto* e = static_cast<QDragMoveEvent*>(event);
            if (!accept_) {
                e->setDropAction(Qt::IgnoreAction);
                e->ignore();
                return true;
            }
            e->setDropAction(drop_effect(e->possibleActions(), e->modifiers()));
            e->accept();
            run(watched, nullptr, e->position().toPoint(), e->modifiers());
            return true;
        }
        case QEvent::DragLeave:
            accept_ = false;
            return true;
        case QEvent::Drop: {
            auto* e = static_cast<QDropEvent*>(event);
            if (!accept_) {
                e->setDropAction(Qt::IgnoreAction);
                e->ignore();
                return true;
            }
            accept_ = false;
            const std::vector<std::string> files = local_files(e->mimeData());
            e->setDropAction(drop_effect(e->possibleActions(), e->modifiers()));
            e->accept();
            run(watched, &files, e->position().toPoint(), e->modifiers());
            return true;
        }
        default:
            return false;
        }
    }

private:
    void run(QObject* watched, const std::vector<std::string>* files, QPoint at, Qt::KeyboardModifiers keys)
    {
        WindowRecord* rec = win_record_of(qobject_cast<QWidget*>(parent()));
        if (!rec)
            return;
        const int over_list = list_area_ && watched == list_area_.data();
        dragdrop_handle(rec, files, over_list, at.y(), (keys & Qt::ShiftModifier) ? 1 : 0);
    }

    QPointer<QWidget> list_area_;
    bool accept_ = false;
};

DropTarget* target_of(WindowRecord* rec)
{
    QWidget* w = rec ? rec->hwnd.get() : nullptr;
    return w ? w->findChild<DropTarget*>(QString::fromLatin1(kDropTargetName), Qt::FindDirectChildrenOnly)
             : nullptr;
}

// The list box item under y (pixels from the top of its item area), after
// scrolling by one line near the edges while hovering. An item reaching
// below the item area does not count.
QListWidgetItem* item_at(QListWidget* list, int y, bool hover)
{
    QWidget* area = list->viewport();
    QListWidgetItem* top = list->count() > 0 ? list->itemAt(QPoint(1, 0)) : nullptr;
    const int h = top ? list->visualItemRect(top).height() : 0;
    if (hover && h > 0) {
        QScrollBar* bar = list->verticalScrollBar();
        const int before = bar->value();
        if (y < h / 2) {
            bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
            if (bar->value() != before)
                y += h;
        } else if (y > area->height() - h / 2) {
            bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            if (bar->value() != before)
                y -= h;
        }
    }
    QListWidgetItem* item = list->itemAt(QPoint(1, y));
    if (!item || list->visualItemRect(item).bottom() >= area->height())
        return nullptr;
    return item;
}

void select_only(QListWidget* list, QListWidgetItem* item)
{
    list->clearSelection();
    list->setCurrentItem(item);
    item->setSelected(true);
}

}  // namespace

StringNode* dragdrop_rules(int shift)
{
    return list_of(shift);
}

void dragdrop_set_rules(int shift, const std::vector<std::string>& rules)
{
    StringNode*& list = list_of(shift);
    strlist_free(&list);
    for (const std::string& r : rules)
        list = strlist_append(list, std::string_view(r).substr(0, kLongText), 0);
}

void dragdrop_load()
{
    for (int shift = 0; shift < 2; ++shift) {
        StringNode*& list = list_of(shift);
        list = ini_read_numbered_list("dragdrop", shift ? "s" : "n", list, main_ini_path, 0);
        if (!list)
            list = defaults(shift);
    }
}

void dragdrop_save()
{
    ini_write_numbered_list(g_plain, "dragdrop", "n", 0, main_ini_path);
    ini_write_numbered_list(g_shift, "dragdrop", "s", 0, main_ini_path);
}

int dragdrop_find_rule(const std::string& file_name, std::string& out, int shift)
{
    out.clear();
    for (const StringNode* n = list_of(shift); n; n = n->next) {
        const std::string& rule = n->text;
        const std::size_t colon = rule.find(':');
        if (colon == std::string::npos || colon == 0)
            continue;
        std::size_t start = rule.find_first_not_of(' ', colon + 1);
        if (start == std::string::npos)
            continue;
        if (!wild_match(std::string_view(rule).substr(0, colon), file_name, 0, 1))
            continue;
        out = rule.substr(start);
        return 1;
    }
    return 0;
}

std::string dragdrop_param_text(const std::string& target, const std::string& path)
{
    if (path.find(' ') != std::string::npos)
        return target + " \"" + path + "\"";
    return target + " " + path;
}

int dragdrop_handle(WindowRecord* rec, const std::vector<std::string>* files, int over_list, int y, int shift)
{
    if (!win_is_record(rec) || !rec->hwnd.get())
        return 0;
    Connection* conn = rec->conn;
    if (!conn_is_live(conn))
        return 0;
    const bool hover = files == nullptr;
    QListWidget* list = rec->listbox.get();
    if (!list || !list->isVisible())
        over_list = 0;

    QListWidgetItem* item = nullptr;
    if (over_list) {
        item = item_at(list, y, hover);
        if (hover && g_hover_window == rec->hwnd.get() && item == g_hover_item)
            return 0;
        g_hover_item = item;
    } else {
        if (hover && g_hover_window == rec->hwnd.get() && y == g_hover_y && !g_hover_item)
            return 0;
        g_hover_item = nullptr;
        g_hover_y = y;
    }
    g_hover_window = rec->hwnd.get();

    std::string target;
    bool have_target = false;
    switch (rec->type) {
    case kWinChannel:
        if (over_list) {
            if (item) {
                select_only(list, item);
                if (!hover) {
                    target = popup_list_selection(rec);
                    have_target = !target.empty();
                }
            }
        } else {
            target = rec->name;
            have_target = true;
        }
        break;
    case kWinQuery:
        if (!hover && rec->subtype == kQueryPrivate) {
            target = popup_window_selection_text(rec->hwnd.get());
            have_target = !target.empty();
        }
        break;
    case kWinNotify:
        if (over_list && item) {
            select_only(list, item);
            if (!hover) {
                target = popup_window_selection_text(rec->hwnd.get());
                have_target = !target.empty();
            }
        }
        break;
    default:
        break;
    }
    if (hover)
        return 0;

    int ran = 0;
    bool matched = false;
    if (have_target) {
        QPointer<QWidget> window = rec->hwnd.get();
        const int conn_id = conn->id;
        for (const std::string& path : *files) {
            const std::size_t slash = path.rfind('/');
            const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
            std::string command;
            if (!dragdrop_find_rule(name, command, shift))
                continue;
            matched = true;
            const std::string param = dragdrop_param_text(target, path).substr(0, kLongText);
            ++ran;
            const int ok = script_exec_line(window.data(), command.c_str(), param.c_str(), 1, nullptr,
                                            nullptr, conn);
            // The command may have closed the window or freed the connection.
            if (!ok || !window || !conn_is_live(conn) || conn->id != conn_id)
                break;
        }
    }
    if (!matched)
        beep_error(0);
    if (win_is_record(rec) && rec->text_area.get()) {
        rec->text_area.get()->update();
        rec->text_area.get()->setFocus(Qt::OtherFocusReason);
    }
    return ran;
}

void dragdrop_register(WindowRecord* rec)
{
    if (!win_is_record(rec) || !rec->hwnd.get() || target_of(rec))
        return;
    QListWidget* list = rec->listbox.get();
    new DropTarget(rec->hwnd.get(), list ? list->viewport() : nullptr);
}

void dragdrop_revoke_flag(WindowRecord* rec, int on)
{
    if (!win_is_record(rec))
        return;
    if (on) {
        dragdrop_register(rec);
        return;
    }
    if (DropTarget* t = target_of(rec)) {
        if (g_hover_window == rec->hwnd.get()) {
            g_hover_window = nullptr;
            g_hover_item = nullptr;
        }
        delete t;
    }
}

void dragdrop_revoke(WindowRecord* rec)
{
    dragdrop_revoke_flag(rec, 0);
}

int dragdrop_registered(WindowRecord* rec)
{
    return win_is_record(rec) && target_of(rec) ? 1 : 0;
}

void drag_drop_install()
{
    settings_loaded.add_once(g_load_listener, kLoadDragDrop, [](SettingsLoad&) { dragdrop_load(); });
    settings_saving.add_once(g_save_listener, kSettingsSaveDragDrop, [] { dragdrop_save(); });
    // The defaults until the settings are read.
    if (!g_plain && !g_shift) {
        g_plain = defaults(0);
        g_shift = defaults(1);
    }
}

void drag_drop_uninstall()
{
    settings_loaded.drop(g_load_listener);
    settings_saving.drop(g_save_listener);
    strlist_free(&g_plain);
    strlist_free(&g_shift);
}
