// Writes the deterministic stress files used by the benchmarks and speed measurements:
//
//   make_stress [--notes N] FORMAT1.mid [FORMAT0.mid]
//
// FORMAT1.mid: a conductor and 16 note tracks of N notes each (default 200000, about 22.6 MB
// and 6.45 million events); FORMAT0.mid: the same song as one track with 16 channels.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "StressSong.h"
#include "ToolFiles.h"

int main(int argc, char** argv) {
    namespace stress = orvane::tools::stress;
    std::uint32_t noteCount = 200000;
    int first = 1;
    if (argc >= 3 && std::strcmp(argv[1], "--notes") == 0) {
        noteCount = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
        first = 3;
    }
    const int outputs = argc - first;
    if (outputs < 1 || outputs > 2 || noteCount == 0 || noteCount > 4000000) {
        std::fprintf(stderr, "usage: make_stress [--notes N] FORMAT1.mid [FORMAT0.mid]\n");
        return 2;
    }
    const auto tracks = stress::songTracks(noteCount);
    if (!orvane::tools::writeFileOrReport(argv[first], stress::format1File(tracks))) return 1;
    if (outputs == 2 && !orvane::tools::writeFileOrReport(argv[first + 1], stress::format0File(tracks))) return 1;
    std::fprintf(stderr, "%zu events in %zu tracks\n", stress::eventCount(tracks), tracks.size());
    return 0;
}
