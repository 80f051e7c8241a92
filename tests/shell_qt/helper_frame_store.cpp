#include "tests/shell_qt/helper_frame_store.h"

#include <sstream>

#include "measure/inputs.h"

namespace orv::test {

void start_with_default_profile(FrameStore& store) {
    reset_frame_store(store);
    start_frame_store(store, ORV_DEFAULT_PROFILE);
    std::ostringstream trace;
    store.atd_filters = load_atd_filters(ORV_DEFAULT_PROFILE, 1, trace);
    store.atd_filter_set = 1;
}

}  // namespace orv::test
