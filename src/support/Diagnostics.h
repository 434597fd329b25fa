#pragma once
// The application's diagnostics log. Operations compose one-line messages and hand them here.
// The log keeps nothing; with the environment variable ORVANE_LOG=stderr every message is
// printed as one line on standard error.

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

class BetaDiagnostics {
public:
    // The one instance, created on first use (thread-safe).
    static BetaDiagnostics& shared();

    // Accepts one message. Safe to call from any thread.
    void log(std::string_view message);

    // True when messages go somewhere; lets hot callers skip composing them.
    [[nodiscard]] bool isEchoing() const { return echoToStandardError_ || hasObserver_.load(); }
    // Also hands every message to observer, on the thread that logs it (tests read the log
    // this way); an empty function removes it.
    void setObserver(std::function<void(std::string_view)> observer);

    const std::string supportEmail = "beta@orvane.invalid";
    const std::string consentAskedKey = "OrvaneBetaLogConsentAsked";
    const std::string fileLoggingEnabledKey = "OrvaneBetaLogFileEnabled";
    const std::string dateFormat = "yyyy-MM-dd HH:mm:ss.SSS zzz";
    const std::filesystem::path appSupportDirectory;
    const std::filesystem::path logFileURL;
    const std::filesystem::path sessionMarkerURL;
    // In-memory log lines; this build keeps none.
    [[nodiscard]] const std::vector<std::string>& entries() const { return entries_; }

    BetaDiagnostics(const BetaDiagnostics&) = delete;
    BetaDiagnostics& operator=(const BetaDiagnostics&) = delete;

private:
    BetaDiagnostics();
    std::vector<std::string> entries_;
    bool echoToStandardError_ = false;
    std::mutex observerMutex_;
    std::function<void(std::string_view)> observer_;
    std::atomic<bool> hasObserver_{false};
};

// "[source] message" on the shared log.
void logDiagnostic(std::string_view source, std::string_view message);

}  // namespace orvane
