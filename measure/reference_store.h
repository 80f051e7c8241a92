#pragma once
// Reference coordinates kept from one run to the next: the desktop program measures the same
// reference sequence against one degraded version, then against another, and the reference
// frames' coordinates (scielab/pipeline.h, ReferenceColours) made by the first run serve the
// next one without filtering those frames again. An entry is used only when it is certainly
// valid: it is keyed by the reference frame's number, and the whole store by the reference
// sequence's generation (which its owner bumps whenever the sequence or its pixels change) and
// by everything the coordinates were computed from (reference_fingerprint). A run with another
// key empties the store first. Memory is bounded by a byte budget.

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "image/pixel_buffer.h"
#include "image/signal_frame.h"
#include "scielab/conditions.h"
#include "scielab/pipeline.h"

namespace orv {

struct PairResult;  // measure/sequence_runner.h

// Every value of the conditions a reference frame's coordinates depend on, as bytes: the
// profile folder and its colour model (display model, matrices, display table, display
// choice, luminances and transfer), the filters, the sample and pixel angles, and the
// coordinates' family (ICtCp for ΔE ITP, CIELAB for the other formulas). Equal fingerprints
// make equal coordinates of equal frames.
std::string reference_fingerprint(const MeasurementConditions& conditions);

// The bytes a reference frame's coordinates hold.
std::size_t reference_bytes(const ReferenceColours& colours);

// The coordinates kept, and how often they served. Shared by the run's threads (each call
// below takes the store's lock).
struct ReferenceStore {
    // At most this many bytes of coordinates are kept: five full-HD frames by default, never
    // the whole of a long video.
    std::size_t budget = std::size_t{256} << 20;

    struct Entry {
        int frame = 0;
        std::shared_ptr<const ReferenceColours> colours;
        std::size_t bytes = 0;
        long long used = 0;  // the last run that made or used the entry
    };

    std::mutex mutex;
    bool keyed = false;
    long long generation = 0;
    std::string fingerprint;
    long long run = 0;           // runs begun, this one included
    std::vector<Entry> entries;  // oldest use first
    std::size_t bytes = 0;
    // Pairs measured against kept coordinates, and reference frames filtered, since the store
    // was made.
    long long hits = 0;
    long long misses = 0;
};

// What a run gives to reuse the coordinates of a store: the store (none: nothing is kept), the
// reference sequence's generation, and the number the store knows the run's reference frame
// `index` by (empty: the index itself; the desktop program gives the frame's slot).
struct ReferenceReuse {
    ReferenceStore* store = nullptr;
    long long generation = 0;
    std::function<int(int index)> frame_key;
};

// Starts a run on the store with its conditions: a store kept for another generation or other
// conditions is emptied first.
void begin_reference_run(ReferenceStore& store, long long generation,
                         const MeasurementConditions& conditions);

// Drops every entry (the reference changed); the counts stay.
void clear_reference_store(ReferenceStore& store);

// The coordinates kept for `frame`, counted as a hit (marked used by this run); null (counted as
// a miss) when there are none.
std::shared_ptr<const ReferenceColours> find_reference(ReferenceStore& store, int frame);

// Whether coordinates of `frame` are kept, marking them used by the run (not counted): no
// keep of the run drops them, so that the run's find_reference for `frame` gets them. For a
// reader that need not read what the coordinates were made from (a frame's exact values).
bool hold_reference(ReferenceStore& store, int frame);

// Keeps the coordinates of `frame` when they fit in the budget. Room is made by dropping the
// entries no run has used for longest, but never one this run made or used: a run over more
// frames than fit keeps its first ones (the ones a repeated run asks for first) and passes the
// rest. Returns whether the coordinates are kept (false as well when `frame` already is).
bool keep_reference(ReferenceStore& store, int frame,
                    std::shared_ptr<const ReferenceColours> colours);

// One pair measured through the store: against the kept coordinates of reference frame
// `frame` when there are some, else the reference's coordinates are made, kept (within the
// budget) and measured against. The results are those measure_pair gives, bit for bit; the
// store must have begun a run with `conditions`.
PairResult measure_pair_reusing(ReferenceStore& store, int frame, const PixelBuffer& reference,
                                const PixelBuffer& degraded,
                                const MeasurementConditions& conditions,
                                std::span<const double> thresholds, bool grey,
                                const SignalFrame* reference_signal = nullptr,
                                const SignalFrame* degraded_signal = nullptr);

}  // namespace orv
