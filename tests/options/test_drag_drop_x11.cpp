// A file dragged with the real pointer on a real X display: the test starts
// Xvfb, runs itself again on that display (a channel window and a small
// source window that drags a text/uri-list), and moves the pointer with
// xdotool from the source onto the channel window. The rule for the file
// runs with the channel's name. Skipped when Xvfb or xdotool is missing.
#include <gtest/gtest.h>

#include <QDrag>
#include <QElapsedTimer>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/window_open.h"
#include "irc/link/connections.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "options/drag_drop.h"
#include "platform/platform_utils.h"
#include "support/hook_guard.h"
#include "support/script_engine.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"

namespace {

constexpr const char* kChildFlag = "KEST_DND_CHILD_OUT";

// Starts a drag of one file when pressed.
class DragSource : public QLabel {
public:
    explicit DragSource(std::string path) : QLabel("sürükle"), path_(std::move(path)) {}

protected:
    void mousePressEvent(QMouseEvent*) override
    {
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(QString::fromStdString(path_))});
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        drag->exec(Qt::CopyAction | Qt::MoveAction);
    }

private:
    std::string path_;
};

bool wait_for(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

std::string slurp(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The child: on the X display, a channel window and the source; it writes
// the two points to drag between, then the rule's output once the drop ran.
TEST(DragDropUnderX, Child)
{
    const char* out = std::getenv(kChildFlag);
    if (!out)
        GTEST_SKIP() << "run by DragDropUnderX.FileDraggedOntoAChannel";
    HookGuard hooks;
    QPointer<QMainWindow> frame;
    test_app();
    test_frame_mdi(frame);
    frame->move(0, 0);
    test_script_engine_install();
    app_wire_windows();
    app_wire_text_area();
    open_hooks = OpenHooks();
    drag_drop_install();
    open_hooks.dragdrop_register = dragdrop_register;
    open_hooks.dragdrop_revoke = dragdrop_revoke;
    dragdrop_set_rules(0, {"*.txt:/echo -s plain: $1-"});
    Connection* conn = conn_new_with_status(conn_list);
    ASSERT_TRUE(conn_is_live(conn));
    WindowOpenRequest request;
    request.name = "#surukle";
    request.type = kWinChannel;
    request.conn = conn;
    WindowRecord* chan = win_record_of(win_open(request));
    ASSERT_TRUE(chan && chan->text_area.get());
    test_drain_events();

    DragSource source("/tmp/kest drop/notes.txt");
    source.resize(120, 60);
    source.move(820, 600);
    source.show();
    QWidget* area = chan->text_area.get();
    ASSERT_TRUE(wait_for([&] { return source.isVisible() && area->isVisible() && frame->isVisible(); }, 5000));
    wait_for([] { return false; }, 500);
    const QPoint from = source.mapToGlobal(source.rect().center());
    const QPoint to = area->mapToGlobal(QPoint(area->width() / 4, area->height() / 2));
    {
        std::ofstream points(std::string(out) + ".points");
        points << from.x() << " " << from.y() << " " << to.x() << " " << to.y() << "\n";
    }
    auto ran = [&] {
        WindowRecord* status = win_record_of(conn->status_window.data());
        for (const StringNode* n = status ? status->lines : nullptr; n; n = n->next)
            if (std::size_t at = n->text.find("plain: "); at != std::string::npos)
                return n->text.substr(at);
        return std::string();
    };
    wait_for([&] { return !ran().empty(); }, 15000);
    std::ofstream(out) << ran() << "\n";
    win_close_all();
    conn_free_all();
    test_drain_events();
    drag_drop_uninstall();
    delete frame.data();
}

TEST(DragDropUnderX, FileDraggedOntoAChannel)
{
    const QString xvfb = QStandardPaths::findExecutable("Xvfb");
    const QString xdotool = QStandardPaths::findExecutable("xdotool");
    if (xvfb.isEmpty() || xdotool.isEmpty())
        GTEST_SKIP() << "Xvfb or xdotool is not installed";
    if (std::getenv(kChildFlag))
        GTEST_SKIP();
    TempDir dir("kest_dndx");
    ASSERT_TRUE(dir.made());

    // Xvfb picks a free display and writes its number.
    QProcess server;
    server.start(xvfb, {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    ASSERT_TRUE(server.waitForStarted(5000));
    std::string number;
    QElapsedTimer t;
    t.start();
    while (number.find('\n') == std::string::npos && t.elapsed() < 10000) {
        server.waitForReadyRead(200);
        number += server.readAllStandardOutput().toStdString();
    }
    ASSERT_NE(number.find('\n'), std::string::npos) << "Xvfb gave no display";
    const QString display = ":" + QString::fromStdString(number.substr(0, number.find('\n')));

    const std::string out = dir.path + "result";
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert(kChildFlag, QString::fromStdString(out));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QFile::symLinkTarget("/proc/self/exe"), {"--gtest_filter=DragDropUnderX.Child"});
    ASSERT_TRUE(child.waitForStarted(5000));

    t.restart();
    std::string points;
    while (points.empty() && t.elapsed() < 20000 && child.state() == QProcess::Running) {
        child.waitForFinished(100);
        points = slurp(out + ".points");
    }
    std::istringstream in(points);
    int fx = 0, fy = 0, tx = 0, ty = 0;
    const bool have_points = static_cast<bool>(in >> fx >> fy >> tx >> ty);
    if (have_points) {
        auto xdo = [&](const QStringList& args) {
            QProcess p;
            p.setProcessEnvironment(env);
            p.start(xdotool, args);
            p.waitForFinished(5000);
        };
        xdo({"mousemove", QString::number(fx), QString::number(fy)});
        xdo({"mousedown", "1"});
        // The drag moves in steps, as a hand does.
        for (int i = 1; i <= 10; ++i) {
            xdo({"mousemove", QString::number(fx + (tx - fx) * i / 10), QString::number(fy + (ty - fy) * i / 10)});
            QThread::msleep(50);
        }
        xdo({"mouseup", "1"});
    }
    if (!child.waitForFinished(30000))
        child.kill();
    child.waitForFinished(2000);
    const std::string log = child.readAll().toStdString();
    server.terminate();
    if (!server.waitForFinished(3000))
        server.kill();
    ASSERT_TRUE(have_points) << log;
    EXPECT_EQ(slurp(out), "plain: #surukle \"/tmp/kest drop/notes.txt\"\n") << log;
}

}  // namespace
