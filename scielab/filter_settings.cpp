#include "scielab/filter_settings.h"

#include <algorithm>
#include <fstream>

#include "colour/profile_files.h"
#include "numeric/failure.h"
#include "numeric/number_text.h"
#include "scielab/conditions.h"

namespace orv {

namespace {

// Where each filter's fields start in `filter_field_ids`, and how many components they show.
struct FieldGroup {
    std::size_t first;
    std::size_t components;
};
constexpr FieldGroup a_fields{0, 3};
constexpr FieldGroup t_fields{6, 2};
constexpr FieldGroup d_fields{10, 2};

// Four decimals with a decimal point, whatever the process locale is.
std::string format_value(double value) { return fixed_text(value, 4); }

void show_filter(const ChannelFilter& filter, FieldGroup group, FilterFieldTexts& fields) {
    for (std::size_t i = 0; i < group.components; ++i) {
        if (i < static_cast<std::size_t>(filter.count)) {
            fields.texts[group.first + i] = format_value(filter.spreads[i]);
            fields.texts[group.first + group.components + i] = format_value(filter.weights[i]);
        } else {
            fields.texts[group.first + i].clear();
            fields.texts[group.first + group.components + i].clear();
        }
    }
}

// An edit field holds at most 258 characters.
double field_value(const std::string& text) { return token_to_double(text.substr(0, 258)); }

void edit_filter(ChannelFilter& filter, FieldGroup group, const FilterFieldTexts& fields,
                 double sample_angle, std::ostream& trace) {
    if (filter.count < 1 || filter.spreads.size() != static_cast<std::size_t>(filter.count) ||
        filter.weights.size() != static_cast<std::size_t>(filter.count)) {
        raise_failure(FailureKind::filter_fields_not_loaded);
    }
    const std::size_t shown = std::min(group.components, static_cast<std::size_t>(filter.count));
    for (std::size_t i = 0; i < shown; ++i) {
        filter.spreads[i] = field_value(fields.texts[group.first + i]);
        filter.weights[i] = field_value(fields.texts[group.first + group.components + i]);
    }
    recompute_variances(filter, sample_angle);
    size_filter(filter, trace);
}

}  // namespace

const std::string* field_text(const FilterFieldTexts& fields, int id) {
    for (std::size_t i = 0; i < filter_field_ids.size(); ++i) {
        if (filter_field_ids[i] == id) return &fields.texts[i];
    }
    return nullptr;
}

std::string* field_text(FilterFieldTexts& fields, int id) {
    for (std::size_t i = 0; i < filter_field_ids.size(); ++i) {
        if (filter_field_ids[i] == id) return &fields.texts[i];
    }
    return nullptr;
}

FilterLoadOutcome load_filter_settings(AtdFilters& working, double sample_angle,
                                       const std::string& folder, std::ostream& trace) {
    FilterLoadOutcome outcome;
    {
        std::ifstream test(profile_file_path(folder, profile_file::kernel_a));
        if (!test) {
            outcome.folder_failure = Failure{FailureKind::profile_folder_wrong, folder, {}, {}};
            return outcome;
        }
    }
    working = read_kernel_files(folder, sample_angle, trace);
    show_filter(working.a, a_fields, outcome.fields);
    show_filter(working.t, t_fields, outcome.fields);
    show_filter(working.d, d_fields, outcome.fields);
    outcome.loaded = true;
    return outcome;
}

void apply_filter_settings(const FilterFieldTexts& fields, AtdFilters& working, double sample_angle,
                           std::ostream& trace) {
    AtdFilters edited = working;
    edit_filter(edited.a, a_fields, fields, sample_angle, trace);
    edit_filter(edited.t, t_fields, fields, sample_angle, trace);
    edit_filter(edited.d, d_fields, fields, sample_angle, trace);
    finish_filter_set(edited);
    working = std::move(edited);
}

}  // namespace orv
