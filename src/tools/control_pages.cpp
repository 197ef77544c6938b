#include "tools/control_pages.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_limits.h"
#include "display/draw.h"
#include "display/nick_colours.h"
#include "model/connection.h"
#include "platform/platform_utils.h"

namespace {

QString q(const std::string& s)
{
    return QString::fromUtf8(s.c_str());
}

std::string s_of(const QString& t)
{
    return t.toUtf8().toStdString();
}

QPushButton* button(QWidget* page, const char* text, int id)
{
    auto* b = new QPushButton(QString::fromUtf8(text), page);
    dlg_set_item_id(b, id);
    return b;
}

// The selected rows, in order.
std::vector<int> selected_rows(QListWidget* list)
{
    std::vector<int> rows;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->isSelected()) rows.push_back(i);
    return rows;
}

void select_only(QListWidget* list, int row)
{
    list->clearSelection();
    if (row >= 0 && row < list->count()) {
        list->setCurrentRow(row);
        list->item(row)->setSelected(true);
    }
}

void remove_selected(QListWidget* list)
{
    const std::vector<int> rows = selected_rows(list);
    if (rows.empty()) return;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) delete list->takeItem(*it);
    select_only(list, std::max(0, rows.front() - 1));
}

void move_row(QListWidget* list, int step)
{
    const std::vector<int> rows = selected_rows(list);
    if (rows.size() != 1) return;
    const int to = rows.front() + step;
    if (to < 0 || to >= list->count()) return;
    QListWidgetItem* item = list->takeItem(rows.front());
    list->insertItem(to, item);
    select_only(list, to);
}

Connection* live_connection()
{
    Connection* c = conn_current();
    return conn_is_live(c) ? c : nullptr;
}

// A palette swatch for the colour combo; index -1 is hatched (no colour).
QIcon swatch(int index)
{
    QPixmap pm(24, 12);
    pm.fill(Qt::white);
    QPainter p(&pm);
    if (index < 0)
        p.fillRect(pm.rect(), QBrush(Qt::black, Qt::BDiagPattern));
    else
        p.fillRect(pm.rect(), draw_palette_colour(index));
    p.drawRect(pm.rect().adjusted(0, 0, -1, -1));
    return QIcon(pm);
}

}  // namespace

// ---- Control page ----

ControlPage::ControlPage(std::string chan_types, QWidget* parent)
    : QWidget(parent), working(control_working_load()), chan_types_(std::move(chan_types))
{
    auto* grid = new QGridLayout(this);
    kinds = new QComboBox(this);
    dlg_set_item_id(kinds, 205);
    for (const char* k : {"Ignore", "Op", "Voice", "Protect"}) kinds->addItem(QString::fromUtf8(k));
    enabled = new QCheckBox(QString::fromUtf8("Açık"), this);
    dlg_set_item_id(enabled, 206);
    list = new QListWidget(this);
    dlg_set_item_id(list, 207);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    add = button(this, "Ekle", 208);
    edit = button(this, "Düzenle", 209);
    del = button(this, "Sil", 210);
    up = button(this, "Yukarı", 212);
    down = button(this, "Aşağı", 213);
    sort = button(this, "Sırala", 214);
    random_delay = new QCheckBox(QString::fromUtf8("Rastgele gecikme"), this);
    dlg_set_item_id(random_delay, 211);
    random_delay->setChecked(working.random_delay);
    grid->addWidget(kinds, 0, 0);
    grid->addWidget(enabled, 0, 1);
    grid->addWidget(list, 1, 0, 7, 1);
    int row = 1;
    for (QPushButton* b : {add, edit, del, up, down, sort}) grid->addWidget(b, row++, 1);
    grid->addWidget(random_delay, 8, 0, 1, 2);

    connect(kinds, &QComboBox::activated, this, [this](int k) { control_page_show(k); });
    connect(list, &QListWidget::itemSelectionChanged, this, [this] { control_page_buttons(); });
    connect(list, &QListWidget::itemDoubleClicked, this, [this] {
        if (edit->isEnabled()) run_dialog(true);
    });
    connect(add, &QPushButton::clicked, this, [this] { run_dialog(false); });
    connect(edit, &QPushButton::clicked, this, [this] { run_dialog(true); });
    connect(del, &QPushButton::clicked, this, [this] { delete_selected(); });
    connect(up, &QPushButton::clicked, this, [this] { move_selected(-1); });
    connect(down, &QPushButton::clicked, this, [this] { move_selected(1); });
    connect(sort, &QPushButton::clicked, this, [this] { control_page_sort(); });
    control_page_show(-1);
}

void ControlPage::take_back()
{
    std::vector<ControlLine>& lines = working.lines[kind];
    lines.clear();
    for (int i = 0; i < list->count(); ++i) {
        const std::string text = control_collapse_blanks(s_of(list->item(i)->data(kControlTextRole).toString()));
        if (text.empty()) continue;
        lines.push_back({text, list->item(i)->data(kControlValueRole).toUInt()});
    }
    working.enabled[kind] = enabled->isChecked();
}

void ControlPage::control_page_show(int new_kind)
{
    if (new_kind >= 0 && new_kind < 4) {
        take_back();
        kind = new_kind;
    }
    kinds->setCurrentIndex(kind);
    list->clear();
    for (const ControlLine& l : working.lines[kind]) {
        auto* item = new QListWidgetItem(q(control_entry_display(l.text, kind, l.value)));
        item->setData(kControlTextRole, q(l.text));
        item->setData(kControlValueRole, static_cast<unsigned>(l.value));
        list->addItem(item);
    }
    enabled->setChecked(working.enabled[kind]);
    list->clearSelection();
    control_page_buttons();
}

void ControlPage::control_page_buttons()
{
    const std::size_t n = selected_rows(list).size();
    add->setEnabled(true);
    edit->setEnabled(n == 1);
    up->setEnabled(n == 1);
    down->setEnabled(n == 1);
    del->setEnabled(n >= 1);
    sort->setEnabled(list->count() >= 2);
}

void ControlPage::control_page_sort()
{
    list->sortItems();
    list->clearSelection();
    control_page_buttons();
}

void ControlPage::add_line(const std::string& entry, std::uint32_t value)
{
    const std::string text = control_collapse_blanks(entry);
    if (text.empty()) return;
    auto* item = new QListWidgetItem(q(control_entry_display(text, kind, value)));
    item->setData(kControlTextRole, q(text));
    item->setData(kControlValueRole, static_cast<unsigned>(value));
    list->addItem(item);
    select_only(list, list->count() - 1);
    control_page_buttons();
}

void ControlPage::replace_selected(const std::string& entry, std::uint32_t value)
{
    const std::vector<int> rows = selected_rows(list);
    const std::string text = control_collapse_blanks(entry);
    if (rows.size() != 1 || text.empty()) return;
    QListWidgetItem* item = list->item(rows.front());
    item->setText(q(control_entry_display(text, kind, value)));
    item->setData(kControlTextRole, q(text));
    item->setData(kControlValueRole, static_cast<unsigned>(value));
}

void ControlPage::delete_selected()
{
    remove_selected(list);
    control_page_buttons();
}

void ControlPage::move_selected(int step)
{
    move_row(list, step);
    control_page_buttons();
}

void ControlPage::apply()
{
    take_back();
    working.random_delay = random_delay->isChecked();
    control_working_apply(working);
}

void ControlPage::run_dialog(bool editing)
{
    Connection* conn = live_connection();
    if (!conn) {
        beep_error(0);
        return;
    }
    std::string entry;
    std::uint32_t value = 0x10000;
    if (editing) {
        const std::vector<int> rows = selected_rows(list);
        if (rows.size() != 1) return;
        entry = s_of(list->item(rows.front())->data(kControlTextRole).toString());
        value = list->item(rows.front())->data(kControlValueRole).toUInt();
    }
    ControlEntryDialog d(kind, entry, editing, conn->chan_types.empty() ? "#&" : conn->chan_types, this);
    if (d.exec() != QDialog::Accepted) return;
    const std::string out = d.result(value);
    if (out.empty()) return;
    if (editing)
        replace_selected(out, value);
    else
        add_line(out, value);
}

// ---- Control entry dialog ----

ControlEntryDialog::ControlEntryDialog(int kind_, const std::string& entry, bool editing,
                                       const std::string& chan_types, QWidget* parent)
    : QDialog(parent), kind(kind_)
{
    setWindowTitle(q(text_load_string(editing ? 216 : 204)));
    auto* grid = new QGridLayout(this);
    mask = new QLineEdit(this);
    dlg_set_item_id(mask, 101);
    mask->setMaxLength(static_cast<int>(kMediumText));
    network = new QLineEdit(this);
    dlg_set_item_id(network, 113);
    network->setMaxLength(static_cast<int>(kShortText));
    grid->addWidget(new QLabel(QString::fromUtf8("Maske:")), 0, 0);
    grid->addWidget(mask, 0, 1, 1, 3);
    int row = 1;
    const ControlEntryForm f = control_entry_form(entry, kind, chan_types);
    mask->setText(q(f.mask));
    network->setText(q(f.network));
    if (kind == kControlIgnore) {
        static const int ids[8] = {103, 104, 105, 106, 107, 108, 111, 112};
        static const char* const labels[8] = {"Özel", "Kanal", "Notice", "CTCP", "DCC", "Davet", "Kodlar", "Hariç"};
        for (int i = 0; i < 8; ++i) {
            kinds[i] = new QCheckBox(QString::fromUtf8(labels[i]), this);
            dlg_set_item_id(kinds[i], ids[i]);
            kinds[i]->setChecked(f.kinds & (1 << i));
            grid->addWidget(kinds[i], row + i / 4, i % 4);
        }
        row += 2;
        timed = new QCheckBox(QString::fromUtf8("Kaldır (saniye):"), this);
        dlg_set_item_id(timed, 109);
        seconds = new QComboBox(this);
        dlg_set_item_id(seconds, 110);
        seconds->setEditable(true);
        for (const char* s : {"30", "60", "120", "180", "240", "300"}) seconds->addItem(QString::fromUtf8(s));
        grid->addWidget(timed, row, 0);
        grid->addWidget(seconds, row++, 1);
    } else {
        channels = new QLineEdit(this);
        dlg_set_item_id(channels, 102);
        channels->setMaxLength(static_cast<int>(kMediumText));
        channels->setText(q(f.channels));
        grid->addWidget(new QLabel(QString::fromUtf8("Kanallar:")), row, 0);
        grid->addWidget(channels, row++, 1, 1, 3);
    }
    grid->addWidget(new QLabel(QString::fromUtf8("Ağ:")), row, 0);
    grid->addWidget(network, row++, 1, 1, 3);
    auto* ok = new QPushButton(QString::fromUtf8("Tamam"), this);
    auto* cancel = new QPushButton(QString::fromUtf8("İptal"), this);
    dlg_set_item_id(ok, 1);
    dlg_set_item_id(cancel, 2);
    ok->setDefault(true);
    grid->addWidget(ok, row, 2);
    grid->addWidget(cancel, row, 3);
    connect(ok, &QPushButton::clicked, this, [this] {
        std::uint32_t v = 0;
        if (result(v).empty()) {
            beep_error(0);
            return;
        }
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::string ControlEntryDialog::result(std::uint32_t& value) const
{
    ControlEntryForm f;
    f.mask = s_of(mask->text());
    f.network = s_of(network->text());
    if (kind == kControlIgnore) {
        for (int i = 0; i < 8; ++i)
            if (kinds[i]->isChecked()) f.kinds |= 1 << i;
        f.timed = timed->isChecked();
        f.seconds = seconds->currentText().toInt();
    } else {
        f.channels = s_of(channels->text());
    }
    return control_entry_build(f, kind, value);
}

// ---- Nick-colour page ----

CnickPage::CnickPage(QWidget* parent) : QWidget(parent)
{
    auto* grid = new QGridLayout(this);
    enabled = new QCheckBox(QString::fromUtf8("Nick renkleri açık"), this);
    dlg_set_item_id(enabled, 231);
    enabled->setChecked(opt(OPT_NICK_COLOURS_ENABLED) != 0);
    list = new QListWidget(this);
    dlg_set_item_id(list, 225);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    add = button(this, "Ekle", 226);
    edit = button(this, "Düzenle", 227);
    del = button(this, "Sil", 228);
    up = button(this, "Yukarı", 229);
    down = button(this, "Aşağı", 230);
    grid->addWidget(enabled, 0, 0, 1, 2);
    grid->addWidget(list, 1, 0, 6, 1);
    int row = 1;
    for (QPushButton* b : {add, edit, del, up, down}) grid->addWidget(b, row++, 1);
    connect(list, &QListWidget::itemSelectionChanged, this, [this] { cnick_page_buttons(); });
    connect(list, &QListWidget::itemDoubleClicked, this, [this] {
        if (edit->isEnabled()) run_dialog(true);
    });
    connect(add, &QPushButton::clicked, this, [this] { run_dialog(false); });
    connect(edit, &QPushButton::clicked, this, [this] { run_dialog(true); });
    connect(del, &QPushButton::clicked, this, [this] { delete_selected(); });
    connect(up, &QPushButton::clicked, this, [this] { move_selected(-1); });
    connect(down, &QPushButton::clicked, this, [this] { move_selected(1); });
    cnick_page_fill(cnick_lines_load());
}

namespace {

QListWidgetItem* cnick_item(QListWidget* list, const std::string& line)
{
    NickColorRule r;
    const bool ok = cnick_rule_parse(r, line);
    auto* item = new QListWidgetItem(q(ok ? cnick_rule_text(r) : line));
    item->setData(kControlTextRole, q(line));
    const int colour = ok ? r.color : 99;
    item->setData(kControlValueRole, colour);
    item->setForeground(colour >= 0 && colour <= 15 ? QBrush(draw_palette_colour(colour))
                                                    : list->palette().brush(QPalette::Text));
    return item;
}

}  // namespace

void CnickPage::cnick_page_fill(const std::vector<std::string>& ls)
{
    list->clear();
    for (const std::string& l : ls) list->addItem(cnick_item(list, l));
    select_only(list, 0);
    cnick_page_buttons();
}

void CnickPage::cnick_page_buttons()
{
    const std::size_t n = selected_rows(list).size();
    add->setEnabled(true);
    edit->setEnabled(n == 1);
    up->setEnabled(n == 1);
    down->setEnabled(n == 1);
    del->setEnabled(n >= 1);
}

void CnickPage::add_line(const std::string& line)
{
    list->addItem(cnick_item(list, line));
    select_only(list, list->count() - 1);
    cnick_page_buttons();
}

void CnickPage::replace_selected(const std::string& line)
{
    const std::vector<int> rows = selected_rows(list);
    if (rows.size() != 1) return;
    delete list->takeItem(rows.front());
    list->insertItem(rows.front(), cnick_item(list, line));
    select_only(list, rows.front());
    cnick_page_buttons();
}

void CnickPage::delete_selected()
{
    remove_selected(list);
    cnick_page_buttons();
}

void CnickPage::move_selected(int step)
{
    move_row(list, step);
    cnick_page_buttons();
}

std::vector<std::string> CnickPage::lines() const
{
    std::vector<std::string> out;
    for (int i = 0; i < list->count(); ++i) out.push_back(s_of(list->item(i)->data(kControlTextRole).toString()));
    return out;
}

void CnickPage::apply()
{
    cnick_lines_apply(lines(), enabled->isChecked());
}

void CnickPage::run_dialog(bool editing)
{
    Connection* conn = live_connection();
    if (!conn) {
        beep_error(0);
        return;
    }
    CnickEntryForm form;
    if (editing) {
        const std::vector<int> rows = selected_rows(list);
        if (rows.size() != 1) return;
        if (!cnick_entry_form(s_of(list->item(rows.front())->data(kControlTextRole).toString()), form)) {
            beep_error(0);
            return;
        }
    }
    CnickEntryDialog d(form, editing, conn->nick_prefixes, this);
    if (d.exec() != QDialog::Accepted) return;
    CnickEntryForm out = d.form();
    const std::string line = cnick_entry_build(out);
    if (editing)
        replace_selected(line);
    else
        add_line(line);
}

// ---- Nick-colour entry dialog ----

CnickEntryDialog::CnickEntryDialog(const CnickEntryForm& f, bool editing, const std::string& prefixes,
                                   QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(q(text_load_string(editing ? 1341 : 204)));
    auto* grid = new QGridLayout(this);
    auto check = [this](const char* text, int id) {
        auto* c = new QCheckBox(QString::fromUtf8(text), this);
        dlg_set_item_id(c, id);
        return c;
    };
    auto edit_box = [this](int id) {
        auto* e = new QLineEdit(this);
        dlg_set_item_id(e, id);
        e->setMaxLength(static_cast<int>(kMediumText));
        return e;
    };
    colour = new QComboBox(this);
    dlg_set_item_id(colour, 101);
    for (int i = 0; i <= 16; ++i) colour->addItem(swatch(i - 1), QString("color %1").arg(i));
    colour->setCurrentIndex(f.colour >= 0 && f.colour <= 15 ? f.colour + 1 : 0);
    method = new QComboBox(this);
    dlg_set_item_id(method, 102);
    for (int id : {217, 218, 219}) method->addItem(q(text_load_string(id)));
    method->setCurrentIndex(f.method >= 0 && f.method <= 2 ? f.method : 0);
    use_mask = check("Maske", 103);
    mask = edit_box(104);
    use_modes = check("Kanal modları", 105);
    modes = edit_box(106);
    use_levels = check("Kullanıcı seviyeleri", 107);
    levels = edit_box(108);
    any_mode = check("Herhangi bir mod", 109);
    no_mode = check("Modsuz", 110);
    static const char* const kLists[5] = {"Ignore", "Op", "Voice", "Protect", "Notify"};
    for (int b = 0; b < 5; ++b) lists[b] = check(kLists[b], 111 + b);
    idle = new QComboBox(this);
    dlg_set_item_id(idle, 116);
    idle->setEditable(true);
    idle->addItem(QString::fromUtf8("never"));
    for (int m = 10; m <= 60; m += 10) idle->addItem(QString::number(m));

    mask->setText(q(f.mask));
    use_mask->setChecked(!f.mask.empty());
    if (editing) {
        modes->setText(q(f.modes));
        use_modes->setChecked(!f.modes.empty());
    } else {
        modes->setText(q(prefixes));
        use_modes->setChecked(false);
    }
    levels->setText(q(f.levels));
    use_levels->setChecked(!f.levels.empty());
    any_mode->setChecked(f.any_mode);
    no_mode->setChecked(f.no_mode);
    for (int b = 0; b < 5; ++b) lists[b]->setChecked(f.lists & (1 << b));
    if (f.idle > 0) idle->setCurrentText(QString::number(f.idle));

    connect(mask, &QLineEdit::textEdited, this, [this](const QString& t) { use_mask->setChecked(!t.isEmpty()); });
    connect(levels, &QLineEdit::textEdited, this, [this](const QString& t) { use_levels->setChecked(!t.isEmpty()); });
    connect(modes, &QLineEdit::textEdited, this, [this](const QString& t) {
        use_modes->setChecked(!t.isEmpty());
        if (!t.isEmpty()) any_mode->setChecked(false);
    });
    connect(use_modes, &QCheckBox::clicked, this, [this](bool on) {
        if (on) any_mode->setChecked(false);
    });
    connect(any_mode, &QCheckBox::clicked, this, [this](bool on) {
        if (on) use_modes->setChecked(false);
    });

    int row = 0;
    grid->addWidget(colour, row, 0);
    grid->addWidget(method, row++, 1);
    grid->addWidget(use_mask, row, 0);
    grid->addWidget(mask, row++, 1);
    grid->addWidget(use_modes, row, 0);
    grid->addWidget(modes, row++, 1);
    grid->addWidget(use_levels, row, 0);
    grid->addWidget(levels, row++, 1);
    grid->addWidget(any_mode, row, 0);
    grid->addWidget(no_mode, row++, 1);
    for (int b = 0; b < 5; ++b) grid->addWidget(lists[b], row + b / 2, b % 2);
    row += 3;
    grid->addWidget(new QLabel(QString::fromUtf8("Boşta (dakika):")), row, 0);
    grid->addWidget(idle, row++, 1);
    auto* ok = new QPushButton(QString::fromUtf8("Tamam"), this);
    auto* cancel = new QPushButton(QString::fromUtf8("İptal"), this);
    dlg_set_item_id(ok, 1);
    dlg_set_item_id(cancel, 2);
    ok->setDefault(true);
    grid->addWidget(ok, row, 0);
    grid->addWidget(cancel, row, 1);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

CnickEntryForm CnickEntryDialog::form() const
{
    CnickEntryForm f;
    f.use_mask = use_mask->isChecked();
    f.mask = s_of(mask->text());
    f.use_modes = use_modes->isChecked();
    f.modes = s_of(modes->text());
    f.use_levels = use_levels->isChecked();
    f.levels = s_of(levels->text());
    f.any_mode = any_mode->isChecked();
    f.no_mode = no_mode->isChecked();
    for (int b = 0; b < 5; ++b)
        if (lists[b]->isChecked()) f.lists |= 1 << b;
    f.colour = colour->currentIndex() <= 0 ? 99 : colour->currentIndex() - 1;
    f.method = method->currentIndex();
    f.idle = std::max(0, idle->currentText().toInt());
    return f;
}
