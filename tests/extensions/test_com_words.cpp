// The automation-object words on a system where no such object can be
// made: each answers as the words do for an object that cannot be made or
// a name that names none, and none leaves anything behind.
#include "extensions/script_fixture.h"

#include <string>

#include "extensions/com_words.h"

using namespace ext_test;

namespace {

class ComTest : public ScriptTest {
protected:
    SavedValues<int> saved{com_error_flag};
    void SetUp() override
    {
        ScriptTest::SetUp();
        com_words_install();
        com_error_flag = 0;
    }
};

TEST_F(ComTest, OpeningFailsQuietlyAndSetsTheErrorFlag)
{
    EXPECT_EQ(eval("$comerr"), "0");
    EXPECT_EQ(run("comopen word Some.Application"), 1);
    EXPECT_TRUE(Printed::errors.empty());
    EXPECT_TRUE(status_lines().empty());
    EXPECT_EQ(eval("$comerr"), "1");
    // Nothing was made: the name is free and no object is counted.
    EXPECT_EQ(eval("$com(0) $com(1) $com(00)"), "0 0");
    // Switches are skipped; a missing name or program id is an error.
    EXPECT_EQ(run("comopen -x word2 Other.Thing"), 1);
    EXPECT_EQ(run("comopen word"), 0);
    EXPECT_EQ(last_error(), "* /comopen: Yetersiz veya eksik parametre");
    EXPECT_EQ(run("comopen -q"), 0);
    EXPECT_EQ(last_error(), "* /comopen: Yetersiz veya eksik parametre");
}

TEST_F(ComTest, EveryWordThatNamesAnObjectFindsNone)
{
    const std::string none = "* 'word' açılacak böyle bir Com yok ";
    const struct {
        std::string line;
        std::string error;
    } cases[] = {
        {"comclose word", none},
        {"comclose -x word", none},
        {"comclose", "* /comclose: Yetersiz veya eksik parametre"},
        {"echo -a $com(word)", none},
        {"echo -a $com(word).progid", none},
        {"echo -a $com(word, n)", none},
        {"echo -a $com(word, Visible, 4, bool, true)", none},
        {"echo -a $comcall(word, done, Quit, 1)", none},
        {"echo -a $comcall(word)", "* Geçersiz parametre: $comcall"},
        {"echo -a $comval(word, 0)", none},
        {"echo -a $comval(word, 1, Name)", none},
        {"echo -a $comval(word)", "* Geçersiz parametre: $comval"},
    };
    for (const auto& c : cases) {
        Printed::errors.clear();
        Printed::lines.clear();
        EXPECT_EQ(run(c.line), 0) << c.line;
        EXPECT_EQ(last_error().substr(0, c.error.size()), c.error) << c.line;
        // The line stopped: nothing was echoed.
        EXPECT_TRUE(Printed::lines.empty()) << c.line;
    }
    // Opening first changes nothing: the object was never made.
    run("comopen word Some.Application");
    Printed::errors.clear();
    EXPECT_EQ(run("comclose word"), 0);
    EXPECT_EQ(last_error().substr(0, none.size()), none);
}

TEST_F(ComTest, RegisteringAServerFailsForAnExistingFileOnly)
{
    spit(settings->path() + "server.dll", "not a library");
    EXPECT_EQ(run("comreg server.dll"), 1);
    EXPECT_EQ(run("comreg -u server.dll"), 1);
    std::vector<std::string> shown;
    for (const std::string& line : status_lines())
        if (line != "-")
            shown.push_back(line);
    EXPECT_EQ(shown, (std::vector<std::string>{"* 'server.dll' Com'unun Şifrelenmesi başarısızlıkla sonuçlandı",
                                               "* 'server.dll' Com'u kayıttan çıkarılamadı"}));
    // Run quietly, nothing is shown.
    const std::size_t before = status_lines().size();
    EXPECT_EQ(run(".comreg server.dll"), 1);
    EXPECT_EQ(status_lines().size(), before);
    // A file that is not there, or no file at all.
    for (const char* line : {"comreg missing.dll", "comreg", "comreg -u"}) {
        Printed::errors.clear();
        EXPECT_EQ(run(line), 0) << line;
        EXPECT_EQ(last_error(), "* /comreg: Geçersiz parametre") << line;
    }
}

}  // namespace
