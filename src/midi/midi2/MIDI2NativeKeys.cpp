// Keys of short messages at a tick, their counts among events, and the replacement plan that
// hands out native packets key by key.

#include <algorithm>

#include "midi/midi2/MIDI2Export.h"
#include "midi/model/HugePages.h"

namespace orvane::midi {

std::optional<MIDI2NativeReplacementKey> MIDI2NativeReplacementKey::of(std::uint32_t tick,
                                                                       std::span<const std::uint8_t> data) {
    if (data.empty() || data.size() > 3) return std::nullopt;
    std::uint64_t packed = std::uint64_t{tick} << 32 | std::uint64_t{data.size()} << 24;
    for (std::size_t i = 0; i < data.size(); ++i) packed |= std::uint64_t{data[i]} << (16 - 8 * i);
    return MIDI2NativeReplacementKey(packed);
}

MIDI2NativeReplacementKey MIDI2NativeReplacementKey::of(std::uint32_t tick, const MIDI1ByteMessage& message) {
    return *of(tick, message.data());
}

MIDI1ByteMessage MIDI2NativeReplacementKey::data() const noexcept {
    MIDI1ByteMessage message;
    message.size = static_cast<std::uint8_t>(packed_ >> 24);
    for (std::size_t i = 0; i < 3; ++i) message.bytes[i] = static_cast<std::uint8_t>(packed_ >> (16 - 8 * i));
    return message;
}

// ---- Counts -----------------------------------------------------------------------------------

MIDI2NativeKeyCounts::MIDI2NativeKeyCounts(std::vector<MIDI2NativeReplacementKey> keys) {
    std::sort(keys.begin(), keys.end());
    for (const auto key : keys) {
        if (keys_.empty() || keys_.back() != key) {
            keys_.push_back(key);
            counts_.push_back(0);
        }
        ++counts_.back();
    }
}

MIDI2NativeKeyCounts MIDI2NativeKeyCounts::ofChannelEvents(std::span<const MIDIEvent> events) {
    std::vector<MIDI2NativeReplacementKey> keys;
    reserveLarge(keys, events.size());
    for (const MIDIEvent& event : events) {
        if (!event.isChannelMessage()) continue;
        if (const auto key = MIDI2NativeReplacementKey::of(event.tick, event.data())) keys.push_back(*key);
    }
    return MIDI2NativeKeyCounts(std::move(keys));
}

std::optional<std::size_t> MIDI2NativeKeyCounts::indexOf(MIDI2NativeReplacementKey key) const {
    const auto found = std::lower_bound(keys_.begin(), keys_.end(), key);
    if (found == keys_.end() || *found != key) return std::nullopt;
    return static_cast<std::size_t>(found - keys_.begin());
}

int MIDI2NativeKeyCounts::count(MIDI2NativeReplacementKey key) const {
    const auto index = indexOf(key);
    return index ? counts_[*index] : 0;
}

// ---- Plan -------------------------------------------------------------------------------------

void MIDI2NativeReplacementPlan::append(MIDI2NativeReplacementKey key, const MIDI2UMPPacket& packet) {
    if (!items_.empty() && key < items_.back().key) sorted_ = false;
    items_.push_back({key, packet});
    taken_.push_back(0);
    ++remaining_;
}

std::pair<std::size_t, std::size_t> MIDI2NativeReplacementPlan::range(MIDI2NativeReplacementKey key) const {
    if (!sorted_) {
        // Taking starts only after the plan is complete, so nothing is taken yet. Plans come in
        // tick order, so sorting each tick's few items is enough; any other order is sorted whole.
        const auto byKey = [](const Item& a, const Item& b) { return a.key < b.key; };
        const auto byTick = [](const Item& a, const Item& b) { return a.key.tick() < b.key.tick(); };
        if (std::is_sorted(items_.begin(), items_.end(), byTick)) {
            for (auto first = items_.begin(); first != items_.end();) {
                const auto last = std::upper_bound(first, items_.end(), *first, byTick);
                std::stable_sort(first, last, byKey);
                first = last;
            }
        } else {
            std::stable_sort(items_.begin(), items_.end(), byKey);
        }
        sorted_ = true;
    }
    const auto first = std::lower_bound(items_.begin(), items_.end(), key,
                                        [](const Item& item, MIDI2NativeReplacementKey k) { return item.key < k; });
    auto last = first;
    while (last != items_.end() && last->key == key) ++last;
    return {static_cast<std::size_t>(first - items_.begin()), static_cast<std::size_t>(last - items_.begin())};
}

std::optional<MIDI2UMPPacket> MIDI2NativeReplacementPlan::takeFirst(MIDI2NativeReplacementKey key) {
    const auto [first, last] = range(key);
    if (first == last) return std::nullopt;
    std::uint32_t& taken = taken_[first];
    if (first + taken == last) return std::nullopt;
    --remaining_;
    return items_[first + taken++].packet;
}

std::vector<MIDI2UMPPacket> MIDI2NativeReplacementPlan::packets(MIDI2NativeReplacementKey key) const {
    const auto [first, last] = range(key);
    std::vector<MIDI2UMPPacket> result;
    for (std::size_t i = first + (first < last ? taken_[first] : 0); i < last; ++i) result.push_back(items_[i].packet);
    return result;
}

std::size_t MIDI2NativeReplacementPlan::keyCount() const {
    std::size_t keys = 0;
    for (std::size_t first = 0; first < items_.size();) {
        const auto [begin, end] = range(items_[first].key);
        if (begin + taken_[begin] < end) ++keys;
        first = end;
    }
    return keys;
}

}  // namespace orvane::midi
