#include "tpxadmin/shell/textfiles.h"

namespace tpx::admin {

MessageTable parseMessageFile(std::string_view data) {
    MessageTable t;
    std::string line;
    auto endLine = [&]() -> bool {
        if (line.empty()) return true;
        if (t.count == kMessageCount) {
            t.overflow = true;
            return false;
        }
        t.text[t.count++] = line + "\n";
        line.clear();
        return true;
    };
    for (char c : data) {
        if (c == '\r' || c == '\n') {
            if (!endLine()) return t;
        } else if (line.size() < kLineMax) {
            line.push_back(c);
        }
    }
    endLine();
    return t;
}

PhraseTable parsePhraseFile(std::string_view data) {
    PhraseTable t;
    std::string line;
    for (char c : data) {
        if (c != '\n') {
            line.push_back(c);
            continue;
        }
        if (!line.empty()) line.pop_back();  // the CR of CR LF
        if (line.size() > kLineMax) line.resize(kLineMax);
        t.phrases.push_back(line);
        line.clear();
        if (t.phrases.size() > kPhraseLimit) {
            t.overflow = true;
            return t;
        }
    }
    // A last line without a line end is kept as it stands.
    if (!line.empty()) {
        if (line.size() > kLineMax) line.resize(kLineMax);
        t.phrases.push_back(line);
        t.overflow = t.phrases.size() > kPhraseLimit;
    }
    return t;
}

}  // namespace tpx::admin
