#include "report/bd_table.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

#include "numeric/failure.h"
#include "numeric/number_text.h"
#include "report/html_report.h"

namespace orv {

namespace {

std::vector<RatePoint> points_of(const RdCurve& curve, std::size_t figure) {
    std::vector<RatePoint> points;
    for (std::size_t i = 0; i < curve.bitrates.size(); ++i) {
        points.push_back({curve.bitrates[i], curve.figures.at(figure).at(i)});
    }
    return points;
}

std::string cell(const BdValue& value) {
    return value.value ? fixed_text(*value.value, 6) : std::string();
}

std::vector<std::string> split_line(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, ',')) fields.push_back(field);
    if (!line.empty() && line.back() == ',') fields.emplace_back();
    return fields;
}

bool read_number(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end;
}

}  // namespace

std::vector<BdRow> bd_rows(const RdCurve& anchor, const std::vector<RdCurve>& tests,
                           const std::vector<std::string>& figure_names) {
    std::vector<BdRow> rows;
    for (const RdCurve& test : tests) {
        for (std::size_t f = 0; f < figure_names.size(); ++f) {
            const std::vector<RatePoint> a = points_of(anchor, f), t = points_of(test, f);
            rows.push_back({anchor.name, test.name, figure_names[f], bd_rate_percent(a, t),
                            bd_quality_delta(a, t)});
        }
    }
    return rows;
}

std::string bd_csv(const std::vector<BdRow>& rows) {
    std::string text = "anchor,test,metric,bd_rate_percent,bd_delta\n";
    for (const BdRow& r : rows) {
        text += r.anchor + "," + r.test + "," + r.figure + "," + cell(r.rate) + "," +
                cell(r.delta) + "\n";
    }
    return text;
}

std::vector<std::string> bd_warnings(const std::vector<BdRow>& rows) {
    std::vector<std::string> lines;
    for (const BdRow& r : rows) {
        const std::string head = r.anchor + " vs " + r.test + ", " + r.figure + ": ";
        if (!r.rate.value) lines.push_back(head + "BD-rate: " + r.rate.warning);
        if (!r.delta.value) lines.push_back(head + "BD-delta: " + r.delta.warning);
    }
    return lines;
}

std::string bd_html_table(const std::vector<BdRow>& rows) {
    std::string text =
        "<table>\n<tr><th>anchor</th><th>test</th><th>figure</th><th>BD-rate (%)</th>"
        "<th>BD-delta</th><th></th></tr>\n";
    for (const BdRow& r : rows) {
        std::string note = r.rate.warning;
        if (!r.delta.warning.empty() && r.delta.warning != note) {
            note += (note.empty() ? "" : "; ") + r.delta.warning;
        }
        text += "<tr><td>" + html_escaped(r.anchor) + "</td><td>" + html_escaped(r.test) +
                "</td><td>" + html_escaped(r.figure) + "</td><td class=\"n\">" +
                (r.rate.value ? fixed_text(*r.rate.value, 2) : std::string("–")) +
                "</td><td class=\"n\">" +
                (r.delta.value ? fixed_text(*r.delta.value, 4) : std::string("–")) +
                "</td><td class=\"small\">" + html_escaped(note) + "</td></tr>\n";
    }
    return text + "</table>\n";
}

std::vector<RdCurve> read_rd_curves(const std::string& path,
                                    const std::vector<std::string>& figure_names,
                                    std::vector<std::string>& present) {
    std::ifstream in(path, std::ios::binary);
    if (!in) raise_errno_failure(FailureKind::cannot_open, path);
    std::string line;
    if (!std::getline(in, line)) {
        raise_failure(FailureKind::rd_table_unreadable, path, {"it is empty"});
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::string> header = split_line(line);
    auto column = [&](const std::string& name) {
        const auto at = std::find(header.begin(), header.end(), name);
        return at == header.end() ? -1 : static_cast<int>(at - header.begin());
    };
    const int codec = column("codec"), bitrate = column("bitrate");
    if (codec < 0 || bitrate < 0) {
        raise_failure(FailureKind::rd_table_unreadable, path,
                      {"its header has no codec or no bitrate column"});
    }
    std::vector<int> columns;
    present.clear();
    for (const std::string& name : figure_names) {
        if (column(name) >= 0) {
            present.push_back(name);
            columns.push_back(column(name));
        }
    }
    std::vector<RdCurve> curves;
    for (int number = 2; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const std::vector<std::string> fields = split_line(line);
        if (fields.size() != header.size()) {
            raise_failure(
                FailureKind::rd_table_unreadable, path,
                {"line " + std::to_string(number) + " has " + std::to_string(fields.size()) +
                 " fields, the header " + std::to_string(header.size())});
        }
        const std::string& name = fields[static_cast<std::size_t>(codec)];
        auto curve = std::find_if(curves.begin(), curves.end(),
                                  [&](const RdCurve& c) { return c.name == name; });
        if (curve == curves.end()) {
            curves.push_back({name, {}, std::vector<std::vector<double>>(columns.size())});
            curve = curves.end() - 1;
        }
        auto number_at = [&](int c) {
            double value = 0.0;
            const std::string& text = fields[static_cast<std::size_t>(c)];
            if (!read_number(text, value)) {
                raise_failure(
                    FailureKind::rd_table_unreadable, path,
                    {"line " + std::to_string(number) + ": \"" + text + "\" is not a number"});
            }
            return value;
        };
        curve->bitrates.push_back(number_at(bitrate));
        for (std::size_t f = 0; f < columns.size(); ++f) {
            curve->figures[f].push_back(number_at(columns[f]));
        }
    }
    return curves;
}

}  // namespace orv
