// The speech page of the options dialog and its events and speech
// sub-dialogs. The page edits working copies of the speech settings; OK
// copies them back, Cancel leaves the settings as they were.
#pragma once

class QDialog;

// The sub-dialogs on their own (the page's buttons open them): 1 OK.
int agent_events_dialog(QDialog* owner);
int agent_speech_dialog(QDialog* owner);
int agent_lexicon_dialog(QDialog* owner);

void agent_page_install();
void agent_page_uninstall();
