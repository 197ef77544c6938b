#include "display/dialog_units.h"

#include <QApplication>
#include <QFont>
#include <QFontMetrics>

DialogBaseUnits dialog_base_units(const QFont& font)
{
    const QFontMetrics fm(font);
    DialogBaseUnits base;
    if (fm.averageCharWidth() > 0)
        base.width = fm.averageCharWidth();
    if (fm.height() > 0)
        base.height = fm.height();
    return base;
}

DialogBaseUnits dialog_base_units()
{
    return dialog_base_units(QApplication::font());
}

int dialog_units_x(int units, DialogBaseUnits base)
{
    return static_cast<int>(static_cast<long long>(units) * base.width / 4);
}

int dialog_units_y(int units, DialogBaseUnits base)
{
    return static_cast<int>(static_cast<long long>(units) * base.height / 8);
}

QRect dialog_units_rect(int x, int y, int w, int h, DialogBaseUnits base)
{
    return QRect(dialog_units_x(x, base), dialog_units_y(y, base), dialog_units_x(w, base), dialog_units_y(h, base));
}
