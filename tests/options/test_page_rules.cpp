// What the connection and IRC pages do to a typed value as they store it,
// and the text rules of the server editor.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "options/page_rules.h"
#include "options/pages_connection.h"
#include "options/server_list_edit.h"

namespace {

TEST(PageRules, DefaultPortKeepsAPositiveNumberAndItsSslMark)
{
    const struct {
        const char* typed;
        const char* stored;
    } cases[] = {
        {"6697", "6697"},   {"+6697", "+6697"}, {" + 66 97 ", "+6697"}, {"1", "1"},
        {"+1", "+1"},       {"65535", "65535"}, {"0", "6667"},          {"+0", "6667"},
        {"-7000", "6667"},  {"", "6667"},       {"irc", "6667"},        {"65536", "6667"},
        {"7000abc", "7000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(page_default_port(c.typed), c.stored) << "typed '" << c.typed << "'";
}

TEST(PageRules, FirstWordsAndTheEmailAddressLoseCodesAndTheRest)
{
    EXPECT_EQ(page_first_word("  kestuser extra"), "kestuser");
    EXPECT_EQ(page_first_word("x"), "x");
    EXPECT_EQ(page_first_word("   "), "");
    EXPECT_EQ(page_email("\x02me\x02@\x1f" "example.org\x1f trailing"), "me@example.org");
    EXPECT_EQ(page_email("\x03" "4,2me@host"), "me@host");
    EXPECT_EQ(page_email("\x16" "a@b"), "a@b");
    EXPECT_EQ(page_email(""), "");
}

TEST(PageRules, TimestampFormatsCollapseSpacesAndHaveADefault)
{
    EXPECT_EQ(page_timestamp_format(""), "[HH:nn]");
    EXPECT_EQ(page_timestamp_format(" "), "[HH:nn]");
    EXPECT_EQ(page_timestamp_format("   "), "[HH:nn]");
    EXPECT_EQ(page_timestamp_format("[HH:nn:ss]"), "[HH:nn:ss]");
    EXPECT_EQ(page_timestamp_format("HH   nn  ss"), "HH nn ss");
    EXPECT_EQ(page_timestamp_format("x"), "x");
}

TEST(PageRules, FirewallMasksSplitAtLinesSpacesAndCommas)
{
    const std::vector<std::string> four = {"*.lan", "10.*", "192.168.*", "host.example"};
    EXPECT_EQ(page_firewall_masks("*.lan 10.*,192.168.*\nhost.example"), four);
    EXPECT_EQ(page_firewall_masks("*.lan  10.*,,192.168.*\r\n\r\nhost.example\n"), four);
    EXPECT_TRUE(page_firewall_masks("").empty());
    EXPECT_TRUE(page_firewall_masks(" ,\n,").empty());
    // Text past 4,150 characters is not read.
    std::string longer(kFirewallMasksMax, 'a');
    longer += " beyond";
    EXPECT_EQ(page_firewall_masks(longer), std::vector<std::string>{std::string(kFirewallMasksMax, 'a')});
    // Stored joined by commas, whole masks up to 1,024 characters.
    EXPECT_EQ(page_masks_joined(four), "*.lan,10.*,192.168.*,host.example");
    const std::vector<std::string> big = {std::string(1000, 'm'), std::string(23, 'n'), "o"};
    EXPECT_EQ(page_masks_joined(big), std::string(1000, 'm') + "," + std::string(23, 'n'));
    EXPECT_EQ(page_firewall_masks_text("a,b,c"), "a\nb\nc");
}

TEST(PageRules, NumberBounds)
{
    // Flood: start after 100..999 bytes; queue at least 10, per user at
    // least 3, ignore at least 0 seconds.
    EXPECT_EQ(page_flood_bytes(50), 100);
    EXPECT_EQ(page_flood_bytes(100), 100);
    EXPECT_EQ(page_flood_bytes(999), 999);
    EXPECT_EQ(page_flood_bytes(1000), 999);
    EXPECT_EQ(page_at_least(5, 10), 10);
    EXPECT_EQ(page_at_least(1, 3), 3);
    EXPECT_EQ(page_at_least(-3, 0), 0);
    EXPECT_EQ(page_at_least(20, 100), 100);
    EXPECT_EQ(page_at_least(101, 100), 101);
    // Ports: 0 (or out of range) gives the page's own default.
    EXPECT_EQ(page_port_or(0, 1080), 1080);
    EXPECT_EQ(page_port_or(0, 113), 113);
    EXPECT_EQ(page_port_or(-5, 113), 113);
    EXPECT_EQ(page_port_or(70000, 113), 113);
    EXPECT_EQ(page_port_or(1, 113), 1);
    EXPECT_EQ(page_port_or(65535, 1080), 65535);
    EXPECT_EQ(page_number(" -12x"), -12);
    EXPECT_EQ(page_number("abc"), 0);
    EXPECT_EQ(page_number("99999999999999999999999"), page_number("999999999999"));
}

TEST(PageRules, DottedAddresses)
{
    const struct {
        const char* text;
        bool ok;
        std::uint32_t addr;
    } cases[] = {
        {"127.0.0.1", true, 0x7f000001},  {"0.0.0.0", true, 0},   {"255.255.255.255", true, 0xffffffff},
        {"256.1.1.1", false, 0},          {"1.2.3", false, 0},    {"1.2.3.4.5", false, 0},
        {"host.example.org", false, 0},   {"", false, 0},         {"1..2.3", false, 0},
        {"1.2.3.4 ", false, 0},           {"0001.2.3.4", false, 0},
    };
    for (const auto& c : cases) {
        bool ok = !c.ok;
        EXPECT_EQ(page_parse_ipv4(c.text, &ok), c.addr) << c.text;
        EXPECT_EQ(ok, c.ok) << c.text;
    }
}

TEST(ServerEditorText, AnEntryOpensIntoItsFieldsAndSavesBackUnchanged)
{
    const struct {
        const char* entry;
        ServerEditorFields fields;
    } cases[] = {
        {"Libera: RandomSERVER:irc.libera.chat:6667GROUP:Libera",
         {"Libera: Random", "irc.libera.chat", "6667", "Libera", ""}},
        {"Home boxSERVER:10.0.0.2:6660-6669,+7000:sekret", {"Home box", "10.0.0.2", "6660-6669,+7000", "", "sekret"}},
        {"xSERVER:h:1", {"x", "h", "1", "", ""}},
        {"Tagged SSLSERVER:ssl.example:+6697:pwGROUP:Net", {"Tagged SSL", "ssl.example", "+6697", "Net", "pw"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        ServerEditorFields f;
        ASSERT_EQ(server_editor_fields(c.entry, &f), 1);
        EXPECT_EQ(f.description, c.fields.description);
        EXPECT_EQ(f.server, c.fields.server);
        EXPECT_EQ(f.ports, c.fields.ports);
        EXPECT_EQ(f.group, c.fields.group);
        EXPECT_EQ(f.password, c.fields.password);
        int empty = 99;
        EXPECT_EQ(server_editor_entry(f, &empty), c.entry);
        EXPECT_EQ(empty, -1);
    }
}

TEST(ServerEditorText, EntriesItCannotEditAndNewOnes)
{
    ServerEditorFields f;
    EXPECT_EQ(server_editor_fields("just.a.host:6667", &f), 0);
    EXPECT_EQ(server_editor_fields("DescriptionSERVER:", &f), 0);
    EXPECT_EQ(server_editor_fields("DescriptionSERVER:GROUP:Net", &f), 0);
    // A new entry starts with the port 6667.
    ASSERT_EQ(server_editor_fields("", &f), 1);
    EXPECT_EQ(f.ports, "6667");
    EXPECT_EQ(f.description, "");
    // An edited entry without ports shows 6667 too.
    ASSERT_EQ(server_editor_fields("dSERVER:host", &f), 1);
    EXPECT_EQ(f.ports, "6667");
    // Fields are cut at 256 characters.
    ASSERT_EQ(server_editor_fields(std::string(300, 'd') + "SERVER:h:1", &f), 1);
    EXPECT_EQ(f.description.size(), 256u);
}

TEST(ServerEditorText, RequiredFieldsAndCuts)
{
    int empty = -1;
    EXPECT_EQ(server_editor_entry({"  ", "h", "1", "", ""}, &empty), "");
    EXPECT_EQ(empty, 0);
    EXPECT_EQ(server_editor_entry({"d", " ", "1", "", ""}, &empty), "");
    EXPECT_EQ(empty, 1);
    EXPECT_EQ(server_editor_entry({"d", "h", "", "", ""}, &empty), "");
    EXPECT_EQ(empty, 2);
    // Trailing blanks of the description go; the server and group are cut
    // at their first blank; the password is kept as typed.
    EXPECT_EQ(server_editor_entry({"My net  ", "irc.x.org more", "6667", "Net work", "a b"}, &empty),
              "My netSERVER:irc.x.org:6667:a bGROUP:Net");
    EXPECT_EQ(empty, -1);
    // One character each is enough.
    EXPECT_EQ(server_editor_entry({"d", "h", "1", "g", "p"}, &empty), "dSERVER:h:1:pGROUP:g");
    // The whole entry is cut at 1,024 characters.
    const std::string longest = server_editor_entry({std::string(256, 'd'), std::string(256, 'h'), std::string(256, '1'),
                                                     std::string(256, 'g'), std::string(256, 'p')},
                                                    &empty);
    EXPECT_EQ(longest.size(), 1024u);
}

} // namespace
