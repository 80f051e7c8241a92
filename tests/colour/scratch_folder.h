#pragma once
// A private temporary folder for profile files, removed with its contents at the end.

#include "tests/support/temp_folder.h"

namespace orv::colour_test {

using ScratchFolder = test::TempFolder;

}  // namespace orv::colour_test
