#include "app/AppShell.h"

#include "app/AppLog.h"
#include "app/MainViewController.h"

namespace orvane::app {

void AppShell::attach(std::weak_ptr<MainViewController> controller) { controller_ = std::move(controller); }

bool AppShell::openLaunchFiles(const std::vector<std::filesystem::path>& paths) {
    if (paths.empty()) return false;
    std::string names;
    for (const auto& path : paths) {
        if (!names.empty()) names += ", ";
        names += path.filename().string();
    }
    appLog("Open launch file request: " + names);
    if (const auto controller = controller_.lock()) {
        controller->loadMIDI(paths.front());
        return true;
    }
    pending_.insert(pending_.end(), paths.begin(), paths.end());
    return true;
}

void AppShell::openPendingLaunchFilesIfNeeded() {
    const auto controller = controller_.lock();
    if (pending_.empty() || !controller) return;
    const std::filesystem::path first = pending_.front();
    pending_.clear();
    controller->loadMIDI(first);
}

}  // namespace orvane::app
