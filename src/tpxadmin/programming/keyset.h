// Keyset emulation: TpxAdmin presses a keyset's keys on the administration link and mirrors
// the keyset's display and lamps from what the switch sends back.
//
// Out: one-byte key codes (1..12 dial keys, 12 + n flexible button n, the fixed keys below),
// character codes for names (a dial key, then a selector), and key texts mixing both.
// In: a byte stream decoded by states 2..8:
//   2  between updates: F0 display data, F2 beep, F3 error tone, F4 all lamps off, F5 lamp,
//      other bytes up to the next byte above 126 are plain text
//   3  display data: CD clears line 1, CF/D0 clear the halves of line 2, D1 positions the
//      cursor, F1 ends (display updated), 88+ phrase, 80..87 blank runs, below 80 characters
//   4/6 lamp number, lamp state;  7/8 cursor position, one character
// The display buffer holds 100 characters: line 1 at 0..23, CR LF at 24/25, line 2 at 26..49,
// NUL at 50.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"

namespace tpx::admin {

enum KeyCode : std::uint8_t {
    kKeyZero = 10,
    kKeyStar = 11,
    kKeyHash = 12,
    kKeyHold = 41,
    kKeyConf = 42,      // also UP
    kKeyRedial = 43,
    kKeyFlash = 45,
    kKeySpeed = 48,
    kKeyDnd = 49,
    kKeyMonitor = 51,
    kKeyMute = 52,
    kKeyCallBack = 53,  // also DOWN
    kKeyTransPgm = 56,
};
inline constexpr std::uint8_t kKeyUp = kKeyConf;
inline constexpr std::uint8_t kKeyDown = kKeyCallBack;

// The dial key of a keypad character ('0'..'9', '*', '#'), or 0.
std::uint8_t dialKey(char c);
// The two key codes of a name character for model `model` (brackets and hyphen exist only
// for codes 17 to 21); empty for a character without codes.
Bytes characterCodes(char c, int model);
Bytes nameCodes(std::string_view name, int model);
// Key text: dial characters, "\\RDL"-style key names, "\\Fnn" flexible keys, "\\nX"
// character codes, "~" for a comma, other characters as their character codes.
Bytes keyTextCodes(std::string_view text, int model);

// Receives what the decoded stream announces.
class KeysetListener {
public:
    virtual ~KeysetListener() = default;
    virtual void displayUpdated() {}                  // posted by the decoder's owner
    virtual void textReceived(std::string_view) {}
    virtual void errorTone() {}
    virtual void lampChanged(int /*index*/, int /*state*/) {}
    virtual void allLampsOff() {}
    enum class Beep { Default, Warning };
    virtual void beep(Beep) {}
};

class KeysetDisplay {
public:
    static constexpr std::size_t kSize = 100;
    static constexpr int kLamps = 24;

    KeysetDisplay() { reset(); }
    // Blanks, cursor 0, lamps off, state 2.
    void reset();
    // The active start state for a programming dialog: state 2.
    void start() { state_ = 2; }

    // Decodes one received block. `phrases` are the display phrases (phrase n = byte 0x88+n).
    void receive(ByteView block, const std::vector<std::string>& phrases, KeysetListener& listener);

    // Line 1, CR LF, line 2 (positions 0..49).
    std::string text() const;
    std::string line1() const { return std::string(text_.begin(), text_.begin() + 24); }
    std::string line2() const { return std::string(text_.begin() + 26, text_.begin() + 50); }
    int lamp(int i) const { return lamps_.at(static_cast<std::size_t>(i)); }
    int cursor() const { return cursor_; }
    int state() const { return state_; }

private:
    void put(char c);
    void restoreBreaks();

    std::array<char, kSize> text_{};
    int cursor_ = 0;
    std::array<std::uint8_t, kLamps> lamps_{};
    int lampIndex_ = 0;
    int state_ = 2;
};

}  // namespace tpx::admin
