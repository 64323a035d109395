// A temporary folder with a TPX-12 image pair for the upgrade sessions' fuzz targets,
// made once per process and removed at exit.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/files.h"
#include "sim/upgradememory.h"
#include "upgrade/trace.h"

namespace tpx::fuzz {

inline const std::filesystem::path& imageFolder() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / ("tpxfuzz-images-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        Bytes first, second;
        sim::UpgradeMemory::makeImages(0, 1, first, second);
        (void)writeFileAtomically(d / "first.bin", toString(first));
        (void)writeFileAtomically(d / "second.bin", toString(second));
        std::atexit([] { std::filesystem::remove_all(imageFolder()); });
        return d;
    }();
    return dir;
}

// The window side that shows nothing.
struct QuietHost : upgrade::UpgradeHost {
    void monitorLine(const std::string&) override {}
    void setStatus(std::string_view) override {}
    void setVersion(const std::string&) override {}
    void setProgress(int, std::size_t, int) override {}
};

}  // namespace tpx::fuzz
