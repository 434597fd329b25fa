#include "support/Diagnostics.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace orvane {
namespace {

std::filesystem::path userApplicationSupportFolder() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg != '\0') {
        return xdg;
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return std::filesystem::path(home) / ".local" / "share";
    }
    return std::filesystem::path("/tmp");
}

std::filesystem::path betaLogFolder() {
    return userApplicationSupportFolder() / "Bramblecot Software" / "Orvane" / "Beta Logs";
}

std::mutex& standardErrorMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

BetaDiagnostics::BetaDiagnostics()
    : appSupportDirectory(betaLogFolder()),
      logFileURL(appSupportDirectory / "Orvane-beta-log.txt"),
      sessionMarkerURL(appSupportDirectory / "Orvane-session-active.marker") {
    const char* destination = std::getenv("ORVANE_LOG");
    echoToStandardError_ = destination != nullptr && std::string_view(destination) == "stderr";
}

BetaDiagnostics& BetaDiagnostics::shared() {
    static BetaDiagnostics instance;
    return instance;
}

void BetaDiagnostics::setObserver(std::function<void(std::string_view)> observer) {
    const std::lock_guard lock(observerMutex_);
    observer_ = std::move(observer);
    hasObserver_.store(static_cast<bool>(observer_));
}

void BetaDiagnostics::log(std::string_view message) {
    if (hasObserver_.load()) {
        const std::lock_guard lock(observerMutex_);
        if (observer_) observer_(message);
    }
    if (!echoToStandardError_) {
        return;
    }
    std::string line(message);
    line.push_back('\n');
    std::lock_guard lock(standardErrorMutex());
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void logDiagnostic(std::string_view source, std::string_view message) {
    auto& log = BetaDiagnostics::shared();
    if (!log.isEchoing()) {
        return;
    }
    std::string line;
    line.reserve(source.size() + message.size() + 3);
    line.append("[").append(source).append("] ").append(message);
    log.log(line);
}

}  // namespace orvane
