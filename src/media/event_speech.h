// Event speech: IRC events read aloud. The sentence of an event comes from
// the program's texts, goes through the text preparation (speech tags and
// formatting codes out, the lexicon, lower case) and is spoken with the
// configured speed, pitch and volume by the system's speech synthesizer
// (espeak-ng), one sentence after the other.
#pragma once

#include <deque>
#include <utility>
#include <string>
#include <vector>

struct Connection;
struct TipEventText;
struct WindowRecord;

// Removes the speech tags, turns "^_`|" into blanks, removes formatting
// codes, applies the lexicon and, with `lower`, lower-cases the text.
// `lexicon` null: the lexicon of the settings.
using Lexicon = std::vector<std::pair<std::string, std::string>>;
std::string agent_prepare_text(const std::string& text, bool whole_words, bool lower,
                               const Lexicon* lexicon = nullptr);
// The lexicon alone (each entry once, in list order; 4,150 characters at most).
std::string agent_apply_lexicon(const std::string& text, bool whole_words, const Lexicon* lexicon = nullptr);
// Speaks a text at the configured speed, pitch and volume (the lexicon
// test); the text is prepared with the given lexicon. 0 when nothing speaks.
int agent_speak_text(const std::string& text, bool whole_words, const Lexicon& lexicon);
// The last cleaning before the synthesizer gets a text.
std::string agent_clean_text(const std::string& text);

// Speaks the event of the kind (1..46) with its texts; 0 when nothing was
// spoken. `window` is the window the event belongs to (null: the status).
int agent_speak_event(int kind, const TipEventText& ev, Connection* conn, WindowRecord* window);

// The texts handed to the synthesizer and not yet finished, the one being
// spoken first; each begins with its "\spd=...\pit=...\vol=...\" prefix.
const std::deque<std::string>& speech_waiting();
// Forgets the waiting texts and stops the synthesizer.
void speech_stop();
// The synthesizer's arguments for a prefixed text; with `wave` the speech
// is written to that file instead of the sound device.
std::vector<std::string> speech_arguments(const std::string& prefixed, const std::string& wave);
// The synthesizer program ("" when it is not installed).
std::string speech_program();
// Speaks a prefixed text into a wave file and waits (at most `ms`); 1 done.
int speech_to_file(const std::string& prefixed, const std::string& wave, int ms);

// Notify events: speech, and the tip (21 one entry, 44 the first answer).
struct NotifyEntry;
void agent_notify_event(int kind, const NotifyEntry* entry, Connection* conn);

void event_speech_install();
void event_speech_uninstall();
