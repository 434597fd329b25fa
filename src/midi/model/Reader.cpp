// Reading Standard MIDI Files into the song model.
//
// The reader is lenient where a file is merely damaged (a truncated track keeps the events
// read so far) and strict where the data is not a MIDI file at all. Every read of the input
// is checked against the end of its buffer. Events are stored in one allocation per track,
// sized from the chunk length, so a large file costs a handful of big allocations.

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>

#include "midi/model/MIDIFile.h"
#include "midi/model/TrackSurvey.h"
#include "midi/model/VarLen.h"

namespace orvane::midi {

namespace {

constexpr std::uint8_t metaTrackName = 0x03;
constexpr std::uint8_t metaTempo = 0x51;
constexpr std::uint8_t metaSMPTEOffset = 0x54;
constexpr std::uint8_t metaTimeSignature = 0x58;
constexpr std::uint8_t metaKeySignature = 0x59;

constexpr std::size_t headerChunkSize = 14;
constexpr std::size_t chunkHeaderSize = 8;
constexpr std::size_t minimumFileSize = 15;
constexpr std::size_t maximumVarLenBytes = 4;
// The largest exponent whose power of two still fits the time-signature denominator.
constexpr unsigned maximumDenominatorExponent = 30;

// ---- Where the normalising notice goes -------------------------------------------------

std::atomic<bool> noticeStreamWasSet{false};
std::atomic<std::FILE*> customNoticeStream{nullptr};

std::FILE* normalizingNoticeStream() {
    return noticeStreamWasSet.load(std::memory_order_relaxed) ? customNoticeStream.load(std::memory_order_relaxed)
                                                              : stdout;
}

void writeNormalizingNotice(const std::string& trackName) {
    std::FILE* stream = normalizingNoticeStream();
    if (stream == nullptr) return;
    const std::string line = "Orvane: normalizing non-compliant Format 1 track '" + trackName + "'\n";
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
}

// ---- Bounds-checked reads ----------------------------------------------------------------

std::optional<std::uint32_t> readBigEndian(std::span<const std::uint8_t> data, std::size_t offset,
                                           std::size_t width) {
    if (offset > data.size() || data.size() - offset < width) return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) value = (value << 8) | data[offset + i];
    return value;
}

bool hasTag(std::span<const std::uint8_t> data, std::size_t offset, const char (&tag)[5]) {
    return offset <= data.size() && data.size() - offset >= 4 && std::memcmp(data.data() + offset, tag, 4) == 0;
}

// A cursor over the bytes of one chunk; no read goes past its end.
class ChunkCursor {
public:
    explicit ChunkCursor(std::span<const std::uint8_t> bytes) noexcept
        : position_(bytes.data()), end_(bytes.data() + bytes.size()) {}

    [[nodiscard]] std::size_t remaining() const noexcept { return static_cast<std::size_t>(end_ - position_); }

    [[nodiscard]] std::optional<std::uint8_t> peek() const noexcept {
        if (position_ == end_) return std::nullopt;
        return *position_;
    }

    void skip(std::size_t count) noexcept { position_ += std::min(count, remaining()); }

    [[nodiscard]] std::optional<std::uint8_t> next() noexcept {
        if (position_ == end_) return std::nullopt;
        return *position_++;
    }

    // The next count bytes, or nothing (and no move) when fewer remain.
    [[nodiscard]] std::optional<std::span<const std::uint8_t>> take(std::size_t count) noexcept {
        if (remaining() < count) return std::nullopt;
        const std::span<const std::uint8_t> bytes(position_, count);
        position_ += count;
        return bytes;
    }

    // A variable-length quantity of at most four bytes; nothing when the chunk ends inside it
    // or its fourth byte still asks for more.
    [[nodiscard]] std::optional<std::uint32_t> varLen() noexcept {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < maximumVarLenBytes; ++i) {
            const auto byte = next();
            if (!byte) return std::nullopt;
            value = (value << 7) | (*byte & 0x7Fu);
            if ((*byte & 0x80u) == 0) return value;
        }
        return std::nullopt;
    }

private:
    const std::uint8_t* position_;
    const std::uint8_t* end_;
};

// ---- Small helpers -----------------------------------------------------------------------

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUTF8(std::span<const std::uint8_t> bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::uint8_t lead = bytes[i];
        std::size_t length = 0;
        std::uint8_t low = 0x80;
        std::uint8_t high = 0xBF;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (bytes.size() - i < length) return false;
        if (bytes[i + 1] < low || bytes[i + 1] > high) return false;
        for (std::size_t k = 2; k < length; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

// prefix (0xFF type, or a system-exclusive status), the payload length in its shortest
// variable-length form, then the payload.
MIDIEvent eventWithLength(std::uint32_t tick, std::span<const std::uint8_t> prefix,
                          std::span<const std::uint8_t> payload) {
    const auto length = static_cast<std::uint32_t>(payload.size());
    MIDIEvent event = MIDIEvent::zeroed(tick, prefix.size() + varLenSize(length) + payload.size());
    std::uint8_t* out = event.mutableData().data();
    std::memcpy(out, prefix.data(), prefix.size());
    out = writeVarLen(out + prefix.size(), length);
    if (!payload.empty()) std::memcpy(out, payload.data(), payload.size());
    return event;
}

bool isConductorMeta(const MIDIEvent& event) {
    return event.isMeta(metaTempo) || event.isMeta(metaTimeSignature) || event.isMeta(metaKeySignature);
}

// The tempo events already taken, for finding identical ones (same tick, same bytes) in
// constant time however many tempo changes a song has. Holds positions into the tempo list.
class DistinctTempoEvents {
public:
    // Appends event to list unless an identical event is already there.
    void add(TimedMetaList& list, const MIDIEvent& event) {
        if ((list.size() + 1) * 2 > slots_.size()) rehash(list, std::max<std::size_t>(16, slots_.size() * 2));
        std::size_t slot = hashOf(event) & (slots_.size() - 1);
        while (slots_[slot] != 0) {
            if (list[slots_[slot] - 1] == event) return;
            slot = (slot + 1) & (slots_.size() - 1);
        }
        list.push_back(event);
        slots_[slot] = list.size();
    }

private:
    static std::size_t hashOf(const MIDIEvent& event) noexcept {
        std::size_t hash = 1469598103934665603ull ^ event.tick;
        for (const std::uint8_t byte : event.data()) hash = (hash ^ byte) * 1099511628211ull;
        return hash ^ (hash >> 29);
    }

    void rehash(const TimedMetaList& list, std::size_t slotCount) {
        slots_.assign(slotCount, 0);
        for (std::size_t i = 0; i < list.size(); ++i) {
            std::size_t slot = hashOf(list[i]) & (slotCount - 1);
            while (slots_[slot] != 0) slot = (slot + 1) & (slotCount - 1);
            slots_[slot] = i + 1;
        }
    }

    std::vector<std::size_t> slots_;  // 0 is empty, else position + 1
};

}  // namespace

void MIDIFile::setNormalizingNoticeStream(std::FILE* stream) noexcept {
    customNoticeStream.store(stream, std::memory_order_relaxed);
    noticeStreamWasSet.store(true, std::memory_order_relaxed);
}

// ---- The reader --------------------------------------------------------------------------

// Reads the chunks of one Standard MIDI File into a MIDIFile whose fields were reset.
class MIDIFile::ChunkReader {
public:
    explicit ChunkReader(MIDIFile& file) : file_(file) {}

    // Reads the events of one "MTrk" chunk and appends the track (or, for a track that mixes
    // conductor data with notes, a conductor track and the musical track). False when the
    // chunk's ticks overflow, which rejects the file.
    bool readTrackChunk(std::span<const std::uint8_t> chunk, std::size_t chunkIndex) {
        chunkIndex_ = chunkIndex;
        MIDITrack track;
        track.name = "Track " + std::to_string(chunkIndex + 1);
        // Every event takes at least two bytes of the chunk (a delta and a data byte). The
        // bound is address space only: the pages that stay empty are never touched. Should the
        // system refuse that much address space, the list grows as it goes instead.
        // The events are not advised for huge pages: when memory is fragmented, huge-page
        // faults wait for compaction (measured here: up to half a second for a large file),
        // while ordinary pages cost a steady few tens of milliseconds.
        try {
            track.events.reserve(chunk.size() / 2 + 1);
        } catch (const std::bad_alloc&) {
        } catch (const std::length_error&) {
        }
        survey_ = TrackSurvey();
        hasConductorMeta_ = false;
        if (!readEvents(ChunkCursor(chunk), track)) return false;
        finishTrack(std::move(track));
        return true;
    }

    std::vector<MIDITrack>& tracks() { return tracks_; }

private:
    bool readEvents(ChunkCursor cursor, MIDITrack& track) {
        std::uint32_t tick = 0;
        std::uint8_t runningStatus = 0;
        bool programSeen = false;
        EventList& events = track.events;
        for (;;) {
            const auto delta = cursor.varLen();
            if (!delta) return true;
            if (__builtin_add_overflow(tick, *delta, &tick)) return false;
            const auto first = cursor.peek();
            if (!first) return true;
            std::uint8_t status = *first;
            if (status >= 0x80) {
                cursor.skip(1);
                runningStatus = status < 0xF0 ? status : 0;
            } else if (runningStatus != 0) {
                status = runningStatus;  // *first is the first data byte
            } else {
                cursor.skip(1);  // a data byte without any status: dropped
                continue;
            }
            const auto channel = static_cast<int>(status & 0x0F);
            switch (status >> 4) {
                case 0x8:
                case 0x9:
                case 0xA:
                case 0xB:
                case 0xE: {
                    const auto bytes = cursor.take(2);
                    if (!bytes) return true;
                    if (track.channel < 0) track.channel = channel;
                    events.push_back(MIDIEvent::shortMessage(tick, status, (*bytes)[0], (*bytes)[1], 3));
                    survey_.add(events.back(), events.size() - 1);
                    break;
                }
                case 0xC:
                case 0xD: {
                    const auto data1 = cursor.next();
                    if (!data1) return true;
                    if ((status >> 4) == 0xC) {
                        if (track.channel < 0) track.channel = channel;
                        if (!programSeen) track.instrument = *data1;
                        programSeen = true;
                    }
                    events.push_back(MIDIEvent::shortMessage(tick, status, *data1, 0, 2));
                    survey_.add(events.back(), events.size() - 1);
                    break;
                }
                default:
                    if (status == 0xFF) {
                        if (!readMetaEvent(cursor, tick, track)) return true;
                    } else if (status == 0xF0 || status == 0xF7) {
                        if (!readSystemExclusive(cursor, tick, status, events)) return true;
                    } else {
                        cursor.skip(1);  // other system messages: the status and one byte, not kept
                    }
                    break;
            }
        }
    }

    bool readSystemExclusive(ChunkCursor& cursor, std::uint32_t tick, std::uint8_t status, EventList& events) {
        const auto length = cursor.varLen();
        if (!length) return false;
        const auto payload = cursor.take(*length);
        if (!payload) return false;
        const std::uint8_t prefix[] = {status};
        events.push_back(eventWithLength(tick, prefix, *payload));
        return true;
    }

    bool readMetaEvent(ChunkCursor& cursor, std::uint32_t tick, MIDITrack& track) {
        const auto type = cursor.next();
        if (!type) return false;
        const auto length = cursor.varLen();
        if (!length) return false;
        const auto payload = cursor.take(*length);
        if (!payload) return false;
        const std::uint8_t prefix[] = {0xFF, *type};
        track.events.push_back(eventWithLength(tick, prefix, *payload));
        const MIDIEvent& event = track.events.back();
        switch (*type) {
            case metaTrackName:
                if (isValidUTF8(*payload)) {
                    track.name.assign(reinterpret_cast<const char*>(payload->data()), payload->size());
                }
                break;
            case metaTempo:
                hasConductorMeta_ = true;
                takeTempo(event, *payload);
                break;
            case metaTimeSignature:
                hasConductorMeta_ = true;
                takeTimeSignature(event, *payload);
                break;
            case metaKeySignature:
                hasConductorMeta_ = true;
                if (payload->size() >= 2) {
                    file_.rawKeySharpsFlats = static_cast<std::int8_t>((*payload)[0]);
                    file_.rawKeyIsMinor = (*payload)[1] == 1;
                    file_.keySignature = keyName(file_.rawKeySharpsFlats, file_.rawKeyIsMinor);
                }
                break;
            default:
                break;
        }
        return true;
    }

    // The song's tempo is the last tempo of the first chunk; a song whose first chunk has no
    // tempo takes the first tempo of a later chunk.
    void takeTempo(const MIDIEvent& event, std::span<const std::uint8_t> payload) {
        distinctTempos_.add(file_.tempoEvents, event);
        if (payload.size() < 3) return;
        const std::uint32_t microseconds =
            (std::uint32_t{payload[0]} << 16) | (std::uint32_t{payload[1]} << 8) | payload[2];
        if (microseconds == 0) return;
        if (chunkIndex_ == 0 || !bpmWasSet_) {
            file_.bpm = 60000000.0 / static_cast<double>(microseconds);
            bpmWasSet_ = true;
        }
    }

    void takeTimeSignature(const MIDIEvent& event, std::span<const std::uint8_t> payload) {
        if (payload.size() >= 2) {
            file_.timeSignatureNumerator = payload[0];
            // Larger exponents cannot be represented; they are clamped rather than refused.
            const unsigned exponent = std::min<unsigned>(payload[1], maximumDenominatorExponent);
            file_.timeSignatureDenominator = 1 << exponent;
        }
        file_.timeSignatureEvents.push_back(event);
    }

    // Identity and mixer values; a track that mixes tempo, time or key signatures with notes
    // becomes a conductor track followed by the musical track.
    void finishTrack(MIDITrack track) {
        survey_.applyIdentity(track);
        survey_.applyInitialMixerValues(track);
        if (file_.format == 0 || !survey_.hasNoteOn() || !hasConductorMeta_) {
            tracks_.push_back(std::move(track));
            return;
        }
        writeNormalizingNotice(track.name);
        MIDITrack conductor = conductorTrack();
        std::size_t metaCount = 0;
        for (const MIDIEvent& event : track.events) metaCount += event.isMeta() ? 1u : 0u;
        conductor.events.reserve(metaCount);
        for (const MIDIEvent& event : track.events) {
            if (event.isMeta()) conductor.events.push_back(event);
        }
        // The musical track keeps its own buffer: the conductor events are squeezed out in place.
        EventList& events = track.events;
        events.erase(std::remove_if(events.begin(), events.end(), isConductorMeta), events.end());
        track.drumNote.reset();
        // Only meta events left the track, so what the survey learnt still holds.
        survey_.applyIdentity(track);
        tracks_.push_back(std::move(conductor));
        tracks_.push_back(std::move(track));
    }

    MIDIFile& file_;
    std::vector<MIDITrack> tracks_;
    DistinctTempoEvents distinctTempos_;
    TrackSurvey survey_;  // of the chunk being read
    std::size_t chunkIndex_ = 0;
    bool bpmWasSet_ = false;
    bool hasConductorMeta_ = false;
};

MIDITrack MIDIFile::conductorTrack() {
    MIDITrack conductor;
    conductor.name = "Conductor";
    return conductor;
}

namespace {

bool hasClipSignature(std::span<const std::uint8_t> data) {
    constexpr std::uint8_t clipSignature[] = {'S', 'M', 'F', '2', 'C', 'L', 'I', 'P'};
    return data.size() >= sizeof clipSignature && std::memcmp(data.data(), clipSignature, sizeof clipSignature) == 0;
}

}  // namespace

bool MIDIFile::parse(Bytes&& data) {
    if (!hasClipSignature(data)) return parse(std::span<const std::uint8_t>(data));
    *this = MIDIFile();
    return parseMIDI2Clip(data, &data);
}

bool MIDIFile::parse(std::span<const std::uint8_t> data) {
    *this = MIDIFile();
    if (hasClipSignature(data)) return parseMIDI2Clip(data);

    if (data.size() < minimumFileSize || !hasTag(data, 0, "MThd")) return false;
    if (readBigEndian(data, 4, 4) != 6u) return false;
    format = static_cast<std::uint16_t>(*readBigEndian(data, 8, 2));
    const std::uint32_t declaredTracks = *readBigEndian(data, 10, 2);
    timeDivision = static_cast<std::uint16_t>(*readBigEndian(data, 12, 2));
    isSMPTE = (data[12] & 0x80) != 0;

    ChunkReader reader(*this);
    std::size_t offset = headerChunkSize;
    for (std::uint32_t chunkIndex = 0; chunkIndex < declaredTracks; ++chunkIndex) {
        if (data.size() - offset < chunkHeaderSize || !hasTag(data, offset, "MTrk")) break;
        const std::uint32_t length = *readBigEndian(data, offset + 4, 4);
        offset += chunkHeaderSize;
        if (length > data.size() - offset) return false;
        if (!reader.readTrackChunk(data.subspan(offset, length), chunkIndex)) return false;
        offset += length;
    }
    tracks_ = std::move(reader.tracks());

    // Conversions walk the tempo map in tick order; tracks may list their tempos out of
    // order relative to each other, so the map is ordered once here.
    std::stable_sort(tempoEvents.begin(), tempoEvents.end(),
                     [](const MIDIEvent& a, const MIDIEvent& b) { return a.tick < b.tick; });
    originalTempoEvents = tempoEvents;
    clearMusicalTrackCaches();
    if (format == 0 && !tracks_.empty()) {
        MIDITrack first = std::move(tracks_.front());
        explodeFormat0Track(std::move(first));
    }
    return true;
}

// A Format 0 file with notes on several channels becomes a conductor track plus one track
// per note channel. Each channel event is moved once into its channel's track.
void MIDIFile::explodeFormat0Track(MIDITrack track) {
    std::array<bool, 16> hasNotes{};
    std::array<std::optional<std::uint8_t>, 16> firstProgram{};
    std::array<std::size_t, 16> channelEventCount{};
    std::size_t metaCount = 0;
    std::size_t sharedMetaCount = 0;
    for (const MIDIEvent& event : track.events) {
        if (event.isMeta()) {
            ++metaCount;
            sharedMetaCount += isSharedWithChannelTracks(event) ? 1u : 0u;
            continue;
        }
        const std::uint8_t channel = event.channel();
        ++channelEventCount[channel];
        if (event.isNoteOn()) hasNotes[channel] = true;
        if (event.isProgramChange() && !firstProgram[channel]) firstProgram[channel] = event[1];
    }
    if (std::count(hasNotes.begin(), hasNotes.end(), true) < 2) {
        tracks_.front() = std::move(track);
        return;
    }
    wasExplodedFromFormat0 = true;

    std::vector<MIDITrack> exploded;
    exploded.reserve(17);  // the pointers below stay valid
    exploded.push_back(conductorTrack());
    exploded.front().events.reserve(metaCount);
    std::array<MIDITrack*, 16> trackOfChannel{};
    std::array<TrackSurvey, 16> surveys{};
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        if (!hasNotes[channel]) continue;
        MIDITrack& channelTrack = exploded.emplace_back();
        channelTrack.name = format0TrackName(channel, firstProgram[channel]);
        channelTrack.channel = channel;
        channelTrack.instrument = firstProgram[channel].value_or(0);
        channelTrack.events.reserve(channelEventCount[channel] + sharedMetaCount);
        trackOfChannel[channel] = &channelTrack;
    }
    for (MIDIEvent& event : track.events) {
        if (event.isMeta()) {
            exploded.front().events.push_back(event);
            if (!isSharedWithChannelTracks(event)) continue;
            for (MIDITrack* channelTrack : trackOfChannel) {
                if (channelTrack != nullptr) channelTrack->events.push_back(event);
            }
        } else if (const std::uint8_t channel = event.channel(); trackOfChannel[channel] != nullptr) {
            EventList& events = trackOfChannel[channel]->events;
            events.push_back(std::move(event));
            surveys[channel].add(events.back(), events.size() - 1);
        }
    }
    track.events = EventList();
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        if (trackOfChannel[channel] != nullptr) surveys[channel].applyInitialMixerValues(*trackOfChannel[channel]);
    }
    tracks_ = std::move(exploded);
    clearMusicalTrackCaches();
}

bool MIDIFile::isSharedWithChannelTracks(const MIDIEvent& event) {
    return isConductorMeta(event) || event.isMeta(metaSMPTEOffset);
}

std::string MIDIFile::format0TrackName(std::uint8_t channel, std::optional<std::uint8_t> program) {
    if (channel == 9) return "Drums";
    if (program) {
        const auto& names = gmInstruments();
        if (const auto found = names.find(*program); found != names.end()) return std::string(found->second);
    }
    return "Ch " + std::to_string(channel + 1);
}

}  // namespace orvane::midi
