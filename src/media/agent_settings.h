// The speech settings: the [agent] section of the main settings file (the
// switch, the voice's language, speed, pitch and volume, which events are
// spoken) and the lexicon of pronunciations ([lexicon]). A window's own
// speak mode lives in its record and in [speak] (the window options).
#pragma once

#include <string>
#include <utility>
#include <vector>

struct WindowRecord;

struct AgentSettings {
    int enable = 0;
    std::string character = "default";
    int lang = 0;                // language id; 0 until loaded
    int options[5] = {1, 1, 1, 100, 0};
    // speed, pitch, volume %, increase switch, increased speed, lines from
    // which it is used, most lines, lower-case nicks, channels, messages,
    // drop mostly-symbol texts, their share %, channel only when changed
    int speech[13] = {150, 60, 100, 1, 180, 10, 50, 1, 1, 1, 0, 50, 1};
    int channel[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    int priv[4] = {1, 1, 1, 1};
    int other[8] = {1, 1, 1, 1, 1, 1, 1, 0};
    long pos[2] = {20, 20};
    // word, pronunciation
    std::vector<std::pair<std::string, std::string>> lexicon;
};
extern AgentSettings agent_settings;

enum AgentSpeech {
    kSpeechSpeed = 0, kSpeechPitch, kSpeechVolume, kSpeechIncrease, kSpeechFastSpeed, kSpeechFastLines,
    kSpeechMostLines, kSpeechLowerNicks, kSpeechLowerChannels, kSpeechLowerMessages, kSpeechDropSymbols,
    kSpeechSymbolShare, kSpeechChannelOnce,
};

// The language id of the user's locale (1033 when it is not one of ours).
int agent_default_lang();
void agent_load_settings();
void agent_save_settings();
// A live window with mode 0 or 1 gives that mode; otherwise the global switch.
int agent_speak_enabled(const WindowRecord* rec);
// Whether speech is on at all (the windows' menus offer their speak modes).
int agent_speech_on();

void agent_settings_install();
void agent_settings_uninstall();
