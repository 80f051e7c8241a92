#include "numeric/svd.h"

#include <algorithm>
#include <cmath>

namespace orv {

double hypotenuse(double a, double b) {
    const double p = std::fabs(a);
    const double q = std::fabs(b);
    if (p > q) {
        const double r = q / p;
        return p * std::sqrt(1.0 + r * r);
    }
    if (q == 0.0) return 0.0;
    const double r = p / q;
    return q * std::sqrt(1.0 + r * r);
}

namespace {

double with_sign_of(double magnitude, double sign_source) {
    return sign_source >= 0.0 ? std::fabs(magnitude) : -std::fabs(magnitude);
}

// Householder reduction to upper bidiagonal form: diagonal into w, superdiagonal into e
// (e[1] = 0). Returns the largest |w[i]| + |e[i]|.
double bidiagonalise(RangeMatrix& a, int m, int n, RangeVector& w, RangeVector& e, double& g_out) {
    double g = 0.0;
    double scale = 0.0;
    double anorm = 0.0;
    for (int i = 1; i <= n; ++i) {
        const int l = i + 1;
        e[i] = scale * g;
        g = 0.0;
        scale = 0.0;
        double s = 0.0;
        // Column step: zero a[i+1..m][i].
        if (i <= m) {
            for (int k = i; k <= m; ++k) scale += std::fabs(a[k][i]);
            if (scale != 0.0) {
                for (int k = i; k <= m; ++k) {
                    a[k][i] /= scale;
                    s += a[k][i] * a[k][i];
                }
                const double f = a[i][i];
                g = -with_sign_of(std::sqrt(s), f);
                const double h = f * g - s;
                a[i][i] = f - g;
                for (int j = l; j <= n; ++j) {
                    double sum = 0.0;
                    for (int k = i; k <= m; ++k) sum += a[k][i] * a[k][j];
                    const double factor = sum / h;
                    for (int k = i; k <= m; ++k) a[k][j] += factor * a[k][i];
                }
                for (int k = i; k <= m; ++k) a[k][i] *= scale;
            }
        }
        w[i] = scale * g;
        g = 0.0;
        scale = 0.0;
        s = 0.0;
        // Row step: zero a[i][i+2..n].
        if (i <= m && i != n) {
            for (int k = l; k <= n; ++k) scale += std::fabs(a[i][k]);
            if (scale != 0.0) {
                for (int k = l; k <= n; ++k) {
                    a[i][k] /= scale;
                    s += a[i][k] * a[i][k];
                }
                const double f = a[i][l];
                g = -with_sign_of(std::sqrt(s), f);
                const double h = f * g - s;
                a[i][l] = f - g;
                for (int k = l; k <= n; ++k) e[k] = a[i][k] / h;
                for (int j = l; j <= m; ++j) {
                    double sum = 0.0;
                    for (int k = l; k <= n; ++k) sum += a[j][k] * a[i][k];
                    for (int k = l; k <= n; ++k) a[j][k] += sum * e[k];
                }
                for (int k = l; k <= n; ++k) a[i][k] *= scale;
            }
        }
        anorm = std::max(anorm, std::fabs(w[i]) + std::fabs(e[i]));
    }
    g_out = g;
    return anorm;
}

void accumulate_right(RangeMatrix& a, int n, RangeVector& e, RangeMatrix& v, double g) {
    int l = n + 1;
    for (int i = n; i >= 1; --i) {
        if (i < n) {
            if (g != 0.0) {
                // Double division avoids a possible underflow.
                for (int j = l; j <= n; ++j) v[j][i] = (a[i][j] / a[i][l]) / g;
                for (int j = l; j <= n; ++j) {
                    double s = 0.0;
                    for (int k = l; k <= n; ++k) s += a[i][k] * v[k][j];
                    for (int k = l; k <= n; ++k) v[k][j] += s * v[k][i];
                }
            }
            for (int j = l; j <= n; ++j) {
                v[i][j] = 0.0;
                v[j][i] = 0.0;
            }
        }
        v[i][i] = 1.0;
        g = e[i];
        l = i;
    }
}

void accumulate_left(RangeMatrix& a, int m, int n, const RangeVector& w) {
    for (int i = std::min(m, n); i >= 1; --i) {
        const int l = i + 1;
        double g = w[i];
        for (int j = l; j <= n; ++j) a[i][j] = 0.0;
        if (g != 0.0) {
            g = 1.0 / g;
            for (int j = l; j <= n; ++j) {
                double s = 0.0;
                for (int k = l; k <= m; ++k) s += a[k][i] * a[k][j];
                const double f = (s / a[i][i]) * g;
                for (int k = i; k <= m; ++k) a[k][j] += f * a[k][i];
            }
            for (int j = i; j <= m; ++j) a[j][i] *= g;
        } else {
            for (int j = i; j <= m; ++j) a[j][i] = 0.0;
        }
        a[i][i] += 1.0;
    }
}

// Rotation of columns p and q of a (rows 1..rows): (y, z) -> (y c + z s, z c - y s).
void rotate_columns(RangeMatrix& a, int rows, int p, int q, double c, double s) {
    for (int j = 1; j <= rows; ++j) {
        const double y = a[j][p];
        const double z = a[j][q];
        a[j][p] = y * c + z * s;
        a[j][q] = z * c - y * s;
    }
}

void diagonalise(RangeMatrix& a, int m, int n, RangeVector& w, RangeVector& e, RangeMatrix& v,
                 double anorm) {
    auto negligible = [anorm](double x) { return std::fabs(x) + anorm == anorm; };
    for (int k = n; k >= 1; --k) {
        for (int pass = 1; pass <= svd_iteration_limit; ++pass) {
            bool cancel = true;
            int l = k;
            for (; l >= 1; --l) {
                if (negligible(e[l])) {
                    cancel = false;
                    break;
                }
                if (negligible(w[l - 1])) break;
            }
            if (cancel) {
                // w[l-1] is negligible: chase e[l] away with rotations of columns l-1 and i.
                const int nm = l - 1;
                double c = 0.0;
                double s = 1.0;
                for (int i = l; i <= k; ++i) {
                    const double f = s * e[i];
                    e[i] = c * e[i];
                    if (negligible(f)) break;
                    const double g = w[i];
                    double h = hypotenuse(f, g);
                    w[i] = h;
                    h = 1.0 / h;
                    c = g * h;
                    s = -f * h;
                    rotate_columns(a, m, nm, i, c, s);
                }
            }
            const double z = w[k];
            if (l == k) {
                if (z < 0.0) {
                    w[k] = -z;
                    for (int j = 1; j <= n; ++j) v[j][k] = -v[j][k];
                }
                break;
            }
            if (pass == svd_iteration_limit) {
                fatal_numeric_error(50);
            }
            // Shift from the bottom 2 x 2 minor.
            double x = w[l];
            const int nm = k - 1;
            double y = w[nm];
            double g = e[nm];
            double h = e[k];
            double f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0 * h * y);
            g = hypotenuse(f, 1.0);
            f = ((x - z) * (x + z) + h * ((y / (f + with_sign_of(g, f))) - h)) / x;
            // One implicit QR sweep from l to k.
            double c = 1.0;
            double s = 1.0;
            for (int j = l; j <= nm; ++j) {
                const int i = j + 1;
                g = e[i];
                y = w[i];
                h = s * g;
                g = c * g;
                double r = hypotenuse(f, h);
                e[j] = r;
                c = f / r;
                s = h / r;
                f = x * c + g * s;
                g = g * c - x * s;
                h = y * s;
                y *= c;
                rotate_columns(v, n, j, i, c, s);
                r = hypotenuse(f, h);
                w[j] = r;
                if (r != 0.0) {
                    r = 1.0 / r;
                    c = f * r;
                    s = h * r;
                }
                f = c * g + s * y;
                x = c * y - s * g;
                rotate_columns(a, m, j, i, c, s);
            }
            e[l] = 0.0;
            e[k] = f;
            w[k] = x;
        }
    }
}

// Non-increasing order of w, columns of U (in a) and V following; equal values stay put.
void order_by_singular_value(RangeMatrix& a, int m, int n, RangeVector& w, RangeMatrix& v) {
    RangeIntVector idx = new_int_vector(1, n);
    for (int c = 1; c <= n; ++c) idx[c] = c;
    for (int i = 1; i <= n - 1; ++i) {
        for (int j = i + 1; j <= n; ++j) {
            if (w[i] < w[j]) {
                std::swap(w[i], w[j]);
                std::swap(idx[i], idx[j]);
            }
        }
    }
    bool moved = false;
    for (int c = 1; c <= n; ++c) moved = moved || idx[c] != c;
    if (!moved) return;
    RangeMatrix u_copy = new_matrix(1, m, 1, n);
    RangeMatrix v_copy = new_matrix(1, n, 1, n);
    std::copy(a.data(), a.data() + static_cast<std::size_t>(m) * n, u_copy.data());
    std::copy(v.data(), v.data() + static_cast<std::size_t>(n) * n, v_copy.data());
    for (int c = 1; c <= n; ++c) {
        for (int r = 1; r <= m; ++r) a[r][c] = u_copy[r][idx[c]];
        for (int r = 1; r <= n; ++r) v[r][c] = v_copy[r][idx[c]];
    }
}

}  // namespace

void dsvdcmp(RangeMatrix& a, int m, int n, RangeVector& w, RangeMatrix& v) {
    if (m < 1 || n < 1) return;
    RangeVector e = new_vector(1, n);
    double g = 0.0;
    const double anorm = bidiagonalise(a, m, n, w, e, g);
    accumulate_right(a, n, e, v, g);
    accumulate_left(a, m, n, w);
    diagonalise(a, m, n, w, e, v, anorm);
    order_by_singular_value(a, m, n, w, v);
}

void svd_decompose(RangeMatrix& a, int m, int n, RangeVector& w, RangeMatrix& v) {
    if (m < 1 || n < 1) return;
    RangeMatrix a1 = new_matrix(1, m, 1, n);
    RangeVector w1 = new_vector(1, n);
    RangeMatrix v1 = new_matrix(1, n, 1, n);
    for (int r = 0; r < m; ++r)
        for (int c = 0; c < n; ++c) a1[r + 1][c + 1] = a[r][c];
    dsvdcmp(a1, m, n, w1, v1);
    for (int r = 0; r < m; ++r)
        for (int c = 0; c < n; ++c) a[r][c] = a1[r + 1][c + 1];
    for (int j = 0; j < n; ++j)
        for (int c = 0; c < n; ++c) v[j][c] = v1[j + 1][c + 1];
    for (int i = 0; i < n; ++i) w[i] = w1[i + 1];
}

void pseudo_inverse(const RangeMatrix& a, int m, int n, RangeMatrix& ainv) {
    if (m < 1 || n < 1) return;
    RangeMatrix u = new_matrix(0, m - 1, 0, n - 1);
    for (int r = 0; r < m; ++r)
        for (int c = 0; c < n; ++c) u[r][c] = a[r][c];
    RangeVector w = new_vector(0, n - 1);
    RangeMatrix v = new_matrix(0, n - 1, 0, n - 1);
    svd_decompose(u, m, n, w, v);
    for (int j = 0; j < n; ++j)
        for (int k = 0; k < m; ++k) ainv[j][k] = 0.0;
    for (int i = 0; i < n; ++i) {
        if (!(w[i] > singular_value_floor)) continue;
        for (int j = 0; j < n; ++j)
            for (int k = 0; k < m; ++k) ainv[j][k] = ainv[j][k] + u[k][i] / w[i] * v[j][i];
    }
}

void pseudo_inverse_flat(const double* p, double* q, int m, int n) {
    if (m < 1 || n < 1) return;
    RangeMatrix a = new_matrix(0, m - 1, 0, n - 1);
    std::copy(p, p + static_cast<std::size_t>(m) * n, a.data());
    RangeMatrix ainv = new_matrix(0, n - 1, 0, m - 1);
    pseudo_inverse(a, m, n, ainv);
    std::copy(ainv.data(), ainv.data() + static_cast<std::size_t>(n) * m, q);
}

}  // namespace orv
