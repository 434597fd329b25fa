#pragma once
// Collects the diagnostics log's messages while the object lives. Lines may come from any
// thread; read them once the work that logs has finished.

#include <algorithm>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "support/Diagnostics.h"

namespace orvane::app::testing {

class DiagnosticsCapture {
public:
    DiagnosticsCapture() {
        BetaDiagnostics::shared().setObserver([this](std::string_view line) {
            const std::lock_guard lock(mutex_);
            lines.emplace_back(line);
        });
    }
    ~DiagnosticsCapture() { BetaDiagnostics::shared().setObserver({}); }
    DiagnosticsCapture(const DiagnosticsCapture&) = delete;
    DiagnosticsCapture& operator=(const DiagnosticsCapture&) = delete;

    [[nodiscard]] std::vector<std::string> starting(std::string_view prefix) {
        const std::lock_guard lock(mutex_);
        std::vector<std::string> found;
        for (const auto& line : lines) if (line.starts_with(prefix)) found.push_back(line);
        return found;
    }
    [[nodiscard]] bool contains(std::string_view line) {
        const std::lock_guard lock(mutex_);
        return std::ranges::find(lines, line) != lines.end();
    }

    std::vector<std::string> lines;

private:
    std::mutex mutex_;
};

}  // namespace orvane::app::testing
