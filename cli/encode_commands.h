#pragma once
// The encoder subcommands of orv-cli: `encode` (a sequence into BASE.mp4 and its decoded
// frames BASE_NNNN.bmp), `rd` (rate-distortion runs measured with S-CIELAB) and `bd` (the
// Bjøntegaard delta between saved rate-distortion curves).

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
    std::vector<std::vector<std::string>> bitstreams;  // one set per --bitstreams
    std::vector<std::string> labels;                   // the name of each set's curve
    EncodeSettings settings;
    RateOptions rate;
    std::string out;
    std::vector<std::string> files;
    std::vector<std::string> command;
    bool resume = false;  // keep the finished points of an interrupted run, measure the rest
    std::string metrics;  // "psnr", "ssim" or "psnr,ssim": pooled per point; empty: none
};

// `bd`: the Bjøntegaard delta between curves of saved rd.csv tables, each "FILE[:CODEC]".
struct BdOptions {
    std::string anchor;
    std::vector<std::string> tests;
};

struct EncodeCommands {
    CLI::App* encode = nullptr;
    CLI::App* rd = nullptr;
    CLI::App* bd = nullptr;
    EncodeOptions encode_options;
    RdOptions rd_options;
    BdOptions bd_options;
};

// Adds `encode`, `rd` and `bd` to the tool; `commands` must outlive the parse.
void add_encode_commands(CLI::App& app, EncodeCommands& commands);
// Runs whichever of them was given; empty when neither was.
std::optional<int> run_encode_commands(EncodeCommands& commands, int argc, char** argv,
                                       bool progress);

int run_encode(const EncodeOptions& options);
int run_rd(const RdOptions& options);
int run_bd(const BdOptions& options);

}  // namespace orv
