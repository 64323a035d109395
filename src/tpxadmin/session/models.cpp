#include "tpxadmin/session/models.h"

#include <array>
#include <cctype>

namespace tpx::admin {

namespace {
constexpr std::array<ModelInfo, 5> kModels = {{
    {1, "TPX300", "TPX300", ".\\DATA\\ADM30.ERR", ".\\DATA\\CAN30.LCD", "ADM30.cmd"},
    {2, "TPX560", "TPX560", ".\\DATA\\ADM56.ERR", ".\\DATA\\CAN56.LCD", "ADM56.cmd"},
    {3, "TPXRVII", "TPX-RVII", ".\\DATA\\ADM47.ERR", ".\\DATA\\CAN47.LCD", "ADM47.cmd"},
    {4, "TPXLYRA", "TPX-LYRA", "", "", "ADM12.cmd"},
    {5, "TPXWLYRA", "TPX-WLYRA", "", "", "ADMW12.cmd"},
}};

// The comparable form of a version text (rules 2 of the ordering).
std::string normalise(std::string_view v, std::size_t n) {
    std::string s(v);
    if (!s.empty() && s[0] >= 'A' && s[0] <= 'Z') s[0] = s[0] <= 'I' ? static_cast<char>('1' + (s[0] - 'A')) : '1';
    if (n >= 5 && s.size() >= 5 && std::isdigit(static_cast<unsigned char>(s[4])))
        s[4] = static_cast<char>(static_cast<unsigned char>(s[4]) + 0x7A);
    return s;
}
}  // namespace

const ModelInfo* findModel(int modelCode) {
    if (modelCode != (modelCode & (0x0F | kHotelBit))) return nullptr;
    int base = modelCode & 0x0F;
    for (const auto& m : kModels)
        if (m.code == base) return &m;
    return nullptr;
}

std::string statusBarName(int modelCode) {
    const ModelInfo* m = findModel(modelCode);
    std::string name = m ? std::string(m->statusName) : std::string();
    return name + ((modelCode & kHotelBit) ? " Hotel" : " Office");
}

std::optional<std::string_view> headerModelName(std::uint8_t modelCode) {
    static constexpr std::string_view kNames[] = {"UNKNOWN", "TPX300", "TPX560", "TPX-RVII", "TPX-LYRA",
                                                  "TPX-WLYRA"};
    unsigned i = modelCode & 0x0F;
    if (i >= std::size(kNames)) return std::nullopt;
    return kNames[i];
}

int compareVersions(std::string_view x, std::string_view y, std::size_t n) {
    std::string a(x), b(y);
    if (!x.empty()) {
        a = normalise(x, n);
        b = normalise(y, n);
    }
    // strnicmp: an ended text reads as NUL, which sorts before every character.
    for (std::size_t i = 0; i < n; ++i) {
        int ca = i < a.size() ? std::tolower(static_cast<unsigned char>(a[i])) : 0;
        int cb = i < b.size() ? std::tolower(static_cast<unsigned char>(b[i])) : 0;
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
    return 0;
}

}  // namespace tpx::admin
