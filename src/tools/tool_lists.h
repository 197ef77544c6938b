// The lists a user keeps about people and channels: the channels list and
// its window, installed together.
#pragma once

void tool_lists_install();
void tool_lists_uninstall();
