// orvane [FILE…]: the window, with the first file loaded.

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <unistd.h>
#include <string>
#include <variant>
#include <vector>

#include "app/ShellOptions.h"
#include "ui/Appearance.h"
#include "ui/DesktopIcon.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"
#include "ui/QtRunLoop.h"

namespace {

// Seconds since this process started (the kernel's start time, in clock ticks).
double secondsSinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) return -1;
    const char* field = text.c_str() + close + 2;  // field 3 onwards
    for (int i = 3; i < 22 && *field; ++i) field = std::strchr(field, ' ') ? std::strchr(field, ' ') + 1 : "";
    const double startTicks = std::strtod(field, nullptr);
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9 -
           startTicks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace

int main(int argc, char** argv) {
    // Help and version need no display: answered before Qt starts.
    if (const auto answer = orvane::app::helpOrVersionRequest(std::vector<std::string>(argv + 1, argv + argc))) {
        std::fputs(answer->standardOutput.c_str(), stdout);
        return answer->exitCode;
    }
    QApplication::setApplicationName("Orvane");
    QApplication::setApplicationVersion(QString::fromUtf8(orvane::app::applicationVersion().data(),
                                                          static_cast<qsizetype>(orvane::app::applicationVersion().size())));
    QApplication::setDesktopFileName(QString::fromUtf8(orvane::app::applicationID.data(),
                                                       static_cast<qsizetype>(orvane::app::applicationID.size())));
    QApplication application(argc, argv);  // takes Qt's own options out of argv
    QApplication::setWindowIcon(orvane::ui::orvaneIcon());
    const auto command = orvane::app::parseShellArguments(std::vector<std::string>(argv + 1, argv + argc),
                                                          std::getenv("ORVANE_QUIT_AFTER_FIRST_FRAME"));
    if (const auto* exit = std::get_if<orvane::app::ShellExit>(&command)) {
        std::fputs(exit->standardOutput.c_str(), stdout);
        std::fputs(exit->standardError.c_str(), stderr);
        return exit->exitCode;
    }
    const auto& arguments = std::get<orvane::app::ShellOptions>(command);
    orvane::ui::applyLightAppearance(application);

    orvane::ui::ApplicationOptions options;
    options.soundFont = arguments.soundFont;
    orvane::ui::Application orvane(std::move(options));
    orvane.preloadSoundFontInBackground();
    // Files named before the window exists wait in the shell and load once it is shown.
    if (!arguments.files.empty()) orvane.openFiles(arguments.files);
    orvane.createWindow();

    if (arguments.quitAfterFirstFrame) {
        // Armed once the launch file's load has been drawn into the widgets: the next frame
        // shows the song.
        auto armed = std::make_shared<bool>(false);
        QObject::connect(&orvane.window(), &orvane::ui::MainWindow::framePainted, &application, [armed] {
            if (!*armed) return;
            *armed = false;
            std::fprintf(stderr, "orvane: first frame with the song after %.3f s\n", secondsSinceProcessStart());
            QApplication::quit();
        });
        QTimer::singleShot(0, &application, [&orvane, armed] {
            orvane.launch([&orvane, armed] { orvane.runLoop().postToMain([armed] { *armed = true; }); });
        });
    } else {
        QTimer::singleShot(0, &application, [&orvane] { orvane.launch(); });
    }
    return QApplication::exec();
}
