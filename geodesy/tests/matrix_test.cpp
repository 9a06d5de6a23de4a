#include "geodesy/matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <limits>
#include <vector>

namespace {

CMatrix Make(std::initializer_list<std::initializer_list<double>> rows) {
  CMatrix m(static_cast<int>(rows.size()), static_cast<int>(rows.begin()->size()));
  int r = 0;
  for (const auto& row : rows) {
    int c = 0;
    for (double v : row) m(r, c++) = v;
    ++r;
  }
  return m;
}

FitVector MakeVector(std::initializer_list<double> values) {
  FitVector v(static_cast<int>(values.size()));
  int i = 0;
  for (double value : values) v[i++] = value;
  return v;
}

void ExpectMatrix(const CMatrix& m, std::initializer_list<std::initializer_list<double>> rows) {
  ASSERT_EQ(m.Rows(), static_cast<int>(rows.size()));
  int r = 0;
  for (const auto& row : rows) {
    ASSERT_EQ(m.Columns(), static_cast<int>(row.size()));
    int c = 0;
    for (double v : row) EXPECT_EQ(m(r, c++), v) << "row " << r << " column " << c - 1;
    ++r;
  }
}

void ExpectVector(const FitVector& v, std::initializer_list<double> values, double tolerance) {
  ASSERT_EQ(v.Size(), static_cast<int>(values.size()));
  int i = 0;
  for (double value : values) EXPECT_NEAR(v[i++], value, tolerance) << "entry " << i - 1;
}

TEST(MatrixTest, ShapesAndArithmetic) {
  const CMatrix a = Make({{1, 2, 3}, {4, 5, 6}});
  ExpectMatrix(a.Transposed(), {{1, 4}, {2, 5}, {3, 6}});
  ExpectMatrix(a * a.Transposed(), {{14, 32}, {32, 77}});
  ExpectVector(a * MakeVector({1, 0, -1}), {-2, -2}, 0);
  ExpectVector(MakeVector({5, 7}) - MakeVector({1, 9}), {4, -2}, 0);

  CMatrix swapped = a;
  swapped.SwapRows(0, 1);
  ExpectMatrix(swapped, {{4, 5, 6}, {1, 2, 3}});

  CMatrix block(2, 2);
  ASSERT_TRUE(block.CopyBlock(Make({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}), 1, 1));
  ExpectMatrix(block, {{5, 6}, {8, 9}});

  // Mismatched sizes give empty results, never reads beyond the cells.
  EXPECT_EQ((a * a).Rows(), 0);
  EXPECT_EQ((a * MakeVector({1, 2})).Size(), 0);
  EXPECT_EQ((MakeVector({1}) - MakeVector({1, 2})).Size(), 0);
  EXPECT_FALSE(block.CopyBlock(a, 1, 0));
  EXPECT_FALSE(block.CopyBlock(a, 0, 2));
  EXPECT_FALSE(block.CopyBlock(a, -1, 0));
  ExpectMatrix(block, {{5, 6}, {8, 9}});  // unchanged

  EXPECT_EQ(FitVector(-3).Size(), 0);
  EXPECT_EQ(CMatrix(-1, 4).Columns(), 0);
}

TEST(MatrixTest, FindPivotRow) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const CMatrix m = Make({{9, 0, 1}, {2, 0, nan}, {-5, 0, -3}, {5, 0, 3}});
  EXPECT_EQ(FindPivotRow(m, 0), 0);
  EXPECT_EQ(FindPivotRow(m, 1), -1);  // all zero
  EXPECT_EQ(FindPivotRow(m, 2), 2);   // largest magnitude, the first of a tie; NaN never wins
  EXPECT_EQ(FindPivotRow(Make({{0}, {nan}}), 0), -1);
  EXPECT_EQ(FindPivotRow(m, 3), -1);  // no such column
}

TEST(MatrixTest, SolvesSquareSystemsThatNeedPivoting) {
  // A zero on the diagonal: without row swaps the first step divides by zero.
  CMatrix m = Make({{0, 2, 1}, {1, 1, 1}, {3, 0, -1}});
  FitVector rhs = MakeVector({7, 6, 0});  // solution (1, 2, 3)
  FitVector x;
  ASSERT_EQ(BackSubstitute(m, rhs, x), 0);
  ExpectVector(x, {1, 2, 3}, 1e-12);
}

TEST(MatrixTest, SingularOrMalformedSystemsFail) {
  struct Case {
    const char* name;
    CMatrix m;
    FitVector rhs;
  };
  const Case cases[] = {
      {"dependent rows", Make({{1, 2}, {2, 4}}), MakeVector({1, 2})},
      {"zero column", Make({{1, 0}, {3, 0}}), MakeVector({1, 2})},
      {"not square", Make({{1, 2, 3}, {4, 5, 6}}), MakeVector({1, 2})},
      {"rhs length", Make({{1, 0}, {0, 1}}), MakeVector({1})},
      {"empty", CMatrix(0, 0), FitVector()},
  };
  for (const Case& c : cases) {
    CMatrix m = c.m;
    FitVector rhs = c.rhs;
    FitVector x;
    EXPECT_EQ(BackSubstitute(m, rhs, x), -1) << c.name;
  }
}

TEST(MatrixTest, LeastSquaresFitsALine) {
  // y = 2 + 0.5 x exactly at five points, then with symmetric noise that cancels out.
  CMatrix a(5, 2);
  FitVector exact(5);
  FitVector noisy(5);
  const double noise[] = {0.1, -0.1, 0, -0.1, 0.1};
  for (int i = 0; i < 5; ++i) {
    a(i, 0) = 1;
    a(i, 1) = i - 2;
    exact[i] = 2 + 0.5 * (i - 2);
    noisy[i] = exact[i] + noise[i];
  }
  FitVector x;
  ASSERT_EQ(SolveLeastSquares(a, exact, x), 0);
  ExpectVector(x, {2, 0.5}, 1e-12);
  ASSERT_EQ(SolveLeastSquares(a, noisy, x), 0);
  ExpectVector(x, {2, 0.5}, 1e-12);
  ExpectVector(a * x - exact, {0, 0, 0, 0, 0}, 1e-12);

  // Every observation at the same abscissa: the slope is undetermined.
  CMatrix flat = Make({{1, 3}, {1, 3}, {1, 3}});
  EXPECT_EQ(SolveLeastSquares(flat, MakeVector({1, 2, 3}), x), -1);
  EXPECT_EQ(SolveLeastSquares(a, MakeVector({1, 2}), x), -1);
}

}  // namespace
