#include "midi/export/ExportOrder.h"

#include <iterator>
#include <vector>


namespace orvane::midi {

namespace {

// The k-way merge of pieces already in export order; ties go to the earlier piece.
EventList mergedPieces(std::span<EventList* const> pieces) {
    const ExportOrderLess less;
    std::size_t total = 0;
    for (const EventList* piece : pieces) total += piece->size();
    EventList merged;
    reserveLarge(merged, total);
    std::vector<std::size_t> next(pieces.size(), 0);
    for (;;) {
        std::size_t best = pieces.size();
        for (std::size_t p = 0; p < pieces.size(); ++p) {
            if (next[p] == pieces[p]->size()) continue;
            if (best == pieces.size() || less((*pieces[p])[next[p]], (*pieces[best])[next[best]])) best = p;
        }
        if (best == pieces.size()) break;
        merged.push_back(std::move((*pieces[best])[next[best]++]));
    }
    return merged;
}

// Merging a short piece into a long one touches only the long one's events that the short
// piece's events reach; beyond this many, a general in-place merge is cheaper.
constexpr std::ptrdiff_t shortMergeReach = 1 << 16;

// merged = before ∪ merged in export order, ties to before. Only the events of merged that
// come ahead of before's last event take part in the merge; the rest move once.
void mergeInFront(EventList& merged, EventList& before) {
    const ExportOrderLess less;
    const auto reach = std::lower_bound(merged.begin(), merged.end(), before.back(), less) - merged.begin();
    if (reach > shortMergeReach) {
        const auto count = static_cast<std::ptrdiff_t>(before.size());
        merged.insert(merged.begin(), std::make_move_iterator(before.begin()), std::make_move_iterator(before.end()));
        std::inplace_merge(merged.begin(), merged.begin() + count, merged.end(), less);
        return;
    }
    EventList head;
    head.reserve(before.size() + static_cast<std::size_t>(reach));
    std::merge(std::make_move_iterator(before.begin()), std::make_move_iterator(before.end()),
               std::make_move_iterator(merged.begin()), std::make_move_iterator(merged.begin() + reach),
               std::back_inserter(head), less);
    merged.insert(merged.begin(), before.size(), MIDIEvent());
    std::move(head.begin(), head.end(), merged.begin());
}

// merged = merged ∪ after in export order, ties to merged. Only the events of merged that go
// behind after's first event take part.
void mergeBehind(EventList& merged, EventList& after) {
    const ExportOrderLess less;
    const auto from = std::upper_bound(merged.begin(), merged.end(), after.front(), less);
    const auto reach = merged.end() - from;
    const auto middle = static_cast<std::ptrdiff_t>(merged.size());
    if (reach > shortMergeReach) {
        merged.insert(merged.end(), std::make_move_iterator(after.begin()), std::make_move_iterator(after.end()));
        std::inplace_merge(merged.begin(), merged.begin() + middle, merged.end(), less);
        return;
    }
    EventList tail;
    tail.reserve(static_cast<std::size_t>(reach) + after.size());
    std::merge(std::make_move_iterator(from), std::make_move_iterator(merged.end()),
               std::make_move_iterator(after.begin()), std::make_move_iterator(after.end()), std::back_inserter(tail),
               less);
    merged.resize(static_cast<std::size_t>(middle - reach));
    merged.insert(merged.end(), std::make_move_iterator(tail.begin()), std::make_move_iterator(tail.end()));
}

}  // namespace

EventList mergedInExportOrder(std::initializer_list<EventList*> pieces) {
    const ExportOrderLess less;
    const std::vector<EventList*> all(pieces);
    std::size_t largest = 0;
    std::size_t total = 0;
    for (std::size_t p = 0; p < all.size(); ++p) {
        sortNearlyOrdered(std::span<MIDIEvent>(*all[p]), less);
        total += all[p]->size();
        if (all[p]->size() > all[largest]->size()) largest = p;
    }
    if (all.empty()) return {};
    // The largest piece (a track's body, a loop's repeats) stays where it is: the others
    // (setup and end events, conductor events) are merged into it, which moves far fewer
    // events than copying all into a new list.
    EventList before = mergedPieces(std::span(all).first(largest));
    EventList after = mergedPieces(std::span(all).subspan(largest + 1));
    EventList merged = std::move(*all[largest]);
    merged.reserve(total);
    if (!before.empty()) mergeInFront(merged, before);
    if (!after.empty()) mergeBehind(merged, after);
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
