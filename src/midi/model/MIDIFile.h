#pragma once
// The song held in memory: its tracks, the tempo map, time and key signatures, import flags,
// and the operations of the model: reading Standard MIDI Files, converting ticks and seconds,
// writing track chunks, musical tracks, track identity and General MIDI names.
//
// Exports, transforms and the loop engine are free functions in midi/export; the MIDI 2.0
// layer lives in midi/midi2.

#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "midi/midi2/MIDI2Records.h"
#include "midi/model/MIDIEvent.h"
#include "midi/model/MIDITrack.h"

namespace orvane::midi {

class MIDIFile;

// A read-only view of the musical tracks (tracks with at least one note-on), in track order.
// Valid until the file's tracks change.
class MusicalTrackList {
public:
    MusicalTrackList(const std::vector<MIDITrack>& tracks, const std::vector<int>& indices)
        : tracks_(&tracks), indices_(&indices) {}
    [[nodiscard]] std::size_t size() const noexcept { return indices_->size(); }
    [[nodiscard]] bool empty() const noexcept { return indices_->empty(); }
    [[nodiscard]] const MIDITrack& operator[](std::size_t row) const {
        return (*tracks_)[static_cast<std::size_t>((*indices_)[row])];
    }
    class Iterator {
    public:
        using value_type = MIDITrack;
        using difference_type = std::ptrdiff_t;
        Iterator() = default;
        Iterator(const MusicalTrackList* list, std::size_t row) : list_(list), row_(row) {}
        const MIDITrack& operator*() const { return (*list_)[row_]; }
        const MIDITrack* operator->() const { return &(*list_)[row_]; }
        Iterator& operator++() { ++row_; return *this; }
        Iterator operator++(int) { auto copy = *this; ++row_; return copy; }
        bool operator==(const Iterator& other) const { return row_ == other.row_; }
    private:
        const MusicalTrackList* list_ = nullptr;
        std::size_t row_ = 0;
    };
    [[nodiscard]] Iterator begin() const { return {this, 0}; }
    [[nodiscard]] Iterator end() const { return {this, size()}; }
    // Copies of the musical tracks, for callers that edit them before building an export.
    [[nodiscard]] std::vector<MIDITrack> copies() const;
    // The musical tracks as one span for an export: the song's own tracks when they follow
    // one another in it (as in most songs), else copies kept in storage.
    [[nodiscard]] std::span<const MIDITrack> asSpan(std::vector<MIDITrack>& storage) const;

private:
    const std::vector<MIDITrack>* tracks_;
    const std::vector<int>* indices_;
};

struct GMDrumNote {
    std::uint8_t note;
    std::string_view name;
    friend bool operator==(const GMDrumNote&, const GMDrumNote&) = default;
};

struct GMDrumKit {
    std::uint8_t program;
    std::string_view name;
    bool macOSSupportIsGuaranteed;
    friend bool operator==(const GMDrumKit&, const GMDrumKit&) = default;
};

class MIDIFile {
public:
    MIDIFile() = default;
    MIDIFile(const MIDIFile&) = default;
    MIDIFile& operator=(const MIDIFile&) = default;
    MIDIFile(MIDIFile&&) noexcept = default;
    MIDIFile& operator=(MIDIFile&&) noexcept = default;

    // ---- Song state -------------------------------------------------------------------
    std::uint16_t format = 0;
    std::uint16_t timeDivision = 480;
    TimedMetaList tempoEvents;          // every distinct tempo event, ordered stably by tick
    TimedMetaList timeSignatureEvents;  // every time-signature event, in reading order
    double bpm = 120.0;
    std::string keySignature = "Unknown";
    int timeSignatureNumerator = 4;
    int timeSignatureDenominator = 4;
    std::int8_t rawKeySharpsFlats = 0;
    bool rawKeyIsMinor = false;
    TimedMetaList originalTempoEvents;  // tempoEvents as read; the base of tempo overrides
    bool wasExplodedFromFormat0 = false;
    bool isSMPTE = false;
    bool wasImportedFromMIDI2Clip = false;
    int midi2ImportedPacketCount = 0;
    int midi2UnsupportedPacketCount = 0;
    // The report of the last MIDI 2.0 import, and one snapshot per packet of the imported clip.
    std::optional<MIDI2OperationReport> midi2LastImportReport;
    MIDI2NativePacketInventory midi2NativePacketSnapshots;

    // ---- Tracks -----------------------------------------------------------------------
    // All tracks, conductor and other note-less tracks included.
    [[nodiscard]] const std::vector<MIDITrack>& tracks() const noexcept { return tracks_; }
    // Every change of the tracks goes through here; it clears the musical-track caches.
    [[nodiscard]] std::vector<MIDITrack>& mutableTracks() noexcept;
    void setTracks(std::vector<MIDITrack> tracks);

    // The tracks that play notes, in track order; a musical row indexes this list.
    [[nodiscard]] MusicalTrackList musicalTracks() const;
    // For each musical track, its index in tracks().
    [[nodiscard]] const std::vector<int>& musicalTrackSourceIndices() const;

    // ---- Reading ----------------------------------------------------------------------
    // Resets every field, then reads a Standard MIDI File (or hands a MIDI 2.0 Clip file to
    // the MIDI 2.0 import). False when the data is rejected.
    bool parse(std::span<const std::uint8_t> data);
    // The same, taking the bytes: a MIDI 2.0 Clip keeps them as the store of its packets
    // instead of a copy, so a large clip is never held twice.
    bool parse(Bytes&& data);
    // The MIDI 2.0 Clip import (implemented in midi/midi2). When ownedBytes is given (data
    // being its content), the import takes it instead of copying data.
    bool parseMIDI2Clip(std::span<const std::uint8_t> data, Bytes* ownedBytes = nullptr);
    // Where the reader writes its one-line notice when it splits a track that mixes tempo,
    // time or key signatures with notes (standard output unless changed; nullptr silences it).
    static void setNormalizingNoticeStream(std::FILE* stream) noexcept;

    // ---- Tempo map --------------------------------------------------------------------
    [[nodiscard]] double ticksToSeconds(std::uint32_t tick, std::optional<double> newBPM) const;
    [[nodiscard]] std::uint32_t secondsToTicks(double seconds, std::optional<std::uint32_t> maxTick,
                                               std::optional<double> newBPM) const;
    [[nodiscard]] TimedMetaList rewrittenTempoEvents(double newBPM) const;
    // The tempo list that conversions and exports use: rewritten under an override.
    [[nodiscard]] TimedMetaList effectiveTempoEvents(std::optional<double> newBPM) const;
    [[nodiscard]] static std::uint32_t maximumTick(std::span<const MIDITrack> tracks);
    [[nodiscard]] static std::uint32_t maximumTick(const MusicalTrackList& tracks);

    // ---- Writing ----------------------------------------------------------------------
    // The 14-byte header chunk with this song's division.
    [[nodiscard]] Bytes header(std::uint16_t format, int tracks) const;
    [[nodiscard]] static Bytes buildTrackChunk(std::span<const MIDIEvent> events);
    // Appends one complete "MTrk" chunk to out (the builders' fast path).
    static void appendTrackChunk(Bytes& out, std::span<const MIDIEvent> events);
    [[nodiscard]] static Bytes encodeVarLen(std::uint32_t value);
    [[nodiscard]] static EventList sortedEventsForExport(std::span<const MIDIEvent> events);

    // ---- Track identity and mixer values ----------------------------------------------
    static void updateTrackIdentityFromEvents(MIDITrack& track);
    [[nodiscard]] static std::uint8_t controllerValue(std::uint8_t controller, std::span<const MIDIEvent> events,
                                                      std::uint8_t defaultValue);
    [[nodiscard]] static std::uint8_t averageNoteVelocity(std::span<const MIDIEvent> events,
                                                          std::uint8_t defaultValue);

    // ---- General MIDI names -----------------------------------------------------------
    static const std::map<int, std::string_view>& gmInstruments();
    static std::span<const GMDrumNote> gmDrumNotes();
    static std::span<const GMDrumKit> gmDrumKits();
    [[nodiscard]] static std::string instrumentName(std::uint8_t program, int channel,
                                                    std::optional<std::uint8_t> drumNote);
    [[nodiscard]] static std::string drumNoteName(std::uint8_t note);
    [[nodiscard]] static std::string drumKitName(std::uint8_t program);
    [[nodiscard]] static std::string keyName(std::int8_t sharpsFlats, bool isMinor);
    [[nodiscard]] std::string transposedKeySignature(int semitones) const;

    // ---- Diagnostics ------------------------------------------------------------------
    // Hands one message to the diagnostics log, tagged "MIDIFile." + function.
    static void logMIDIDiagnostic(std::string_view message, std::string_view function);

    // The initial mixer values of a track read from a file: the first volume, pan and reverb
    // controllers and the mean note-on velocity.
    static void setInitialMixerValues(MIDITrack& track);

private:
    class ChunkReader;
    static MIDITrack conductorTrack();
    static bool isSharedWithChannelTracks(const MIDIEvent& event);
    static std::string format0TrackName(std::uint8_t channel, std::optional<std::uint8_t> program);
    void rebuildMusicalTrackCachesIfNeeded() const;
    void clearMusicalTrackCaches() noexcept { musicalTrackSourceIndicesCache_.reset(); }
    void explodeFormat0Track(MIDITrack track);

    std::vector<MIDITrack> tracks_;
    // The musical tracks are kept as indices into tracks_ (no copies of their events).
    mutable std::optional<std::vector<int>> musicalTrackSourceIndicesCache_;
};

}  // namespace orvane::midi
