#include "app/file_dialogs.h"

#include <algorithm>
#include <cstdlib>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>

#include "core/files.h"
#include "core/numbered_texts.h"
#include "platform/platform_utils.h"

namespace {

constexpr std::size_t kListUsable = 4150;
constexpr std::size_t kPathUsable = 1024;

FileDialogState g_state;

QString qs(const std::string& s)
{
    return QString::fromUtf8(s.c_str());
}

std::string bytes(const QString& s)
{
    return s.toUtf8().toStdString();
}

std::string cut(std::string s, std::size_t usable)
{
    if (s.size() > usable)
        s.resize(usable);
    return s;
}

std::string program_folder()
{
    std::string dir;
    file_abs_exe_dir(dir);
    file_add_trailing_slash(dir);
    return dir;
}

bool has_wildcard(const QString& s)
{
    return s.contains(QLatin1Char('*')) || s.contains(QLatin1Char('?'));
}

// The filter pairs of the string table's filter text, whose last character
// separates them: {description, patterns}.
std::vector<std::pair<QString, QString>> filter_pairs()
{
    const QString text = QString::fromUtf8(text_load_string(5104)).left(255);
    std::vector<std::pair<QString, QString>> pairs;
    if (text.isEmpty())
        return pairs;
    const QStringList parts = text.split(text.back());
    for (int i = 0; i + 1 < parts.size(); i += 2)
        if (!parts[i].isEmpty() && !parts[i + 1].isEmpty())
            pairs.emplace_back(parts[i], parts[i + 1]);
    return pairs;
}

QString qt_filter(const std::pair<QString, QString>& pair)
{
    QString patterns = pair.second;
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    return pair.first + QStringLiteral(" (") + patterns + QLatin1Char(')');
}

// Where a dialog opens: the folder, the preselected name (or pattern) and
// the filter to show, from the remembered folder.
struct StartPoint {
    QString folder;
    QString name;
    int filter = 1;  // counted from 1
};

StartPoint start_point(const std::string& remembered)
{
    StartPoint s;
    if (remembered.empty()) {
        s.folder = qs(program_folder());
        s.filter = 2;
        return s;
    }
    const QString text = qs(remembered);
    const int slash = text.lastIndexOf(QLatin1Char('/'));
    s.folder = slash >= 0 ? text.left(slash + 1) : QString();
    s.name = slash >= 0 ? text.mid(slash + 1) : text;
    if (s.name == QLatin1String(".") || s.name == QLatin1String(".."))
        s.name.clear();
    s.filter = s.name == QLatin1String("*.*") ? 2 : 1;
    const int dot = s.name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0 && s.name.size() - dot - 1 > 2) {
        const QString ext = s.name.mid(dot + 1);
        const auto pairs = filter_pairs();
        for (std::size_t i = 0; i < pairs.size(); ++i)
            if (pairs[i].second.contains(ext, Qt::CaseInsensitive)) {
                s.filter = static_cast<int>(i) + 1;
                break;
            }
    }
    if (s.folder.isEmpty() || !QFileInfo(s.folder).isDir())
        s.folder = qs(program_folder());
    if (s.folder.size() > 1 && s.folder.endsWith(QLatin1Char('/')))
        s.folder.chop(1);
    return s;
}

// The dialog itself: the names typed or picked are read the way the
// shared state wants them, and a file that must exist is checked here.
class ChooserDialog : public QFileDialog {
public:
    ChooserDialog(QWidget* parent, const QString& title, int base, bool may_miss, bool multi)
        : QFileDialog(parent, title), base_(base), may_miss_(may_miss), multi_(multi)
    {
    }

    std::string list;
    bool too_many = false;

    void accept() override
    {
        if (base_ == 0) {
            QFileDialog::accept();
            return;
        }
        auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const std::string field = edit ? bytes(edit->text()) : std::string();
        const QString folder = directory().absolutePath();
        std::vector<std::string> names = filedlg_split_names(field);
        // A folder typed alone is opened, not chosen; an empty name or a
        // pattern leaves the dialog as it is.
        if (names.size() == 1) {
            const QString one = qs(names[0]);
            if (has_wildcard(one)) {
                QFileDialog::accept();
                return;
            }
            const QFileInfo info(QDir(folder), one);
            if (info.isDir()) {
                QFileDialog::accept();
                return;
            }
        }
        if (names.empty()) {
            for (const QString& f : selectedFiles())
                if (!QFileInfo(f).isDir())
                    names.push_back(bytes(f));
            if (names.empty())
                return;
        }
        std::vector<std::string> paths;
        for (const std::string& n : names) {
            const QString full = QDir::cleanPath(QDir(folder).absoluteFilePath(qs(n)));
            if (!may_miss_ && base_ != 3 && !QFileInfo(full).isFile()) {
                beep_error(0);
                return;
            }
            paths.push_back(bytes(full));
        }
        list = filedlg_collect(paths, bytes(folder) + "/", multi_, &too_many);
        if (list.empty())
            return;
        QDialog::accept();
    }

private:
    int base_;
    bool may_miss_;
    bool multi_;
};

// The picture variant's preview: the named file, else the same name with
// the usual picture extensions in turn.
void load_preview(QLabel* preview, const QString& path)
{
    QPixmap picture;
    const QFileInfo info(path);
    if (info.isFile()) {
        picture.load(path);
    } else if (!info.fileName().isEmpty()) {
        const QString stem = info.absolutePath() + QLatin1Char('/') + info.completeBaseName();
        for (const char* ext : {".bmp", ".jpg", ".png", ".gif"})
            if (picture.load(stem + QLatin1String(ext)))
                break;
    }
    if (picture.isNull()) {
        preview->clear();
        return;
    }
    preview->setPixmap(picture.scaled(preview->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void clear_result()
{
    g_state.chosen_name.clear();
    g_state.selection_folder.clear();
    g_state.selection_list.clear();
}

}  // namespace

FileDialogState& filedlg_state()
{
    return g_state;
}

std::vector<std::string> filedlg_split_names(const std::string& field)
{
    std::vector<std::string> names;
    std::size_t i = field.find('"');
    if (i == std::string::npos) {
        std::string one = field;
        while (!one.empty() && (one.back() == ' ' || one.back() == '\t'))
            one.pop_back();
        std::size_t lead = 0;
        while (lead < one.size() && (one[lead] == ' ' || one[lead] == '\t'))
            ++lead;
        one.erase(0, lead);
        if (!one.empty())
            names.push_back(one);
        return names;
    }
    while (i != std::string::npos) {
        const std::size_t end = field.find('"', i + 1);
        if (end == std::string::npos)
            break;
        if (end > i + 1)
            names.push_back(field.substr(i + 1, end - i - 1));
        i = field.find('"', end + 1);
    }
    return names;
}

std::string filedlg_collect(const std::vector<std::string>& paths, const std::string& folder, bool multi,
                            bool* too_many)
{
    std::string inside = folder;
    file_add_trailing_slash(inside);
    std::string bare_folder = inside.size() > 1 ? inside.substr(0, inside.size() - 1) : inside;
    std::string list;
    for (const std::string& p : paths) {
        if (p == inside || p == bare_folder || p.empty())
            continue;
        std::string entry = p;
        if (entry.size() > inside.size() && entry.compare(0, inside.size(), inside) == 0)
            entry.erase(0, inside.size());
        const std::size_t need = entry.size() + (list.empty() ? 0 : 1);
        if (list.size() + need > kListUsable) {
            if (too_many)
                *too_many = true;
            break;
        }
        if (!list.empty())
            list += '\t';
        list += entry;
        if (!multi)
            break;
    }
    return list;
}

void filedlg_selected_file(int n, std::string& out)
{
    out.clear();
    const std::string& list = g_state.selection_list;
    if (n <= 0) {
        if (n == 0)
            out = std::to_string(list.empty() ? 0 : std::count(list.begin(), list.end(), '\t') + 1);
        return;
    }
    std::size_t start = 0;
    for (int i = 1; i < n; ++i) {
        start = list.find('\t', start);
        if (start == std::string::npos)
            return;
        ++start;
    }
    if (start >= list.size())
        return;
    const std::size_t end = list.find('\t', start);
    const std::string entry = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (entry.find_first_of(":\\/") != std::string::npos)
        out = entry;
    else
        out = g_state.selection_folder + entry;
}

int filedlg_open(QWidget* owner, int mode, const std::string& title, const char* ok_caption, int placement)
{
    if (g_state.busy || !qApp) {
        beep_error(0);
        return 0;
    }
    const int base = mode % 10;
    const bool may_miss = (mode / 10) % 10 == 1;
    const bool multi = mode >= 100;
    if (mode < 0 || mode >= 200 || (mode / 10) % 10 > 1 || base == 2 || (base > 6)) {
        beep_error(0);
        return 0;
    }
    // An owner that is hidden or minimised gives way to the main window.
    QWidget* parent = owner ? owner->window() : QApplication::activeWindow();
    if (parent && (!parent->isVisible() || parent->isMinimized()))
        parent = QApplication::activeWindow();
    if (base == 0)
        return folderdlg_browse(parent, title), g_state.remembered_folder.empty() ? 0 : 1;

    clear_result();
    g_state.too_many = false;
    g_state.placement = placement;
    g_state.ok_caption = ok_caption ? cut(ok_caption, kPathUsable) : std::string();
    if (g_state.ok_caption.empty() && base == 3)
        g_state.ok_caption = text_load_string(5112);

    const StartPoint start = start_point(g_state.remembered_folder);
    ChooserDialog dialog(parent, qs(title), base, may_miss, multi);
    dialog.setObjectName(QStringLiteral("file_dialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setFileMode(multi ? QFileDialog::ExistingFiles : QFileDialog::AnyFile);
    if (!g_state.ok_caption.empty())
        dialog.setLabelText(QFileDialog::Accept, qs(g_state.ok_caption));
    QStringList filters;
    int filter = start.filter;
    if (!start.name.isEmpty() && has_wildcard(start.name) && start.name != QLatin1String("*.*")) {
        filters << start.name;
        filter = 1;
    }
    for (const auto& pair : filter_pairs())
        filters << qt_filter(pair);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.value(std::min<int>(filter, filters.size()) - 1));
    }
    dialog.setDirectory(start.folder);
    if (!start.name.isEmpty() && !has_wildcard(start.name))
        dialog.selectFile(start.name);
    QLabel* preview = nullptr;
    if (base == 6) {
        preview = new QLabel(&dialog);
        preview->setObjectName(QStringLiteral("139"));
        preview->setFixedSize(160, 160);
        preview->setAlignment(Qt::AlignCenter);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
            grid->addWidget(preview, 0, grid->columnCount(), grid->rowCount(), 1);
        QObject::connect(&dialog, &QFileDialog::currentChanged, preview,
                         [preview](const QString& path) { load_preview(preview, path); });
        QObject::connect(&dialog, &QFileDialog::directoryEntered, preview, [&dialog] {
            if (auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                edit->clear();
        });
    }

    g_state.busy = true;
    const QString here = QDir::currentPath();
    const int code = dialog.exec();
    QDir::setCurrent(here);
    g_state.busy = false;

    if (code != QDialog::Accepted || dialog.list.empty()) {
        g_state.remembered_folder.clear();
        clear_result();
        g_state.too_many = dialog.too_many;
        return 0;
    }
    std::string folder = bytes(dialog.directory().absolutePath());
    file_add_trailing_slash(folder);
    g_state.remembered_folder = cut(folder, kPathUsable);
    g_state.selection_folder = g_state.remembered_folder;
    g_state.selection_list = dialog.list;
    g_state.too_many = dialog.too_many;
    std::string first;
    filedlg_selected_file(1, first);
    const std::size_t slash = first.find_last_of('/');
    g_state.chosen_name = cut(slash == std::string::npos ? first : first.substr(slash + 1), kPathUsable);
    return 1;
}

int folderdlg_browse(QWidget* owner, const std::string& title)
{
    const StartPoint start = start_point(g_state.remembered_folder);
    QFileDialog dialog(owner, qs(title));
    dialog.setObjectName(QStringLiteral("file_dialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setDirectory(start.folder);
    const bool was_busy = g_state.busy;
    g_state.busy = true;
    const int code = dialog.exec();
    g_state.busy = was_busy;
    g_state.remembered_folder.clear();
    if (code == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        std::string folder = bytes(QDir::cleanPath(dialog.selectedFiles().first()));
        file_add_trailing_slash(folder);
        g_state.remembered_folder = cut(folder, kPathUsable);
    }
    return 1;
}

int file_dialog_run(QWidget* owner, int kind, const std::string& start, const std::string& title,
                    const std::string& button, std::vector<std::string>& chosen)
{
    chosen.clear();
    if (g_state.busy || !qApp)
        return -1;
    std::string where = start;
    if (!where.empty() && where.back() != '/' && QFileInfo(qs(where)).isDir())
        where += '/';
    g_state.remembered_folder = where;
    const int mode = kind == kFileDialogFolder ? 0 : kind == kFileDialogFiles ? 101 : 11;
    if (filedlg_open(owner, mode, title, button.c_str(), 0) != 1)
        return 0;
    if (kind == kFileDialogFolder) {
        chosen.push_back(g_state.remembered_folder);
        return 1;
    }
    std::string count;
    filedlg_selected_file(0, count);
    const int n = std::atoi(count.c_str());
    for (int i = 1; i <= n; ++i) {
        std::string one;
        filedlg_selected_file(i, one);
        chosen.push_back(one);
    }
    return chosen.empty() ? 0 : 1;
}
