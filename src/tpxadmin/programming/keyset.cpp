#include "tpxadmin/programming/keyset.h"

#include <cctype>

namespace tpx::admin {

std::uint8_t dialKey(char c) {
    if (c >= '1' && c <= '9') return static_cast<std::uint8_t>(c - '0');
    if (c == '0') return kKeyZero;
    if (c == '*') return kKeyStar;
    if (c == '#') return kKeyHash;
    return 0;
}

Bytes characterCodes(char c, int model) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (c >= '0' && c <= '9') return {dialKey(c), kKeyZero};
    static constexpr std::string_view kGroups[] = {"QZ.", "ABC", "DEF", "GHI", "JKL", "MNO", "PRS", "TUV", "WXY"};
    for (std::uint8_t key = 1; key <= 9; ++key) {
        auto at = kGroups[key - 1].find(c);
        if (at != std::string_view::npos) return {key, static_cast<std::uint8_t>(at + 1)};
    }
    if (auto at = std::string_view(" :,").find(c); at != std::string_view::npos)
        return {kKeyStar, static_cast<std::uint8_t>(at + 1)};
    if (model >= 17 && model <= 21)
        if (auto at = std::string_view("()-").find(c); at != std::string_view::npos)
            return {kKeyHash, static_cast<std::uint8_t>(at + 1)};
    return {};
}

Bytes nameCodes(std::string_view name, int model) {
    Bytes out;
    for (char c : name) {
        Bytes k = characterCodes(c, model);
        out.insert(out.end(), k.begin(), k.end());
    }
    return out;
}

Bytes keyTextCodes(std::string_view t, int model) {
    struct Named {
        std::string_view name;
        std::uint8_t code;
    };
    static constexpr Named kNames[] = {{"RDL", kKeyRedial}, {"PGM", kKeyTransPgm}, {"SPD", kKeySpeed},
                                       {"CNF", kKeyConf},   {"CBK", kKeyCallBack}, {"MUT", kKeyMute},
                                       {"DND", kKeyDnd},    {"FLS", kKeyFlash},    {"MON", kKeyMonitor},
                                       {"HLD", kKeyHold},   {"VDN", kKeyCallBack}, {"VUP", kKeyConf}};
    Bytes out;
    std::size_t i = 0;
    auto append = [&](const Bytes& b) { out.insert(out.end(), b.begin(), b.end()); };
    while (i < t.size()) {
        const char c = t[i];
        if (dialKey(c)) {
            out.push_back(dialKey(c));
            ++i;
            continue;
        }
        if (c == '\\' && i + 2 < t.size()) {
            // The next three characters (two when the text ends there) name a key.
            std::string word(t.substr(i + 1, 3));
            for (char& w : word) w = static_cast<char>(std::toupper(static_cast<unsigned char>(w)));
            bool named = false;
            for (const Named& n : kNames) {
                if (word == n.name) {
                    out.push_back(n.code);
                    if (n.code == kKeyHold) out.push_back(kKeyHold);
                    named = true;
                    break;
                }
            }
            if (named) {
                i += 4;
                continue;
            }
            const char kind = t[i + 1];
            if (kind == 'F' || kind == 'f') {
                const int hi = static_cast<unsigned char>(t[i + 2]) - 48;
                const int lo = (i + 3 < t.size() ? static_cast<unsigned char>(t[i + 3]) : 0) - 48;
                const int n = 10 * hi + lo;
                if (n >= 1 && n <= 48) out.push_back(static_cast<std::uint8_t>(n + 12));
                i += 4;
                continue;
            }
            if (kind == 'N' || kind == 'n') {
                append(characterCodes(t[i + 2], model));
                i += 3;
                continue;
            }
            i += 2;
            continue;
        }
        if (c == '~') append(characterCodes(',', model));
        else append(characterCodes(c, model));  // a lone backslash has no code
        ++i;
    }
    return out;
}

// --- the display ------------------------------------------------------------------------------

void KeysetDisplay::reset() {
    text_.fill(' ');
    cursor_ = 0;
    lamps_.fill(0);
    lampIndex_ = 0;
    state_ = 2;
    restoreBreaks();
}

void KeysetDisplay::restoreBreaks() {
    text_[24] = '\r';
    text_[25] = '\n';
    text_[50] = '\0';
}

void KeysetDisplay::put(char c) {
    // The buffer ends at position 99: what would land beyond it (or before it) is dropped.
    if (cursor_ >= 0 && cursor_ < static_cast<int>(kSize)) text_[cursor_] = c;
    ++cursor_;
}

std::string KeysetDisplay::text() const { return std::string(text_.begin(), text_.begin() + 50); }

void KeysetDisplay::receive(ByteView block, const std::vector<std::string>& phrases, KeysetListener& listener) {
    std::size_t i = 0;
    while (i < block.size()) {
        const std::uint8_t b = block[i];
        switch (state_) {
            case 2:
                if (b == 0xF0) state_ = 3;
                else if (b == 0xF2) listener.beep(KeysetListener::Beep::Default);
                else if (b == 0xF3) {
                    listener.errorTone();
                    listener.beep(KeysetListener::Beep::Warning);
                } else if (b == 0xF4) {
                    lamps_.fill(0);
                    listener.allLampsOff();
                } else if (b == 0xF5) {
                    state_ = 4;
                } else if (b <= 126) {
                    // Plain text up to the next byte above 126.
                    std::size_t end = i;
                    while (end < block.size() && block[end] <= 126) ++end;
                    listener.textReceived(std::string_view(reinterpret_cast<const char*>(block.data() + i), end - i));
                    i = end;
                    continue;
                }
                // other bytes above 126 are passed over here
                break;
            case 3:
                if (b == 0x01 || b == 0xFF) {
                } else if (b == 0xCD) {
                    for (int k = 0; k < 24; ++k) text_[k] = ' ';
                    cursor_ = 0;
                } else if (b == 0xCF) {
                    for (int k = 26; k < 38; ++k) text_[k] = ' ';
                    cursor_ = 26;
                } else if (b == 0xD0) {
                    for (int k = 38; k < 50; ++k) text_[k] = ' ';
                    cursor_ = 38;
                } else if (b == 0xD1) {
                    state_ = 7;
                } else if (b == 0xF1) {
                    state_ = 2;
                    listener.displayUpdated();
                } else if (b >= 0x88) {
                    const std::size_t p = b - 0x88;
                    if (p < phrases.size()) {
                        for (char c : phrases[p]) put(c);
                        restoreBreaks();
                    }
                } else if (b >= 0x80) {
                    for (int k = 0; k < b - 0x7E; ++k) put(' ');
                    restoreBreaks();
                } else {
                    if (cursor_ < 60) put(static_cast<char>(b));
                    else ++cursor_;
                    restoreBreaks();
                }
                break;
            case 4:
                lampIndex_ = b - 2;
                state_ = 6;
                break;
            case 6:
                state_ = 2;
                if (lampIndex_ >= 24 || lampIndex_ < 0) {
                    lampIndex_ = 0;
                } else {
                    lamps_[lampIndex_] = b != 0 ? 1 : 0;
                    listener.lampChanged(lampIndex_, lamps_[lampIndex_]);
                }
                break;
            case 7:
                cursor_ = b - 1;
                if (cursor_ >= 24 && cursor_ <= 49) cursor_ += 2;
                state_ = 8;
                break;
            case 8:
                put(static_cast<char>(b));
                restoreBreaks();
                state_ = 3;
                break;
            default:
                break;  // an unknown state passes the bytes over
        }
        ++i;
    }
}

}  // namespace tpx::admin
