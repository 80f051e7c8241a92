#include "measure/reference_store.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "measure/sequence_runner.h"
#include "measure/statistics.h"
#include "scielab/grey_picture.h"

namespace orv {

namespace {

// Values appended as their bytes, so that equal fingerprints mean equal values to the bit.
struct Bytes {
    std::string text;

    void add(const void* data, std::size_t size) {
        text.append(static_cast<const char*>(data), size);
    }
    void number(double v) { add(&v, sizeof v); }
    void number(int v) { add(&v, sizeof v); }
    void numbers(const double* v, std::size_t count) { add(v, count * sizeof(double)); }
    void numbers(const std::vector<double>& v) {
        number(static_cast<int>(v.size()));
        numbers(v.data(), v.size());
    }
    void words(const std::string& s) {
        number(static_cast<int>(s.size()));
        text += s;
    }
    void optional(const std::optional<double>& v) {
        number(v.has_value() ? 1 : 0);
        number(v.value_or(0.0));
    }
    void matrix(const Matrix3& m) { numbers(m.data(), m.size()); }
    void filter(const ChannelFilter& f) {
        number(f.half_width);
        number(f.length);
        numbers(f.kernel);
        numbers(f.response);
    }
};

}  // namespace

std::string reference_fingerprint(const MeasurementConditions& conditions) {
    const ColourModel& c = conditions.colour;
    Bytes b;
    b.words(c.folder);
    for (const GogChannel& g : {c.display_model.red, c.display_model.green, c.display_model.blue}) {
        b.number(g.gain);
        b.number(g.offset);
        b.number(g.gamma);
    }
    for (const Matrix3* m : {&c.rgb_to_xyz, &c.xyz_to_lms, &c.lms_to_atd, &c.rgb_to_atd,
                             &c.atd_to_rgb, &c.atd_to_xyz, &c.xyz_to_bt2020}) {
        b.matrix(*m);
    }
    for (const auto& channel : c.display_table) b.numbers(channel.data(), channel.size());
    b.number(static_cast<int>(c.display.transfer));
    b.number(static_cast<int>(c.display.primaries));
    b.optional(c.display.white_luminance);
    b.optional(c.display.black_luminance);
    b.optional(c.display.peak_luminance);
    b.number(static_cast<int>(c.transfer.transfer));
    for (double v : {c.transfer.white, c.transfer.bt1886_a, c.transfer.bt1886_b, c.transfer.peak,
                     c.transfer.hlg_gamma}) {
        b.number(v);
    }
    b.filter(conditions.filters.a);
    b.filter(conditions.filters.t);
    b.filter(conditions.filters.d);
    b.number(conditions.sample_angle);
    b.number(conditions.viewing.pixel_angle_degrees);
    // The formulas other than ΔE ITP all compare CIELAB coordinates.
    b.number(conditions.formula == DeltaEFormula::itp ? 1 : 0);
    return std::move(b.text);
}

std::size_t reference_bytes(const ReferenceColours& colours) {
    std::size_t bytes = 0;
    for (const std::vector<double>& block : colours.blocks) bytes += block.size() * sizeof(double);
    return bytes;
}

void begin_reference_run(ReferenceStore& store, long long generation,
                         const MeasurementConditions& conditions) {
    std::string fingerprint = reference_fingerprint(conditions);
    std::lock_guard lock(store.mutex);
    if (!store.keyed || store.generation != generation || store.fingerprint != fingerprint) {
        store.entries.clear();
        store.bytes = 0;
        store.keyed = true;
        store.generation = generation;
        store.fingerprint = std::move(fingerprint);
    }
    ++store.run;
}

void clear_reference_store(ReferenceStore& store) {
    std::lock_guard lock(store.mutex);
    store.entries.clear();
    store.bytes = 0;
    store.keyed = false;
    store.fingerprint.clear();
}

std::shared_ptr<const ReferenceColours> find_reference(ReferenceStore& store, int frame) {
    std::lock_guard lock(store.mutex);
    for (ReferenceStore::Entry& entry : store.entries) {
        if (entry.frame != frame) continue;
        entry.used = store.run;
        ++store.hits;
        return entry.colours;
    }
    ++store.misses;
    return nullptr;
}

bool hold_reference(ReferenceStore& store, int frame) {
    std::lock_guard lock(store.mutex);
    for (ReferenceStore::Entry& entry : store.entries) {
        if (entry.frame != frame) continue;
        entry.used = store.run;
        return true;
    }
    return false;
}

bool keep_reference(ReferenceStore& store, int frame,
                    std::shared_ptr<const ReferenceColours> colours) {
    const std::size_t bytes = reference_bytes(*colours);
    std::lock_guard lock(store.mutex);
    if (bytes > store.budget) return false;
    const auto same = [frame](const ReferenceStore::Entry& e) { return e.frame == frame; };
    if (std::any_of(store.entries.begin(), store.entries.end(), same)) return false;
    while (store.bytes + bytes > store.budget) {
        // The entry unused for longest (the earliest kept among equals), never this run's.
        auto oldest = store.entries.end();
        for (auto it = store.entries.begin(); it != store.entries.end(); ++it) {
            if (it->used < store.run && (oldest == store.entries.end() || it->used < oldest->used))
                oldest = it;
        }
        if (oldest == store.entries.end()) return false;
        store.bytes -= oldest->bytes;
        store.entries.erase(oldest);
    }
    store.entries.push_back({frame, std::move(colours), bytes, store.run});
    store.bytes += bytes;
    return true;
}

PairResult measure_pair_reusing(ReferenceStore& store, int frame, const PixelBuffer& reference,
                                const PixelBuffer& degraded,
                                const MeasurementConditions& conditions,
                                std::span<const double> thresholds, bool grey,
                                const SignalFrame* reference_signal,
                                const SignalFrame* degraded_signal) {
    std::shared_ptr<const ReferenceColours> colours = find_reference(store, frame);
    if (!colours) {
        auto made = std::make_shared<ReferenceColours>(
            reference_colours(reference, conditions, reference_signal));
        colours = made;
        keep_reference(store, frame, std::move(made));
    }
    PairResult result;
    result.map = difference_map_against(*colours, degraded, conditions, degraded_signal);
    colours.reset();
    result.statistics = frame_statistics(result.map, thresholds);
    if (grey) result.grey = map_grey_picture(result.map);
    return result;
}

}  // namespace orv
