// The dialog table language: finding a table among the loaded scripts and
// building the controls and the menu bar of a dialog window from it.
#include "extensions/dialog_tables.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QTabBar>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStyledItemDelegate>

#include <algorithm>
#include <climits>

#include "core/files.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "display/dialog_units.h"
#include "display/pictures.h"
#include "extensions/dialog_runtime.h"
#include "model/connection.h"
#include "script/events/event_index.h"
#include "script/events/remote_files.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"

std::vector<ScriptDialog*> script_dialogs;

ScriptDialog* dialog_find(std::string_view name)
{
    for (ScriptDialog* d : script_dialogs)
        if (text_equal_nocase(d->name, name))
            return d;
    return nullptr;
}

bool dialog_is_live(const ScriptDialog* d)
{
    return d && std::find(script_dialogs.begin(), script_dialogs.end(), d) != script_dialogs.end();
}

ScriptDialog* dialog_new(std::string_view name, std::string_view table)
{
    auto* d = new ScriptDialog;
    d->name.assign(name.substr(0, kShortText));
    d->table.assign(table.substr(0, kShortText));
    script_dialogs.push_back(d);
    return d;
}

void dialog_free(ScriptDialog* d)
{
    auto it = std::find(script_dialogs.begin(), script_dialogs.end(), d);
    if (it == script_dialogs.end())
        return;
    script_dialogs.erase(it);
    if (d->window) {
        d->window->hide();
        d->window->deleteLater();
    }
    delete d;
}

DialogControl* dialog_control(ScriptDialog* d, int id)
{
    if (!d)
        return nullptr;
    for (DialogControl& c : d->controls)
        if (c.id == id)
            return &c;
    return nullptr;
}

DialogMenuEntry* dialog_menu_entry(ScriptDialog* d, int id)
{
    if (!d || id <= 0)
        return nullptr;
    for (DialogMenuEntry& m : d->menus)
        if (m.id == id)
            return &m;
    return nullptr;
}

DialogPicture* dialog_picture(ScriptDialog* d, int id)
{
    for (DialogPicture& p : d->pictures)
        if (p.id == id)
            return &p;
    return nullptr;
}

bool dialog_control_on_page(const ScriptDialog* d, const DialogControl& c)
{
    return c.tab_page < 0 || c.tab_page == d->current_page;
}

int dialog_id_of(const ScriptDialog* d, const QObject* widget)
{
    if (!d || !widget)
        return 0;
    for (const DialogControl& c : d->controls)
        if (c.widget == widget)
            return c.id;
    for (const DialogMenuEntry& m : d->menus)
        if (m.action == widget)
            return m.id;
    return 0;
}

void dialog_show_page(ScriptDialog* d, int page)
{
    if (page < 0 || page >= static_cast<int>(d->tab_ids.size()))
        return;
    d->current_page = page;
    d->suppressed++;
    if (d->tabs && d->tabs->currentIndex() != page)
        d->tabs->setCurrentIndex(page);
    for (DialogControl& c : d->controls) {
        if (c.tab_page < 0 || !c.widget)
            continue;
        const bool placeholder = c.kind == kDlgLink || c.kind == kDlgIcon;
        const bool show = c.tab_page == page && c.shown && (!placeholder || c.enabled);
        c.widget->setVisible(show);
    }
    d->suppressed--;
}

namespace {

// A three-state box goes unchecked, checked, indeterminate, as a click
// turns it.
class DialogCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override
    {
        if (!isTristate()) {
            QCheckBox::nextCheckState();
            return;
        }
        const Qt::CheckState s = checkState();
        setCheckState(s == Qt::Unchecked ? Qt::Checked : (s == Qt::Checked ? Qt::PartiallyChecked : Qt::Unchecked));
    }
};

// A picture control: the picture fitted into the control's rectangle with
// its alignment (an icon at the top-left), framed unless "noborder".
class DialogPictureBox : public QWidget {
public:
    DialogPictureBox(ScriptDialog* d, int id, QWidget* parent) : QWidget(parent), d_(d), id_(id) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (!dialog_is_live(d_))
            return;
        DialogPicture* p = dialog_picture(d_, id_);
        if (!p)
            return;
        QPainter painter(this);
        if (!p->image.isNull()) {
            QRect box = rect();
            if (p->index != -1) {
                painter.drawImage(QPoint(0, 0), p->image, QRect(QPoint(0, 0), box.size()));
            } else {
                QRect out;
                if (p->size_flags & 4)
                    out = QRect(box.topLeft(), p->image.size());
                else
                    img_fit_size(p->image.size(), box, out, p->align);
                painter.drawImage(out, p->image);
            }
        }
        if (p->border) {
            painter.setPen(palette().color(QPalette::WindowText));
            painter.drawRect(rect().adjusted(0, 0, -1, -1));
        }
    }

private:
    ScriptDialog* d_;
    int id_;
};

// A radio list draws a round mark where a check list draws its box.
class RadioListDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const bool on = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        opt.features &= ~QStyleOptionViewItem::HasCheckIndicator;
        const QWidget* w = option.widget;
        QStyle* style = w ? w->style() : QApplication::style();
        const int side = style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, w);
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, w);
        QStyleOptionButton mark;
        mark.rect = QRect(opt.rect.x() + 2, opt.rect.y() + (opt.rect.height() - side) / 2, side, side);
        mark.state = QStyle::State_Enabled | (on ? QStyle::State_On : QStyle::State_Off);
        style->drawPrimitive(QStyle::PE_IndicatorRadioButton, &mark, painter, w);
        QRect text = opt.rect.adjusted(side + 4, 0, 0, 0);
        painter->setPen(opt.palette.color(opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(text, Qt::AlignVCenter | Qt::AlignLeft, opt.text);
    }
};

// ---------------------------------------------------------------------------
// Reading a line.

std::string evaluate(ScriptDialog* d, std::string_view text)
{
    std::string t(text.substr(0, kLongText));
    if (t.find_first_of("$%") == std::string::npos)
        return t;
    QWidget* w = d->window ? static_cast<QWidget*>(d->window.data()) : nullptr;
    if (!ident_eval_text(w, &t, nullptr, nullptr, 0, 1, -1, d->script, d->conn))
        return std::string();
    return t;
}

std::string trim(std::string_view s)
{
    s = text_skip_blanks(s);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return std::string(s);
}

// The text up to the next comma (the rest after it in `rest`); false when
// there is no comma.
bool cut_comma(std::string_view& rest, std::string_view& piece)
{
    std::size_t c = rest.find(',');
    if (c == std::string_view::npos) {
        piece = rest;
        rest = {};
        return false;
    }
    piece = rest.substr(0, c);
    rest = text_skip_blanks(rest.substr(c + 1));
    return true;
}

// A control's text: double-quoted and literal, or up to the first comma and
// evaluated. False when nothing follows it.
bool read_text(ScriptDialog* d, std::string_view& rest, std::string& text)
{
    rest = text_skip_blanks(rest);
    if (!rest.empty() && rest[0] == '"') {
        std::size_t q = rest.find('"', 1);
        if (q != std::string_view::npos) {
            text.assign(rest.substr(1, q - 1));
            rest = text_skip_blanks(rest.substr(q + 1));
            if (!rest.empty() && rest[0] == ',')
                rest = text_skip_blanks(rest.substr(1));
            return !rest.empty();
        }
    }
    std::string_view piece;
    bool more = cut_comma(rest, piece);
    text = evaluate(d, trim(piece));
    return more && !rest.empty();
}

// Reads up to four whole numbers (64-bit, so that no product overflows).
int read_numbers(std::string_view text, long long* out, int want)
{
    int n = 0;
    std::size_t i = 0;
    while (n < want) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        if (i >= text.size())
            break;
        std::size_t start = i;
        if (text[i] == '-' || text[i] == '+')
            ++i;
        std::size_t digits = i;
        long long v = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            if (v < 1'000'000'000'000LL)
                v = v * 10 + (text[i] - '0');
            ++i;
        }
        if (i == digits)
            break;
        out[n++] = text[start] == '-' ? -v : v;
        while (i < text.size() && text[i] != ' ')
            ++i;
    }
    return n;
}

long long conv_x(long long v, const DialogBaseUnits& b) { return v * b.width / 4; }
long long conv_y(long long v, const DialogBaseUnits& b) { return v * b.height / 8; }

// The number after a style word (blanks skipped), or the fallback.
bool number_after(std::string_view style, std::string_view word, long long& out)
{
    std::size_t p = style.find(word);
    if (p == std::string_view::npos)
        return false;
    std::string_view rest = style.substr(p + word.size());
    return read_numbers(rest, &out, 1) == 1;
}

bool has(std::string_view style, std::string_view word)
{
    return style.find(word) != std::string_view::npos;
}

// ---------------------------------------------------------------------------
// Errors.

struct TableError {
    ScriptDialog* d;
    std::string keyword;
    int id = 0;

    int fail(int code, std::string_view extra = {})
    {
        std::string msg;
        switch (code) {
        case 1651: msg = script_format("* $dialog: '%s' Geçersiz id '%s'", d->table, extra); break;
        case 1652: msg = script_format("* $dialog: '%s' Benzer id '%d'", d->table, extra); break;
        case 1653: msg = script_format("* $dialog: '%s' Icon Yüklemede Hata '%s'", d->table, extra); break;
        case 1654: msg = script_format("* $dialog: '%s' Geçersiz Ön ek (prefix) '%s'", d->table, extra); break;
        case 1656:
            msg = script_format("* $dialog: '%s' Geçersiz Tablo", d->table) + ", Boyutu Belli değil";
            break;
        default: {
            msg = script_format("* $dialog: '%s' Geçersiz Tablo", d->table);
            std::string word = keyword.size() > 256 ? keyword.substr(0, 256) + "..." : keyword;
            msg += ", in '" + word + "'";
            if (id > 0)
                msg += " " + std::to_string(id);
            if (!extra.empty())
                msg += ": " + std::string(extra);
            break;
        }
        }
        script_error_set(msg.substr(0, kLongText));
        return 0;
    }
};

// ---------------------------------------------------------------------------
// Finding the table.

// Whether a header names the table; *local set for "-l".
bool header_matches(std::string_view text, const ScriptDialog* d, ScriptFile* file,
                    std::string_view& after)
{
    text = text_skip_blanks(text);
    if (!text_starts_with_nocase(text, "dialog"))
        return false;
    text = text_skip_blanks(text.substr(6));
    bool local = false;
    if (text.size() >= 3 && text[0] == '-' && (text[1] == 'l' || text[1] == 'L') && text[2] == ' ') {
        local = true;
        text = text_skip_blanks(text.substr(3));
    }
    if (local && file != d->script)
        return false;
    std::size_t end = text.find_first_of(" {");
    std::string_view names = text.substr(0, end);
    after = end == std::string_view::npos ? std::string_view() : text.substr(end);
    // A comma list; blanks after a comma are skipped.
    std::string list(names);
    std::size_t p = 0;
    while (p <= list.size()) {
        std::size_t c = list.find(',', p);
        std::string one = list.substr(p, c == std::string::npos ? std::string::npos : c - p);
        one = trim(one);
        if (!one.empty() && (text_equal_nocase(one, d->table) || wild_match(one, d->table, 0, 1)))
            return true;
        if (c == std::string::npos)
            break;
        p = c + 1;
        while (p < list.size() && list[p] == ' ')
            ++p;
    }
    return false;
}

// The table's header line, or null.
StringNode* find_table(ScriptDialog* d, bool with_window)
{
    EventIndexEntry* head = event_index.head[kEvDialogDef];
    bool own_first = false;
    if (d->script)
        for (EventIndexEntry* e = head; e; e = e->next)
            if (e->script == d->script) {
                own_first = true;
                break;
            }
    for (int pass = 0; pass < 2; ++pass) {
        for (EventIndexEntry* e = head; e; e = e->next) {
            if (!e->enabled || !e->line)
                continue;
            if (own_first && (pass == 0) != (e->script == d->script))
                continue;
            std::string_view after;
            if (!header_matches(e->line->text, d, e->script, after))
                continue;
            if (!with_window)
                return e->line;
            std::string tail = trim(after);
            if (tail != "{")
                continue;
            if (!d->script)
                d->script = e->script;
            return e->line;
        }
        if (!own_first)
            break;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// Building.

class Builder {
public:
    explicit Builder(ScriptDialog* d) : d_(d), err_{d, {}, 0}, base_(dialog_base_units()) {}
    int build(StringNode* header);

private:
    int line(std::string_view keyword, std::string_view rest);
    int title(std::string_view rest);
    int size(std::string_view rest);
    int option(std::string_view rest);
    int control(int kind, std::string_view rest);
    int icon_control(std::string_view rest);
    int tab(std::string_view rest);
    int menu(std::string_view rest);
    int item(std::string_view rest);
    int read_id(std::string_view& rest, int& id);
    int read_rect(std::string_view& rest, QRect& r);
    int id_in_use(int id) const { return dialog_control(d_, id) || dialog_menu_entry(d_, id); }
    void common(DialogControl& c, QWidget* w, std::string_view style);
    void take_flags(std::string& text, int& flags);

    ScriptDialog* d_;
    TableError err_;
    DialogBaseUnits base_;
    bool have_size_ = false;
    int menu_count_ = 0;
    QRect tab_rect_;
};

int Builder::build(StringNode* header)
{
    int depth = script_brace_depth(header->text, 0, 0);
    for (StringNode* n = header->next; n && depth > 0; n = n->next) {
        depth = script_brace_depth(n->text, depth, 0);
        std::string_view text = text_skip_blanks(n->text);
        std::size_t sp = text.find(' ');
        if (sp == std::string_view::npos)
            continue;
        std::string_view rest = text_skip_blanks(text.substr(sp));
        if (rest.empty())
            continue;
        if (!line(text.substr(0, sp), rest))
            return 0;
        if (!dialog_is_live(d_) || !d_->window)
            return 0;
    }
    if (!have_size_)
        return err_.fail(1656);
    if (!d_->tab_ids.empty())
        dialog_show_page(d_, 0);
    return 1;
}

int Builder::line(std::string_view keyword, std::string_view rest)
{
    err_.keyword.assign(keyword);
    err_.id = 0;
    std::string kw = text_lower_copy(keyword);
    static const struct {
        const char* word;
        int kind;
    } kinds[] = {{"text", kDlgText}, {"link", kDlgLink},     {"edit", kDlgEdit},
                 {"button", kDlgButton}, {"check", kDlgCheck}, {"radio", kDlgRadio},
                 {"box", kDlgBox},   {"scroll", kDlgScroll}, {"list", kDlgList},
                 {"combo", kDlgCombo}};
    if (kw == "title")
        return title(rest);
    if (kw == "size")
        return size(rest);
    if (kw == "option")
        return option(rest);
    if (kw == "icon") {
        // A first value that is an integer makes an icon control.
        std::string_view first = rest;
        std::string_view piece;
        cut_comma(first, piece);
        std::string v = evaluate(d_, trim(piece));
        if (!text_is_integer(v)) {
            std::string file = v;
            if (!piece.empty() && piece[0] == '"')
                file = trim(piece);
            long long index = 0;
            read_numbers(evaluate(d_, first), &index, 1);
            DialogPicture p;
            p.id = 0;
            if (dialog_load_picture(d_, file, index < 0 ? 0 : static_cast<int>(index), p)) {
                d_->pictures.push_back(p);
                d_->window->setWindowIcon(QIcon(QPixmap::fromImage(p.image)));
            }
            return 1;
        }
        return icon_control(rest);
    }
    if (kw == "tab")
        return tab(rest);
    if (kw == "menu")
        return menu(rest);
    if (kw == "item")
        return item(rest);
    for (const auto& k : kinds)
        if (kw == k.word)
            return control(k.kind, rest);
    // Not a kind: the line is still read before the prefix is named.
    std::string text;
    int id = 0;
    QRect r;
    if (!read_text(d_, rest, text) || !read_id(rest, id) || !read_rect(rest, r))
        return 0;
    return err_.fail(1654, keyword);
}

int Builder::title(std::string_view rest)
{
    std::string text;
    std::string t = trim(rest);
    if (t.size() >= 2 && t.front() == '"' && t.back() == '"')
        text = t.substr(1, t.size() - 2);
    else
        text = evaluate(d_, t);
    d_->window->setWindowTitle(QString::fromStdString(text.empty() ? "Kest" : text));
    return 1;
}

int Builder::size(std::string_view rest)
{
    std::string v = evaluate(d_, trim(rest));
    std::string_view text = v;
    std::size_t comma = text.find(',');
    if (comma != std::string_view::npos)
        text = text.substr(0, comma);
    long long n[4];
    if (read_numbers(text, n, 4) < 4)
        return err_.fail(1655, "four numbers");
    if (d_->dbu) {
        if (n[2] != -1)
            n[2] = conv_x(n[2], base_);
        if (n[3] != -1)
            n[3] = conv_y(n[3], base_);
    }
    for (long long v4 : n)
        if (v4 < -kDialogMaxCoord || v4 > kDialogMaxCoord)
            return err_.fail(1655, "size out of range");
    if ((n[2] < 0 && n[2] != -1) || (n[3] < 0 && n[3] != -1))
        return err_.fail(1655, "size out of range");
    d_->x = static_cast<int>(n[0]);
    d_->y = static_cast<int>(n[1]);
    d_->w = static_cast<int>(n[2]);
    d_->h = static_cast<int>(n[3]);
    have_size_ = true;
    return 1;
}

int Builder::option(std::string_view rest)
{
    std::string v = text_lower_copy(evaluate(d_, trim(rest)));
    if (has(v, "dbu")) {
        if (!d_->dbu && have_size_) {
            if (d_->w != -1)
                d_->w = static_cast<int>(std::min<long long>(conv_x(d_->w, base_), kDialogMaxCoord));
            if (d_->h != -1)
                d_->h = static_cast<int>(std::min<long long>(conv_y(d_->h, base_), kDialogMaxCoord));
        }
        d_->dbu = 1;
    }
    if (has(v, "pixels"))
        d_->dbu = 0;
    if (has(v, "notheme"))
        d_->no_theme = 1;
    return 1;
}

int Builder::read_id(std::string_view& rest, int& id)
{
    std::string_view piece;
    cut_comma(rest, piece);
    std::string v = trim(evaluate(d_, trim(piece)));
    long long n = 0;
    if (read_numbers(v, &n, 1) != 1 || n < 1 || n > kDialogMaxId)
        return err_.fail(1651, v);
    id = static_cast<int>(n);
    err_.id = id;
    if (id_in_use(id))
        return err_.fail(1652, std::to_string(id));
    return 1;
}

int Builder::read_rect(std::string_view& rest, QRect& r)
{
    std::string_view piece;
    cut_comma(rest, piece);
    std::string v = evaluate(d_, trim(piece));
    long long n[4];
    if (read_numbers(v, n, 4) < 4)
        return err_.fail(1655, "four numbers");
    if (d_->dbu) {
        n[0] = conv_x(n[0], base_);
        n[1] = conv_y(n[1], base_);
        n[2] = conv_x(n[2], base_);
        n[3] = conv_y(n[3], base_);
    }
    for (long long v4 : n)
        if (v4 < -kDialogMaxCoord || v4 > kDialogMaxCoord)
            return err_.fail(1655, "place out of range");
    r = QRect(static_cast<int>(n[0]), static_cast<int>(n[1]), std::max(0, static_cast<int>(n[2])),
              std::max(0, static_cast<int>(n[3])));
    return 1;
}

// The common style words of every kind.
void Builder::common(DialogControl& c, QWidget* w, std::string_view style)
{
    c.widget = w;
    w->setObjectName(QString("dlg%1").arg(c.id));
    if (has(style, "disable"))
        w->setEnabled(false);
    if (has(style, "result"))
        d_->result_id = c.id;
    std::size_t pc = style.find('%');
    if (pc != std::string_view::npos) {
        std::size_t e = style.find_first_of(" ,", pc);
        std::string var(style.substr(pc, e == std::string_view::npos ? std::string_view::npos : e - pc));
        if (var.size() > 1)
            d_->bindings.push_back({var, c.id});
    }
    c.shown = has(style, "hide") ? 0 : 1;
}

int Builder::control(int kind, std::string_view rest)
{
    std::string text;
    if (kind != kDlgList && kind != kDlgCombo) {
        if (!read_text(d_, rest, text))
            return err_.fail(1655);
    }
    int id = 0;
    QRect r;
    if (!read_id(rest, id) || !read_rect(rest, r))
        return 0;
    std::string style = text_lower_copy(rest);
    // "tab n": which page.
    int page = -1;
    long long tab_id = 0;
    std::size_t tp = style.find("tab");
    if (tp != std::string::npos && read_numbers(std::string_view(style).substr(tp + 3), &tab_id, 1) == 1 &&
        !d_->tab_ids.empty()) {
        auto it = std::find(d_->tab_ids.begin(), d_->tab_ids.end(), static_cast<int>(tab_id));
        if (it == d_->tab_ids.end())
            return err_.fail(1655, "no such tab");
        page = static_cast<int>(it - d_->tab_ids.begin());
    }
    QWidget* parent = d_->window->client();
    const QString qtext = QString::fromStdString(text);
    DialogControl c;
    c.id = id;
    c.kind = kind;
    c.tab_page = page;
    QWidget* w = nullptr;
    auto align = [&](Qt::Alignment base) {
        if (has(style, "center"))
            return Qt::AlignHCenter | base;
        if (has(style, "right"))
            return Qt::AlignRight | base;
        return Qt::AlignLeft | base;
    };
    switch (kind) {
    case kDlgText: {
        auto* l = new QLabel(qtext, parent);
        l->setAlignment(align(Qt::AlignTop));
        l->setWordWrap(!has(style, "center") && !has(style, "right") ? !has(style, "nowrap") : true);
        l->setTextFormat(Qt::PlainText);
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
        w = l;
        break;
    }
    case kDlgLink: {
        auto* l = new QLabel(qtext, parent);
        l->setAlignment(align(Qt::AlignTop));
        l->setWordWrap(true);
        l->setTextFormat(Qt::PlainText);
        QFont f = l->font();
        f.setUnderline(true);
        l->setFont(f);
        QPalette pal = l->palette();
        pal.setColor(QPalette::WindowText, QColor(0, 0, 0x9B));
        l->setPalette(pal);
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
        c.text = text;
        // A hidden or disabled link is one that does not show.
        c.enabled = has(style, "hide") || has(style, "disable") ? 0 : 1;
        w = l;
        break;
    }
    case kDlgEdit: {
        const bool multi = has(style, "multi");
        c.multi_line = multi ? 1 : 0;
        long long limit = 0;
        if (number_after(style, "limit", limit) && (limit < 0 || limit > 30000))
            limit = 0;
        if (multi) {
            auto* e = new QPlainTextEdit(qtext, parent);
            e->setReadOnly(has(style, "read"));
            e->setLineWrapMode(has(style, "hsbar") || has(style, "autohs") ? QPlainTextEdit::NoWrap
                                                                          : QPlainTextEdit::WidgetWidth);
            e->setVerticalScrollBarPolicy(has(style, "vsbar") ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
            e->setTabChangesFocus(true);
            e->document()->setModified(false);
            w = e;
        } else {
            auto* e = new QLineEdit(qtext, parent);
            e->setReadOnly(has(style, "read"));
            if (has(style, "pass"))
                e->setEchoMode(QLineEdit::Password);
            if (has(style, "number"))
                e->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), e));
            e->setAlignment(align(Qt::AlignVCenter));
            if (limit > 0)
                e->setMaxLength(static_cast<int>(limit));
            e->setModified(false);
            w = e;
        }
        w->setProperty("wants_return", has(style, "return"));
        break;
    }
    case kDlgButton: {
        auto* b = new QPushButton(qtext, parent);
        b->setAutoDefault(false);
        b->setFlat(has(style, "flat"));
        if (has(style, "default") && !d_->default_id) {
            d_->default_id = id;
            b->setDefault(true);
        }
        if (has(style, "ok"))
            d_->ok_id = id;
        else if (has(style, "cancel"))
            d_->cancel_id = id;
        w = b;
        break;
    }
    case kDlgCheck: {
        auto* b = new DialogCheckBox(qtext, parent);
        b->setTristate(has(style, "3state"));
        if (has(style, "left"))
            b->setLayoutDirection(Qt::RightToLeft);
        w = b;
        break;
    }
    case kDlgRadio: {
        auto* b = new QRadioButton(qtext, parent);
        b->setAutoExclusive(false);
        if (has(style, "left"))
            b->setLayoutDirection(Qt::RightToLeft);
        // A group runs from a radio with "group" (or the first) to the next.
        if (!d_->radio_group || has(style, "group"))
            d_->radio_group = new QButtonGroup(d_->window);
        d_->radio_group->addButton(b);
        w = b;
        break;
    }
    case kDlgBox: {
        auto* g = new QGroupBox(qtext, parent);
        g->setAttribute(Qt::WA_TransparentForMouseEvents);
        w = g;
        break;
    }
    case kDlgScroll: {
        const bool horiz = has(style, "horiz");
        auto* s = new QScrollBar(horiz ? Qt::Horizontal : Qt::Vertical, parent);
        s->setSingleStep(1);
        s->setPageStep(5);
        s->setRange(0, 100);
        const int thick = parent->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        if (horiz) {
            if (!has(style, "top"))
                r.setTop(r.bottom() + 1 - thick);
            r.setHeight(thick);
        } else {
            if (!has(style, "left"))
                r.setLeft(r.right() + 1 - thick);
            r.setWidth(thick);
        }
        std::size_t rp = style.find("range");
        if (rp != std::string::npos) {
            long long n[2] = {0, 0};
            int got = read_numbers(std::string_view(style).substr(rp + 5), n, 2);
            long long lo = got == 2 ? n[0] : 0, hi = got == 2 ? n[1] : (got == 1 ? n[0] : 0);
            lo = std::clamp<long long>(lo, -1'000'000'000LL, 1'000'000'000LL);
            hi = std::clamp<long long>(hi, -1'000'000'000LL, 1'000'000'000LL);
            if (lo || hi)
                s->setRange(static_cast<int>(lo), static_cast<int>(hi));
        }
        w = s;
        break;
    }
    case kDlgList: {
        auto* l = new QListWidget(parent);
        if (has(style, "check"))
            c.list_kind = 1;
        else if (has(style, "radio"))
            c.list_kind = 2;
        if (c.list_kind != 2 && has(style, "extsel"))
            l->setSelectionMode(QAbstractItemView::ExtendedSelection);
        else if (c.list_kind != 2 && has(style, "multsel"))
            l->setSelectionMode(QAbstractItemView::MultiSelection);
        else
            l->setSelectionMode(QAbstractItemView::SingleSelection);
        l->setSortingEnabled(has(style, "sort"));
        l->setVerticalScrollBarPolicy(has(style, "vsbar") ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
        l->setHorizontalScrollBarPolicy(has(style, "hsbar") ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
        l->setProperty("list_kind", c.list_kind);
        if (c.list_kind == 2)
            l->setItemDelegate(new RadioListDelegate(l));
        w = l;
        break;
    }
    case kDlgCombo: {
        auto* cb = new QComboBox(parent);
        const bool drop = has(style, "drop");
        // Without "drop" a simple combo, which has an edit part too.
        cb->setEditable(!drop || has(style, "edit"));
        cb->setInsertPolicy(QComboBox::NoInsert);
        if (has(style, "sort"))
            cb->setProperty("sorted", true);
        long long limit = 0;
        if (number_after(style, "limit", limit) && (limit < 0 || limit > 30000))
            limit = 0;
        if (limit > 0 && cb->lineEdit())
            cb->lineEdit()->setMaxLength(static_cast<int>(limit));
        w = cb;
        break;
    }
    default:
        return err_.fail(1655);
    }
    // A combo's rectangle holds its dropped list too: the closed box is as
    // high as one line.
    if (kind == kDlgCombo)
        r.setHeight(std::min(r.height(), w->sizeHint().height()));
    w->setGeometry(r);
    if (kind != kDlgBox && kind != kDlgText && kind != kDlgLink && kind != kDlgScroll)
        w->setFocusPolicy(Qt::StrongFocus);
    // Any control with "group" ends the radios' group before it.
    if (has(style, "group") && kind != kDlgRadio)
        d_->radio_group = nullptr;
    common(c, w, style);
    if (kind == kDlgLink && has(style, "disable"))
        w->setEnabled(true);
    if (kind == kDlgBox)
        w->lower();
    const bool visible = c.shown && (kind != kDlgLink || c.enabled) && dialog_control_on_page(d_, c);
    w->setVisible(visible);
    d_->controls.push_back(c);
    d_->window->wire(d_->controls.back());
    return 1;
}

int Builder::icon_control(std::string_view rest)
{
    int id = 0;
    QRect r;
    if (!read_id(rest, id) || !read_rect(rest, r))
        return 0;
    std::string_view file_piece;
    cut_comma(rest, file_piece);
    std::string file = evaluate(d_, trim(file_piece));
    std::string after = evaluate(d_, rest);
    std::string style = text_lower_copy(after);
    long long index = 0;
    read_numbers(after, &index, 1);
    DialogPicture p;
    p.id = id;
    if (!file.empty()) {
        if (!dialog_load_picture(d_, file, index < 0 ? 0 : static_cast<int>(index), p))
            return err_.fail(1653, file);
    }
    p.border = has(style, "noborder") ? 0 : 1;
    static const struct {
        const char* word;
        int bit;
    } sizes[] = {{"small", 1}, {"large", 2}, {"actual", 4}}, aligns[] = {{"left", 1}, {"right", 2}, {"top", 4}, {"bottom", 8}};
    std::size_t last = std::string::npos;
    for (const auto& s : sizes) {
        std::size_t at = style.find(s.word);
        if (at != std::string::npos && (last == std::string::npos || at > last)) {
            last = at;
            p.size_flags = s.bit;
        }
    }
    for (const auto& a : aligns)
        if (has(style, a.word))
            p.align |= a.bit;
    if (has(style, "disable"))
        p.enabled = 0;
    DialogControl c;
    c.id = id;
    c.kind = kDlgIcon;
    auto* l = new DialogPictureBox(d_, id, d_->window->client());
    l->setGeometry(r);
    l->setAttribute(Qt::WA_TransparentForMouseEvents);
    c.widget = l;
    l->setObjectName(QString("dlg%1").arg(id));
    c.enabled = has(style, "hide") || has(style, "disable") ? 0 : 1;
    d_->pictures.push_back(p);
    d_->controls.push_back(c);
    d_->window->wire(d_->controls.back());
    l->setVisible(c.enabled != 0);
    return 1;
}

int Builder::tab(std::string_view rest)
{
    std::string text;
    if (!read_text(d_, rest, text))
        return err_.fail(1655);
    int id = 0;
    if (!read_id(rest, id))
        return 0;
    if (static_cast<int>(d_->tab_ids.size()) >= kDialogMaxTabs)
        return err_.fail(1655, "too many tabs");
    QWidget* parent = d_->window->client();
    if (d_->tab_ids.empty()) {
        QRect r;
        if (!read_rect(rest, r))
            return 0;
        tab_rect_ = QRect(r.x(), r.y() + 5, std::max(10, r.width()), std::max(25, r.height()));
        auto* bar = new QTabBar(parent);
        bar->setDrawBase(false);
        bar->setExpanding(false);
        bar->setUsesScrollButtons(true);
        const int row = bar->sizeHint().height() > 0 ? bar->sizeHint().height() : 24;
        bar->setGeometry(tab_rect_.x(), tab_rect_.y(), tab_rect_.width(), row);
        bar->setObjectName("dlgtabs");
        d_->tabs = bar;
        auto* area = new QFrame(parent);
        area->setFrameStyle(QFrame::Box | QFrame::Plain);
        area->setGeometry(tab_rect_.x(), tab_rect_.y() + row, tab_rect_.width(),
                          std::max(0, tab_rect_.height() - row - 9));
        area->setAttribute(Qt::WA_TransparentForMouseEvents);
        area->lower();
        d_->page_area = area;
    }
    d_->suppressed++;
    d_->tabs->addTab(QString::fromStdString(text));
    d_->suppressed--;
    DialogControl c;
    c.id = id;
    c.kind = kDlgTab;
    c.page = static_cast<int>(d_->tab_ids.size());
    c.text = text;
    c.widget = d_->tabs;
    d_->tab_ids.push_back(id);
    d_->controls.push_back(c);
    d_->window->wire(d_->controls.back());
    return 1;
}

// A "$style(n)" prefix: the menu flags (1 checked, 2 greyed) and the text
// without it.
void Builder::take_flags(std::string& text, int& flags)
{
    flags = 0;
    if (text_starts_with_nocase(text, "$style(")) {
        std::size_t close = text.find(')');
        long long n = 0;
        read_numbers(std::string_view(text).substr(7), &n, 1);
        flags = static_cast<int>(n & 3);
        text = close == std::string::npos ? std::string() : std::string(text_skip_blanks(std::string_view(text).substr(close + 1)));
    }
}

int Builder::menu(std::string_view rest)
{
    if (++menu_count_ > kDialogMaxMenus)
        return err_.fail(1655, "too many menus");
    std::string text;
    bool more = read_text(d_, rest, text);
    int id = 0;
    long long parent_id = 0;
    bool has_parent = false;
    if (more) {
        std::string_view piece;
        std::string_view copy = rest;
        cut_comma(copy, piece);
        if (!trim(piece).empty() && !read_id(rest, id))
            return 0;
        if (trim(piece).empty())
            rest = copy;
        std::string v = evaluate(d_, trim(rest));
        has_parent = read_numbers(v, &parent_id, 1) == 1;
    }
    int flags = 0;
    take_flags(text, flags);
    QMenu* parent_popup = nullptr;
    int depth = 1;
    if (has_parent) {
        DialogMenuEntry* p = dialog_menu_entry(d_, static_cast<int>(parent_id));
        if (!p || !p->popup)
            return err_.fail(1655, "no such menu");
        parent_popup = p->popup;
        depth = p->depth + 1;
        if (depth > kDialogMaxMenuDepth)
            return err_.fail(1655, "menus nested too deep");
    }
    QMenuBar* bar = d_->window->menu_bar();
    auto* popup = new QMenu(QString::fromStdString(text), d_->window);
    QAction* a = parent_popup ? parent_popup->addMenu(popup) : bar->addMenu(popup);
    a->setCheckable(flags & 1);
    a->setChecked(flags & 1);
    a->setEnabled(!(flags & 2));
    d_->menus.push_back({id, a, popup, parent_popup, depth});
    d_->current_menu = popup;
    return 1;
}

int Builder::item(std::string_view rest)
{
    if (++menu_count_ > kDialogMaxMenus)
        return err_.fail(1655, "too many menus");
    std::string text;
    if (!read_text(d_, rest, text))
        return err_.fail(1655, "no id");
    int id = 0;
    if (!read_id(rest, id))
        return 0;
    std::string tail = text_lower_copy(evaluate(d_, trim(rest)));
    long long menu_id = 0;
    QMenu* popup = d_->current_menu;
    if (read_numbers(tail, &menu_id, 1) == 1) {
        DialogMenuEntry* p = dialog_menu_entry(d_, static_cast<int>(menu_id));
        if (!p || !p->popup)
            return err_.fail(1655, "no such menu");
        popup = p->popup;
    }
    if (!popup)
        return err_.fail(1655, "no menu");
    int flags = 0;
    take_flags(text, flags);
    QAction* a;
    if (text_equal_nocase(text, "break"))
        a = popup->addSeparator();
    else
        a = popup->addAction(QString::fromStdString(text.empty() ? " " : text));
    a->setCheckable(flags & 1);
    a->setChecked(flags & 1);
    a->setEnabled(!(flags & 2));
    if (has(tail, "ok"))
        d_->ok_id = id;
    else if (has(tail, "cancel"))
        d_->cancel_id = id;
    d_->menus.push_back({id, a, nullptr, popup, 0});
    QObject::connect(a, &QAction::triggered, d_->window, [d = d_, id]() {
        if (dialog_is_live(d))
            dialog_event(d, "menu", id);
    });
    return 1;
}

}  // namespace

int dialog_load_picture(ScriptDialog* d, const std::string& file_in, int index, DialogPicture& out)
{
    std::string file = trim(file_in);
    if (file.size() >= 2 && file.front() == '"' && file.back() == '"')
        file = file.substr(1, file.size() - 2);
    if (file.empty())
        return 0;
    std::vector<std::string> tries;
    // The script may have been unloaded since the dialog opened.
    bool script_loaded = false;
    for (ScriptFile* f = remote_list; f && d->script; f = f->next)
        script_loaded |= f == d->script;
    if (script_loaded) {
        QFileInfo info(QString::fromStdString(d->script->path));
        tries.push_back(info.absolutePath().toStdString() + "/" + QFileInfo(QString::fromStdString(file)).fileName().toStdString());
    }
    std::string resolved;
    if (file_resolve_file_path(file, resolved))
        tries.push_back(resolved);
    for (const std::string& path : tries) {
        QImage img;
        int idx = index;
        if (img_is_picture_file(path)) {
            img_load_file(path, img, img_colour(QApplication::palette().color(QPalette::Window).rgb()), 0);
            idx = -1;
        } else if (QFileInfo::exists(QString::fromStdString(path))) {
            QIcon icon(QString::fromStdString(path));
            const int side = out.size_flags & 2 ? 32 : 16;
            if (!icon.isNull())
                img = icon.pixmap(side, side).toImage();
        }
        if (img.isNull())
            continue;
        out.image = img;
        out.file = path;
        out.index = idx;
        return 1;
    }
    return 0;
}

int ParseDialogTable(ScriptDialog* d)
{
    if (!d->conn || !conn_is_live(d->conn))
        return 0;
    const bool with_window = d->window != nullptr;
    StringNode* header = find_table(d, with_window);
    if (!header)
        return 0;
    if (!with_window)
        return 1;
    d->suppressed++;
    Builder b(d);
    int ok = b.build(header);
    if (dialog_is_live(d))
        d->suppressed--;
    return ok;
}
