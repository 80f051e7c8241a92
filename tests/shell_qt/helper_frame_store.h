#pragma once
// The desktop program's frame store as a freshly started program has it: the bundled profile
// and its filter set, ready for a main window.

#include "shell/frame_store.h"

namespace orv::test {

// Resets `store`, starts it on the bundled profile and loads that profile's filter set.
void start_with_default_profile(FrameStore& store);

}  // namespace orv::test
