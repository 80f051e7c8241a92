#include "measure/run_pairing.h"

#include <string>

#include "numeric/failure.h"

namespace orv {

PairBy run_pairing(PairBy asked, bool allow_damaged, const RunSide& reference,
                   const RunSide& degraded) {
    const bool timed = !reference.times.empty() && !degraded.times.empty();
    if (asked == PairBy::time) {
        for (const RunSide* side : {&reference, &degraded}) {
            if (!side->times.empty()) continue;
            const bool named = side->media && !side->media->entries.empty();
            const std::string path = named ? side->media->entries.front().path : std::string();
            const bool several = named && side->media->entries.size() > 1;
            raise_failure(several ? FailureKind::pairing_side_of_several_files
                                  : FailureKind::pairing_side_without_times,
                          path);
        }
        return PairBy::time;
    }
    return allow_damaged && timed ? PairBy::time : PairBy::position;
}

int run_pair_count(PairBy pairing, const RunSide& reference, const RunSide& degraded,
                   std::optional<int> frames) {
    return pairing == PairBy::time ? paired_count(reference.count, 0, frames)
                                   : paired_count(reference.count, degraded.count, frames);
}

const char* pairing_name(PairBy pairing) { return pairing == PairBy::time ? "time" : "position"; }

}  // namespace orv
