#include "numeric/failure.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace orv {

namespace {

struct KindEntry {
    FailureKind kind;
    const char* name;
    const char* english;
};

constexpr KindEntry kind_entries[] = {
#define ORV_FAILURE_KIND_ENTRY(kind, english) {FailureKind::kind, #kind, english},
    ORV_FAILURE_KINDS(ORV_FAILURE_KIND_ENTRY)
#undef ORV_FAILURE_KIND_ENTRY
};

const KindEntry& entry_of(FailureKind kind) { return kind_entries[static_cast<std::size_t>(kind)]; }

}  // namespace

const std::vector<FailureKind>& all_failure_kinds() {
    static const std::vector<FailureKind> kinds = [] {
        std::vector<FailureKind> all;
        for (const KindEntry& e : kind_entries) all.push_back(e.kind);
        return all;
    }();
    return kinds;
}

const char* failure_kind_name(FailureKind kind) { return entry_of(kind).name; }

const char* failure_english_template(FailureKind kind) { return entry_of(kind).english; }

std::string fill_failure_template(const std::string& pattern, const Failure& failure,
                                  const std::string& filter_subject) {
    std::string text;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const std::size_t close = pattern[i] == '{' ? pattern.find('}', i) : std::string::npos;
        if (close == std::string::npos || close - i != 2) {
            text += pattern[i];
            continue;
        }
        const char key = pattern[i + 1];
        if (key == 'p') {
            text += failure.path;
        } else if (key == 'f') {
            text += filter_subject;
        } else if (key >= '0' && key <= '9') {
            const auto n = static_cast<std::size_t>(key - '0');
            if (n < failure.values.size()) text += failure.values[n];
        } else {
            text.append(pattern, i, 3);
        }
        i = close;
    }
    return text;
}

std::string failure_text(const Failure& failure) {
    const std::string subject =
        failure.path.empty() ? "the filter being sized" : "kernel file [" + failure.path + "]";
    std::string text =
        fill_failure_template(failure_english_template(failure.kind), failure, subject);
    if (!failure.reason.empty()) text += ": " + failure.reason;
    return text;
}

void raise_failure(FailureKind kind, std::string path, std::vector<std::string> values,
                   std::string reason) {
    throw Failure{kind, std::move(path), std::move(values), std::move(reason)};
}

std::string errno_text() { return std::strerror(errno); }

void raise_errno_failure(FailureKind kind, std::string path, std::vector<std::string> values) {
    std::string reason = errno_text();
    raise_failure(kind, std::move(path), std::move(values), std::move(reason));
}

}  // namespace orv
