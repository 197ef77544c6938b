// Hotlinks: words of a window's shown text that act as links. A channel
// name joins the channel, an address opens in the desktop's browser, and
// the nick of a channel member, a notify entry or a private-message
// partner runs the double-click command for that nick. Pointing at one
// shows the hand pointer; a right-click opens the popup that belongs to it.
// Scripts may claim any word first through the "HOTLINK" event.
#pragma once

#include <QPoint>

#include <string>

class QWidget;
struct Connection;
struct StringNode;
struct WindowRecord;

// How hotlink_at_point was reached.
enum HotlinkKind : int {
    kHotlinkDetect = 0,    // the pointer moved or a button was released
    kHotlinkDouble = 1,    // double-click: act on the word
    kHotlinkPopup = 2,     // right-click: the word's popup
    kHotlinkPress = 3,     // left button pressed: a member's nick is selected
    kHotlinkAsk = 4,       // only ask
};

// The popup that belongs to a hotlink (the numbers the popup menus show
// it with): 20 a channel, 27 an address, 3 a channel member, 7 a notify
// entry; -1 a word a script claimed.
enum HotlinkPopupKind : int {
    kHotlinkPopupScript = -1,
    kHotlinkPopupNick = 3,
    kHotlinkPopupNotify = 7,
    kHotlinkPopupChannel = 20,
    kHotlinkPopupAddress = 27,
};

// Finds the word under the point (text-area coordinates) of the window and
// acts by the kind; shift tells whether Shift is held. 1 when the point is
// on a hotlink (after acting on it for kinds 1 and 3), else 0. The word and
// the window stay recorded after a find. A right-click (kind 2) selects a
// member's nick and leaves in hotlink_word() what the popup is for (the
// channel name, the address or the nick) and in hotlink_popup_kind() the
// popup to show.
int hotlink_at_point(QWidget* window, QPoint point, int kind, int shift);

// The byte index of the character at horizontal position x of a shown line
// of the window, or -1 when x lies past the line.
int hotlink_char_at(WindowRecord* rec, const StringNode* line, int x);

// The word of the last find (control codes removed) and its window (null
// when none or when the window is gone); clearing forgets both.
const std::string& hotlink_word();
QWidget* hotlink_window();
void hotlink_clear();
// The popup of the last find (HotlinkPopupKind), -1 when none.
int hotlink_popup_kind();

// The four lower-cased nick candidates of a word, given the connection's
// nick-prefix characters; empty ones stand for none. Later candidates equal
// to earlier ones (the third to the first, the fourth to the second) are
// cleared.
struct HotlinkNicks {
    std::string nick[4];
};
HotlinkNicks hotlink_nick_candidates(const std::string& word, const std::string& prefixes);

// The channel name a word stands for when its first character after the
// leading nick prefixes is a channel type: cut at its first ',', trailing
// brackets and quotes balanced against the text before the word, a last
// ',', '.', ':' or ';' removed. Empty when the word is no channel.
std::string hotlink_channel_name(const std::string& word, const std::string& before,
                                 const std::string& prefixes, Connection* conn);

// The address a word stands for (enclosing brackets and quotes and trailing
// punctuation taken off, then tested against the scheme table), or empty.
// A word holding '@' counts only with Shift held.
std::string hotlink_address(const std::string& word, const std::string& before, int shift);
