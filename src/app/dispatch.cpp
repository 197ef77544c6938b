// The dispatch step as an application event filter.
#include "app/dispatch.h"

#include "app/frame_menu.h"
#include "app/mdi_arrange.h"
#include "app/startup.h"
#include "model/window_record.h"
#include "display/bar_windows.h"
#include "core/options.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QWidget>
#include <vector>

namespace {

struct Modeless {
    QPointer<QWidget> dialog;
    int kind;
};

std::vector<Modeless> g_modeless; // registration order
QPointer<QMdiArea> g_mdi;

class DispatchFilter : public QObject
{
public:
    bool eventFilter(QObject *receiver, QEvent *event) override
    {
        int r = frame_dispatch_message(receiver, event);
        return r == DISPATCH_MDI_ACCEL || r == DISPATCH_HANDED_TO_DIALOG;
    }
};

bool g_in_redirect = false;
QPointer<DispatchFilter> g_filter; // owned by the application object

void prune()
{
    std::erase_if(g_modeless, [](const Modeless &m) { return m.dialog.isNull(); });
}

bool is_key_event(const QEvent *e)
{
    return e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease || e->type() == QEvent::ShortcutOverride;
}

// The window record whose control receives a key, or null.
QWidget *window_of_control(QObject *receiver)
{
    for (QObject *o = receiver; o; o = o->parent())
        if (o->isWidgetType() && win_record_of(static_cast<QWidget *>(o)))
            return static_cast<QWidget *>(o);
    return nullptr;
}

int mdi_accelerator(QObject *receiver, QKeyEvent *key)
{
    if (key->type() != QEvent::KeyPress)
        return DISPATCH_NORMAL;
    Qt::KeyboardModifiers mods = key->modifiers();
    if (!(mods & Qt::ControlModifier) || (mods & Qt::AltModifier))
        return DISPATCH_NORMAL;
    // Ctrl+Tab in a window follows the window list while the option is on,
    // desktop windows included.
    const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
    if (tab && opt(OPT_CTRL_TAB_SWITCHBAR_ORDER)) {
        if (QWidget *window = window_of_control(receiver)) {
            const bool back = (mods & Qt::ShiftModifier) || key->key() == Qt::Key_Backtab;
            win_activate_next_in_list(window, back ? 1 : 0);
            return DISPATCH_MDI_ACCEL;
        }
    }
    if (!g_mdi)
        return DISPATCH_NORMAL;
    QMdiSubWindow *active = g_mdi->activeSubWindow();
    if (!active || !active->isEnabled())
        return DISPATCH_NORMAL;
    const bool shift = mods & Qt::ShiftModifier;
    switch (key->key()) {
    case Qt::Key_F4:
        active->close();
        return DISPATCH_MDI_ACCEL;
    case Qt::Key_F6:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        mdi_activate_next(shift || key->key() == Qt::Key_Backtab ? 1 : 0, g_mdi);
        return DISPATCH_MDI_ACCEL;
    default:
        return DISPATCH_NORMAL;
    }
}

// The main window's accelerators with Alt (Alt+K the colours, Alt+O the
// options, ...) win over the menu bar's letters while a window or the
// treebar has the focus. The shortcut question that comes before the key
// is answered "mine", so that the key itself arrives here and is taken.
int main_accelerator(QObject *receiver, QKeyEvent *key)
{
    const Qt::KeyboardModifiers mods = key->modifiers();
    if (!(mods & Qt::AltModifier) || (mods & (Qt::ControlModifier | Qt::MetaModifier)))
        return DISPATCH_NORMAL;
    const int k = key->key();
    if (k < Qt::Key_A || k > Qt::Key_Z)
        return DISPATCH_NORMAL;
    QWidget *tree = bar_window(BAR_TREEBAR);
    bool ours = window_of_control(receiver) != nullptr;
    for (QObject *o = receiver; o && !ours && tree; o = o->parent())
        ours = o == tree;
    if (!ours)
        return DISPATCH_NORMAL;
    const int command = app_accelerator_command(90, kAccelAlt, 'A' + (k - Qt::Key_A));
    if (!command || (command == 176 && !opt(OPT_ALT_Z_CLOSES_WINDOW)))
        return DISPATCH_NORMAL;
    // A held key runs its command once; its repeats open no menu either.
    key->accept();
    if (key->type() == QEvent::KeyPress && !key->isAutoRepeat())
        accel_dispatch('A' + (k - Qt::Key_A), 1, 0);
    return DISPATCH_MDI_ACCEL;
}

} // namespace

int accel_dispatch(int key, int alt, int ctrl)
{
    const int command = app_accelerator_command(90, (alt ? kAccelAlt : 0) | (ctrl ? kAccelCtrl : 0), key);
    if (!command || (command == 176 && !opt(OPT_ALT_Z_CLOSES_WINDOW)))
        return 0;
    QMetaObject::invokeMethod(
        qApp, [command] { frame_on_command(nullptr, static_cast<uintptr_t>(command), 8); }, Qt::QueuedConnection);
    return 1;
}

void dispatch_register_modeless(QWidget *dialog, int kind)
{
    if (!dialog)
        return;
    prune();
    for (Modeless &m : g_modeless)
        if (m.dialog == dialog) {
            m.kind = kind;
            return;
        }
    g_modeless.push_back({dialog, kind});
}

void dispatch_unregister_modeless(QWidget *dialog)
{
    std::erase_if(g_modeless, [dialog](const Modeless &m) { return m.dialog.isNull() || m.dialog == dialog; });
}

QWidget *dispatch_active_modeless()
{
    QWidget *active = QApplication::activeWindow();
    if (!active)
        return nullptr;
    for (int kind : {MODELESS_SCRIPT_DIALOG, MODELESS_SCRIPT_EDITOR, MODELESS_ADD_PLAY, MODELESS_PLAY_CENTRE})
        for (const Modeless &m : g_modeless)
            if (m.kind == kind && m.dialog && m.dialog == active && m.dialog->isVisible())
                return m.dialog;
    return nullptr;
}

void dispatch_set_mdi_area(QMdiArea *area)
{
    g_mdi = area;
}

int frame_dispatch_message(QObject *receiver, QEvent *event)
{
    if (!event || !is_key_event(event) || !receiver || !receiver->isWidgetType())
        return DISPATCH_NORMAL;
    if (QWidget *dialog = dispatch_active_modeless()) {
        auto *target = static_cast<QWidget *>(receiver);
        if (target->window() == dialog || g_in_redirect)
            return DISPATCH_DIALOG;
        // A key aimed elsewhere while the dialog is active belongs to the dialog.
        QWidget *focus = dialog->focusWidget() ? dialog->focusWidget() : dialog;
        g_in_redirect = true;
        QCoreApplication::sendEvent(focus, event);
        g_in_redirect = false;
        event->accept(); // taken: it goes no further on its first way
        return DISPATCH_HANDED_TO_DIALOG;
    }
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        if (int r = main_accelerator(receiver, static_cast<QKeyEvent *>(event)))
            return r;
    }
    return mdi_accelerator(receiver, static_cast<QKeyEvent *>(event));
}

void dispatch_install()
{
    if (g_filter || !QCoreApplication::instance())
        return;
    g_filter = new DispatchFilter;
    g_filter->setParent(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(g_filter);
}

void dispatch_uninstall()
{
    if (!g_filter)
        return;
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(g_filter);
    delete g_filter.data();
    g_filter = nullptr;
}
