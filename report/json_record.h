#pragma once
// The JSON record of a measured sequence (schema: report/run_record.schema.json). Numbers are
// written by nlohmann-json, independently of the process locale; a value that is not finite
// is written as null.

#include <nlohmann/json.hpp>
#include <string>

#include "report/run_record.h"

namespace orv {

constexpr int json_schema_version = 1;

nlohmann::ordered_json run_json(const RunRecord& run);

// The document as text, indented by two blanks, ending with a line end.
std::string run_json_text(const RunRecord& run);

}  // namespace orv
