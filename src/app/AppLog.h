#pragma once
// The application's diagnostic lines go to the shared diagnostics log as they are written.

#include <string_view>

#include "support/Diagnostics.h"

namespace orvane::app {

inline void appLog(std::string_view message) { BetaDiagnostics::shared().log(message); }

// Whether lines are kept or printed anywhere; callers may skip composing costly ones.
[[nodiscard]] inline bool appLogIsOn() { return BetaDiagnostics::shared().isEchoing(); }

}  // namespace orvane::app
