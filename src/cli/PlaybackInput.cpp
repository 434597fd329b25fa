#include "cli/PlaybackInput.h"

#include <cstdio>
#include <set>
#include <string>

#include "app/PlaybackRequest.h"
#include "cli/Command.h"
#include "cli/SongInput.h"
#include "midi/model/MIDIFile.h"

namespace orvane::cli {

namespace {

constexpr long long largestTranspose = 48;

struct StreamSettings {
    std::optional<std::set<int>> rows;
    int transpose = 0;
    std::optional<double> newBPM;
};

// The stream options, or the reason they are wrong.
std::optional<StreamSettings> readStreamSettings(const Arguments& arguments, const midi::MIDIFile& song,
                                                 std::string& problem) {
    StreamSettings settings;
    if (const auto list = arguments.value("--tracks")) {
        auto parsed = parseTrackList(*list, song.musicalTracks().size());
        if (!parsed.error.empty()) {
            problem = parsed.error;
            return std::nullopt;
        }
        settings.rows = std::move(parsed.rows);
    }
    if (const auto text = arguments.value("--transpose")) {
        const auto semitones = parseInteger(*text);
        if (!semitones || *semitones < -largestTranspose || *semitones > largestTranspose) {
            problem = "--transpose needs whole semitones from -48 to 48";
            return std::nullopt;
        }
        settings.transpose = static_cast<int>(*semitones);
    }
    if (const auto text = arguments.value("--tempo")) {
        const auto bpm = parseNumber(*text);
        if (!bpm || *bpm <= 0) {
            problem = "--tempo needs a tempo in BPM greater than 0";
            return std::nullopt;
        }
        settings.newBPM = *bpm;
    }
    return settings;
}

}  // namespace

std::optional<PlaybackInput> loadPlaybackInput(const Arguments& arguments, std::string_view command, int& exitCode) {
    const std::string prefix = "orvane-cli " + std::string(command) + ": ";
    midi::MIDIFile song;
    if (const auto failure = readSong(arguments.positional().front(), song)) {
        std::fprintf(stderr, "%s\n", failure->message.c_str());
        exitCode = failure->exitCode;
        return std::nullopt;
    }
    std::string problem;
    const auto settings = readStreamSettings(arguments, song, problem);
    if (!settings) {
        std::fprintf(stderr, "%s%s\n", prefix.c_str(), problem.c_str());
        exitCode = exitRejected;
        return std::nullopt;
    }
    PlaybackInput input;
    // The window's rule: no rows or every row plays the whole song, else the chosen rows.
    const std::size_t rowCount = song.musicalTracks().size();
    const app::PlaybackRequest request =
        settings->rows ? app::requestFromSelection(*settings->rows, rowCount) : app::PlaybackRequest::fullSong();
    input.stream = app::buildPlaybackStream(song, request, settings->transpose, settings->newBPM).value_or(midi::Bytes{});
    if (const auto soundFont = arguments.value("--soundfont")) input.synthesizer.soundFont = *soundFont;
    return input;
}

}  // namespace orvane::cli
