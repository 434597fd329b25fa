// Placeholder until the MIDI 2.0 Clip import lands: clip data is not read yet.
#include "midi/model/MIDIFile.h"

namespace orvane::midi {

bool MIDIFile::parseMIDI2Clip(std::span<const std::uint8_t>) { return false; }

}  // namespace orvane::midi
