#include "app/file_dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

int file_dialog_run(QWidget* owner, int kind, const std::string& start, const std::string& title,
                    const std::string& button, std::vector<std::string>& chosen)
{
    chosen.clear();
    static bool open = false;
    if (open || !qApp)
        return -1;
    QWidget* parent = owner ? owner->window() : QApplication::activeWindow();
    QFileDialog dialog(parent, QString::fromStdString(title));
    dialog.setObjectName("file_dialog");
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    if (!button.empty())
        dialog.setLabelText(QFileDialog::Accept, QString::fromStdString(button));
    const QString where = QString::fromStdString(start);
    const QFileInfo info(where);
    if (kind == kFileDialogFolder) {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        dialog.setDirectory(info.isDir() ? where : info.absolutePath());
    } else {
        dialog.setFileMode(kind == kFileDialogFiles ? QFileDialog::ExistingFiles : QFileDialog::AnyFile);
        if (info.isDir() || where.endsWith('/')) {
            dialog.setDirectory(where);
        } else {
            // A folder and a name: the name is preselected, or a pattern
            // filters the list.
            dialog.setDirectory(info.absolutePath());
            const QString name = info.fileName();
            if (name.contains('*') || name.contains('?'))
                dialog.setNameFilter(name);
            else if (!name.isEmpty())
                dialog.selectFile(name);
        }
    }
    open = true;
    const int code = dialog.exec();
    open = false;
    if (code != QDialog::Accepted)
        return 0;
    for (const QString& f : dialog.selectedFiles()) {
        std::string path = QDir::cleanPath(f).toStdString();
        if (kind == kFileDialogFolder && (path.empty() || path.back() != '/'))
            path += '/';
        chosen.push_back(std::move(path));
    }
    return chosen.empty() ? 0 : 1;
}
