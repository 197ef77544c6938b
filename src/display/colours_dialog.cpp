#include "display/colours_dialog.h"

#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/list_sort.h"
#include "core/numbered_texts.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "model/colors.h"
#include "platform/platform_utils.h"

namespace {

class ColoursDialog;

QPointer<ColoursDialog> g_dialog;
StringNode* g_working = nullptr;
int g_item_selection = 0;   // the item selected when the dialog last closed

std::string name_of(const StringNode* n)
{
    const std::size_t comma = n->text.find(',');
    return comma == std::string::npos ? n->text : n->text.substr(0, comma);
}

StringNode* find_by_name(const std::string& name)
{
    std::string wanted = name;
    return color_scheme_find(g_working, wanted, 0);
}

QColor edited_colour(int index)
{
    return QColor::fromRgb(color_rgb_to_argb(color_palette_edited.rgb[index & 15]));
}

// The preview: a miniature window painted with the edited colours; a click
// on a title selects its item.
class Preview : public QWidget {
public:
    explicit Preview(QWidget* parent) : QWidget(parent)
    {
        setMinimumSize(2 * kColumn + side_width() + 4, 200);
    }
    std::vector<std::pair<QRect, int>> hits;   // item regions, smallest last

private:
    static constexpr int kColumn = 110;   // width of a column of titles
    static QFont title_font()
    {
        QFont font(QStringLiteral("Sans"), 8);
        font.setBold(true);
        return font;
    }
    static QString item_title(int item)
    {
        const ColorItem& c = color_items[item];
        return QString::fromStdString(c.title.empty() ? c.name : c.title);
    }
    // The side column is as wide as its widest title, never narrower than 89.
    static int side_width()
    {
        const QFontMetrics metrics(title_font());
        int side = 89;
        for (int item : {24, 25, 26, 29})
            side = std::max(side, metrics.horizontalAdvance(item_title(item)) + 10);
        return side;
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        hits.clear();
        const QFont font = title_font();
        p.setFont(font);
        const int lh = QFontMetrics(font).height() + 2;
        const int side = side_width();
        const QRect all = rect();
        const QRect text(0, 0, all.width() - side, all.height() - lh - 4);
        const QRect edit_on(0, text.bottom() + 1, text.width() / 2, all.height() - text.height());
        const QRect edit_off(edit_on.right() + 1, edit_on.top(), text.width() - edit_on.width(), edit_on.height());
        const QRect list(text.right() + 1, 0, side, all.height() / 2);
        const QRect tree(list.left(), list.bottom() + 1, side, all.height() - list.height());
        auto region = [&](const QRect& r, int item) {
            p.fillRect(r, edited_colour(color_items[item].edited));
            hits.emplace_back(r, item);
        };
        auto title = [&](const QRect& r, int item, int x, int y) {
            p.setPen(edited_colour(color_items[item].edited));
            const QString t = item_title(item);
            const QRect box(r.left() + x, r.top() + y, QFontMetrics(font).horizontalAdvance(t) + 2, lh);
            p.drawText(box.adjusted(1, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, t);
            hits.emplace_back(box, item);
        };
        region(text, 0);
        region(edit_on, 21);
        region(edit_off, 27);
        region(list, 23);
        region(tree, 28);
        int x = 4, y = 2;
        for (int item = 1; item <= 20; ++item) {
            if (y + lh > text.height()) {
                y = 2;
                x += kColumn;
            }
            title(text, item, x, y);
            y += lh;
        }
        title(edit_on, 22, 4, 1);
        title(edit_off, 22, 4, 1);
        title(list, 24, 4, 2);
        title(list, 25, 4, 2 + lh);
        title(list, 26, 4, 2 + 2 * lh);
        title(tree, 29, 4, 2);
        p.setPen(palette().color(QPalette::Dark));
        p.drawLine(text.topRight(), QPoint(text.right(), all.bottom()));
        p.drawLine(text.bottomLeft(), text.bottomRight());
        // The selected item's region or title gets a focus frame.
        for (auto it = hits.rbegin(); it != hits.rend(); ++it) {
            if (it->second != g_item_selection)
                continue;
            const QColor under = edited_colour(color_items[0].edited);
            p.setPen(QPen(QColor(255 - under.red(), 255 - under.green(), 255 - under.blue()), 1,
                          Qt::DotLine));
            p.drawRect(it->first.adjusted(0, 0, -1, -1));
            break;
        }
    }
    void mousePressEvent(QMouseEvent* e) override
    {
        const QPoint pt = e->position().toPoint();
        for (auto it = hits.rbegin(); it != hits.rend(); ++it) {
            if (it->first.contains(pt)) {
                color_dialog_select_item(it->second);
                return;
            }
        }
    }
};

// Sixteen swatches in two rows of eight.
class Swatches : public QWidget {
public:
    explicit Swatches(QWidget* parent) : QWidget(parent) { setMinimumSize(240, 60); }

    QRect swatch(int i) const
    {
        const int pitch = width() / 8, h = height() / 2 - 2;
        const int row = i / 8, col = i % 8;
        return QRect(col * pitch, row == 0 ? 0 : height() / 2 + 2, pitch - 3, h);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const int chosen = color_items[g_item_selection].edited;
        for (int i = 0; i < 16; ++i) {
            const QRect r = swatch(i);
            p.fillRect(r, palette().color(QPalette::Dark));
            p.fillRect(r.adjusted(2, 2, -2, -2), edited_colour(i));
            if (i == chosen) {
                p.setPen(QPen(palette().color(QPalette::Text), 2));
                p.drawRect(r.adjusted(1, 1, -1, -1));
            }
        }
    }
    void mousePressEvent(QMouseEvent* e) override
    {
        const int i = at(e->position().toPoint());
        if (i >= 0 && e->button() == Qt::LeftButton)
            color_dialog_set_index(i);
    }
    void mouseReleaseEvent(QMouseEvent* e) override
    {
        const int i = at(e->position().toPoint());
        if (i < 0 || e->button() != Qt::RightButton)
            return;
        const QColor chosen = QColorDialog::getColor(edited_colour(i), this);
        if (chosen.isValid())
            color_dialog_set_rgb(i, color_rgb_make(chosen.red(), chosen.green(), chosen.blue()));
    }

private:
    int at(const QPoint& pt) const
    {
        for (int i = 0; i < 16; ++i)
            if (swatch(i).contains(pt))
                return i;
        return -1;
    }
};

class ColoursDialog : public QDialog {
public:
    explicit ColoursDialog(QWidget* parent) : QDialog(parent)
    {
        setWindowTitle(QStringLiteral("Kest Renkler (alt+k)"));
        schemes = new QComboBox(this);
        dlg_set_item_id(schemes, 140);
        auto* add = new QPushButton(QStringLiteral("&Yeni"), this);
        auto* del = new QPushButton(QStringLiteral("&Sil"), this);
        items = new QComboBox(this);
        dlg_set_item_id(add, 141);
        dlg_set_item_id(del, 142);
        dlg_set_item_id(items, 143);
        preview = new Preview(this);
        dlg_set_item_id(preview, 144);
        swatches = new Swatches(this);
        dlg_set_item_id(swatches, 145);
        auto* reset = new QPushButton(QString::fromUtf8("&Sıfırla"), this);
        auto* ok = new QPushButton(QStringLiteral("Tamam"), this);
        auto* cancel = new QPushButton(QString::fromUtf8("İptal"), this);
        dlg_set_item_id(reset, 146);
        dlg_set_item_id(ok, 1);
        dlg_set_item_id(cancel, 2);
        auto* top = new QHBoxLayout;
        top->addWidget(schemes, 1);
        top->addWidget(add);
        top->addWidget(del);
        auto* bottom = new QHBoxLayout;
        bottom->addWidget(reset);
        bottom->addStretch(1);
        bottom->addWidget(ok);
        bottom->addWidget(cancel);
        auto* layout = new QVBoxLayout(this);
        layout->addLayout(top);
        layout->addWidget(items);
        layout->addWidget(preview, 1);
        layout->addWidget(swatches);
        layout->addLayout(bottom);
        for (const ColorItem& item : color_items)
            items->addItem(QString::fromStdString(item.title.empty() ? item.name : item.title));
        connect(items, &QComboBox::currentIndexChanged, this, [](int i) {
            if (i >= 0)
                color_dialog_select_item(i);
        });
        connect(schemes, &QComboBox::activated, this, [this](int i) {
            color_dialog_choose_scheme(schemes->itemText(i).toStdString());
        });
        connect(add, &QPushButton::clicked, this, [this] {
            bool accepted = false;
            const QString name = QInputDialog::getText(this, QString::fromUtf8("Tasarı Ekleme"), QString(),
                                                       QLineEdit::Normal, QString(), &accepted);
            if (accepted)
                color_dialog_new_scheme(name.toStdString());
        });
        connect(del, &QPushButton::clicked, this, [] { color_dialog_delete_scheme(); });
        connect(reset, &QPushButton::clicked, this, [] { color_dialog_reset(); });
        connect(ok, &QPushButton::clicked, this, [this] { confirm(); });
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
        connect(this, &QDialog::rejected, this, [] {
            strlist_free(&g_working);
        });
    }

    void fill_schemes(const std::string& chosen)
    {
        schemes->clear();
        for (StringNode* n = g_working; n; n = n->next)
            schemes->addItem(QString::fromStdString(name_of(n)));
        const int at = schemes->findText(QString::fromStdString(chosen), Qt::MatchFixedString);
        schemes->setCurrentIndex(at >= 0 ? at : 0);
    }
    std::string chosen() const { return schemes->currentText().toStdString(); }
    void redraw()
    {
        preview->update();
        swatches->update();
    }

    void confirm()
    {
        const std::string name = chosen();
        strlist_free(&color_schemes);
        color_schemes = g_working;
        g_working = nullptr;
        std::string wanted = name;
        StringNode* scheme = color_scheme_find(color_schemes, wanted, 0);
        color_scheme_apply(color_schemes, scheme, 1);
        color_apply_all();
        color_save();
        accept();
    }

    QComboBox* schemes = nullptr;
    QComboBox* items = nullptr;
    Preview* preview = nullptr;
    Swatches* swatches = nullptr;
};

// After every change of the working copy: the chosen scheme's node is made
// again from the edited column under the same name and carries the
// current flag.
void replace_chosen()
{
    if (!g_dialog)
        return;
    const std::string name = g_dialog->chosen();
    if (name.empty())
        return;
    if (StringNode* old = find_by_name(name))
        g_working = strlist_remove(g_working, old);
    StringNode* node = color_scheme_text(name, 2);
    if (!node)
        return;
    for (StringNode* n = g_working; n; n = n->next)
        n->number = 0;
    node->number = 1;
    g_working = strlist_sort(strlist_splice(g_working, nullptr, node), 7);
    g_dialog->redraw();
}

}  // namespace

namespace {

// Opens the dialog unless it is open; 1 when it opened.
int open_dialog(QWidget* parent)
{
    if (g_dialog)
        return 0;
    color_load();
    for (ColorItem& item : color_items)
        item.edited = item.current;
    color_palette_edited = color_palette_current;
    strlist_free(&g_working);
    g_working = strlist_copy(color_schemes);
    if (!g_working)
        g_working = color_scheme_text(color_default_scheme_name(), 0);
    g_working = strlist_sort(g_working, 7);
    std::string current;
    StringNode* scheme = nullptr;
    for (StringNode* n = g_working; n; n = n->next)
        if (n->number == 1)
            scheme = n;
    if (!scheme)
        scheme = g_working;
    current = name_of(scheme);
    color_scheme_apply(g_working, scheme, 2);
    auto* dialog = new ColoursDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(true);
    g_dialog = dialog;
    dialog->fill_schemes(current);
    dialog->items->setCurrentIndex(g_item_selection);
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog](int) {
        g_item_selection = std::max(0, dialog->items->currentIndex());
    });
    dialog->show();
    return 1;
}

}  // namespace

int color_dialog_open(QWidget* parent)
{
    if (open_dialog(parent))
        return 1;
    beep_error(0);
    return 0;
}

// The menu command beeps itself when the dialog is open already.
int color_dialog_open_from_frame()
{
    return open_dialog(win_frame_handle());
}

QDialog* color_dialog()
{
    return g_dialog.data();
}

StringNode* color_dialog_working_list()
{
    return g_working;
}

void color_dialog_select_item(int item)
{
    if (item < 0 || item >= kColorItemCount)
        item = 0;
    g_item_selection = item;
    color_item_select(item);
    if (g_dialog) {
        if (g_dialog->items->currentIndex() != item)
            g_dialog->items->setCurrentIndex(item);
        g_dialog->redraw();
    }
}

void color_dialog_set_index(int index)
{
    if (index < 0 || index > 15)
        return;
    color_items[g_item_selection].edited = index;
    replace_chosen();
}

void color_dialog_set_rgb(int index, unsigned rgb)
{
    if (index < 0 || index > 15)
        return;
    color_palette_edited.rgb[index] = color_nearest_on_screen(rgb);
    replace_chosen();
}

void color_dialog_choose_scheme(const std::string& name)
{
    StringNode* scheme = find_by_name(name);
    if (!scheme)
        return;
    color_scheme_apply(g_working, scheme, 2);
    if (g_dialog)
        g_dialog->redraw();
}

int color_dialog_new_scheme(const std::string& typed)
{
    std::string name = typed.substr(0, typed.find(','));
    text_collapse_char(name, ' ');
    while (!name.empty() && name.front() == ' ')
        name.erase(0, 1);
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    if (name.empty())
        return 0;
    if (find_by_name(name)) {
        QMessageBox::warning(g_dialog, QString::fromUtf8("Tasarı Ekleme"),
                             QString::fromStdString(text_load_string(1351)));
        return 0;
    }
    StringNode* node = color_scheme_text(name, 2);
    if (!node) {
        beep_error(0);
        return 0;
    }
    for (StringNode* n = g_working; n; n = n->next)
        n->number = 0;
    node->number = 1;
    g_working = strlist_sort(strlist_splice(g_working, nullptr, node), 7);
    if (g_dialog) {
        g_dialog->fill_schemes(name);
        g_dialog->redraw();
    }
    return 1;
}

void color_dialog_delete_scheme()
{
    if (!g_dialog)
        return;
    const int at = g_dialog->schemes->currentIndex();
    if (StringNode* old = find_by_name(g_dialog->chosen()))
        g_working = strlist_remove(g_working, old);
    for (ColorItem& item : color_items)
        item.edited = item.default_index;
    color_palette_edited = color_palette_default;
    if (!g_working)
        g_working = color_scheme_text(color_default_scheme_name(), 0);
    const int count = strlist_count(g_working);
    StringNode* next = g_working;
    for (int i = 0; i < std::min(at, count - 1) && next; ++i)
        next = next->next;
    const std::string name = next ? name_of(next) : std::string();
    g_dialog->fill_schemes(name);
    color_scheme_apply(g_working, next, 2);
    g_dialog->redraw();
}

void color_dialog_reset()
{
    for (ColorItem& item : color_items)
        item.edited = item.default_index;
    color_palette_edited = color_palette_default;
    replace_chosen();
}

// ---- The colour-index popup ----

namespace {

class ColourIndexPopup : public QWidget {
public:
    ColourIndexPopup(QWidget* parent, QPlainTextEdit* target, int caret)
        : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint), target_(target), caret_(caret)
    {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setWindowTitle(QStringLiteral("Renk Dizini (ctrl+k)"));
        setFixedSize(8 * 22 + 2, 2 * 22 + 2);
    }
    QRect swatch(int i) const { return QRect(1 + (i % 8) * 22, 1 + (i / 8) * 22, 21, 21); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        QFont font(QStringLiteral("Sans"), 8);
        font.setBold(true);
        p.setFont(font);
        for (int i = 0; i < 16; ++i) {
            p.fillRect(swatch(i), QColor::fromRgb(color_rgb_to_argb(color_palette_current.rgb[i])));
            p.setPen(Qt::black);
            p.drawText(swatch(i), Qt::AlignCenter, QString::number(i));
        }
    }
    void mousePressEvent(QMouseEvent* e) override
    {
        if (e->button() != Qt::LeftButton)
            return;
        for (int i = 0; i < 16; ++i) {
            if (!swatch(i).contains(e->position().toPoint()))
                continue;
            if (target_) {
                QTextCursor cursor(target_->document());
                cursor.setPosition(std::min(caret_, target_->document()->characterCount() - 1));
                cursor.insertText(QString::number(i));
                target_->setTextCursor(cursor);
            }
            break;
        }
        color_subdlg_close();
    }

private:
    QPointer<QPlainTextEdit> target_;
    int caret_;
};

QPointer<ColourIndexPopup> g_popup;

}  // namespace

void color_subdlg_open(QWidget* editbox, int mode)
{
    auto* box = qobject_cast<QPlainTextEdit*>(editbox);
    if (g_popup || !box)
        return;
    QWidget* parent = box->window();
    auto* popup = new ColourIndexPopup(parent, box, box->textCursor().position());
    popup->setAttribute(Qt::WA_DeleteOnClose);
    g_popup = popup;
    if (mode == 1) {
        // Just above the box, centred on the caret, inside the box's edges.
        const QRect caret = box->cursorRect();
        const QPoint box_top = box->mapToGlobal(QPoint(0, 0));
        int x = box_top.x() + caret.center().x() - popup->width() / 2;
        x = std::clamp(x, box_top.x() + 3, std::max(box_top.x() + 3, box_top.x() + box->width() - 3 - popup->width()));
        popup->move(x, box_top.y() - 3 - popup->height());
    }
    popup->show();
}

void color_subdlg_close()
{
    if (g_popup)
        g_popup->close();
}

QWidget* color_subdlg()
{
    return g_popup.data();
}

// ---- The schemes popup ----

void menu_build_schemes_popup(QMenu* menu)
{
    if (!menu)
        return;
    if (!color_schemes) {
        QAction* none = menu->addAction(QString::fromUtf8(text_load_string(3841)));
        none->setData(3841);
        none->setEnabled(false);
        return;
    }
    int n = 0;
    for (StringNode* scheme = color_schemes; scheme; scheme = scheme->next, ++n) {
        if (n == 20) {
            menu->addAction(QString::fromUtf8(text_load_string(3803)))->setData(6999);
            break;
        }
        std::string name = name_of(scheme);
        text_collapse_char(name, ' ');
        QAction* a = menu->addAction(QString::fromStdString(name));
        a->setData(7000 + n);
        a->setCheckable(true);
        a->setChecked(scheme->number == 1);
    }
}

int menu_scheme_command(int id)
{
    if (id == 6999) {
        if (!color_dialog_open_from_frame())
            beep_error(0);
        return 1;
    }
    if (id < 7000 || id >= 7020)
        return 0;
    StringNode* scheme = color_schemes;
    for (int n = 7000; scheme && n < id; ++n)
        scheme = scheme->next;
    if (!scheme)
        return 1;
    std::string name = name_of(scheme);
    StringNode* found = color_scheme_find(color_schemes, name, 0);
    if (!found)
        return 1;
    color_scheme_apply(color_schemes, found, 1);
    color_apply_all();
    color_save();
    return 1;
}
