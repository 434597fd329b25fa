#pragma once
// File output shared by the generators in tools/.

#include <cstdio>
#include <filesystem>
#include <span>

#include "support/AtomicFile.h"

namespace orvane::tools {

// Writes the file atomically; on failure prints why and returns false.
inline bool writeFileOrReport(const std::filesystem::path& target, std::span<const std::uint8_t> bytes) {
    try {
        writeFileAtomically(target, bytes);
        return true;
    } catch (const FileWriteError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return false;
    }
}

}  // namespace orvane::tools
