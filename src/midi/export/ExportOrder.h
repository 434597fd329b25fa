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

#include "midi/model/MIDIEvent.h"
#include "midi/model/MIDIFile.h"

namespace orvane::midi {

// The rank of an event among the events of its tick (see above).
[[nodiscard]] int exportRank(const MIDIEvent& event) noexcept;

// Strict order of the writer: tick, then rank.
struct ExportOrderLess {
    bool operator()(const MIDIEvent& a, const MIDIEvent& b) const noexcept {
        if (a.tick != b.tick) return a.tick < b.tick;
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

// Sorts events into export order and appends their chunk to out.
void appendTrackChunkInExportOrder(Bytes& out, EventList& events);

}  // namespace orvane::midi
