// The message and input dialog through $input and $? typed into a channel's
// real editbox: the dialog opens modally, the test answers it with keys and
// clicks on its real controls, and the value shows in the line the channel
// prints. Also the time-out, the close box, the list and the refusal inside
// an event.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QElapsedTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/connection.h"
#include "app/input_dialog.h"
#include "app/subsystems.h"
#include "model/window_record.h"
#include "display/editbox.h"
#include "identifiers/input_identifiers.h"
#include "script/exec/script_errors.h"
#include "support/hook_guard.h"
#include "support/window_fixture.h"

namespace {

std::string last_line(const WindowRecord* rec)
{
    const StringNode* last = nullptr;
    for (const StringNode* n = rec ? rec->lines : nullptr; n; n = n->next)
        last = n;
    return last ? last->text : std::string();
}

class InputDialogTest : public ::testing::Test {
    HookGuard hooks_;
protected:
    void SetUp() override
    {
        window_test_reset();
        app_install_subsystems();
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        channel = window_test_open("#kest", kWinChannel, 0, conn);
        ASSERT_TRUE(channel);
        ASSERT_TRUE(channel->editbox.get());
        window_test_pump();
        opened = 0;
    }
    void TearDown() override { window_test_reset(); }

    // Acts on the dialog once it is shown.
    void when_shown(std::function<void(QDialog*)> act)
    {
        auto* poll = new QTimer();
        poll->setInterval(10);
        auto ticks = std::make_shared<int>(0);
        QObject::connect(poll, &QTimer::timeout, [this, poll, act, ticks] {
            auto* d = qobject_cast<QDialog*>(input_dialog_current());
            if (!d || !d->isVisible()) {
                // A dialog that never came: stop looking, so that no later
                // test's dialog is answered by this one.
                if (++*ticks > 1000) {
                    poll->stop();
                    poll->deleteLater();
                }
                return;
            }
            poll->stop();
            poll->deleteLater();
            ++opened;
            act(d);
            // A dialog the action failed to close is cancelled later, so a
            // fault shows as a wrong value rather than a test that hangs.
            QPointer<QDialog> guard(d);
            QTimer::singleShot(5000, [guard] {
                if (guard && guard->isVisible())
                    guard->reject();
            });
        });
        poll->start();
    }

    // Types the line into the channel's editbox and presses Enter; the
    // line the channel printed last.
    std::string type(const std::string& text)
    {
        EditBox* box = channel->editbox.get();
        box->setTextBytes(text);
        QTest::keyClick(box, Qt::Key_Return);
        window_test_pump();
        return last_line(channel);
    }

    static void click(QDialog* d, const char* button)
    {
        auto* b = d->findChild<QPushButton*>(button);
        ASSERT_TRUE(b) << button;
        QTest::mouseClick(b, Qt::LeftButton);
    }

    Connection* conn = nullptr;
    WindowRecord* channel = nullptr;
    int opened = 0;
};

bool ends_with(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST_F(InputDialogTest, EditBoxAnswersAndCancels)
{
    when_shown([](QDialog* d) {
        EXPECT_EQ(d->windowTitle().toStdString(), "Title");
        EXPECT_EQ(d->findChild<QLabel*>("prompt")->text().toStdString(), "Name?");
        auto* edit = d->findChild<QLineEdit*>("edit");
        ASSERT_TRUE(edit);
        EXPECT_EQ(edit->text().toStdString(), "guest");
        click(d, "ok");
    });
    EXPECT_TRUE(ends_with(type("//echo -a v $input(Name?,e,Title,guest) end"), "v guest end"));

    when_shown([](QDialog* d) {
        auto* edit = d->findChild<QLineEdit*>("edit");
        edit->clear();
        QTest::keyClicks(edit, "typed answer");
        QTest::keyClick(edit, Qt::Key_Return);
    });
    EXPECT_TRUE(ends_with(type("//echo -a v $input(Name?,e,Title,guest) end"), "v typed answer end"));

    when_shown([](QDialog* d) { click(d, "cancel"); });
    EXPECT_TRUE(ends_with(type("//echo -a v $input(Name?,e,Title,guest) end"), "v end"));

    // A password box hides what is typed.
    when_shown([](QDialog* d) {
        auto* edit = d->findChild<QLineEdit*>("edit");
        EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
        QTest::keyClicks(edit, "secret");
        click(d, "ok");
    });
    EXPECT_TRUE(ends_with(type("//echo -a v $input(Pass?,p) end"), "v secret end"));
    EXPECT_EQ(opened, 4);
}

TEST_F(InputDialogTest, ButtonsGiveTheirValues)
{
    const struct {
        const char* options;
        const char* action;   // a button's name, or "close"
        const char* shown;
    } cases[] = {
        {"yv", "close", "$no"},
        {"nv", "close", "$cancel"},
        {"nv", "no", "$no"},
        {"nv", "yes", "$yes"},
        {"yv", "no", "$no"},
        {"v", "ok", "$ok"},
        {"rv", "retry", "$retry"},
        {"y", "yes", "$true"},
        {"y", "no", "$false"},
        {"o", "ok", "$true"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.options) + " " + c.action);
        const std::string action = c.action;
        when_shown([action](QDialog* d) {
            if (action == "close")
                d->close();
            else
                click(d, action.c_str());
        });
        EXPECT_TRUE(ends_with(type(std::string("//echo -a v $input(Sure?,") + c.options + ")"),
                              std::string("v ") + c.shown))
            << last_line(channel);
    }
}

TEST_F(InputDialogTest, TimeOutAndList)
{
    // Left alone, the dialog closes itself after its seconds.
    bool seen = false;
    when_shown([&seen](QDialog*) { seen = true; });
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(ends_with(type("//echo -a v $input(Wait,k2v)"), "v $timeout"));
    EXPECT_TRUE(seen);
    // Never before its two seconds; a loaded machine may take longer, so the
    // upper bound only tells a dialog that waits far too long.
    EXPECT_GE(clock.elapsed(), 1500);
    EXPECT_LT(clock.elapsed(), 20000);

    when_shown([](QDialog* d) {
        auto* list = d->findChild<QComboBox*>("list");
        ASSERT_TRUE(list);
        ASSERT_EQ(list->count(), 3);
        EXPECT_EQ(list->itemText(0).toStdString(), "a");
        EXPECT_EQ(list->itemText(2).toStdString(), "c");
        EXPECT_EQ(list->currentText().toStdString(), "b");
        list->setCurrentIndex(2);
        click(d, "ok");
    });
    EXPECT_TRUE(ends_with(type("//echo -a v $input(Pick,m,Title,b,a,,b,c)"), "v c"));
}

TEST_F(InputDialogTest, PromptIdentifierAndTheChannelPrefix)
{
    // In a channel window "$?#" needs no question.
    EXPECT_TRUE(ends_with(type("//echo -a v $?#"), "v #kest"));
    EXPECT_EQ(opened, 0);

    when_shown([](QDialog* d) {
        EXPECT_EQ(d->findChild<QLabel*>("prompt")->text().toStdString(), "Your nick please");
        QTest::keyClicks(d->findChild<QLineEdit*>("edit"), "bob");
        click(d, "ok");
    });
    EXPECT_TRUE(ends_with(type("//echo -a v $?=\"Your nick please\""), "v bob"));

    when_shown([](QDialog* d) { click(d, "yes"); });
    EXPECT_TRUE(ends_with(type("//echo -a v $?!=\"Really?\""), "v $true"));

    // Written after "#", the answer becomes a channel name unless it is one.
    for (const char* answer : {"test", "#test"}) {
        SCOPED_TRACE(answer);
        const std::string a = answer;
        when_shown([a](QDialog* d) {
            QTest::keyClicks(d->findChild<QLineEdit*>("edit"), QString::fromStdString(a));
            click(d, "ok");
        });
        EXPECT_TRUE(ends_with(type("//echo -a v #$input(Channel?,e)"), "v #test")) << last_line(channel);
    }
}

TEST_F(InputDialogTest, TheProgramsQuestionsByTypeAndKind)
{
    QWidget* owner = channel->hwnd.get();
    // Type, the button clicked (or "close"), the buttons shown in order and
    // the result.
    const struct {
        int type;
        const char* action;
        std::vector<std::string> buttons;
        int result;
    } cases[] = {
        {3, "ok", {"Tamam"}, 1},
        {3, "close", {"Tamam"}, 0},
        {4, "yes", {"&Evet", "&Hayır"}, 1},
        {4, "no", {"&Evet", "&Hayır"}, 0},
        {4, "close", {"&Evet", "&Hayır"}, 0},
        {5, "yes", {"&Evet", "&Hayır", "İptal"}, 1},
        {5, "no", {"&Evet", "&Hayır", "İptal"}, 2},
        {5, "cancel", {"&Evet", "&Hayır", "İptal"}, 0},
        {6, "retry", {"&Tekrar", "İptal"}, 1},
        {6, "cancel", {"&Tekrar", "İptal"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " " + c.action);
        const std::string action = c.action;
        std::vector<std::string> shown;
        when_shown([action, &shown](QDialog* d) {
            for (QPushButton* b : d->findChildren<QPushButton*>())
                if (b->isVisible())
                    shown.push_back(b->text().toStdString());
            EXPECT_EQ(d->findChild<QLabel*>("prompt")->text().toStdString(), "Go on?");
            EXPECT_EQ(d->findChild<QLineEdit*>("edit"), nullptr);
            if (action == "close")
                d->close();
            else
                click(d, action.c_str());
        });
        EXPECT_EQ(input_dialog_run(owner, "Question", "Go on?", nullptr, c.type, 2, 0, 0, 0, 0), c.result);
        EXPECT_EQ(shown, c.buttons);
    }
    // With an answer buffer: an edit box holding it, copied back on OK only.
    std::string answer = "before";
    when_shown([](QDialog* d) {
        auto* edit = d->findChild<QLineEdit*>("edit");
        ASSERT_TRUE(edit);
        EXPECT_EQ(edit->text().toStdString(), "before");
        edit->setText("after");
        click(d, "cancel");
    });
    EXPECT_EQ(input_dialog_run(owner, "Q", "Name?", &answer, 0, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(answer, "before");
    when_shown([](QDialog* d) {
        d->findChild<QLineEdit*>("edit")->setText("after");
        click(d, "ok");
    });
    EXPECT_EQ(input_dialog_run(owner, "Q", "Name?", &answer, 0, 0, 0, 0, 0, 0), 1);
    EXPECT_EQ(answer, "after");
    // A type or kind it does not know: no dialog at all.
    const int before = opened;
    EXPECT_EQ(input_dialog_run(owner, "Q", "?", nullptr, 9, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(input_dialog_run(owner, "Q", "?", nullptr, 4, 7, 0, 0, 0, 0), 0);
    EXPECT_EQ(input_dialog_run(owner, "Q", "?", nullptr, 4, -1, 0, 0, 0, 0), 0);
    EXPECT_EQ(opened, before);
}

TEST(InputOptions, LettersNumbersAndArguments)
{
    InputDialogParams p;
    int timeout = 0;
    EXPECT_EQ(input_options({"q", "pk30"}, p, timeout), 0);
    EXPECT_EQ(p.flags, kInputPassword | kInputEdit);
    EXPECT_EQ(timeout, 30);
    EXPECT_EQ(input_options({"q", "133"}, p, timeout), 0);
    EXPECT_EQ(p.flags, 133);
    EXPECT_EQ(input_options({"q", "-5"}, p, timeout), 0);
    EXPECT_EQ(p.flags, 0);
    // Without "m" nothing may follow the default text.
    EXPECT_EQ(input_options({"q", "e", "title", "text", "extra"}, p, timeout), 6);
    EXPECT_EQ(input_options({"q", "es", "#win", "title", "text"}, p, timeout), 0);
    EXPECT_EQ(p.title, "title");
    EXPECT_EQ(p.default_text, "text");
    EXPECT_EQ(input_options({"q", "k-3"}, p, timeout), 0);
    EXPECT_EQ(timeout, 0);
}

} // namespace

#include <QFileDialog>

#include <cstdio>
#include <unistd.h>

namespace {

TEST_F(InputDialogTest, FileAndFolderSelection)
{
    char folder[] = "/tmp/kest_select_XXXXXX";
    ASSERT_TRUE(mkdtemp(folder));
    const std::string file = std::string(folder) + "/picked.txt";
    std::FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_TRUE(f);
    std::fclose(f);

    when_shown([&file](QDialog* d) {
        auto* fd = qobject_cast<QFileDialog*>(d);
        ASSERT_TRUE(fd);
        EXPECT_EQ(fd->windowTitle().toStdString(), "Pick a file");
        auto* name = fd->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_TRUE(name);
        name->setText(QString::fromStdString(file));
        d->accept();
    });
    EXPECT_TRUE(ends_with(type("//echo -a v $file=\"Pick a file\" end"), "v " + file + " end")) << last_line(channel);

    when_shown([](QDialog* d) { d->reject(); });
    EXPECT_TRUE(ends_with(type("//echo -a v $file=\"Pick a file\" end"), "v end")) << last_line(channel);

    when_shown([&folder](QDialog* d) {
        auto* fd = qobject_cast<QFileDialog*>(d);
        ASSERT_TRUE(fd);
        EXPECT_EQ(fd->fileMode(), QFileDialog::Directory);
        // Typed into the dialog's name box, as a user would.
        auto* name = fd->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_TRUE(name);
        name->setText(QString::fromUtf8(folder));
        d->accept();
    });
    const std::string line = type("//echo -a v $sdir Folder? end");
    EXPECT_TRUE(ends_with(line, "/ end")) << line;
    EXPECT_NE(line.find(folder), std::string::npos) << line;

    // Without a prompt nothing opens and the run stops with the message.
    const int before = opened;
    type("//echo -a v $hfile");
    EXPECT_EQ(opened, before);
    bool told = false;
    for (const StringNode* n = channel->lines; n; n = n->next)
        told = told || n->text.find("* $hfile: Yetersiz veya eksik parametre") != std::string::npos;
    for (WindowRecord* r = win_list; r && !told; r = r->next)
        for (const StringNode* n = r->lines; n; n = n->next)
            told = told || n->text.find("* $hfile: Yetersiz veya eksik parametre") != std::string::npos;
    EXPECT_TRUE(told);
    std::remove(file.c_str());
    rmdir(folder);
}

} // namespace
