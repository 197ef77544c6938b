// The DCC accept dialogs driven as a user drives them: the file-accept
// dialog's fields, folder and name choices, its answers and its time-out on
// the tick's clock; the file-exists dialog's choices; the file-type warning;
// and an offer from the transfers that waits for the user.
#include "dcc_window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/frame_menu.h"
#include "app/tick.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "dcc/dcc_dialogs.h"
#include "dcc/dcc_engine.h"
#include "dcc/download_folders.h"
#include "model/transfer_progress.h"
#include <QImage>
#include "display/second_tick.h"
#include "platform/app_messages.h"

namespace {

long long g_now = 5000000;
long long fake_clock() { return g_now; }

// Runs `act` on the first modal dialog of that name that shows, from the
// event loop the dialog runs; counts the dialogs it saw.
class Answer {
public:
    Answer(const char* name, std::function<void(QDialog*)> act) : name_(name), act_(std::move(act))
    {
        timer_.setInterval(2);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!d || d->objectName() != name_ || d == last_)
                return;
            last_ = d;
            ++shown;
            act_(d);
        });
        timer_.start();
    }
    int shown = 0;

private:
    QString name_;
    std::function<void(QDialog*)> act_;
    QTimer timer_;
    QPointer<QDialog> last_;
};

void click(QDialog* d, int id)
{
    auto* b = d->findChild<QPushButton*>(QString::number(id));
    ASSERT_TRUE(b) << id;
    QTest::mouseClick(b, Qt::LeftButton);
}

std::string field(QDialog* d, int id)
{
    auto* e = d->findChild<QLineEdit*>(QString::number(id));
    return e ? e->text().toStdString() : "(none)";
}

QComboBox* combo(QDialog* d) { return d->findChild<QComboBox*>("154"); }

class DccDialogsTest : public DccWindowTest {
protected:
    std::string dl;
    void SetUp() override
    {
        DccWindowTest::SetUp();
        dcc_ext_rules_load();
        dl = settings.path() + "downloads/";
        ASSERT_TRUE(std::filesystem::is_directory(dl));
        tick_clock = fake_clock;
        tick_reset_base();
        dcc_accept_no_activate_remembered = 0;
    }
};

TEST_F(DccDialogsTest, AcceptShowsTheOfferAndTakesTheChoice)
{
    struct Case {
        const char* name;
        std::int64_t size;
        std::string size_text;
        std::string typed;     // empty: keep the proposed path
        int button;
        int result;
        std::string file, folder;
    } cases[] = {
        {"accept as offered", 5 * 1024LL * 1024 * 1024, "5GB", "", 155, 1, "report.pdf", dl},
        {"unknown size", -1, "Bilinmiyor", "", 155, 1, "report.pdf", dl},
        {"renamed", 10, "10B", dl + "other name.pdf", 155, 1, "other name.pdf", dl},
        {"name alone: the rule's folder", 10, "10B", "plain.pdf", 155, 1, "plain.pdf", dl},
        {"Enter in the box", 10, "10B", dl + "entered.pdf", -1, 1, "entered.pdf", dl},
        {"reject", 10, "10B", "", 156, 2, "report.pdf", ""},
        {"cancel", 10, "10B", "", 2, 0, "report.pdf", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DccAcceptOffer offer;
        offer.nick = "amy";
        offer.address = "127.0.0.1";
        offer.file = "report.pdf";
        offer.size = c.size;
        std::string shown_from, shown_size, shown_path;
        Answer answer(kDccAcceptDialogName, [&](QDialog* d) {
            shown_from = field(d, 151);
            shown_size = field(d, 153);
            shown_path = combo(d)->currentText().toStdString();
            if (!c.typed.empty())
                combo(d)->setEditText(QString::fromStdString(c.typed));
            if (c.button < 0) {
                QTest::keyClick(combo(d)->lineEdit(), Qt::Key_Return);
            } else {
                click(d, c.button);
            }
        });
        EXPECT_EQ(dccget_accept_dialog(nullptr, offer), c.result);
        EXPECT_EQ(answer.shown, 1);
        EXPECT_EQ(shown_from, "amy (127.0.0.1)");
        EXPECT_EQ(shown_size, c.size_text);
        EXPECT_EQ(shown_path, dl + "report.pdf");
        EXPECT_EQ(offer.file, c.file);
        if (c.result == 1) {
            EXPECT_EQ(offer.folder, c.folder);
        }
    }
}

TEST_F(DccDialogsTest, AMissingFolderOrBadNameKeepsTheDialogOpen)
{
    DccAcceptOffer offer;
    offer.nick = "amy";
    offer.address = "127.0.0.1";
    offer.file = "a.txt";
    int tries = 0;
    std::vector<bool> still_open;
    Answer answer(kDccAcceptDialogName, [&](QDialog* d) {
        for (const std::string& path : {settings.path() + "nowhere/a.txt", dl, std::string("   "), dl + ".."}) {
            combo(d)->setEditText(QString::fromStdString(path));
            click(d, 155);
            ++tries;
            still_open.push_back(d->isVisible());
        }
        combo(d)->setEditText(QString::fromStdString(dl + "fine.txt"));
        click(d, 155);
    });
    EXPECT_EQ(dccget_accept_dialog(nullptr, offer), 1);
    EXPECT_EQ(tries, 4);
    EXPECT_EQ(still_open, std::vector<bool>(4, true));
    EXPECT_EQ(offer.file, "fine.txt");
    EXPECT_FALSE(std::filesystem::exists(settings.path() + "nowhere"));
}

TEST_F(DccDialogsTest, PickingAFolderKeepsTheTypedName)
{
    const std::string pics = settings.path() + "pics/";
    std::filesystem::create_directories(pics);
    ini_write("extensions", "n1", ("*.jpgEXTDIR:" + pics).c_str(), main_ini_path);
    DccAcceptOffer offer;
    offer.nick = "amy";
    offer.file = "x.txt";
    QStringList listed;
    Answer answer(kDccAcceptDialogName, [&](QDialog* d) {
        QComboBox* box = combo(d);
        for (int i = 0; i < box->count(); ++i)
            listed << box->itemText(i);
        box->setEditText(QString::fromStdString(dl + "renamed.txt"));
        const int at = box->findText(QString::fromStdString(pics));
        ASSERT_GE(at, 0);
        emit box->activated(at);
        click(d, 155);
    });
    EXPECT_EQ(dccget_accept_dialog(nullptr, offer), 1);
    EXPECT_EQ(listed, (QStringList{QString::fromStdString(dl), QString::fromStdString(pics)}));
    EXPECT_EQ(offer.folder, pics);
    EXPECT_EQ(offer.file, "renamed.txt");
}

TEST_F(DccDialogsTest, NickSubfolderAndTheRememberedCheckBox)
{
    ini_write("extensions", "n1", ("*.oggEXTDIR:" + dl + "EXTOPT:1").c_str(), main_ini_path);
    DccAcceptOffer offer;
    offer.nick = "a.my";
    offer.file = "song.ogg";
    bool box_at_start = true;
    Answer answer(kDccAcceptDialogName, [&](QDialog* d) {
        auto* box = d->findChild<QCheckBox*>("157");
        box_at_start = box->isChecked();
        box->setChecked(true);
        click(d, 155);
    });
    EXPECT_EQ(dccget_accept_dialog(nullptr, offer), 1);
    EXPECT_FALSE(box_at_start);
    EXPECT_EQ(offer.folder, dl + "a_my/");
    EXPECT_TRUE(std::filesystem::is_directory(dl + "a_my"));
    EXPECT_TRUE(offer.folder_chosen);
    EXPECT_TRUE(offer.no_activate);
    // The next dialog starts with the box as it was left.
    Answer again(kDccAcceptDialogName, [&](QDialog* d) {
        box_at_start = d->findChild<QCheckBox*>("157")->isChecked();
        click(d, 2);
    });
    dccget_accept_dialog(nullptr, offer);
    EXPECT_TRUE(box_at_start);
}

TEST_F(DccDialogsTest, TimeOutCountsTheTicksOfTheGivenClock)
{
    opt_set(OPT_DCC_GET_CHAT_TIMEOUT, 5);
    DccAcceptOffer offer;
    offer.nick = "amy";
    offer.file = "a.txt";
    std::vector<bool> open_after;
    Answer answer(kDccAcceptDialogName, [&](QDialog* d) {
        QPointer<QDialog> guard = d;
        for (int i = 0; i < 6 && guard; ++i) {
            g_now += 1000;
            frame_tick();
            open_after.push_back(guard && guard->isVisible());
        }
    });
    EXPECT_EQ(dccget_accept_dialog(nullptr, offer), 0);
    // Open for four seconds, cancelled on the fifth.
    ASSERT_GE(open_after.size(), 5u);
    EXPECT_EQ(std::vector<bool>(open_after.begin(), open_after.begin() + 5),
              (std::vector<bool>{true, true, true, true, false}));
    EXPECT_EQ(tick_request_dialogs[1].countdown, 0);
    // Ticks with no dialog open do nothing.
    frame_tick();
    EXPECT_EQ(tick_request_dialogs[1].window, nullptr);
}

TEST_F(DccDialogsTest, FileExistsChoices)
{
    spit(dl + "have.bin", std::string(3000, 'x'));
    struct Case {
        const char* name;
        std::string file;
        int button;
        int result;
        std::int64_t resume;
        bool file_kept;
        bool resume_shown;
        std::string size_text;
    } cases[] = {
        {"resume", "have.bin", 161, 1, 3000, true, true, "2.93KB (of 9.77KB)"},
        {"overwrite", "have.bin", 1, 1, 0, true, true, "2.93KB (of 9.77KB)"},
        {"rename", "have.bin", 2, 0, 0, false, true, "2.93KB (of 9.77KB)"},
        {"unreadable size", "missing.bin", 1, 1, 0, true, false, "Okunamadı"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DccExistsQuery q;
        q.nick = "amy";
        q.address = "127.0.0.1";
        q.folder = dl;
        q.file = c.file;
        q.offered = 10000;
        q.resume = 77;
        bool resume_shown = false;
        std::string size_text, path_text;
        Answer answer(kDccExistsDialogName, [&](QDialog* d) {
            auto* r = d->findChild<QPushButton*>("161");
            resume_shown = r && !r->isHidden() && r->isEnabled();
            size_text = field(d, 162);
            path_text = field(d, 152);
            click(d, c.button);
        });
        EXPECT_EQ(dccget_exists_dialog(nullptr, q), c.result);
        EXPECT_EQ(q.resume, c.resume);
        EXPECT_EQ(q.file.empty(), !c.file_kept);
        EXPECT_EQ(resume_shown, c.resume_shown);
        EXPECT_EQ(size_text, c.size_text);
        EXPECT_EQ(path_text, dl + c.file);
    }
    // Auto-accept with resume chosen: no dialog.
    opt_set(OPT_DCC_SEND_REQUESTS, 1);
    opt_set(OPT_DCC_FILE_EXISTS, 1);
    DccExistsQuery q;
    q.folder = dl;
    q.file = "have.bin";
    Answer none(kDccExistsDialogName, [](QDialog* d) { d->reject(); });
    EXPECT_EQ(dccget_exists_dialog(nullptr, q), 1);
    EXPECT_EQ(q.resume, 3000);
    EXPECT_EQ(none.shown, 0);
}

TEST_F(DccDialogsTest, FileTypeWarningComesThroughTheFrameAndCanBeSilenced)
{
    int shown = 0;
    Answer answer(kDccFiletypeDialogName, [&](QDialog* d) {
        ++shown;
        d->findChild<QCheckBox*>("102")->setChecked(shown == 2);
        click(d, 1);
    });
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        const int posted = dcc_filetype_warning_open("setup.exe");
        EXPECT_EQ(posted, round <= 2 ? 1 : 0);
        for (int i = 0; i < 50 && shown < round && round <= 2; ++i)
            QTest::qWait(5);
        test_drain_events();
        EXPECT_EQ(shown, std::min(round, 2));
    }
    std::string v;
    ini_read("warn", "filetype", "", v, 256, main_ini_path);
    EXPECT_EQ(v, "off");
}

// ---- The send dialog ----

TEST_F(DccDialogsTest, MenuSendDialogOffersTheFilesToTheNick)
{
    spit(settings.path() + "a.txt", "hello");
    dcc_remember_nick("old");
    int shown = 0;
    std::vector<bool> open_after_ok;
    QStringList listed;
    auto answer = std::make_unique<Answer>(kDccSendDialogName, [&](QDialog* d) {
        ++shown;
        auto* nicks = d->findChild<QComboBox*>("152");
        for (int i = 0; i < nicks->count(); ++i)
            listed << nicks->itemText(i);
        // No nick, then no file: the dialog stays.
        nicks->setEditText("  ");
        click(d, 1);
        open_after_ok.push_back(d->isVisible());
        nicks->setEditText(" bob ");
        click(d, 1);
        open_after_ok.push_back(d->isVisible());
        d->findChild<QLineEdit*>("120")->setText(QString::fromStdString(settings.path() + "a.txt"));
        click(d, 1);
    });
    ASSERT_NE(frame_menu_command(151), nullptr);
    frame_on_command(frame.data(), 151, 0);
    test_drain_events();
    answer.reset();
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(listed, QStringList{"old"});
    EXPECT_EQ(open_after_ok, (std::vector<bool>{true, true}));
    EXPECT_EQ(dcc_recent_nicks(), (std::vector<std::string>{"bob", "old"}));
    DccTransfer* sent = nullptr;
    for (WindowRecord* r = win_list; r; r = r->next)
        if (DccTransfer* t = dcc_transfer_of(r))
            sent = t;
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->kind, kDccSend);
    EXPECT_EQ(sent->nick, "bob");
    EXPECT_EQ(sent->file, "a.txt");
    EXPECT_EQ(sent->size, 5);
    bool offered = false;
    for (const std::string& line : wire.lines())
        offered = offered || line.find("PRIVMSG bob :\x01" "DCC SEND a.txt ") == 0;
    EXPECT_TRUE(offered);

    // Cancel starts nothing and keeps the list as it was.
    Answer cancel(kDccSendDialogName, [&](QDialog* d) {
        d->findChild<QComboBox*>("152")->setEditText("carl");
        click(d, 2);
    });
    frame_on_command(frame.data(), 151, 0);
    test_drain_events();
    EXPECT_EQ(cancel.shown, 1);
    EXPECT_EQ(dcc_recent_nicks(), (std::vector<std::string>{"bob", "old"}));
}

TEST_F(DccDialogsTest, RecentNicksKeepTwentyNewestFirstWithoutRepeats)
{
    for (int i = 0; i < 25; ++i)
        dcc_remember_nick("n" + std::to_string(i));
    dcc_remember_nick("N3");  // the same nick in other case moves to the front
    const std::vector<std::string> nicks = dcc_recent_nicks();
    ASSERT_EQ(nicks.size(), 20u);
    EXPECT_EQ(nicks[0], "N3");
    EXPECT_EQ(nicks[1], "n24");
    EXPECT_EQ(std::count(nicks.begin(), nicks.end(), "n3"), 0);
}

// ---- An offer from the transfers ----

TEST_F(DccDialogsTest, AWaitingOfferIsAskedAndItsWindowOpens)
{
    opt_set(OPT_DCC_SEND_REQUESTS, 0);
    opt_set(OPT_DCC_FILE_EXISTS, 0);
    spit(dl + "clash.txt", "old");
    int accepts = 0, exists = 0;
    Answer accept(kDccAcceptDialogName, [&](QDialog* d) {
        ++accepts;
        if (accepts == 2)
            combo(d)->setEditText(QString::fromStdString(dl + "fresh.txt"));
        click(d, 155);
    });
    Answer exist(kDccExistsDialogName, [&](QDialog* d) {
        ++exists;
        click(d, 2);  // rename: asked for a name again
    });
    DccOffer offer = dcc_parse_offer("DCC SEND clash.txt 2130706433 5000 3");
    ASSERT_EQ(offer.kind, kDccOfferSend);
    dccget_offer(conn, "amy", "a@h", offer);
    for (int i = 0; i < 400 && accepts < 2; ++i)
        QTest::qWait(5);
    test_drain_events();
    EXPECT_EQ(accepts, 2);
    EXPECT_EQ(exists, 1);
    DccTransfer* got = nullptr;
    for (WindowRecord* r = win_list; r; r = r->next)
        if (DccTransfer* t = dcc_transfer_of(r))
            got = t;
    ASSERT_TRUE(got);
    EXPECT_EQ(got->kind, kDccGet);
    EXPECT_EQ(got->file, "fresh.txt");
    EXPECT_EQ(got->folder, dl);
    EXPECT_EQ(got->offered_name, "clash.txt");
    EXPECT_EQ(dccget_pending_count(), 0);
}

// A real peer: the offer points at its listening socket on 127.0.0.1; once
// the user accepts in the dialog the file comes over it, and the transfer
// window and the bars show it filling up.
TEST_F(DccDialogsTest, AcceptedOfferFromARealPeerFillsItsWindow)
{
    opt_set(OPT_DCC_SEND_REQUESTS, 0);
    const int lfd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(lfd, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(::bind(lfd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(lfd, 1), 0);
    ASSERT_EQ(::getsockname(lfd, reinterpret_cast<sockaddr*>(&a), &len), 0);
    const int port = ntohs(a.sin_port);
    const std::string data(200000, 'k');

    int accepts = 0;
    Answer accept(kDccAcceptDialogName, [&](QDialog* d) {
        ++accepts;
        click(d, 155);
    });
    DccOffer offer = dcc_parse_offer("DCC SEND peer.bin 2130706433 " + std::to_string(port) + " " +
                                     std::to_string(data.size()));
    ASSERT_EQ(offer.kind, kDccOfferSend);
    dccget_offer(conn, "amy", "a@h", offer);

    // The peer: take the connection, send in pieces while reading the
    // acknowledgements, and watch the window between pieces.
    int fd = -1;
    for (int i = 0; i < 1000 && fd < 0; ++i) {
        QTest::qWait(5);
        pollfd p{lfd, POLLIN, 0};
        if (::poll(&p, 1, 0) == 1)
            fd = ::accept(lfd, nullptr, nullptr);
    }
    ASSERT_GE(fd, 0);
    EXPECT_EQ(accepts, 1);
    DccTransfer* t = nullptr;
    for (WindowRecord* r = win_list; r; r = r->next)
        if (DccTransfer* x = dcc_transfer_of(r))
            t = x;
    ASSERT_TRUE(t);
    std::vector<int> percents;
    std::size_t sent = 0;
    std::uint64_t acked = 0;
    for (int i = 0; i < 4000 && acked < data.size(); ++i) {
        if (sent < data.size()) {
            const std::size_t piece = std::min<std::size_t>(50000, data.size() - sent);
            const ssize_t n = ::send(fd, data.data() + sent, piece, MSG_NOSIGNAL);
            if (n > 0)
                sent += static_cast<std::size_t>(n);
        }
        QTest::qWait(2);
        unsigned char ack[8];
        pollfd p{fd, POLLIN, 0};
        while (::poll(&p, 1, 0) == 1 && ::recv(fd, ack, 4, MSG_DONTWAIT) == 4)
            acked = (std::uint64_t(ack[0]) << 24) | (ack[1] << 16) | (ack[2] << 8) | ack[3];
        if (const TransferProgress* tp = transfer_progress_of(t->window))
            if (percents.empty() || percents.back() != tp->percent)
                percents.push_back(tp->percent);
    }
    EXPECT_EQ(acked, data.size());
    ::close(fd);
    ::close(lfd);
    for (int i = 0; i < 400 && !t->ended; ++i)
        QTest::qWait(5);
    ASSERT_TRUE(t->done);
    EXPECT_EQ(slurp(dl + "peer.bin"), data);
    // The bars saw it grow to 100, never going back.
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.back(), 100);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    // The window shows a full bar and the Open button.
    QWidget* bar = t->window->hwnd->findChild<QWidget*>("110");
    ASSERT_TRUE(bar);
    const QImage img = bar->grab().toImage();
    EXPECT_EQ(QColor(img.pixel(img.width() - 3, img.height() / 2)), QColor(0, 50, 150));
    auto* open = t->window->hwnd->findChild<QPushButton*>("119");
    ASSERT_TRUE(open);
    EXPECT_TRUE(!open->isHidden() && open->isEnabled());
}

}  // namespace

// ---- The file-server warning ----

TEST_F(DccDialogsTest, FileServerWarningShowsWhoAndWhereAndKeepsItsCheckBox)
{
    struct Case {
        int button;
        bool keep_warning;
        int result;
        const char* stored;
    } cases[] = {
        {1, false, 1, "off"},
        {2, true, 0, "on"},
        {2, false, 0, "off"},
        {1, true, 1, "on"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.button) + (c.keep_warning ? " keep" : " drop"));
        const int before = main_settings.warn_fserve;
        std::string nick_shown, home_shown;
        bool box_started = false;
        Answer answer(kDccFserveWarningDialogName, [&](QDialog* d) {
            nick_shown = field(d, 286);
            home_shown = field(d, 287);
            auto* box = d->findChild<QCheckBox*>("288");
            ASSERT_TRUE(box);
            box_started = box->isChecked();
            box->setChecked(c.keep_warning);
            click(d, c.button);
        });
        EXPECT_EQ(fserve_warning_dialog(nullptr, "browser", "/srv/share/"), c.result);
        EXPECT_EQ(answer.shown, 1);
        EXPECT_EQ(nick_shown, "browser");
        EXPECT_EQ(home_shown, "/srv/share/");
        EXPECT_EQ(box_started, before != 0);
        EXPECT_EQ(main_settings.warn_fserve, c.keep_warning ? 1 : 0);
        std::string v;
        ini_read("warn", "fserve", "", v, 256, main_ini_path);
        EXPECT_EQ(v, c.stored);
    }
}
