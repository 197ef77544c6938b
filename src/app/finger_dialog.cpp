#include "app/finger_dialog.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <string>
#include <vector>

#include "model/connection.h"
#include "app/frame_menu.h"
#include "app/frame_proc.h"
#include "app/popup_menus.h"
#include "app/window_ops.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "irc/services/finger.h"
#include "platform/platform_utils.h"

namespace {

QPointer<QDialog> g_dialog;

QString qtext(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

std::string utf8(const QString& text)
{
    const QByteArray b = text.toUtf8();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

std::vector<std::string> history()
{
    std::vector<std::string> out;
    StringNode* list = finger_history_load();
    for (const StringNode* n = list; n; n = n->next)
        if (!n->text.empty())
            out.push_back(n->text);
    strlist_free(&list);
    return out;
}

// The window a query starts from: the active window, else the current
// connection's status window.
QWidget* query_window(Connection** conn)
{
    QWidget* w = win_active.get();
    if (!w || !win_record_of(w))
        w = nullptr;
    Connection* c = w ? conn_of_window(w) : nullptr;
    if (!conn_is_live(c))
        c = conn_current();
    if (!w && conn_is_live(c))
        w = c->status_window.data();
    *conn = c;
    return w;
}

// The Finger window comes to the front and the query starts.
void ask(const std::string& target, QWidget* window, Connection* conn)
{
    if (WindowRecord* rec = win_find_by_type(kWinFinger, nullptr); rec && rec->hwnd.get())
        win_op_activate(rec->hwnd.get(), 1);
    finger_query_start(window, target, conn);
}

class FingerDialog : public QDialog {
public:
    FingerDialog(QWidget* parent) : QDialog(parent)
    {
        setObjectName(QStringLiteral("finger_dialog"));
        setWindowTitle(QStringLiteral("Finger"));
        setAttribute(Qt::WA_DeleteOnClose);
        combo = new QComboBox(this);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->lineEdit()->setMaxLength(static_cast<int>(kShortText));
        combo->setMinimumContentsLength(30);
        dlg_set_item_id(combo, 178);
        for (const std::string& h : history())
            combo->addItem(qtext(h));
        if (combo->count() > 0)
            combo->setCurrentIndex(0);
        auto* remove = new QPushButton(QString::fromUtf8("&Sil"), this);
        remove->setAutoDefault(false);
        dlg_set_item_id(remove, 179);
        auto* ok = new QPushButton(QStringLiteral("Tamam"), this);
        auto* cancel = new QPushButton(QString::fromUtf8("İptal"), this);
        cancel->setAutoDefault(false);
        dlg_set_item_id(ok, 1);
        dlg_set_item_id(cancel, 2);
        ok->setDefault(true);

        auto* row = new QHBoxLayout;
        row->addWidget(combo, 1);
        row->addWidget(remove);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch(1);
        buttons->addWidget(ok);
        buttons->addWidget(cancel);
        auto* layout = new QVBoxLayout(this);
        layout->addLayout(row);
        layout->addLayout(buttons);

        connect(remove, &QPushButton::clicked, this, [this] { remove_selected(); });
        connect(ok, &QPushButton::clicked, this, [this] { confirm(); });
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    }

private:
    // The entry shown is the selected one only while its text is not edited.
    void remove_selected()
    {
        const int i = combo->currentIndex();
        if (i < 0 || combo->itemText(i) != combo->currentText()) {
            beep_error(0);
            return;
        }
        combo->removeItem(i);
        combo->setCurrentIndex(combo->count() > 0 ? 0 : -1);
        if (combo->count() == 0)
            combo->setEditText(QString());
    }

    void confirm()
    {
        const std::string target = utf8(combo->currentText().trimmed());
        // The typed target first, then the others, each once.
        StringNode* list = nullptr;
        std::vector<std::string> seen;
        auto add = [&](const std::string& t) {
            if (t.empty() || static_cast<int>(seen.size()) >= kFingerHistoryMax)
                return;
            for (const std::string& s : seen)
                if (text_equal_nocase(s, t))
                    return;
            seen.push_back(t);
            list = strlist_append(list, std::string_view(t), 0);
        };
        add(target);
        for (int i = 0; i < combo->count(); ++i)
            add(utf8(combo->itemText(i)));
        if (list)
            ini_write_numbered_list(list, "finger", "n", 0, main_ini_path);
        else
            ini_remove_section(main_ini_path, "[finger]");
        strlist_free(&list);
        accept();
        if (target.empty())
            return;
        Connection* conn = nullptr;
        QWidget* window = query_window(&conn);
        ask(target, window, conn);
    }

    QComboBox* combo = nullptr;
};

}  // namespace

int finger_dialog_open(int /*placement*/)
{
    if (finger_running()) {
        finger_close(text_load_string(755));
        return 0;
    }
    if (g_dialog) {
        g_dialog->raise();
        g_dialog->activateWindow();
        return 1;
    }
    QWidget* owner = win_frame_handle();
    if (owner && (!owner->isVisible() || owner->isMinimized()))
        owner = nullptr;
    g_dialog = new FingerDialog(owner);
    g_dialog->show();
    g_dialog->raise();
    g_dialog->activateWindow();
    return 1;
}

QWidget* finger_dialog_window()
{
    return g_dialog.data();
}

QMenu* menu_build_finger_popup(QWidget* window)
{
    QMenu* menu = menu_popup_begin_fixed(window, "finger", "finger");
    if (finger_running()) {
        menu_popup_add_fixed(menu, 3833, 7000);
        return menu;
    }
    const std::vector<std::string> recent = history();
    if (recent.empty()) {
        menu_popup_reset();
        beep_error(0);
        return nullptr;
    }
    menu_popup_add_fixed(menu, 3834, 7000);
    for (std::size_t i = 0; i < recent.size() && i < 5; ++i) {
        QAction* a = menu_popup_add_item(menu, recent[i], 7001 + static_cast<int>(i));
        a->setProperty("address", qtext(recent[i]));
    }
    return menu;
}

void menu_finger_command(int id, QWidget* window, Connection* conn)
{
    if (id == 7000) {
        if (finger_running())
            finger_close(text_load_string(755));
        else
            QMetaObject::invokeMethod(
                qApp, [] { frame_on_command(nullptr, 158, 0); }, Qt::QueuedConnection);
        return;
    }
    QMenu* menu = popup_context.menu.data();
    if (!menu)
        return;
    for (QAction* a : menu->actions()) {
        if (a->data().toInt() != id || !a->property("address").isValid())
            continue;
        ask(utf8(a->property("address").toString()), window, conn);
        return;
    }
}

void finger_request(intptr_t)
{
    if (finger_running()) {
        finger_close(text_load_string(755));
        return;
    }
    finger_dialog_open(0);
}
