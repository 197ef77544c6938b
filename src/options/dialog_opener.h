// Dialog templates and the dialog opener. A template is a table of
// controls (id, kind, text, place in dialog units, style) that the opener
// builds into Qt widgets; each widget carries its control id (dlg_item
// finds it). Every modal dialog opens through `dlg_show_modal`; a
// multi-page dialog copies the controls of each page template into itself
// with `dlg_clone_page`, hidden until the page frame shows them.
#pragma once

#include <QRect>
#include <QString>

#include <cstddef>
#include <functional>
#include <string>

class QDialog;
class QWidget;
struct DialogBaseUnits;

// The kinds of control a template holds.
enum DlgKind : char {
    kDlgLabel = 'S',        // static text
    kDlgEdit = 'E',         // one-line edit field
    kDlgMultiEdit = 'M',    // several-line edit field
    kDlgNumber = 'N',       // one-line edit field for digits only
    kDlgCheck = 'C',        // check box
    kDlgRadio = 'R',        // radio button (a group starts at kDlgGroupStart)
    kDlgButton = 'B',       // push button
    kDlgDefButton = 'D',    // the default push button
    kDlgCombo = 'O',        // drop-down list to choose from
    kDlgComboEdit = 'W',    // drop-down list with an edit field
    kDlgList = 'L',         // list box
    kDlgListView = 'V',     // report-style list view (rows and columns)
    kDlgTree = 'T',         // tree view
    kDlgGroupBox = 'G',     // frame with a caption around other controls
    kDlgFrame = 'F',        // empty etched frame (a page area)
};

// Style bits of a control.
enum DlgStyle : unsigned {
    kDlgDisabled = 1u << 0,
    kDlgReadOnly = 1u << 1,
    kDlgPassword = 1u << 2,
    kDlgGroupStart = 1u << 3,   // a radio button that starts a new group
    kDlgNoTabStop = 1u << 4,
    kDlgRightAlign = 1u << 5,
    kDlgHidden = 1u << 6,       // built hidden (visible otherwise)
};

// One control. Id -1 for a label nothing refers to. `limit` is the most
// characters an edit field takes (0: 256).
struct DlgControl {
    int id;
    char kind;
    const char* text;
    int x, y, w, h;
    unsigned style = 0;
    int limit = 0;
};

// A dialog template: its id, caption, size in dialog units and controls.
struct DlgTemplate {
    int id;
    const char* caption;
    int width, height;
    const DlgControl* controls;
    std::size_t count;
};

// The most controls one page template is copied with.
constexpr int kDlgClonedControlsMax = 256;
// The longest control text or class name the copy reads.
constexpr int kDlgCloneTextMax = 4150;
// The mnemonic marker a hidden copy carries instead of "&".
constexpr char kDlgHiddenMnemonic = '\x01';

// The program's own templates: each part registers its templates in its
// install; a later registration of the same id replaces the earlier one.
void dlg_template_register(const DlgTemplate& t);
void dlg_template_unregister(int id);
const DlgTemplate* dlg_template_find(int id);

// Builds one control into the parent at its place (dialog units of the
// parent's font); the widget carries the control's id. Visible unless the
// style hides it.
QWidget* dlg_build_control(QWidget* parent, const DlgControl& c, const DialogBaseUnits& base);
// Builds every control of the template into the dialog, sets its caption
// and size.
void dlg_build(QDialog& dialog, const DlgTemplate& t);

// The window that owns the modal dialog being shown, while
// `dlg_show_modal` runs; null otherwise.
QWidget* dlg_modal_owner();

// While a language module is in use (lang.dll in the settings folder), its
// section "[dialog N]" gives texts for template N: a control id "=" the
// control's text, "caption=" the dialog's caption. They replace the
// program's own texts of every template but the About box (10), in modal
// dialogs and in copied pages alike.
//
// Builds the template into a new dialog owned by `owner`, lets `init` set
// it up (its controls' behaviour, its values) and runs it modally. Returns
// the code the dialog ended with (QDialog::done), or -1 with the error beep
// when the template is not there.
int dlg_show_modal(QWidget* owner, int template_id, const std::function<void(QDialog&)>& init);

// Copies the controls of the page template into the multi-page dialog:
// at most 256, each hidden, with every "&" of its text turned into the
// hidden-mnemonic marker, at the template's place (the page frame moves
// them into its page area when the page is shown). 0 when copied, 1 when
// the template is not there.
int dlg_clone_page(QDialog& dialog, int page_template_id);

// A widget's own text (label, button, group box caption, edit field,
// combo box edit text) and setting it.
QString dlg_widget_text(QWidget* w);
void dlg_widget_set_text(QWidget* w, const QString& text);

// A control's text and checked state, whatever its kind (labels, buttons,
// edit fields, combo boxes' edit texts; check boxes and radio buttons).
std::string dlg_text(QWidget* dialog, int id);
void dlg_set_text(QWidget* dialog, int id, const std::string& text);
int dlg_checked(QWidget* dialog, int id);
void dlg_set_checked(QWidget* dialog, int id, int on);
// A combo box's items from a table, with one selected (the first when the
// index is out of range), and the selected index (0 without a combo box).
void dlg_combo_fill(QWidget* dialog, int id, const char* const* items, int count, int selected);
int dlg_combo_index(QWidget* dialog, int id);
