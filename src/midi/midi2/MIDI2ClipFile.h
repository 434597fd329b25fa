#pragma once
// MIDI Clip files: the 8-byte signature "SMF2CLIP" followed by Universal MIDI Packets stored
// as big-endian 32-bit words. No length field, no chunks, no padding.

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "midi/midi2/MIDI2UMPPacket.h"

namespace orvane::midi {

// Failures of the container. Thrown as an exception; description() is the fixed text.
class MIDI2ClipFileError : public std::exception {
public:
    enum class Case { dataTooShort, invalidHeader, unalignedUMPWordData, invalidPacket };

    static MIDI2ClipFileError dataTooShort(int byteCount);
    static MIDI2ClipFileError invalidHeader(std::vector<std::uint8_t> found);
    static MIDI2ClipFileError unalignedUMPWordData(int payloadByteCount);
    static MIDI2ClipFileError invalidPacket(std::string text);

    [[nodiscard]] Case errorCase() const noexcept { return case_; }
    [[nodiscard]] int count() const noexcept { return count_; }
    [[nodiscard]] const std::vector<std::uint8_t>& found() const noexcept { return found_; }
    [[nodiscard]] const std::string& text() const noexcept { return text_; }

    [[nodiscard]] std::string description() const;
    [[nodiscard]] const char* what() const noexcept override { return description_.c_str(); }

    friend bool operator==(const MIDI2ClipFileError& a, const MIDI2ClipFileError& b) noexcept {
        return a.case_ == b.case_ && a.count_ == b.count_ && a.found_ == b.found_ && a.text_ == b.text_;
    }

private:
    MIDI2ClipFileError(Case errorCase, int count, std::vector<std::uint8_t> found, std::string text);

    Case case_;
    int count_;
    std::vector<std::uint8_t> found_;
    std::string text_;
    std::string description_;
};

// The payload of a clip file as host-order words, checked for alignment and packet framing.
struct MIDI2ClipWords {
    std::vector<std::uint32_t> words;
    std::size_t packetCount = 0;
};

// The payload of a clip file checked in place: whole big-endian words after the signature,
// framed into packetCount packets.
struct MIDI2ClipPayload {
    std::span<const std::uint8_t> bytes;
    std::size_t packetCount = 0;

    [[nodiscard]] std::size_t wordCount() const noexcept { return bytes.size() / 4; }
    [[nodiscard]] std::uint32_t word(std::size_t index) const noexcept {
        const std::uint8_t* at = bytes.data() + 4 * index;
        return std::uint32_t{at[0]} << 24 | std::uint32_t{at[1]} << 16 | std::uint32_t{at[2]} << 8 | at[3];
    }
    // The words of the packet whose first word is at index.
    [[nodiscard]] std::size_t packetWordCount(std::size_t index) const noexcept {
        return static_cast<std::size_t>(midi2UMPWordCount(static_cast<MIDI2UMPMessageType>(bytes[4 * index] >> 4)));
    }
    // The packet whose first word is at index.
    [[nodiscard]] MIDI2UMPPacket packet(std::size_t index) const {
        std::array<std::uint32_t, 4> words{};
        const std::size_t count = packetWordCount(index);
        for (std::size_t w = 0; w < count; ++w) words[w] = word(index + w);
        return MIDI2UMPPacket(std::span<const std::uint32_t>(words.data(), count));
    }
};

// Calls visit(packet, index of its first word) for each packet of a framed word stream, in
// order, while visit returns true.
template <typename Visit>
void forEachPacket(std::span<const std::uint32_t> words, Visit&& visit) {
    for (std::size_t index = 0; index < words.size();) {
        const auto count =
            static_cast<std::size_t>(midi2UMPWordCount(static_cast<MIDI2UMPMessageType>(words[index] >> 28)));
        if (count > words.size() - index) return;
        if (!visit(MIDI2UMPPacket(words.subspan(index, count)), index)) return;
        index += count;
    }
}

struct MIDI2ClipFile {
    // Every packet of the file, clip boundaries included.
    std::vector<MIDI2UMPPacket> packets;

    static const std::array<std::uint8_t, 8>& magicBytes();
    // At least 8 bytes, starting with the signature.
    static bool isMIDI2Clip(std::span<const std::uint8_t> data);
    // Checks signature, alignment and packet framing only (throws MIDI2ClipFileError).
    static MIDI2ClipFile parse(std::span<const std::uint8_t> data);
    // The same checks as parse(), keeping the words: for readers that walk millions of packets.
    static MIDI2ClipWords parseWords(std::span<const std::uint8_t> data);
    // The same checks and markers as parse(), without copying anything.
    static MIDI2ClipPayload checkedPayload(std::span<const std::uint8_t> data);
    // The clip header (DC 0, DCTPQ, DC 0, Start of Clip), the sequence, then Delta Clockstamps
    // covering trailingTicks (one DC 0 when there are none) and End of Clip.
    static MIDI2ClipFile withClipBoundaries(std::vector<MIDI2UMPPacket> sequencePackets,
                                            std::uint16_t ticksPerQuarterNote, std::uint32_t trailingTicks = 0);
    // The file bytes.
    [[nodiscard]] Bytes data() const;

    friend bool operator==(const MIDI2ClipFile&, const MIDI2ClipFile&) = default;
};

// Appends Delta Clockstamps covering ticks: one DC 0 for no ticks, else steps of at most
// 0xFFFFF, so that gaps wider than the 20-bit field become several packets.
void appendDeltaClockstamps(std::vector<MIDI2UMPPacket>& packets, std::uint32_t ticks);

// Writes the bytes of a clip while its sequence is made, packet by packet, without keeping the
// packets: room for the signature and clip header is kept at the front and filled by wrap().
// The bytes and markers are those of MIDI2ClipFile::withClipBoundaries followed by data().
// Receives the bytes of a clip piece by piece, in order.
using MIDI2ByteSink = std::function<void(std::span<const std::uint8_t>)>;

class MIDI2ClipWriter {
public:
    // expectedWords: the sequence's likely size, reserved up front.
    explicit MIDI2ClipWriter(std::size_t expectedWords);
    // A writer that hands its bytes to sink as it goes and keeps none: the signature and clip
    // header first (wrap() then takes the same ticks per quarter note), take() returns nothing.
    MIDI2ClipWriter(MIDI2ByteSink sink, std::uint16_t ticksPerQuarterNote);
    void append(const MIDI2UMPPacket& packet);
    // A one-word packet made by the caller (no markers).
    void appendWord(std::uint32_t word) {
        stage(word);
        ++sequencePackets_;
    }
    void appendDeltaClockstamps(std::uint32_t ticks);
    [[nodiscard]] std::size_t sequencePackets() const noexcept { return sequencePackets_; }
    // Adds the clip header and, after trailingTicks, End of Clip.
    void wrap(std::uint16_t ticksPerQuarterNote, std::uint32_t trailingTicks);
    // The file bytes.
    [[nodiscard]] Bytes take();

private:
    // Words are gathered here and turned into bytes a few thousand at a time.
    static constexpr std::size_t stagingWords = 2048;
    void stage(std::uint32_t word) {
        if (staged_ == stagingWords) flush();
        staging_[staged_++] = word;
    }
    void flush();

    MIDI2ByteSink sink_;
    Bytes bytes_;
    std::array<std::uint32_t, stagingWords> staging_;
    std::size_t staged_ = 0;
    std::size_t sequencePackets_ = 0;
    std::size_t packets_ = 0;
};

}  // namespace orvane::midi
