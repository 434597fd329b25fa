#pragma once
// The application shell's logic: files handed over by the desktop or named on the command
// line go to the main controller, the first of several only; files that arrive before the
// controller exists wait and load after launch.

#include <filesystem>
#include <memory>
#include <vector>

namespace orvane::app {

class MainViewController;

class AppShell {
public:
    // The controller of the main window, once it exists.
    void attach(std::weak_ptr<MainViewController> controller);
    // Loads the first file (the others are ignored), or keeps them all until the controller
    // exists. False only for an empty list.
    bool openLaunchFiles(const std::vector<std::filesystem::path>& paths);
    // After launch: loads the first file that waited.
    void openPendingLaunchFilesIfNeeded();
    [[nodiscard]] const std::vector<std::filesystem::path>& pendingOpenURLs() const noexcept { return pending_; }

private:
    std::weak_ptr<MainViewController> controller_;
    std::vector<std::filesystem::path> pending_;
};

}  // namespace orvane::app
