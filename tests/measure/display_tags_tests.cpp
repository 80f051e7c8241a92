// Which display each side of a pair is measured on: the side's own options win over the
// options for both sides, which win over the side's own streams' tags; the other side's tags
// play no part.

#include <gtest/gtest.h>
#include <optional>
#include <string>

#include "measure/display_tags.h"

namespace orv {
namespace {

MediaSequence tagged(const std::string& transfer, const std::string& primaries) {
    MediaSequence sequence;
    SequenceEntry untagged;
    SequenceEntry entry;
    entry.transfer_tag = transfer;
    entry.primaries_tag = primaries;
    sequence.entries = {untagged, entry};  // the first tagged file decides
    return sequence;
}

TEST(SideDisplay, OwnOptionsOverBothSidesOverTags) {
    using T = DisplayTransfer;
    using P = DisplayPrimaries;
    struct Case {
        const char* name;
        std::optional<T> both_transfer;   // --display
        std::optional<P> both_primaries;  // --primaries
        SideDisplayOptions own;
        const char* transfer_tag;
        const char* primaries_tag;
        T transfer;
        P primaries;
    };
    const Case cases[] = {
        {"untagged", {}, {}, {}, "", "", T::profile, P::profile},
        {"sdr tags", {}, {}, {}, "bt709", "bt709", T::profile, P::profile},
        {"pq tags", {}, {}, {}, "smpte2084", "bt2020", T::pq, P::bt2020},
        {"hlg tags", {}, {}, {}, "arib-std-b67", "bt2020", T::hlg, P::bt2020},
        {"both sides over tags", T::srgb, P::bt709, {}, "smpte2084", "bt2020", T::srgb, P::bt709},
        {"display alone leaves primaries to tags",
         T::srgb,
         {},
         {},
         "smpte2084",
         "bt2020",
         T::srgb,
         P::bt2020},
        {"own over both sides", T::srgb, P::bt709, {T::hlg, P::p3d65}, "", "", T::hlg, P::p3d65},
        {"own over tags", {}, {}, {T::bt1886, {}}, "smpte2084", "bt2020", T::bt1886, P::bt2020},
        {"own profile over tags",
         {},
         {},
         {T::profile, P::profile},
         "smpte2084",
         "bt2020",
         T::profile,
         P::profile},
    };
    for (const Case& k : cases) {
        DisplayChoice asked;
        asked.transfer = k.both_transfer.value_or(T::profile);
        asked.primaries = k.both_primaries.value_or(P::profile);
        asked.peak_luminance = 600.0;
        const DisplayChoice got =
            side_display(asked, k.both_transfer.has_value(), k.both_primaries.has_value(), k.own,
                         tagged(k.transfer_tag, k.primaries_tag));
        EXPECT_EQ(got.transfer, k.transfer) << k.name;
        EXPECT_EQ(got.primaries, k.primaries) << k.name;
        EXPECT_EQ(got.peak_luminance, 600.0) << k.name;  // the luminances serve both sides
    }
}

}  // namespace
}  // namespace orv
