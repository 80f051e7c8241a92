// Singular value decomposition by its properties, and the pseudo-inverse.

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <vector>

#include "numeric/failure.h"
#include "numeric/svd.h"

namespace {

using Rows = std::vector<std::vector<double>>;

orv::RangeMatrix one_based(const Rows& rows) {
    const int m = static_cast<int>(rows.size());
    const int n = static_cast<int>(rows[0].size());
    orv::RangeMatrix a = orv::new_matrix(1, m, 1, n);
    for (int r = 1; r <= m; ++r)
        for (int c = 1; c <= n; ++c)
            a[r][c] = rows[static_cast<std::size_t>(r - 1)][static_cast<std::size_t>(c - 1)];
    return a;
}

// Checks A = U diag(w) V^T, orthonormal columns of U (where w > 0) and of V, w >= 0 and
// non-increasing.
void check_decomposition(const Rows& rows, double tolerance) {
    const int m = static_cast<int>(rows.size());
    const int n = static_cast<int>(rows[0].size());
    orv::RangeMatrix a = one_based(rows);
    orv::RangeVector w = orv::new_vector(1, n);
    orv::RangeMatrix v = orv::new_matrix(1, n, 1, n);
    orv::dsvdcmp(a, m, n, w, v);
    double scale = 0.0;
    for (const auto& row : rows)
        for (double x : row) scale = std::max(scale, std::fabs(x));
    if (scale == 0.0) scale = 1.0;
    for (int i = 1; i <= n; ++i) {
        EXPECT_GE(w[i], 0.0);
        if (i > 1) {
            EXPECT_LE(w[i], w[i - 1]);
        }
    }
    for (int r = 1; r <= m; ++r) {
        for (int c = 1; c <= n; ++c) {
            double sum = 0.0;
            for (int i = 1; i <= n; ++i) sum += a[r][i] * w[i] * v[c][i];
            EXPECT_NEAR(sum, rows[static_cast<std::size_t>(r - 1)][static_cast<std::size_t>(c - 1)],
                        tolerance * scale)
                << r << "," << c;
        }
    }
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) {
            double vv = 0.0;
            for (int k = 1; k <= n; ++k) vv += v[k][i] * v[k][j];
            EXPECT_NEAR(vv, i == j ? 1.0 : 0.0, tolerance) << "V " << i << "," << j;
            if (w[i] > 0.0 && w[j] > 0.0) {
                double uu = 0.0;
                for (int k = 1; k <= m; ++k) uu += a[k][i] * a[k][j];
                EXPECT_NEAR(uu, i == j ? 1.0 : 0.0, tolerance) << "U " << i << "," << j;
            }
        }
    }
}

TEST(Dsvdcmp, RandomMatricesSatisfyTheDecomposition) {
    std::mt19937_64 rng(20240601);
    std::uniform_real_distribution<double> uniform(-10.0, 10.0);
    const std::vector<std::pair<int, int>> shapes = {{1, 1}, {2, 2}, {3, 3}, {4, 3},  {5, 2},
                                                     {6, 6}, {8, 5}, {3, 1}, {10, 10}};
    for (const auto& [m, n] : shapes) {
        for (int repeat = 0; repeat < 20; ++repeat) {
            Rows rows(static_cast<std::size_t>(m),
                      std::vector<double>(static_cast<std::size_t>(n)));
            for (auto& row : rows)
                for (double& x : row) x = uniform(rng);
            SCOPED_TRACE(std::to_string(m) + "x" + std::to_string(n));
            check_decomposition(rows, 1e-12);
        }
    }
}

TEST(Dsvdcmp, AwkwardMatricesSatisfyTheDecomposition) {
    const std::vector<Rows> cases = {
        {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}},
        {{2, 0, 0}, {0, -5, 0}, {0, 0, 1}},
        {{1, 2, 3}, {4, 5, 6}, {7, 8, 9.000000001}},
        {{1, 2, 3}, {2, 4, 6}, {1, 1, 1}},
        {{1, 2, 3}, {2, 4, 6}, {3, 6, 9}},
        {{1, 0, 0}, {0, 1e-10, 0}, {0, 0, 1}},
        {{1e-300, 0}, {0, 1e300}},
        {{0, 1}, {1, 0}},
        {{3, 3}, {3, 3}, {3, 3}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        check_decomposition(cases[i], 1e-12);
    }
}

TEST(Dsvdcmp, OrdersSingularValuesAndTheirColumns) {
    orv::RangeMatrix a = one_based({{1, 0, 0}, {0, 3, 0}, {0, 0, 2}});
    orv::RangeVector w = orv::new_vector(1, 3);
    orv::RangeMatrix v = orv::new_matrix(1, 3, 1, 3);
    orv::dsvdcmp(a, 3, 3, w, v);
    EXPECT_NEAR(w[1], 3.0, 1e-15);
    EXPECT_NEAR(w[2], 2.0, 1e-15);
    EXPECT_NEAR(w[3], 1.0, 1e-15);
    // Column c of U and V is the unit vector of the axis holding w[c].
    const int axis[] = {0, 2, 3, 1};
    for (int c = 1; c <= 3; ++c) {
        EXPECT_NEAR(std::fabs(a[axis[c]][c]), 1.0, 1e-15) << c;
        EXPECT_NEAR(std::fabs(v[axis[c]][c]), 1.0, 1e-15) << c;
        EXPECT_NEAR(a[axis[c]][c] * v[axis[c]][c], 1.0, 1e-15) << c;
    }
}

TEST(Dsvdcmp, NonConvergenceRaisesFailure) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    orv::RangeMatrix a = one_based({{nan, 1}, {1, nan}});
    orv::RangeVector w = orv::new_vector(1, 2);
    orv::RangeMatrix v = orv::new_matrix(1, 2, 1, 2);
    try {
        orv::dsvdcmp(a, 2, 2, w, v);
        FAIL() << "returned";
    } catch (const orv::Failure& failure) {
        EXPECT_EQ(orv::failure_text(failure), "no convergence in 50 dsvdcmp iterations");
    }
}

TEST(SvdDecompose, ZeroBasedFrontEndMatchesDsvdcmp) {
    const Rows rows = {{4, -2, 1}, {3, 6, -4}, {2, 1, 8}, {1, 0, 2}};
    orv::RangeMatrix a1 = one_based(rows);
    orv::RangeVector w1 = orv::new_vector(1, 3);
    orv::RangeMatrix v1 = orv::new_matrix(1, 3, 1, 3);
    orv::dsvdcmp(a1, 4, 3, w1, v1);
    orv::RangeMatrix a0 = orv::new_matrix(0, 3, 0, 2);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            a0[r][c] = rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
    orv::RangeVector w0 = orv::new_vector(0, 2);
    orv::RangeMatrix v0 = orv::new_matrix(0, 2, 0, 2);
    orv::svd_decompose(a0, 4, 3, w0, v0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(w0[i], w1[i + 1]);
        for (int r = 0; r < 4; ++r) EXPECT_EQ(a0[r][i], a1[r + 1][i + 1]);
        for (int r = 0; r < 3; ++r) EXPECT_EQ(v0[r][i], v1[r + 1][i + 1]);
    }
}

TEST(Hypotenuse, AvoidsOverflowAndUnderflow) {
    EXPECT_EQ(orv::hypotenuse(3, 4), 5.0);
    EXPECT_EQ(orv::hypotenuse(-4, 3), 5.0);
    EXPECT_EQ(orv::hypotenuse(0, 0), 0.0);
    EXPECT_NEAR(orv::hypotenuse(1e200, 1e200), std::sqrt(2.0) * 1e200, 1e186);
    EXPECT_NEAR(orv::hypotenuse(3e-200, 4e-200), 5e-200, 1e-214);
}

// ---- pseudo-inverse ----

std::vector<double> pinv(const std::vector<double>& p, int m, int n) {
    std::vector<double> q(static_cast<std::size_t>(m * n), -99.0);
    orv::pseudo_inverse_flat(p.data(), q.data(), m, n);
    return q;
}

void expect_matrix_near(const std::vector<double>& got, const std::vector<double>& want,
                        double tol) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_NEAR(got[i], want[i], tol) << "element " << i;
}

TEST(PseudoInverse, DiagonalCasesDropValuesNotAboveTheFloor) {
    struct Case {
        std::vector<double> p, q;
    };
    const std::vector<Case> cases = {
        {{1, 0, 0, 0, 1, 0, 0, 0, 1}, {1, 0, 0, 0, 1, 0, 0, 0, 1}},
        {{2, 0, 0, 0, 4, 0, 0, 0, 0}, {0.5, 0, 0, 0, 0.25, 0, 0, 0, 0}},
        {{1, 0, 0, 0, 1e-11, 0, 0, 0, 1}, {1, 0, 0, 0, 0, 0, 0, 0, 1}},
        {{1, 0, 0, 0, 1e-10, 0, 0, 0, 1}, {1, 0, 0, 0, 0, 0, 0, 0, 1}},
        {{1, 0, 0, 0, 2e-10, 0, 0, 0, 1}, {1, 0, 0, 0, 5e9, 0, 0, 0, 1}},
        {{0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {{-2, 0, 0, 0, 1, 0, 0, 0, 8}, {-0.5, 0, 0, 0, 1, 0, 0, 0, 0.125}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        const std::vector<double>& want = cases[i].q;
        std::vector<double> got = pinv(cases[i].p, 3, 3);
        for (std::size_t k = 0; k < 9; ++k)
            EXPECT_NEAR(got[k], want[k], 1e-15 * std::max(1.0, std::fabs(want[k])));
    }
}

TEST(PseudoInverse, RotationInvertsToItsTranspose) {
    const double a = 0.7;
    const double b = -1.9;
    // Rotation about z by a, then about x by b.
    const double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
    const std::vector<double> r = {ca, -sa, 0, cb * sa, cb * ca, -sb, sb * sa, sb * ca, cb};
    const std::vector<double> rt = {r[0], r[3], r[6], r[1], r[4], r[7], r[2], r[5], r[8]};
    expect_matrix_near(pinv(r, 3, 3), rt, 1e-15);
}

std::vector<double> multiply(const std::vector<double>& x, const std::vector<double>& y, int rows,
                             int inner, int cols) {
    std::vector<double> out(static_cast<std::size_t>(rows * cols), 0.0);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j)
            for (int k = 0; k < inner; ++k)
                out[static_cast<std::size_t>(i * cols + j)] +=
                    x[static_cast<std::size_t>(i * inner + k)] *
                    y[static_cast<std::size_t>(k * cols + j)];
    return out;
}

TEST(PseudoInverse, NonSingularMatricesGiveTheInverse) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> uniform(-2.0, 2.0);
    const std::vector<double> identity = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int repeat = 0; repeat < 50; ++repeat) {
        std::vector<double> m(9);
        for (double& x : m) x = uniform(rng);
        const std::vector<double> p = m;
        const std::vector<double> q = pinv(m, 3, 3);
        EXPECT_EQ(m, p);  // input untouched
        expect_matrix_near(multiply(q, m, 3, 3, 3), identity, 1e-9);
        expect_matrix_near(multiply(m, q, 3, 3, 3), identity, 1e-9);
    }
    // A display's RGB-to-XYZ matrix, the kind of matrix the colour code inverts.
    const std::vector<double> rgb_to_xyz = {41.24, 35.76, 18.05, 21.26, 71.52,
                                            7.22,  1.93,  11.92, 95.05};
    const std::vector<double> q = pinv(rgb_to_xyz, 3, 3);
    expect_matrix_near(multiply(q, rgb_to_xyz, 3, 3, 3), identity, 1e-13);
}

// The four Moore-Penrose conditions, for rank-deficient and rectangular matrices.
TEST(PseudoInverse, SatisfiesPenroseConditions) {
    struct Case {
        std::vector<double> a;
        int m, n;
    };
    const std::vector<Case> cases = {
        {{1, 2, 3, 2, 4, 6, 1, 1, 1}, 3, 3},
        {{1, 2, 3, 2, 4, 6, 3, 6, 9}, 3, 3},
        {{1, 2, 3, 4, 5, 6, 7, 8, 10, 0, 1, 0}, 4, 3},
        {{1, 2, 3, 4, 5, 6}, 3, 2},
        {{1, 2, 3, 4, 5, 7}, 2, 3},
    };
    for (std::size_t c = 0; c < cases.size(); ++c) {
        SCOPED_TRACE("case " + std::to_string(c));
        const int m = cases[c].m;
        const int n = cases[c].n;
        const std::vector<double>& a = cases[c].a;
        const std::vector<double> x = pinv(a, m, n);
        expect_matrix_near(multiply(multiply(a, x, m, n, m), a, m, m, n), a, 1e-12);
        expect_matrix_near(multiply(multiply(x, a, n, m, n), x, n, n, m), x, 1e-12);
        const std::vector<double> ax = multiply(a, x, m, n, m);
        const std::vector<double> xa = multiply(x, a, n, m, n);
        for (int i = 0; i < m; ++i)
            for (int j = 0; j < m; ++j)
                EXPECT_NEAR(ax[static_cast<std::size_t>(i * m + j)],
                            ax[static_cast<std::size_t>(j * m + i)], 1e-12);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j)
                EXPECT_NEAR(xa[static_cast<std::size_t>(i * n + j)],
                            xa[static_cast<std::size_t>(j * n + i)], 1e-12);
    }
}

TEST(PseudoInverse, ZeroBasedFormLeavesItsInputAlone) {
    orv::RangeMatrix a = orv::new_matrix(0, 1, 0, 1);
    a[0][0] = 4;
    a[0][1] = 7;
    a[1][0] = 2;
    a[1][1] = 6;
    orv::RangeMatrix inv = orv::new_matrix(0, 1, 0, 1);
    orv::pseudo_inverse(a, 2, 2, inv);
    EXPECT_EQ(a[0][0], 4);
    EXPECT_EQ(a[1][1], 6);
    EXPECT_NEAR(inv[0][0], 0.6, 1e-15);
    EXPECT_NEAR(inv[0][1], -0.7, 1e-15);
    EXPECT_NEAR(inv[1][0], -0.2, 1e-15);
    EXPECT_NEAR(inv[1][1], 0.4, 1e-15);
}

}  // namespace
