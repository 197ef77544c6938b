// The desktop's default web browser, found again at every start from the
// desktop's association files: the handler of "x-scheme-handler/http", else
// of "text/html", is a desktop entry whose Exec line names the program.
#pragma once

#include <string>

// Fills main_settings.browser_path with the default browser's program, or
// leaves it empty when the desktop names none that exists.
void shell_default_browser();

// Looks the browser up again with the main settings at every start.
void default_browser_install();

// The program of a desktop entry's Exec line: a leading double quote is
// dropped and the text cut at the next double quote, else the text is cut
// at its first blank; a leading "env" with its NAME=value words is passed
// over; a bare name is looked up in PATH. Empty unless that file exists and
// may be run.
std::string shell_browser_from_command(const std::string& command);

// The desktop entry id ("name.desktop") that the association files name
// first for the type and that exists; empty when none.
std::string shell_default_handler(const std::string& mime_type);
