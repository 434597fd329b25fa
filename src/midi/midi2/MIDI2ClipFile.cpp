#include "midi/midi2/MIDI2ClipFile.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

#include "midi/midi2/MIDI2Diagnostics.h"
#include "midi/model/HugePages.h"
#include "support/TextFormat.h"

namespace orvane::midi {
namespace {

constexpr std::size_t signatureSize = 8;

// Big-endian 32-bit words read from bytes, as a random-access iterator.
struct BigEndianWords {
    using iterator_category = std::random_access_iterator_tag;
    using value_type = std::uint32_t;
    using difference_type = std::ptrdiff_t;
    using pointer = const std::uint32_t*;
    using reference = std::uint32_t;

    const std::uint8_t* at;

    std::uint32_t operator*() const noexcept {
        std::uint32_t word;
        std::memcpy(&word, at, 4);
        return __builtin_bswap32(word);
    }
    std::uint32_t operator[](difference_type n) const noexcept { return *(*this + n); }
    BigEndianWords& operator++() noexcept {
        at += 4;
        return *this;
    }
    BigEndianWords operator++(int) noexcept {
        BigEndianWords old = *this;
        at += 4;
        return old;
    }
    BigEndianWords& operator--() noexcept {
        at -= 4;
        return *this;
    }
    BigEndianWords operator--(int) noexcept {
        BigEndianWords old = *this;
        at -= 4;
        return old;
    }
    BigEndianWords& operator+=(difference_type n) noexcept {
        at += 4 * n;
        return *this;
    }
    BigEndianWords& operator-=(difference_type n) noexcept {
        at -= 4 * n;
        return *this;
    }
    friend BigEndianWords operator+(BigEndianWords it, difference_type n) noexcept { return it += n; }
    friend BigEndianWords operator+(difference_type n, BigEndianWords it) noexcept { return it += n; }
    friend BigEndianWords operator-(BigEndianWords it, difference_type n) noexcept { return it -= n; }
    friend difference_type operator-(BigEndianWords a, BigEndianWords b) noexcept { return (a.at - b.at) / 4; }
    friend auto operator<=>(BigEndianWords a, BigEndianWords b) noexcept = default;
};

void emitMarker(std::string_view name, const std::string& detail) {
    if (MIDI2Diagnostics::markersEnabled()) MIDI2Diagnostics::marker(name, detail);
}

}  // namespace

// ---- Errors -----------------------------------------------------------------------------

MIDI2ClipFileError::MIDI2ClipFileError(Case errorCase, int count, std::vector<std::uint8_t> found, std::string text)
    : case_(errorCase), count_(count), found_(std::move(found)), text_(std::move(text)) {
    description_ = description();
}

MIDI2ClipFileError MIDI2ClipFileError::dataTooShort(int byteCount) { return {Case::dataTooShort, byteCount, {}, {}}; }
MIDI2ClipFileError MIDI2ClipFileError::invalidHeader(std::vector<std::uint8_t> found) {
    return {Case::invalidHeader, 0, std::move(found), {}};
}
MIDI2ClipFileError MIDI2ClipFileError::unalignedUMPWordData(int payloadByteCount) {
    return {Case::unalignedUMPWordData, payloadByteCount, {}, {}};
}
MIDI2ClipFileError MIDI2ClipFileError::invalidPacket(std::string text) {
    return {Case::invalidPacket, 0, {}, std::move(text)};
}

std::string MIDI2ClipFileError::description() const {
    switch (case_) {
        case Case::dataTooShort:
            return "SMF2/MIDI Clip data is too short: " + std::to_string(count_) + " bytes.";
        case Case::invalidHeader: {
            std::string text = "SMF2/MIDI Clip header is invalid: ";
            for (std::size_t i = 0; i < found_.size(); ++i) {
                if (i > 0) text += ' ';
                text += formatString("%02X", found_[i]);
            }
            return text + ".";
        }
        case Case::unalignedUMPWordData:
            return "SMF2/MIDI Clip UMP payload must be aligned to 32-bit words: " + std::to_string(count_) + " bytes.";
        case Case::invalidPacket:
            return "SMF2/MIDI Clip packet error: " + text_;
    }
    return {};
}

// ---- The container ----------------------------------------------------------------------

const std::array<std::uint8_t, 8>& MIDI2ClipFile::magicBytes() {
    static const std::array<std::uint8_t, 8> bytes = {'S', 'M', 'F', '2', 'C', 'L', 'I', 'P'};
    return bytes;
}

bool MIDI2ClipFile::isMIDI2Clip(std::span<const std::uint8_t> data) {
    return data.size() >= signatureSize && std::equal(magicBytes().begin(), magicBytes().end(), data.begin());
}

MIDI2ClipPayload MIDI2ClipFile::checkedPayload(std::span<const std::uint8_t> data) {
    MIDI2Diagnostics::MarkerScope scope;
    emitMarker("SMF2_PARSE_BEGIN", "bytes=" + std::to_string(data.size()));
    if (data.size() < signatureSize) throw MIDI2ClipFileError::dataTooShort(static_cast<int>(data.size()));
    if (!isMIDI2Clip(data)) {
        throw MIDI2ClipFileError::invalidHeader(std::vector<std::uint8_t>(data.begin(), data.begin() + signatureSize));
    }
    const auto payload = data.subspan(signatureSize);
    if (payload.size() % 4 != 0) {
        throw MIDI2ClipFileError::unalignedUMPWordData(
            static_cast<int>(std::min<std::size_t>(payload.size(), INT32_MAX)));
    }
    MIDI2ClipPayload result{payload, 0};
    try {
        result.packetCount = MIDI2UMPPacket::validateBigEndianWordStream(payload);
    } catch (const MIDI2UMPError& error) {
        throw MIDI2ClipFileError::invalidPacket(error.description());
    }
    emitMarker("SMF2_PARSE_OK", "packets=" + std::to_string(result.packetCount));
    return result;
}

MIDI2ClipWords MIDI2ClipFile::parseWords(std::span<const std::uint8_t> data) {
    const MIDI2ClipPayload payload = checkedPayload(data);
    MIDI2ClipWords result;
    reserveLarge(result.words, payload.bytes.size() / 4);
    // Each word is written once, converted from its bytes (no zero-filling first).
    const BigEndianWords words{payload.bytes.data()};
    result.words.insert(result.words.end(), words, words + static_cast<std::ptrdiff_t>(payload.bytes.size() / 4));
    result.packetCount = payload.packetCount;
    return result;
}

MIDI2ClipFile MIDI2ClipFile::parse(std::span<const std::uint8_t> data) {
    MIDI2Diagnostics::MarkerScope scope;
    const MIDI2ClipWords clip = parseWords(data);
    MIDI2ClipFile file;
    file.packets.reserve(clip.packetCount);
    forEachPacket(clip.words, [&](const MIDI2UMPPacket& packet, std::size_t) {
        file.packets.push_back(packet);
        return true;
    });
    return file;
}

namespace {

constexpr std::size_t clipHeaderBytes = signatureSize + 4 * (3 + 4);  // DC, DCTPQ, DC, Start of Clip

// Calls add(packet) for each Delta Clockstamp that covers ticks.
template <typename Add>
void forEachDeltaClockstamp(std::uint32_t ticks, Add&& add) {
    constexpr std::uint32_t largestDelta = 0xFFFFF;
    if (ticks == 0) {
        add(MIDI2UMPPacket::utilityDeltaClockstamp(0));
        return;
    }
    while (ticks > 0) {
        const std::uint32_t step = std::min(ticks, largestDelta);
        add(MIDI2UMPPacket::utilityDeltaClockstamp(step));
        ticks -= step;
    }
}

// DC 0, DCTPQ, DC 0, Start of Clip, after the wrapping marker.
std::array<MIDI2UMPPacket, 4> clipHeader(std::size_t sequencePackets, std::uint16_t ticksPerQuarterNote) {
    emitMarker("SMF2_WRAP_CLIP_BOUNDARIES", "sequencePackets=" + std::to_string(sequencePackets) +
                                                " ticksPerQuarterNote=" + std::to_string(ticksPerQuarterNote));
    return {MIDI2UMPPacket::utilityDeltaClockstamp(0), MIDI2UMPPacket::utilityDeltaClockstampTPQ(ticksPerQuarterNote),
            MIDI2UMPPacket::utilityDeltaClockstamp(0), MIDI2UMPPacket::startOfClip()};
}

// Delta Clockstamps over trailingTicks (one DC 0 when there are none) and End of Clip.
template <typename Add>
void clipEnd(std::uint32_t trailingTicks, Add&& add) {
    forEachDeltaClockstamp(trailingTicks, add);
    add(MIDI2UMPPacket::endOfClip());
}

}  // namespace

void appendDeltaClockstamps(std::vector<MIDI2UMPPacket>& packets, std::uint32_t ticks) {
    forEachDeltaClockstamp(ticks, [&](const MIDI2UMPPacket& packet) { packets.push_back(packet); });
}

MIDI2ClipFile MIDI2ClipFile::withClipBoundaries(std::vector<MIDI2UMPPacket> sequencePackets,
                                                std::uint16_t ticksPerQuarterNote, std::uint32_t trailingTicks) {
    MIDI2Diagnostics::MarkerScope scope;
    const auto header = clipHeader(sequencePackets.size(), ticksPerQuarterNote);
    sequencePackets.insert(sequencePackets.begin(), header.begin(), header.end());
    clipEnd(trailingTicks, [&](const MIDI2UMPPacket& packet) { sequencePackets.push_back(packet); });
    return MIDI2ClipFile{std::move(sequencePackets)};
}

Bytes MIDI2ClipFile::data() const {
    MIDI2Diagnostics::MarkerScope scope;
    emitMarker("SMF2_WRITE_BEGIN", "packets=" + std::to_string(packets.size()));
    std::size_t wordTotal = 0;
    for (const auto& packet : packets) wordTotal += packet.wordCount();
    Bytes bytes;
    reserveLarge(bytes, signatureSize + 4 * wordTotal);
    bytes.insert(bytes.end(), magicBytes().begin(), magicBytes().end());
    for (const auto& packet : packets) packet.appendBigEndianData(bytes);
    emitMarker("SMF2_WRITE_OK", "bytes=" + std::to_string(bytes.size()));
    return bytes;
}

// ---- Streaming writer -------------------------------------------------------------------------

MIDI2ClipWriter::MIDI2ClipWriter(std::size_t expectedWords) {
    reserveLarge(bytes_, clipHeaderBytes + 4 * expectedWords + 64);
    bytes_.resize(clipHeaderBytes);
}

MIDI2ClipWriter::MIDI2ClipWriter(MIDI2ByteSink sink, std::uint16_t ticksPerQuarterNote) : sink_(std::move(sink)) {
    // The header does not depend on the sequence; its marker is written by wrap(), as above.
    Bytes front(MIDI2ClipFile::magicBytes().begin(), MIDI2ClipFile::magicBytes().end());
    for (const auto& packet : {MIDI2UMPPacket::utilityDeltaClockstamp(0),
                               MIDI2UMPPacket::utilityDeltaClockstampTPQ(ticksPerQuarterNote),
                               MIDI2UMPPacket::utilityDeltaClockstamp(0), MIDI2UMPPacket::startOfClip()}) {
        packet.appendBigEndianData(front);
    }
    sink_(front);
}

void MIDI2ClipWriter::append(const MIDI2UMPPacket& packet) {
    for (const std::uint32_t word : packet.words()) stage(word);
    ++sequencePackets_;
}

void MIDI2ClipWriter::flush() {
    std::array<std::uint8_t, 4 * stagingWords> bytes;
    for (std::size_t i = 0; i < staged_; ++i) {
        const std::uint32_t bigEndian = __builtin_bswap32(staging_[i]);
        std::memcpy(bytes.data() + 4 * i, &bigEndian, 4);
    }
    const std::span<const std::uint8_t> written(bytes.data(), 4 * staged_);
    if (sink_) {
        sink_(written);
    } else {
        bytes_.insert(bytes_.end(), written.begin(), written.end());
    }
    staged_ = 0;
}

void MIDI2ClipWriter::appendDeltaClockstamps(std::uint32_t ticks) {
    forEachDeltaClockstamp(ticks, [&](const MIDI2UMPPacket& packet) { append(packet); });
}

void MIDI2ClipWriter::wrap(std::uint16_t ticksPerQuarterNote, std::uint32_t trailingTicks) {
    flush();
    const auto header = clipHeader(sequencePackets_, ticksPerQuarterNote);
    if (!sink_) {
        Bytes front(MIDI2ClipFile::magicBytes().begin(), MIDI2ClipFile::magicBytes().end());
        for (const auto& packet : header) packet.appendBigEndianData(front);
        std::copy(front.begin(), front.end(), bytes_.begin());
    }
    std::size_t endPackets = 0;
    Bytes end;
    clipEnd(trailingTicks, [&](const MIDI2UMPPacket& packet) {
        packet.appendBigEndianData(sink_ ? end : bytes_);
        ++endPackets;
    });
    if (sink_) sink_(end);
    packets_ = header.size() + sequencePackets_ + endPackets;
}

Bytes MIDI2ClipWriter::take() {
    MIDI2Diagnostics::MarkerScope scope;
    emitMarker("SMF2_WRITE_BEGIN", "packets=" + std::to_string(packets_));
    emitMarker("SMF2_WRITE_OK", "bytes=" + std::to_string(bytes_.size()));
    return std::move(bytes_);
}

}  // namespace orvane::midi
