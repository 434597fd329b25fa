#pragma once
// Collects the diagnostics log's messages while the object lives.

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "support/Diagnostics.h"

namespace orvane::app::testing {

class DiagnosticsCapture {
public:
    DiagnosticsCapture() {
        BetaDiagnostics::shared().setObserver([this](std::string_view line) { lines.emplace_back(line); });
    }
    ~DiagnosticsCapture() { BetaDiagnostics::shared().setObserver({}); }
    DiagnosticsCapture(const DiagnosticsCapture&) = delete;
    DiagnosticsCapture& operator=(const DiagnosticsCapture&) = delete;

    [[nodiscard]] std::vector<std::string> starting(std::string_view prefix) const {
        std::vector<std::string> found;
        for (const auto& line : lines) if (line.starts_with(prefix)) found.push_back(line);
        return found;
    }
    [[nodiscard]] bool contains(std::string_view line) const { return std::ranges::find(lines, line) != lines.end(); }

    std::vector<std::string> lines;
};

}  // namespace orvane::app::testing
