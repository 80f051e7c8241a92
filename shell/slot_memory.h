#pragma once
// What backs the frame store's buffers, and whether the machine can hold a load or a run.
//
// With a spill folder set (image/spill_memory.h), every buffer a load or a run keeps in a slot
// is moved into an unlinked temporary file mapped into memory, and the pages of slots not on
// screen are given back, so resident memory does not grow with the number of frames. Before a
// load or run, its needs (temporary disk for the kept buffers, memory for the frames being
// worked on) are compared with what the machine has; a refusal names both.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "shell/frame_store.h"
#include "shell/platform.h"

namespace orv {

// Moves a buffer just stored in a slot into the temporary file (nothing without a spill
// folder) and gives its resident pages back.
void keep_in_store(PixelBuffer& pixels);
void keep_in_store(InterleavedImage& result);

// Calls `visit(block, bytes)` for every non-empty buffer of `slot`: the reference, degraded,
// filtered and grey pictures and the difference values (out-of-range slots: none).
void for_each_slot_buffer(const FrameStore& store, int slot,
                          const std::function<void(const void* block, std::size_t bytes)>& visit);

// Gives back the resident pages of every buffer of `slot` (out-of-range slots: nothing).
void drop_slot_pages(const FrameStore& store, int slot);
// Gives back the resident pages of every buffer of `slot` and takes their written pages out
// of the page cache (image/spill_memory.h, release_pages): stepping reuses the memory of the
// frame it leaves for the frames it reads next, so the page cache does not grow with every
// frame shown.
void release_slot_pages(const FrameStore& store, int slot);

// Free room of the machine now: available memory and free temporary disk (0 without a spill
// folder).
MachineRoom measure_machine_room();

// What a load or run needs: bytes of buffers it keeps, and bytes of working memory.
struct RoomNeed {
    std::uint64_t kept = 0;
    std::uint64_t working = 0;
    std::uint64_t released = 0;  // bytes of buffers it replaces (given back as it goes)
};

RoomNeed load_need(const FrameStore& store, const std::vector<std::string>& paths, bool reference);
RoomNeed noise_need(const FrameStore& store);
RoomNeed scielab_need(const FrameStore& store);
RoomNeed difference_need(const FrameStore& store);

// True when the machine can hold `need`; otherwise shows the refusal (owned by `owner`) with
// the bytes needed and free, and returns false. Always true when the platform cannot tell
// its room.
bool check_room(Platform& platform, Window owner, const RoomNeed& need);

// The refusal text for `need` against `room`.
std::string no_room_text(const RoomNeed& need, const MachineRoom& room, bool spilling);

inline constexpr const char* no_room_caption = "CAUTION !!";

}  // namespace orv
