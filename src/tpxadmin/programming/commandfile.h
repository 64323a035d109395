// Command files: the per-model list of administration programs and their steps that the
// command tree shows, filtered by the switch's nation and software version.
//
// A line: "cccc" + code words, nation prefix, lowest version, version from which it no
// longer applies, text (commas included). Fields are split at commas, empty fields skipped;
// code words are taken from the fifth character of field 1 on: word 1 the code word
// (program code, kind letter, key number), word 2 the attribute word (attribute letter,
// control letter, width).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tpx::admin {

// 82 -> 0x82FF, 7 -> 0x7FFF, 1234 -> 0x1234; 0 and above 10000 -> 0xFFFF.
std::uint16_t packNationCode(long n);

// Shows message N (6: table full, 7: a character beyond the line limit dropped).
using MessageSink = std::function<void(int)>;

// The name of `nationCode` in a nation file's text ("82 KOREA" lines); the last matching
// line wins; empty when none matches, for 0xFFFF, or when a 201st line stops the reading.
std::string nationNameIn(std::string_view nationFile, std::uint16_t nationCode, const MessageSink& show);
// The same from the file ".\\Data\\nation.txt" of the program folder (empty when missing).
std::string lookupNationName(const std::filesystem::path& home, std::uint16_t nationCode, const MessageSink& show);

inline constexpr int kStepLevel = 10;
inline constexpr std::size_t kCommandRecords = 2000;
inline constexpr std::size_t kCommandTextMax = 51;
inline constexpr std::size_t kCommandLineMax = 118;
inline constexpr std::size_t kNationLineMax = 98;

struct CommandRecord {
    std::int32_t programCode = -1;  // (first << 8) | second keypad character, or -1
    char kind = 0;
    std::int16_t keyNumber = 255;   // 0..99, 255 when not two digits
    char attribute = 0;
    char control = 0;
    std::int8_t level = kStepLevel; // 1..9 in the tree, 10 a step
    std::uint8_t width = 0;
    std::string text;               // at most 51 characters

    bool isStep() const { return level == kStepLevel; }
    // The two keypad characters of the program code ("12"), empty for -1.
    std::string programText() const;
};

struct CommandTable {
    // In file order; the list ends at the first record with an empty text (which is kept).
    std::vector<CommandRecord> records;
    bool keysetStyle = false;

    // Records up to the first empty text.
    std::size_t listSize() const;
    // Index of the first record whose text equals `text`, or -1.
    int findByText(std::string_view text) const;
};

struct CommandFilter {
    std::string nationName;  // empty: every nation
    std::string version;     // five characters, empty when unknown
};

// Parses a whole command file into `table` (replacing it; the keyset-style mark is set
// afresh).
void parseCommandFile(std::string_view data, const CommandFilter& filter, CommandTable& table, const MessageSink& show);

// Does a line with bounds `lower`/`upper` (blank: none) apply to `version`?
bool versionApplies(std::string_view version, std::string_view lower, std::string_view upper);

// Loads the command file of `model` from the program folder. A missing or empty file or a
// model without one leaves `table` as it was.
void loadCommandTable(const std::filesystem::path& home, int model, const std::string& version,
                      std::uint16_t nationCode, CommandTable& table, const MessageSink& show);

// The way down to record `index` in a keyset-style file: for each level from 1 to the
// record's own, the nearest record of that level at or before it (the record itself for its
// own level); levels without such a record are left out.
std::vector<int> programPath(const CommandTable& table, int index);

// The tree: node 0 is the root "Command"; every other node shows one record.
struct TreeNode {
    int parent = -1;   // node index; -1 for the root
    int record = -1;   // record index; -1 for the root
    std::string text;
};
std::vector<TreeNode> buildCommandTree(const CommandTable& table);

}  // namespace tpx::admin
