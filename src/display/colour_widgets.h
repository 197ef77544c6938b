// The widgets that follow the colours: the bars and every window's
// background, text area, editboxes and list box paint again when the
// palette or the items change, and an editbox takes its colours by focus.
#pragma once

class QWidget;

// Colours an editbox (or combo) by its focus: text from the Editbox text
// item, background from the Editbox item when focused, else from Inactive.
// Also keeps it recoloured on later focus changes.
void color_editbox_apply(QWidget* box, int focused);

// Listens to colours_applied.
void colour_widgets_install();
void colour_widgets_uninstall();
