#include "tpxadmin/shell/terminalbuffer.h"

#include <algorithm>

namespace tpx::admin {

std::string TerminalBuffer::filter(ByteView chunk, int* bells) {
    std::string out;
    out.reserve(chunk.size());
    for (std::uint8_t b : chunk) {
        if (b == 0x07) {
            if (bells) ++*bells;
        } else if (b == 0x08 || b == 0x0A || b == 0x0D || (b >= 0x20 && b <= 0x7E)) {
            out.push_back(static_cast<char>(b));
        }
    }
    return out;
}

std::string TerminalBuffer::prepare(std::string_view text, std::size_t* erase) {
    std::string kept;
    std::size_t leading = 0;
    for (char c : text) {
        if (c != 0x08) kept.push_back(c);
        else if (!kept.empty()) kept.pop_back();
        else ++leading;
    }
    std::string out;
    out.reserve(kept.size() + 8);
    for (char c : kept) {
        if (c == '\n') continue;
        out.push_back(c);
        if (c == '\r') out.push_back('\n');
    }
    if (erase) *erase = leading;
    return out;
}

TerminalEdit TerminalBuffer::append(std::string_view text) {
    std::size_t erase = 0;
    std::string prepared = prepare(text, &erase);
    return appendPrepared(prepared, erase);
}

TerminalEdit TerminalBuffer::appendPrepared(std::string_view prepared, std::size_t erase) {
    TerminalEdit edit;
    if (text_.size() >= kTrimAt) {
        text_.erase(0, kTrimCount);
        edit.trimmed = true;
    }
    erase = std::min(erase, text_.size());
    text_.resize(text_.size() - erase);
    text_.append(prepared);
    edit.keep = text_.size() - prepared.size();
    edit.insert = std::string(prepared);
    return edit;
}

}  // namespace tpx::admin
