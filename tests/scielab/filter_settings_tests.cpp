#include <clocale>
#include <gtest/gtest.h>
#include <limits>
#include <sstream>
#include <string>

#include "colour/profile_files.h"
#include "numeric/failure.h"
#include "numeric/number_text.h"
#include "scielab/filter_settings.h"
#include "scielab/pipeline.h"
#include "tests/scielab/scielab_fixture.h"
#include "tests/support/pipeline_calls.h"

namespace orv {
namespace {

using scielab_test::ScratchFolder;

void expect_same_set(const AtdFilters& x, const AtdFilters& y) {
    const ChannelFilter* xs[3] = {&x.a, &x.t, &x.d};
    const ChannelFilter* ys[3] = {&y.a, &y.t, &y.d};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(xs[i]->count, ys[i]->count);
        EXPECT_EQ(xs[i]->spreads, ys[i]->spreads);
        EXPECT_EQ(xs[i]->weights, ys[i]->weights);
        EXPECT_EQ(xs[i]->variances, ys[i]->variances);
        EXPECT_EQ(xs[i]->half_width, ys[i]->half_width);
        EXPECT_EQ(xs[i]->kernel, ys[i]->kernel);
        EXPECT_EQ(xs[i]->response, ys[i]->response);
    }
}

TEST(FilterSettings, LoadShowsFourDecimalsAndApplyWithoutEditsFinishesTheFileSet) {
    ScratchFolder dir;
    scielab_test::write_profile(dir);
    std::ostringstream trace;
    AtdFilters working;
    const FilterLoadOutcome outcome =
        load_filter_settings(working, kernel_sample_angle, dir.folder(), trace);
    ASSERT_TRUE(outcome.loaded);
    const char* expected[14] = {"0.0500",  "0.2250", "1.0000", "1.0033", "0.1144",
                                "-0.1177", "0.0685", "0.8260", "0.6167", "0.3833",
                                "0.0920",  "0.6451", "0.5679", "0.4321"};
    for (int i = 0; i < 14; ++i)
        EXPECT_EQ(outcome.fields.texts[static_cast<std::size_t>(i)], expected[i]) << i;
    EXPECT_EQ(*field_text(outcome.fields, 1017), "-0.1177");
    EXPECT_EQ(*field_text(outcome.fields, 1025), "0.4321");
    EXPECT_EQ(field_text(outcome.fields, 1011), nullptr);
    EXPECT_FALSE(filter_set_finished(working));  // loaded, sized, no responses yet
    EXPECT_EQ(working.a.weights[0], 1.00327);    // full file values until applied

    // Files whose values have at most four decimals come back unchanged through the fields.
    dir.write("kernel_L.txt", "L x 3 s 0.05 0.225 1.0 w 1.0033 0.1144 -0.1177");
    dir.write("kernel_RG.txt", "RG x 2 s 0.0685 0.826 w 0.6167 0.3833");
    dir.write("kernel_BY.txt", "BY x 2 s 0.092 0.6451 w 0.5679 0.4321");
    AtdFilters reloaded;
    const FilterLoadOutcome again =
        load_filter_settings(reloaded, kernel_sample_angle, dir.folder(), trace);
    AtdFilters direct = reloaded;
    finish_filter_set(direct);
    apply_filter_settings(again.fields, reloaded, kernel_sample_angle, trace);
    expect_same_set(reloaded, direct);
}

TEST(FilterSettings, MissingLuminanceFileIsAFolderErrorAndChangesNothing) {
    ScratchFolder dir;
    AtdFilters working = scielab_test::finished_filters();
    const AtdFilters before = working;
    std::ostringstream trace;
    const FilterLoadOutcome outcome =
        load_filter_settings(working, kernel_sample_angle, dir.folder(), trace);
    EXPECT_FALSE(outcome.loaded);
    EXPECT_EQ(outcome.folder_failure.kind, FailureKind::profile_folder_wrong);
    expect_same_set(working, before);
    EXPECT_EQ(trace.str(), "");
}

TEST(FilterSettings, MissingOtherFileRaisesTheOpenFailureAndChangesNothing) {
    for (const char* missing : {"kernel_RG.txt", "kernel_BY.txt"}) {
        ScratchFolder dir;
        scielab_test::write_profile(dir);
        std::filesystem::remove(dir.path / missing);
        AtdFilters working = scielab_test::finished_filters();
        const AtdFilters before = working;
        std::ostringstream trace;
        try {
            load_filter_settings(working, kernel_sample_angle, dir.folder(), trace);
            ADD_FAILURE() << "no failure for missing " << missing;
        } catch (const Failure& f) {
            EXPECT_EQ(orv::failure_text(f), "Error: file open [" + dir.file(missing) + "].");
        }
        expect_same_set(working, before);
    }
}

TEST(FilterSettings, EditingASpreadResizesTheSet) {
    ScratchFolder dir;
    scielab_test::write_profile(dir);
    std::ostringstream trace;
    AtdFilters working;
    FilterLoadOutcome outcome =
        load_filter_settings(working, kernel_sample_angle, dir.folder(), trace);
    *field_text(outcome.fields, 1014) = "2.0";          // A's widest spread
    *field_text(outcome.fields, 1019) = "0.333333abc";  // leading-number conversion
    *field_text(outcome.fields, 1024) = "weight";       // no number: 0
    trace.str("");
    apply_filter_settings(outcome.fields, working, kernel_sample_angle, trace);
    EXPECT_TRUE(filter_set_finished(working));
    EXPECT_EQ(working.a.spreads[2], 2.0);
    EXPECT_EQ(working.a.variances[2], 40000.0);
    EXPECT_EQ(working.a.half_width, 332);
    EXPECT_EQ(working.t.half_width, 332);
    EXPECT_EQ(working.d.half_width, 332);
    EXPECT_EQ(working.t.spreads[1], 0.333333);
    EXPECT_EQ(working.d.weights[0], 0.0);
    EXPECT_EQ(working.a.weights[0], 1.0033);  // the shown text replaces the file value
    EXPECT_NE(trace.str().find("Max spread = 40000.000000\nFilterSize = 332\n"), std::string::npos);
}

TEST(FilterSettings, ComponentsBeyondOrMissingFromTheFields) {
    ScratchFolder dir;
    scielab_test::write_profile(dir);
    dir.write("kernel_L.txt", "L x 4 s 0.05 0.1 0.2 0.5 w 1 1 1 0.25");  // a fourth component
    dir.write("kernel_RG.txt", "RG x 1 s 0.07 w 1");                     // one component only
    std::ostringstream trace;
    AtdFilters working;
    FilterLoadOutcome outcome =
        load_filter_settings(working, kernel_sample_angle, dir.folder(), trace);
    ASSERT_TRUE(outcome.loaded);
    EXPECT_EQ(*field_text(outcome.fields, 1018), "0.0700");
    EXPECT_EQ(*field_text(outcome.fields, 1019), "");
    EXPECT_EQ(*field_text(outcome.fields, 1021), "");
    *field_text(outcome.fields, 1019) = "5.0";  // typed into a field with no component
    *field_text(outcome.fields, 1010) = "0.06";
    apply_filter_settings(outcome.fields, working, kernel_sample_angle, trace);
    EXPECT_EQ(working.t.count, 1);
    EXPECT_EQ(working.t.spreads.size(), 1u);
    EXPECT_EQ(working.a.count, 4);
    EXPECT_EQ(working.a.spreads[3], 0.5);  // not shown, kept from the file
    EXPECT_EQ(working.a.weights[3], 0.25);
    EXPECT_EQ(working.a.variances[0], 36.0);  // every variance recomputed
    EXPECT_EQ(working.a.half_width, 106);     // brought to the widest filter, D
    EXPECT_TRUE(filter_set_finished(working));
}

TEST(FilterSettings, RefusedApplyLeavesTheWorkingCopy) {
    std::ostringstream trace;
    AtdFilters never_loaded;
    FilterFieldTexts fields;
    EXPECT_THROW(apply_filter_settings(fields, never_loaded, kernel_sample_angle, trace), Failure);

    ScratchFolder dir;
    scielab_test::write_profile(dir);
    AtdFilters working;
    FilterLoadOutcome outcome =
        load_filter_settings(working, kernel_sample_angle, dir.folder(), trace);
    const AtdFilters before = working;
    for (const char* bad : {"0", "abc", "1e999", "1e7"}) {
        FilterFieldTexts edited = outcome.fields;
        *field_text(edited, 1022) = bad;
        EXPECT_THROW(apply_filter_settings(edited, working, kernel_sample_angle, trace), Failure)
            << bad;
        expect_same_set(working, before);
    }
}

// Everything a measurement reads and writes as text, gathered from one run.
struct TextRun {
    std::string trace;
    FilterFieldTexts fields;
    GogParameters gog;
    AtdFilters applied;
    double mean = 0.0;
    std::string mean_text;
};

TextRun run_through_text(const ScratchFolder& dir) {
    TextRun run;
    std::ostringstream trace;
    AtdFilters working;
    run.fields = load_filter_settings(working, kernel_sample_angle, dir.folder(), trace).fields;
    apply_filter_settings(run.fields, working, kernel_sample_angle, trace);
    run.applied = working;
    run.trace = trace.str();
    run.gog = read_display_model(profile_path(dir.folder(), "DISPGOG_parameter.txt"));
    PixelBuffer output;
    InterleavedImage result;
    test_calls::make_difference_image(scielab_test::pattern_frame(24, 16, 1),
                                      scielab_test::pattern_frame(24, 16, 2), output,
                                      kernel_sample_angle, working, dir.folder(), result);
    run.mean = result.mean;
    run.mean_text = fixed_text(result.mean, 6);
    return run;
}

// The C library's locale set to a comma-decimal one for one test, then restored.
struct CommaDecimalLocale {
    std::string previous = std::setlocale(LC_ALL, nullptr);
    bool active = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr &&
                  std::string(std::localeconv()->decimal_point) == ",";
    ~CommaDecimalLocale() { std::setlocale(LC_ALL, previous.c_str()); }
};

TEST(FilterSettings, NumbersAreReadAndWrittenAlikeUnderACommaDecimalLocale) {
    ScratchFolder dir;
    scielab_test::write_profile(dir);
    const TextRun c_run = run_through_text(dir);

    const CommaDecimalLocale comma;
    ASSERT_TRUE(comma.active) << "de_DE.UTF-8 is not installed (Debian: locales-all)";
    const TextRun run = run_through_text(dir);
    EXPECT_EQ(run.trace, c_run.trace);
    EXPECT_NE(run.trace.find("Adjust\t0.010000\n"), std::string::npos) << run.trace;
    EXPECT_EQ(run.fields.texts, c_run.fields.texts);
    EXPECT_EQ(run.fields.texts[0], "0.0500");
    EXPECT_EQ(run.gog.red.gamma, 2.2);
    EXPECT_EQ(run.gog.green.gain, 1.0);
    expect_same_set(run.applied, c_run.applied);
    EXPECT_EQ(run.mean, c_run.mean);
    EXPECT_EQ(run.mean_text, c_run.mean_text);

    struct Case {
        const char* token;
        double value;
    };
    for (const Case& c : {Case{"2.2", 2.2}, Case{"0.05", 0.05}, Case{"-2.5D-1", -0.25},
                          Case{"1,5", 1.0}, Case{"1e-400", 0.0}}) {
        EXPECT_EQ(token_to_double(c.token), c.value) << c.token;
    }
    EXPECT_EQ(token_to_double("-1e999"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(fixed_text(-0.0105, 6), "-0.010500");
    EXPECT_EQ(fixed_text(1234567.0, 4), "1234567.0000");
}

}  // namespace
}  // namespace orv
