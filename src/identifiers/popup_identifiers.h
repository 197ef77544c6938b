// The popup identifiers: $submenu(, $menu, $menutype, $menucontext, $pnick.
#pragma once

void popup_identifiers_register();
