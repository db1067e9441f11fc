// Small dense linear algebra in double for the diagnostics (row-major matrices).
#pragma once

#include <vector>

namespace ferolan::analysis {

// Singular values of the rows × cols matrix a (row-major), descending, min(rows, cols) of
// them, by one-sided Jacobi rotations of the columns of a (or of its transpose).
std::vector<double> singular_values(const std::vector<double>& a, int rows, int cols);

// Inverts the n × n matrix a in place by Gauss-Jordan elimination with partial pivoting;
// false (a unspecified) when a pivot falls below 1e-13 of the largest diagonal entry.
bool invert(std::vector<double>& a, int n);

}  // namespace ferolan::analysis
