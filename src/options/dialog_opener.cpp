#include "options/dialog_opener.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTreeWidget>

#include <algorithm>
#include <fstream>
#include <map>
#include <vector>

#include "app/frame_layout.h"
#include "core/ini.h"
#include "display/dialog_units.h"
#include "platform/platform_utils.h"

namespace {

std::map<int, DlgTemplate>& templates()
{
    static std::map<int, DlgTemplate> t;
    return t;
}

QPointer<QWidget> g_modal_owner;

QString qs(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

// The control's text as the template gives it, at most 4150 characters.
QString template_text(const DlgControl& c)
{
    QString text = QString::fromUtf8(c.text ? c.text : "");
    if (text.size() > kDlgCloneTextMax)
        text.truncate(kDlgCloneTextMax);
    return text;
}

QWidget* make_widget(QWidget* parent, const DlgControl& c)
{
    const QString text = template_text(c);
    const int limit = c.limit > 0 ? c.limit : 256;
    switch (c.kind) {
    case kDlgLabel: {
        auto* label = new QLabel(text, parent);
        label->setWordWrap(true);
        label->setAlignment((c.style & kDlgRightAlign) ? Qt::AlignRight | Qt::AlignTop : Qt::AlignLeft | Qt::AlignTop);
        return label;
    }
    case kDlgEdit:
    case kDlgNumber: {
        auto* edit = new QLineEdit(text, parent);
        edit->setMaxLength(limit);
        edit->setReadOnly((c.style & kDlgReadOnly) != 0);
        if (c.style & kDlgPassword)
            edit->setEchoMode(QLineEdit::Password);
        if (c.kind == kDlgNumber)
            edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
        return edit;
    }
    case kDlgMultiEdit: {
        auto* edit = new QPlainTextEdit(text, parent);
        edit->setReadOnly((c.style & kDlgReadOnly) != 0);
        return edit;
    }
    case kDlgCheck:
        return new QCheckBox(text, parent);
    case kDlgRadio: {
        auto* radio = new QRadioButton(text, parent);
        // Radio buttons are exclusive among the buttons of one group; the
        // group runs from a button marked as its start to the next start.
        radio->setAutoExclusive(false);
        return radio;
    }
    case kDlgButton:
    case kDlgDefButton: {
        auto* button = new QPushButton(text, parent);
        button->setAutoDefault(false);
        button->setDefault(c.kind == kDlgDefButton);
        return button;
    }
    case kDlgCombo:
    case kDlgComboEdit: {
        auto* combo = new QComboBox(parent);
        combo->setEditable(c.kind == kDlgComboEdit);
        if (combo->lineEdit())
            combo->lineEdit()->setMaxLength(limit);
        return combo;
    }
    case kDlgList:
        return new QListWidget(parent);
    case kDlgListView: {
        auto* view = new QTreeWidget(parent);
        view->setRootIsDecorated(false);
        view->setUniformRowHeights(true);
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->header()->setStretchLastSection(false);
        return view;
    }
    case kDlgTree: {
        auto* tree = new QTreeWidget(parent);
        tree->setHeaderHidden(true);
        return tree;
    }
    case kDlgGroupBox:
        return new QGroupBox(text, parent);
    case kDlgFrame: {
        auto* frame = new QFrame(parent);
        frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
        return frame;
    }
    default:
        return new QLabel(text, parent);
    }
}

// Radio buttons of one group: ticking one clears the others.
void link_radio_groups(QWidget* parent, const DlgTemplate& t, const std::vector<QWidget*>& built)
{
    std::vector<QRadioButton*> group;
    auto close = [&] {
        for (QRadioButton* r : group) {
            QObject::connect(r, &QRadioButton::toggled, r, [r, group](bool on) {
                if (!on)
                    return;
                for (QRadioButton* other : group)
                    if (other != r && other->isChecked())
                        other->setChecked(false);
            });
        }
        group.clear();
    };
    for (std::size_t i = 0; i < t.count && i < built.size(); ++i) {
        auto* radio = qobject_cast<QRadioButton*>(built[i]);
        if (!radio || (t.controls[i].style & kDlgGroupStart))
            close();
        if (radio)
            group.push_back(radio);
    }
    close();
    (void)parent;
}

// The language module's texts of one template ("[dialog N]": a control id
// "=" its text, "caption=" the dialog's caption); none while no module is in
// use, and none for the About box (10), which is always the program's own.
std::map<std::string, QString> language_texts(int template_id)
{
    std::map<std::string, QString> out;
    if (template_id == 10 || !lang_module_loaded())
        return out;
    std::ifstream in(settings_dir + "lang.dll", std::ios::binary);
    const std::string wanted = "[dialog " + std::to_string(template_id) + "]";
    std::string line;
    bool inside = false;
    std::size_t total = 0;
    while (std::getline(in, line) && total < (4u << 20)) {
        total += line.size() + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inside = line == wanted;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inside || eq == std::string::npos || eq == 0 || eq > 10)
            continue;
        QString text = QString::fromUtf8(line.data() + eq + 1, static_cast<int>(line.size() - eq - 1));
        text.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
        out[line.substr(0, eq)] = text.left(kDlgCloneTextMax);
    }
    return out;
}

// Puts the language module's texts over the controls just built.
void apply_language(QWidget* dialog, const std::map<std::string, QString>& texts, const std::vector<QWidget*>& built)
{
    if (texts.empty())
        return;
    for (QWidget* w : built) {
        auto it = texts.find(std::to_string(w->property("controlId").toInt()));
        if (w->property("controlId").toInt() > 0 && it != texts.end())
            dlg_widget_set_text(w, it->second);
    }
    if (auto it = texts.find("caption"); it != texts.end() && dialog)
        dialog->setWindowTitle(it->second);
}

// A label's mnemonic goes to the first control after it in the template
// that takes the focus (a label without a buddy would show its "&").
void link_label_buddies(const std::vector<QWidget*>& built)
{
    for (std::size_t i = 0; i + 1 < built.size(); ++i) {
        auto* label = qobject_cast<QLabel*>(built[i]);
        if (!label)
            continue;
        for (std::size_t j = i + 1; j < built.size(); ++j) {
            QWidget* next = built[j];
            if (qobject_cast<QAbstractScrollArea*>(next) ||
                (!qobject_cast<QLabel*>(next) && !qobject_cast<QGroupBox*>(next) && !qobject_cast<QFrame*>(next))) {
                label->setBuddy(next);
                break;
            }
        }
    }
}

}  // namespace

void dlg_template_register(const DlgTemplate& t)
{
    templates()[t.id] = t;
}

void dlg_template_unregister(int id)
{
    templates().erase(id);
}

const DlgTemplate* dlg_template_find(int id)
{
    auto it = templates().find(id);
    return it != templates().end() ? &it->second : nullptr;
}

QWidget* dlg_build_control(QWidget* parent, const DlgControl& c, const DialogBaseUnits& base)
{
    QWidget* w = make_widget(parent, c);
    if (c.id > 0)
        dlg_set_item_id(w, c.id);
    QRect r = dialog_units_rect(c.x, c.y, c.w, c.h, base);
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        // The template's height takes in the dropped-down list: the box
        // keeps one line, the list shows as many rows as that height holds.
        const int line = dialog_units_y(12, base);
        combo->setMaxVisibleItems(std::max(1, (r.height() - line) / std::max(1, dialog_units_y(8, base))));
        r.setHeight(std::min(r.height(), line));
    }
    w->setGeometry(r);
    w->setEnabled(!(c.style & kDlgDisabled));
    if (c.style & kDlgNoTabStop)
        w->setFocusPolicy(Qt::ClickFocus);
    w->setVisible(!(c.style & kDlgHidden));
    return w;
}

void dlg_build(QDialog& dialog, const DlgTemplate& t)
{
    const DialogBaseUnits base = dialog_base_units(dialog.font());
    std::vector<QWidget*> built;
    for (std::size_t i = 0; i < t.count; ++i)
        built.push_back(dlg_build_control(&dialog, t.controls[i], base));
    link_radio_groups(&dialog, t, built);
    link_label_buddies(built);
    dialog.setWindowTitle(QString::fromUtf8(t.caption ? t.caption : ""));
    dialog.setFixedSize(dialog_units_rect(0, 0, t.width, t.height, base).size());
}

QWidget* dlg_modal_owner()
{
    return g_modal_owner.data();
}

int dlg_show_modal(QWidget* owner, int template_id, const std::function<void(QDialog&)>& init)
{
    const DlgTemplate* t = dlg_template_find(template_id);
    if (!t) {
        beep_error(0);
        return -1;
    }
    QPointer<QWidget> previous = g_modal_owner;
    g_modal_owner = owner;
    int result = -1;
    {
        QDialog dialog(owner);
        dialog.setObjectName(QStringLiteral("dialog%1").arg(template_id));
        dlg_build(dialog, *t);
        std::vector<QWidget*> built;
        for (QWidget* w : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            built.push_back(w);
        apply_language(&dialog, language_texts(template_id), built);
        if (init)
            init(dialog);
        result = dialog.exec();
    }
    g_modal_owner = previous;
    return result;
}

int dlg_clone_page(QDialog& dialog, int page_template_id)
{
    const DlgTemplate* t = dlg_template_find(page_template_id);
    if (!t)
        return 1;
    const DialogBaseUnits base = dialog_base_units(dialog.font());
    std::vector<QWidget*> built;
    const std::map<std::string, QString> language = language_texts(page_template_id);
    const std::size_t count = std::min<std::size_t>(t->count, kDlgClonedControlsMax);
    for (std::size_t i = 0; i < count; ++i) {
        DlgControl c = t->controls[i];
        QWidget* w = dlg_build_control(&dialog, c, base);
        w->hide();
        apply_language(nullptr, language, {w});
        // A hidden page carries no keyboard mnemonic.
        const QString text = dlg_widget_text(w);
        if (text.contains(QLatin1Char('&'))) {
            QString hidden = text;
            hidden.replace(QLatin1Char('&'), QChar(kDlgHiddenMnemonic));
            dlg_widget_set_text(w, hidden);
        }
        built.push_back(w);
    }
    DlgTemplate part = *t;
    part.count = count;
    link_radio_groups(&dialog, part, built);
    link_label_buddies(built);
    return 0;
}

QString dlg_widget_text(QWidget* w)
{
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return button->text();
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return edit->text();
    if (auto* edit = qobject_cast<QPlainTextEdit*>(w))
        return edit->toPlainText();
    if (auto* combo = qobject_cast<QComboBox*>(w))
        return combo->currentText();
    if (auto* box = qobject_cast<QGroupBox*>(w))
        return box->title();
    return QString();
}

void dlg_widget_set_text(QWidget* w, const QString& text)
{
    if (auto* label = qobject_cast<QLabel*>(w))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(w))
        button->setText(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(w))
        edit->setText(text);
    else if (auto* edit = qobject_cast<QPlainTextEdit*>(w))
        edit->setPlainText(text);
    else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        if (combo->isEditable())
            combo->setEditText(text);
        else
            combo->setCurrentIndex(combo->findText(text));
    } else if (auto* box = qobject_cast<QGroupBox*>(w))
        box->setTitle(text);
}

std::string dlg_text(QWidget* dialog, int id)
{
    return dlg_widget_text(dlg_item(dialog, id)).toStdString();
}

void dlg_set_text(QWidget* dialog, int id, const std::string& text)
{
    if (QWidget* w = dlg_item(dialog, id))
        dlg_widget_set_text(w, qs(text));
}

void dlg_combo_fill(QWidget* dialog, int id, const char* const* items, int count, int selected)
{
    auto* c = qobject_cast<QComboBox*>(dlg_item(dialog, id));
    if (!c)
        return;
    c->clear();
    for (int i = 0; i < count; ++i)
        c->addItem(QString::fromUtf8(items[i]));
    c->setCurrentIndex(selected >= 0 && selected < count ? selected : 0);
}

int dlg_combo_index(QWidget* dialog, int id)
{
    auto* c = qobject_cast<QComboBox*>(dlg_item(dialog, id));
    return c ? c->currentIndex() : 0;
}

int dlg_checked(QWidget* dialog, int id)
{
    if (auto* button = qobject_cast<QAbstractButton*>(dlg_item(dialog, id)))
        return button->isChecked() ? 1 : 0;
    if (auto* box = qobject_cast<QGroupBox*>(dlg_item(dialog, id)))
        return box->isChecked() ? 1 : 0;
    return 0;
}

void dlg_set_checked(QWidget* dialog, int id, int on)
{
    if (auto* button = qobject_cast<QAbstractButton*>(dlg_item(dialog, id)))
        button->setChecked(on != 0);
}
