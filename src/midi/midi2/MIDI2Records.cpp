#include "midi/midi2/MIDI2Records.h"

#include <algorithm>
#include <array>
#include <limits>
#include <mutex>

#include "midi/midi2/MIDI2ClipFile.h"
#include "midi/midi2/MIDI2PacketWalker.h"
#include "midi/midi2/MIDI2UMPPacket.h"
#include "midi/model/HugePages.h"

namespace orvane::midi {
namespace {

constexpr std::array<std::string_view, 5> scopeNames = {"safely scoped", "global", "structural", "unsupported",
                                                        "ambiguous"};
constexpr std::array<std::string_view, 5> actionNames = {
    "structural only",
    "imported to editable model",
    "down-converted to editable model",
    "stored as native preservation candidate",
    "skipped or unsupported",
};
constexpr std::array<std::string_view, 4> operationNames = {"full merged export", "single-track export", "split export",
                                                            "loop export"};
constexpr std::array<std::string_view, 14> blockerNames = {
    "no native inventory",   "unsupported operation",       "transpose active",
    "tempo override active", "mixer settings active",       "partial track export",
    "no native candidates",  "unsafe native metadata",      "edited or nonmatching events",
    "loop timing rewrite",   "loop repeat required",        "effective-start state required",
    "writer disabled",       "no exact-match replacements",
};
constexpr std::array<std::string_view, 4> policyNames = {"copy once as effective-start state", "move to loop start",
                                                         "repeat per loop pass", "skip"};

// The fixed texts of the reason codes, in code order (the failure text is composed).
constexpr std::array<std::string_view, 15> reasonTexts = {
    "Delta Clockstamp advances MIDI Clip timing.",
    "Delta Clockstamp Ticks Per Quarter Note sets MIDI Clip timing.",
    "Unsupported Utility packet.",
    "Start of Clip boundary.",
    "End of Clip boundary.",
    "Unsupported Stream packet.",
    "Flex Data Set Tempo was imported into Orvane's tempo map.",
    "Flex Data Set Time Signature was imported into Orvane's timing state.",
    "Unsupported non-tempo Flex Data packet.",
    "MIDI 1.0 Channel Voice packet has clear group/channel/timing and was imported into the editable model.",
    "MIDI 1.0 Channel Voice packet occurred outside the clip sequence and was imported at tick 0 only.",
    "Unsupported native MIDI 2.0 Channel Voice packet: ",
    "Native MIDI 2.0 Channel Voice packet was down-converted for editing and stored as a future native "
    "preservation candidate.",
    "Native MIDI 2.0 Channel Voice packet was down-converted but occurred outside the clip sequence.",
    "Unsupported or reserved UMP message type.",
};

template <std::size_t N, class Enum>
std::string_view nameOf(const std::array<std::string_view, N>& names, Enum value) {
    const auto index = static_cast<std::size_t>(value);
    return index < N ? names[index] : std::string_view{};
}

}  // namespace

std::string_view rawValue(MIDI2NativePacketScope scope) { return nameOf(scopeNames, scope); }
std::string_view rawValue(MIDI2NativePacketAction action) { return nameOf(actionNames, action); }
std::string_view rawValue(MIDI2NativeReexportOperation operation) { return nameOf(operationNames, operation); }
std::string_view rawValue(MIDI2NativeReexportBlocker blocker) { return nameOf(blockerNames, blocker); }
std::string_view rawValue(MIDI2NativeLoopPacketPolicy policy) { return nameOf(policyNames, policy); }

// ---- Inventory ----------------------------------------------------------------------------

static_assert(sizeof(MIDI2NativePacketInventory::Entry) == 20, "an inventory entry should stay compact");

void MIDI2NativePacketInventory::Tally::add(const Entry& entry) {
    if (entry.action == MIDI2NativePacketAction::storedNativeCandidate) ++storedCandidates;
    if (entry.action == MIDI2NativePacketAction::skippedUnsupported ||
        entry.scope == MIDI2NativePacketScope::unsupported || entry.scope == MIDI2NativePacketScope::ambiguous) {
        ++unsafe;
    }
}

struct MIDI2NativePacketInventory::Storage {
    mutable std::vector<std::uint32_t> words;
    std::size_t packetCount = 0;
    Tally tally;
    std::map<std::size_t, HandBuilt> handBuilt;
    // A clip's words and entries are worked out from its bytes on first use.
    bool fromClip = false;
    mutable std::vector<std::uint8_t> clip;  // let go once the words are made
    std::size_t payloadOffset = 0;
    mutable std::vector<Entry> entries;
    mutable std::once_flag entriesBuilt;

    void buildEntries() const {
        const MIDI2ClipPayload payload{std::span<const std::uint8_t>(clip).subspan(payloadOffset), packetCount};
        reserveLarge(words, payload.wordCount());
        for (std::size_t index = 0; index < payload.wordCount(); ++index) words.push_back(payload.word(index));
        std::vector<std::uint8_t>().swap(clip);
        reserveLarge(entries, packetCount);
        MIDI2PacketWalker walker;
        forEachPacket(words, [&](const MIDI2UMPPacket& packet, std::size_t index) {
            const auto entry = walker.next(packet, static_cast<std::uint32_t>(index));
            if (entry) entries.push_back(*entry);
            return entry.has_value();
        });
    }
};

MIDI2NativePacketInventory MIDI2NativePacketInventory::ofClipBytes(std::vector<std::uint8_t> clip,
                                                                   std::size_t payloadOffset, std::size_t packetCount,
                                                                   Tally tally) {
    auto storage = std::make_shared<Storage>();
    storage->tally = tally;
    storage->clip = std::move(clip);
    storage->payloadOffset = payloadOffset;
    storage->packetCount = packetCount;
    storage->fromClip = true;
    MIDI2NativePacketInventory inventory;
    inventory.storage_ = std::move(storage);
    return inventory;
}

MIDI2NativePacketInventory::MIDI2NativePacketInventory(std::initializer_list<MIDI2NativePacketSnapshot> snapshots)
    : MIDI2NativePacketInventory(std::span<const MIDI2NativePacketSnapshot>(snapshots.begin(), snapshots.size())) {}

MIDI2NativePacketInventory::MIDI2NativePacketInventory(std::span<const MIDI2NativePacketSnapshot> snapshots) {
    auto storage = std::make_shared<Storage>();
    for (const auto& snapshot : snapshots) {
        Entry entry;
        entry.absoluteTick = snapshot.absoluteTick;
        entry.hasSequenceTick = snapshot.sequenceTick.has_value();
        entry.sequenceTick = snapshot.sequenceTick.value_or(0);
        entry.firstWord = static_cast<std::uint32_t>(storage->words.size());
        entry.wordCount = static_cast<std::uint8_t>(std::min<std::size_t>(snapshot.words.size(), 0xFF));
        entry.scope = snapshot.scope;
        entry.action = snapshot.action;
        entry.reason = MIDI2PacketReason::custom;
        entry.wasDownConverted = snapshot.wasDownConverted;
        entry.hasHighResolutionValue = snapshot.hasHighResolutionValue;
        storage->words.insert(storage->words.end(), snapshot.words.begin(), snapshot.words.begin() + entry.wordCount);
        storage->handBuilt[storage->entries.size()] = {snapshot.packetIndex, snapshot.group, snapshot.channel,
                                                       snapshot.messageType, snapshot.reason};
        storage->entries.push_back(entry);
        storage->tally.add(entry);
    }
    storage->packetCount = storage->entries.size();
    storage_ = std::move(storage);
}

std::size_t MIDI2NativePacketInventory::size() const noexcept { return storage_ ? storage_->packetCount : 0; }

MIDI2NativePacketInventory::Tally MIDI2NativePacketInventory::tally() const noexcept {
    return storage_ ? storage_->tally : Tally{};
}

std::span<const MIDI2NativePacketInventory::Entry> MIDI2NativePacketInventory::entries() const {
    if (!storage_) return {};
    if (storage_->fromClip) std::call_once(storage_->entriesBuilt, [this] { storage_->buildEntries(); });
    return storage_->entries;
}

std::span<const std::uint32_t> MIDI2NativePacketInventory::words(const Entry& entry) const noexcept {
    return std::span<const std::uint32_t>(storage_->words).subspan(entry.firstWord, entry.wordCount);
}

const MIDI2NativePacketInventory::HandBuilt* MIDI2NativePacketInventory::handBuilt(std::size_t position) const {
    if (storage_->handBuilt.empty()) return nullptr;
    const auto found = storage_->handBuilt.find(position);
    return found == storage_->handBuilt.end() ? nullptr : &found->second;
}

int MIDI2NativePacketInventory::packetIndex(std::size_t position) const {
    const auto* built = handBuilt(position);
    return built != nullptr ? built->packetIndex : static_cast<int>(position);
}

std::optional<std::uint8_t> MIDI2NativePacketInventory::group(std::size_t position) const {
    if (const auto* built = handBuilt(position)) return built->group;
    const auto packetWords = words(entries()[position]);
    if (packetWords.empty()) return std::nullopt;
    switch (static_cast<MIDI2UMPMessageType>(packetWords[0] >> 28)) {
        case MIDI2UMPMessageType::system:
        case MIDI2UMPMessageType::midi1ChannelVoice:
        case MIDI2UMPMessageType::data:
        case MIDI2UMPMessageType::midi2ChannelVoice:
        case MIDI2UMPMessageType::extendedData:
        case MIDI2UMPMessageType::flexData:
        case MIDI2UMPMessageType::stream:
            return static_cast<std::uint8_t>((packetWords[0] >> 24) & 0xF);
        default:
            return std::nullopt;
    }
}

std::optional<std::uint8_t> MIDI2NativePacketInventory::channel(std::size_t position) const {
    if (const auto* built = handBuilt(position)) return built->channel;
    const auto packetWords = words(entries()[position]);
    if (packetWords.empty()) return std::nullopt;
    const auto type = static_cast<MIDI2UMPMessageType>(packetWords[0] >> 28);
    if (type != MIDI2UMPMessageType::midi1ChannelVoice && type != MIDI2UMPMessageType::midi2ChannelVoice) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>((packetWords[0] >> 16) & 0xF);
}

std::string MIDI2NativePacketInventory::reason(std::size_t position) const {
    const Entry& entry = entries()[position];
    switch (entry.reason) {
        case MIDI2PacketReason::custom: {
            const auto* built = handBuilt(position);
            return built != nullptr ? built->reason : std::string();
        }
        case MIDI2PacketReason::midi2NotDownConverted: {
            const auto packetWords = words(entry);
            const auto status = packetWords.empty() ? std::uint8_t{0} : static_cast<std::uint8_t>(packetWords[0] >> 16);
            return std::string(reasonTexts[static_cast<std::size_t>(entry.reason)]) + midi2NotDownConvertedText(status);
        }
        default:
            return std::string(reasonTexts[static_cast<std::size_t>(entry.reason)]);
    }
}

MIDI2NativePacketSnapshot MIDI2NativePacketInventory::operator[](std::size_t position) const {
    const Entry& entry = entries()[position];
    MIDI2NativePacketSnapshot snapshot;
    snapshot.packetIndex = packetIndex(position);
    snapshot.absoluteTick = entry.absoluteTick;
    snapshot.sequenceTick = entry.optionalSequenceTick();
    snapshot.group = group(position);
    snapshot.channel = channel(position);
    const auto packetWords = words(entry);
    snapshot.words.assign(packetWords.begin(), packetWords.end());
    if (const auto* built = handBuilt(position)) {
        snapshot.messageType = built->messageType;
    } else if (!packetWords.empty()) {
        snapshot.messageType = midi2UMPMessageTypeName(static_cast<MIDI2UMPMessageType>(packetWords[0] >> 28));
    }
    snapshot.scope = entry.scope;
    snapshot.action = entry.action;
    snapshot.wasDownConverted = entry.wasDownConverted;
    snapshot.hasHighResolutionValue = entry.hasHighResolutionValue;
    snapshot.reason = reason(position);
    return snapshot;
}

std::vector<MIDI2NativePacketSnapshot> MIDI2NativePacketInventory::snapshots() const {
    std::vector<MIDI2NativePacketSnapshot> result;
    result.reserve(size());
    for (std::size_t i = 0; i < size(); ++i) result.push_back((*this)[i]);
    return result;
}

bool operator==(const MIDI2NativePacketInventory& a, const MIDI2NativePacketInventory& b) {
    if (a.storage_ == b.storage_) return true;
    return a.snapshots() == b.snapshots();
}

}  // namespace orvane::midi
