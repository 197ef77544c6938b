// The chat dialogs: the question for a chat offer that waits for the user
// (accept, decline, or reject and ignore) and the chat-nick dialog of the
// menu command 152, which starts a chat with the nick typed or chosen.
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/frame_menu.h"
#include "app/startup.h"
#include <QMainWindow>
#include "core/options.h"
#include "dcc/dcc_chat.h"
#include "dcc/dcc_dialogs.h"
#include "model/connection.h"
#include "model/window_record.h"

namespace {

int waiting_id = 0;
QPointer<QDialog> nick_dialog;

QWidget* owner()
{
    QWidget* w = frame_window;
    return w;
}

// Answers: 1 accept, 0 decline, 2 reject and ignore.
void ask(int id)
{
    DccChatPending* p = dccchat_pending(id);
    if (!p)
        return;
    auto* box = new QDialog(owner());
    box->setObjectName(kDccChatAcceptDialogName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle("DCC Chat");
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(new QLabel(QString::fromStdString(p->nick + " (" + (p->address.empty() ? p->offer.ip : p->address) +
                                                        ")"),
                                 box));
    auto* buttons = new QDialogButtonBox(box);
    QPushButton* yes = buttons->addButton("&Kabul", QDialogButtonBox::AcceptRole);
    QPushButton* no = buttons->addButton("&Reddet", QDialogButtonBox::RejectRole);
    QPushButton* ignore = buttons->addButton("&Ignore", QDialogButtonBox::DestructiveRole);
    yes->setObjectName("accept");
    no->setObjectName("decline");
    ignore->setObjectName("ignore");
    layout->addWidget(buttons);
    QObject::connect(yes, &QPushButton::clicked, box, [box, id] {
        box->close();
        dccchat_answer(id, 1);
    });
    QObject::connect(no, &QPushButton::clicked, box, [box, id] {
        box->close();
        dccchat_answer(id, 0);
    });
    QObject::connect(ignore, &QPushButton::clicked, box, [box, id] {
        box->close();
        dccchat_answer(id, 2);
    });
    QObject::connect(box, &QDialog::rejected, box, [id] { dccchat_answer(id, 0); });
    box->show();
}

// Menu 152: the chat-nick dialog, one at a time.
int menu_chat(int, intptr_t)
{
    if (nick_dialog) {
        nick_dialog->raise();
        return 0;
    }
    QWidget* active = win_active.get();
    WindowRecord* rec = active ? win_record_of(active) : nullptr;
    Connection* conn = rec && conn_is_live(rec->conn) ? rec->conn : conn_list;
    auto* dialog = new QDialog(owner());
    nick_dialog = dialog;
    dialog->setObjectName(kDccChatNickDialogName);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle("DCC Chat");
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(new QLabel("Nick:", dialog));
    auto* nicks = new QComboBox(dialog);
    nicks->setObjectName("nick");
    nicks->setEditable(true);
    for (const std::string& n : dcc_recent_nicks())
        nicks->addItem(QString::fromStdString(n));
    nicks->setCurrentText(QString());
    layout->addWidget(nicks);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, [dialog, nicks, conn] {
        const std::string nick = nicks->currentText().trimmed().toStdString();
        dialog->accept();
        if (nick.empty() || !conn_is_live(conn))
            return;
        dcc_remember_nick(nick);
        DccChatStart st;
        st.conn = conn;
        st.nick = nick;
        st.no_prompt = true;
        st.passive = opt(OPT_DCC_PASSIVE) != 0;
        dccchat_start(st);
    });
    dialog->show();
    return 1;
}

}  // namespace

void dcc_chat_window_install()
{
    dcc_chat_waiting.add_once(waiting_id, kChatWaitingDialog, ask);
    frame_menu_command_register(152, menu_chat);
}

void dcc_chat_window_uninstall()
{
    dcc_chat_waiting.drop(waiting_id);
    frame_menu_command_register(152, nullptr);
}
