#include "geodesy/plane_geometry.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

using Polygon = std::vector<PlanePoint>;

const Polygon kSquare = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};  // anticlockwise
const Polygon kSquareClockwise = {{0, 0}, {0, 10}, {10, 10}, {10, 0}};
// A five-pointed star drawn in one stroke: its centre is wound round twice.
const Polygon kStar = {{0, 10}, {5.88, -8.09}, {-9.51, 3.09}, {9.51, 3.09}, {-5.88, -8.09}};
// A figure of eight: two lobes wound in opposite senses, crossing at (5, 5).
const Polygon kBowTie = {{0, 0}, {10, 10}, {10, 0}, {0, 10}};

TEST(PointInPolygonTest, WindingDecides) {
  struct Case {
    const char* name;
    const Polygon* polygon;
    double x, y;
    bool inside;
  };
  const Case cases[] = {
      {"inside", &kSquare, 5, 5, true},
      {"inside, clockwise", &kSquareClockwise, 5, 5, true},
      {"outside left", &kSquare, -1, 5, false},
      {"outside above", &kSquare, 5, 11, false},
      {"star's centre (even crossings)", &kStar, 0, 0, true},
      {"star's point", &kStar, 0, 8, true},
      {"outside the star", &kStar, 8, 8, false},
      {"left lobe of the eight", &kBowTie, 2, 5, true},
      {"right lobe of the eight", &kBowTie, 8, 5, true},
      {"between the lobes", &kBowTie, 5, 1, false},
      // On an edge: the left and bottom edges count as inside, the right and top ones not.
      {"on the left edge", &kSquare, 0, 5, true},
      {"on the right edge", &kSquare, 10, 5, false},
      {"on the bottom edge", &kSquare, 5, 0, false},
      {"on the top edge", &kSquare, 5, 10, true},
      {"NaN", &kSquare, kNaN, 5, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PointInPolygon(c.x, c.y, *c.polygon), c.inside) << c.name;
  }
}

TEST(PointInPolygonTest, TooFewPointsEncloseNothing) {
  EXPECT_FALSE(PointInPolygon(0, 0, {}));
  const Polygon one = {{0, 0}};
  EXPECT_FALSE(PointInPolygon(0, 0, one));
  const Polygon two = {{0, -1}, {0, 1}};
  EXPECT_FALSE(PointInPolygon(1, 0, two));
  EXPECT_FALSE(PointInPolygon(-1, 0, two));
}

TEST(SquareTouchesPolygonTest, Cases) {
  const Polygon big = {{0, 0}, {100, 0}, {100, 100}, {0, 100}};
  const Polygon small = {{40, 40}, {45, 40}, {45, 45}};
  struct Case {
    const char* name;
    const Polygon* polygon;
    double x, y, side;
    bool touches;
  };
  const Case cases[] = {
      {"square inside the polygon", &big, 10, 10, 5, true},
      {"one corner inside", &big, 95, 95, 10, true},
      {"polygon inside the square", &small, 30, 30, 20, true},
      {"vertex on the square's corner", &small, 45, 30, 10, true},
      {"apart", &small, 50, 50, 10, false},
      {"apart, corner just beyond", &big, 100.5, 0, 10, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SquareTouchesPolygon(c.x, c.y, c.side, *c.polygon), c.touches) << c.name;
  }
  EXPECT_FALSE(SquareTouchesPolygon(0, 0, 10, {}));
}

TEST(SquareTouchesPolygonTest, RepeatedFirstPointIsIgnored) {
  // A point in the square would touch; as a closing repeat of the first point it is not a
  // vertex of its own, and the square lies outside the outline.
  const Polygon open = {{0, 0}, {10, 0}, {10, 10}};
  Polygon closed = open;
  closed.push_back(open.front());
  for (const PlanePoint& corner : {PlanePoint{-5, -5}, PlanePoint{2, 5}, PlanePoint{20, 20}}) {
    EXPECT_EQ(SquareTouchesPolygon(corner.x, corner.y, 3, closed),
              SquareTouchesPolygon(corner.x, corner.y, 3, open))
        << corner.x << "," << corner.y;
  }
  EXPECT_TRUE(SquareTouchesPolygon(-5, -5, 5, closed));  // (0, 0) on the square's corner
  EXPECT_TRUE(SquareTouchesPolygon(7, 1, 1, closed));
}

TEST(PolygonAreaTest, AreaIsUnsignedAndSmallCountsGiveZero) {
  const std::vector<double> xs = {0, 4, 4, 0};
  const std::vector<double> ys = {0, 0, 3, 3};
  EXPECT_DOUBLE_EQ(PolygonArea(xs, ys), 12.0);
  const std::vector<double> rxs(xs.rbegin(), xs.rend());
  const std::vector<double> rys(ys.rbegin(), ys.rend());
  EXPECT_DOUBLE_EQ(PolygonArea(rxs, rys), 12.0);
  // A triangle far from the origin.
  EXPECT_DOUBLE_EQ(
      PolygonArea(std::vector<double>{1000, 1002, 1000}, std::vector<double>{-500, -500, -497}),
      3.0);
  for (size_t n = 0; n < 3; ++n) {
    EXPECT_EQ(PolygonArea(std::span(xs).first(n), std::span(ys).first(n)), 0.0) << n;
  }
  // The shorter array sets the count.
  EXPECT_DOUBLE_EQ(PolygonArea(xs, std::span(ys).first(3)), 6.0);
}

// ---------------------------------------------------------------------------------------------
// Simplification.

std::vector<PlanePoint> Simplified(std::vector<PlanePoint> points, double tolerance_squared) {
  points.resize(SimplifyPolyline(points, tolerance_squared));
  return points;
}

std::string Text(const std::vector<PlanePoint>& points) {
  std::string s;
  for (const PlanePoint& p : points)
    s += "(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
  return s;
}

TEST(SimplifyPolylineTest, Table) {
  struct Case {
    const char* name;
    std::vector<PlanePoint> in;
    double tolerance_squared;
    std::vector<PlanePoint> out;
  };
  const Case cases[] = {
      {"empty", {}, 1, {}},
      {"one point", {{1, 2}}, 1, {{1, 2}}},
      {"two points", {{1, 2}, {3, 4}}, 1, {{1, 2}, {3, 4}}},
      {"three collinear", {{0, 0}, {1, 1}, {2, 2}}, 0, {{0, 0}, {2, 2}}},
      {"zigzag above the tolerance",
       {{0, 0}, {1, 1}, {2, 0}, {3, 1}, {4, 0}},
       0.2,
       {{0, 0}, {1, 1}, {2, 0}, {3, 1}, {4, 0}}},
      {"zigzag within the tolerance",
       {{0, 0}, {1, 1}, {2, 0}, {3, 1}, {4, 0}},
       1.0,
       {{0, 0}, {4, 0}}},
      // Both turning points stay: each lies outside the disc on the chord that would skip it.
      {"step back", {{0, 0}, {2, 0}, {1.5, 0}, {3, 0}}, 1, {{0, 0}, {2, 0}, {1.5, 0}, {3, 0}}},
      {"repeated points", {{0, 0}, {0, 0}, {1, 0}, {1, 0}, {2, 0}}, 0, {{0, 0}, {2, 0}}},
      {"back to the start", {{0, 0}, {1, 0}, {0, 0}}, 1, {{0, 0}, {1, 0}, {0, 0}}},
      {"corner kept", {{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}}, 0.01, {{0, 0}, {2, 0}, {2, 2}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Text(Simplified(c.in, c.tolerance_squared)), Text(c.out)) << c.name;
  }
}

TEST(SimplifyScreenPolylineTest, Table) {
  std::vector<ScreenPoint> none;
  EXPECT_EQ(SimplifyScreenPolyline(none, 1.0f), 0u);
  std::vector<ScreenPoint> line = {{0, 0}, {5, 1}, {10, 0}, {10, 0}, {20, 0}};
  ASSERT_EQ(SimplifyScreenPolyline(line, 1.0f), 2u);
  EXPECT_EQ(line[0], (ScreenPoint{0, 0}));
  EXPECT_EQ(line[1], (ScreenPoint{20, 0}));
  std::vector<ScreenPoint> zigzag = {{0, 0}, {4, 3}, {8, 0}, {12, 3}, {16, 0}};
  EXPECT_EQ(SimplifyScreenPolyline(zigzag, 2.3f), 5u);
  // Coordinates at the ends of the 32-bit range: differences and products must not overflow.
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  std::vector<ScreenPoint> wide = {{kMin, kMin}, {0, 0}, {kMax, kMax}};
  ASSERT_EQ(SimplifyScreenPolyline(wide, 1.0f), 2u);
  EXPECT_EQ(wide[1], (ScreenPoint{kMax, kMax}));
}

// The rule written out directly: every end point re-tests every point behind it.
bool DirectKeeps(const PlanePoint& a, const PlanePoint& p, const PlanePoint& q, double tol) {
  const double dot = (p.x - q.x) * (q.x - a.x) + (p.y - q.y) * (q.y - a.y);
  if (!(dot >= 0)) return false;
  const double ax = p.x - a.x;
  const double ay = p.y - a.y;
  const double length_squared = ax * ax + ay * ay;
  if (length_squared == 0) return true;
  const double cross = ax * (q.y - a.y) - ay * (q.x - a.x);
  return cross * cross / length_squared <= tol;
}

bool DirectKeeps(const ScreenPoint& a, const ScreenPoint& p, const ScreenPoint& q, float tol) {
  const int64_t dot =
      (int64_t{p.x} - q.x) * (int64_t{q.x} - a.x) + (int64_t{p.y} - q.y) * (int64_t{q.y} - a.y);
  if (dot < 0) return false;
  const float ax = static_cast<float>(p.x - a.x);
  const float ay = static_cast<float>(p.y - a.y);
  const float length_squared = ax * ax + ay * ay;
  if (length_squared == 0) return true;
  const float cross = ax * static_cast<float>(q.y - a.y) - ay * static_cast<float>(q.x - a.x);
  return cross * cross / length_squared <= tol;
}

template <class Point, class Tol>
std::vector<Point> DirectSimplify(const std::vector<Point>& in, Tol tol) {
  if (in.empty()) return {};
  std::vector<Point> out = {in[0]};
  for (size_t a = 0; a + 1 < in.size();) {
    size_t end = a + 2;
    for (; end < in.size(); ++end) {
      bool ok = true;
      for (size_t q = a + 1; q < end && ok; ++q) ok = DirectKeeps(in[a], in[end], in[q], tol);
      if (!ok) break;
    }
    a = end - 1;
    out.push_back(in[a]);
  }
  return out;
}

bool SameBits(const std::vector<PlanePoint>& a, const std::vector<PlanePoint>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::bit_cast<uint64_t>(a[i].x) != std::bit_cast<uint64_t>(b[i].x) ||
        std::bit_cast<uint64_t>(a[i].y) != std::bit_cast<uint64_t>(b[i].y)) {
      return false;
    }
  }
  return true;
}

// Tracks of the kinds the simplifier meets, and some it should survive.
class TrackMaker {
 public:
  explicit TrackMaker(uint64_t seed) : random_(seed) {}

  double Uniform(double lo, double hi) { return std::uniform_real_distribution<>(lo, hi)(random_); }
  double Normal(double sigma) { return std::normal_distribution<>(0.0, sigma)(random_); }
  size_t Index(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }

  // Nearly straight: steady heading with a little wander, uneven steps and position noise.
  std::vector<PlanePoint> Straight(size_t n, double x0, double y0, double step, double noise) {
    std::vector<PlanePoint> t;
    double heading = Uniform(0, 2 * M_PI);
    double x = x0, y = y0;
    for (size_t i = 0; i < n; ++i) {
      heading += Normal(0.001);
      const double s = step * Uniform(0.8, 1.2);
      x += std::cos(heading) * s;
      y += std::sin(heading) * s;
      t.push_back({x + Normal(noise), y + Normal(noise)});
    }
    return t;
  }
  // A smooth arc: every point is a corner of the convex hull.
  std::vector<PlanePoint> Arc(size_t n, double radius, double step) {
    std::vector<PlanePoint> t;
    const double start = Uniform(0, 2 * M_PI);
    for (size_t i = 0; i < n; ++i) {
      const double a = start + i * step / radius;
      t.push_back({radius * std::cos(a), radius * std::sin(a)});
    }
    return t;
  }
  // A walk that turns a lot, with pauses (repeated points) and jitter round a standstill.
  std::vector<PlanePoint> Wander(size_t n, double step) {
    std::vector<PlanePoint> t = {{0, 0}};
    double heading = 0;
    while (t.size() < n) {
      const int kind = static_cast<int>(Index(10));
      const PlanePoint last = t.back();
      if (kind == 0) {
        t.push_back(last);
      } else if (kind == 1) {
        t.push_back({last.x + Normal(step * 0.05), last.y + Normal(step * 0.05)});
      } else {
        heading += Normal(kind == 2 ? 1.5 : 0.05);
        t.push_back({last.x + std::cos(heading) * step, last.y + std::sin(heading) * step});
      }
    }
    return t;
  }
  // Small whole numbers: many points lie exactly at the tolerance from a chord.
  std::vector<PlanePoint> Lattice(size_t n) {
    std::vector<PlanePoint> t;
    double x = 0;
    for (size_t i = 0; i < n; ++i) {
      x += static_cast<double>(Index(3));
      t.push_back({x, static_cast<double>(Index(3)) - 1.0});
    }
    return t;
  }
  std::vector<PlanePoint> Scatter(size_t n) {
    std::vector<PlanePoint> t;
    for (size_t i = 0; i < n; ++i) t.push_back({Uniform(-10, 10), Uniform(-10, 10)});
    return t;
  }

 private:
  std::mt19937_64 random_;
};

void ExpectSameAsDirect(const std::vector<PlanePoint>& track, double tol, const std::string& what) {
  std::vector<PlanePoint> fast = track;
  fast.resize(SimplifyPolyline(fast, tol));
  const std::vector<PlanePoint> direct = DirectSimplify(track, tol);
  EXPECT_TRUE(SameBits(fast, direct))
      << what << ": " << fast.size() << " points kept, directly " << direct.size();
}

TEST(SimplifyPolylineTest, KeepsTheSamePointsAsTheDirectRule) {
  TrackMaker make(20240611);
  for (int round = 0; round < 12; ++round) {
    const std::string r = " round " + std::to_string(round);
    for (double tol : {1e-4, 0.01, 0.25, 1.0, 4.0, 100.0}) {
      const std::string t = r + " tol " + std::to_string(tol);
      ExpectSameAsDirect(make.Straight(1500, 0, 0, 1.0, 0.3), tol, "noisy straight" + t);
      ExpectSameAsDirect(make.Straight(1500, 0, 0, 1.0, 0.02), tol, "straight" + t);
      ExpectSameAsDirect(make.Straight(1500, 0, 0, 0.05, 0.002), tol, "dense straight" + t);
      ExpectSameAsDirect(make.Arc(800, 5000, 1.0), tol, "arc" + t);
      ExpectSameAsDirect(make.Wander(800, 1.0), tol, "wander" + t);
      ExpectSameAsDirect(make.Scatter(300), tol, "scatter" + t);
      // Projected metres far from the origin, and degrees with steps of about a metre.
      ExpectSameAsDirect(make.Straight(1000, 5.4e6, 4.1e6, 1.0, 0.02), tol, "far" + t);
      ExpectSameAsDirect(make.Straight(1000, 51.5, -1.25, 1e-5, 2e-7), tol * 1e-10, "degrees" + t);
    }
    for (double tol : {0.0, 0.5, 1.0, 2.0}) {
      ExpectSameAsDirect(make.Lattice(1000), tol, "lattice" + r + " tol " + std::to_string(tol));
    }
  }
}

TEST(SimplifyPolylineTest, BadInputKeepsTheDirectRule) {
  TrackMaker make(7);
  const std::vector<PlanePoint> base = make.Straight(400, 0, 0, 1.0, 0.1);
  for (double bad : {kNaN, kInf, -kInf, 1e200, 1e-200}) {
    std::vector<PlanePoint> track = base;
    for (int k = 0; k < 3; ++k) track[make.Index(track.size())].x = bad;
    track[make.Index(track.size())].y = bad;
    for (double tol : {1.0, 0.0})
      ExpectSameAsDirect(track, tol, "bad value " + std::to_string(bad));
  }
  for (double tol : {kNaN, -1.0, kInf, 0.0}) {
    ExpectSameAsDirect(base, tol, "tolerance " + std::to_string(tol));
  }
  // All points the same, with a valid and a NaN tolerance.
  const std::vector<PlanePoint> still(500, PlanePoint{3, 4});
  ExpectSameAsDirect(still, 1.0, "standing still");
  ExpectSameAsDirect(still, kNaN, "standing still, NaN tolerance");
}

TEST(SimplifyScreenPolylineTest, KeepsTheSamePointsAsTheDirectRule) {
  TrackMaker make(99);
  for (int round = 0; round < 20; ++round) {
    for (float tol : {0.0f, 1.0f, 2.3f, 9.0f, 100.0f}) {
      for (const auto& source : {make.Straight(1500, 400, 300, 1.0, 0.6), make.Wander(800, 3.0),
                                 make.Straight(1500, 0, 0, 0.1, 0.2),
                                 make.Straight(1500, 0, 0, 3, 0.3), make.Lattice(800)}) {
        std::vector<ScreenPoint> track;
        for (const PlanePoint& p : source) {
          track.push_back(
              {static_cast<int32_t>(std::lround(p.x)), static_cast<int32_t>(std::lround(p.y))});
        }
        std::vector<ScreenPoint> fast = track;
        fast.resize(SimplifyScreenPolyline(fast, tol));
        EXPECT_EQ(fast, DirectSimplify(track, tol)) << "round " << round << " tol " << tol;
      }
    }
  }
}

}  // namespace
