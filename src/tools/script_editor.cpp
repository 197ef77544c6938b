// The script editor window.
#include "tools/script_editor.h"

#include "app/frame_menu.h"
#include "app/frame_proc.h"
#include "app/startup.h"
#include "bars/tips.h"
#include "core/ini.h"
#include "platform/platform_utils.h"
#include "script/exec/script_errors.h"
#include "script/stores/variables.h"
#include "tools/script_editor_find.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTextBlock>
#include <QVBoxLayout>
#include <QHBoxLayout>
#include <QWheelEvent>

#include <cstdio>
#include <map>

namespace {

extern const char* const kViewCaptions[kEditorViews];

// The edit control: Enter keeps the indent, Home goes to the text first,
// Ctrl with the wheel does nothing.
class EditorEdit : public QPlainTextEdit {
public:
    explicit EditorEdit(QWidget* parent) : QPlainTextEdit(parent) { setObjectName("EditorEdit"); }

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        const auto mods = e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
        QTextCursor c = textCursor();
        const std::string line = c.block().text().toStdString();
        const int column = c.positionInBlock();
        if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && mods == 0 && !isReadOnly()) {
            c.insertText("\n" + QString::fromStdString(editor_enter_indent(line, column)));
            setTextCursor(c);
            return;
        }
        if (e->key() == Qt::Key_Home && mods == 0) {
            c.setPosition(c.block().position() + editor_home_column(line, column));
            setTextCursor(c);
            return;
        }
        QPlainTextEdit::keyPressEvent(e);
    }
    void wheelEvent(QWheelEvent* e) override
    {
        if (e->modifiers() & Qt::ControlModifier) {
            e->accept();
            return;
        }
        QPlainTextEdit::wheelEvent(e);
    }
};

struct Place {
    int top = 0;
    int caret = 0;
};

struct Editor {
    QPointer<QDialog> window;
    QPointer<EditorEdit> edit;
    QPointer<QTabBar> tabs;
    QPointer<QLabel> path_label;
    QPointer<QLabel> caret_label;
    QPointer<QMenu> files_menu;
    int view = 0;
    EditorFile shown;
    int switching = 0;  // a view switch is under way
    std::map<const void*, Place> places;  // per file record, while the editor is open
};
Editor g_editor;

QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}

void refresh_status()
{
    if (g_editor.path_label)
        g_editor.path_label->setText(qs(editor_status_path()));
    if (g_editor.caret_label)
        g_editor.caret_label->setText(qs(editor_status_caret()));
}

void set_caption()
{
    if (!g_editor.window)
        return;
    std::string title = "Betik Düzenleyici - ";
    const std::string name = editor_file_title(g_editor.shown);
    title += name.empty() ? script_text(4917) : name;
    g_editor.window->setWindowTitle(qs(title));
}

void fill_files_menu();

// Loads the shown file's text into the edit control.
void load_shown()
{
    EditorEdit* edit = g_editor.edit;
    if (!edit)
        return;
    const EditorText t = editor_text_of_lines(editor_file_lines(g_editor.shown));
    edit->setUpdatesEnabled(false);
    edit->setPlainText(qs(t.text));
    // A part of a file must never be saved in place of the whole: read-only.
    edit->setReadOnly(t.partial() || !editor_file_is_live(g_editor.shown));
    const auto it = g_editor.places.find(g_editor.shown.record);
    if (it != g_editor.places.end()) {
        QTextCursor c = edit->textCursor();
        c.setPosition(std::min(it->second.caret, edit->document()->characterCount() - 1));
        edit->setTextCursor(c);
        edit->verticalScrollBar()->setValue(it->second.top);
    }
    edit->setUpdatesEnabled(true);
    edit->document()->setModified(false);
    edit->document()->clearUndoRedoStacks();
    set_caption();
    refresh_status();
    fill_files_menu();
    if (t.partial() && message_dialog_hook)
        message_dialog_hook(script_text(4911), script_text(4907, editor_file_title(g_editor.shown)));
}

void keep_place()
{
    if (!g_editor.edit || !g_editor.shown.record)
        return;
    g_editor.places[g_editor.shown.record] = {g_editor.edit->verticalScrollBar()->value(),
                                              g_editor.edit->textCursor().position()};
}

void show_view(int view)
{
    if (g_editor.switching)
        return;
    g_editor.switching = 1;
    editor_store_shown();
    g_editor.view = view;
    if (g_editor.tabs && g_editor.tabs->currentIndex() != view)
        g_editor.tabs->setCurrentIndex(view);
    g_editor.shown = editor_view_current(view);
    load_shown();
    g_editor.switching = 0;
}

void fill_files_menu()
{
    QMenu* menu = g_editor.files_menu;
    if (!menu)
        return;
    menu->clear();
    const std::vector<EditorFile> files = editor_view_files(g_editor.view);
    int n = 0;
    for (const EditorFile& f : files) {
        if (n >= 25)
            break;
        std::string title = editor_file_title(f);
        if (title.empty())
            title = script_text(4917);
        const std::string caption = n < 9 ? "&" + std::to_string(n + 1) + " " + title : title;
        QAction* a = menu->addAction(qs(caption));
        a->setCheckable(true);
        a->setChecked(f == g_editor.shown);
        a->setData(500 + n);
        QObject::connect(a, &QAction::triggered, menu, [f] {
            if (g_editor.view == kEditorPopups || editor_file_is_live(f))
                editor_show_file(f);
        });
        ++n;
    }
    if (n == 0)
        menu->addAction(qs(script_text(4926)))->setEnabled(false);
}

QAction* add(QMenu* menu, const QString& text, const QKeySequence& key, const std::function<void()>& fn)
{
    QAction* a = menu->addAction(text);
    if (!key.isEmpty())
        a->setShortcut(key);
    QObject::connect(a, &QAction::triggered, menu, fn);
    return a;
}

void build_menus(QMenuBar* bar)
{
    QMenu* file = bar->addMenu("&Dosya");
    add(file, "&Kaydet", QKeySequence::Save, [] {
        editor_store_shown();
        editor_save_file(g_editor.shown);
    });
    add(file, "&Tümünü Kaydet", {}, [] {
        editor_store_shown();
        editor_save_all();
    });
    file->addSeparator();
    add(file, "&Tamam", {}, editor_ok);
    add(file, "İ&ptal", {}, editor_cancel);

    QMenu* edit = bar->addMenu("Dü&zen");
    add(edit, "&Geri Al", QKeySequence::Undo, [] { g_editor.edit->undo(); });
    add(edit, "&Yinele", QKeySequence::Redo, [] { g_editor.edit->redo(); });
    edit->addSeparator();
    add(edit, "&Kes", {}, [] { g_editor.edit->cut(); });
    add(edit, "K&opyala", {}, [] { g_editor.edit->copy(); });
    add(edit, "Ya&pıştır", {}, [] { g_editor.edit->paste(); });
    add(edit, "&Sil", {}, [] { g_editor.edit->textCursor().removeSelectedText(); });
    add(edit, "&Tümünü Seç", {}, [] { g_editor.edit->selectAll(); });
    edit->addSeparator();
    add(edit, "&Bul...", QKeySequence::Find, [] { editor_find_open(); });
    add(edit, "Sonrakini B&ul", QKeySequence(Qt::Key_F3), [] { editor_find_next(); });

    QMenu* view = bar->addMenu("&Görünüm");
    for (int v = 0; v < kEditorViews; ++v)
        add(view, kViewCaptions[v], QKeySequence(Qt::ALT | static_cast<Qt::Key>(Qt::Key_1 + v)),
            [v] { show_view(v); });

    g_editor.files_menu = bar->addMenu("D&osyalar");
}

void close_window()
{
    keep_place();
    if (g_editor.window) {
        QDialog* w = g_editor.window;
        g_editor.window = nullptr;
        w->hide();
        w->deleteLater();
    }
    g_editor.places.clear();
    g_editor.shown = {};
}

// The close box acts as Cancel.
class EditorWindow : public QDialog {
public:
    explicit EditorWindow(QWidget* parent) : QDialog(parent) {}

protected:
    void reject() override { editor_cancel(); }
};

QDialog* create_window()
{
    auto* w = new EditorWindow(nullptr);
    w->setObjectName("ScriptEditor");
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    w->setMinimumSize(400, 250);
    auto* layout = new QVBoxLayout(w);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* bar = new QMenuBar(w);
    layout->setMenuBar(bar);
    auto* tabs = new QTabBar(w);
    for (int v = 0; v < kEditorViews; ++v)
        tabs->addTab(kViewCaptions[v]);
    layout->addWidget(tabs);
    auto* edit = new EditorEdit(w);
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont font("Courier New", 12);
    font.setStyleHint(QFont::Monospace);
    edit->setFont(font);
    layout->addWidget(edit, 1);
    auto* status = new QHBoxLayout;
    auto* path = new QLabel(w);
    path->setObjectName("EditorPath");
    auto* caret = new QLabel(w);
    caret->setObjectName("EditorCaret");
    status->addWidget(path, 1);
    status->addWidget(caret);
    auto* ok = new QPushButton("Tamam", w);
    ok->setObjectName("EditorOk");
    auto* cancel = new QPushButton("İptal", w);
    cancel->setObjectName("EditorCancel");
    status->addWidget(ok);
    status->addWidget(cancel);
    layout->addLayout(status);
    g_editor.window = w;
    g_editor.edit = edit;
    g_editor.tabs = tabs;
    g_editor.path_label = path;
    g_editor.caret_label = caret;
    build_menus(bar);
    QObject::connect(tabs, &QTabBar::currentChanged, w, [](int v) {
        if (v >= 0 && v != g_editor.view)
            show_view(v);
    });
    QObject::connect(edit, &QPlainTextEdit::cursorPositionChanged, w, refresh_status);
    QObject::connect(edit, &QPlainTextEdit::textChanged, w, refresh_status);
    QObject::connect(ok, &QPushButton::clicked, w, editor_ok);
    QObject::connect(cancel, &QPushButton::clicked, w, editor_cancel);
    w->resize(640, 480);
    return w;
}

int menu_editor(int id, intptr_t)
{
    const int view = id == 202 ? kEditorPopups : id == 203 ? kEditorScripts : kEditorAliases;
    editor_open(view);
    return 1;
}

int hook_editor_open()
{
    return g_editor.window ? 1 : 0;
}

int hook_is_tip_or_editor(QWidget* top)
{
    return top && (top == g_editor.window.data() || tip_is_tip_window(top)) ? 1 : 0;
}

int hook_shows_variables()
{
    return g_editor.window && g_editor.view == kEditorVariables ? 1 : 0;
}

}  // namespace

QWidget* editor_open(int view)
{
    if (view < 0 || view >= kEditorViews)
        view = 0;
    if (!g_editor.window) {
        create_window();
        g_editor.view = -1;
        show_view(view);
        g_editor.window->show();
    } else {
        show_view(view);
        if (g_editor.window->isMinimized())
            g_editor.window->showNormal();
        g_editor.window->show();
    }
    g_editor.window->raise();
    g_editor.window->activateWindow();
    g_editor.edit->setFocus();
    return g_editor.window;
}

QWidget* editor_window()
{
    return g_editor.window;
}

int editor_has_focus()
{
    QWidget* w = g_editor.window;
    if (!w)
        return 0;
    QWidget* focus = QApplication::focusWidget();
    return (focus && (focus == w || w->isAncestorOf(focus))) || QApplication::activeWindow() == w ? 1 : 0;
}

int editor_view()
{
    return g_editor.window ? g_editor.view : -1;
}

EditorFile editor_shown_file()
{
    return g_editor.shown;
}

QPlainTextEdit* editor_edit()
{
    return g_editor.edit;
}

QTabBar* editor_tabs()
{
    return g_editor.tabs;
}

void editor_store_shown()
{
    keep_place();
    EditorEdit* edit = g_editor.edit;
    if (!edit || !edit->document()->isModified() || edit->isReadOnly())
        return;
    edit->document()->setModified(false);
    if (!editor_file_is_live(g_editor.shown))
        return;
    const std::string text = edit->toPlainText().toStdString();
    editor_store_lines(g_editor.shown, editor_lines_of_text(text, g_editor.shown.view == kEditorPopups));
}

void editor_show_file(const EditorFile& file)
{
    if (!g_editor.window)
        return;
    editor_store_shown();
    if (file.view != g_editor.view)
        return;
    if (file.record)
        editor_set_current(file);
    g_editor.shown = file;
    load_shown();
}

void editor_ok()
{
    if (!g_editor.window)
        return;
    editor_store_shown();
    editor_save_all();
    editor_find_forget();
    close_window();
}

void editor_cancel()
{
    if (!g_editor.window)
        return;
    keep_place();
    editor_reload_changed();
    editor_find_forget();
    close_window();
}

std::string editor_status_path()
{
    const std::string path = editor_file_path(g_editor.shown);
    return path.empty() ? script_text(4925) : script_text(4924, path);
}

std::string editor_status_caret()
{
    EditorEdit* edit = g_editor.edit;
    if (!edit)
        return {};
    const QTextCursor c = edit->textCursor();
    const int length = edit->document()->characterCount() - 1;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%d:%d/%d (%0.1fk)", c.positionInBlock() + 1, c.blockNumber() + 1,
                  edit->document()->blockCount(), length / 1024.0);
    return buf;
}

int editor_home_column(const std::string& line, int column)
{
    const std::size_t first = line.find_first_not_of(' ');
    const int text_at = first == std::string::npos ? static_cast<int>(line.size()) : static_cast<int>(first);
    if (column == 0 || column > text_at)
        return text_at;
    return 0;
}

std::string editor_enter_indent(const std::string& line, int column)
{
    const std::size_t first = line.find_first_not_of(' ');
    const std::size_t spaces = first == std::string::npos ? line.size() : first;
    return column >= static_cast<int>(spaces) ? std::string(spaces, ' ') : std::string();
}

void script_editor_install()
{
    for (int id : {200, 201, 202, 203})
        frame_menu_command_register(id, menu_editor);
    editor_find_install();
}

void script_editor_uninstall()
{
    for (int id : {200, 201, 202, 203})
        frame_menu_command_register(id, nullptr);
    editor_find_uninstall();
    close_window();
}

// The hooks other parts ask through (assigned by the composition).
int script_editor_is_open() { return hook_editor_open(); }
void script_editor_ask_close() { editor_cancel(); }
void script_editor_close_ok() { editor_ok(); }
int script_editor_is_tip_or_editor(QWidget* top) { return hook_is_tip_or_editor(top); }
int script_editor_shows_variables() { return hook_shows_variables(); }

namespace {

// The views' captions.
const char* const kViewCaptions[kEditorViews] = {"Takma Adlar", "Açılır Menüler", "Betikler", "Kullanıcılar",
                                                 "Değişkenler"};

}  // namespace
