#include "geodesy/matrix.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

namespace {

// A pivot this small against the largest entry is what is left of a zero after rounding: the
// rows are dependent, and dividing by it would give a solution made of rounding noise.
constexpr double kNegligiblePivot = 1e-10;

}  // namespace

FitVector operator-(const FitVector& a, const FitVector& b) {
  if (a.Size() != b.Size()) return FitVector();
  FitVector difference(a.Size());
  for (int i = 0; i < a.Size(); ++i) difference[i] = a[i] - b[i];
  return difference;
}

CMatrix::CMatrix(int rows, int columns)
    : rows_(rows > 0 && columns > 0 ? rows : 0),
      columns_(rows > 0 && columns > 0 ? columns : 0),
      cells_(static_cast<size_t>(rows_) * static_cast<size_t>(columns_)) {}

bool CMatrix::CopyBlock(const CMatrix& source, int row, int column) {
  if (row < 0 || column < 0 || row > source.rows_ - rows_ || column > source.columns_ - columns_)
    return false;
  for (int r = 0; r < rows_; ++r) {
    for (int c = 0; c < columns_; ++c) (*this)(r, c) = source(row + r, column + c);
  }
  return true;
}

CMatrix CMatrix::Transposed() const {
  CMatrix t(columns_, rows_);
  for (int r = 0; r < rows_; ++r) {
    for (int c = 0; c < columns_; ++c) t(c, r) = (*this)(r, c);
  }
  return t;
}

void CMatrix::SwapRows(int a, int b) {
  if (a == b) return;
  for (int c = 0; c < columns_; ++c) std::swap((*this)(a, c), (*this)(b, c));
}

CMatrix operator*(const CMatrix& a, const CMatrix& b) {
  if (a.Columns() != b.Rows()) return CMatrix(0, 0);
  CMatrix product(a.Rows(), b.Columns());
  for (int r = 0; r < a.Rows(); ++r) {
    for (int c = 0; c < b.Columns(); ++c) {
      double sum = 0;
      for (int k = 0; k < a.Columns(); ++k) sum += a(r, k) * b(k, c);
      product(r, c) = sum;
    }
  }
  return product;
}

FitVector operator*(const CMatrix& a, const FitVector& v) {
  if (a.Columns() != v.Size()) return FitVector();
  FitVector product(a.Rows());
  for (int r = 0; r < a.Rows(); ++r) {
    double sum = 0;
    for (int k = 0; k < a.Columns(); ++k) sum += a(r, k) * v[k];
    product[r] = sum;
  }
  return product;
}

int FindPivotRow(const CMatrix& m, int column) {
  if (column < 0 || column >= m.Columns()) return -1;
  int best_row = -1;
  double largest = 0;
  for (int row = column; row < m.Rows(); ++row) {
    const double magnitude = std::fabs(m(row, column));
    if (magnitude > largest) {
      largest = magnitude;
      best_row = row;
    }
  }
  return best_row;
}

int GaussEliminate(CMatrix& m, FitVector& rhs) {
  const int n = m.Rows();
  if (n == 0 || m.Columns() != n || rhs.Size() != n) return -1;
  double largest = 0;
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c) largest = std::max(largest, std::fabs(m(r, c)));
  }
  const double negligible = kNegligiblePivot * largest;
  for (int i = 0; i < n; ++i) {
    const int pivot = FindPivotRow(m, i);
    if (pivot < 0 || std::fabs(m(pivot, i)) <= negligible) return -1;
    m.SwapRows(i, pivot);
    std::swap(rhs[i], rhs[pivot]);
    for (int j = i + 1; j < n; ++j) {
      const double f = m(j, i) / m(i, i);
      m(j, i) = 0;
      for (int k = i + 1; k < n; ++k) m(j, k) -= m(i, k) * f;
      rhs[j] -= f * rhs[i];
    }
  }
  return 0;
}

int BackSubstitute(CMatrix& m, FitVector& rhs, FitVector& x) {
  if (GaussEliminate(m, rhs) != 0) return -1;
  const int n = m.Rows();
  x = FitVector(n);
  for (int i = n - 1; i >= 0; --i) {
    double sum = rhs[i];
    for (int j = i + 1; j < n; ++j) sum -= m(i, j) * x[j];
    x[i] = sum / m(i, i);
  }
  return 0;
}

int SolveLeastSquares(const CMatrix& a, const FitVector& b, FitVector& x) {
  if (a.Rows() == 0 || a.Rows() != b.Size()) return -1;
  const CMatrix at = a.Transposed();
  CMatrix normal = at * a;
  FitVector right = at * b;
  return BackSubstitute(normal, right, x);
}
