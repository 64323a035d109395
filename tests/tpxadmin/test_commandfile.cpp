// Command files and the nation file: grammar, filters, limits, the tree, and the shipped
// files for the simulator's switch.
#include <gtest/gtest.h>

#include "common/files.h"
#include "testutil.h"
#include "tpxadmin/programming/commandfile.h"

using namespace tpx;
using namespace tpx::admin;

namespace {

struct Shown {
    std::vector<int> messages;
    MessageSink sink() {
        return [this](int n) { messages.push_back(n); };
    }
};

CommandTable parse(const std::string& text, const std::string& nation = "", const std::string& version = "4.0Aa",
                   Shown* shown = nullptr) {
    CommandTable t;
    Shown local;
    parseCommandFile(text, {nation, version}, t, (shown ? shown : &local)->sink());
    return t;
}

std::vector<std::string> texts(const CommandTable& t) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < t.listSize(); ++i) out.push_back(t.records[i].text);
    return out;
}

TEST(NationCode, PacksDecimalDigitsIntoNibbles) {
    const std::pair<long, std::uint16_t> cases[] = {{82, 0x82FF}, {7, 0x7FFF},    {1234, 0x1234}, {10000, 0x1000},
                                                    {1000, 0x1000}, {852, 0x852F}, {0, 0xFFFF},    {10001, 0xFFFF},
                                                    {-3, 0xFFFF}};
    for (auto [n, packed] : cases) EXPECT_EQ(packNationCode(n), packed) << n;
}

TEST(NationFile, LaterLinesWinNamesAreCutAndLimitsShowMessages) {
    Shown shown;
    const std::string file = "82 KOREA\r\n\r\n7   RUSSIA\n82 REPUBLIC OF KOREA (SOUTH)\r\n";
    EXPECT_EQ(nationNameIn(file, 0x82FF, shown.sink()), "REPUBLIC OF KOREA (S");
    EXPECT_EQ(nationNameIn(file, 0x7FFF, shown.sink()), "RUSSIA");
    EXPECT_EQ(nationNameIn(file, 0x1FFF, shown.sink()), "");
    EXPECT_EQ(nationNameIn(file, 0xFFFF, shown.sink()), "");
    EXPECT_TRUE(shown.messages.empty());

    // 100 characters: two beyond the limit of 98, message 7 for each.
    EXPECT_EQ(nationNameIn("1 " + std::string(98, 'N'), 0x1FFF, shown.sink()), std::string(20, 'N'));
    EXPECT_EQ(shown.messages, (std::vector<int>{7, 7}));

    // A 201st line: message 6, and no name at all.
    shown.messages.clear();
    std::string many;
    for (int i = 1; i <= 201; ++i) many += std::to_string(i) + " N" + std::to_string(i) + "\n";
    EXPECT_EQ(nationNameIn(many, packNationCode(5), shown.sink()), "");
    EXPECT_EQ(shown.messages, (std::vector<int>{6}));
    many.erase(many.rfind("201 "));
    EXPECT_EQ(nationNameIn(many, packNationCode(5), shown.sink()), "N5");
}

TEST(CommandFile, CodeWordsGiveProgramCodeKindKeyAndLevel) {
    struct Case {
        std::string codeWord;
        int programCode;
        char kind;
        int key;
        int level;
        bool keysetStyle;
    } cases[] = {
        {"1xx", -1, 'x', 255, 1, false},
        {"12D05", 0x3132, 'D', 5, 2, false},
        {"*#x", ('*' << 8) | '#', 'x', 255, 2, false},
        {"3x", -1, 0, 255, 3, true},
        {"2xx04", -1, 'x', 4, 2, true},   // two digits after 1xx-style: a keyset-style level
        {"F1", -1, 0, 255, 10, true},
        {"FxB01", -1, 'B', 1, 10, true},
        {"0x", -1, 0, 255, 10, false},
        {"12B07", 0x3132, 'B', 7, 10, false},
        {"12B7", 0x3132, 'B', 255, 10, false},
        {"?", -1, 0, 255, 10, false},
    };
    for (const Case& c : cases) {
        CommandTable t = parse("CMD " + c.codeWord + " _N02, , , ,Text");
        ASSERT_EQ(t.records.size(), 1u) << c.codeWord;
        const CommandRecord& r = t.records[0];
        EXPECT_EQ(r.programCode, c.programCode) << c.codeWord;
        EXPECT_EQ(r.kind, c.kind) << c.codeWord;
        EXPECT_EQ(r.keyNumber, c.key) << c.codeWord;
        EXPECT_EQ(r.level, c.level) << c.codeWord;
        EXPECT_EQ(t.keysetStyle, c.keysetStyle) << c.codeWord;
        EXPECT_EQ(r.attribute, '_');
        EXPECT_EQ(r.control, 'N');
        EXPECT_EQ(r.width, 2);
    }
}

TEST(CommandFile, FieldsTextAndTheCarriedAttributeWord) {
    CommandTable t = parse(
        "PGM 40x00 FV03, , , ,Speed, Dial,\r\n"
        "STP 40B01 _S16,, ,, ,, ,,Number\r\n"       // empty fields are skipped
        "STP 40B02, , , ,Name\r\n"                // no attribute word: the previous one holds
        "STP 40B03 CYx, , , ," + std::string(60, 'T') + "\r\n");
    ASSERT_EQ(t.records.size(), 4u);
    EXPECT_EQ(t.records[0].text, "Speed, Dial");  // inner comma kept, the last one dropped
    EXPECT_EQ(t.records[0].attribute, 'F');
    EXPECT_EQ(t.records[0].control, 'V');
    EXPECT_EQ(t.records[0].width, 3);
    EXPECT_EQ(t.records[1].text, "Number");
    EXPECT_EQ(t.records[2].control, 'S');
    EXPECT_EQ(t.records[2].width, 16);
    EXPECT_EQ(t.records[3].text, std::string(51, 'T'));
    EXPECT_EQ(t.records[3].width, 0);  // "x" is no digit
}

TEST(CommandFile, NationFilter) {
    // The field is a prefix of the name; four characters at most count, case aside.
    const std::string file =
        "PGM 10x00 __00,kor, , ,Korean\n"
        "PGM 11x00 __00, ALL, , ,Everyone\n"
        "PGM 12x00 __00,USA, , ,American\n"
        "PGM 13x00 __00,KOREAN REPUBLIC, , ,Four count\n"
        "PGM 14x00 __00,KOX , , ,Other\n";
    EXPECT_EQ(texts(parse(file, "KOREA")), (std::vector<std::string>{"Korean", "Everyone", "Four count"}));
    EXPECT_EQ(texts(parse(file, "")), (std::vector<std::string>{"Korean", "Everyone", "American", "Four count", "Other"}));
    EXPECT_EQ(texts(parse(file, "KO")), (std::vector<std::string>{"Korean", "Everyone", "Four count", "Other"}));
}

TEST(CommandFile, VersionBoundsExcludeTheUpperOne) {
    struct Case {
        std::string version, lower, upper;
        bool applies;
    } cases[] = {
        {"4.0Aa", "4.0Aa", "5.0Aa", true},
        {"4.0Aa", "3.1", "4.0Aa", false},
        {"4.0Aa", "", "4.0Ab", true},
        {"4.0Aa", "4.0Ab", "", false},
        {"4.0Aa", "", "", true},
        {"", "", "", true},
        {"", "3.0Aa", "", false},
        {"", "", "9.0Aa", false},
        {"A.0Cb", "4.0Aa", "", false},   // a leading letter counts as a digit: A is 1
        {"4.0A1", "4.0Az", "", true},    // a fifth character that is a digit sorts after letters
    };
    for (const Case& c : cases)
        EXPECT_EQ(versionApplies(c.version, c.lower, c.upper), c.applies) << c.version << " [" << c.lower << "," << c.upper << ")";

    // In the file only the first word of the field counts; blanks only is empty.
    EXPECT_EQ(texts(parse("PGM 10x00 __00, , 4.0Aa old, 5.0Aa ,In\nPGM 11x00 __00, ,   ,4.0Aa,Out\n", "", "4.0Aa")),
              (std::vector<std::string>{"In"}));
}

TEST(CommandFile, ShortRecordsEndTheListAndSameTextsFindTheFirst) {
    CommandTable t = parse(
        "GRP 1xx, , , ,Group\n"
        "PGM 10x00, , , ,Twice\n"
        "PGM 11x00, , , ,Twice\n"
        "PGM 12x00, , ,Short\n"
        "PGM 13x00, , , ,Hidden\n");
    EXPECT_EQ(t.records.size(), 5u);
    EXPECT_EQ(t.listSize(), 3u);
    EXPECT_EQ(t.findByText("Twice"), 1);
    EXPECT_EQ(t.findByText("Hidden"), -1);
    EXPECT_EQ(t.findByText("Group"), 0);
    const auto tree = buildCommandTree(t);
    ASSERT_EQ(tree.size(), 4u);
    EXPECT_EQ(tree[3].text, "Twice");

    // A line of commas only is an empty record: it ends the list too.
    EXPECT_EQ(parse(",,,\nPGM 10x00, , , ,After\n").listSize(), 0u);
}

TEST(CommandFile, LimitsShowMessagesSixAndSeven) {
    Shown shown;
    std::string file;
    for (int i = 0; i < 2001; ++i) file += "STP 10B01 _N02, , , ,Step\n";
    CommandTable t = parse(file, "", "4.0Aa", &shown);
    EXPECT_EQ(t.records.size(), 2000u);
    EXPECT_EQ(shown.messages, (std::vector<int>{6}));

    shown.messages.clear();
    const std::string longLine = "PGM 10x00 __00, , , ," + std::string(100, 'L');  // 121 characters
    t = parse(longLine, "", "4.0Aa", &shown);
    EXPECT_EQ(shown.messages, (std::vector<int>(3, 7)));
    EXPECT_EQ(t.records[0].text.size(), 51u);
}

TEST(CommandTree, LevelsHangUnderTheLatestItemOfTheLevelAbove) {
    CommandTable t = parse(
        "MNU 1xx01, , , ,System\n"
        "MNU 2xx01, , , ,Time\n"
        "STP FxB01 _N02, , , ,Hour\n"
        "MNU 2xx02, , , ,Buttons\n"
        "MNU 3xx01, , , ,Flex\n"
        "MNU 1xx02, , , ,Station\n"
        "MNU 3xx02, , , ,Orphan\n");
    EXPECT_TRUE(t.keysetStyle);
    const auto tree = buildCommandTree(t);
    std::vector<std::pair<std::string, std::string>> edges;
    for (const TreeNode& n : tree)
        edges.emplace_back(n.text, n.parent < 0 ? "" : tree[static_cast<std::size_t>(n.parent)].text);
    EXPECT_EQ(edges, (std::vector<std::pair<std::string, std::string>>{{"Command", ""},
                                                                        {"System", "Command"},
                                                                        {"Time", "System"},
                                                                        {"Buttons", "System"},
                                                                        {"Flex", "Buttons"},
                                                                        {"Station", "Command"},
                                                                        {"Orphan", "Buttons"}}));
    // The way down to a record: the nearest record of each level above it.
    EXPECT_EQ(programPath(t, 4), (std::vector<int>{0, 3, 4}));
    EXPECT_EQ(programPath(t, 6), (std::vector<int>{5, 3, 6}));
    EXPECT_EQ(programPath(t, 2), std::vector<int>{});  // a step has none
}

// The shipped files, loaded the way the command tree loads them.
struct Shipped : ::testing::Test {
    Shipped() { seedHome(home.path(), TPX_SOURCE_DATA_DIR); }
    CommandTable load(int model, const std::string& version, std::uint16_t nation) {
        CommandTable t;
        loadCommandTable(home.path(), model, version, nation, t, shown.sink());
        return t;
    }
    std::vector<std::string> programs(const CommandTable& t) {
        std::vector<std::string> out;
        for (const TreeNode& n : buildCommandTree(t)) out.push_back(n.text);
        return out;
    }
    TempDir home;
    Shown shown;
};

TEST_F(Shipped, EveryModelHasItsFileAndTheFiltersShapeTheTree) {
    const std::vector<std::string> korea40 = {
        "Command",         "System",       "System Time",       "Admin Password", "Attendant",
        "Day/Night Mode",  "Software Version", "Station",       "Station Name",   "Station COS",
        "Station Features", "Trunk",       "Trunk Type",        "Trunk Group",    "Numbering",
        "System Speed Dial", "LCR Table",  "National",          "Caller ID Format"};
    EXPECT_EQ(programs(load(2, "4.0Aa", 0x82FF)), korea40);
    EXPECT_EQ(programs(load(18, "4.0Aa", 0x82FF)), korea40);  // the Hotel variant shares the file

    // Older software in the USA: no LCR table, the other nation's program.
    CommandTable usa = load(2, "3.1Aa", 0x1FFF);
    auto p = programs(usa);
    EXPECT_EQ(std::count(p.begin(), p.end(), "LCR Table"), 0);
    EXPECT_EQ(std::count(p.begin(), p.end(), "Emergency Number"), 1);
    EXPECT_EQ(std::count(p.begin(), p.end(), "Caller ID Format"), 0);
    // The older Station Features has three steps, the newer four.
    const int at = usa.findByText("Station Features");
    ASSERT_GE(at, 0);
    EXPECT_EQ(usa.records[static_cast<std::size_t>(at) + 3].text, "Camp On");
    EXPECT_EQ(usa.records[static_cast<std::size_t>(at) + 4].text, "Trunk");

    CommandTable lyra = load(4, "4.0Aa", 0x82FF);
    EXPECT_TRUE(lyra.keysetStyle);
    EXPECT_FALSE(load(1, "4.0Aa", 0x82FF).keysetStyle);
    EXPECT_EQ(programs(load(5, "5.0Aa", 0x82FF)).back(), "Base Stations");
    const auto lyraTree = programs(lyra);
    EXPECT_EQ(std::count(lyraTree.begin(), lyraTree.end(), "ISDN"), 0);  // from 4.5Aa on
    EXPECT_TRUE(shown.messages.empty());

    // A model without a command file keeps what the last load left.
    CommandTable kept = load(3, "4.0Aa", 0x82FF);
    const std::size_t size = kept.records.size();
    loadCommandTable(home.path(), 7, "4.0Aa", 0x82FF, kept, shown.sink());
    EXPECT_EQ(kept.records.size(), size);
}

}  // namespace
