#include "measure/display_tags.h"

#include <optional>
#include <string>

namespace orv {

namespace {

std::optional<DisplayTransfer> tagged_transfer(const std::string& tag) {
    if (tag == "smpte2084") return DisplayTransfer::pq;
    if (tag == "arib-std-b67") return DisplayTransfer::hlg;
    return std::nullopt;
}

std::optional<DisplayPrimaries> tagged_primaries(const std::string& tag) {
    if (tag == "bt2020") return DisplayPrimaries::bt2020;
    return std::nullopt;
}

}  // namespace

DisplayChoice display_from_stream_tags(DisplayChoice asked, bool transfer_given,
                                       bool primaries_given, const std::vector<StreamTags>& tags) {
    std::optional<DisplayTransfer> transfer;
    std::optional<DisplayPrimaries> primaries;
    for (const StreamTags& t : tags) {
        if (!transfer) transfer = tagged_transfer(t.transfer);
        if (!primaries) primaries = tagged_primaries(t.primaries);
    }
    if (!transfer_given && transfer) asked.transfer = *transfer;
    if (!primaries_given && primaries) asked.primaries = *primaries;
    return asked;
}

DisplayChoice display_from_tags(DisplayChoice asked, bool transfer_given, bool primaries_given,
                                const MediaSequence& first, const MediaSequence& second) {
    std::vector<StreamTags> tags;
    for (const MediaSequence* sequence : {&first, &second}) {
        for (const SequenceEntry& entry : sequence->entries) {
            tags.push_back({entry.transfer_tag, entry.primaries_tag});
        }
    }
    return display_from_stream_tags(asked, transfer_given, primaries_given, tags);
}

DisplayChoice with_side_options(DisplayChoice asked, const SideDisplayOptions& own) {
    if (own.transfer) asked.transfer = *own.transfer;
    if (own.primaries) asked.primaries = *own.primaries;
    return asked;
}

DisplayChoice side_display(const DisplayChoice& asked, bool transfer_given, bool primaries_given,
                           const SideDisplayOptions& own, const MediaSequence& sequence) {
    std::vector<StreamTags> tags;
    for (const SequenceEntry& entry : sequence.entries) {
        tags.push_back({entry.transfer_tag, entry.primaries_tag});
    }
    return display_from_stream_tags(with_side_options(asked, own),
                                    transfer_given || own.transfer.has_value(),
                                    primaries_given || own.primaries.has_value(), tags);
}

}  // namespace orv
