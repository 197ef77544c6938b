// The main frame window.
#include "app/frame_window.h"

#include "app/frame_proc.h"
#include "app/startup.h"
#include "platform/app_messages.h"

#include <QCloseEvent>

KestFrame::KestFrame(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Kest"));
    setProperty("kestClass", QStringLiteral("Kest"));
    setWindowTitle(QStringLiteral("Kest"));
    setMinimumSize(10, 10);
    // Private messages posted to the frame reach the frame's message table.
    app_messages_set_frame(this);
}

// Messages posted after the frame is gone are dropped, as posts to a
// destroyed window are.
KestFrame::~KestFrame() = default;

void KestFrame::closeEvent(QCloseEvent* event)
{
    // The exit sequence decides; when it goes on, it destroys the frame itself.
    event->ignore();
    frame_close(0);
}

void KestFrame::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // The frame or the whole program gained or lost the activation; a
    // minimised frame leaves the program inactive.
    if (event->type() == QEvent::ActivationChange || event->type() == QEvent::WindowStateChange)
        frame_update_activation(this, 3);
}
