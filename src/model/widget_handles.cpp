#include "model/widget_handles.h"

#include <QWidget>

QWidget* widget_handle_get(const QPointer<QWidget>& handle)
{
    return handle.data();
}

void widget_handle_set(QPointer<QWidget>& handle, QWidget* widget)
{
    handle = widget;
}
