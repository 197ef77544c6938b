// Commands that send text to people and channels: /msg, /query, /say, /me,
// /action, /describe, /notice, /amsg, /ame, /qmsg, /qme, /omsg, /onotice,
// and the sending of a line typed without the command character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class QWidget;
struct CommandCall;
struct Connection;
struct WindowRecord;

int cmd_query(CommandCall& call);     // /msg, /query
int cmd_queryrn(CommandCall& call);   // /queryrn [-s] oldnick newnick
int cmd_say(CommandCall& call);       // /say
int cmd_me(CommandCall& call);        // /me, /action
int cmd_describe(CommandCall& call);  // /describe
int cmd_notice(CommandCall& call);    // /notice
int cmd_amsg(CommandCall& call);      // /amsg 1, /ame 3, /qmsg 4, /qme 12 (the variant)
int cmd_omsg(CommandCall& call);      // /omsg, /onotice

// Sends a line typed without the command character to the channel or query
// of the window; returns 1 when handled, 0 when nothing could be sent.
int chat_send_text(QWidget* window, const std::string& text, int send_kind, Connection* conn);

// Builds the lines of a message to several targets: head ("PRIVMSG " or
// "NOTICE "), the targets joined with "," and the tail (" :text\n"). A line
// takes targets while line + target + text stays under 401 characters and
// fewer than limit targets (0 no limit) are in it; one_each puts every target
// on its own line. A line is only ever sent with at least one target.
std::vector<std::string> chat_batch_lines(const std::string& head, const std::vector<std::string>& targets,
                                          const std::string& text, const std::string& tail, int limit,
                                          int one_each);

// One protocol line holds 512 bytes with its CR LF, and the server puts
// ":nick!user@host " before a message it passes on. The room left for the
// text of a message whose own part is `head_length` bytes long ("PRIVMSG
// target :" and, for an action, its CTCP framing): counted with the own nick
// and the own address when it is known (else a generous one), at least 64.
std::size_t chat_text_room(Connection* conn, std::size_t head_length);
// Cuts a message text into pieces of at most `room` bytes each, none empty,
// so that every line the server passes on stays whole. A piece ends at its
// last blank when that lies in its second half (the blank is dropped), else
// at the room, moved back so that it never splits a UTF-8 character or a
// colour code. A text that fits is one piece; an empty text none.
std::vector<std::string> chat_split_text(const std::string& text, std::size_t room);

// The command's words from `first` on, joined with single blanks and cut at
// the long-text limit.
std::string chat_join_words(const CommandCall& call, std::size_t first);

// Whether a word names a channel (begins with a channel-type character of
// the server).
bool chat_is_channel(const std::string& name, Connection* conn);

// Shows an own line in a window (null: the connection's status window),
// timestamp on. Seam for tests; by default print_line into the window.
extern void (*chat_show)(WindowRecord* rec, Connection* conn, std::uint32_t colour, const std::string& text);

// Opens a query window (type query, private) for a nick, minimised when
// asked (1), shown as one the user asked for (-1), or as the option for new
// queries says (0), and sets its caption; null when it could not be opened.
WindowRecord* chat_open_query(const std::string& nick, Connection* conn, int minimised);

// Sets the message commands' handlers.
void messaging_commands_register();
