#include "app/input_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "app/window_facts.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/numbered_texts.h"

namespace {

QPointer<QDialog> current_dialog;

QString text_of(int id, const char* fallback)
{
    const char* t = text_load_string(id);
    return QString::fromUtf8(t && *t ? t : fallback);
}

QStyle::StandardPixmap icon_of(int flags, bool* has_icon)
{
    *has_icon = true;
    if (flags & kInputInfoIcon)
        return QStyle::SP_MessageBoxInformation;
    if (flags & kInputQuestionIcon)
        return QStyle::SP_MessageBoxQuestion;
    if (flags & kInputWarningIcon)
        return QStyle::SP_MessageBoxWarning;
    if (flags & kInputErrorIcon)
        return QStyle::SP_MessageBoxCritical;
    if (flags & (kInputOwnIcon | kInputShellIcon))
        return QStyle::SP_MessageBoxQuestion;
    *has_icon = false;
    return QStyle::SP_MessageBoxQuestion;
}

// The window the dialog is centred over: the active child window for
// placement 1, else the owner; the main window when neither is shown.
QWidget* reference_of(const InputDialogParams& p)
{
    QWidget* ref = p.placement == 1 ? win_last_active_child() : p.owner;
    if (ref)
        ref = ref->window();
    if (!ref || !ref->isVisible() || ref->isMinimized())
        ref = win_frame_handle();
    if (ref && (!ref->isVisible() || ref->isMinimized()))
        ref = nullptr;
    return ref;
}

} // namespace

QWidget* input_dialog_current()
{
    return current_dialog.data();
}

int input_dialog_exec(InputDialogParams& p)
{
    if (current_dialog)
        return -1;   // one question at a time
    QDialog dialog(p.owner ? p.owner->window() : nullptr);
    dialog.setObjectName("input_dialog");
    dialog.setWindowTitle(QString::fromUtf8(p.title.empty() ? "Istek Girişi" : p.title.c_str()));
    dialog.setModal(true);

    auto* outer = new QVBoxLayout(&dialog);
    auto* row = new QHBoxLayout();
    bool has_icon = false;
    const QStyle::StandardPixmap sp = icon_of(p.flags, &has_icon);
    if (has_icon) {
        auto* icon = new QLabel(&dialog);
        icon->setObjectName("icon");
        icon->setPixmap(dialog.style()->standardIcon(sp).pixmap(32, 32));
        row->addWidget(icon, 0, Qt::AlignTop);
    }
    auto* column = new QVBoxLayout();
    auto* prompt = new QLabel(QString::fromUtf8(p.prompt.c_str()), &dialog);
    prompt->setObjectName("prompt");
    prompt->setTextFormat(Qt::PlainText);
    column->addWidget(prompt);

    const bool list = (p.flags & kInputList) != 0;
    const bool edit = !list && (p.flags & (kInputEdit | kInputPassword)) != 0;
    QLineEdit* line = nullptr;
    QComboBox* combo = nullptr;
    if (list) {
        combo = new QComboBox(&dialog);
        combo->setObjectName("list");
        combo->setEditable(true);
        for (const std::string& item : p.items)
            combo->addItem(QString::fromUtf8(item.c_str()));
        const int at = combo->findText(QString::fromUtf8(p.default_text.c_str()));
        if (at >= 0)
            combo->setCurrentIndex(at);
        else
            combo->setEditText(QString::fromUtf8(p.default_text.c_str()));
        column->addWidget(combo);
    } else if (edit) {
        line = new QLineEdit(QString::fromUtf8(p.default_text.c_str()), &dialog);
        line->setObjectName("edit");
        line->setMaxLength(1024);
        if (p.flags & kInputPassword)
            line->setEchoMode(QLineEdit::Password);
        column->addWidget(line);
    }
    row->addLayout(column, 1);
    outer->addLayout(row);

    // The buttons: the result each gives back.
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    auto add_button = [&](const char* name, const QString& text, int result, bool is_default) {
        auto* b = new QPushButton(text, &dialog);
        b->setObjectName(name);
        b->setDefault(is_default);
        QObject::connect(b, &QPushButton::clicked, &dialog, [&dialog, result] { dialog.done(result + 10); });
        buttons->addWidget(b);
    };
    const QString cancel = QString::fromUtf8("İptal");
    if (p.flags & kInputYesNoCancel) {
        add_button("yes", text_of(1901, "&Evet"), 1, true);
        add_button("no", text_of(1902, "&Hayır"), 2, false);
        add_button("cancel", cancel, 0, false);
    } else if (p.flags & kInputYesNo) {
        add_button("yes", text_of(1901, "&Evet"), 1, true);
        add_button("no", text_of(1902, "&Hayır"), 0, false);
    } else if (p.flags & kInputRetry) {
        add_button("retry", text_of(1917, "&Tekrar"), 1, true);
        add_button("cancel", cancel, 0, false);
    } else if (p.flags & kInputOkOnly) {
        add_button("ok", QString::fromUtf8("Tamam"), 1, true);
    } else {
        add_button("ok", QString::fromUtf8("Tamam"), 1, true);
        add_button("cancel", cancel, 0, false);
    }
    if (!(p.flags & kInputRightButtons))
        buttons->addStretch(1);
    outer->addLayout(buttons);

    // The caption must fit.
    const int caption = dialog.fontMetrics().horizontalAdvance(dialog.windowTitle()) + 80;
    dialog.adjustSize();
    if (dialog.width() < caption)
        dialog.resize(caption, dialog.height());
    if (QWidget* ref = reference_of(p)) {
        const QRect r = ref->frameGeometry();
        dialog.move(r.center() - QPoint(dialog.width() / 2, dialog.height() / 2));
    }
    if (p.flags & kInputPlaySound)
        QApplication::beep();

    // The count-down: one tick a second; the last one closes as Cancel.
    QTimer countdown;
    if (p.timeout > 0) {
        countdown.setInterval(1000);
        QObject::connect(&countdown, &QTimer::timeout, &dialog, [&] {
            if (--p.timeout <= 0) {
                p.timeout = -1;
                countdown.stop();
                dialog.done(10);
            }
        });
        countdown.start();
    }
    if (line)
        line->setFocus();
    else if (combo)
        combo->setFocus();
    if (p.flags & kInputForeground) {
        dialog.raise();
        dialog.activateWindow();
    }

    current_dialog = &dialog;
    const int code = dialog.exec();
    current_dialog = nullptr;
    countdown.stop();
    // The close box rejects: Cancel.
    const int result = code >= 10 ? code - 10 : 0;
    if (result == 1) {
        if (line)
            p.answer = line->text().toStdString();
        else if (combo)
            p.answer = combo->currentText().toStdString();
        if (p.answer.size() > 1024)
            p.answer.resize(1024);
    }
    return result;
}

int input_dialog_run(QWidget* owner, const std::string& title, const std::string& prompt, std::string* answer,
                     int type, int kind, int foreground, int placement, int right_buttons, int play_sound)
{
    InputDialogParams p;
    p.owner = owner;
    p.title = title;
    p.prompt = prompt;
    p.placement = placement;
    switch (type) {
    case 3: p.flags |= kInputOkOnly; break;
    case 4: p.flags |= kInputYesNo; break;
    case 5: p.flags |= kInputYesNoCancel; break;
    case 6: p.flags |= kInputRetry; break;
    default:
        if (!answer)
            return 0;
        break;
    }
    static const int kIcons[] = {0, kInputInfoIcon, kInputQuestionIcon, kInputWarningIcon,
                                 kInputErrorIcon, kInputOwnIcon, kInputShellIcon};
    if (kind < 0 || kind > 6)
        return 0;
    p.flags |= kIcons[kind];
    if (answer) {
        p.flags |= kInputEdit;
        p.default_text = *answer;
    }
    if (foreground)
        p.flags |= kInputForeground;
    if (right_buttons)
        p.flags |= kInputRightButtons;
    if (play_sound)
        p.flags |= kInputPlaySound;
    const int r = input_dialog_exec(p);
    if (r == 1 && answer)
        *answer = p.answer;
    return r;
}

int select_dialog_run(QWidget* owner, int kind, const std::string& prompt, std::string& out)
{
    out.clear();
    if (current_dialog)
        return -1;
    QFileDialog dialog(owner ? owner->window() : nullptr, QString::fromUtf8(prompt.c_str()));
    dialog.setObjectName("select_dialog");
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    if (kind == 0) {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
        if (kind == 5)
            dialog.setFilter(dialog.filter() | QDir::Hidden);
    }
    current_dialog = &dialog;
    const int code = dialog.exec();
    current_dialog = nullptr;
    if (code != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return 0;
    out = dialog.selectedFiles().first().toStdString();
    if (kind == 0 && !out.empty() && out.back() != '/')
        out += '/';
    return 1;
}
