// The TPX models: names by model code, the per-model files, and the ordering of software
// version texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tpx::admin {

// Bit 4 of a model code marks the Hotel variant; the low four bits name the model.
inline constexpr int kHotelBit = 0x10;

struct ModelInfo {
    int code;                        // 1..5
    std::string_view statusName;     // "TPX560"
    std::string_view headerName;     // "TPX560" / "TPX-RVII" as user file headers spell it
    std::string_view messageFile;    // ".\\DATA\\ADM56.ERR", empty when the model has none
    std::string_view phraseFile;     // ".\\DATA\\CAN56.LCD"
    std::string_view commandFile;    // "ADM56.cmd"
};

// The entry for a model code (1..5 and 17..21); nullptr for any other.
const ModelInfo* findModel(int modelCode);

// The status bar text after an identification: "TPX560 Hotel", "TPX300 Office"; a code
// outside the table shows only the suffix.
std::string statusBarName(int modelCode);

// The model name of a user file header: index = code AND 0x0F; 0 "UNKNOWN". Codes whose
// low bits are 6 or more have no name: nullopt.
std::optional<std::string_view> headerModelName(std::uint8_t modelCode);

// Orders two software version texts over their first n characters: negative, zero or
// positive. A leading capital letter counts as a digit ("A".."I" = 1..9, "J".."Z" = 1), a
// fifth character that is a digit sorts after every letter (n >= 5), case is ignored, and
// a text that ends first sorts first. An empty first text compares as it stands.
int compareVersions(std::string_view x, std::string_view y, std::size_t n);

}  // namespace tpx::admin
