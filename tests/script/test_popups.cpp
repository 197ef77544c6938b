// Popup definitions: the line grammar, building menus from popup files and
// script "menu" sections (nesting, separators, hidden items, styles,
// dynamic submenus, merging), finding a clicked item's command again, and
// the popup files with their list in the main settings.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/ini.h"
#include "core/options.h"
#include "core/string_list.h"
#include "script/popups.h"
#include "events_fixture.h"

namespace {

using events_test::EventsTest;

// The menu as text: items by caption, "-" for separators, submenus as
// "caption[...]"; "*" marks greyed entries, "+" checked ones.
std::string shape(const PopupMenu& menu)
{
    std::string out;
    for (const PopupItem& it : menu.items) {
        if (!out.empty())
            out += ",";
        if (it.type == PopupItem::kSeparator) {
            out += "-";
            continue;
        }
        if (it.flags & kMenuChecked)
            out += "+";
        if (it.flags & kMenuGrayed)
            out += "*";
        out += it.caption;
        if (it.type == PopupItem::kSubmenu)
            out += "[" + (it.sub ? shape(*it.sub) : std::string()) + "]";
    }
    return out;
}

const PopupItem* find_caption(const PopupMenu& menu, const std::string& caption)
{
    for (const PopupItem& it : menu.items) {
        if (it.caption == caption)
            return &it;
        if (it.sub)
            if (const PopupItem* f = find_caption(*it.sub, caption))
                return f;
    }
    return nullptr;
}

std::string slurp_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class PopupsTest : public EventsTest {
protected:
    void SetUp() override
    {
        EventsTest::SetUp();
        popup_files_free();
        opt_set(OPT_POPUP_FILE_KIND, 0);
    }
    void TearDown() override
    {
        popup_files_free();
        popup_build_ctx.target.clear();
        EventsTest::TearDown();
    }
    // popups.ini with the lines of each section.
    void write_popups(const std::vector<std::pair<std::string, std::vector<std::string>>>& sections,
                      const std::string& name = "popups.ini")
    {
        std::vector<std::string> out;
        for (const auto& [section, lines] : sections) {
            out.push_back(section);
            for (std::size_t i = 0; i < lines.size(); ++i)
                out.push_back("n" + std::to_string(i) + "=" + lines[i]);
        }
        write_file(name, out);
    }
    PopupMenu build(int kind, const std::string& name, const std::string& target = "")
    {
        popup_build_ctx.target = target;
        PopupMenu m = popup_build_menu(popup_lines_of_kind(kind), name, nullptr, conn, nullptr);
        popup_build_ctx.target.clear();
        return m;
    }
    // The command found again for the item of that caption.
    std::string command_of(const PopupMenu& menu, const std::string& caption, int kind,
                           ScriptFile** script = nullptr)
    {
        const PopupItem* it = find_caption(menu, caption);
        if (!it)
            return "(no item " + caption + ")";
        std::string text;
        StringNode* line = nullptr;
        ScriptFile* owner = nullptr;
        if (!popup_command_of_id(it->id, popup_lines_of_kind(kind), &line, &text, &owner))
            return "(not found)";
        if (script)
            *script = owner;
        return text;
    }
};

TEST(PopupGrammar, LineSplitTable)
{
    const struct {
        const char* text;
        const char* caption;
        const char* commands;
    } cases[] = {
        {"Whois:/whois $1", "Whois", "/whois $1"},
        {"Whois   :   /whois", "Whois", "/whois"},
        {"Op {", "Op", "{"},
        {"Op:{", "Op", "{"},
        {"Op {  echo x }", "Op", "{  echo x }"},
        {"a{b", "a{b", ""},              // "{" not after a blank
        {"x {y", "x {y", ""},            // "{" not before a blank or the end
        {"Time: $time:x", "Time", "$time:x"},  // the first ":" ends the caption
        {"Empty:", "Empty", ""},
        {":cmd", "", "cmd"},
        {"Header", "Header", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string caption = "stale";
        EXPECT_EQ(popup_split_line(c.text, &caption), c.commands);
        EXPECT_EQ(caption, c.caption);
    }
}

TEST(PopupGrammar, StyleTable)
{
    const struct {
        const char* caption;
        int style;
        unsigned flags;
        const char* rest;
    } cases[] = {
        {"$style(3) Op", 3, kMenuChecked | kMenuGrayed, "Op"},
        {"$style(1)x", 1, kMenuChecked, "x"},
        {"$style(2)   Greyed", 2, kMenuGrayed, "Greyed"},
        {"$style(0) Plain", 0, 0, "Plain"},
        {"$STYLE(1) Upper", 1, kMenuChecked, "Upper"},
        {"$style(3 unclosed", 0, 0, "$style(3 unclosed"},
        {"Plain $style(3)", 0, 0, "Plain $style(3)"},   // only at the start
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caption);
        std::string caption = c.caption;
        unsigned flags = 0;
        EXPECT_EQ(popup_style(caption, &flags), c.style);
        EXPECT_EQ(flags, c.flags);
        EXPECT_EQ(caption, c.rest);
    }
    // Greyed clears disabled.
    std::string caption = "$style(2) x";
    unsigned flags = kMenuDisabled;
    popup_style(caption, &flags);
    EXPECT_EQ(flags, kMenuGrayed);
}

TEST_F(PopupsTest, AFileBuildsNestedItemsAndLeavesOutWhatIsEmpty)
{
    write_popups({{"[lpopup]",
                   {"-", "Whois $1:/whois $1", "-", "-", "Modes", ".Op:/mode # +o $1",
                    ".$style(3) Voice:/mode # +v $1", ".Deep", "..Deeper:/echo deep", ".Back:/echo back",
                    "Nothing", ".%popup_unset:/echo never", "%popup_unset:/echo hidden",
                    "Block {", "  echo -a one", "  echo -a two", "}", "Tail:/echo tail", "-"}}});
    ASSERT_TRUE(popup_files_load_all());
    PopupMenu m = build(kPopupFileNicklist, "nicklist", "alice");
    EXPECT_EQ(shape(m),
              "Whois alice,-,Modes[Op,+*Voice,Deep[Deeper],Back],*Nothing[],Block,Tail");
    // Ids are 7000 plus the line's place; each is found again with its command.
    const struct {
        const char* caption;
        int line;
        const char* command;
    } items[] = {
        {"Whois alice", 1, "/whois $1"},
        {"Op", 5, "/mode # +o $1"},
        {"Deeper", 8, "/echo deep"},
        {"Back", 9, "/echo back"},
        {"Block", 13, "{"},
        {"Tail", 17, "/echo tail"},
    };
    for (const auto& it : items) {
        SCOPED_TRACE(it.caption);
        const PopupItem* found = find_caption(m, it.caption);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->id, kPopupFirstId + it.line);
        EXPECT_EQ(command_of(m, it.caption, kPopupFileNicklist), it.command);
    }
    // An id that no item has finds nothing.
    std::string text;
    EXPECT_EQ(popup_command_of_id(kPopupFirstId + 2, popup_lines_of_kind(kPopupFileNicklist), nullptr,
                                  &text, nullptr),
              0);
    // A block's copy ends with its closing brace.
    StringNode* line = nullptr;
    ASSERT_TRUE(popup_command_of_id(find_caption(m, "Block")->id,
                                    popup_lines_of_kind(kPopupFileNicklist), &line, &text, nullptr));
    StringNode* block = popup_block_copy(line, text);
    std::vector<std::string> texts;
    for (StringNode* n = block; n; n = n->next)
        texts.push_back(n->text);
    strlist_free(&block);
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts.back(), "}");
}

TEST_F(PopupsTest, DeepNestingStopsAtItsLimitWithoutLosingItems)
{
    // Each line one level deeper than the one before: far more levels than
    // a menu can hold.
    std::vector<std::string> lines;
    for (int i = 0; i < 3000; ++i)
        lines.push_back(std::string(static_cast<std::size_t>(i), '.') + "L" + std::to_string(i));
    lines.push_back(std::string(3000, '.') + "Leaf:/echo leaf");
    write_popups({{"[mpopup]", lines}});
    ASSERT_TRUE(popup_files_load_all());
    PopupMenu m = build(kPopupFileStatus, "status");
    int depth = 0;
    const PopupMenu* level = &m;
    while (level->items.size() == 1 && level->items[0].sub) {
        level = level->items[0].sub.get();
        ++depth;
    }
    EXPECT_EQ(depth, 32);
    // The lines past the limit stand in the deepest menu; the leaf is there.
    ASSERT_TRUE(find_caption(*level, "Leaf"));
    EXPECT_EQ(command_of(m, "Leaf", kPopupFileStatus), "/echo leaf");
}

TEST_F(PopupsTest, BuildingTwiceGivesTheSameMenuAndSerialsAdvance)
{
    write_popups({{"[mpopup]", {"One:/echo 1", "Sub", ".Two:/echo 2"}}});
    ASSERT_TRUE(popup_files_load_all());
    PopupMenu first = build(kPopupFileStatus, "status");
    PopupMenu second = build(kPopupFileStatus, "status");
    EXPECT_EQ(shape(first), shape(second));
    EXPECT_EQ(find_caption(first, "Two")->id, find_caption(second, "Two")->id);
    EXPECT_NE(first.items[0].data >> 16, second.items[0].data >> 16);
    // After 9999 the serial starts again at 1.
    popup_build_ctx.serial = 9999;
    PopupMenu third = build(kPopupFileStatus, "status");
    EXPECT_EQ(third.items[0].data >> 16, 1u);
}

TEST_F(PopupsTest, ScriptSectionsMatchByNameAndPatternAndMergeSubmenus)
{
    write_popups({{"[cpopup]", {"Tools", ".From file:/echo file"}}});
    ASSERT_TRUE(popup_files_load_all());
    ASSERT_TRUE(load_script("a.kst", {"menu status,channel {", "Tools", ".From a:/echo a", "}",
                                      "menu query {", "Query only:/echo q", "}"}));
    ASSERT_TRUE(load_script("b.kst", {"menu * {", "sclick:/echo handler", "Tools", ".From b:/echo b",
                                      "Also:/echo b2", "}"}));
    const struct {
        int kind;
        const char* name;
        const char* shape;
    } cases[] = {
        {kPopupFileChannel, "channel", "Tools[From file,-,From a,-,From b],-,Also"},
        {kPopupFileStatus, "status", "Tools[From a,-,From b],Also"},
        {kPopupFileQuery, "query", "Query only,Tools[From b],Also"},
        {kPopupFileNicklist, "nicklist", "Tools[From b],Also"},
        {kPopupFileCustom, "@mywin", "Tools[From b],Also"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PopupMenu m = build(c.kind, c.name);
        EXPECT_EQ(shape(m), c.shape);
    }
    // The owning script of an item is found with its command.
    PopupMenu m = build(kPopupFileChannel, "channel");
    ScriptFile* owner = nullptr;
    EXPECT_EQ(command_of(m, "From a", kPopupFileChannel, &owner), "/echo a");
    ASSERT_TRUE(owner);
    EXPECT_NE(owner->path.find("a.kst"), std::string::npos);
    EXPECT_EQ(command_of(m, "From file", kPopupFileChannel, &owner), "/echo file");
    EXPECT_EQ(owner, nullptr);
}

TEST_F(PopupsTest, TheSameLineInTwoFilesIsFoundThroughItsOwnId)
{
    write_popups({{"[cpopup]", {"Same:/echo same"}}});
    ASSERT_TRUE(popup_files_load_all());
    ASSERT_TRUE(load_script("same.kst", {"menu channel {", "Same:/echo same", "}"}));
    PopupMenu m = build(kPopupFileChannel, "channel");
    ASSERT_EQ(shape(m), "Same,-,Same");
    for (int i : {0, 2}) {
        std::string text;
        StringNode* line = nullptr;
        ScriptFile* owner = nullptr;
        ASSERT_TRUE(popup_command_of_id(m.items[static_cast<std::size_t>(i)].id,
                                        popup_lines_of_kind(kPopupFileChannel), &line, &text, &owner));
        EXPECT_EQ(text, "/echo same");
        EXPECT_EQ(owner != nullptr, i == 2) << "item " << i;
    }
    EXPECT_NE(m.items[0].id, m.items[2].id);
}

TEST_F(PopupsTest, SubmenuIdentifierAddsDynamicItems)
{
    ASSERT_TRUE(load_script("dyn.kst",
                            {"alias pop.dyn {", "  if ($1 == 1) return One:/say one",
                             "  if ($1 == 2) return -", "  if ($1 == 3) return Three:/say three",
                             "}", "alias pop.many { return Item $1:/say $1 }",
                             "alias pop.once { return Once:/say once }",
                             "menu status {", "$submenu($pop.dyn($1))", "}",
                             "menu query {", "$submenu($pop.many($1))", "}",
                             "menu nicklist {", "$submenu($pop.once)", "}"}));
    ASSERT_TRUE(popup_files_load_all());
    PopupMenu m = build(kPopupFileStatus, "status");
    EXPECT_EQ(shape(m), "One,-,Three");
    ASSERT_EQ(m.items.size(), 3u);
    EXPECT_EQ(m.items[2].id, m.items[0].id + 1) << "dynamic items take consecutive ids";
    EXPECT_EQ(command_of(m, "Three", kPopupFileStatus), "/say three");
    // Found once: the list of the last build is freed by the lookup.
    std::string text;
    EXPECT_EQ(popup_command_of_id(m.items[0].id, nullptr, nullptr, &text, nullptr), 0);

    // At most 250 numbered calls.
    PopupMenu many = build(kPopupFileQuery, "query");
    ASSERT_EQ(many.items.size(), 250u);
    EXPECT_EQ(many.items.back().caption, "Item 250");
    // Without $1 in the call, one call only.
    PopupMenu once = build(kPopupFileNicklist, "nicklist");
    EXPECT_EQ(shape(once), "Once");

    // Outside a build the identifier adds nothing.
    std::string line = "$submenu($pop.once)";
    ident_eval_text(nullptr, &line, nullptr, nullptr, 0, 0, -1, nullptr, conn);
    EXPECT_EQ(line, "");
    EXPECT_TRUE(popup_build_ctx.dynamic.empty());
}

TEST_F(PopupsTest, FilesLoadFromTheirSectionsAndTheListIsWritten)
{
    write_popups({{"[mpopup]", {"S:/echo s"}},
                  {"[cpopup]", {"C:/echo c"}},
                  {"[qpopup]", {"Q:/echo q"}},
                  {"[lpopup]", {"L:/echo l"}},
                  {"[bpopup]", {"B:/echo b"}}});
    ASSERT_TRUE(popup_files_load_all());
    const char* expected[] = {"S:/echo s", "C:/echo c", "Q:/echo q", "L:/echo l", "B:/echo b"};
    for (int kind = 0; kind <= 4; ++kind) {
        SCOPED_TRACE(kind);
        StringNode* lines = popup_lines_of_kind(kind);
        ASSERT_TRUE(lines);
        EXPECT_EQ(lines->text, expected[kind]);
        EXPECT_EQ(lines->next, nullptr);
    }
    ASSERT_TRUE(popup_files_save_list(0));
    for (int kind = 0; kind <= 4; ++kind) {
        std::string value;
        ini_read("pfiles", ("n" + std::to_string(kind)).c_str(), "", value, 1024, main_ini_path);
        EXPECT_EQ(value, "popups.ini") << kind;
    }
    // A custom window's file is never listed.
    write_popups({{"[upopup]", {"U:/echo u"}}}, "custom.ini");
    ASSERT_TRUE(popup_file_load(dir + "custom.ini", kPopupFileCustom));
    ASSERT_TRUE(popup_files_save_list(0));
    std::string n5;
    ini_read("pfiles", "n5", "", n5, 1024, main_ini_path);
    EXPECT_EQ(n5, "");
    EXPECT_EQ(popup_lines_of_kind(kPopupFileCustom)->text, "U:/echo u");
}

TEST_F(PopupsTest, LoadingAChannelFileReplacesOnlyThatKind)
{
    write_popups({{"[mpopup]", {"S:/echo s"}}, {"[cpopup]", {"C:/echo c"}}});
    write_popups({{"[cpopup]", {"New:/echo new"}}}, "other.ini");
    ASSERT_TRUE(popup_files_load_all());
    PopupFile* channel = popup_file_of_kind(kPopupFileChannel);
    ASSERT_TRUE(channel);
    for (PopupFile* f = popup_files_head; f; f = f->next)
        f->current = f == channel;
    for (int round = 0; round < 2; ++round) {  // the same load twice
        SCOPED_TRACE(round);
        PopupFile* loaded = popup_file_load(dir + "other.ini", kPopupFileChannel);
        ASSERT_TRUE(loaded);
        int count = 0;
        PopupFile* last = nullptr;
        for (PopupFile* f = popup_files_head; f; f = f->next, ++count)
            last = f;
        EXPECT_EQ(count, 5);
        EXPECT_EQ(last, loaded) << "the new record goes to the end";
        EXPECT_EQ(loaded->current, 1) << "the current flag carries over";
        EXPECT_EQ(popup_file_current(), loaded);
        EXPECT_EQ(popup_lines_of_kind(kPopupFileChannel)->text, "New:/echo new");
        EXPECT_EQ(popup_lines_of_kind(kPopupFileStatus)->text, "S:/echo s");
    }
    // An empty path loads nothing; a missing file an empty record.
    EXPECT_EQ(popup_file_load("", kPopupFileQuery), nullptr);
    PopupFile* missing = popup_file_load(dir + "nowhere.ini", kPopupFileQuery);
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->lines, nullptr);
}

TEST_F(PopupsTest, SavingWritesTheSectionAndKeepsTheOthers)
{
    write_popups({{"[mpopup]", {"S:/echo s"}}, {"[cpopup]", {"C:/echo c"}}});
    ASSERT_TRUE(popup_files_load_all());
    PopupFile* status = popup_file_of_kind(kPopupFileStatus);
    ASSERT_TRUE(status && status->lines);
    status->lines->text = "Changed:/echo changed";
    status->modified = 1;
    ASSERT_TRUE(popup_file_save(nullptr, kPopupFileStatus));
    EXPECT_EQ(status->modified, 0);
    const std::string file = slurp_file(dir + "popups.ini");
    EXPECT_NE(file.find("Changed:/echo changed"), std::string::npos) << file;
    EXPECT_NE(file.find("C:/echo c"), std::string::npos) << file;
    EXPECT_EQ(file.find("S:/echo s"), std::string::npos) << file;
    // Read again, the file gives the saved lines.
    ASSERT_TRUE(popup_files_load_all());
    EXPECT_EQ(popup_lines_of_kind(kPopupFileStatus)->text, "Changed:/echo changed");
}

}  // namespace
