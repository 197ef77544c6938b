#include "app/watcher_dialog.h"

#include <QCheckBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/startup.h"
#include "core/numbered_texts.h"
#include "script/file_watcher.h"

namespace {

// The file's name and extension: the text after the last '/', split
// before its last '.'.
void name_and_extension(const std::string& path, std::string& name, std::string& ext)
{
    const std::size_t slash = path.rfind('/');
    name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        ext = name.substr(dot);
        name.resize(dot);
    } else {
        ext.clear();
    }
}

}  // namespace

int watcher_ask_dialog(const std::string& path)
{
    QWidget* owner = frame_window.data();
    if (owner && (!owner->isVisible() || owner->isMinimized()))
        owner = nullptr;
    QDialog dialog(owner);
    dialog.setObjectName("watcher_ask");
    dialog.setWindowTitle(QString::fromUtf8("Dosya Değişimi Uyarısı"));
    std::string name, ext;
    name_and_extension(path, name, ext);
    auto* question = new QLabel(QString::fromUtf8(text_fill_id(3951, {name, ext}).c_str()), &dialog);
    question->setObjectName("101");
    question->setWordWrap(true);
    auto* keep = new QCheckBox(QString::fromUtf8("&İlk Haline Getirilmesine İzin ver"), &dialog);
    keep->setObjectName("102");
    keep->setChecked(watcher_check_box != 0);
    auto* yes = new QPushButton(QString::fromUtf8("Evet"), &dialog);
    yes->setObjectName("1");
    yes->setDefault(true);
    auto* no = new QPushButton(QString::fromUtf8("Hayır"), &dialog);
    no->setObjectName("2");
    QObject::connect(yes, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(no, &QPushButton::clicked, &dialog, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(yes);
    buttons->addWidget(no);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(question);
    layout->addWidget(keep);
    layout->addLayout(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    watcher_check_box = keep->isChecked() ? 1 : 0;
    return 1;
}
