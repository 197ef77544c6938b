// What the protocol printed, read from the real print path: windows that
// keep their lines without a display (a listed record with a widget and a
// text area), and the lines the model stored, heard through its
// line_printed signal in the order they were stored.
#pragma once

#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

#include "app/child_widgets.h"
#include "model/connection.h"
#include "model/line_buffer.h"
#include "model/window_record.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"

struct PrintedLine {
    WindowRecord* rec;  // compare only: the window may be gone
    std::string window; // its name when the line was stored
    std::uint32_t colour;
    std::string text;  // without its timestamp
    bool separator;
};

// Records every line stored from its making until it goes.
class PrintedLines {
public:
    PrintedLines()
    {
        line_printed.add_once(listener_, 0, [this](const LinePrinted& l) {
            if (l.event == kPrintStored && l.first_part)
                lines.push_back({l.rec, l.rec ? l.rec->name : std::string(), l.colour, std::string(l.text),
                                 l.separator});
        });
    }
    ~PrintedLines() { line_printed.drop(listener_); }
    PrintedLines(const PrintedLines&) = delete;
    PrintedLines& operator=(const PrintedLines&) = delete;

    // The texts stored in a window (any window when null), separators left out.
    std::vector<std::string> in(const WindowRecord* rec = nullptr) const
    {
        std::vector<std::string> out;
        for (const PrintedLine& l : lines)
            if (!l.separator && (!rec || l.rec == rec))
                out.push_back(l.text);
        return out;
    }
    // The texts stored in a window with each separator as "-".
    std::vector<std::string> framed(const WindowRecord* rec) const
    {
        std::vector<std::string> out;
        for (const PrintedLine& l : lines)
            if (l.rec == rec)
                out.push_back(l.separator ? std::string("-") : l.text);
        return out;
    }
    // The texts stored in a window, each with 1 in `before` / `after` when a
    // separator was stored right before / after it in that window.
    struct Framed {
        std::string text;
        int before, after;
    };
    std::vector<Framed> framed_texts(const WindowRecord* rec) const
    {
        std::vector<Framed> out;
        bool separator_last = false;
        for (const PrintedLine& l : lines) {
            if (l.rec != rec) continue;
            if (l.separator) {
                if (!out.empty() && !separator_last) out.back().after = 1;
                separator_last = true;
                continue;
            }
            out.push_back({l.text, separator_last ? 1 : 0, 0});
            separator_last = false;
        }
        return out;
    }
    void clear() { lines.clear(); }

    std::vector<PrintedLine> lines;

private:
    int listener_ = 0;
};

// A listed window record of the connection with a widget and a text area, so
// that the print path stores its lines; a status window becomes the
// connection's status window. Freed with buffer_window_free.
inline WindowRecord* buffer_window_open(Connection* conn, const std::string& name, int type, int subtype = 0)
{
    test_app();
    WindowRecord* rec = win_record_new(1);
    rec->name = name;
    rec->type = type;
    rec->subtype = subtype;
    rec->conn = conn;
    auto* window = new QWidget();
    rec->hwnd = window;
    rec->text_area = new TextArea(window);
    if (type == kWinStatus && conn) conn->status_window = window;
    return rec;
}

inline void buffer_window_free(WindowRecord* rec)
{
    QWidget* window = rec->hwnd.get();
    win_record_free(rec);
    delete window;
}
