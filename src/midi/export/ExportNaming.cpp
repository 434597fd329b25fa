#include "midi/export/ExportNaming.h"

#include <algorithm>
#include <map>

namespace orvane::midi {

namespace {

bool isContinuationByte(char c) noexcept { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The longest prefix of text of at most maxBytes bytes that does not end inside a UTF-8
// sequence.
std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes) noexcept {
    if (text.size() <= maxBytes) return text;
    std::size_t length = maxBytes;
    while (length > 0 && isContinuationByte(text[length])) --length;
    return text.substr(0, length);
}

bool isForbiddenInFileNames(char c) noexcept {
    return c == '/' || c == ':' || c == '\\' || c == '|' || c == '?' || c == '*';
}

std::string_view trimmedSpacesAndTabs(std::string_view text) noexcept {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// The stem and the extension (without its dot) of a name; no extension when there is no dot.
std::pair<std::string_view, std::optional<std::string_view>> splitExtension(std::string_view name) noexcept {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return {name, std::nullopt};
    return {name.substr(0, dot), name.substr(dot + 1)};
}

// Decodes one UTF-8 character at text[at]; an invalid byte decodes as itself.
char32_t decodeAt(std::string_view text, std::size_t& at) noexcept {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 1;
    if (at + length > text.size()) length = 1;
    for (std::size_t i = 1; i < length; ++i) {
        if (!isContinuationByte(text[at + i])) length = 1;
    }
    const unsigned leadBits = length == 1 ? lead : lead & (0x7Fu >> length);
    auto value = static_cast<char32_t>(leadBits);
    for (std::size_t i = 1; i < length; ++i) value = (value << 6) | static_cast<char32_t>(byte(at + i) & 0x3Fu);
    at += length;
    return value;
}

void appendUTF8(std::string& out, char32_t c) {
    const auto put = [&](unsigned value) { out.push_back(static_cast<char>(value)); };
    if (c < 0x80) {
        put(c);
    } else if (c < 0x800) {
        put(0xC0 | (c >> 6));
        put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        put(0xE0 | (c >> 12));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    } else {
        put(0xF0 | (c >> 18));
        put(0x80 | ((c >> 12) & 0x3F));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    }
}

char32_t lowerCase(char32_t c) noexcept {
    if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x178) return 0xFF;
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        return oddUpper ? ((c & 1) != 0 ? c + 1 : c) : ((c & 1) == 0 ? c + 1 : c);
    }
    if ((c >= 0x391 && c <= 0x3A9 && c != 0x3A2) || (c >= 0x410 && c <= 0x42F)) return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    return c;
}

bool isControlCharacter(char32_t c) noexcept { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

}  // namespace

std::string_view fileExtension(MIDIExportFormat format) noexcept {
    return format == MIDIExportFormat::midi2Clip ? "midi2" : "mid";
}

std::string_view formatLabel(MIDIExportFormat format) noexcept {
    return format == MIDIExportFormat::midi2Clip ? "MIDI 2.0" : "MIDI 1.0";
}

std::vector<int> rowsToExport(const std::set<int>& selectedRows, std::size_t rowCount, std::size_t musicalTrackCount) {
    std::vector<int> rows;
    if (!selectedRows.empty() && selectedRows.size() != rowCount) {
        for (const int row : selectedRows) {
            if (row >= 0 && static_cast<std::size_t>(row) < musicalTrackCount) rows.push_back(row);
        }
        return rows;
    }
    rows.reserve(musicalTrackCount);
    for (std::size_t row = 0; row < musicalTrackCount; ++row) rows.push_back(static_cast<int>(row));
    return rows;
}

std::vector<ExportTrack> tracksWithRowsToExport(const MIDIFile& midi, const std::set<int>& selectedRows,
                                                std::size_t rowCount) {
    const MusicalTrackList musical = midi.musicalTracks();
    std::vector<ExportTrack> list;
    for (const int row : rowsToExport(selectedRows, rowCount, musical.size())) {
        list.push_back({row, musical[static_cast<std::size_t>(row)]});
    }
    return list;
}

std::size_t exportCount(const std::set<int>& selectedRows, std::size_t rowCount) noexcept {
    return !selectedRows.empty() && selectedRows.size() != rowCount ? selectedRows.size() : rowCount;
}

std::string cleanedFileNamePart(std::string_view text) {
    std::string replaced(text);
    std::replace_if(replaced.begin(), replaced.end(), isForbiddenInFileNames, '-');
    const std::string_view trimmed = trimmedSpacesAndTabs(replaced);
    std::string cleaned;
    cleaned.reserve(trimmed.size());
    for (std::size_t at = 0; at < trimmed.size();) {
        const std::size_t start = at;
        const char32_t c = decodeAt(trimmed, at);
        if (isControlCharacter(c)) {
            cleaned.push_back('-');
        } else {
            cleaned.append(trimmed.substr(start, at - start));
        }
    }
    return cleaned;
}

std::string fittedFileName(std::string_view name, std::size_t headBytes) {
    if (name.size() <= maximumFileNameBytes) return std::string(name);
    headBytes = std::min(headBytes, name.size());
    const std::size_t excess = name.size() - maximumFileNameBytes;
    const std::size_t keptHead = excess >= headBytes ? 0 : headBytes - excess;
    std::string fitted(utf8Prefix(name.substr(0, headBytes), keptHead));
    fitted.append(name.substr(headBytes));
    if (fitted.size() <= maximumFileNameBytes) return fitted;
    // The rest alone is too long: cut the end of the stem as well.
    const auto [stem, extension] = splitExtension(fitted);
    const std::size_t extensionBytes = extension ? extension->size() + 1 : 0;
    if (extensionBytes >= maximumFileNameBytes) return std::string(utf8Prefix(fitted, maximumFileNameBytes));
    std::string shortened(utf8Prefix(stem, maximumFileNameBytes - extensionBytes));
    if (extension) shortened.append(".").append(*extension);
    return shortened;
}

std::string foldedCase(std::string_view text) {
    std::string folded;
    folded.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) appendUTF8(folded, lowerCase(decodeAt(text, at)));
    return folded;
}

std::string loopExportFileName(std::string_view from, int repeatCount, std::string_view fileExtension) {
    const auto stem = splitExtension(from).first;
    return std::string(stem) + "_loopx" + std::to_string(repeatCount) + "." + std::string(fileExtension);
}

std::string fileNameByAppendingSuffix(std::string_view name, std::string_view suffix) {
    const auto [stem, extension] = splitExtension(name);
    std::string result = std::string(stem) + "_" + std::string(suffix);
    if (extension) result.append(".").append(*extension);
    return result;
}

std::vector<std::string> splitExportFileNames(std::span<const MIDITrack> tracks, std::optional<int> repeatCount,
                                              std::string_view fileExtension) {
    struct Parts {
        std::string head;        // the cleaned track name, which is shortened first when too long
        std::string instrument;  // the cleaned instrument name
        int channel;
    };
    const auto compose = [&](const Parts& parts, std::string_view channelSuffix) {
        std::string name = parts.head + "_" + parts.instrument + std::string(channelSuffix) + "." +
                           std::string(fileExtension);
        return repeatCount ? loopExportFileName(name, *repeatCount, fileExtension) : name;
    };

    std::vector<Parts> parts;
    std::vector<std::string> baseNames;
    std::map<std::string, int> baseNameUses;
    for (const MIDITrack& track : tracks) {
        parts.push_back({cleanedFileNamePart(track.name),
                         cleanedFileNamePart(MIDIFile::instrumentName(track.instrument, track.channel, track.drumNote)),
                         track.channel});
        baseNames.push_back(compose(parts.back(), ""));
        ++baseNameUses[foldedCase(fittedFileName(baseNames.back(), parts.back().head.size()))];
    }

    std::vector<std::string> names;
    std::set<std::string> given;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const Parts& part = parts[i];
        const std::size_t headBytes = part.head.size();
        std::string candidate = baseNames[i];
        if (baseNameUses[foldedCase(fittedFileName(candidate, headBytes))] > 1) {
            const std::string channelSuffix =
                part.channel < 0 ? "_ChUnknown" : "_Ch" + std::to_string(part.channel + 1);
            candidate = compose(part, channelSuffix);
        }
        std::string name = fittedFileName(candidate, headBytes);
        for (int suffix = 2; given.count(foldedCase(name)) != 0; ++suffix) {
            name = fittedFileName(fileNameByAppendingSuffix(candidate, std::to_string(suffix)), headBytes);
        }
        given.insert(foldedCase(name));
        names.push_back(std::move(name));
    }
    return names;
}

}  // namespace orvane::midi
