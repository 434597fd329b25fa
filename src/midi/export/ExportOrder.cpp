#include "midi/export/ExportOrder.h"

#include <vector>

#include "midi/model/HugePages.h"

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

void appendTrackChunkInExportOrder(Bytes& out, EventList& events) {
    sortNearlyOrdered(std::span<MIDIEvent>(events), ExportOrderLess{});
    MIDIFile::appendTrackChunk(out, events);
}

}  // namespace orvane::midi
