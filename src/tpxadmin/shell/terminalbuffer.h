// The text of the terminal view as the switch console draws it, kept here so the rules run
// without a window: received bytes are filtered (bell beeps, BS/LF/CR and printable ASCII
// stay), backspaces erase, LFs are dropped and every CR becomes CR LF, and the text is
// trimmed by 4097 characters once it holds 16384. The view mirrors each edit.
#pragma once

#include <string>
#include <string_view>

#include "common/bytes.h"

namespace tpx::admin {

// One change to the text: keep the first `keep` characters (after a trim, when `trimmed`),
// then append `insert`.
struct TerminalEdit {
    bool trimmed = false;
    std::size_t keep = 0;
    std::string insert;
};

class TerminalBuffer {
public:
    static constexpr std::size_t kTrimAt = 16384;
    static constexpr std::size_t kTrimCount = 4097;

    // Received bytes to terminal text; `bells` counts the 0x07 bytes (each one beep).
    static std::string filter(ByteView chunk, int* bells = nullptr);
    // Backspace and line-end rules applied to new text; `erase` is how many characters of the
    // existing text the leading backspaces take away (not yet limited to the text's length).
    static std::string prepare(std::string_view text, std::size_t* erase);

    // Appends new text (already filtered). Returns the edit made.
    TerminalEdit append(std::string_view text);
    // Appends text that went through prepare() and may have been rewritten since.
    TerminalEdit appendPrepared(std::string_view prepared, std::size_t erase);
    void clear() { text_.clear(); }
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

}  // namespace tpx::admin
