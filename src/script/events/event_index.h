// Event names and ids, and the per-event index of the definition lines of
// the loaded scripts: a firing looks only at the lines of its own event.
#pragma once

#include <string_view>

struct StringNode;
struct ScriptFile;

constexpr int kEventCount = 79;

// Event ids used by name in the engine.
enum EventId : int {
    kEvMenu = 0, kEvCtcp = 1, kEvRaw = 2, kEvDialogDef = 4,
    kEvAction = 5, kEvActive = 6, kEvAppActive = 7, kEvAgent = 8, kEvBan = 9, kEvChat = 10,
    kEvClose = 11, kEvConnect = 12, kEvConnectFail = 13, kEvCtcpReply = 14, kEvDccServer = 15,
    kEvDehelp = 16, kEvDeop = 17, kEvDeowner = 18, kEvDevoice = 19, kEvDialog = 20,
    kEvDisconnect = 21, kEvDns = 22, kEvError = 23, kEvExit = 24, kEvFileRcvd = 25,
    kEvFileSent = 26, kEvGetFail = 27, kEvHelp = 28, kEvHotlink = 29, kEvInput = 30,
    kEvInvite = 31, kEvJoin = 32, kEvKeyDown = 33, kEvKeyUp = 34, kEvKick = 35, kEvLoad = 36,
    kEvLogon = 37, kEvMidiEnd = 38, kEvMode = 39, kEvNick = 40, kEvNoSound = 41,
    kEvNotice = 42, kEvNotify = 43, kEvOp = 44, kEvOpen = 45, kEvOwner = 46, kEvPart = 47,
    kEvPing = 48, kEvPlayEnd = 49, kEvPong = 50, kEvQuit = 51, kEvRawMode = 52,
    kEvSendFail = 53, kEvServ = 54, kEvServerMode = 55, kEvServerOp = 56, kEvSignal = 57,
    kEvSnotice = 58, kEvSockClose = 59, kEvSockListen = 60, kEvSockOpen = 61,
    kEvSockRead = 62, kEvSockWrite = 63, kEvSongEnd = 64, kEvStart = 65, kEvTabComp = 66,
    kEvText = 67, kEvTopic = 68, kEvUdpRead = 69, kEvUdpWrite = 70, kEvUnban = 71,
    kEvUnload = 72, kEvUnotify = 73, kEvUserMode = 74, kEvVcmd = 75, kEvVoice = 76,
    kEvWallops = 77, kEvWaveEnd = 78,
};

// One index entry.
struct EventIndexEntry {
    StringNode* line = nullptr;       // the definition line
    ScriptFile* script = nullptr;     // its file
    int enabled = 1;                  // copied from the line's group state
    EventIndexEntry* next = nullptr;
    EventIndexEntry* skip = nullptr;  // first entry of the next script in the same list
};

// The 79 list heads.
struct EventIndex {
    EventIndexEntry* head[kEventCount] = {};
    EventIndexEntry* tail[kEventCount] = {};
};
extern EventIndex event_index;
// Bumped at every rebuild; a walk notices a rebuild under it.
extern unsigned event_index_generation;

// The id selected by an "on" event word (ignoring case), or -1.
int event_id_of_word(std::string_view word);
// The main word of an id ("TEXT"), or "" for ids 0..4 and out of range.
const char* event_word_of_id(int id);
// The event word of an "on" line (after "on", "me:" and the level field),
// cut at ":", "{" and the first blank; false when the line has neither ":"
// nor "{" after the level field.
bool event_word_of_line(std::string_view text, std::string& word);

void remote_index_events();
void remote_index_clear(int free_entries);
void event_index_sync_enabled();
int event_has_handler(int id);
