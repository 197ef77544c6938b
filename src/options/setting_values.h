// The values of $ebeeps and $locked: the switches that the option pages
// own, as scripts read them.
#pragma once

#include <string>
#include <string_view>

class QWidget;
struct Connection;

// 1 with the value in `out` for a name this part answers ("ebeeps",
// "locked"), 0 for any other name.
int options_setting_value(std::string_view name, Connection* conn, QWidget* window, std::string* out);

void setting_values_install();
