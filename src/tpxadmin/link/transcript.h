// The link transcript ".\\trace.txt": one line per link event, each stamped with the local
// time and flushed at once. "(L)" is the serial link, "(R)" the ISDN link; "<-" is data
// sent by TpxAdmin, "->" data received.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string_view>

#include "common/bytes.h"
#include "common/clock.h"

namespace tpx::admin {

class Transcript {
public:
    explicit Transcript(const Clock& clock) : clock_(clock) {}
    ~Transcript() { close(); }
    Transcript(const Transcript&) = delete;
    Transcript& operator=(const Transcript&) = delete;

    // Creates the file anew (emptied). Without an open file every write does nothing.
    bool open(const std::filesystem::path& path);
    void close();
    bool isOpen() const { return file_ != nullptr; }

    // "hh:mm:ss (L) : Connection Success.\n" for side "(L)" and note "Connection Success."
    void note(std::string_view side, std::string_view text);
    // "hh:mm:ss (L) <- 41 0d \n"
    void sent(std::string_view side, ByteView bytes);
    // "hh:mm:ss (L) -> 41 0d \n"
    void received(std::string_view side, ByteView bytes);
    // "hh:mm:ss (R) <- f9\n": a send written as given.
    void sentText(std::string_view side, std::string_view text) { line(side, "<-", text); }

private:
    void line(std::string_view side, std::string_view arrow, std::string_view text);

    const Clock& clock_;
    std::FILE* file_ = nullptr;
};

}  // namespace tpx::admin
