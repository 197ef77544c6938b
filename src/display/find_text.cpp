#include "display/find_text.h"

#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>

#include "display/child_layout.h"
#include "display/child_controls.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/text_buffer.h"
#include "model/line_buffer.h"
#include "display/wrap.h"
#include "platform/platform_utils.h"

std::string find_text;

namespace {

constexpr std::size_t kFindMax = 256;
constexpr int kHistoryKeys = 15;

QPointer<QDialog> g_dialog;

// The line the last search found (kept through a miss, which leaves the
// view where it was): its window and the serial that all the
// display lines of that printed line share (no pointer into the buffer,
// which rewrapping and trimming replace).
struct Found {
    QPointer<QWidget> window;
    int serial = 0;
} g_found;

void forget_found()
{
    QWidget* old = g_found.window.data();
    g_found = Found();
    if (WindowRecord* rec = old ? win_record_of(old) : nullptr)
        if (TextArea* area = rec->text_area.get())
            area->update();
}

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool line_matches(const StringNode* line, const std::string& needle)
{
    if (line->text.empty())
        return false;
    std::string t = line->text;
    text_strip_codes(t, 15);
    return lower(t).find(needle) != std::string::npos;
}

class FindDialog : public QDialog {
public:
    explicit FindDialog(QWidget* parent) : QDialog(parent)
    {
        setWindowTitle(QStringLiteral("Bul"));
        combo_ = new QComboBox(this);
        combo_->setEditable(true);
        combo_->lineEdit()->setMaxLength(static_cast<int>(kFindMax));
        combo_->setInsertPolicy(QComboBox::NoInsert);
        dlg_set_item_id(combo_, 130);
        auto* up = new QPushButton(QStringLiteral("&Yukarı"), this);
        auto* down = new QPushButton(QStringLiteral("&Aşağı"), this);
        auto* clear = new QPushButton(QStringLiteral("&Temizle"), this);
        auto* ok = new QPushButton(QStringLiteral("Tamam"), this);
        auto* cancel = new QPushButton(QStringLiteral("İptal"), this);
        dlg_set_item_id(up, 135);
        dlg_set_item_id(down, 133);
        dlg_set_item_id(clear, 137);
        dlg_set_item_id(ok, 1);
        dlg_set_item_id(cancel, 2);
        auto* buttons = new QHBoxLayout;
        for (QPushButton* b : {up, down, clear, ok, cancel})
            buttons->addWidget(b);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(combo_);
        layout->addLayout(buttons);
        connect(up, &QPushButton::clicked, this, [this] { search(kFindUp); });
        connect(down, &QPushButton::clicked, this, [this] { search(kFindDown); });
        connect(clear, &QPushButton::clicked, this, [this] {
            combo_->clear();
            combo_->setEditText(QString());
            find_text.clear();
            find_text_save_history({});
        });
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
        connect(this, &QDialog::finished, this, [this](int) { save(); });

        for (const std::string& h : find_text_load_history())
            combo_->addItem(QString::fromStdString(h));
        if (combo_->count() > 0) {
            find_text = combo_->itemText(0).toStdString();
            combo_->setCurrentIndex(0);
        }
        combo_->setFocus();
    }

    void search(int direction)
    {
        const QString text = combo_->currentText();
        if (text.isEmpty()) {
            beep_error(0);
            return;
        }
        find_text = text.toStdString().substr(0, kFindMax);
        const int at = combo_->findText(text, Qt::MatchFixedString);
        if (at >= 0)
            combo_->removeItem(at);
        combo_->insertItem(0, text);
        combo_->setCurrentIndex(0);
        if (!find_text_step(direction))
            beep_error(0);
    }

    void save()
    {
        std::vector<std::string> entries;
        for (int i = 0; i < combo_->count(); ++i)
            entries.push_back(combo_->itemText(i).toStdString());
        find_text_save_history(entries);
    }

private:
    QComboBox* combo_ = nullptr;
};

}  // namespace

int find_text_step(int direction, WindowRecord* rec)
{
    if (!rec)
        rec = win_record_of(win_active.get());
    if (!win_is_record(rec) || !rec->text_area.get() || !rec->lines || find_text.empty())
        return 0;
    const bool at_end = rec->scroll_pos == rec->scroll_end;
    const int width = wrap_area_width(rec);
    if (width > 0)
        win_rewrap_lines(rec, width);
    win_recalc_scroll(rec, at_end ? 1 : 0);
    if (rec->scroll_pos >= rec->line_count) {
        beep_error(0);
        return 0;
    }
    StringNode* start = line_from_end(rec, rec->line_count - 1 - rec->scroll_pos);
    if (!start)
        return 0;
    const std::string needle = lower(find_text);
    int index = rec->scroll_pos;
    StringNode* line = start;
    for (;;) {
        if (direction == kFindDown) {
            line = line->next;
            ++index;
        } else {
            if (line == rec->lines)
                return 0;
            line = line->prev;
            --index;
        }
        if (!line || index < 0)
            return 0;
        if (line_matches(line, needle)) {
            forget_found();
            g_found.window = rec->hwnd.get();
            g_found.serial = line->serial;
            rec->scroll_pos = index;
            win_update_vscroll(rec);
            if (TextArea* area = rec->text_area.get())
                area->update();
            return 1;
        }
    }
}

int find_text_found_span(WindowRecord* rec, const StringNode* line, int* from, int* to)
{
    if (!rec || !line || !g_found.window || rec->hwnd.get() != g_found.window.data() ||
        line->serial != g_found.serial || line->text.empty())
        return 0;
    *from = 0;
    *to = static_cast<int>(line->text.size());
    return 1;
}

std::vector<std::string> find_text_load_history()
{
    std::vector<std::string> out;
    for (int n = 0; n < kHistoryKeys; ++n) {
        std::string value;
        const std::string key = "n" + std::to_string(n);
        ini_read("findtext2", key.c_str(), "", value, 306, main_ini_path);
        if (value.empty())
            continue;
        bool seen = false;
        for (const std::string& e : out)
            seen = seen || e == value;
        if (!seen)
            out.push_back(value);
    }
    return out;
}

void find_text_save_history(const std::vector<std::string>& entries)
{
    int n = 0;
    std::vector<std::string> written;
    auto write = [&](std::string text) {
        text_strip_codes(text, 15);
        if (text.empty() || n >= kHistoryKeys)
            return;
        for (const std::string& w : written)
            if (text_equal_nocase(w, text))
                return;
        const std::string key = "n" + std::to_string(n++);
        ini_write("findtext2", key.c_str(), text.c_str(), main_ini_path);
        written.push_back(text);
    };
    write(find_text);
    for (const std::string& e : entries)
        write(e);
    ini_delete_numbered_from("findtext2", "n", n, main_ini_path);
}

void find_text_dialog_open(WindowRecord* rec)
{
    if (g_dialog || !win_is_record(rec) || !rec->lines)
        return;
    QWidget* parent = rec->hwnd.get() ? rec->hwnd.get()->window() : nullptr;
    auto* dialog = new FindDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(true);
    g_dialog = dialog;
    if (QWidget* over = rec->hwnd.get()) {
        const QPoint centre = over->mapToGlobal(over->rect().center());
        dialog->adjustSize();
        dialog->move(centre - QPoint(dialog->width() / 2, dialog->height() / 2));
    }
    dialog->show();
}

QDialog* find_text_dialog()
{
    return g_dialog.data();
}
