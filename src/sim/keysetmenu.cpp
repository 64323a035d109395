#include "sim/keysetmenu.h"

#include <algorithm>
#include <cctype>

namespace tpx::sim {

namespace {

enum : std::uint8_t {
    kZero = 10,
    kStar = 11,
    kHash = 12,
    kHold = 41,
    kUp = 42,
    kRedial = 43,
    kSpeed = 48,
    kDown = 53,
    kTransPgm = 56,
};

MenuField field(int key, std::string label, char type, int width = 0) {
    MenuField f;
    f.key = key;
    f.label = std::move(label);
    f.type = type;
    f.width = width;
    f.value = type == 'R' || type == 'Y' ? "0" : "";
    return f;
}

MenuNode program(std::string title, std::vector<MenuField> fields, char prompt = 0, int digits = 0, bool items = false) {
    MenuNode n;
    n.title = std::move(title);
    n.program = true;
    n.fields = std::move(fields);
    n.prompt = prompt;
    n.promptDigits = digits;
    n.itemNumbers = items;
    return n;
}

MenuNode menu(std::string title, std::map<int, MenuNode> children) {
    MenuNode n;
    n.title = std::move(title);
    n.children = std::move(children);
    return n;
}

// The programs both families share.
MenuNode dateTime() {
    return program("SYSTEM TIME", {field(1, "YEAR", 'N', 2), field(2, "MONTH", 'N', 2), field(3, "DAY", 'N', 2),
                                   field(4, "HOUR", 'N', 2), field(5, "MINUTE", 'N', 2)});
}
MenuNode password() { return program("ADMIN PASSWORD", {field(1, "PASSWORD", 'N', 4)}); }
MenuNode dayNight() {
    MenuNode n = program("DAY/NIGHT MODE", {field(1, "DAY", 'R'), field(2, "NIGHT", 'R'), field(3, "AUTO", 'R')});
    n.fields[0].value = "1";
    return n;
}
MenuNode stationName() { return program("STATION NAME", {field(1, "NAME", 'A', 12)}, 'R', 3); }
MenuNode stationCos() {
    return program("STATION COS", {field(1, "DAY COS", 'N', 1), field(2, "NIGHT COS", 'N', 1)}, 'R', 3, true);
}
MenuNode stationFeatures() {
    return program("STATION FEATURES",
                   {field(1, "DND", 'Y'), field(2, "FORWARD", 'Y'), field(3, "CAMP ON", 'Y'), field(4, "PAGING", 'Y')},
                   'V', 3);
}
MenuNode trunkType() {
    MenuNode n = program("TRUNK TYPE",
                         {field(1, "LOOP START", 'R'), field(2, "GROUND START", 'R'), field(3, "DID", 'R'),
                          field(4, "DID DIGITS", 'N', 2)},
                         'R', 2);
    n.fields[0].value = "1";
    return n;
}
MenuNode trunkGroup() { return program("TRUNK GROUP", {field(1, "GROUP", 'N', 2)}, 'R', 2); }

void buildClassic(MenuNode& root, const std::string& version) {
    std::map<int, MenuNode>& p = root.children;
    p[10] = dateTime();
    p[11] = password();
    p[12] = program("ATTENDANT", {field(1, "ATTD 1", 'N', 3), field(2, "ATTD 2", 'N', 3)});
    p[13] = dayNight();
    p[20] = stationName();
    p[21] = stationCos();
    p[22] = stationFeatures();
    p[30] = trunkType();
    p[31] = trunkGroup();
    p[40] = program("SYS SPEED DIAL", {field(1, "NUMBER", 'S', 16), field(2, "NAME", 'A', 12)}, 'V', 3);
    p[41] = program("LCR TABLE", {field(1, "DIGITS", 'S', 8), field(2, "ROUTE", 'N', 2), field(5, "TIME BAND", 'N', 1),
                                  field(6, "TOLL CLASS", 'N', 1)});
    p[45] = program("VERSION " + version, {});
    p[46] = program("ISDN NUMBERING", {field(1, "MSN", 'S', 12), field(2, "DDI DIGITS", 'N', 1)});
    p[50] = program("CALLER ID", {field(1, "DTMF", 'R'), field(2, "FSK", 'R')});
    p[51] = program("EMERGENCY NUMBER", {field(1, "NUMBER", 'S', 8)});
}

void buildLyra(MenuNode& root) {
    root.children[1] = menu("SYSTEM", {{1, dateTime()}, {2, password()}, {3, dayNight()}});
    root.children[2] =
        menu("STATION",
             {{1, stationName()},
              {2, stationCos()},
              {3, stationFeatures()},
              {4, menu("BUTTONS", {{1, program("FLEX BUTTONS", {field(1, "BUTTON", 'N', 2), field(2, "FUNCTION", 'S', 8)}, 'V', 3)},
                                   {2, program("DSS CONSOLE", {field(1, "CONSOLE", 'N', 2), field(2, "STATION", 'N', 3)})}})}});
    root.children[3] = menu("TRUNK", {{1, trunkType()}, {2, trunkGroup()}});
    root.children[4] =
        menu("ISDN", {{1, program("MSN TABLE", {field(1, "MSN", 'S', 12), field(2, "STATION", 'N', 3)}, 'V', 2)}});
    root.children[5] =
        menu("WIRELESS", {{1, program("HANDSET REGISTER", {field(1, "IPEI", 'S', 10), field(2, "ACCESS CODE", 'N', 4)}, 'V', 3)},
                          {2, program("BASE STATIONS", {field(1, "BASE", 'N', 2), field(2, "CHANNEL", 'N', 2)})}});
}

// A name character from a dial key and its selector (0 when there is none).
char nameCharacter(int key, int selector) {
    static const char* const kGroups[] = {"QZ.", "ABC", "DEF", "GHI", "JKL", "MNO", "PRS", "TUV", "WXY", "", " :,", "()-"};
    if (selector == kZero) return key >= 1 && key <= 9 ? static_cast<char>('0' + key) : key == kZero ? '0' : 0;
    if (key < 1 || key > 12 || selector < 1 || selector > 3) return 0;
    const char* g = kGroups[key - 1];
    return static_cast<int>(std::char_traits<char>::length(g)) >= selector ? g[selector - 1] : 0;
}

char dialCharacter(std::uint8_t code) {
    if (code >= 1 && code <= 9) return static_cast<char>('0' + code);
    if (code == kZero) return '0';
    if (code == kStar) return '*';
    if (code == kHash) return '#';
    return 0;
}

// One display line: phrase words as phrase bytes, blank runs as run bytes.
Bytes encodeLine(const std::string& text, bool literalFirst) {
    Bytes out;
    const auto& phrases = KeysetMenu::phrases();
    std::size_t i = 0;
    if (literalFirst && !text.empty()) out.push_back(static_cast<std::uint8_t>(text[i++]));
    while (i < text.size()) {
        if (text[i] == ' ') {
            std::size_t n = 0;
            while (i + n < text.size() && text[i + n] == ' ' && n < 9) ++n;
            if (n >= 2) out.push_back(static_cast<std::uint8_t>(0x7E + n));
            else out.push_back(' ');
            i += n;
            continue;
        }
        std::size_t end = text.find(' ', i);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(i, end - i);
        auto it = std::find(phrases.begin(), phrases.end(), word);
        if (it != phrases.end()) {
            out.push_back(static_cast<std::uint8_t>(0x88 + (it - phrases.begin())));
        } else {
            for (char c : word) out.push_back(static_cast<std::uint8_t>(c));
        }
        i = end;
    }
    return out;
}

}  // namespace

const std::vector<std::string>& KeysetMenu::phrases() {
    static const std::vector<std::string> kPhrases = {
        "PGM",    "STA",     "TRUNK",  "GROUP",   "SPEED", "NAME",  "ENTER",   "SAVE",       "ERROR",  "BLANK",
        "DAY",    "NIGHT",   "TIME",   "DATE",    "ON",    "OFF",   "YES",     "NO",         "CO LINE", "EXT",
        "RING",   "HUNT",    "PICKUP", "PAGE",    "DOOR",  "ALARM", "MUSIC",   "RECORD",     "TRANSFER", "FORWARD",
        "BUSY",   "NO ANS",  "DND",    "CAMP ON", "CALL BACK", "CONF", "HOLD", "PARK",       "LCR",    "TOLL",
        "CLASS",  "COS",     "TENANT", "ATTD",    "VOICE MAIL", "MODEM", "ISDN", "DIGIT",    "TIMER",  "FLEX",
        "BTN",    "KEY",     "NUM",    "SEL",     "NEXT",  "PREV",  "OK",      "INVALID",    "RANGE",  "DELETE"};
    return kPhrases;
}

KeysetMenu::KeysetMenu(bool lyra, std::string version, Sink out)
    : lyra_(lyra), version_(std::move(version)), out_(std::move(out)) {
    root_.title = "PGM MODE";
    if (lyra_) buildLyra(root_);
    else buildClassic(root_, version_);
}

void KeysetMenu::show(const std::string& l1, const std::string& l2, int valueColumn, const std::string& value) {
    line1_ = l1.substr(0, 24);
    line2_ = l2.substr(0, 24);
    Bytes b{0xF0, 0xCD};
    Bytes one = encodeLine(line1_, false);
    b.insert(b.end(), one.begin(), one.end());
    b.push_back(0xCF);
    b.push_back(0xD0);
    if (!line2_.empty()) {
        b.push_back(0xD1);
        b.push_back(0x19);  // line 2, column 0
        Bytes two = encodeLine(line2_, true);
        b.insert(b.end(), two.begin(), two.end());
    }
    if (valueColumn >= 0 && valueColumn < 24 && !value.empty()) {
        const std::string v = value.substr(0, static_cast<std::size_t>(24 - valueColumn));
        line2_.resize(static_cast<std::size_t>(valueColumn), ' ');
        line2_ += v;
        b.push_back(0xD1);
        b.push_back(static_cast<std::uint8_t>(0x19 + valueColumn));
        for (char c : v) b.push_back(static_cast<std::uint8_t>(c));
    }
    b.push_back(0xF1);
    out_(b);
}

void KeysetMenu::errorTone() {
    const std::uint8_t tone[] = {0xF3};
    out_(tone);
}

void KeysetMenu::lamp(int index, bool on) {
    const std::uint8_t b[] = {0xF5, static_cast<std::uint8_t>(index + 2), static_cast<std::uint8_t>(on ? 1 : 0)};
    out_(b);
}

void KeysetMenu::allLampsOff() {
    const std::uint8_t b[] = {0xF4};
    out_(b);
}

void KeysetMenu::showMenu() {
    if (!lyra_) {
        show("PGM MODE", "ENTER PGM NUM");
        return;
    }
    const MenuNode& at = path_.empty() ? root_ : *path_.back();
    show(at.title, "SEL FLEX BTN");
}

void KeysetMenu::enter() {
    active_ = true;
    path_.clear();
    program_ = nullptr;
    field_ = nullptr;
    typed_.clear();
    pending_.clear();
    prompting_ = false;
    allLampsOff();
    showMenu();
}

void KeysetMenu::enterProgram(MenuNode& node) {
    program_ = &node;
    field_ = nullptr;
    typed_.clear();
    pending_.clear();
    prompting_ = node.prompt != 0;
    allLampsOff();
    for (const MenuField& f : node.fields)
        if ((f.type == 'R' || f.type == 'Y') && f.value == "1") lamp(f.key - 1, true);
    if (prompting_) show(node.title, node.prompt == 'R' ? "ENTER RANGE" : "ENTER STA NUM");
    else show(node.title, node.fields.empty() ? "" : "SEL FLEX BTN");
}

void KeysetMenu::showField() {
    if (!field_) {
        show(program_->title, typed_.empty() ? "SEL FLEX BTN" : typed_);
        return;
    }
    std::string v = pending_.empty() ? field_->value : pending_;
    if (field_->type == 'R' || field_->type == 'Y') v = v == "1" ? "ON" : "OFF";
    show(program_->title, field_->label, 14, v.empty() ? "-" : v);
}

void KeysetMenu::selectField(MenuField* f) {
    field_ = f;
    pending_.clear();
    namePrefix_ = 0;
    if (f->type == 'R') {
        for (MenuField& other : program_->fields) {
            if (other.type != 'R') continue;
            const bool on = &other == f;
            if ((other.value == "1") != on) lamp(other.key - 1, on);
            other.value = on ? "1" : "0";
        }
    } else if (f->type == 'Y') {
        f->value = f->value == "1" ? "0" : "1";
        lamp(f->key - 1, f->value == "1");
    }
    showField();
}

void KeysetMenu::flexKey(int n) {
    if (!program_) {
        if (!lyra_) {
            errorTone();
            return;
        }
        MenuNode& at = path_.empty() ? root_ : *path_.back();
        auto it = at.children.find(n);
        if (it == at.children.end()) {
            errorTone();
            return;
        }
        if (it->second.program) {
            enterProgram(it->second);
        } else {
            path_.push_back(&it->second);
            showMenu();
        }
        return;
    }
    if (field_ && field_->type == 'S' && !pending_.empty()) {
        // A flexible key inside a number to dial is part of it.
        pending_ += "F" + std::to_string(n);
        showField();
        return;
    }
    if (prompting_) prompting_ = false;  // what was typed stands as the value
    for (MenuField& f : program_->fields) {
        if (f.key == n && !program_->itemNumbers) {
            selectField(&f);
            return;
        }
    }
    errorTone();
}

void KeysetMenu::dial(char digit) {
    if (!program_) {
        if (lyra_) {
            errorTone();
            return;
        }
        typed_ += digit;
        if (typed_.size() < 2) return;
        const std::string code = typed_;
        typed_.clear();
        const bool numeric = std::isdigit(static_cast<unsigned char>(code[0])) && std::isdigit(static_cast<unsigned char>(code[1]));
        auto it = numeric ? root_.children.find(std::stoi(code)) : root_.children.end();
        if (it == root_.children.end()) {
            errorTone();
            showMenu();
            return;
        }
        enterProgram(it->second);
        return;
    }
    if (prompting_) {
        typed_ += digit;
        const std::size_t need = static_cast<std::size_t>(program_->promptDigits) * (program_->prompt == 'R' ? 2 : 1);
        if (typed_.size() >= need) {
            prompting_ = false;
            std::string shown = typed_;
            if (program_->prompt == 'R') shown = typed_.substr(0, need / 2) + "-" + typed_.substr(need / 2);
            typed_.clear();
            show(program_->title, shown);
        } else {
            show(program_->title, typed_);
        }
        return;
    }
    if (!field_) {
        if (!program_->itemNumbers) {
            errorTone();
            return;
        }
        typed_ += digit;
        if (typed_.size() < 2) return;
        const int item = std::isdigit(static_cast<unsigned char>(typed_[0])) && std::isdigit(static_cast<unsigned char>(typed_[1]))
                             ? std::stoi(typed_) : -1;
        typed_.clear();
        for (MenuField& f : program_->fields) {
            if (f.key == item) {
                selectField(&f);
                return;
            }
        }
        errorTone();
        return;
    }
    switch (field_->type) {
        case 'A':
            break;  // names arrive as key pairs (see key())
        case 'N':
            if (!std::isdigit(static_cast<unsigned char>(digit))) {
                errorTone();
                return;
            }
            pending_ += digit;
            if (static_cast<int>(pending_.size()) > field_->width) pending_.erase(0, 1);
            break;
        case 'S':
            if (static_cast<int>(pending_.size()) < field_->width) pending_ += digit;
            break;
        default:
            errorTone();
            return;
    }
    showField();
}

void KeysetMenu::hold() {
    if (!program_) {
        errorTone();
        return;
    }
    if (field_ && !pending_.empty()) {
        field_->value = pending_;
        pending_.clear();
    }
    ++saves_;
    const std::uint8_t beep[] = {0xF2};
    out_(beep);
    show(program_->title, "SAVE OK");
}

void KeysetMenu::back() {
    if (field_) {
        field_ = nullptr;
        pending_.clear();
        showField();
    } else if (program_) {
        program_ = nullptr;
        showMenu();
    } else if (!path_.empty()) {
        path_.pop_back();
        showMenu();
    }
}

void KeysetMenu::stepField(int delta) {
    if (!program_ || program_->fields.empty()) {
        errorTone();
        return;
    }
    auto& fields = program_->fields;
    int at = field_ ? static_cast<int>(field_ - fields.data()) + delta : (delta > 0 ? 0 : static_cast<int>(fields.size()) - 1);
    if (at < 0 || at >= static_cast<int>(fields.size())) {
        errorTone();
        return;
    }
    field_ = &fields[static_cast<std::size_t>(at)];
    pending_.clear();
    showField();
}

void KeysetMenu::key(std::uint8_t code) {
    if (!active_) return;
    if (field_ && field_->type == 'A' && ((code >= 1 && code <= kHash) || namePrefix_)) {
        // Names: a dial key, then its selector.
        if (!namePrefix_) {
            namePrefix_ = code;
            return;
        }
        const char c = nameCharacter(namePrefix_, code);
        namePrefix_ = 0;
        if (!c) {
            errorTone();
            return;
        }
        if (static_cast<int>(pending_.size()) < field_->width) pending_ += c;
        showField();
        return;
    }
    if (const char d = dialCharacter(code)) {
        dial(d);
        return;
    }
    if (code >= 13 && code <= 36) {
        flexKey(code - 12);
        return;
    }
    switch (code) {
        case kTransPgm:
            if (program_ || !path_.empty()) {
                program_ = nullptr;
                field_ = nullptr;
                path_.clear();
            }
            typed_.clear();
            prompting_ = false;
            allLampsOff();
            showMenu();
            return;
        case kHold: hold(); return;
        case kRedial: back(); return;
        case kDown: stepField(1); return;
        case kUp: stepField(-1); return;
        case kSpeed:
            if (field_ && field_->type == 'S') showField();  // the number is complete
            return;
        default: return;  // other keys change nothing in programming
    }
}

}  // namespace tpx::sim
