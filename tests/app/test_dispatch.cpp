#include "app/dispatch.h"
#include "platform/platform_test_env.h"

#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <memory>

namespace {

// A line edit that counts the keys it gets.
class KeyCounter : public QLineEdit
{
public:
    using QLineEdit::QLineEdit;
    int keys = 0;

protected:
    void keyPressEvent(QKeyEvent *e) override
    {
        ++keys;
        QLineEdit::keyPressEvent(e);
    }
};

class Dispatch : public ::testing::Test
{
protected:
    void SetUp() override
    {
        platform_test_app();
        frame = std::make_unique<QMainWindow>();
        mdi = new QMdiArea;
        frame->setCentralWidget(mdi);
        for (int i = 0; i < 3; ++i) {
            auto *edit = new KeyCounter;
            edits.push_back(edit);
            QMdiSubWindow *sub = mdi->addSubWindow(edit);
            sub->setAttribute(Qt::WA_DeleteOnClose);
            sub->show();
        }
        frame->resize(600, 400);
        frame->show();
        mdi->setActiveSubWindow(mdi->subWindowList().first());

        dialog = std::make_unique<QDialog>();
        auto *layout = new QVBoxLayout(dialog.get());
        first = new KeyCounter;
        second = new KeyCounter;
        layout->addWidget(first);
        layout->addWidget(second);
        dialog->setModal(false);

        dispatch_set_mdi_area(mdi);
        dispatch_install();
    }
    void TearDown() override
    {
        dispatch_uninstall();
        dispatch_unregister_modeless(dialog.get());
        dialog.reset();
        frame.reset();
        pump_for(5);
    }

    void activate(QWidget *w)
    {
        w->show();
        w->activateWindow();
        QApplication::setActiveWindow(w);
        pump_until([w] { return QApplication::activeWindow() == w; }, 2000);
    }

    // Sends a key press the way the event loop delivers it (filters included).
    bool press(QWidget *target, int key, Qt::KeyboardModifiers mods, const QString &text = QString())
    {
        QKeyEvent ev(QEvent::KeyPress, key, mods, text);
        QApplication::sendEvent(target, &ev);
        return ev.isAccepted();
    }

    std::unique_ptr<QMainWindow> frame;
    QMdiArea *mdi = nullptr;
    std::vector<KeyCounter *> edits;
    std::unique_ptr<QDialog> dialog;
    KeyCounter *first = nullptr;
    KeyCounter *second = nullptr;
};

TEST_F(Dispatch, MdiAcceleratorsActOnChildrenWhileNoModelessDialogIsActive)
{
    activate(frame.get());
    ASSERT_EQ(QApplication::activeWindow(), frame.get());
    struct Case {
        int key;
        Qt::KeyboardModifiers mods;
        int result;
        int children_after;
        bool active_changes;
    } cases[] = {
        {Qt::Key_F6, Qt::ControlModifier, DISPATCH_MDI_ACCEL, 3, true},
        {Qt::Key_F6, Qt::ControlModifier | Qt::ShiftModifier, DISPATCH_MDI_ACCEL, 3, true},
        {Qt::Key_Tab, Qt::ControlModifier, DISPATCH_MDI_ACCEL, 3, true},
        {Qt::Key_F6, Qt::NoModifier, DISPATCH_NORMAL, 3, false},
        {Qt::Key_F4, Qt::ControlModifier | Qt::AltModifier, DISPATCH_NORMAL, 3, false},
        {Qt::Key_A, Qt::ControlModifier, DISPATCH_NORMAL, 3, false},
        {Qt::Key_F4, Qt::ControlModifier, DISPATCH_MDI_ACCEL, 2, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.key) + "/" + std::to_string(int(c.mods)));
        QMdiSubWindow *before = mdi->activeSubWindow();
        ASSERT_NE(before, nullptr);
        QKeyEvent ev(QEvent::KeyPress, c.key, c.mods);
        EXPECT_EQ(frame_dispatch_message(before->widget(), &ev), c.result);
        pump_for(10);
        EXPECT_EQ(mdi->subWindowList().size(), c.children_after);
        EXPECT_EQ(mdi->activeSubWindow() != before, c.active_changes);
    }
}

TEST_F(Dispatch, AnActiveModelessDialogGetsTheKeyBeforeTheMdiAccelerators)
{
    dispatch_register_modeless(dialog.get(), MODELESS_SCRIPT_DIALOG);
    activate(dialog.get());
    ASSERT_EQ(QApplication::activeWindow(), dialog.get());
    EXPECT_EQ(dispatch_active_modeless(), dialog.get());
    first->setFocus();

    // Ctrl+F4 is the dialog's: no MDI child closes.
    QMdiSubWindow *before = mdi->activeSubWindow();
    press(first, Qt::Key_F4, Qt::ControlModifier);
    pump_for(10);
    EXPECT_EQ(mdi->subWindowList().size(), 3);
    EXPECT_EQ(mdi->activeSubWindow(), before);
    EXPECT_EQ(first->keys, 1);

    // A key aimed at a frame widget while the dialog is active goes to the dialog.
    int frame_keys = edits[0]->keys;
    press(edits[0], Qt::Key_B, Qt::NoModifier, "b");
    EXPECT_EQ(edits[0]->keys, frame_keys);
    EXPECT_EQ(first->keys, 2);
    EXPECT_EQ(first->text(), "b");
    EXPECT_EQ(mdi->subWindowList().size(), 3);
}

TEST_F(Dispatch, AnInactiveOrUnregisteredDialogTakesNothing)
{
    // Registered but not active.
    dispatch_register_modeless(dialog.get(), MODELESS_SCRIPT_EDITOR);
    dialog->show();
    activate(frame.get());
    EXPECT_EQ(dispatch_active_modeless(), nullptr);
    QKeyEvent ev(QEvent::KeyPress, Qt::Key_F6, Qt::ControlModifier);
    EXPECT_EQ(frame_dispatch_message(edits[0], &ev), DISPATCH_MDI_ACCEL);

    // Active but unregistered.
    dispatch_unregister_modeless(dialog.get());
    activate(dialog.get());
    EXPECT_EQ(dispatch_active_modeless(), nullptr);
    QKeyEvent ev2(QEvent::KeyPress, Qt::Key_F4, Qt::ControlModifier);
    EXPECT_EQ(frame_dispatch_message(first, &ev2), DISPATCH_MDI_ACCEL);
}

TEST_F(Dispatch, DialogsAreTriedInOrderAndDestroyedOnesDropOut)
{
    auto editor = std::make_unique<QDialog>();
    dispatch_register_modeless(editor.get(), MODELESS_SCRIPT_EDITOR);
    dispatch_register_modeless(dialog.get(), MODELESS_PLAY_CENTRE);
    activate(editor.get());
    EXPECT_EQ(dispatch_active_modeless(), editor.get());
    QKeyEvent ev(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    EXPECT_EQ(frame_dispatch_message(editor.get(), &ev), DISPATCH_DIALOG);
    editor.reset(); // destroyed while registered
    activate(frame.get());
    EXPECT_EQ(dispatch_active_modeless(), nullptr);
    QKeyEvent ev2(QEvent::KeyPress, Qt::Key_F6, Qt::ControlModifier);
    EXPECT_EQ(frame_dispatch_message(edits[0], &ev2), DISPATCH_MDI_ACCEL);
}

TEST_F(Dispatch, NonKeyEventsPassUntouched)
{
    dispatch_register_modeless(dialog.get(), MODELESS_SCRIPT_DIALOG);
    activate(dialog.get());
    QEvent paint(QEvent::Paint);
    EXPECT_EQ(frame_dispatch_message(edits[0], &paint), DISPATCH_NORMAL);
    QObject plain;
    QKeyEvent key(QEvent::KeyPress, Qt::Key_F4, Qt::ControlModifier);
    EXPECT_EQ(frame_dispatch_message(&plain, &key), DISPATCH_NORMAL);
    EXPECT_EQ(frame_dispatch_message(nullptr, &key), DISPATCH_NORMAL);
}

} // namespace
