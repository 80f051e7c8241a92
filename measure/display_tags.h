#pragma once
// The display a measurement assumes for tagged video: a stream tagged with the PQ transfer
// (smpte2084) is measured on the pq display, one tagged HLG (arib-std-b67) on the hlg display,
// and one tagged with BT.2020 primaries with the bt2020 primaries, unless the options chose the
// display or the primaries. Untagged and SDR-tagged streams keep the choice as it is.

#include "colour/display_model.h"
#include "media/media_sequence.h"

namespace orv {

// `asked` with what the streams' tags choose where `transfer_given` / `primaries_given` are
// false: the first tagged file of `first`, else of `second`, decides.
DisplayChoice display_from_tags(DisplayChoice asked, bool transfer_given, bool primaries_given,
                                const MediaSequence& first, const MediaSequence& second);

}  // namespace orv
