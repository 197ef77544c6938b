// Nick in use during registration, as the server sends it: the alternative
// nick is what $me and the status caption show at once, before the welcome,
// and the welcome leaves the main and the alternative nick in their slots.
#include "messages_fixture.h"

#include "app/subsystems.h"
#include "irc/numerics/isupport.h"

namespace chat_test {
namespace {

using NickInUseTest = ChatTest;

std::string me_of(Connection* conn)
{
    std::string t = "$me";
    std::string* r = ident_eval_text(nullptr, &t, nullptr, nullptr, 0, 0, -1, nullptr, conn);
    return r ? *r : std::string("<failed>");
}

TEST_F(NickInUseTest, AlternativeNickShowsBeforeTheWelcomeAndStaysAfterIt)
{
    struct Case {
        const char* welcome_nick;   // word 2 of the 001 line
        const char* me_after;       // $me after it
    } cases[] = {
        {"me_", "me_"},
        {"me_", "me_"},   // the same link order again, on a fresh link
        {"Me_", "Me_"},   // the server's spelling wins
    };
    app_wire_irc_membership();   // the status caption follows the nick, as in the program
    for (const Case& c : cases) {
        SCOPED_TRACE(c.welcome_nick);
        irc_state_new_link(conn);
        conn->nick_index = 0;
        conn->live_identity[2] = "me";
        conn->live_identity[3] = "me_";
        wire.clear();
        feed(":srv 433 * me :Nickname is already in use");
        EXPECT_EQ(sent(), std::vector<std::string>{"NICK me_\n"});
        EXPECT_EQ(me_of(conn), "me_");
        QWidget* status_window = status() ? status()->hwnd.get() : nullptr;
        ASSERT_NE(status_window, nullptr);
        EXPECT_TRUE(status_window->windowTitle().contains("me_")) << status_window->windowTitle().toStdString();
        // A second 433 for the alternative does not change the nick again.
        wire.clear();
        feed(":srv 433 * me_ :Nickname is already in use");
        EXPECT_TRUE(sent().empty());
        EXPECT_EQ(me_of(conn), "me_");

        feed(std::string(":srv 001 ") + c.welcome_nick + " :Welcome to the net " + c.welcome_nick + "!u@h");
        EXPECT_EQ(me_of(conn), c.me_after);
        EXPECT_EQ(conn->live_identity[2], "me");   // the main nick is kept for the next link
        EXPECT_EQ(conn->live_identity[3], c.me_after);
        EXPECT_TRUE(status_window->windowTitle().contains(c.me_after));
    }
}

}  // namespace
}  // namespace chat_test
