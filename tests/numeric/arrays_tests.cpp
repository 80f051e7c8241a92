// Index-range arrays, rounding and the numerical failure.

#include <gtest/gtest.h>
#include <string>

#include "numeric/arrays.h"
#include "numeric/failure.h"

namespace {

TEST(RangeArrays, VectorsReachEveryIndexOfTheirRange) {
    orv::RangeVector v = orv::new_vector(1, 3);
    EXPECT_EQ(v.size(), 3);
    v[1] = 10.0;
    v[2] = 20.0;
    v[3] = 30.0;
    EXPECT_EQ(v.data()[0], 10.0);
    EXPECT_EQ(v.data()[2], 30.0);
    EXPECT_EQ(&v[3], &v[1] + 2);

    orv::RangeVector z = orv::new_vector(0, 3);
    EXPECT_EQ(z.size(), 4);
    orv::RangeVector neg = orv::new_vector(-2, 2);
    neg[-2] = 1.5;
    EXPECT_EQ(neg.data()[0], 1.5);

    orv::RangeIntVector iv = orv::new_int_vector(1, 4);
    for (int i = 1; i <= 4; ++i) iv[i] = i * i;
    EXPECT_EQ(iv.data()[3], 16);
    static_assert(sizeof(iv[1]) == 4);

    orv::delete_vector(v, 1);
    orv::delete_vector(z, 0);
    orv::delete_int_vector(iv, 1);
    EXPECT_EQ(v.data(), nullptr);
    EXPECT_EQ(iv.data(), nullptr);
}

TEST(RangeArrays, MatrixRowsAreOneContiguousBlock) {
    orv::RangeMatrix m = orv::new_matrix(1, 2, 1, 3);
    EXPECT_EQ(m.row_count(), 2);
    EXPECT_EQ(m.column_count(), 3);
    EXPECT_EQ(&m[2][1], &m[1][3] + 1);
    for (int r = 1; r <= 2; ++r)
        for (int c = 1; c <= 3; ++c) m[r][c] = 10 * r + c;
    const double want[] = {11, 12, 13, 21, 22, 23};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(m.data()[i], want[i]);

    orv::RangeMatrix z = orv::new_matrix(0, 3, 0, 1);
    EXPECT_EQ(&z[0][0], z.data());
    EXPECT_EQ(&z[3][1], z.data() + 7);
    orv::delete_matrix(m, 1, 1);
    orv::delete_matrix(z, 0, 0);
    EXPECT_EQ(m.data(), nullptr);
}

TEST(RoundToInt, AddsOneHalfAndTruncatesTowardZero) {
    struct Case {
        double x;
        std::int64_t want;
    };
    const Case cases[] = {{2.5, 3},  {2.4999, 2}, {0.0, 0},   {0.49, 0},
                          {-0.7, 0}, {-1.7, -1},  {-2.5, -2}, {1e12, 1000000000000},
                          {3.0, 3}};
    for (const Case& c : cases) EXPECT_EQ(orv::round_to_int(c.x), c.want) << c.x;
}

TEST(FatalNumericError, RaisesFailureWithItsMessage) {
    try {
        orv::fatal_numeric_error(50);
        FAIL() << "returned";
    } catch (const orv::Failure& failure) {
        EXPECT_EQ(failure.kind, orv::FailureKind::svd_no_convergence);
        EXPECT_EQ(orv::failure_text(failure), "no convergence in 50 dsvdcmp iterations");
    }
}

}  // namespace
