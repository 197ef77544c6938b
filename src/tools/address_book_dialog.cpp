#include "tools/address_book_dialog.h"

#include <ctime>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/frame_menu.h"
#include "core/files.h"
#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "display/address_open.h"
#include "irc/link/send_queue.h"
#include "model/connection.h"
#include "platform/platform_utils.h"
#include "script/exec/script_types.h"
#include "tools/address_book.h"
#include "tools/control_pages.h"
#include "core/options.h"

namespace {

QString q(const std::string& s)
{
    return QString::fromUtf8(s.c_str());
}

std::string s_of(const QString& t)
{
    return t.toUtf8().toStdString();
}

std::string first_word(const std::string& text)
{
    const std::size_t a = text.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    const std::size_t e = text.find_first_of(" \t", a);
    return text.substr(a, e == std::string::npos ? std::string::npos : e - a);
}

std::string str(int id)
{
    return text_load_string(id);
}

class AbookDialog;
QPointer<AbookDialog> g_dialog;
int g_last_page = 0;
std::string g_last_contact;
int g_ended_listener = 0;

// The contact picture: a left click chooses a file, a right click removes it.
class PictureLabel : public QLabel {
public:
    std::function<void(Qt::MouseButton)> clicked;
protected:
    void mousePressEvent(QMouseEvent* e) override
    {
        if (clicked) clicked(e->button());
    }
};

class AbookDialog : public QDialog {
public:
    AbookDialog(Connection* conn, QWidget* parent) : QDialog(parent), conn_(conn)
    {
        setObjectName("addressBook");
        setWindowTitle(q(str(201)));
        auto* top = new QHBoxLayout(this);
        pages_ = new QListWidget;
        dlg_set_item_id(pages_, 101);
        pages_->addItem(q(str(210)));
        pages_->addItem(q(str(211)));
        pages_->addItem(q(str(213)));
        pages_->addItem(q(str(214)));
        pages_->setFixedWidth(110);
        stack_ = new QStackedWidget;
        stack_->addWidget(build_contacts());
        stack_->addWidget(build_whois());
        control_ = new ControlPage(conn ? conn->chan_types : std::string());
        cnick_ = new CnickPage;
        stack_->addWidget(control_);
        stack_->addWidget(cnick_);
        auto* right = new QVBoxLayout;
        right->addWidget(stack_, 1);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        auto* ok = new QPushButton(QString::fromUtf8("Tamam"));
        auto* cancel = new QPushButton(QString::fromUtf8("İptal"));
        dlg_set_item_id(ok, 1);
        dlg_set_item_id(cancel, 2);
        ok->setDefault(true);
        buttons->addWidget(ok);
        buttons->addWidget(cancel);
        right->addLayout(buttons);
        top->addWidget(pages_);
        top->addLayout(right, 1);
        connect(pages_, &QListWidget::currentRowChanged, this, [this](int row) {
            if (row >= 0) stack_->setCurrentIndex(row);
            picture_->setVisible(row == kAbookContacts);
        });
        connect(ok, &QPushButton::clicked, this, [this] { press_ok(); });
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    }

    // Opening: the contact names, the whois list or the remembered contact.
    void open_at(int page, const std::string& name)
    {
        for (const std::string& n : abook_read_contacts()) nick_->addItem(q(n));
        const WhoisInfo& info = abook_whois_info();
        std::string chosen = name.empty() ? g_last_contact : name;
        if (page == kAbookWhois) {
            if (!name.empty()) whois_nick_->setText(q(name));
            else if (!info.empty()) fill_whois();
        } else if (name.empty() && !info.empty() && chosen.empty()) {
            chosen = info.front().text;
        }
        show_contact(chosen, true);
        show_page(page);
    }

    // The whois page from the collected fields (the replies ended).
    void fill_whois()
    {
        const WhoisInfo& info = abook_whois_info();
        auto field = [&info](int code) {
            for (const WhoisField& f : info)
                if (f.code == code) return f.text;
            return std::string();
        };
        auto or_none = [](const std::string& t) { return t.empty() ? str(205) : t; };
        whois_nick_->setText(q(info.empty() ? std::string() : info.front().text));
        set(154, field(1));
        set(157, field(2));
        set(160, or_none(field(4)));
        set(162, or_none(field(5)));
        set(165, or_none(field(6)));
        set(167, field(7));
        std::string status = field(8);
        std::string detail = field(9);
        while (!detail.empty() && detail.back() == '.') detail.pop_back();
        if (status.empty()) status = detail.empty() ? str(206) : detail;
        else if (!detail.empty()) status += " (" + detail + ")";
        set(170, status);
        set(172, field(10));
    }

    // The page's row in the page list (the rows are contacts, whois,
    // control, nick colours); a page not shown here is the contacts page.
    static int page_row(int page)
    {
        switch (page) {
        case kAbookWhois: return 1;
        case kAbookControl: return 2;
        case kAbookNickColours: return 3;
        }
        return 0;
    }
    static int row_page(int row)
    {
        static const int kPages[] = {kAbookContacts, kAbookWhois, kAbookControl, kAbookNickColours};
        return row >= 0 && row < 4 ? kPages[row] : kAbookContacts;
    }
    void show_page(int page)
    {
        pages_->setCurrentRow(page_row(page));
        if (page == kAbookControl) control_->kinds->setFocus();
        else if (page == kAbookNickColours) cnick_->list->setFocus();
    }
    ControlPage* control_page() const { return control_; }
    CnickPage* cnick_page() const { return cnick_; }

    Connection* connection() const { return conn_is_live(conn_) ? conn_ : nullptr; }

private:
    QLineEdit* line(int id, QGridLayout* grid, int row, const char* label, bool read_only = false)
    {
        auto* e = new QLineEdit;
        e->setMaxLength(static_cast<int>(kLongText));
        e->setReadOnly(read_only);
        dlg_set_item_id(e, id);
        grid->addWidget(new QLabel(QString::fromUtf8(label)), row, 0);
        grid->addWidget(e, row, 1);
        return e;
    }
    QPushButton* button(int id, const char* text)
    {
        auto* b = new QPushButton(QString::fromUtf8(text));
        dlg_set_item_id(b, id);
        b->setAutoDefault(false);
        return b;
    }
    void set(int id, const std::string& t)
    {
        if (auto* e = qobject_cast<QLineEdit*>(dlg_item(this, id))) e->setText(q(t));
    }
    std::string get(int id)
    {
        auto* e = qobject_cast<QLineEdit*>(dlg_item(this, id));
        return e ? s_of(e->text()) : std::string();
    }

    QWidget* build_contacts()
    {
        auto* page = new QWidget;
        auto* grid = new QGridLayout(page);
        nick_ = new QComboBox;
        nick_->setEditable(true);
        nick_->setInsertPolicy(QComboBox::NoInsert);
        nick_->lineEdit()->setMaxLength(static_cast<int>(kShortText));
        dlg_set_item_id(nick_, 122);
        grid->addWidget(new QLabel(QString::fromUtf8("Nick:")), 0, 0);
        grid->addWidget(nick_, 0, 1);
        save_ = button(123, "Ekle");
        del_ = button(124, "Sil");
        auto* row0 = new QHBoxLayout;
        row0->addWidget(save_);
        row0->addWidget(del_);
        grid->addLayout(row0, 0, 2);
        name_ = line(126, grid, 1, "Ad:");
        email_ = line(128, grid, 2, "E-posta:");
        grid->addWidget(button(129, "Gönder"), 2, 2);
        website_ = line(131, grid, 3, "Web sitesi:");
        grid->addWidget(button(132, "Ziyaret"), 3, 2);
        ipaddr_ = line(134, grid, 4, "IP adresi:");
        grid->addWidget(button(135, "Sohbet"), 4, 2);
        grid->addWidget(button(136, "Whois"), 5, 2);
        notes_ = new QPlainTextEdit;
        dlg_set_item_id(notes_, 138);
        grid->addWidget(new QLabel(QString::fromUtf8("Notlar:")), 5, 0);
        grid->addWidget(notes_, 6, 0, 1, 2);
        picture_ = new PictureLabel;
        dlg_set_item_id(picture_, 139);
        picture_->setFixedSize(96, 96);
        picture_->setFrameShape(QFrame::Box);
        picture_->setAlignment(Qt::AlignCenter);
        grid->addWidget(picture_, 6, 2);
        picture_->clicked = [this](Qt::MouseButton b) { picture_click(b); };

        connect(nick_, &QComboBox::activated, this, [this](int i) { show_contact(s_of(nick_->itemText(i)), true); });
        connect(nick_->lineEdit(), &QLineEdit::textEdited, this, [this](const QString& t) { typed_nick(s_of(t)); });
        connect(nick_->lineEdit(), &QLineEdit::editingFinished, this, [this] { save_if_existing(); });
        for (QLineEdit* e : {name_, email_, website_, ipaddr_}) {
            connect(e, &QLineEdit::textEdited, this, [this] { edited(); });
            connect(e, &QLineEdit::editingFinished, this, [this] { save_if_existing(); });
        }
        connect(notes_, &QPlainTextEdit::textChanged, this, [this] {
            if (!filling_) edited();
        });
        notes_->installEventFilter(this);
        connect(save_, &QPushButton::clicked, this, [this] { abook_save_contact(0); });
        connect(del_, &QPushButton::clicked, this, [this] { abook_delete_contact(); });
        connect(static_cast<QPushButton*>(dlg_item(page, 129)), &QPushButton::clicked, this,
                [this] { open_first_word(s_of(email_->text()), true); });
        connect(static_cast<QPushButton*>(dlg_item(page, 132)), &QPushButton::clicked, this,
                [this] { open_first_word(s_of(website_->text()), false); });
        connect(static_cast<QPushButton*>(dlg_item(page, 135)), &QPushButton::clicked, this, [this] { chat(); });
        connect(static_cast<QPushButton*>(dlg_item(page, 136)), &QPushButton::clicked, this, [this] {
            whois_nick_->setText(q(first_word(s_of(nick_->currentText()))));
            if (abook_whois_request(152)) show_page(kAbookWhois);
        });
        return page;
    }

    QWidget* build_whois()
    {
        auto* page = new QWidget;
        auto* grid = new QGridLayout(page);
        whois_nick_ = line(151, grid, 0, "Nick:");
        auto* whois = button(152, "Whois");
        grid->addWidget(whois, 0, 2);
        line(154, grid, 1, "Ad:", true);
        grid->addWidget(button(155, "Ekle"), 1, 2);
        line(157, grid, 2, "Adres:", true);
        grid->addWidget(button(158, "Bul"), 2, 2);
        line(160, grid, 3, "Kanallar:", true);
        line(162, grid, 4, "Boşta:", true);
        grid->addWidget(button(163, "Kopyala"), 4, 2);
        line(165, grid, 5, "Uzakta:", true);
        line(167, grid, 6, "Sunucu:", true);
        grid->addWidget(button(168, "Bağlan"), 6, 2);
        line(170, grid, 7, "Durum:", true);
        line(172, grid, 8, "CTCP cevabı:", true);
        auto* ctcp = new QHBoxLayout;
        const std::pair<int, const char*> ctcp_ids[4] = {{173, "Ping"}, {174, "Sürüm"}, {175, "Zaman"}, {176, "Finger"}};
        for (const auto& c : ctcp_ids) {
            QPushButton* b = button(c.first, c.second);
            ctcp->addWidget(b);
            const int id = c.first;
            connect(b, &QPushButton::clicked, this, [this, id] { abook_whois_request(id); });
        }
        grid->addLayout(ctcp, 9, 0, 1, 3);
        grid->setRowStretch(10, 1);
        connect(whois, &QPushButton::clicked, this, [this] { abook_whois_request(152); });
        connect(static_cast<QPushButton*>(dlg_item(page, 155)), &QPushButton::clicked, this, [this] { add_from_whois(); });
        connect(static_cast<QPushButton*>(dlg_item(page, 158)), &QPushButton::clicked, this, [this] {
            const std::string nick = first_word(s_of(whois_nick_->text()));
            ContactFields c;
            if (nick.empty() || !abook_read_contacts(nick, c)) { beep_error(0); return; }
            show_contact(c.nick, true);
            show_page(kAbookContacts);
        });
        connect(static_cast<QPushButton*>(dlg_item(page, 163)), &QPushButton::clicked, this, [this] { copy_whois(); });
        connect(static_cast<QPushButton*>(dlg_item(page, 168)), &QPushButton::clicked, this, [this] {
            const std::string server = first_word(get(167));
            Connection* conn = connection();
            if (server.empty() || !conn) { beep_error(0); return; }
            const bool shift = QApplication::keyboardModifiers() & Qt::ShiftModifier;
            const std::string line = (shift ? "/!.server -m " : "/!.server ") + server;
            press_ok();
            script_exec_line(nullptr, line.c_str(), nullptr, 0, nullptr, nullptr, conn);
        });
        return page;
    }

    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (o == notes_ && e->type() == QEvent::FocusOut) save_if_existing();
        return QDialog::eventFilter(o, e);
    }

    bool contact_exists(const std::string& nick) const
    {
        return !nick.empty() && nick_->findText(q(nick), Qt::MatchFixedString) >= 0;
    }

    // Button 123 says add for a new nick, save for an existing one (enabled
    // after an edit); delete only for an existing contact.
    void abook_update_contact_buttons()
    {
        const std::string nick = first_word(s_of(nick_->currentText()));
        const bool exists = contact_exists(nick);
        save_->setText(q(str(exists ? 203 : 204)));
        save_->setEnabled(!nick.empty() && (!exists || edited_));
        del_->setEnabled(exists);
    }

    void edited()
    {
        edited_ = true;
        abook_update_contact_buttons();
    }

    void typed_nick(const std::string& text)
    {
        const std::string nick = first_word(text);
        if (contact_exists(nick)) show_contact(nick, false);
        else clear_fields();
        abook_update_contact_buttons();
    }

    void clear_fields()
    {
        filling_ = true;
        for (QLineEdit* e : {name_, email_, website_, ipaddr_}) e->clear();
        notes_->clear();
        filling_ = false;
        picture_path_.clear();
        abook_show_picture();
        edited_ = false;
    }

    // The contacts page from the file (mode 1 read).
    void show_contact(const std::string& nick, bool select)
    {
        ContactFields c;
        if (nick.empty() || !abook_read_contacts(nick, c)) {
            if (select && !nick.empty()) nick_->setEditText(q(nick));
            clear_fields();
            abook_update_contact_buttons();
            return;
        }
        filling_ = true;
        if (select) {
            const int i = nick_->findText(q(c.nick), Qt::MatchFixedString);
            if (i >= 0) nick_->setCurrentIndex(i);
            nick_->setEditText(q(c.nick));
        }
        name_->setText(q(c.name));
        email_->setText(q(c.email));
        website_->setText(q(c.website));
        ipaddr_->setText(q(c.ipaddr));
        std::string notes;
        for (std::size_t i = 0; i < c.notes.size(); ++i) notes += (i ? "\n" : "") + c.notes[i];
        notes_->setPlainText(q(notes));
        filling_ = false;
        picture_path_ = c.picture;
        abook_show_picture();
        edited_ = false;
        abook_update_contact_buttons();
    }

    ContactFields from_page(const std::string& nick) const
    {
        ContactFields c;
        c.nick = nick;
        c.name = s_of(name_->text());
        c.email = s_of(email_->text());
        c.website = s_of(website_->text());
        c.ipaddr = s_of(ipaddr_->text());
        const QStringList lines = notes_->toPlainText().split(QLatin1Char('\n'));
        for (const QString& l : lines) c.notes.push_back(s_of(l));
        c.picture = picture_path_;
        return c;
    }

public:
    // Saves the page's contact: mode 0 the button, 1 from the whois page,
    // 2 silently (only a contact that exists). 1 when saved.
    int abook_save_contact(int mode)
    {
        const std::string nick = first_word(s_of(nick_->currentText()));
        if (nick.empty() || (mode == 2 && !contact_exists(nick))) {
            if (mode != 2) beep_error(0);
            return 0;
        }
        if (!abook_write_contact(from_page(nick))) {
            beep_error(0);
            return 0;
        }
        if (!contact_exists(nick)) nick_->addItem(q(nick));
        const int i = nick_->findText(q(nick), Qt::MatchFixedString);
        nick_->setCurrentIndex(i);
        edited_ = false;
        g_last_contact = nick;
        abook_update_contact_buttons();
        return 1;
    }

    void abook_delete_contact()
    {
        const std::string nick = first_word(s_of(nick_->currentText()));
        if (!contact_exists(nick)) { beep_error(0); return; }
        if (!picture_path_.empty() && file_exists(picture_path_, 1) &&
            QMessageBox::question(this, q(str(1920)), q(str(1905))) == QMessageBox::Yes)
            file_delete(picture_path_, 1);
        if (!abook_remove_contact(nick)) { beep_error(0); return; }
        nick_->removeItem(nick_->findText(q(nick), Qt::MatchFixedString));
        nick_->setEditText(QString());
        clear_fields();
        abook_update_contact_buttons();
    }

    // Asks the server about the nick of 151 (152 WHOIS, 173-176 CTCP);
    // the status control shows string 208 until the reply comes.
    int abook_whois_request(int command)
    {
        Connection* conn = connection();
        const int status = command == 152 ? 151 : 172;
        if (!conn || !conn->registered) {
            set(status, str(207));
            beep_error(0);
            return 0;
        }
        const std::string nick = first_word(s_of(whois_nick_->text())).substr(0, kShortText);
        if (nick.empty() || nick == str(208) || nick.find_first_of("\r\n,") != std::string::npos) {
            beep_error(0);
            return 0;
        }
        abook_whois_begin(nick, conn, status);
        if (command == 152) {
            for (int id : {154, 157, 160, 162, 165, 167, 170, 172}) set(id, std::string());
            irc_send_line("WHOIS " + nick + "\n", 0, conn);
        } else {
            std::string request = command == 173 ? "PING " + std::to_string(static_cast<long>(std::time(nullptr)))
                                : command == 174 ? "VERSION" : command == 175 ? "TIME" : "FINGER";
            irc_send_line("PRIVMSG " + nick + " :\x01" + request + "\x01\n", 0, conn);
        }
        set(status, str(208));
        return 1;
    }

private:
    void add_from_whois()
    {
        const std::string nick = first_word(s_of(whois_nick_->text()));
        if (nick.empty() || nick == str(208)) { beep_error(0); return; }
        ContactFields c;
        if (abook_read_contacts(nick, c)) {
            if (QMessageBox::question(this, q(str(201)), q(text_fill_id(202, {nick}))) != QMessageBox::Yes) return;
        } else {
            c = ContactFields();
        }
        c.nick = nick;
        c.name = get(154);
        c.email = get(157);
        if (!abook_write_contact(c)) { beep_error(0); return; }
        if (!contact_exists(nick)) nick_->addItem(q(nick));
        show_contact(nick, true);
        show_page(kAbookContacts);
    }

    void copy_whois()
    {
        std::string text = "Nick: " + get(151);
        const std::pair<int, const char*> fields[] = {{154, "Name"}, {157, "Address"}, {160, "Channels"},
                                                      {162, "Idle time"}, {165, "Away info"}, {167, "Server"},
                                                      {170, "Status"}};
        for (const auto& f : fields)
            if (!get(f.first).empty()) text += std::string("\r\n") + f.second + ": " + get(f.first);
        clip_set_text(nullptr, text, 0);
    }

    void chat()
    {
        Connection* conn = connection();
        if (!conn || !conn->connected) { beep_error(0); return; }
        std::string target = first_word(s_of(ipaddr_->text()));
        if (target.empty()) target = first_word(s_of(nick_->currentText()));
        if (target.empty()) { beep_error(0); return; }
        const std::string line = "/!.dcc chat " + target;
        press_ok();
        script_exec_line(nullptr, line.c_str(), nullptr, 0, nullptr, nullptr, conn);
    }

    void open_first_word(const std::string& text, bool mail)
    {
        const std::string word = first_word(text);
        if (word.empty()) { beep_error(0); return; }
        url_open_address(mail && word.find(':') == std::string::npos ? "mailto:" + word : word);
    }

    void save_if_existing()
    {
        if (edited_) abook_save_contact(2);
    }

    void abook_show_picture()
    {
        picture_->clear();
        if (picture_path_.empty()) return;
        QPixmap pix(q(picture_path_));
        if (pix.isNull()) {
            picture_path_.clear();
            QMessageBox::warning(this, q(str(201)), q(str(209)));
            return;
        }
        picture_->setPixmap(pix.scaled(picture_->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }

    void picture_click(Qt::MouseButton b)
    {
        if (b == Qt::RightButton) {
            picture_path_.clear();
        } else if (b == Qt::LeftButton) {
            std::string folder = picture_path_.empty() ? abook_picture_folder() : picture_path_;
            const QString file = QFileDialog::getOpenFileName(this, q(str(5101)), q(folder),
                                                              "Pictures (*.bmp *.png *.jpg *.jpeg *.gif)");
            if (file.isEmpty()) return;
            picture_path_ = s_of(file);
        } else {
            return;
        }
        abook_show_picture();
        edited_ = true;
        if (!first_word(s_of(nick_->currentText())).empty()) abook_save_contact(1);
    }

    void press_ok()
    {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        if (edited_ && !first_word(s_of(nick_->currentText())).empty()) abook_save_contact(0);
        control_->apply();
        cnick_->apply();
        ini_save_options();
        g_last_page = row_page(pages_->currentRow());
        QApplication::restoreOverrideCursor();
        accept();
    }

    Connection* conn_;
    QListWidget* pages_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    ControlPage* control_ = nullptr;
    CnickPage* cnick_ = nullptr;
    QComboBox* nick_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* del_ = nullptr;
    QLineEdit *name_ = nullptr, *email_ = nullptr, *website_ = nullptr, *ipaddr_ = nullptr;
    QPlainTextEdit* notes_ = nullptr;
    PictureLabel* picture_ = nullptr;
    QLineEdit* whois_nick_ = nullptr;
    std::string picture_path_;
    bool edited_ = false;
    bool filling_ = false;
};

int menu_abook(int, intptr_t lparam)
{
    return abook_dialog_run(lparam == 5 ? kAbookWhois : g_last_page, std::string());
}

// The whois view's replies ended: the open dialog shows them, else it
// opens at its whois page.
void whois_ended(Connection*)
{
    if (g_dialog) {
        g_dialog->fill_whois();
        g_dialog->show_page(kAbookWhois);
    } else {
        abook_open_later(kAbookWhois, std::string());
    }
}

}  // namespace

QDialog* abook_dialog()
{
    return g_dialog.data();
}

int abook_dialog_run(int page, const std::string& name)
{
    if (g_dialog) return 0;
    Connection* conn = conn_current();
    if (!conn_is_live(conn)) {
        beep_error(0);
        return 0;
    }
    AbookDialog d(conn, QApplication::activeWindow());
    g_dialog = &d;
    d.open_at(page, name);
    d.exec();
    g_dialog = nullptr;
    return 1;
}

void abook_open_later(int page, const std::string& name)
{
    QTimer::singleShot(0, qApp, [page, name] {
        if (!abook_dialog_run(page, name)) beep_error(0);
    });
}

void uwho_open(const std::string& nick, Connection* conn)
{
    if (nick.empty()) {
        abook_open_later(kAbookWhois, std::string());
        return;
    }
    abook_whois_begin(nick, conn, 151);
}

void address_book_dialog_install()
{
    frame_menu_command_register(156, menu_abook);
    abook_whois_ended.add_once(g_ended_listener, kAbookWhoisEndedDialog, whois_ended);
}

void address_book_dialog_uninstall()
{
    abook_whois_ended.drop(g_ended_listener);
    frame_menu_command_register(156, nullptr);
}
