// The question the script-file watcher asks about a file changed on disk.
#pragma once

#include <string>

// The dialog "Dosya Değişimi Uyarısı" about the file at the path: the
// question, the check box that loads the file as new (kept while the
// program runs) and the buttons "Evet" and "Hayır". Yes stores the check
// box and returns 1; No or closing returns 0.
int watcher_ask_dialog(const std::string& path);
