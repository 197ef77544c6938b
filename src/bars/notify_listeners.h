// The bars follow the notify list: the toolbar's notify button and the
// treebar's notify items.
#pragma once

void bars_notify_install();
void bars_notify_uninstall();
