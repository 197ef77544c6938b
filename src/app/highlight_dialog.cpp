#include "app/highlight_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/file_dialogs.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "model/colors.h"
#include "display/highlight.h"
#include "model/line_buffer.h"
#include "platform/platform_utils.h"

namespace {

QPointer<QDialog> g_open;

QString text_of(int id)
{
    const char* t = text_load_string(id);
    return QString::fromUtf8(t ? t : "");
}

// The part combo's order: messages only, the nick only, nick and message.
constexpr int kPartOfRow[3] = {0, 2, 1};

int row_of_part(int part)
{
    for (int row = 0; row < 3; ++row)
        if (kPartOfRow[row] == part)
            return row;
    return 0;
}

// The swatch of a colour combo row: row 0 (no colour) hatched, row k
// palette index k - 1, framed in the window and button-shadow colours.
QIcon colour_swatch(int row, const QPalette& palette)
{
    QPixmap pixmap(24, 12);
    pixmap.fill(palette.color(QPalette::Window));
    QPainter p(&pixmap);
    const QRect inner(2, 2, 20, 8);
    if (row == 0)
        p.fillRect(inner, QBrush(palette.color(QPalette::Dark), Qt::BDiagPattern));
    else
        p.fillRect(inner, QColor::fromRgba(color_rgb_to_argb(color_rgb(row - 1))));
    p.setPen(palette.color(QPalette::Dark));
    p.drawRect(QRect(1, 1, 21, 9));
    return QIcon(pixmap);
}

std::string without(std::string text, const char* chars)
{
    text.erase(std::remove_if(text.begin(), text.end(),
                              [chars](char c) { return std::strchr(chars, c) != nullptr; }),
               text.end());
    return text;
}

class HighlightDialog : public QDialog {
public:
    HighlightDialog(QWidget* parent, const std::string& exchange) : QDialog(parent)
    {
        setWindowTitle(exchange.empty() ? QString::fromUtf8("Gözalıcı (Highlight) Ekle") : text_of(2981));
        words = new QLineEdit(this);
        words->setMaxLength(256);
        dlg_set_item_id(words, 101);
        part = new QComboBox(this);
        part->addItems({text_of(2984), text_of(2986), text_of(2985)});
        dlg_set_item_id(part, 102);
        case_sensitive = new QCheckBox(QStringLiteral("H&assas Durum"), this);
        dlg_set_item_id(case_sensitive, 103);
        regex = new QCheckBox(QStringLiteral("&Regex"), this);
        dlg_set_item_id(regex, 104);
        colour = new QComboBox(this);
        for (int row = 0; row <= 16; ++row)
            colour->addItem(colour_swatch(row, palette()), QString::asprintf("color %d", row));
        dlg_set_item_id(colour, 105);
        sound = new QPushButton(text_of(2982), this);
        dlg_set_item_id(sound, 106);
        preview = new QPushButton(this);
        preview->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
        dlg_set_item_id(preview, 107);
        flash = new QCheckBox(QStringLiteral("&Flash mesaj:"), this);
        dlg_set_item_id(flash, 108);
        message = new QLineEdit(this);
        message->setMaxLength(256);
        dlg_set_item_id(message, 109);
        flash_count = new QComboBox(this);
        flash_count->setEditable(true);
        flash_count->addItems({"--", "1", "5", "10", "30", "60"});
        dlg_set_item_id(flash_count, 110);
        tip = new QCheckBox(QStringLiteral("&Baloncuk mesaj:"), this);
        dlg_set_item_id(tip, 111);
        tip_seconds = new QComboBox(this);
        tip_seconds->setEditable(true);
        tip_seconds->addItems({"3", "60"});
        dlg_set_item_id(tip_seconds, 112);
        auto* ok = new QPushButton(QStringLiteral("Tamam"), this);
        auto* cancel = new QPushButton(QString::fromUtf8("İptal"), this);
        auto* help = new QPushButton(QStringLiteral("Yardım"), this);
        dlg_set_item_id(ok, 1);
        dlg_set_item_id(cancel, 2);
        dlg_set_item_id(help, 9);
        ok->setDefault(true);

        auto* grid = new QGridLayout;
        grid->addWidget(words, 0, 0, 1, 3);
        grid->addWidget(part, 1, 0);
        grid->addWidget(case_sensitive, 1, 1);
        grid->addWidget(regex, 1, 2);
        grid->addWidget(colour, 2, 0);
        grid->addWidget(sound, 2, 1);
        grid->addWidget(preview, 2, 2);
        grid->addWidget(flash, 3, 0);
        grid->addWidget(flash_count, 3, 1);
        grid->addWidget(message, 4, 0, 1, 3);
        grid->addWidget(tip, 5, 0);
        grid->addWidget(tip_seconds, 5, 1);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch(1);
        buttons->addWidget(ok);
        buttons->addWidget(cancel);
        buttons->addWidget(help);
        auto* layout = new QVBoxLayout(this);
        layout->addLayout(grid);
        layout->addLayout(buttons);

        connect(sound, &QPushButton::clicked, this, [this] { cycle_sound(); });
        connect(preview, &QPushButton::clicked, this, [this] { play_preview(); });
        connect(ok, &QPushButton::clicked, this, [this] { confirm(); });
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
        connect(help, &QPushButton::clicked, this, [] { help_open(std::string(), std::string(), 440); });
    }

    // Fills the controls from an entry in list form; false when it holds
    // no entry.
    bool fill(const std::string& exchange)
    {
        const std::size_t tab = exchange.find('\t');
        if (tab == std::string::npos)
            return false;
        HighlightEntry e;
        if (!highlight_parse(std::string_view(exchange).substr(tab + 1), e))
            return false;
        std::string joined;
        for (const HighlightWord& w : e.words)
            joined += (joined.empty() ? "" : ",") + w.text;
        words->setText(QString::fromStdString(joined));
        part->setCurrentIndex(row_of_part(e.part));
        case_sensitive->setChecked(e.case_sensitive != 0);
        regex->setChecked(e.regex != 0);
        colour->setCurrentIndex(std::clamp(e.color, 0, 16));
        sound_file = e.sound_file;
        sound_kind = e.sound;
        show_sound();
        flash->setChecked(e.flash != 0);
        flash_count->setCurrentText(e.flash_count ? QString::number(e.flash_count) : QStringLiteral("--"));
        message->setText(QString::fromStdString(e.message));
        tip->setChecked(e.tip != 0);
        tip_seconds->setCurrentText(QString::number(e.tip_seconds));
        return true;
    }

    std::string result;

private:
    void show_sound()
    {
        if (sound_kind == 1) {
            sound->setText(text_of(2983));
        } else if (sound_kind == 2) {
            // The path, shortened to fit the button.
            const QFontMetrics fm(sound->font());
            sound->setText(fm.elidedText(QString::fromStdString(sound_file), Qt::ElideMiddle,
                                         std::max(40, sound->width() - 12)));
            sound->setToolTip(QString::fromStdString(sound_file));
        } else {
            sound->setText(text_of(2982));
        }
    }

    // No sound, then a beep, then a chosen file, then no sound again.
    void cycle_sound()
    {
        if (sound_kind == 0) {
            sound_kind = 1;
        } else if (sound_kind == 1) {
            filedlg_state().remembered_folder = main_settings.waves_dir + "*.wav";
            sound_file.clear();
            if (filedlg_open(this, 1, text_load_string(5101), nullptr, 4) == 1)
                sound_file = filedlg_state().remembered_folder + filedlg_state().chosen_name;
            sound_kind = sound_file.empty() ? 0 : 2;
        } else {
            sound_kind = 0;
            sound_file.clear();
        }
        show_sound();
    }

    void play_preview()
    {
        if (sound_kind == 1) {
            beep_repeat_timer(1);
        } else if (sound_kind == 2 && print_hooks.play_sound) {
            Connection* conn = conn_of_window(parentWidget());
            print_hooks.play_sound(conn, sound_file);
        }
    }

    void confirm()
    {
        std::string list = words->text().toStdString();
        list = list.substr(0, list.find('"'));
        bool any = false;
        for (char c : list)
            any = any || (c != ',' && c != ' ');
        if (!any) {
            words->clear();
            words->setFocus();
            beep_error(0);
            return;
        }
        const int row = std::max(0, colour->currentIndex());
        const int count = std::clamp(std::atoi(flash_count->currentText().toStdString().c_str()), 0, 999);
        const int seconds = std::clamp(std::atoi(tip_seconds->currentText().toStdString().c_str()), 3, 60);
        std::string sound_text;
        if (sound_kind == 1)
            sound_text = "beep";
        else if (sound_kind == 2)
            sound_text = without(sound_file, "\",");
        const std::string note = without(message->text().toStdString(), "\",");
        char head[64];
        std::snprintf(head, sizeof head, "%d,%d,%d,%d", row, flash->isChecked() ? 1 : 0,
                      kPartOfRow[std::clamp(part->currentIndex(), 0, 2)], count);
        char tail[64];
        std::snprintf(tail, sizeof tail, ",%d,%d,%d,%d", case_sensitive->isChecked() ? 1 : 0,
                      regex->isChecked() ? 1 : 0, tip->isChecked() ? 1 : 0, seconds);
        result = list + "\t" + head + ",\"" + sound_text + "\",\"" + note + "\",\"" + list + "\"" + tail;
        accept();
    }

    QLineEdit* words = nullptr;
    QComboBox* part = nullptr;
    QCheckBox* case_sensitive = nullptr;
    QCheckBox* regex = nullptr;
    QComboBox* colour = nullptr;
    QPushButton* sound = nullptr;
    QPushButton* preview = nullptr;
    QCheckBox* flash = nullptr;
    QLineEdit* message = nullptr;
    QComboBox* flash_count = nullptr;
    QCheckBox* tip = nullptr;
    QComboBox* tip_seconds = nullptr;
    int sound_kind = 0;  // 0 none, 1 beep, 2 the file
    std::string sound_file;
};

}  // namespace

int highlight_edit_dialog(QWidget* parent, std::string& exchange)
{
    if (g_open)
        return 0;
    HighlightDialog dialog(parent, exchange);
    if (!exchange.empty() && !dialog.fill(exchange)) {
        beep_error(0);
        return 0;
    }
    g_open = &dialog;
    if (parent) {
        dialog.adjustSize();
        const QRect area = parent->window()->frameGeometry();
        dialog.move(area.center() - QPoint(dialog.width() / 2, dialog.height() / 2));
    }
    const int accepted = dialog.exec() == QDialog::Accepted ? 1 : 0;
    g_open = nullptr;
    if (!accepted)
        return 0;
    exchange = dialog.result;
    return 1;
}

QDialog* highlight_edit_dialog_open()
{
    return g_open.data();
}
