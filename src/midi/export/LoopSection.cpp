#include "midi/export/LoopSection.h"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "midi/export/ExportOrder.h"
#include "midi/model/HugePages.h"
#include "support/TextFormat.h"

namespace orvane::midi {

namespace {

constexpr std::uint64_t lastTick = std::numeric_limits<std::uint32_t>::max();

// One slot per piece of channel state; each remembers the latest event that set it.
class ChannelStateSlots {
public:
    static constexpr std::size_t controllers = 120;  // 0-119; channel-mode controllers are not state
    static constexpr std::size_t perChannel = 1 + controllers + 1 + 1 + 256;

    // The slot an event sets, or nothing.
    static std::optional<std::size_t> slotOf(const MIDIEvent& event) noexcept {
        const std::size_t base = event.channel() * perChannel;
        switch (event.status() & 0xF0) {
            case 0xC0: return event.size() >= 2 ? std::optional(base) : std::nullopt;
            case 0xB0:
                if (event.size() < 3 || event[1] >= controllers) return std::nullopt;
                return base + 1 + event[1];
            case 0xE0: return event.size() >= 3 ? std::optional(base + 1 + controllers) : std::nullopt;
            case 0xD0: return event.size() >= 2 ? std::optional(base + 2 + controllers) : std::nullopt;
            case 0xA0: return event.size() >= 3 ? std::optional(base + 3 + controllers + event[1]) : std::nullopt;
            default: return std::nullopt;
        }
    }

    void offer(const MIDIEvent& event, std::size_t position) {
        const auto slot = slotOf(event);
        if (!slot) return;
        Holder& holder = holders_[*slot];
        if (holder.position < 0 || event.tick >= holder.tick) {
            if (holder.position < 0) filled_.push_back(*slot);
            holder = {event.tick, static_cast<std::ptrdiff_t>(position)};
        }
    }

    // Positions of the captured events ordered by (tick, position).
    [[nodiscard]] std::vector<std::size_t> capturedPositions() const {
        std::vector<std::pair<std::uint32_t, std::size_t>> captured;
        captured.reserve(filled_.size());
        for (const std::size_t slot : filled_) {
            captured.emplace_back(holders_[slot].tick, static_cast<std::size_t>(holders_[slot].position));
        }
        std::sort(captured.begin(), captured.end());
        std::vector<std::size_t> positions;
        positions.reserve(captured.size());
        for (const auto& entry : captured) positions.push_back(entry.second);
        return positions;
    }

private:
    struct Holder {
        std::uint32_t tick = 0;
        std::ptrdiff_t position = -1;
    };
    std::vector<Holder> holders_ = std::vector<Holder>(16 * perChannel);
    std::vector<std::size_t> filled_;
};

// Note-ons still sounding in the current repeat, by channel and key.
class OpenNotes {
public:
    void noteOn(const MIDIEvent& event) {
        const std::size_t key = index(event);
        ++counts_[key];
        if (!listed_[key]) {
            listed_[key] = true;
            open_.push_back(key);
        }
    }
    // False for a note-off whose note is not open.
    bool noteOff(const MIDIEvent& event) {
        std::uint32_t& count = counts_[index(event)];
        if (count == 0) return false;
        --count;
        return true;
    }
    // Emits a note-off at tick for every open note (in channel and key order) and forgets them.
    std::size_t closeAll(std::uint32_t tick, EventList& out) {
        std::sort(open_.begin(), open_.end());
        std::size_t closed = 0;
        for (const std::size_t key : open_) {
            listed_[key] = false;
            for (; counts_[key] > 0; --counts_[key], ++closed) {
                out.push_back(MIDIEvent(tick, {static_cast<std::uint8_t>(0x80 | (key >> 8)),
                                               static_cast<std::uint8_t>(key & 0xFF), 0}));
            }
        }
        open_.clear();
        return closed;
    }

private:
    static std::size_t index(const MIDIEvent& event) noexcept {
        return (std::size_t{event.channel()} << 8) | event[1];
    }
    std::array<std::uint32_t, 16 * 256> counts_{};
    std::array<bool, 16 * 256> listed_{};  // whether the key is in open_
    std::vector<std::size_t> open_;        // keys struck in this repeat
};

// The events of [startTick, endTick) ordered by tick (stably); no copy when events are
// already in tick order.
class SectionEvents {
public:
    SectionEvents(std::span<const MIDIEvent> events, std::uint32_t startTick, std::uint32_t endTick) {
        const TickLess less;
        if (std::is_sorted(events.begin(), events.end(), less)) {
            const auto first = std::partition_point(events.begin(), events.end(),
                                                    [&](const MIDIEvent& event) { return event.tick < startTick; });
            const auto last = std::partition_point(first, events.end(),
                                                   [&](const MIDIEvent& event) { return event.tick < endTick; });
            section_ = events.subspan(static_cast<std::size_t>(first - events.begin()),
                                      static_cast<std::size_t>(last - first));
            return;
        }
        for (const MIDIEvent& event : events) {
            if (event.tick >= startTick && event.tick < endTick) copy_.push_back(event);
        }
        sortNearlyOrdered(std::span<MIDIEvent>(copy_), less);
        section_ = copy_;
    }
    [[nodiscard]] std::span<const MIDIEvent> events() const noexcept { return section_; }

private:
    EventList copy_;
    std::span<const MIDIEvent> section_;
};

MIDIEvent atTick(const MIDIEvent& event, std::uint32_t tick) {
    MIDIEvent moved = event;
    moved.tick = tick;
    return moved;
}

}  // namespace

int clampedRepeatCount(int repeatCount) noexcept { return std::clamp(repeatCount, 1, maximumRepeatCount); }

LoopSectionBounds loopSectionBounds(const MIDIFile& midi, double startSeconds, double endSeconds, bool,
                                    std::optional<double> newBPM) {
    const std::uint32_t songEnd = MIDIFile::maximumTick(midi.musicalTracks());
    const double lo = std::min(startSeconds, endSeconds);
    const double hi = std::max(startSeconds, endSeconds);
    const std::uint32_t rawStart = midi.secondsToTicks(lo, songEnd, newBPM);
    const std::uint32_t rawEnd = midi.secondsToTicks(hi, songEnd, newBPM);
    LoopSectionBounds bounds;
    bounds.startTick = rawStart;
    bounds.endTick = std::min(rawEnd, songEnd);
    if (bounds.startTick >= bounds.endTick) {
        bounds.endTick = bounds.startTick == lastTick ? bounds.startTick : bounds.startTick + 1;
    }
    bounds.length = std::max<std::uint32_t>(bounds.endTick - bounds.startTick, 1);
    MIDIFile::logMIDIDiagnostic(
        formatString("Loop tick conversion: markerExact=on, noteCleanup=on, tempoOverride=%s, startSeconds=%.3f, "
                     "endSeconds=%.3f, rawStartTick=%u, rawEndTick=%u, startTick=%u, endTick=%u, lengthTicks=%u",
                     newBPM ? formatString("%.3f", *newBPM).c_str() : "none", lo, hi, rawStart, rawEnd,
                     bounds.startTick, bounds.endTick, bounds.length),
        "loopSectionBounds(startSeconds:endSeconds:tightenLoop:newBPM:)");
    return bounds;
}

std::uint32_t loopFinalTick(std::uint32_t length, int repeatCount) noexcept {
    const std::uint64_t total = std::uint64_t(clampedRepeatCount(repeatCount)) * std::max<std::uint32_t>(length, 1);
    return static_cast<std::uint32_t>(std::min(total, lastTick));
}

EventList loopRepeatSetupEvents(std::span<const MIDIEvent> events, std::uint32_t startTick,
                                std::span<const MIDIEvent> explicitSetupEvents) {
    ChannelStateSlots slots;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].tick < startTick) slots.offer(events[i], i);
    }
    const std::vector<std::size_t> captured = slots.capturedPositions();
    EventList setup;
    setup.reserve(captured.size() + explicitSetupEvents.size());
    for (const std::size_t position : captured) setup.push_back(atTick(events[position], 0));
    for (const MIDIEvent& event : explicitSetupEvents) setup.push_back(atTick(event, 0));
    return setup;
}

EventList repeatedSectionEvents(std::span<const MIDIEvent> events, std::uint32_t startTick, std::uint32_t endTick,
                                int repeatCount, std::optional<int> channel, bool,
                                std::span<const MIDIEvent> repeatSetupEvents, bool (*keep)(const MIDIEvent&)) {
    const int repeats = clampedRepeatCount(repeatCount);
    const std::uint32_t length = endTick > startTick ? endTick - startTick : 1;
    const SectionEvents sectionEvents(events, startTick, endTick);
    const std::span<const MIDIEvent> section = sectionEvents.events();
    const bool allNotesOff = channel && *channel >= 0 && *channel <= 15;

    EventList out;
    // A little room to spare, so that a builder can add a track's head and end without moving
    // the list.
    reserveLarge(out, static_cast<std::size_t>(repeats) * (repeatSetupEvents.size() + section.size() + 2) + 64);
    std::size_t copied = 0, setupEmitted = 0, unmatched = 0, boundaryNoteOffs = 0, kept = 0;
    OpenNotes open;
    for (int r = 0; r < repeats; ++r) {
        const std::uint64_t base = std::uint64_t(r) * length;
        if (base > lastTick) break;  // later repeats would start beyond the last tick there is
        const auto baseTick = static_cast<std::uint32_t>(base);
        const auto repeatEnd = static_cast<std::uint32_t>(std::min(base + length, lastTick));
        for (const MIDIEvent& event : repeatSetupEvents) out.push_back(atTick(event, baseTick));
        setupEmitted += repeatSetupEvents.size();
        for (const MIDIEvent& event : section) {
            if (keep != nullptr && !keep(event)) continue;
            if (r == 0) ++kept;
            const std::uint64_t tick = base + (event.tick - startTick);
            if (tick > lastTick) break;
            if (event.isNoteOn()) {
                open.noteOn(event);
            } else if (event.isNoteOff() && !open.noteOff(event)) {
                ++unmatched;
                continue;
            }
            out.push_back(atTick(event, static_cast<std::uint32_t>(tick)));
            ++copied;
        }
        boundaryNoteOffs += open.closeAll(repeatEnd, out);
        if (allNotesOff) out.push_back(MIDIEvent(repeatEnd, {static_cast<std::uint8_t>(0xB0 | *channel), 123, 0}));
    }
    MIDIFile::logMIDIDiagnostic(
        formatString("Repeated section events: noteCleanup=on, sourceEvents=%zu, copiedEvents=%zu, "
                     "repeatSetupEvents=%zu, ignoredUnmatchedNoteOffs=%zu, boundaryNoteOffs=%zu, repeats=%d, "
                     "sectionLengthTicks=%u",
                     keep != nullptr ? kept : section.size(), copied, setupEmitted, unmatched, boundaryNoteOffs,
                     repeats, length),
        "repeatedSectionEvents(_:startTick:endTick:repeatCount:channel:tightenLoop:repeatSetupEvents:)");
    return out;
}

}  // namespace orvane::midi
