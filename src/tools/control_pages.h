// The address book's control page (kind combo 205, enabled 206, list 207,
// buttons 208-214, random delay 211) and nick-colour page (list 225,
// buttons 226-230, enabled 231), with their entry dialogs. The pages edit
// working copies; apply() hands them to the running program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QDialog>
#include <QWidget>

#include "tools/control_entries.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

// Item data roles of the list lines.
constexpr int kControlTextRole = Qt::UserRole;       // the entry text
constexpr int kControlValueRole = Qt::UserRole + 1;  // the 32-bit item value

class ControlPage : public QWidget {
public:
    explicit ControlPage(std::string chan_types, QWidget* parent = nullptr);
    // Puts the list box back into the working copy of the current kind (kind
    // 0 or more), then shows the working copy of `kind` (-1: the current one).
    void control_page_show(int kind);
    void control_page_buttons();
    void control_page_sort();
    // The dialog's outcome: a new line (selected), or the selected one replaced.
    void add_line(const std::string& entry, std::uint32_t value);
    void replace_selected(const std::string& entry, std::uint32_t value);
    void delete_selected();
    void move_selected(int step);
    // The list box back into the working copy, then applied.
    void apply();

    ControlWorking working;
    int kind = kControlIgnore;
    QComboBox* kinds = nullptr;
    QCheckBox* enabled = nullptr;
    QCheckBox* random_delay = nullptr;
    QListWidget* list = nullptr;
    QPushButton *add = nullptr, *edit = nullptr, *del = nullptr, *up = nullptr, *down = nullptr,
                *sort = nullptr;

private:
    void take_back();
    void run_dialog(bool editing);
    std::string chan_types_;
};

class ControlEntryDialog : public QDialog {
public:
    ControlEntryDialog(int kind, const std::string& entry, bool editing, const std::string& chan_types,
                       QWidget* parent = nullptr);
    // The entry of OK (empty: the mask is empty); `value` in and out.
    std::string result(std::uint32_t& value) const;

    int kind;
    QLineEdit* mask = nullptr;      // 101
    QLineEdit* channels = nullptr;  // 102
    QCheckBox* kinds[8] = {};       // 103-108, 111, 112
    QCheckBox* timed = nullptr;     // 109
    QComboBox* seconds = nullptr;   // 110
    QLineEdit* network = nullptr;   // 113
};

class CnickPage : public QWidget {
public:
    explicit CnickPage(QWidget* parent = nullptr);
    void cnick_page_fill(const std::vector<std::string>& lines);
    void cnick_page_buttons();
    void add_line(const std::string& line);
    void replace_selected(const std::string& line);
    void delete_selected();
    void move_selected(int step);
    std::vector<std::string> lines() const;
    void apply();

    QCheckBox* enabled = nullptr;  // 231
    QListWidget* list = nullptr;   // 225
    QPushButton *add = nullptr, *edit = nullptr, *del = nullptr, *up = nullptr, *down = nullptr;

private:
    void run_dialog(bool editing);
};

class CnickEntryDialog : public QDialog {
public:
    CnickEntryDialog(const CnickEntryForm& form, bool editing, const std::string& prefixes,
                     QWidget* parent = nullptr);
    CnickEntryForm form() const;

    QComboBox* colour = nullptr;  // 101
    QComboBox* method = nullptr;  // 102
    QCheckBox *use_mask = nullptr, *use_modes = nullptr, *use_levels = nullptr;  // 103 105 107
    QLineEdit *mask = nullptr, *modes = nullptr, *levels = nullptr;             // 104 106 108
    QCheckBox *any_mode = nullptr, *no_mode = nullptr;                           // 109 110
    QCheckBox* lists[5] = {};                                                    // 111-115
    QComboBox* idle = nullptr;                                                   // 116
};
