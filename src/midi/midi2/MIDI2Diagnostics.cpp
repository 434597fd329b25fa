#include "midi/midi2/MIDI2Diagnostics.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

namespace orvane::midi::MIDI2Diagnostics {
namespace {

std::atomic<std::FILE*> outputStream{nullptr};
std::atomic<bool> enabledWhenUnset{true};
thread_local int scopeDepth = 0;
thread_local bool scopeEnabled = false;

bool readEnvironment() {
    const char* value = std::getenv("MIDI2_DEBUG_MARKERS");
    if (value == nullptr) return enabledWhenUnset.load(std::memory_order_relaxed);
    return std::strcmp(value, "0") != 0;
}

}  // namespace

bool markersEnabled() { return scopeDepth > 0 ? scopeEnabled : readEnvironment(); }

MarkerScope::MarkerScope() {
    if (scopeDepth++ == 0) scopeEnabled = readEnvironment();
}

MarkerScope::~MarkerScope() { --scopeDepth; }

void marker(std::string_view name, std::string_view detail) {
    if (!markersEnabled()) return;
    std::string line;
    line.reserve(8 + name.size() + 3 + detail.size() + 1);
    line += "[MIDI2] ";
    line += name;
    if (!detail.empty()) {
        line += " | ";
        line += detail;
    }
    line += '\n';
    std::FILE* stream = outputStream.load(std::memory_order_relaxed);
    if (stream == nullptr) stream = stdout;
    std::fwrite(line.data(), 1, line.size(), stream);
}

void setOutputStream(std::FILE* stream) { outputStream.store(stream, std::memory_order_relaxed); }

void setEnabledWhenUnset(bool enabled) { enabledWhenUnset.store(enabled, std::memory_order_relaxed); }

}  // namespace orvane::midi::MIDI2Diagnostics
