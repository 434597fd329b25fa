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
#include <vector>

#include "ui/Appearance.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"
#include "ui/QtRunLoop.h"

namespace {

const char* const usage =
    "Usage: orvane [OPTION]... [FILE]...\n"
    "Opens the window with the first MIDI file loaded (further files are ignored).\n"
    "\n"
    "  --soundfont FILE           General MIDI SoundFont to play with\n"
    "  --quit-after-first-frame   quit once the window has painted with the file loaded\n"
    "                             (also ORVANE_QUIT_AFTER_FIRST_FRAME=1)\n"
    "  --help                     show this help\n"
    "  --version                  show the version\n"
    "\n"
    "ORVANE_AUDIO_OUTPUT=null plays silently; ORVANE_LOG=stderr prints the diagnostics log.\n";

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

struct Arguments {
    std::vector<std::filesystem::path> files;
    std::optional<std::filesystem::path> soundFont;
    bool quitAfterFirstFrame = false;
};

// Answers nothing after printing help, the version or an error (with the exit code).
std::optional<Arguments> parse(int argc, char** argv, int& exitCode) {
    Arguments arguments;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (options && argument == "--") {
            options = false;
        } else if (options && (argument == "--help" || argument == "-h")) {
            std::fputs(usage, stdout);
            exitCode = 0;
            return std::nullopt;
        } else if (options && argument == "--version") {
            std::printf("orvane %s\n", ORVANE_VERSION);
            exitCode = 0;
            return std::nullopt;
        } else if (options && argument == "--quit-after-first-frame") {
            arguments.quitAfterFirstFrame = true;
        } else if (options && argument == "--soundfont") {
            if (i + 1 >= argc) {
                std::fputs("orvane: --soundfont needs a file\n", stderr);
                exitCode = 2;
                return std::nullopt;
            }
            arguments.soundFont = argv[++i];
        } else if (options && argument.size() > 1 && argument[0] == '-') {
            std::fprintf(stderr, "orvane: unknown option %s\n%s", argument.c_str(), usage);
            exitCode = 2;
            return std::nullopt;
        } else {
            arguments.files.emplace_back(argument);
        }
    }
    if (const char* quit = std::getenv("ORVANE_QUIT_AFTER_FIRST_FRAME"); quit && std::strcmp(quit, "1") == 0) {
        arguments.quitAfterFirstFrame = true;
    }
    return arguments;
}

}  // namespace

int main(int argc, char** argv) {
    // Help and version need no display: answered before Qt starts.
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--") break;
        if (argument == "--help" || argument == "-h" || argument == "--version") {
            int code = 0;
            parse(argc, argv, code);
            return code;
        }
    }
    QApplication::setApplicationName("Orvane");
    QApplication::setApplicationVersion(ORVANE_VERSION);
    QApplication::setDesktopFileName("orvane");
    QApplication application(argc, argv);  // takes Qt's own options out of argv
    int exitCode = 0;
    const auto arguments = parse(argc, argv, exitCode);
    if (!arguments) return exitCode;
    orvane::ui::applyLightAppearance(application);

    orvane::ui::ApplicationOptions options;
    options.soundFont = arguments->soundFont;
    orvane::ui::Application orvane(std::move(options));
    orvane.preloadSoundFontInBackground();
    // Files named before the window exists wait in the shell and load once it is shown.
    if (!arguments->files.empty()) orvane.openFiles(arguments->files);
    orvane.createWindow();

    if (arguments->quitAfterFirstFrame) {
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
