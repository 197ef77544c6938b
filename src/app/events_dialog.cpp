#include "app/events_dialog.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/window_record.h"
#include "core/numbered_texts.h"
#include "irc/dispatch/membership.h"

namespace {

// One kind of event: its combo, the global setting and the channel's own,
// and which places it can go to.
struct EventRow {
    const char* name;     // the combo's object name
    const char* label;
    int MembershipSettings::*global;
    int ChannelMembership::*own;
    bool status;          // "in the status window" is offered
    bool both;            // "in both" is offered
    bool hidden;          // "hidden" is offered
};

const EventRow kRows[] = {
    {"joins", "Girişler", &MembershipSettings::joins_in, &ChannelMembership::show_joins_in, true, false, true},
    {"parts", "Çıkışlar", &MembershipSettings::parts_in, &ChannelMembership::show_parts_in, true, false, true},
    {"quits", "Ayrılmalar", &MembershipSettings::quits_in, &ChannelMembership::show_quits_in, true, true, true},
    {"kicks", "Atılmalar", &MembershipSettings::kicks_in, &ChannelMembership::show_kicks_in, true, false, true},
    {"ctcps", "Ctcp'ler", &MembershipSettings::ctcps_in, &ChannelMembership::show_ctcps_in, true, false, false},
    {"nicks", "Nick değişimleri", &MembershipSettings::nicks_in, &ChannelMembership::show_nicks_in, false, false,
     true},
};

// Fills the combo with the row's places and their stored values: a
// channel's own values are 0 default, 1 the channel, 2 the status window,
// 3 both, 4 hidden; the global ones 0 the channel, 1 the status window,
// 2 both (quits), and hidden after them.
void fill(QComboBox* combo, const EventRow& row, bool for_channel)
{
    auto add = [combo](int text_id, int value) { combo->addItem(QString::fromUtf8(text_load_string(text_id)), value); };
    if (for_channel) {
        add(1201, 0);
        add(1202, 1);
        if (row.status)
            add(1203, 2);
        if (row.both)
            add(1204, 3);
        if (row.hidden)
            add(1205, 4);
        return;
    }
    add(1202, 0);
    if (row.status)
        add(1203, 1);
    if (row.both)
        add(1204, 2);
    if (row.hidden)
        add(1205, row.both ? 3 : 2);
}

// Selects the entry of the value; a value with no entry of its own is
// "hidden" where that is offered.
void select(QComboBox* combo, int value)
{
    int at = combo->findData(value);
    if (at < 0)
        at = combo->count() - 1;
    combo->setCurrentIndex(at);
}

} // namespace

int events_display_dialog(QWidget* parent, WindowRecord* channel)
{
    const bool for_channel = channel && win_is_record(channel) && channel->type == kWinChannel;
    QDialog dialog(parent);
    dialog.setObjectName("events_dialog");
    dialog.setWindowTitle(QString::fromUtf8(text_load_string(6141)).remove(QLatin1Char('&')).remove(QStringLiteral("...")));
    auto* form = new QFormLayout();
    for (const EventRow& row : kRows) {
        auto* combo = new QComboBox(&dialog);
        combo->setObjectName(row.name);
        fill(combo, row, for_channel);
        select(combo, for_channel ? chan_membership(channel)->*row.own : membership_settings.*row.global);
        form->addRow(QString::fromUtf8(row.label), combo);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancel");
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* column = new QVBoxLayout(&dialog);
    column->addLayout(form);
    column->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    // The channel may have closed while the dialog was open.
    if (for_channel && !win_is_record(channel))
        return 0;
    for (const EventRow& row : kRows) {
        const int value = dialog.findChild<QComboBox*>(row.name)->currentData().toInt();
        if (for_channel)
            chan_membership(channel)->*row.own = value;
        else
            membership_settings.*row.global = value;
    }
    return 1;
}
