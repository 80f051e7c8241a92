#pragma once
// The display a measurement assumes for tagged video: a stream tagged with the PQ transfer
// (smpte2084) is measured on the pq display, one tagged HLG (arib-std-b67) on the hlg display,
// and one tagged with BT.2020 primaries with the bt2020 primaries, unless the options chose the
// display or the primaries. Untagged and SDR-tagged streams keep the choice as it is.

#include <optional>
#include <string>
#include <vector>

#include "colour/display_model.h"
#include "media/media_sequence.h"

namespace orv {

// A stream's transfer and primaries tags as the libraries name them (empty: not said).
struct StreamTags {
    std::string transfer;
    std::string primaries;
};

// `asked` with what the tags choose where `transfer_given` / `primaries_given` are false: the
// first tags that name a transfer (or primaries) of their own decide.
DisplayChoice display_from_stream_tags(DisplayChoice asked, bool transfer_given,
                                       bool primaries_given, const std::vector<StreamTags>& tags);

// `asked` with what the streams' tags choose where `transfer_given` / `primaries_given` are
// false: the first tagged file of `first`, else of `second`, decides.
DisplayChoice display_from_tags(DisplayChoice asked, bool transfer_given, bool primaries_given,
                                const MediaSequence& first, const MediaSequence& second);

// One side's own display options (--reference-display and the like): given, they win over the
// options for both sides and over the side's tags.
struct SideDisplayOptions {
    std::optional<DisplayTransfer> transfer;
    std::optional<DisplayPrimaries> primaries;
};

// `asked` (the options for both sides) with the side's own options over it.
DisplayChoice with_side_options(DisplayChoice asked, const SideDisplayOptions& own);

// The display of one side: `asked` with the side's own options over it and, where neither
// chose the transfer (or the primaries), what the side's own streams' tags choose (the first
// tagged file of `sequence` decides). The other side's tags play no part.
DisplayChoice side_display(const DisplayChoice& asked, bool transfer_given, bool primaries_given,
                           const SideDisplayOptions& own, const MediaSequence& sequence);

}  // namespace orv
