#include "tpxadmin/link/transcript.h"

#include <string>

namespace tpx::admin {

bool Transcript::open(const std::filesystem::path& path) {
    close();
    file_ = std::fopen(path.c_str(), "wb");
    return file_ != nullptr;
}

void Transcript::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

void Transcript::line(std::string_view side, std::string_view arrow, std::string_view text) {
    if (!file_) return;
    std::string l = timeStamp(clock_);
    l.append(" ").append(side).append(" ").append(arrow).append(" ").append(text).append("\n");
    std::fwrite(l.data(), 1, l.size(), file_);
    std::fflush(file_);
}

void Transcript::note(std::string_view side, std::string_view text) { line(side, ":", text); }
void Transcript::sent(std::string_view side, ByteView bytes) { line(side, "<-", hexList(bytes)); }
void Transcript::received(std::string_view side, ByteView bytes) { line(side, "->", hexList(bytes)); }

}  // namespace tpx::admin
