#pragma once
// The encoder subcommands of orv-cli: `encode` (a sequence into BASE.mp4 and its decoded
// frames BASE_NNNN.bmp) and `rd` (rate-distortion runs measured with S-CIELAB).

#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "encode/encoder.h"

namespace CLI {
class App;
}

namespace orv {

// Rate control as typed: exactly one of the three lists is given (one value for `encode`).
struct RateOptions {
    std::vector<double> crf;
    std::vector<double> qp;
    std::vector<std::string> bitrate;
};

struct EncodeOptions {
    EncodeSettings settings;  // codec and everything but the rate value
    RateOptions rate;
    std::string out;
    std::vector<std::string> files;
    bool progress = false;
};

struct RdOptions {
    CommonOptions common;
    std::vector<std::string> codecs;
    EncodeSettings settings;
    RateOptions rate;
    std::string out;
    std::vector<std::string> files;
    std::vector<std::string> command;
    bool resume = false;  // keep the finished points of an interrupted run, measure the rest
};

struct EncodeCommands {
    CLI::App* encode = nullptr;
    CLI::App* rd = nullptr;
    EncodeOptions encode_options;
    RdOptions rd_options;
};

// Adds `encode` and `rd` to the tool; `commands` must outlive the parse.
void add_encode_commands(CLI::App& app, EncodeCommands& commands);
// Runs whichever of the two was given; empty when neither was.
std::optional<int> run_encode_commands(EncodeCommands& commands, int argc, char** argv,
                                       bool progress);

int run_encode(const EncodeOptions& options);
int run_rd(const RdOptions& options);

}  // namespace orv
