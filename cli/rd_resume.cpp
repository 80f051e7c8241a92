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

}  // namespace

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
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    const json record = json::parse(text.str(), nullptr, false);
    if (record.is_discarded() || !record.is_object()) return std::nullopt;
    try {
        if (record.at("settings") != settings_json(settings)) return std::nullopt;
        RdPoint point;
        point.settings = settings;
        point.encoder = record.at("encoder").get<std::string>();
        point.stream_bytes = record.at("stream_bytes").get<long long>();
        point.file_bytes = record.at("file_bytes").get<long long>();
        point.bitrate = record.at("bitrate").get<double>();
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
