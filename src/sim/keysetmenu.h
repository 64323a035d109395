// The switch's programming mode as a keyset sees it: after TRANS/PGM the administration
// port takes key codes and answers with display updates, lamps and tones.
//
// Classic models (TPX300, TPX560, TPX-RVII) enter a program by its two-digit code; LYRA
// models walk a menu by flexible keys (REDIAL goes back one level). Inside a program a
// flexible key (or a two-digit item number) selects a field, dial keys type its value
// (names as dial key + selector pairs), UP/DOWN step through the fields, HOLD saves and
// TRANS/PGM leaves the program. Unknown codes and keys sound the error tone.
//
// Display updates: 0xF0, 0xCD line 1, 0xCF 0xD0 0xD1 <pos> line 2, 0xF1; words of the
// phrase list go out as phrase bytes (0x88 + n), blank runs as 0x80..0x87.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/bytes.h"

namespace tpx::sim {

struct MenuField {
    int key = 0;             // flexible key, or item number for item-numbered programs
    std::string label;
    char type = 'N';         // N number, A name, S key text, R radio, Y check
    int width = 2;
    std::string value;       // saved
};

struct MenuNode {
    std::string title;
    std::map<int, MenuNode> children;  // LYRA menus: by flexible key
    bool program = false;
    bool itemNumbers = false;          // fields selected by two-digit item number
    char prompt = 0;                   // 'R': range (2 x promptDigits), 'V': value
    int promptDigits = 0;
    std::vector<MenuField> fields;
};

class KeysetMenu {
public:
    using Sink = std::function<void(ByteView)>;
    // `lyra`: flexible-key menus instead of program codes.
    KeysetMenu(bool lyra, std::string version, Sink out);

    // TRANS/PGM from administration: programming starts.
    void enter();
    bool active() const { return active_; }
    void leave() { active_ = false; }
    // One key code while programming.
    void key(std::uint8_t code);

    // For tests: where the menu stands.
    const MenuNode* program() const { return program_; }
    const MenuField* field() const { return field_; }
    std::string line1() const { return line1_; }
    std::string line2() const { return line2_; }
    int saves() const { return saves_; }
    const MenuNode& root() const { return root_; }

    // The phrase list the switch's display uses (phrase n = byte 0x88 + n).
    static const std::vector<std::string>& phrases();

private:
    void show(const std::string& l1, const std::string& l2, int valueColumn = -1, const std::string& value = {});
    void showField();
    void errorTone();
    void lamp(int index, bool on);
    void allLampsOff();
    void enterProgram(MenuNode& node);
    void selectField(MenuField* f);
    void dial(char digit);
    void flexKey(int n);
    void hold();
    void back();
    void stepField(int delta);
    void showMenu();

    bool lyra_;
    std::string version_;
    Sink out_;
    bool active_ = false;
    MenuNode root_;
    std::map<std::string, MenuNode*> byCode_;  // classic program codes
    std::vector<MenuNode*> path_;              // LYRA: menus walked from the root
    MenuNode* program_ = nullptr;
    MenuField* field_ = nullptr;
    std::string typed_;       // program code or prompt digits being dialled
    std::string pending_;     // the value typed into the field
    int namePrefix_ = 0;      // name entry: the dial key waiting for its selector
    bool prompting_ = false;
    std::string line1_, line2_;
    int saves_ = 0;
};

}  // namespace tpx::sim
