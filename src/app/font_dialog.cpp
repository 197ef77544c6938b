#include "app/font_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

#include <algorithm>
#include <string>

#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/numbered_texts.h"
#include "display/fonts.h"
#include "platform/platform_utils.h"

namespace {

QPointer<QFontDialog> g_open;

QString text_of(int id)
{
    const char* t = text_load_string(id);
    return QString::fromUtf8(t ? t : "");
}

// Pixels of the window's font and points of the chooser.
int points_of(int pixels)
{
    return std::max(1, (pixels * 72 + font_logpixelsy() / 2) / font_logpixelsy());
}

int pixels_of(int points)
{
    return (points * font_logpixelsy() + 36) / 72;
}

}  // namespace

int font_choose_for_window(QWidget* window)
{
    if (g_open)
        return 0;
    WindowRecord* rec = win_record_of(window);
    if (!win_is_record(rec)) {
        beep_error(0);
        return 1;
    }
    font_ensure_window(rec);
    QPointer<QWidget> hwnd = rec->hwnd.get();
    QWidget* owner = window;
    if (!owner->isVisible() || owner->isMinimized())
        owner = win_frame_handle();

    QFontDialog dialog(owner);
    g_open = &dialog;
    dialog.setObjectName(QStringLiteral("font_dialog"));
    dialog.setOption(QFontDialog::DontUseNativeDialog, true);
    dialog.setWindowTitle(QString::fromUtf8("Yazı Karakteri (Font) Ayarları (/font)"));
    QFont start(QString::fromUtf8(rec->font_face.substr(0, 31).c_str()));
    start.setPointSize(std::clamp(points_of(rec->font_size), 5, 30));
    start.setBold(rec->font_weight >= 700);
    dialog.setCurrentFont(start);

    // The window's own choices under the chooser.
    auto* extra = new QWidget(&dialog);
    auto* make_default = new QCheckBox(extra);
    dlg_set_item_id(make_default, 102);
    auto* use_default = new QCheckBox(QString::fromUtf8("&Varsayılanı Kullan"), extra);
    dlg_set_item_id(use_default, 103);
    if (rec->type == kWinChannel || rec->type == kWinQuery) {
        make_default->setText(text_of(rec->type == kWinChannel ? 2551 : 2552));
    } else {
        make_default->hide();
        use_default->hide();
    }
    auto* encoding = new QComboBox(extra);
    encoding->addItems({text_of(2553), text_of(2554), text_of(2555)});
    encoding->setCurrentIndex(std::clamp(rec->font_encoding, 0, 2));
    dlg_set_item_id(encoding, 105);
    auto* label = new QLabel(QStringLiteral("UTF-&8:"), extra);
    label->setBuddy(encoding);
    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(encoding);
    row->addStretch(1);
    auto* column = new QVBoxLayout(extra);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(make_default);
    column->addWidget(use_default);
    column->addLayout(row);
    // Above the chooser's buttons, which move down a row.
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    int at = grid && buttons ? grid->indexOf(buttons) : -1;
    if (at >= 0) {
        int r = 0, c = 0, rs = 1, cs = 1;
        grid->getItemPosition(at, &r, &c, &rs, &cs);
        grid->removeWidget(buttons);
        grid->addWidget(extra, r, 0, 1, grid->columnCount());
        grid->addWidget(buttons, r + 1, c, rs, cs);
    } else if (grid) {
        grid->addWidget(extra, grid->rowCount(), 0, 1, grid->columnCount());
    } else if (dialog.layout()) {
        dialog.layout()->addWidget(extra);
    }

    const int code = dialog.exec();
    g_open = nullptr;
    rec = hwnd ? win_record_of(hwnd.data()) : nullptr;
    if (code != QDialog::Accepted || !win_is_record(rec))
        return 1;
    const QFont chosen = dialog.selectedFont();
    const std::string face = chosen.family().toUtf8().toStdString();
    const int points = std::clamp(chosen.pointSize() > 0 ? chosen.pointSize() : points_of(rec->font_size), 5, 30);
    const int weight = chosen.bold() ? 700 : 400;
    const int charset = font_charset_for_face(face, rec->font_charset);
    const int mode = encoding->currentIndex();
    if (!font_apply(rec, face, pixels_of(points), weight, charset, mode < 0 || mode > 2 ? 0 : mode, rec->name,
                    rec->type, rec->subtype, make_default->isChecked() ? 1 : 0,
                    use_default->isChecked() ? 1 : 0))
        beep_error(0);
    font_reload_all(0);
    return 1;
}
