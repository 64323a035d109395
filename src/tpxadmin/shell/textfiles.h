// The per-model message file (*.ERR) and phrase file (*.LCD).
//
// Message file: a line ends at CR or LF; empty lines are skipped and not counted; the k-th
// non-empty line is message k, stored with an LF appended; characters beyond 198 are dropped;
// a 301st message is not stored and reading stops (the caller shows message 5).
//
// Phrase file: a line ends at LF and the character just before the LF is dropped (the CR of
// CR LF); every line is stored, empty or not; characters beyond 198 are dropped; after the
// 61st line reading stops (that line is kept; the caller shows message 19).
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace tpx::admin {

inline constexpr std::size_t kMessageCount = 300;
inline constexpr std::size_t kPhraseLimit = 60;  // more than this many lines stops reading
inline constexpr std::size_t kLineMax = 198;

struct MessageTable {
    std::array<std::string, kMessageCount> text;
    std::size_t count = 0;
    bool overflow = false;  // a 301st message was found
};

struct PhraseTable {
    std::vector<std::string> phrases;
    bool overflow = false;  // a 61st line was found (and stored)
};

MessageTable parseMessageFile(std::string_view data);
PhraseTable parsePhraseFile(std::string_view data);

}  // namespace tpx::admin
