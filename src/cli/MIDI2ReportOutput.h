#pragma once
// MIDI 2.0 import and export reports on the command line: as text under a result, and as the
// JSON object {"oneLineStatus", "detailText"}.

#include <string>

#include "midi/midi2/MIDI2Records.h"

namespace orvane::cli {

// The one-line status, then the detail text, each ending with a newline.
std::string reportText(const midi::MIDI2OperationReport& report);
std::string reportJSON(const midi::MIDI2OperationReport& report);

}  // namespace orvane::cli
