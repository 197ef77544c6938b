// Whole-program test of script dialogs: the real program on a private IRC
// server opens a dialog from its script when a peer asks, fills and reads
// its controls, presses its ok control, and its dialog events answer the
// peer, all through the program as it starts from its settings.
#include <gtest/gtest.h>

#include <string>

#include "e2e/harness.h"

using namespace e2e;

namespace {

const char* const kMe = "kestdlg";

const char* const kScript =
    "dialog form {\n"
    "  title \"Form\"\n"
    "  size -1 -1 220 130\n"
    "  edit \"\", 1, 5 5 150 22, result\n"
    "  list 2, 5 30 150 60, extsel\n"
    "  button \"Ok\", 3, 5 95 50 22, ok\n"
    "}\n"
    "on *:CONNECT:msg peer ready\n"
    "on *:TEXT:open:?:set %peer $nick | dialog -m f form"
    " | did -a f 1 typed words | didtok f 2 44 a,b,,c | did -c f 2 2"
    " | msg $nick opened $dialog(0) $did(f, 1) $didtok(f, 2, 59) $did(f, 2).lines $did(f, 2).sel\n"
    "on *:TEXT:ok:?:dialog -k f\n"
    "on *:TEXT:count:?:msg $nick count $dialog(0)\n"
    "on *:dialog:f:sclick:3:msg %peer pressed $did(1) $dname\n"
    "on *:dialog:f:close:*:msg %peer closed $did\n";

TEST(DialogsE2e, AScriptOpensFillsReadsAndClosesItsDialog)
{
    if (!server_available())
        GTEST_SKIP() << "the IRC server program " << kServerBinary << " is not installed";
    IrcServer server;
    ASSERT_TRUE(server.start()) << server.log();
    Peer peer;
    ASSERT_TRUE(peer.login(server.port(), "peer")) << joined(peer.history());
    KestProgram kest;
    kest.use_server(server.port());
    kest.add_script("dialogs.kst", kScript);
    ASSERT_TRUE(kest.start({"-n", kMe}));
    const std::string from = std::string("^:") + kMe + "!\\S+ PRIVMSG peer :";
    ASSERT_TRUE(peer.wait_for(from + "ready")) << joined(peer.history()) << kest.output();

    peer.send_line(std::string("PRIVMSG ") + kMe + " :open");
    EXPECT_TRUE(peer.wait_for(from + "opened 1 typed words a;b;c 3 2$")) << joined(peer.history());
    peer.send_line(std::string("PRIVMSG ") + kMe + " :ok");
    EXPECT_TRUE(peer.wait_for(from + "pressed typed words f$")) << joined(peer.history());
    EXPECT_TRUE(peer.wait_for(from + "closed 0$")) << joined(peer.history());
    peer.send_line(std::string("PRIVMSG ") + kMe + " :count");
    EXPECT_TRUE(peer.wait_for(from + "count 0$")) << joined(peer.history());
    kest.stop(3000);
    server.stop();
}

}  // namespace
