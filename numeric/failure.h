#pragma once
// Failures travel as data from the library code up to the face that started the work: what
// failed (a kind), the path and values involved, and the system's reason where it gave one.
// orv-cli and Python show failure_text (English); the GUI shows its own text for the kind.

#include <string>
#include <vector>

#include "numeric/failure_kinds.h"

namespace orv {

enum class FailureKind {
#define ORV_FAILURE_KIND_NAME(kind, english) kind,
    ORV_FAILURE_KINDS(ORV_FAILURE_KIND_NAME)
#undef ORV_FAILURE_KIND_NAME
};

struct Failure {
    FailureKind kind = FailureKind::out_of_memory;
    std::string path;                 // the file or folder involved, if any
    std::vector<std::string> values;  // the other values of the text, in order
    std::string reason;               // the system's reason (strerror, a library's text)
};

// Every kind, in declaration order.
const std::vector<FailureKind>& all_failure_kinds();

// The kind's name in code ("cannot_write").
const char* failure_kind_name(FailureKind kind);

// The English text template of the kind (see failure_kinds.h).
const char* failure_english_template(FailureKind kind);

// Fills a text template with the failure's path and values: {p}, {0} ... {9}, and {f} as
// `filter_subject` gives it. Shared by the English text and the GUI's texts.
std::string fill_failure_template(const std::string& pattern, const Failure& failure,
                                  const std::string& filter_subject);

// The one English line orv-cli and Python show: the kind's text with its path and values,
// then ": " and the system's reason where there is one.
std::string failure_text(const Failure& failure);

[[noreturn]] void raise_failure(FailureKind kind, std::string path = {},
                                std::vector<std::string> values = {}, std::string reason = {});

// The same with the text of errno as the reason.
[[noreturn]] void raise_errno_failure(FailureKind kind, std::string path,
                                      std::vector<std::string> values = {});

// The text of errno, read at once (strerror).
std::string errno_text();

}  // namespace orv
