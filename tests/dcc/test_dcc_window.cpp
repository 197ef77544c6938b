// DCC transfer windows: the progress bar as painted, the figures, the status
// lines, the buttons and keys, and the progress the bars read.
#include "dcc_window_fixture.h"

#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QDialog>
#include <QTimer>

#include <filesystem>
#include <vector>

#include "dcc/dcc_engine.h"
#include "dcc/dcc_window.h"
#include "model/transfer_progress.h"
#include "platform/platform_utils.h"

namespace {

constexpr std::int64_t kGiB = 1024LL * 1024 * 1024;

QWidget* hwnd_of(DccTransfer* t) { return t->window->hwnd.get(); }

template <class T>
T* ctl(DccTransfer* t, int id)
{
    return hwnd_of(t)->findChild<T*>(QString::number(id));
}

std::string value(DccTransfer* t, int id)
{
    auto* l = ctl<QLabel>(t, id);
    return l ? l->text().toStdString() : "(none)";
}

// The colour of the bar's pixel at a fraction of its inner width, halfway down.
QColor bar_pixel(const QImage& img, double fraction)
{
    const int inner = img.width() - 2;
    const int x = 1 + std::min(inner - 1, static_cast<int>(inner * fraction));
    return QColor(img.pixel(x, img.height() / 2));
}

const QColor kDark(0, 50, 150);
const QColor kLight(0, 100, 200);
const QColor kWhite(255, 255, 255);

// ---- Drawing the bar ----

TEST(DccProgressBar, PercentsFillTheirShareOnWhite)
{
    struct Case {
        const char* name;
        int first, second;
        std::vector<std::pair<double, QColor>> expect;
    } cases[] = {
        {"empty", 0, 0, {{0.0, kWhite}, {0.5, kWhite}, {0.99, kWhite}}},
        {"half get", 50, 50, {{0.01, kDark}, {0.45, kDark}, {0.55, kWhite}}},
        {"send acked 25 sent 75", 25, 75, {{0.1, kDark}, {0.5, kLight}, {0.9, kWhite}}},
        {"full", 100, 100, {{0.0, kDark}, {0.5, kDark}, {0.999, kDark}}},
        {"out of range held", -20, 180, {{0.01, kLight}, {0.999, kLight}}},
        {"second below first", 60, 10, {{0.3, kDark}, {0.7, kWhite}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QImage img(202, 16, QImage::Format_RGB32);
        img.fill(Qt::magenta);
        QPainter p(&img);
        dccwin_draw_progress(p, img.rect(), c.first, c.second);
        p.end();
        for (const auto& [at, colour] : c.expect)
            EXPECT_EQ(bar_pixel(img, at), colour) << at;
        // A frame of lines all round, nothing left of the background.
        EXPECT_NE(QColor(img.pixel(0, 8)), QColor(Qt::magenta));
        EXPECT_NE(QColor(img.pixel(201, 8)), QColor(Qt::magenta));
    }
}

// ---- Figures ----

TEST(DccFigures, SpeedFromTheSamples)
{
    using S = DccSpeedSample;
    struct Case {
        const char* name;
        std::array<S, 5> samples;
        std::int64_t speed;
    } cases[] = {
        {"none", {}, 0},
        {"steady 1000/s", {S{0, 1000}, S{1000, 2000}, S{2000, 3000}, S{3000, 4000}, S{4000, 5000}}, 1000},
        {"gaps skipped", {S{0, 0}, S{1000, 2000}, S{3000, 3000}, S{0, 0}, S{0, 0}}, 2000},
        {"going back skipped", {S{5000, 1000}, S{1000, 2000}, S{3000, 3000}, S{0, 0}, S{0, 0}}, 2000},
        {"over 4 GiB a second", {S{0, 1000}, S{5 * kGiB, 2000}, S{0, 0}, S{0, 0}, S{0, 0}}, 5 * kGiB},
        {"half a second", {S{0, 1000}, S{500, 1500}, S{0, 0}, S{0, 0}, S{0, 0}}, 1000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(dccwin_speed_of(c.samples), c.speed) << c.name;
}

TEST(DccFigures, ShownSpeedJumpsOrCreeps)
{
    struct Case {
        std::int64_t shown, speed, next;
    } cases[] = {
        {0, 500, 500},         // anything is a jump from nothing
        {1000, 1101, 1101},    // more than a tenth: at once
        {1000, 1100, 1003},    // a tenth exactly: a thirtieth of the way
        {1000, 900, 997},
        {1000, 899, 899},
        {3000, 3000, 3000},    // repeated: stays
        {1000, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(dccwin_speed_step(c.shown, c.speed), c.next) << c.shown << " -> " << c.speed;
}

TEST(DccFigures, TimeLeft)
{
    struct Case {
        std::int64_t size, done, speed, left;
    } cases[] = {
        {1000, 0, 100, 10}, {1000, 999, 100, 1}, {1000, 1000, 100, 0}, {1000, 0, 0, 0},
        {-1, 0, 100, 0},    {6 * kGiB, kGiB, 1024, 5 * 1024 * 1024},
    };
    for (const Case& c : cases)
        EXPECT_EQ(dccwin_time_left(c.size, c.done, c.speed), c.left) << c.size << "/" << c.done;
}

// ---- The window ----

TEST_F(DccWindowTest, ProgressAreaPaintsTheTransfersPercents)
{
    DccTransfer* t = open_transfer(kDccSend, "bob", "big.iso", 6 * kGiB);
    ASSERT_TRUE(t);
    QWidget* bar = ctl<QWidget>(t, kDccwinProgress);
    ASSERT_TRUE(bar);
    EXPECT_GT(bar->width(), 100);
    struct Case {
        std::int64_t acked, sent;
        double acked_percent, percent;
        std::vector<std::pair<double, QColor>> expect;
    } cases[] = {
        {0, 0, 0, 0, {{0.02, kWhite}, {0.98, kWhite}}},
        {3 * kGiB, 4 * kGiB + 1, 50, 66, {{0.25, kDark}, {0.6, kLight}, {0.9, kWhite}}},
        {6 * kGiB, 6 * kGiB, 100, 100, {{0.02, kDark}, {0.98, kDark}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.percent);
        t->acked = c.acked;
        t->position = c.sent;
        t->acked_percent = c.acked_percent;
        t->percent = c.percent;
        dcc_transfer_progress.fire(t);
        const QImage img = bar->grab().toImage();
        for (const auto& [at, colour] : c.expect)
            EXPECT_EQ(bar_pixel(img, at), colour) << at;
    }
    EXPECT_EQ(value(t, kDccwinSize), "6GB");
    EXPECT_EQ(value(t, kDccwinNick), "bob");
    EXPECT_EQ(value(t, kDccwinFile), "big.iso");
}

TEST_F(DccWindowTest, FiguresAndStatusLines)
{
    DccTransfer* t = open_transfer(kDccGet, "amy", "song.ogg", 10000);
    ASSERT_TRUE(t);
    auto* status = ctl<QPlainTextEdit>(t, kDccwinStatus);
    ASSERT_TRUE(status);
    t->status_text = "Bağlanıyor";
    dcc_transfer_progress.fire(t);
    dcc_transfer_progress.fire(t);  // the same text twice: one line
    EXPECT_EQ(status->toPlainText().toStdString(), "Bağlanıyor");
    t->status_text = "Alınıyor";
    t->position = 2000;
    t->percent = 20;
    t->seconds = 2;
    t->speed = {DccSpeedSample{0, 1000}, DccSpeedSample{500, 2000}, DccSpeedSample{1000, 3000}};
    dcc_transfer_progress.fire(t);
    EXPECT_EQ(status->toPlainText().toStdString(), "Bağlanıyor\nAlınıyor");
    EXPECT_EQ(value(t, kDccwinSpeed), "500B/Sec");
    EXPECT_EQ(value(t, kDccwinTimeLeft).empty(), false);
    EXPECT_NE(value(t, kDccwinTransferred).find(" in "), std::string::npos);
    // Mode 2 empties the box first.
    dccget_update_status(t, 2, 0, 0, 0, "Yeni");
    EXPECT_EQ(status->toPlainText().toStdString(), "Yeni");
    // The bars read the same progress.
    const TransferProgress* p = transfer_progress_of(t->window);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->percent, 20);
    EXPECT_TRUE(p->running);
    EXPECT_EQ(p->percent_text, "20%");
}

TEST_F(DccWindowTest, UnknownSizeShowsNoSizeAndNoTimeLeft)
{
    DccTransfer* t = open_transfer(kDccGet, "amy", "stream.bin", -1);
    ASSERT_TRUE(t);
    t->position = 4096;
    t->seconds = 4;
    t->speed = {DccSpeedSample{0, 1000}, DccSpeedSample{4096, 2000}};
    dcc_transfer_progress.fire(t);
    EXPECT_EQ(value(t, kDccwinSize), "");
    EXPECT_EQ(value(t, kDccwinTimeLeft), "");
    EXPECT_EQ(transfer_progress_of(t->window)->percent_text, "4KB");
    t->ended = t->done = true;
    dcc_transfer_ended.fire(t);
    EXPECT_EQ(transfer_progress_of(t->window)->percent_text, "100%");
    EXPECT_FALSE(transfer_progress_of(t->window)->running);
}

TEST_F(DccWindowTest, ButtonsFollowTheTransfersEnd)
{
    struct Case {
        const char* name;
        int kind;
        bool ended, done;
        bool open_shown, open_enabled, folder_shown;
        const char* cancel_text;
        const char* open_text;
    } cases[] = {
        {"send running", kDccSend, false, false, false, true, false, "İptal", "Tekrar Gönder"},
        {"send failed", kDccSend, true, false, true, true, false, "Kapat", "Tekrar Gönder"},
        {"send done", kDccSend, true, true, false, true, false, "Kapat", "Tekrar Gönder"},
        {"get running", kDccGet, false, false, false, false, false, "İptal", "Aç"},
        {"get failed", kDccGet, true, false, true, false, true, "Kapat", "Aç"},
        {"get done", kDccGet, true, true, true, true, true, "Kapat", "Aç"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DccTransfer* t = open_transfer(c.kind, "bob", "f.txt", 10);
        ASSERT_TRUE(t);
        t->ended = c.ended;
        t->done = c.done;
        if (c.ended)
            dcc_transfer_ended.fire(t);
        auto* open = ctl<QPushButton>(t, kDccwinOpen);
        auto* folder = ctl<QPushButton>(t, kDccwinFolderButton);
        auto* cancel = ctl<QPushButton>(t, kDccwinCancel);
        ASSERT_TRUE(open && folder && cancel);
        EXPECT_EQ(!open->isHidden(), c.open_shown);
        EXPECT_EQ(open->isEnabled(), c.open_enabled);
        EXPECT_EQ(!folder->isHidden(), c.folder_shown);
        EXPECT_FALSE(cancel->isHidden());
        EXPECT_EQ(cancel->text().toStdString(), c.cancel_text);
        EXPECT_EQ(open->text().toStdString(), c.open_text);
        // The buttons fit side by side in the window.
        EXPECT_GE(hwnd_of(t)->width(), hwnd_of(t)->minimumWidth());
        EXPECT_LE(cancel->geometry().right(), hwnd_of(t)->width());
        clear();
        new_conn();
    }
}

int transfer_windows(const std::string& file)
{
    int n = 0;
    for (WindowRecord* r = win_list; r; r = r->next)
        if (DccTransfer* t = dcc_transfer_of(r))
            n += t->file == file ? 1 : 0;
    return n;
}

TEST_F(DccWindowTest, CancelResendAndCloseByClickAndKey)
{
    spit(settings.path() + "f.txt", "0123456789");
    DccTransfer* t = open_transfer(kDccSend, "bob", "f.txt", 10);
    ASSERT_TRUE(t);
    t->path = settings.path() + "f.txt";
    t->state = kDccSending;
    t->position = 4;
    t->close_when_done = true;
    QTest::mouseClick(ctl<QPushButton>(t, kDccwinCancel), Qt::LeftButton);
    test_drain_events();
    EXPECT_TRUE(t->ended);
    EXPECT_TRUE(t->failed);
    EXPECT_FALSE(t->close_when_done) << "any click clears close-when-done";
    ASSERT_TRUE(win_is_record(t->window)) << "Cancel keeps the window";
    EXPECT_EQ(ctl<QPushButton>(t, kDccwinCancel)->text().toStdString(), "Kapat");
    EXPECT_FALSE(ctl<QPlainTextEdit>(t, kDccwinStatus)->toPlainText().isEmpty());

    // The send failed: Resend, with the keyboard, offers the file again.
    QPushButton* resend = ctl<QPushButton>(t, kDccwinOpen);
    ASSERT_FALSE(resend->isHidden());
    resend->setFocus();
    QTest::keyClick(resend, Qt::Key_Space);
    test_drain_events();
    EXPECT_EQ(transfer_windows("f.txt"), 2);
    bool offered = false;
    for (const std::string& line : wire.lines())
        offered = offered || line.find("PRIVMSG bob :\x01" "DCC SEND f.txt ") == 0;
    EXPECT_TRUE(offered);

    // Close after the end closes the window, and with it the record.
    QPointer<QWidget> hwnd = hwnd_of(t);
    WindowRecord* rec = t->window;
    static int closed = 0;
    closed = 0;
    const int c = dcc_transfer_closed.add(0, [](DccTransfer*) { ++closed; });
    QTest::mouseClick(ctl<QPushButton>(t, kDccwinCancel), Qt::LeftButton);
    test_drain_events();
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(win_is_record(rec));
    EXPECT_FALSE(hwnd);
    EXPECT_EQ(transfer_windows("f.txt"), 1) << "the resent one stays";
    dcc_transfer_closed.remove(c);
}

TEST_F(DccWindowTest, OpenAReceivedFileAndItsFolder)
{
    static std::vector<std::string> opened;
    opened.clear();
    desktop_open_hook = [](const std::string& path) {
        opened.push_back(path);
        return 1;
    };
    struct Case {
        const char* file;
        bool done;
        int dialog_answer;  // -1: no dialog expected
        bool opens;
    } cases[] = {
        {"photo.jpg", true, -1, true},
        {"setup.exe", true, 0, false},
        {"setup.exe", true, 1, true},
        {"photo.jpg", false, -1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        opened.clear();
        DccTransfer* t = open_transfer(kDccGet, "amy", c.file, 3);
        ASSERT_TRUE(t);
        spit(settings.path() + c.file, "abc");
        t->ended = true;
        t->done = c.done;
        dcc_transfer_ended.fire(t);
        int dialogs = 0;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!d)
                return;
            ++dialogs;
            QTest::mouseClick(d->findChild<QPushButton*>(c.dialog_answer == 1 ? "1" : "2"), Qt::LeftButton);
        });
        ctl<QPushButton>(t, kDccwinOpen)->click();
        test_drain_events();
        EXPECT_EQ(dialogs, c.dialog_answer >= 0 ? 1 : 0);
        if (c.opens) {
            ASSERT_EQ(opened.size(), 1u);
            EXPECT_NE(opened[0].find(settings.path() + c.file), std::string::npos);
        } else {
            EXPECT_TRUE(opened.empty());
        }
        opened.clear();
        ctl<QPushButton>(t, kDccwinFolderButton)->click();
        EXPECT_EQ(opened.size(), 1u) << "Open folder";
        clear();
        new_conn();
    }
}

}  // namespace
