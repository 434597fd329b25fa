#pragma once
// Putting a track's events in the order the writer writes them, in linear time for the lists
// the builders make.
//
// The writer orders events by tick and, among the events of one tick, by kind: at tick 0 the
// track name, bank selects, program changes, other meta events, other controllers, everything
// else, then end-of-track; after tick 0 everything in list order, then end-of-track. A list
// already in that order is written without sorting. The builders assemble a track from a few
// pieces (setup events, the body, conductor events) that are each nearly in order, so they
// bring each piece into order (cheap when it nearly is) and merge the pieces, instead of
// sorting the whole list from scratch.

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <span>

#include "midi/model/HugePages.h"
#include "midi/model/MIDIEvent.h"
#include "midi/model/MIDIFile.h"

namespace orvane::midi {

// The rank of an event among the events of its tick (see above).
[[nodiscard]] inline int exportRank(const MIDIEvent& event) noexcept {
    if (event.isEndOfTrack()) return 6;
    if (event.tick != 0 || event.empty()) return 5;
    const std::uint8_t status = event.status();
    if (status == 0xFF) return event.isMeta(0x03) ? 0 : 3;
    if ((status & 0xF0) == 0xC0) return 2;
    if (event.isControlChange()) return event[1] == 0 || event[1] == 32 ? 1 : 4;
    return 5;
}

// Strict order of the writer: tick, then rank.
struct ExportOrderLess {
    bool operator()(const MIDIEvent& a, const MIDIEvent& b) const noexcept {
        if (a.tick != b.tick) return a.tick < b.tick;
        if (a.tick != 0) return b.isEndOfTrack() && !a.isEndOfTrack();
        return exportRank(a) < exportRank(b);
    }
};

struct TickLess {
    bool operator()(const MIDIEvent& a, const MIDIEvent& b) const noexcept { return a.tick < b.tick; }
};

// Stable sort that costs one pass over a list already in order and little more over one that
// is nearly in order (a few events out of place by a short distance); any other list falls
// back to a full stable sort.
template <class Less>
void sortNearlyOrdered(std::span<MIDIEvent> events, Less less) {
    std::size_t budget = 4 * events.size() + 256;
    for (std::size_t i = 1; i < events.size(); ++i) {
        if (!less(events[i], events[i - 1])) continue;
        const auto first = events.begin();
        const auto place = std::upper_bound(first, first + static_cast<std::ptrdiff_t>(i), events[i], less);
        const auto distance = static_cast<std::size_t>(first + static_cast<std::ptrdiff_t>(i) - place);
        if (distance > budget) {
            std::stable_sort(events.begin(), events.end(), less);
            return;
        }
        budget -= distance;
        std::rotate(place, first + static_cast<std::ptrdiff_t>(i), first + static_cast<std::ptrdiff_t>(i) + 1);
    }
}

// The pieces, in this order, merged into one list in export order: the result equals putting
// the pieces one after another and sorting that list stably in export order. The pieces are
// sorted in place and their events moved out.
[[nodiscard]] EventList mergedInExportOrder(std::initializer_list<EventList*> pieces);

// Events that surround a track's body in a builder's list: `before` goes ahead of body events
// in equal order, `after` behind them. Both are brought into export order.
class SurroundingEvents {
public:
    SurroundingEvents(EventList before, EventList after);

    // Appends every surrounding event that goes before the body event next.
    void emitBefore(const MIDIEvent& next, EventList& out) {
        const ExportOrderLess less;
        for (;;) {
            const bool takeBefore = nextBefore_ < before_.size() && !less(next, before_[nextBefore_]);
            const bool takeAfter = nextAfter_ < after_.size() && less(after_[nextAfter_], next);
            if (!takeBefore && !takeAfter) return;
            emitOne(takeBefore, takeAfter, out);
        }
    }
    void emitRest(EventList& out);
    [[nodiscard]] std::size_t size() const noexcept { return before_.size() + after_.size(); }
    [[nodiscard]] EventList& before() noexcept { return before_; }
    [[nodiscard]] EventList& after() noexcept { return after_; }

private:
    void emitOne(bool takeBefore, bool takeAfter, EventList& out);
    EventList before_;
    EventList after_;
    std::size_t nextBefore_ = 0;
    std::size_t nextAfter_ = 0;
};

// The events of source that keep accepts, with before and after around them, in export order:
// the list mergedInExportOrder({&before, &kept, &after}) gives, made in one pass over source
// when the kept events are in export order already (as a track read from a file is).
template <class Keep>
[[nodiscard]] EventList mergedAroundInExportOrder(EventList before, std::span<const MIDIEvent> source, Keep keep,
                                                  EventList after) {
    const ExportOrderLess less;
    SurroundingEvents surrounding(std::move(before), std::move(after));
    EventList out;
    reserveLarge(out, source.size() + surrounding.size());
    const MIDIEvent* previous = nullptr;
    for (const MIDIEvent& event : source) {
        if (!keep(event)) continue;
        if (previous != nullptr && less(event, *previous)) {
            EventList kept;
            for (const MIDIEvent& candidate : source) {
                if (keep(candidate)) kept.push_back(candidate);
            }
            return mergedInExportOrder({&surrounding.before(), &kept, &surrounding.after()});
        }
        surrounding.emitBefore(event, out);
        out.push_back(event);
        previous = &event;
    }
    surrounding.emitRest(out);
    return out;
}

// Sorts events into export order and appends their chunk to out.
void appendTrackChunkInExportOrder(Bytes& out, EventList& events);

}  // namespace orvane::midi
