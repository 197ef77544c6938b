#include "display/colour_widgets.h"

#include <QApplication>
#include <QColor>
#include <QEvent>
#include <QPalette>
#include <QPointer>
#include <QWidget>

#include "display/child_controls.h"
#include "display/window_queries.h"
#include "display/backgrounds.h"
#include "model/colors.h"
#include "model/window_record.h"

namespace {

QColor to_qcolor(ColorRgb rgb)
{
    return QColor(color_rgb_red(rgb), color_rgb_green(rgb), color_rgb_blue(rgb));
}

void paint_editbox(QWidget* box, int focused)
{
    QPalette pal = box->palette();
    const QColor text = to_qcolor(color_rgb(kColorEditboxText));
    const QColor base = to_qcolor(color_rgb(focused ? kColorEditbox : kColorInactive));
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(g, QPalette::Text, text);
        pal.setColor(g, QPalette::Base, base);
    }
    box->setPalette(pal);
}

// Keeps an editbox's colours following its focus.
class EditboxFocusFilter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
            if (QWidget* w = qobject_cast<QWidget*>(watched))
                paint_editbox(w, event->type() == QEvent::FocusIn ? 1 : 0);
        }
        return false;
    }
};

EditboxFocusFilter* focus_filter()
{
    static QPointer<EditboxFocusFilter> filter;
    if (!filter)
        filter = new EditboxFocusFilter();
    return filter;
}

void colour_listbox(QWidget* list)
{
    QPalette pal = list->palette();
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(g, QPalette::Base, to_qcolor(color_rgb(kColorListbox)));
        pal.setColor(g, QPalette::Text, to_qcolor(color_rgb(kColorListboxText)));
    }
    list->setPalette(pal);
}

// Every window's background picture, text area, editboxes and list box.
void repaint_windows()
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    for (WindowRecord* rec = win_list; rec; rec = rec->next) {
        bg_rerender(rec);
        if (QWidget* area = rec->text_area.get())
            area->update();
        for (EditBox* box : {rec->editbox.get(), rec->editbox2.get()}) {
            if (!box)
                continue;
            QWidget* w = box;
            color_editbox_apply(w, w->hasFocus() ? 1 : 0);
            w->update();
        }
        if (ListBox* list = rec->listbox.get()) {
            QWidget* w = list;
            colour_listbox(w);
            w->update();
        }
        if (QWidget* hwnd = rec->hwnd.get())
            hwnd->update();
    }
}

int g_windows_id = 0;

}  // namespace

void color_editbox_apply(QWidget* box, int focused)
{
    if (!box)
        return;
    paint_editbox(box, focused);
    box->installEventFilter(focus_filter());
}

void colour_widgets_install()
{
    colours_applied.add_once(g_windows_id, kColoursAppliedWindows, repaint_windows);
}

void colour_widgets_uninstall()
{
    colours_applied.drop(g_windows_id);
}
