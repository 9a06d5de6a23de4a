#pragma once
// Small dense vectors and row-major matrices for the least-squares fits of chart georeferences
// (a few hundred rows, at most ten unknowns). Operations on operands of mismatched sizes give
// empty results rather than reading out of bounds; the solvers report them as failures.
#include <vector>

class FitVector {
 public:
  // n values, all 0; no storage when n <= 0.
  explicit FitVector(int n = 0) : values_(n > 0 ? n : 0) {}

  int Size() const { return static_cast<int>(values_.size()); }
  double& operator[](int i) { return values_[i]; }
  double operator[](int i) const { return values_[i]; }

 private:
  std::vector<double> values_;
};

// a - b entry by entry; empty when the lengths differ.
FitVector operator-(const FitVector& a, const FitVector& b);

class CMatrix {
 public:
  // rows x columns zeros; no cells when either is <= 0 (both counts then read 0).
  CMatrix(int rows, int columns);

  int Rows() const { return rows_; }
  int Columns() const { return columns_; }
  double& operator()(int row, int column) { return cells_[row * columns_ + column]; }
  double operator()(int row, int column) const { return cells_[row * columns_ + column]; }

  // Fills this whole matrix with the block of `source` whose top-left cell is (row, column);
  // false, and nothing changed, when that block does not lie inside `source`.
  bool CopyBlock(const CMatrix& source, int row, int column);
  CMatrix Transposed() const;
  void SwapRows(int a, int b);

 private:
  int rows_;
  int columns_;
  std::vector<double> cells_;
};

// Matrix product; 0 x 0 when a's columns differ from b's rows.
CMatrix operator*(const CMatrix& a, const CMatrix& b);
// Matrix times column vector; empty when the sizes do not match.
FitVector operator*(const CMatrix& a, const FitVector& v);

// Among rows column .. Rows() - 1, the one with the largest |m(row, column)|, the first on ties;
// -1 when they are all 0 (or not numbers).
int FindPivotRow(const CMatrix& m, int column);

// Forward elimination with partial pivoting of the square system m x = rhs, in place (rows of
// m and entries of rhs are swapped together). 0 on success, -1 when the matrix is singular or
// the sizes do not make a square system. A pivot of 1e-10 of the largest entry or less counts
// as zero: the systems are expected to be scaled so that their entries are of like size.
int GaussEliminate(CMatrix& m, FitVector& rhs);

// Solves the square system m x = rhs (m and rhs are eliminated in place). 0, or -1 as
// GaussEliminate.
int BackSubstitute(CMatrix& m, FitVector& rhs, FitVector& x);

// Least-squares solution x of a x ~ b (a: observations x unknowns) through the normal
// equations. 0, or -1 when they are singular or the sizes do not match.
int SolveLeastSquares(const CMatrix& a, const FitVector& b, FitVector& x);
