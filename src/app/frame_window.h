// The main frame window "Kest": a QMainWindow whose MDI client holds the
// child windows. It receives the program's private messages (the platform
// layer filters them to the frame's message table) and turns a close into the
// program's exit sequence.
#pragma once

#include <QMainWindow>

class KestFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit KestFrame(QWidget* parent = nullptr);
    ~KestFrame() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
};

struct MainWindowPlacement;

// The frame's state as the "windows"/"main" line keeps it; 0 without a frame.
int frame_main_placement(MainWindowPlacement& out);
// Whether Shift is held now.
int frame_shift_held();

// "windows"/"main" from the frame's placement (ini_save_main_window_placement);
// nothing without a frame.
void ini_save_main_window_pos();

// /saveini's main-window step.
void frame_window_install();
void frame_window_uninstall();
