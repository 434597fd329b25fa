#include "midi/export/ExportOrder.h"

#include <vector>


namespace orvane::midi {

int exportRank(const MIDIEvent& event) noexcept {
    if (event.isEndOfTrack()) return 6;
    if (event.tick != 0 || event.empty()) return 5;
    const std::uint8_t status = event.status();
    if (status == 0xFF) return event.isMeta(0x03) ? 0 : 3;
    if ((status & 0xF0) == 0xC0) return 2;
    if (event.isControlChange()) return event[1] == 0 || event[1] == 32 ? 1 : 4;
    return 5;
}

EventList mergedInExportOrder(std::initializer_list<EventList*> pieces) {
    const ExportOrderLess less;
    std::size_t total = 0;
    std::vector<EventList*> open;
    open.reserve(pieces.size());
    for (EventList* piece : pieces) {
        sortNearlyOrdered(std::span<MIDIEvent>(*piece), less);
        total += piece->size();
        if (!piece->empty()) open.push_back(piece);
    }
    EventList merged;
    if (open.size() == 1) {
        merged = std::move(*open.front());
        return merged;
    }
    reserveLarge(merged, total);
    std::vector<std::size_t> next(open.size(), 0);
    for (;;) {
        // The earliest head; on a tie the earlier piece, which keeps the merge stable.
        std::size_t best = open.size();
        for (std::size_t p = 0; p < open.size(); ++p) {
            if (next[p] == open[p]->size()) continue;
            if (best == open.size() || less((*open[p])[next[p]], (*open[best])[next[best]])) best = p;
        }
        if (best == open.size()) break;
        merged.push_back(std::move((*open[best])[next[best]++]));
    }
    return merged;
}

SurroundingEvents::SurroundingEvents(EventList before, EventList after)
    : before_(std::move(before)), after_(std::move(after)) {
    sortNearlyOrdered(std::span<MIDIEvent>(before_), ExportOrderLess{});
    sortNearlyOrdered(std::span<MIDIEvent>(after_), ExportOrderLess{});
}

void SurroundingEvents::emitOne(bool takeBefore, bool takeAfter, EventList& out) {
    // Between the two, the earlier goes first; on equal order the one from before.
    if (takeBefore && (!takeAfter || !ExportOrderLess{}(after_[nextAfter_], before_[nextBefore_]))) {
        out.push_back(before_[nextBefore_++]);
    } else {
        out.push_back(after_[nextAfter_++]);
    }
}

void SurroundingEvents::emitRest(EventList& out) {
    while (nextBefore_ < before_.size() || nextAfter_ < after_.size()) {
        emitOne(nextBefore_ < before_.size(), nextAfter_ < after_.size(), out);
    }
}

void appendTrackChunkInExportOrder(Bytes& out, EventList& events) {
    sortNearlyOrdered(std::span<MIDIEvent>(events), ExportOrderLess{});
    MIDIFile::appendTrackChunk(out, events);
}

}  // namespace orvane::midi
