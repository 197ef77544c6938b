// Platform utilities: sounds, clipboard, counters, numbers, controls, help,
// opening files and the main window's title.
#include "platform/platform_utils.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QAbstractButton>
#include <QMessageBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScreen>
#include <QTextEdit>
#include <QUrl>
#include <QWidget>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "model/connection.h"
#include "model/window_record.h"
#include "core/encodings.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "platform/app_messages.h"
#include "platform/frame_timers.h"

Signal<void(QWidget*, int)> listbox_selection_set;

namespace {

void default_beep(int)
{
    if (qApp)
        QApplication::beep();
}

QString to_qstring(const std::string& text)
{
    if (utf8_detect(text) != 0)
        return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
    return QString::fromLatin1(text.data(), static_cast<int>(text.size()));
}

std::string to_utf8(const QString& text)
{
    QByteArray b = text.toUtf8();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

bool ends_with_nocase(const std::string& text, const char* tail)
{
    return text_ends_with_nocase(std::string_view(text), std::string_view(tail)) !=
           std::string_view::npos;
}

void default_message_dialog(const std::string& caption, const std::string& text)
{
    if (!qApp)
        return;
    auto* box = new QMessageBox(QMessageBox::Information, to_qstring(caption), to_qstring(text),
                                QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

int default_desktop_open(const std::string& target)
{
    if (!qApp || target.empty())
        return 0;
    QUrl url;
    if (target.find("://") != std::string::npos || target.rfind("mailto:", 0) == 0)
        url = QUrl(QString::fromUtf8(target.c_str()));
    else
        url = QUrl::fromLocalFile(QString::fromUtf8(target.c_str()));
    return QDesktopServices::openUrl(url) ? 1 : 0;
}

// Repeated-beep state of timer 121.
int beep_repeat_count = 0;

// Ctrl+Break state.
int break_down = 0;
std::uint64_t break_time = 0;

// Timer ids.
int timer_counter = 200;

int minimize_animation_on = 1;

}  // namespace

void (*beep_play_hook)(int kind) = default_beep;
Signal<int(int)> timer_ids_taken;
void (*message_dialog_hook)(const std::string&, const std::string&) = default_message_dialog;
int (*desktop_open_hook)(const std::string&) = default_desktop_open;
OsVersion os_version;

// ---- Sounds ----

int beep_error(int level)
{
    if (level != 0 && level != 1)
        return level;
    if (level == 0 && !opt(OPT_SOUNDS_ENABLED))
        return level;
    int error_sound = opt(OPT_BEEP_BUILTIN_SOUNDS);
    int speaker = opt(OPT_BEEP_SPEAKER);
    if (!error_sound)
        beep_play_hook(speaker ? 1 : 0);
    else
        beep_play_hook(speaker ? 1 : 60);
    return level;
}

void beep_link_click()
{
    if (opt(OPT_SOUNDS_ENABLED) && opt(OPT_BEEP_REDIRECT_CLICKS))
        beep_play_hook(62);
}

void beep_repeat_timer(int step)
{
    if (step == 0 || step == 1) {
        if (step == 0 && !opt(OPT_SOUNDS_ENABLED))
            return;
        if (frame_timer_is_running(121))
            return;
        beep_repeat_count = opt(OPT_BEEP_COUNT);
        int interval = opt(OPT_BEEP_DELAY);
        if (beep_repeat_count <= 0 || interval < 0)
            return;
        frame_set_timer_handler(FRAME_TIMER_BEEP, [](int) { beep_repeat_timer(2); });
        frame_timer_start(FRAME_TIMER_BEEP, interval);
        return;
    }
    if (step == 2 && beep_repeat_count > 0) {
        beep_error(1);
        --beep_repeat_count;
        if (beep_repeat_count > 0)
            return;
    }
    frame_timer_stop(121);
    beep_repeat_count = 0;
}

// ---- Clipboard ----

std::optional<std::string> clip_get_text(int kind)
{
    if (!qApp || (kind != 1 && kind != 2))
        return std::nullopt;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return std::nullopt;
    QString text = clipboard->text();
    if (text.isNull())
        return std::nullopt;
    return to_utf8(text);
}

int clip_set_text(WindowRecord*, const std::string& text, int mode)
{
    if (!qApp)
        return 0;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return 0;
    if (text.empty())
        return 1;
    QString value = to_qstring(text);
    if (mode == 1)
        value = clipboard->text() + value;
    clipboard->setText(value);
    return 1;
}

int clip_save_playqueue(std::string& file)
{
    std::optional<std::string> text = clip_get_text(1);
    if (!text)
        return 0;
    std::string path = file;
    if (path.empty()) {
        for (int n = 1; n < 100000; ++n) {
            std::string candidate = settings_dir + "playq" + std::to_string(n) + ".txt";
            struct stat st;
            if (stat(candidate.c_str(), &st) != 0) {
                path = candidate;
                break;
            }
        }
        if (path.empty())
            return 0;
    } else {
        file_abs_settings_dir(path);
    }
    if (file_is_device(path))
        return 0;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return 0;
    std::size_t start = 0;
    const std::string& t = *text;
    while (start <= t.size()) {
        std::size_t end = t.find('\n', start);
        std::string line = t.substr(start, end == std::string::npos ? std::string::npos : end - start);
        text_remove_char(line, '\r');
        if (line.size() > kLongText)
            line.resize(kLongText);
        if (!(end == std::string::npos && line.empty()))
            out << line << "\r\n";
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    file = path;
    return out.good() ? 1 : 0;
}

// ---- System ----

void os_detect_version(std::string* out)
{
    os_version = OsVersion{};
    if (out)
        *out = "Vista";
}

std::uint64_t time_ticks_ms()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
           static_cast<std::uint64_t>(ts.tv_nsec / 1000000);
}

void ip_long_to_text(double number, std::string& out, int order)
{
    const double two32 = 4294967296.0;
    std::uint32_t value = 0;
    if (std::isfinite(number)) {
        for (int i = 0; i < 100 && number >= two32; ++i)
            number -= two32;
        // What the subtraction could not bring into range (a huge or negative
        // number) is wrapped, never converted out of range.
        if (number >= two32 || number < 0)
            number = std::fmod(std::fmod(std::trunc(number), two32) + two32, two32);
        value = static_cast<std::uint32_t>(number);
    }
    unsigned b[4] = {(value >> 24) & 255u, (value >> 16) & 255u, (value >> 8) & 255u, value & 255u};
    char buf[32];
    if (order)
        std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", b[3], b[2], b[1], b[0]);
    else
        std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    out = buf;
}

int key_break_pressed()
{
    if (key_break_signalled())
        return 1;
    if (!break_down && !key_break_keyboard_down())
        return 0;
    if (break_time != 0) {
        std::uint64_t now = time_ticks_ms();
        bool recent = now - break_time < 250;
        break_time = 0;
        if (recent)
            return 0;
    }
    return 1;
}

void key_break_set_down(int down)
{
    break_down = down ? 1 : 0;
}

void key_break_record_time()
{
    break_time = time_ticks_ms();
    if (break_time == 0)
        break_time = 1;
}

// ---- Numbers ----

int timer_alloc_id()
{
    if (timer_counter < 200)
        timer_counter = 200;
    int start = timer_counter;
    while (conn_by_connect_timer(timer_counter) || timer_ids_taken.any(timer_counter)) {
        timer_counter = timer_counter == INT32_MAX ? 200 : timer_counter + 1;
        if (timer_counter == start)
            break;
    }
    return timer_counter;
}

void timer_alloc_id_reset()
{
    timer_counter = 200;
}

// ---- Windows and controls ----

QWidget* dlg_item(QWidget* dialog, int control_id)
{
    if (!dialog)
        return nullptr;
    const QList<QWidget*> children = dialog->findChildren<QWidget*>();
    for (QWidget* child : children) {
        QVariant v = child->property("controlId");
        if (v.isValid() && v.toInt() == control_id)
            return child;
    }
    return nullptr;
}

QWidget* win_get_control(QWidget* hwnd, int control_id)
{
    if (!hwnd)
        return nullptr;
    if (WindowRecord* rec = win_record_of(hwnd)) {
        switch (control_id) {
        case kCtlTextArea:
            return qobject_cast<QWidget*>(rec->text_area.object());
        case kCtlScrollBar:
            return qobject_cast<QWidget*>(rec->scroll_bar.object());
        case kCtlListBox:
            return qobject_cast<QWidget*>(rec->listbox.object());
        case kCtlEditBox:
            return qobject_cast<QWidget*>(rec->editbox.object());
        case kCtlEditBox2:
            return qobject_cast<QWidget*>(rec->editbox2.object());
        default:
            break;
        }
    }
    return dlg_item(hwnd, control_id);
}

void dlg_set_item_id(QWidget* control, int control_id)
{
    if (control)
        control->setProperty("controlId", control_id);
}

void win_set_text_if_changed(QWidget* hwnd, const std::string& text)
{
    if (!hwnd)
        return;
    std::string cut = text.size() > kLongText ? text.substr(0, kLongText) : text;
    // A child window shows its title on the MDI sub-window that holds it.
    QWidget* frame = hwnd;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(hwnd->parentWidget()))
        frame = sub;
    std::string current = to_utf8(frame->windowTitle());
    if (current.size() > kLongText)
        current.resize(kLongText);
    QString value = to_qstring(cut);
    if (to_utf8(value) != current) {
        frame->setWindowTitle(value);
        if (frame != hwnd)
            hwnd->setWindowTitle(value);
    }
}

namespace {

QListWidget* list_control(QWidget* dialog, int control_id)
{
    return qobject_cast<QListWidget*>(win_get_control(dialog, control_id));
}

}  // namespace

int listbox_select_item(QWidget* dialog, int control_id, int index, int select, int clear_first)
{
    QListWidget* list = list_control(dialog, control_id);
    if (!list || index < 0 || index >= list->count())
        return -1;
    QAbstractItemView::SelectionMode mode = list->selectionMode();
    bool multi = mode == QAbstractItemView::MultiSelection ||
                 mode == QAbstractItemView::ExtendedSelection;
    if (clear_first)
        list->clearSelection();
    if (multi) {
        list->item(index)->setSelected(select != 0);
        list->setCurrentRow(index, QItemSelectionModel::NoUpdate);
    } else {
        if (select)
            list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
        else
            list->item(index)->setSelected(false);
    }
    listbox_selection_set.fire(dialog, control_id);
    return index;
}

int listbox_get_caret(QWidget* window, int control_id)
{
    QListWidget* list = list_control(window, control_id);
    if (!list)
        return -1;
    QAbstractItemView::SelectionMode mode = list->selectionMode();
    if (mode == QAbstractItemView::MultiSelection || mode == QAbstractItemView::ExtendedSelection)
        return list->currentRow();
    int row = list->currentRow();
    if (row >= 0 && list->item(row)->isSelected())
        return row;
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

int listbox_find_text(QWidget* dialog, int control_id, const std::string& text,
                      const std::string& cut_chars)
{
    QListWidget* list = list_control(dialog, control_id);
    if (!list)
        return -1;
    for (int i = 0; i < list->count(); ++i) {
        std::string item = to_utf8(list->item(i)->text());
        if (!cut_chars.empty()) {
            std::size_t cut = item.find_first_of(cut_chars);
            if (cut != std::string::npos)
                item.resize(cut);
        }
        if (text_equal_nocase(item, text))
            return i;
    }
    return -1;
}

void dlg_get_item_text(QWidget* dialog, int control_id, std::string& out)
{
    out.clear();
    QWidget* control = win_get_control(dialog, control_id);
    if (!control)
        return;
    QString text;
    if (auto* e = qobject_cast<QLineEdit*>(control))
        text = e->text();
    else if (auto* p = qobject_cast<QPlainTextEdit*>(control))
        text = p->toPlainText();
    else if (auto* t = qobject_cast<QTextEdit*>(control))
        text = t->toPlainText();
    else if (auto* c = qobject_cast<QComboBox*>(control))
        text = c->currentText();
    else if (auto* l = qobject_cast<QLabel*>(control))
        text = l->text();
    else if (auto* b = qobject_cast<QAbstractButton*>(control))
        text = b->text();
    else if (QLineEdit* first = control->findChild<QLineEdit*>())
        text = first->text();
    else
        text = control->windowTitle();
    out = to_utf8(text);
    if (out.size() > kMediumText)
        out.resize(kMediumText);
}

void dlg_set_path_label(QWidget* dialog, int control_id, const std::string& path)
{
    auto* label = qobject_cast<QLabel*>(win_get_control(dialog, control_id));
    if (!label)
        return;
    QString full = to_qstring(path);
    label->setProperty("fullPath", full);
    QFontMetrics fm(label->font());
    int width = label->width() - 30;
    QString shown;
    bool fits = false;
    for (int i = 0; i < 4 && !fits; ++i) {
        int w = width - 5 * i;
        shown = fm.elidedText(full, Qt::ElideMiddle, w > 0 ? w : 0);
        fits = fm.horizontalAdvance(shown) <= label->width();
    }
    if (!fits)
        shown = fm.elidedText(full, Qt::ElideRight, width > 0 ? width : 0);
    label->setText(shown);
}

int img_icon_size(int size_flags)
{
    if (size_flags & 8)
        return 48;
    if (size_flags & 4) {
        QStyle* style = qApp ? QApplication::style() : nullptr;
        return style ? style->pixelMetric(QStyle::PM_LargeIconSize) : 32;
    }
    if ((size_flags & 1) && !(size_flags & 2))
        return 16;
    return 32;
}

QIcon img_load_icon(const std::string& file, int index, int size_flags)
{
    int size = img_icon_size(size_flags);
    QString path;
    if (file.empty()) {
        path = QString(":/icons/%1.png").arg(index);
    } else {
        std::string p = file;
        file_abs_settings_dir(p);
        if (file_is_device(p))
            return QIcon();
        path = QString::fromUtf8(p.c_str());
    }
    QPixmap pixmap(path);
    if (pixmap.isNull())
        return QIcon();
    return QIcon(pixmap.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

// ---- Help, files and programs ----

std::string help_file_path(const std::string& file)
{
    std::string path = file;
    if (!path.empty()) {
        file_abs_settings_dir(path);
        return path;
    }
    path = settings_dir + "kest.chm";
    struct stat st;
    if (stat(path.c_str(), &st) == 0)
        return path;
    std::string dir = file_program_path();
    std::size_t slash = dir.rfind('/');
    if (slash == std::string::npos)
        return path;
    dir.resize(slash + 1);
    // Where no help file of that name was put, the program's own help
    // document beside it stands in.
    if (stat((dir + "kest.chm").c_str(), &st) != 0 && stat((dir + "kest.html").c_str(), &st) == 0)
        return dir + "kest.html";
    return dir + "kest.chm";
}

namespace {

// A help document in HTML opens at the topic of a keyword: the anchor of
// that name (the keyword lower-cased, a leading "/" or "$" kept out).
std::string help_topic_url(const std::string& path, const std::string& keyword)
{
    std::string topic = keyword.substr(0, keyword.find(' '));
    while (!topic.empty() && (topic[0] == '/' || topic[0] == '$'))
        topic.erase(0, 1);
    text_lower(topic);
    QUrl url = QUrl::fromLocalFile(QString::fromUtf8(path.c_str()));
    if (!topic.empty())
        url.setFragment(QString::fromUtf8(topic.c_str()));
    return url.toString(QUrl::FullyEncoded).toStdString();
}

}  // namespace

int help_open(const std::string& file, const std::string& keyword, int context)
{
    std::string path = help_file_path(file);
    struct stat st;
    bool exists = stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    if (!exists) {
        if (ends_with_nocase(path, ".chm")) {
            std::string caption = text_load_string(613);
            std::string text = text_load_string(614);
            message_dialog_hook(caption, text);
        }
        return 0;
    }
    if (context <= 0 && !keyword.empty() && (ends_with_nocase(path, ".html") || ends_with_nocase(path, ".htm")))
        return desktop_open_hook(help_topic_url(path, keyword));
    return desktop_open_hook(path);
}

std::string frame_title()
{
    std::string title = "Kest";
    std::string extra = main_settings.app_title;
    text_strip_codes(extra, 15);
    if (!extra.empty())
        title += " " + extra;
    return title;
}

int shell_show_file(const std::string& path_in, int flags)
{
    if (path_in.empty())
        return 0;
    std::string path = path_in;
    file_fix_slashes(path);
    struct stat st;
    bool exists = stat(path.c_str(), &st) == 0;
    std::string folder = path;
    if (!(exists && S_ISDIR(st.st_mode))) {
        std::size_t slash = folder.rfind('/');
        folder = slash == std::string::npos ? settings_dir : folder.substr(0, slash + 1);
    }
    if ((flags & 8) && desktop_open_hook(folder))
        return 1;
    if ((flags & 4) && exists && desktop_open_hook(folder))
        return 1;
    if ((flags & 2) && exists && desktop_open_hook(path))
        return 1;
    if ((flags & 1) && exists && desktop_open_hook(path))
        return 1;
    return 0;
}

int shell_run(const std::string& file, const std::string& parameters, int)
{
    if (file.empty() || !qApp)
        return 0;
    std::string path = file;
    file_fix_slashes(path);
    QFileInfo info(QString::fromUtf8(path.c_str()));
    QString dir = QString::fromUtf8(settings_dir.c_str());
    if (info.exists() && !info.isExecutable())
        return desktop_open_hook(path);
    QStringList args = QProcess::splitCommand(QString::fromUtf8(parameters.c_str()));
    return QProcess::startDetached(QString::fromUtf8(path.c_str()), args, dir) ? 1 : 0;
}

int sys_is_admin()
{
    return geteuid() == 0 ? 1 : 0;
}

int desktop_taskbar_edge(int flags, QWidget* frame)
{
    if (!qApp)
        return -1;
    QScreen* screen = nullptr;
    if (flags & 1)
        screen = QGuiApplication::screenAt(QCursor::pos());
    else if (flags & 2) {
        screen = frame ? frame->screen() : nullptr;
    } else {
        return -1;
    }
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return -1;
    QRect full = screen->geometry();
    QRect work = screen->availableGeometry();
    if (work.left() > full.left())
        return 0;
    if (work.top() > full.top())
        return 1;
    if (work.right() < full.right())
        return 2;
    if (work.bottom() < full.bottom())
        return 3;
    return -1;
}

int win_fullscreen_active(QWidget* frame)
{
    if (!qApp)
        return 0;
    QScreen* screen = frame ? frame->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return 0;
    QRect area = screen->geometry();
    int walked = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (++walked > 1000)
            break;
        if (!w->isVisible() || w->isMinimized())
            continue;
        bool topmost = w->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        bool foreground = w == QApplication::activeWindow();
        if (!topmost && !foreground)
            continue;
        if (!w->frameGeometry().contains(area))
            continue;
        return topmost ? 2 : 1;
    }
    return 0;
}

int sys_minimize_animation(int mode)
{
    if (mode == 0) {
        int was_off = !minimize_animation_on;
        minimize_animation_on = 0;
        return was_off ? 2 : 1;
    }
    if (mode == 1) {
        minimize_animation_on = 1;
        return 1;
    }
    return 2;
}

QPoint sys_pointer_pos()
{
    return QCursor::pos();
}

int sys_wheel_scroll_lines()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) ? QApplication::wheelScrollLines() : 3;
}
