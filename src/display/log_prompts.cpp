#include "display/log_prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>

#include "core/files.h"

std::string log_prompt_file(const std::string& title, const std::string& proposed)
{
    const QFileInfo info(QString::fromStdString(proposed));
    QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(title),
                       info.absolutePath());
    dialog.setObjectName("log_file_dialog");
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("*.log"));
    dialog.selectFile(info.fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first().toStdString();
}

int log_merge_replace_target(const std::string& temp, const std::string& target)
{
    return file_move(temp, target, 2);
}
