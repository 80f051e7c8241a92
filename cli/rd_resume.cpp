#include "cli/rd_resume.h"

#include <csignal>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace orv {

namespace {

using nlohmann::json;

volatile std::sig_atomic_t noted_signal = 0;

extern "C" void note_signal(int signal) {
    noted_signal = signal;
    std::signal(signal, SIG_DFL);
}

json settings_json(const EncodeSettings& s) {
    return {{"codec", s.codec},     {"setting", setting_label(s)},
            {"preset", s.preset},   {"gop", s.gop},
            {"pix_fmt", s.pix_fmt}, {"fps", s.fps},
            {"matrix", s.matrix},   {"range", s.range}};
}

// The text of a file, or nothing when it cannot be read as a JSON object.
std::optional<json> read_record(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    json record = json::parse(text.str(), nullptr, false);
    if (record.is_discarded() || !record.is_object()) return std::nullopt;
    return record;
}

// The encode's part of a point's record.
void read_encode(const json& record, RdPoint& point) {
    point.encoder = record.at("encoder").get<std::string>();
    point.stream_bytes = record.at("stream_bytes").get<long long>();
    point.file_bytes = record.at("file_bytes").get<long long>();
    point.bitrate = record.at("bitrate").get<double>();
}

}  // namespace

std::string rd_encoded_text(const RdPoint& point, const std::vector<CodedFrame>& coded) {
    json frames = json::array();
    for (const CodedFrame& f : coded) {
        frames.push_back(
            {{"index", f.index}, {"type", std::string(1, f.type)}, {"bytes", f.bytes}});
    }
    const json record = {{"state", "encoded"},
                         {"settings", settings_json(point.settings)},
                         {"encoder", point.encoder},
                         {"stream_bytes", point.stream_bytes},
                         {"file_bytes", point.file_bytes},
                         {"bitrate", point.bitrate},
                         {"coded", frames}};
    return record.dump(1) + "\n";
}

std::optional<EncodedPoint> read_rd_encoded(const std::string& path,
                                            const EncodeSettings& settings) {
    const std::optional<json> record = read_record(path);
    if (!record) return std::nullopt;
    try {
        if (record->value("state", "") != "encoded") return std::nullopt;
        if (record->at("settings") != settings_json(settings)) return std::nullopt;
        EncodedPoint encoded;
        encoded.point.settings = settings;
        read_encode(*record, encoded.point);
        for (const json& f : record->at("coded")) {
            CodedFrame frame;
            frame.index = f.at("index").get<int>();
            const std::string type = f.at("type").get<std::string>();
            frame.type = type.empty() ? '?' : type[0];
            frame.bytes = f.at("bytes").get<long long>();
            encoded.coded.push_back(frame);
        }
        return encoded;
    } catch (const json::exception&) {
        return std::nullopt;
    }
}

std::string rd_point_text(const RdPoint& point, int width, int height) {
    json frames = json::array();
    for (const RdFrame& f : point.frames) {
        frames.push_back({{"index", f.coded.index},
                          {"type", std::string(1, f.coded.type)},
                          {"bytes", f.coded.bytes},
                          {"mean", f.mean},
                          {"max", f.max}});
    }
    json record = {{"settings", settings_json(point.settings)},
                   {"encoder", point.encoder},
                   {"stream_bytes", point.stream_bytes},
                   {"file_bytes", point.file_bytes},
                   {"bitrate", point.bitrate},
                   {"width", width},
                   {"height", height},
                   {"pooled",
                    {{"mean", point.pooled.mean},
                     {"median", point.pooled.median},
                     {"p95", point.pooled.p95},
                     {"max", point.pooled.max}}},
                   {"frames", frames}};
    if (!point.metric_columns.empty()) {
        record["metrics"] = {{"planes", point.metric_planes},
                             {"columns", point.metric_columns},
                             {"values", point.metrics}};
    }
    return record.dump(1) + "\n";
}

std::optional<RdPoint> read_rd_point(const std::string& path, const EncodeSettings& settings,
                                     int& width, int& height) {
    const std::optional<json> read = read_record(path);
    if (!read) return std::nullopt;
    const json& record = *read;
    try {
        if (record.contains("state")) return std::nullopt;  // an encode not yet measured
        if (record.at("settings") != settings_json(settings)) return std::nullopt;
        RdPoint point;
        point.settings = settings;
        read_encode(record, point);
        const json& pooled = record.at("pooled");
        point.pooled = {pooled.at("mean").get<double>(), pooled.at("median").get<double>(),
                        pooled.at("p95").get<double>(), pooled.at("max").get<double>()};
        for (const json& f : record.at("frames")) {
            RdFrame frame;
            frame.coded.index = f.at("index").get<int>();
            const std::string type = f.at("type").get<std::string>();
            frame.coded.type = type.empty() ? '?' : type[0];
            frame.coded.bytes = f.at("bytes").get<long long>();
            frame.mean = f.at("mean").get<double>();
            frame.max = f.at("max").get<double>();
            point.frames.push_back(frame);
        }
        if (record.contains("metrics")) {
            const json& m = record.at("metrics");
            point.metric_planes = m.at("planes").get<std::string>();
            point.metric_columns = m.at("columns").get<std::vector<std::string>>();
            point.metrics = m.at("values").get<std::vector<double>>();
        }
        width = record.at("width").get<int>();
        height = record.at("height").get<int>();
        return point;
    } catch (const json::exception&) {
        return std::nullopt;
    }
}

void catch_interruptions() {
    std::signal(SIGINT, note_signal);
    std::signal(SIGTERM, note_signal);
}

void stop_if_interrupted() {
    if (noted_signal != 0) throw Interrupted{};
}

}  // namespace orv
