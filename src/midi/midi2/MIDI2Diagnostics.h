#pragma once
// Debug markers of the MIDI 2.0 layer: one line "[MIDI2] NAME | detail" per step.
//
// Markers are written unless the environment variable MIDI2_DEBUG_MARKERS is exactly "0".
// The variable is read at every call, except inside a MarkerScope, which reads it once for a
// whole operation (an import of millions of packets asks once, not per packet). Callers test
// markersEnabled() before composing a detail text.

#include <cstdio>
#include <string_view>

namespace orvane::midi::MIDI2Diagnostics {

// True when a marker written now would be printed.
[[nodiscard]] bool markersEnabled();

// Writes "[MIDI2] " + name, then " | " + detail when detail is not empty, and a newline,
// as one write (lines from several threads never interleave).
void marker(std::string_view name, std::string_view detail = {});

// While one is alive on a thread, that thread's markers use the setting read when the
// outermost scope was created.
class MarkerScope {
public:
    MarkerScope();
    ~MarkerScope();
    MarkerScope(const MarkerScope&) = delete;
    MarkerScope& operator=(const MarkerScope&) = delete;
};

// Where markers go; standard output unless changed. Not owned.
void setOutputStream(std::FILE* stream);
// Whether markers are written while MIDI2_DEBUG_MARKERS is not set at all (default true).
// The command-line tool turns this off so that its standard output carries only results.
void setEnabledWhenUnset(bool enabled);

}  // namespace orvane::midi::MIDI2Diagnostics
