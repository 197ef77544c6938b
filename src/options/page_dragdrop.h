// The Drag-drop page of the options dialog (the rules of drag_drop.h).
#pragma once

#include <string>
#include <vector>

// The longest rule line the page keeps.
constexpr std::size_t kDragDropLineMax = 4150;

// The rules of the edit field's text: each line cut at kDragDropLineMax
// characters, runs of blanks made one, blanks at its ends and empty lines
// dropped; no rule left gives the list's defaults (Shift list with
// `shift`).
std::vector<std::string> dragdrop_page_lines(const std::string& text, int shift);

void page_dragdrop_install();
void page_dragdrop_uninstall();
