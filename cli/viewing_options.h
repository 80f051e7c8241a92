#pragma once
// The viewing options of `orv-cli diff`, `filter` and `rd`: --ppd, --display-width-cm with
// --display-width-pixels and --distance-cm, --distance-heights with --display-height-pixels,
// or --viewing NAME (scielab/viewing.h checks them and computes the pixel angle).

#include "scielab/viewing.h"

namespace CLI {
class App;
}

namespace orv {

void add_viewing_options(CLI::App& command, ViewingOptions& options);

// The checks that need no profile, at parse time: a refusal is a usage error (status 2),
// thrown as CLI::ValidationError.
void check_viewing_options(const ViewingOptions& options);

}  // namespace orv
