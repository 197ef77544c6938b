// The address book: its contacts file read from a fixture, contacts saved
// and removed (the whole file replaced at once, so a failed save keeps
// every contact), $abook( over the file, the whois view filled from the
// protocol's real WHOIS replies, and the dialog driven through its
// controls.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "app/frame_menu.h"
#include "core/files.h"
#include "core/main_settings.h"
#include "irc/chat_test_support.h"
#include "irc/numerics/query_replies.h"
#include "platform/platform_utils.h"
#include "script/exec/script_types.h"
#include "support/script_engine.h"
#include "tools/address_book.h"
#include "tools/address_book_dialog.h"

namespace fs = std::filesystem;

namespace {

std::string read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void write_file(const fs::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// Three contacts: a header with leading blanks, keys in mixed case, blank
// lines, a picture that exists and one that does not.
const char* const kFixture =
    "[alice]\n"
    "name=Alice Example\n"
    "EMAIL=alice@example.org\n"
    "\n"
    "note1=first line\n"
    "note2=second line\n"
    "picture=pics/alice.png\n"
    "   [Bob]]\n"
    "name=Bob With Bracket\n"
    "picture=pics/missing.png\n"
    "\n"
    "[carol]\n"
    "website=http://carol.example\n"
    "ipaddr=10.0.0.3\n";

class AddressBook : public ChatLink {
protected:
    void SetUp() override
    {
        ChatLink::SetUp();
        dir_ = fs::temp_directory_path() / ("kest_abook_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "pics");
        saved_file_ = main_settings.addrbk_file;
        main_settings.addrbk_file = (dir_ / "addrbk.ini").string();
        address_book_install();
        QImage picture(8, 8, QImage::Format_RGB32);
        picture.fill(Qt::red);
        ASSERT_TRUE(picture.save(QString::fromStdString((dir_ / "pics" / "alice.png").string())));
    }
    void TearDown() override
    {
        file_replace_hook = nullptr;
        address_book_uninstall();
        main_settings.addrbk_file = saved_file_;
        fs::remove_all(dir_);
        ChatLink::TearDown();
    }
    fs::path book() const { return dir_ / "addrbk.ini"; }
    void fixture()
    {
        std::string text = kFixture;
        const std::string rel = "picture=pics/alice.png";
        text.replace(text.find(rel), rel.size(), "picture=" + (dir_ / "pics" / "alice.png").string());
        write_file(book(), text);
    }

    fs::path dir_;
    std::string saved_file_;
};

TEST_F(AddressBook, ReadsNamesInFileOrderAndOneContactByNameIgnoringCase)
{
    fixture();
    EXPECT_EQ(abook_read_contacts(), (std::vector<std::string>{"alice", "Bob]", "carol"}));

    ContactFields c;
    ASSERT_EQ(abook_read_contacts("ALICE", c), 1);
    EXPECT_EQ(c.nick, "alice");
    EXPECT_EQ(c.name, "Alice Example");
    EXPECT_EQ(c.email, "alice@example.org");
    EXPECT_EQ(c.notes, (std::vector<std::string>{"first line", "second line"}));
    EXPECT_EQ(c.picture, (dir_ / "pics" / "alice.png").string());
    EXPECT_TRUE(c.website.empty()) << "carol's keys must not leak into alice";

    // The name is the text up to the last ']'; a picture that is gone is ignored.
    ASSERT_EQ(abook_read_contacts("bob]", c), 1);
    EXPECT_EQ(c.name, "Bob With Bracket");
    EXPECT_TRUE(c.picture.empty());

    // Reading stops at the next header: carol's keys are hers alone.
    ASSERT_EQ(abook_read_contacts("carol", c), 1);
    EXPECT_EQ(c.ipaddr, "10.0.0.3");
    EXPECT_TRUE(c.name.empty());

    EXPECT_EQ(abook_read_contacts("dave", c), 0);
    EXPECT_TRUE(c.nick.empty());
}

TEST_F(AddressBook, AMissingFileHasNoContacts)
{
    ContactFields c;
    EXPECT_TRUE(abook_read_contacts().empty());
    EXPECT_EQ(abook_read_contacts("alice", c), 0);
}

TEST_F(AddressBook, SavingAnExistingContactMovesItToTheEndAndKeepsTheOthersInOrder)
{
    fixture();
    ContactFields c;
    ASSERT_EQ(abook_read_contacts("alice", c), 1);
    c.name = "Alice Changed";
    ASSERT_EQ(abook_write_contact(c), 1);
    EXPECT_EQ(abook_read_contacts(), (std::vector<std::string>{"Bob]", "carol", "alice"}));
    ContactFields back;
    ASSERT_EQ(abook_read_contacts("alice", back), 1);
    EXPECT_EQ(back.name, "Alice Changed");
    EXPECT_EQ(back.notes, c.notes);
    // Stored relative to the settings folder only when inside it: here the
    // full path comes back as it went in.
    EXPECT_EQ(back.picture, c.picture);

    // Saved a second time: still one section.
    ASSERT_EQ(abook_write_contact(back), 1);
    const std::string file = read_file(book());
    EXPECT_EQ(file.find("[alice]"), file.rfind("[alice]")) << file;
    EXPECT_EQ(abook_read_contacts().size(), 3u);
}

TEST_F(AddressBook, SectionTextWritesOnlyFilledKeysAndDropsTrailingEmptyNotes)
{
    struct Case {
        std::vector<std::string> notes;
        const char* expected;
    } cases[] = {
        {{"one", "two", ""}, "\n[n]\nname=N\nnote1=one\nnote2=two\n"},
        {{"", "two"}, "\n[n]\nname=N\nnote1=\nnote2=two\n"},
        {{""}, "\n[n]\nname=N\n"},
        {{}, "\n[n]\nname=N\n"},
    };
    for (const Case& k : cases) {
        ContactFields c;
        c.nick = "n";
        c.name = "N";
        c.notes = k.notes;
        EXPECT_EQ(abook_section_text(c), k.expected);
    }
}

TEST_F(AddressBook, AFailedSaveLosesNoContact)
{
    fixture();
    const std::string before = read_file(book());
    ContactFields c;
    ASSERT_EQ(abook_read_contacts("alice", c), 1);
    c.email = "new@example.org";
    // The replacement of the old file fails at the last moment.
    file_replace_hook = [](const std::string&, const std::string&) { return 0; };
    EXPECT_EQ(abook_write_contact(c), 0);
    file_replace_hook = nullptr;
    EXPECT_EQ(read_file(book()), before);
    ContactFields kept;
    ASSERT_EQ(abook_read_contacts("alice", kept), 1);
    EXPECT_EQ(kept.email, "alice@example.org");

    // A removal that fails keeps the contact as well.
    file_replace_hook = [](const std::string&, const std::string&) { return 0; };
    EXPECT_EQ(abook_remove_contact("carol"), 0);
    file_replace_hook = nullptr;
    EXPECT_EQ(read_file(book()), before);
}

TEST_F(AddressBook, HostileValuesStayInsideTheirOwnSection)
{
    fixture();
    ContactFields c;
    c.nick = "mallory";
    c.name = "x\n[alice]\nname=stolen";
    c.notes = {"line\r\nnote9=injected"};
    ASSERT_EQ(abook_write_contact(c), 1);
    ContactFields alice;
    ASSERT_EQ(abook_read_contacts("alice", alice), 1);
    EXPECT_EQ(alice.name, "Alice Example");
    ContactFields m;
    ASSERT_EQ(abook_read_contacts("mallory", m), 1);
    EXPECT_EQ(m.notes.size(), 1u);
    EXPECT_EQ(abook_read_contacts(), (std::vector<std::string>{"alice", "Bob]", "carol", "mallory"}));

    // A nick that is empty, blank, has a line break or is too long is not saved.
    for (const std::string& bad : {std::string(), std::string("  "), std::string("a\nb"), std::string(300, 'n')}) {
        ContactFields b;
        b.nick = bad;
        EXPECT_EQ(abook_write_contact(b), 0) << bad;
    }
    EXPECT_EQ(abook_read_contacts().size(), 4u);
}

TEST_F(AddressBook, RemovingTakesOnlyThatSection)
{
    fixture();
    ASSERT_EQ(abook_remove_contact("BOB]"), 1);
    EXPECT_EQ(abook_read_contacts(), (std::vector<std::string>{"alice", "carol"}));
    ContactFields c;
    ASSERT_EQ(abook_read_contacts("alice", c), 1);
    EXPECT_EQ(c.notes.size(), 2u);
    ASSERT_EQ(abook_read_contacts("carol", c), 1);
    EXPECT_EQ(c.ipaddr, "10.0.0.3");
}

class AbookIdentifier : public AddressBook {
protected:
    void SetUp() override
    {
        AddressBook::SetUp();
        test_script_engine_install();
        address_book_install();
    }
    std::string eval(const std::string& text)
    {
        std::string t = text;
        std::string* r = ident_eval_text(status->hwnd, &t, nullptr, nullptr, 0, 0, -1, nullptr, conn);
        return r ? *r : std::string("<failed>");
    }
};

TEST_F(AbookIdentifier, IndexMaskAndPropertiesOverTheFile)
{
    fixture();
    const std::pair<const char*, const char*> cases[] = {
        {"$abook(0)", "3"},
        {"$abook(-4)", "3"},
        {"$abook(1)", "alice"},
        {"$abook(3)", "carol"},
        {"$abook(4)", ""},
        {"$abook(99999)", ""},
        {"$abook(c*)", "3"},
        {"$abook(*)", "1"},
        {"$abook(z*)", ""},
        {"$abook(*a*,0)", "2"},
        {"$abook(*a*,2)", "carol"},
        {"$abook(*a*,3)", ""},
        {"$abook(1).info", "Alice Example"},
        {"$abook(1).email", "alice@example.org"},
        {"$abook(1).note", "first line"},
        {"$abook(1).note2", "second line"},
        {"$abook(1).note3", ""},
        {"$abook(1).note0", "2"},
        {"$abook(c*).nick", "carol"},
        {"$abook(c*).website", "http://carol.example"},
        {"$abook(c*,1).ipaddr", "10.0.0.3"},
        {"$abook(2).picture", ""},
        {"$abook(1).unknown", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(eval(c.first), c.second);
    }
}

TEST_F(AbookIdentifier, WithoutAFileEveryCountIsZero)
{
    EXPECT_EQ(eval("$abook(0)"), "0");
    EXPECT_EQ(eval("$abook(*,0)"), "0");
    EXPECT_EQ(eval("$abook(1)"), "");
}

// ---- The whois view against the protocol's replies ----

class WhoisView : public AddressBook {
protected:
    void SetUp() override
    {
        AddressBook::SetUp();
        whois_view_hooks.is_target = abook_is_whois_target;
        whois_view_hooks.add = abook_whois_add;
        whois_view_hooks.end = abook_whois_end;
        ended_id_ = abook_whois_ended.add(10, [this](Connection* c) { ended.push_back(c); });
    }
    void TearDown() override
    {
        abook_whois_ended.drop(ended_id_);
        whois_view_hooks = WhoisViewHooks();
        AddressBook::TearDown();
    }
    void whois_reply(const std::string& nick)
    {
        feed(":srv 311 me " + nick + " bobuser bob.host * :Bob \x02Real\x02 Name");
        feed(":srv 319 me " + nick + " :@#one +#two");
        feed(":srv 312 me " + nick + " irc.example :A test server");
        feed(":srv 317 me " + nick + " 3661 1700000000 :seconds idle, signon time");
        feed(":srv 313 me " + nick + " :is an IRC operator");
        feed(":srv 301 me " + nick + " :gone fishing");
        feed(":srv 318 me " + nick + " :End of /WHOIS list.");
    }
    std::string field(int code)
    {
        for (const WhoisField& f : abook_whois_info())
            if (f.code == code) return f.text;
        return "<none>";
    }
    std::vector<Connection*> ended;
    int ended_id_ = 0;
};

TEST_F(WhoisView, TheRepliesAboutTheNickFillTheViewAndAreNotShown)
{
    abook_whois_begin("Bob", conn, 151);
    whois_reply("bob");
    EXPECT_EQ(field(0), "Bob");
    EXPECT_EQ(field(1), "Bob Real Name");
    EXPECT_EQ(field(2), "bobuser@bob.host");
    EXPECT_EQ(field(4), "@#one +#two");
    EXPECT_EQ(field(7), "irc.example A test server");
    EXPECT_EQ(field(8), "IRC Operator");
    EXPECT_EQ(field(6), "gone fishing");
    EXPECT_NE(field(5), "<none>");
    EXPECT_EQ(ended, std::vector<Connection*>{conn});
    EXPECT_EQ(abook_whois_waiting(), 0);
    for (const std::string& l : chat_status) EXPECT_EQ(l.find("bob"), std::string::npos) << l;

    // Not waiting any more: the same replies are shown again, the view is left.
    whois_reply("bob");
    EXPECT_EQ(ended.size(), 1u);
    bool shown = false;
    for (const std::string& l : chat_status) shown = shown || l.find("bobuser") != std::string::npos;
    EXPECT_TRUE(shown);
}

TEST_F(WhoisView, RepliesForAnotherNickOrConnectionDoNotTouchTheView)
{
    abook_whois_begin("bob", conn, 151);
    whois_reply("carl");
    EXPECT_EQ(abook_whois_info().size(), 1u);
    EXPECT_TRUE(ended.empty());
    EXPECT_EQ(abook_whois_waiting(), 151);
    bool shown = false;
    for (const std::string& l : chat_status) shown = shown || l.find("carl") != std::string::npos;
    EXPECT_TRUE(shown);

    // Waiting on another connection: this one's replies about bob are shown.
    Connection* other = conn_new(nullptr);
    abook_whois_begin("bob", other, 151);
    whois_reply("bob");
    EXPECT_EQ(abook_whois_info().size(), 1u);
    EXPECT_TRUE(ended.empty());
    conn_free(other);
    EXPECT_EQ(abook_whois_waiting(), 0) << "a freed connection waits for nothing";
}

TEST_F(WhoisView, AHostileChannelsLineIsCutAndRepeatsStayBounded)
{
    abook_whois_begin("bob", conn, 151);
    const std::string channels(10000, 'c');
    feed(":srv 319 me bob :" + channels);
    EXPECT_EQ(field(4), std::string(256, 'c') + "...");
    for (int i = 0; i < 100; ++i) feed(":srv 319 me bob :" + channels);
    EXPECT_LE(field(4).size(), 4150u);
    for (int i = 0; i < 100; ++i) feed(":srv 312 me bob irc" + std::to_string(i) + ".example :x");
    EXPECT_EQ(field(7), "irc0.example x");
}

// ---- The dialog through its controls ----

class AbookDialogTest : public WhoisView {
protected:
    void SetUp() override
    {
        WhoisView::SetUp();
        conn->registered = 1;
        irc_dispatch_install();
        address_book_dialog_install();
        win_active = status->hwnd.get();   // the current connection is this one
        ASSERT_EQ(conn_current(), conn);
    }
    void TearDown() override
    {
        address_book_dialog_uninstall();
        WhoisView::TearDown();
    }
    // Runs the dialog; `steps` acts on it while it is shown and closes it.
    int run_dialog(int page, const std::string& name, std::function<void(QDialog*)> steps)
    {
        bool ran = false;
        std::function<void()> act = [&] {
            QDialog* d = abook_dialog();
            if (!d || !d->isVisible() || QApplication::activeModalWidget() != d) {
                QTimer::singleShot(10, act);   // not shown yet (or a message box is above it)
                return;
            }
            ran = true;
            steps(d);
            if (abook_dialog()) abook_dialog()->reject();
        };
        QTimer::singleShot(0, act);
        const int r = abook_dialog_run(page, name);
        EXPECT_TRUE(ran || r == 0);
        return r;
    }
    static QLineEdit* edit(QDialog* d, int id) { return qobject_cast<QLineEdit*>(dlg_item(d, id)); }
    static QPushButton* button(QDialog* d, int id) { return qobject_cast<QPushButton*>(dlg_item(d, id)); }
};

TEST_F(AbookDialogTest, ChoosingAContactShowsItAndTypingANewNameAddsOne)
{
    fixture();
    run_dialog(kAbookContacts, "carol", [&](QDialog* d) {
        auto* nick = qobject_cast<QComboBox*>(dlg_item(d, 122));
        ASSERT_NE(nick, nullptr);
        EXPECT_EQ(nick->count(), 3);
        EXPECT_EQ(edit(d, 134)->text(), "10.0.0.3");
        EXPECT_EQ(button(d, 123)->text().toStdString(), "Kaydet");
        EXPECT_FALSE(button(d, 123)->isEnabled()) << "nothing edited yet";
        EXPECT_TRUE(button(d, 124)->isEnabled());

        // A new name clears the fields; the button adds.
        nick->lineEdit()->selectAll();
        QTest::keyClicks(nick->lineEdit(), "dave");
        EXPECT_TRUE(edit(d, 134)->text().isEmpty());
        EXPECT_EQ(button(d, 123)->text().toStdString(), "Ekle");
        EXPECT_FALSE(button(d, 124)->isEnabled());
        QTest::keyClicks(edit(d, 126), "Dave Person");
        auto* notes = qobject_cast<QPlainTextEdit*>(dlg_item(d, 138));
        notes->setPlainText("one\ntwo\n");
        QTest::mouseClick(button(d, 123), Qt::LeftButton);
        EXPECT_EQ(nick->count(), 4);
        EXPECT_TRUE(button(d, 124)->isEnabled());
    });
    ContactFields c;
    ASSERT_EQ(abook_read_contacts("dave", c), 1);
    EXPECT_EQ(c.name, "Dave Person");
    EXPECT_EQ(c.notes, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(abook_read_contacts(), (std::vector<std::string>{"alice", "Bob]", "carol", "dave"}));
}

TEST_F(AbookDialogTest, DeleteRemovesTheContactAndCancelKeepsNoEdit)
{
    fixture();
    run_dialog(kAbookContacts, "carol", [&](QDialog* d) {
        QTest::mouseClick(button(d, 124), Qt::LeftButton);
        auto* nick = qobject_cast<QComboBox*>(dlg_item(d, 122));
        EXPECT_EQ(nick->count(), 2);
        EXPECT_TRUE(edit(d, 134)->text().isEmpty());
    });
    EXPECT_EQ(abook_read_contacts(), (std::vector<std::string>{"alice", "Bob]"}));

    // An edit left unsaved goes with Cancel.
    run_dialog(kAbookContacts, "alice", [&](QDialog* d) {
        edit(d, 128)->setText("changed@example.org");
    });
    ContactFields c;
    ASSERT_EQ(abook_read_contacts("alice", c), 1);
    EXPECT_EQ(c.email, "alice@example.org");
}

TEST_F(AbookDialogTest, APictureShowsAndAFileThatDoesNotLoadIsDropped)
{
    fixture();
    run_dialog(kAbookContacts, "alice", [&](QDialog* d) {
        auto* label = qobject_cast<QLabel*>(dlg_item(d, 139));
        ASSERT_NE(label, nullptr);
        EXPECT_FALSE(label->pixmap().isNull());
        // A right click removes the picture and saves the contact.
        QTest::mouseClick(label, Qt::RightButton);
        EXPECT_TRUE(label->pixmap().isNull());
    });
    ContactFields c;
    ASSERT_EQ(abook_read_contacts("alice", c), 1);
    EXPECT_TRUE(c.picture.empty());
    EXPECT_EQ(c.notes.size(), 2u);

    // A picture file that is no picture: the warning, then no picture.
    write_file(dir_ / "pics" / "bad.png", "not a picture");
    c.picture = (dir_ / "pics" / "bad.png").string();
    ASSERT_EQ(abook_write_contact(c), 1);
    bool warned = false;
    std::function<void()> close_box = [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                warned = true;
                box->accept();
                return;
            }
        QTimer::singleShot(10, close_box);
    };
    QTimer::singleShot(0, close_box);
    run_dialog(kAbookContacts, "alice", [&](QDialog* d) {
        EXPECT_TRUE(qobject_cast<QLabel*>(dlg_item(d, 139))->pixmap().isNull());
    });
    EXPECT_TRUE(warned);
}

TEST_F(AbookDialogTest, OkSavesTheEditedContact)
{
    fixture();
    run_dialog(kAbookContacts, "alice", [&](QDialog* d) {
        edit(d, 128)->selectAll();
        QTest::keyClicks(edit(d, 128), "other@example.org");
        QTest::mouseClick(button(d, 1), Qt::LeftButton);
    });
    ContactFields c;
    ASSERT_EQ(abook_read_contacts("alice", c), 1);
    EXPECT_EQ(c.email, "other@example.org");
    EXPECT_EQ(c.notes.size(), 2u);
}

TEST_F(AbookDialogTest, TheWhoisButtonAsksTheServerAndTheRepliesFillThePage)
{
    fixture();
    run_dialog(kAbookWhois, "", [&](QDialog* d) {
        auto* pages = qobject_cast<QListWidget*>(dlg_item(d, 101));
        EXPECT_EQ(pages->currentRow(), kAbookWhois);
        edit(d, 151)->setText("bob extra");
        QTest::mouseClick(button(d, 152), Qt::LeftButton);
        EXPECT_EQ(edit(d, 151)->text().toStdString(), "Bekleniyor...");
        // Pressed again while waiting: the status text is no nick.
        QTest::mouseClick(button(d, 152), Qt::LeftButton);
        whois_reply("bob");
        EXPECT_EQ(edit(d, 151)->text(), "bob");
        EXPECT_EQ(edit(d, 154)->text(), "Bob Real Name");
        EXPECT_EQ(edit(d, 157)->text(), "bobuser@bob.host");
        EXPECT_EQ(edit(d, 160)->text(), "@#one +#two");
        EXPECT_EQ(edit(d, 165)->text(), "gone fishing");
        EXPECT_EQ(edit(d, 170)->text(), "IRC Operator");
        // Add makes a contact of the page and shows it.
        QTest::mouseClick(button(d, 155), Qt::LeftButton);
        EXPECT_EQ(pages->currentRow(), kAbookContacts);
        EXPECT_EQ(edit(d, 126)->text(), "Bob Real Name");
    });
    int whois_lines = 0;
    for (const std::string& l : sent()) whois_lines += l == "WHOIS bob\n";
    EXPECT_EQ(whois_lines, 1) << wire.all();
    ContactFields c;
    ASSERT_EQ(abook_read_contacts("bob", c), 1);
    EXPECT_EQ(c.email, "bobuser@bob.host");
}

TEST_F(AbookDialogTest, CtcpButtonsSendTheirRequest)
{
    run_dialog(kAbookWhois, "bob", [&](QDialog* d) {
        for (int id : {174, 175, 176}) QTest::mouseClick(button(d, id), Qt::LeftButton);
        EXPECT_EQ(edit(d, 172)->text().toStdString(), "Bekleniyor...");
        // Another nick's reply is not the page's; bob's is.
        irc_dispatch_line(":carl!u@h NOTICE me :\x01VERSION other 2\x01", conn);
        EXPECT_EQ(edit(d, 172)->text().toStdString(), "Bekleniyor...");
        irc_dispatch_line(":bob!u@h NOTICE me :\x01VERSION kestclient 1\x01", conn);
        EXPECT_NE(edit(d, 172)->text().toStdString().find("kestclient 1"), std::string::npos)
            << edit(d, 172)->text().toStdString();
        EXPECT_EQ(abook_whois_waiting(), 0);
    });
    bool shown = false;
    for (const std::string& l : chat_status) shown = shown || l.find("other 2") != std::string::npos;
    EXPECT_TRUE(shown);
    for (const std::string& l : chat_status) EXPECT_EQ(l.find("kestclient"), std::string::npos) << l;
    EXPECT_EQ(sent(), (std::vector<std::string>{"PRIVMSG bob :\x01VERSION\x01\n", "PRIVMSG bob :\x01TIME\x01\n",
                                                "PRIVMSG bob :\x01" "FINGER\x01\n"}));
}

TEST_F(AbookDialogTest, WithoutALoggedOnConnectionTheWhoisIsNotSent)
{
    conn->registered = 0;
    run_dialog(kAbookWhois, "bob", [&](QDialog* d) {
        QTest::mouseClick(button(d, 152), Qt::LeftButton);
        EXPECT_EQ(edit(d, 151)->text().toStdString(), "Bağlı değilsiniz");
    });
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(abook_whois_waiting(), 0);
}

TEST_F(AbookDialogTest, TheMenuCommandOpensOnceAndTheUwhoRepliesOpenTheWhoisPage)
{
    fixture();
    FrameMenuCommandFn menu = frame_menu_command(156);
    ASSERT_NE(menu, nullptr);
    int inner = -1;
    QTimer::singleShot(0, [&] {
        ASSERT_NE(abook_dialog(), nullptr);
        inner = menu(156, 0);   // a second opening while one is shown
        abook_dialog()->reject();
    });
    EXPECT_EQ(menu(156, 0), 1);
    EXPECT_EQ(inner, 0);

    // /uwho with a nick: the dialog opens when the replies have ended.
    uwho_open("bob", conn);
    EXPECT_EQ(abook_dialog(), nullptr);
    bool opened = false;
    std::string name;
    QTimer::singleShot(50, [&] {
        if (QDialog* d = abook_dialog()) {
            opened = true;
            name = edit(d, 154)->text().toStdString();
            d->reject();
        }
    });
    whois_reply("bob");
    QTest::qWait(200);
    EXPECT_TRUE(opened);
    EXPECT_EQ(name, "Bob Real Name");
}

}  // namespace
