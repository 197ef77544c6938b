#include "app/ssl_prompts.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/numbered_texts.h"
#include "irc/ssl/ssl_checks.h"

namespace {

QString utf8(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

// The open prompts and the seconds each has left.
struct OpenPrompt {
    QDialog* dialog;
    int seconds_left;
};
std::vector<OpenPrompt> g_open_prompts;

// Counts a prompt down on the tick from the moment it opens until it closes.
class PromptCountdown {
public:
    explicit PromptCountdown(QDialog* dialog) : dialog_(dialog)
    {
        g_open_prompts.push_back({dialog, kSslPromptSeconds});
    }
    ~PromptCountdown()
    {
        g_open_prompts.erase(std::remove_if(g_open_prompts.begin(), g_open_prompts.end(),
                                            [this](const OpenPrompt& p) { return p.dialog == dialog_; }),
                             g_open_prompts.end());
    }
    PromptCountdown(const PromptCountdown&) = delete;
    PromptCountdown& operator=(const PromptCountdown&) = delete;

private:
    QDialog* dialog_;
};

QLabel* state_line(QWidget* parent, bool good, const std::string& text)
{
    auto* label = new QLabel(parent);
    label->setText(QStringLiteral("<span style=\"color:%1\">&#9679;</span> %2")
                       .arg(good ? QStringLiteral("green") : QStringLiteral("red"), utf8(text).toHtmlEscaped()));
    return label;
}

} // namespace

int ssl_cert_prompt(const SslCertRecord& r, std::shared_ptr<std::atomic<int>> cancelled)
{
    QDialog dialog(QApplication::activeWindow());
    dialog.setObjectName(kSslPromptName);
    char title[320];
    std::snprintf(title, sizeof title, text_load_string(5170), r.host.c_str(), static_cast<unsigned>(r.port));
    dialog.setWindowTitle(QString::fromUtf8(title).trimmed());
    auto* layout = new QVBoxLayout(&dialog);
    auto* states = new QWidget(&dialog);
    auto* states_layout = new QVBoxLayout(states);
    std::string trust;
    if (r.trusted && r.preverify)
        trust = text_load_string(5171);
    else if (!r.trusted)
        trust = text_load_string(5172);
    else {
        trust = r.verify_result;
        if (!trust.empty())
            trust[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(trust[0])));
    }
    states_layout->addWidget(state_line(states, r.trusted && r.preverify, trust));
    states_layout->addWidget(state_line(states, !r.expired, text_load_string(r.expired ? 5174 : 5173)));
    states_layout->addWidget(state_line(states, r.valid_name, text_load_string(r.valid_name ? 5175 : 5176)));
    auto* details = new QLabel(utf8(ssl_cert_details_text(r)), &dialog);
    details->setObjectName(kSslPromptDetails);
    details->setTextInteractionFlags(Qt::TextSelectableByMouse);
    details->hide();
    layout->addWidget(states);
    layout->addWidget(details);
    auto* remember = new QCheckBox(QString::fromUtf8(text_load_string(5177)), &dialog);
    remember->setObjectName(kSslPromptRemember);
    layout->addWidget(remember);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QPushButton* view = buttons->addButton(QString::fromUtf8(text_load_string(5178)), QDialogButtonBox::ActionRole);
    QObject::connect(view, &QPushButton::clicked, &dialog, [states, details] {
        bool show_details = details->isHidden();
        details->setVisible(show_details);
        states->setVisible(!show_details);
    });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    // No answer in time (the tick counts), or the link went: cancelled.
    PromptCountdown countdown(&dialog);
    QTimer poll(&dialog);
    QObject::connect(&poll, &QTimer::timeout, &dialog, [&dialog, cancelled] {
        if (cancelled && cancelled->load())
            dialog.reject();
    });
    poll.start(100);
    if (dialog.exec() != QDialog::Accepted || (cancelled && cancelled->load()))
        return 0;
    return remember->isChecked() ? 2 : 1;
}

int ssl_passphrase_prompt(std::string& out)
{
    QDialog dialog(QApplication::activeWindow());
    dialog.setObjectName(kSslPassphraseName);
    dialog.setWindowTitle(QString::fromUtf8(text_load_string(4652)));
    auto* layout = new QVBoxLayout(&dialog);
    auto* edit = new QLineEdit(&dialog);
    edit->setEchoMode(QLineEdit::Password);
    edit->setMaxLength(256);
    layout->addWidget(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    PromptCountdown countdown(&dialog);
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    out = edit->text().toStdString();
    return out.empty() ? 0 : 1;
}

void ssl_prompts_tick()
{
    // Closing a prompt ends its own wait later; the list is walked by copy.
    std::vector<QDialog*> due;
    for (OpenPrompt& p : g_open_prompts)
        if (p.seconds_left > 0 && --p.seconds_left == 0)
            due.push_back(p.dialog);
    for (QDialog* dialog : due)
        dialog->reject();
}

int ssl_prompts_open()
{
    return static_cast<int>(g_open_prompts.size());
}
