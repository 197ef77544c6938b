#include "display/bar_windows.h"

#include <QPointer>
#include <QWidget>

namespace {
QPointer<QWidget> g_bar_windows[BAR_COUNT];
}

void bar_set_window(int bar, QWidget* w)
{
    if (bar < 0 || bar >= BAR_COUNT)
        return;
    g_bar_windows[bar] = w;
}

QWidget* bar_window(int bar)
{
    if (bar < 0 || bar >= BAR_COUNT)
        return nullptr;
    return g_bar_windows[bar].data();
}
