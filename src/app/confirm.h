// The questions asked before the program exits and before a status window
// closes.
#pragma once

#include "core/signal.h"

#include <cstdint>
#include <string>

class QWidget;
struct WindowRecord;

// The exit question; 1 to go on (nothing to ask, or "yes"), 0 to stay.
int frame_confirm_exit(QWidget* window);
// The close question of a status window; 1 to close, 0 to keep it.
int win_confirm_close_status(QWidget* status);
// The reasons the exit question would give (bits 1 .. 32), and the message
// built from them.
int frame_exit_reasons();
std::string frame_exit_message(int reasons);
int win_close_status_reasons(QWidget* status);
// Before a multi-line paste into the window's single-line editbox: the
// question when the text has as many lines as the paste option says; 1 to
// go on, 0 to cancel.
int paste_confirm_lines(WindowRecord* rec, const std::string& text);
// The lines of a pasted text as the paste question counts them.
int paste_count_lines(const std::string& text);
// The question's preview of the text.
std::string paste_preview(const std::string& text);
// Asks a yes/no question in the message dialog owned by `owner`; 1 for yes.
int confirm_ask(QWidget* owner, const std::string& caption, const std::string& text);
// Before a window's log file is deleted: the question (caption, text) owned
// by the main window while it is up; 1 to delete.
int log_confirm_delete(const std::string& caption, const std::string& text);
// Before a file goes to the trash with a question: "Onayı Sil" with the
// trash question and the file's path; 1 to move it.
int file_confirm_trash(const std::string& path);

// What the exit question asks the parts that know: a listener answers
// true when the thing it keeps is there (an open DCC chat, a DCC send
// connecting or sending, a song playing). Nothing listens: nothing is there.
enum ExitQuestion {
    kExitDccChatsOpen,
    kExitDccSendsRunning,
    kExitSongPlaying,
};
enum ExitQuestionOrder {
    kExitAnswerDcc = 10,    // DCC chats and sends
    kExitAnswerMedia = 20,  // the song that plays
};
extern Signal<bool(ExitQuestion question)> frame_exit_question;
