// orv-cli bd: the Bjøntegaard delta between curves of saved rate-distortion tables.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "cli/encode_commands.h"
#include "numeric/failure.h"
#include "report/bd_table.h"

namespace orv {

namespace {

struct CurveChoice {
    std::string path;
    std::string name;  // empty: chosen by the caller
};

// "FILE" when such a file exists, else "FILE:CODEC" split at the last colon.
CurveChoice parse_choice(const std::string& text) {
    std::error_code error;
    const std::size_t colon = text.rfind(':');
    if (std::filesystem::is_regular_file(text, error) || colon == std::string::npos) {
        return {text, {}};
    }
    return {text.substr(0, colon), text.substr(colon + 1)};
}

const RdCurve& named_curve(const std::vector<RdCurve>& curves, const CurveChoice& choice) {
    for (const RdCurve& c : curves) {
        if (c.name == choice.name) return c;
    }
    raise_failure(FailureKind::rd_curve_missing, choice.path, {choice.name});
}

}  // namespace

int run_bd(const BdOptions& options) {
    const std::vector<std::string> wanted = {"mean", "p95", "psnr_y"};
    const CurveChoice anchor_choice = parse_choice(options.anchor);
    std::vector<std::string> names;
    const std::vector<RdCurve> anchor_table = read_rd_curves(anchor_choice.path, wanted, names);
    if (anchor_table.empty()) {
        raise_failure(FailureKind::rd_table_unreadable, anchor_choice.path, {"it has no rows"});
    }
    const RdCurve anchor = anchor_choice.name.empty() ? anchor_table.front()
                                                      : named_curve(anchor_table, anchor_choice);

    // Each test with the names of its table's figures; only the figures every table has
    // are compared.
    std::vector<std::pair<RdCurve, std::vector<std::string>>> tests;
    std::vector<std::string> common = names;
    for (const std::string& text : options.tests) {
        const CurveChoice choice = parse_choice(text);
        std::vector<std::string> present;
        const std::vector<RdCurve> table = read_rd_curves(choice.path, wanted, present);
        std::erase_if(common, [&](const std::string& n) {
            return std::find(present.begin(), present.end(), n) == present.end();
        });
        if (!choice.name.empty()) {
            tests.emplace_back(named_curve(table, choice), present);
            continue;
        }
        std::error_code error;
        const bool same_table = std::filesystem::equivalent(choice.path, anchor_choice.path, error);
        for (const RdCurve& c : table) {
            if (!(same_table && c.name == anchor.name)) tests.emplace_back(c, present);
        }
    }
    auto keep_common = [&](const RdCurve& curve, const std::vector<std::string>& own) {
        RdCurve kept{curve.name, curve.bitrates, {}};
        for (const std::string& n : common) {
            const auto at = std::find(own.begin(), own.end(), n) - own.begin();
            kept.figures.push_back(curve.figures[static_cast<std::size_t>(at)]);
        }
        return kept;
    };
    std::vector<RdCurve> compared;
    for (const auto& [curve, own] : tests) compared.push_back(keep_common(curve, own));
    const std::vector<BdRow> rows = bd_rows(keep_common(anchor, names), compared, common);
    std::fputs(bd_csv(rows).c_str(), stdout);
    for (const std::string& line : bd_warnings(rows)) {
        std::fprintf(stderr, "warning: %s\n", line.c_str());
    }
    return 0;
}

}  // namespace orv
