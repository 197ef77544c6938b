// Whole-program test of the address book: the program reads its contacts
// file for $abook(, and /uwho asks the private IRC server about a second
// real client; the replies go to the address book's whois view instead of
// the status window, while a plain /whois afterwards is shown there.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "e2e/harness.h"
#include "e2e/program_probe.h"

using namespace e2e;

namespace {

struct AddressBookE2e : ::testing::Test {
    void SetUp() override
    {
        if (!server_available())
            GTEST_SKIP() << "the IRC server program " << kServerBinary << " is not installed";
        ASSERT_TRUE(server.start()) << "the private IRC server did not start\n" << server.log();
    }
    void TearDown() override { server.stop(); }
    IrcServer server;
};

} // namespace

TEST_F(AddressBookE2e, ContactsFileAndUwhoAgainstARealServer)
{
    Peer bob;
    ASSERT_TRUE(bob.login(server.port(), "bobpeer")) << joined(bob.history());

    KestProgram kest;
    kest.use_server(server.port());
    probe_plain_status_log(kest);
    {
        std::ofstream out(kest.settings() / "addrbk.ini", std::ios::binary);
        out << "\n[bobpeer]\nname=Bob Peer\nemail=bob@example.org\nnote1=met on irc\n"
               "\n[alice]\nwebsite=http://alice.example\n";
    }
    ASSERT_TRUE(kest.start({"-n", "abooker"}));

    std::string got;
    EXPECT_TRUE(probe_until(kest, "$abook(0) $abook(bob*).email $abook(2) $abook(*e*,0) $abook(1).note1",
                            "2 bob@example\\.org alice 2 met on irc", got))
        << got;
    ASSERT_TRUE(probe_until(kest, "$me $server", "abooker .+", got)) << got;

    // /uwho: the note of the command shows, the replies do not.
    ASSERT_TRUE(probe_command(kest, "/uwho bobpeer"));
    const int note = probe_status_line(kest, ".*bobpeer Nickli kişinin kişisel bilgilerine bakılıyor.*");
    EXPECT_GE(note, 0) << kest.status_log();

    // A plain /whois afterwards is shown; it is the only time the peer's
    // real name appears in the status window.
    ASSERT_TRUE(probe_command(kest, "/whois bobpeer"));
    const int shown = probe_status_line(kest, ".*e2e peer.*", note < 0 ? 0 : static_cast<std::size_t>(note));
    EXPECT_GE(shown, 0) << kest.status_log();
    int count = 0;
    for (const std::string& l : log_lines(kest.status_log()))
        count += l.find("e2e peer") != std::string::npos;
    EXPECT_EQ(count, 1) << kest.status_log();

    EXPECT_TRUE(kest.process().running()) << kest.output();
    kest.stop(3000);
    bob.close();
}
