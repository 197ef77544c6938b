// The pages of the Connection group of the options dialog after the
// Connection page (Options, Local Info, Identd, Firewall): their templates and what they
// read and write, registered with the options dialog.
#pragma once

#include <string>
#include <vector>

void pages_connection_install();
void pages_connection_uninstall();

// The text of the Connection page's server label: the description (the
// host when there is none), after the group and ": " unless the
// description begins with the group.
std::string page_server_label(const std::string& host, const std::string& description, const std::string& group);

// The firewall's masks as the settings keep them: joined with commas, as
// many whole masks as fit in 1,024 characters.
std::string page_masks_joined(const std::vector<std::string>& masks);
