// Guarded widget pointers kept in the records of code that never includes
// the widgets (timers, requests waiting for a reply): set and read here,
// where the widget type is complete.
#pragma once

#include <QPointer>

class QWidget;

// The widget a handle guards; null once it was destroyed or never set.
QWidget* widget_handle_get(const QPointer<QWidget>& handle);
// Points the handle at `widget` (null clears it).
void widget_handle_set(QPointer<QWidget>& handle, QWidget* widget);
