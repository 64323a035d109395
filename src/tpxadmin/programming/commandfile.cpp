#include "tpxadmin/programming/commandfile.h"

#include <array>
#include <cctype>

#include "common/files.h"
#include "tpxadmin/session/models.h"

namespace tpx::admin {

namespace {

constexpr const char* kNationFile = ".\\Data\\nation.txt";
constexpr std::size_t kNationEntries = 200;
constexpr std::size_t kNationNameMax = 20;
constexpr int kMsgTableFull = 6;
constexpr int kMsgLineTooLong = 7;

bool isKeypad(char c) { return (c >= '0' && c <= '9') || c == '*' || c == '#'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
char at(std::string_view s, std::size_t i) { return i < s.size() ? s[i] : '\0'; }

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Calls `line` for every non-empty line (CR, LF or both end one) cut to `limit` characters;
// every character cut off shows message 7. `line` returns false to stop the reading.
template <typename Fn>
void forEachLine(std::string_view data, std::size_t limit, const MessageSink& show, Fn&& line) {
    std::size_t i = 0;
    while (i < data.size()) {
        std::size_t end = data.find_first_of("\r\n", i);
        if (end == std::string_view::npos) end = data.size();
        std::string_view text = data.substr(i, end - i);
        i = end + 1;
        if (text.empty()) continue;
        if (text.size() > limit) {
            for (std::size_t k = limit; k < text.size(); ++k)
                if (show) show(kMsgLineTooLong);
            text = text.substr(0, limit);
        }
        if (!line(text)) return;
    }
}

// The first blank-separated word of a field (leading blanks passed over).
std::string_view firstWord(std::string_view field) {
    const std::size_t start = field.find_first_not_of(' ');
    if (start == std::string_view::npos) return field.substr(field.size());
    const std::size_t end = field.find(' ', start);
    return field.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

struct Field {
    std::string_view text;
    std::size_t offset;  // in the line
};

std::vector<Field> splitFields(std::string_view line) {
    std::vector<Field> fields;
    std::size_t i = 0;
    while (i <= line.size()) {
        std::size_t end = line.find(',', i);
        if (end == std::string_view::npos) end = line.size();
        if (end > i) fields.push_back({line.substr(i, end - i), i});
        i = end + 1;
    }
    return fields;
}

// The attribute word carried from line to line when a line has none.
struct AttributeWord {
    char attribute = 0;
    char control = 0;
    std::uint8_t width = 0;
};

void fillFromCodeWords(std::string_view field1, CommandRecord& r, AttributeWord& carried, bool& keysetStyle) {
    std::vector<std::string_view> words;
    std::string_view rest = field1.size() > 4 ? field1.substr(4) : std::string_view();
    while (words.size() < 10) {
        std::string_view w = firstWord(rest);
        if (w.empty()) break;
        words.push_back(w);
        rest = rest.substr(static_cast<std::size_t>(w.data() + w.size() - rest.data()));
    }
    const std::string_view code = words.empty() ? std::string_view() : words[0];
    const char c0 = at(code, 0), c1 = at(code, 1), c2 = at(code, 2), c3 = at(code, 3), c4 = at(code, 4);
    r.programCode = isKeypad(c0) && isKeypad(c1) ? (static_cast<unsigned char>(c0) << 8) | static_cast<unsigned char>(c1) : -1;
    r.kind = c2;
    r.keyNumber = isDigit(c3) && isDigit(c4) ? static_cast<std::int16_t>(10 * (c3 - '0') + (c4 - '0')) : 255;

    if (isKeypad(c0) && c1 == 'x' && c2 == 'x' && !(isDigit(c3) && isDigit(c4))) {
        r.level = 1;
    } else if (isKeypad(c0) && isKeypad(c1) && c2 != 0 && std::string_view("Ddotx").find(c2) != std::string_view::npos) {
        r.level = 2;
    } else if (isDigit(c0) && c1 == 'x') {
        if (c0 == '0') {
            r.level = kStepLevel;
        } else {
            r.level = static_cast<std::int8_t>(c0 - '0');
            keysetStyle = true;
        }
    } else if (c0 == 'F' || c0 == 'f') {
        r.level = kStepLevel;
        keysetStyle = true;
    } else {
        r.level = kStepLevel;
    }

    if (words.size() >= 2) {
        const std::string_view a = words[1];
        carried.attribute = at(a, 0);
        carried.control = at(a, 1);
        carried.width = isDigit(at(a, 2)) && isDigit(at(a, 3)) ? static_cast<std::uint8_t>(10 * (a[2] - '0') + (a[3] - '0')) : 0;
    }
    r.attribute = carried.attribute;
    r.control = carried.control;
    r.width = carried.width;
}

}  // namespace

std::uint16_t packNationCode(long n) {
    if (n < 1 || n > 10000) return 0xFFFF;
    const std::string digits = std::to_string(n);
    std::uint16_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = static_cast<std::uint16_t>(v << 4 | (i < digits.size() ? digits[i] - '0' : 0xF));
    return v;
}

std::string nationNameIn(std::string_view nationFile, std::uint16_t nationCode, const MessageSink& show) {
    if (nationCode == 0xFFFF) return {};
    struct Entry {
        std::uint16_t code;
        std::string name;
    };
    std::vector<Entry> table;
    bool full = false;
    forEachLine(nationFile, kNationLineMax, show, [&](std::string_view line) {
        if (table.size() == kNationEntries) {
            if (show) show(kMsgTableFull);
            full = true;
            return false;
        }
        const std::string_view number = firstWord(line);
        long n = 0;
        for (char c : number) {
            if (!isDigit(c) || n > 100000) break;
            n = n * 10 + (c - '0');
        }
        std::string_view rest = line.substr(static_cast<std::size_t>(number.data() + number.size() - line.data()));
        const std::size_t name = rest.find_first_not_of(' ');
        rest = name == std::string_view::npos ? std::string_view() : rest.substr(name);
        table.push_back({packNationCode(n), std::string(rest.substr(0, kNationNameMax))});
        return true;
    });
    if (full) return {};
    std::string found;
    for (const Entry& e : table)
        if (e.code == nationCode) found = e.name;
    return found;
}

std::string lookupNationName(const std::filesystem::path& home, std::uint16_t nationCode, const MessageSink& show) {
    if (nationCode == 0xFFFF) return {};
    auto path = findFile(home, kNationFile);
    if (!path) return {};
    auto data = readFile(*path);
    return data ? nationNameIn(*data, nationCode, show) : std::string();
}

std::string CommandRecord::programText() const {
    if (programCode < 0) return {};
    return {static_cast<char>(programCode >> 8), static_cast<char>(programCode & 0xFF)};
}

std::size_t CommandTable::listSize() const {
    std::size_t n = 0;
    while (n < records.size() && !records[n].text.empty()) ++n;
    return n;
}

int CommandTable::findByText(std::string_view text) const {
    const std::size_t n = listSize();
    for (std::size_t i = 0; i < n; ++i)
        if (records[i].text == text) return static_cast<int>(i);
    return -1;
}

bool versionApplies(std::string_view s, std::string_view a, std::string_view b) {
    if (s.empty()) return a.empty() && b.empty();
    if (!a.empty() && compareVersions(s, a, 5) < 0) return false;
    if (!b.empty() && compareVersions(s, b, 5) >= 0) return false;
    return true;
}

void parseCommandFile(std::string_view data, const CommandFilter& filter, CommandTable& table, const MessageSink& show) {
    table.records.clear();
    table.keysetStyle = false;
    AttributeWord carried;
    const std::size_t n = std::min<std::size_t>(4, filter.nationName.size());
    const std::string_view nationPrefix = std::string_view(filter.nationName).substr(0, n);
    forEachLine(data, kCommandLineMax, show, [&](std::string_view line) {
        CommandRecord r;
        const std::vector<Field> fields = splitFields(line);
        if (!fields.empty() && fields.size() >= 5) {
            // Field 2 is a prefix of the nation name (blanks after it aside), of which the
            // first four characters count.
            std::string_view nation = fields[1].text;
            if (!nationPrefix.empty() && nation.front() != ' ') {
                nation = nation.substr(0, nation.find_last_not_of(' ') + 1);
                const std::size_t m = std::min(n, nation.size());
                if (!equalNoCase(nation.substr(0, m), nationPrefix.substr(0, m))) return true;
            }
            if (!versionApplies(filter.version, firstWord(fields[2].text), firstWord(fields[3].text))) return true;
            std::string_view text = line.substr(fields[4].offset);
            if (!text.empty() && text.back() == ',') text.remove_suffix(1);
            r.text = std::string(text.substr(0, kCommandTextMax));
        }
        if (!fields.empty()) fillFromCodeWords(fields[0].text, r, carried, table.keysetStyle);
        if (table.records.size() == kCommandRecords) {
            if (show) show(kMsgTableFull);
            return false;
        }
        table.records.push_back(std::move(r));
        return true;
    });
}

void loadCommandTable(const std::filesystem::path& home, int model, const std::string& version,
                      std::uint16_t nationCode, CommandTable& table, const MessageSink& show) {
    CommandFilter filter;
    filter.nationName = lookupNationName(home, nationCode, show);
    filter.version = version;
    const ModelInfo* info = findModel(model);
    if (!info || info->commandFile.empty()) return;
    auto path = findFile(home, ".\\DATA\\" + std::string(info->commandFile));
    if (!path) return;
    auto data = readFile(*path);
    if (!data || data->empty()) return;
    parseCommandFile(*data, filter, table, show);
}

std::vector<int> programPath(const CommandTable& table, int index) {
    std::vector<int> path;
    if (index < 0 || static_cast<std::size_t>(index) >= table.records.size()) return path;
    const int level = table.records[static_cast<std::size_t>(index)].level;
    if (level < 1 || level >= kStepLevel) return path;
    for (int l = 1; l <= level; ++l) {
        for (int i = index; i >= 0; --i) {
            if (table.records[static_cast<std::size_t>(i)].level == l) {
                path.push_back(i);
                break;
            }
        }
    }
    return path;
}

std::vector<TreeNode> buildCommandTree(const CommandTable& table) {
    std::vector<TreeNode> nodes{{-1, -1, "Command"}};
    // The node most recently inserted at each level (0: the root).
    std::array<int, kStepLevel> latest;
    latest.fill(-1);
    latest[0] = 0;
    const std::size_t n = table.listSize();
    for (std::size_t i = 0; i < n; ++i) {
        const CommandRecord& r = table.records[i];
        if (r.level < 1 || r.level >= kStepLevel) continue;
        // A level without a parent yet hangs from the nearest level above that has one.
        int parentLevel = r.level - 1;
        while (latest[parentLevel] < 0) --parentLevel;
        nodes.push_back({latest[parentLevel], static_cast<int>(i), r.text});
        latest[r.level] = static_cast<int>(nodes.size() - 1);
    }
    return nodes;
}

}  // namespace tpx::admin
