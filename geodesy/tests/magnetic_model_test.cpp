#include "geodesy/magnetic_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/os/files.h"
#include "platform/os/folders.h"
#include "tests/temp_dir.h"

// The shipped coefficient file, relative to the repository root.
#define VD_WMM_COEFFICIENTS "resources/WMM_COF.txt"

namespace {

constexpr const char* kThisFile = __FILE__;
constexpr const char* kThisFileInRepository = "geodesy/tests/magnetic_model_test.cpp";

// A file of the repository, found from this source file's path. The compiler saw that path
// either absolute or, when the compiler cache rewrote it, relative to the build folder; in
// that case the build folder is one of the test program's ancestors.
std::string RepositoryFile(const std::string& relative) {
  const std::string self = kThisFile;
  const std::string tail = kThisFileInRepository;
  if (self.size() < tail.size() || self.compare(self.size() - tail.size(), tail.size(), tail)) {
    return relative;
  }
  const std::string root = self.substr(0, self.size() - tail.size());
  if (!root.empty() && root[0] == '/') return root + relative;
  for (std::string base = vd::os::ProgramFolder(); !base.empty();
       base = base.substr(0, base.find_last_of('/'))) {
    if (vd::os::FileExists(base + "/" + root + relative)) return base + "/" + root + relative;
    if (base.find('/') == std::string::npos) break;
  }
  return root + relative;
}

const std::string& ShippedModel() {
  static const std::string path = RepositoryFile(VD_WMM_COEFFICIENTS);
  return path;
}

// ---- Reference evaluation, kept apart from the library's code ----------------------------
// Potential V = a sum_n (a/r)^(n+1) sum_m (g cos m lon + h sin m lon) P_n^m(cos theta), with
// Schmidt semi-normalised P by the textbook recursion in colatitude. The northward component
// comes from a central difference of V in colatitude; east and down from exact derivatives.

struct Term {
  int n, m;
  double g, h, gdot, hdot;
};

struct ReferenceModel {
  double epoch = 0.0;
  std::vector<Term> terms;
};

ReferenceModel ReadReference(const std::string& path) {
  ReferenceModel model;
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  model.epoch = std::stod(line);
  while (std::getline(in, line) && line.rfind("9999", 0) != 0) {
    std::istringstream fields(line);
    Term t{};
    if (fields >> t.n >> t.m >> t.g >> t.h >> t.gdot >> t.hdot) model.terms.push_back(t);
  }
  return model;
}

// P[n][m] at colatitude theta.
std::vector<std::vector<double>> SchmidtP(double theta, int degree) {
  const double c = std::cos(theta), s = std::sin(theta);
  std::vector<std::vector<double>> p(degree + 1, std::vector<double>(degree + 1, 0.0));
  p[0][0] = 1.0;
  for (int n = 1; n <= degree; ++n) {
    p[n][n] = (n == 1 ? 1.0 : std::sqrt(1.0 - 1.0 / (2.0 * n))) * s * p[n - 1][n - 1];
    for (int m = 0; m < n; ++m) {
      const double before = n >= 2 ? p[n - 2][m] : 0.0;
      const double k = (n - 1) * (n - 1) - m * m;
      p[n][m] = ((2 * n - 1) * c * p[n - 1][m] - std::sqrt(k > 0 ? k : 0.0) * before) /
                std::sqrt(static_cast<double>(n * n - m * m));
    }
  }
  return p;
}

struct Reference {
  double declination;
  double north, east, down;
};

Reference ReferenceField(const ReferenceModel& model, double lat_deg, double lon_deg,
                         double height_m, double year) {
  const double pi = std::acos(-1.0);
  const double a_wgs = 6378137.0, f = 1.0 / 298.257223563, e2 = f * (2.0 - f);
  const double radius = 6371200.0;
  const double lat = lat_deg * pi / 180.0, lon = lon_deg * pi / 180.0;
  const double n_radius = a_wgs / std::sqrt(1.0 - e2 * std::sin(lat) * std::sin(lat));
  const double p_xy = (n_radius + height_m) * std::cos(lat);
  const double z_axis = (n_radius * (1.0 - e2) + height_m) * std::sin(lat);
  const double r = std::sqrt(p_xy * p_xy + z_axis * z_axis);
  const double lat_c = std::atan2(z_axis, p_xy);
  const double theta = pi / 2.0 - lat_c;

  auto potential_sums = [&](double th, double& v, double& dv_dr, double& dv_dlon) {
    const auto p = SchmidtP(th, 12);
    v = dv_dr = dv_dlon = 0.0;
    for (const Term& t : model.terms) {
      if (t.m > t.n) continue;
      const double g = t.g + (year - model.epoch) * t.gdot;
      const double h = t.h + (year - model.epoch) * t.hdot;
      const double q = std::pow(radius / r, t.n + 1);
      const double cm = std::cos(t.m * lon), sm = std::sin(t.m * lon);
      v += radius * q * (g * cm + h * sm) * p[t.n][t.m];
      dv_dr += -(t.n + 1) * q * (radius / r) * (g * cm + h * sm) * p[t.n][t.m];
      dv_dlon += radius * q * t.m * (-g * sm + h * cm) * p[t.n][t.m];
    }
  };
  double v, dv_dr, dv_dlon, v_plus, v_minus, unused1, unused2;
  potential_sums(theta, v, dv_dr, dv_dlon);
  const double step = 1e-6;
  potential_sums(theta + step, v_plus, unused1, unused2);
  potential_sums(theta - step, v_minus, unused1, unused2);
  const double x_c = (v_plus - v_minus) / (2.0 * step) / r;
  const double y_c = -dv_dlon / (r * std::sin(theta));
  const double z_c = dv_dr;

  const double psi = lat_c - lat;
  Reference out;
  out.north = x_c * std::cos(psi) - z_c * std::sin(psi);
  out.east = y_c;
  out.down = x_c * std::sin(psi) + z_c * std::cos(psi);
  out.declination = std::atan2(out.east, out.north) * 180.0 / pi;
  return out;
}

// Noon UTC of a calendar date, and that date as the model's decimal year.
double Noon1970(int year, int month, int day) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = 12;
  return static_cast<double>(timegm(&tm));
}

double ReferenceDecimalYear(int year, int month, int day) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  int day_of_year = day;
  for (int m = 1; m < month; ++m) day_of_year += kDays[m - 1] + (m == 2 && leap ? 1 : 0);
  return year + (day_of_year - 1) / (leap ? 366.0 : 365.0);
}

double AngleDifference(double a, double b) {
  double d = std::fmod(a - b, 360.0);
  if (d > 180.0) d -= 360.0;
  if (d < -180.0) d += 360.0;
  return d;
}

std::string ShippedText() {
  std::string text;
  EXPECT_TRUE(vd::os::ReadWholeFile(ShippedModel(), text)) << ShippedModel();
  return text;
}

// ---- Tests ------------------------------------------------------------------------------

TEST(WorldMagneticModel, DeclinationMatchesIndependentEvaluation) {
  ASSERT_TRUE(vd::os::FileExists(ShippedModel())) << ShippedModel();
  const ReferenceModel reference = ReadReference(ShippedModel());
  ASSERT_EQ(reference.epoch, 2025.0);
  ASSERT_EQ(reference.terms.size(), 90u);

  struct Case {
    double lat, lon, height_m;
    int year, month, day;
  };
  const Case cases[] = {
      {80.0, 0.0, 0.0, 2025, 1, 1},       {0.0, 120.0, 0.0, 2025, 7, 1},
      {-80.0, -120.0, 0.0, 2026, 3, 15},  {40.0, -105.25, 1600.0, 2027, 6, 30},
      {51.5, -0.1, 100.0, 2028, 2, 29},   {-33.9, 151.2, 100.0, 2029, 12, 31},
      {85.0, 100.0, 0.0, 2026, 9, 1},     {-88.0, 45.0, 2800.0, 2027, 1, 1},
      {65.0, -150.0, 0.0, 2025, 10, 10},  {-60.0, -60.0, 0.0, 2028, 12, 31},
      {20.0, -160.0, 0.0, 2029, 5, 5},    {-45.0, 170.0, 0.0, 2026, 11, 11},
      {89.5, -30.0, 0.0, 2028, 6, 15},    {72.0, -40.0, 3000.0, 2025, 3, 3},
      {-70.0, 10.0, 10000.0, 2027, 8, 8}, {35.0, 139.0, 0.0, 2029, 2, 28},
      {-89.5, 179.0, 0.0, 2029, 1, 1},    {60.0, 270.0, 0.0, 2026, 6, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.lat << ", " << c.lon << " " << c.year << "-" << c.month << "-" << c.day);
    const double year = ReferenceDecimalYear(c.year, c.month, c.day);
    const Reference expected = ReferenceField(reference, c.lat, c.lon, c.height_m, year);
    const auto declination = GetMagneticDeclination(
        c.lat, c.lon, c.height_m, Noon1970(c.year, c.month, c.day), ShippedModel());
    ASSERT_TRUE(declination.has_value());
    EXPECT_NEAR(AngleDifference(*declination, expected.declination), 0.0, 0.05);

    const auto model = WorldMagneticModel::Shared(ShippedModel());
    ASSERT_TRUE(model);
    EXPECT_DOUBLE_EQ(WorldMagneticModel::DecimalYear(Noon1970(c.year, c.month, c.day)), year);
    const auto field = model->Evaluate(c.lat, c.lon, c.height_m, year);
    ASSERT_TRUE(field.has_value());
    EXPECT_NEAR(field->north, expected.north, 1.0);
    EXPECT_NEAR(field->east, expected.east, 1.0);
    EXPECT_NEAR(field->down, expected.down, 1.0);
  }
}

TEST(WorldMagneticModel, KnownDeclinationsAreInTheRightPlace) {
  // Coarse anchors that a shared misreading of the model would miss: declination is about
  // 7.5 E near Boulder and about 12.9 E at Sydney in 2025, and the Earth's field points north
  // and down in the northern hemisphere with a total of some 50000 nT.
  const double when = Noon1970(2025, 6, 1);
  EXPECT_NEAR(*GetMagneticDeclination(40.0, -105.25, 1600.0, when, ShippedModel()), 7.5, 1.0);
  EXPECT_NEAR(*GetMagneticDeclination(-33.87, 151.21, 0.0, when, ShippedModel()), 12.9, 1.0);
  const auto field = WorldMagneticModel::Shared(ShippedModel())->Evaluate(45.0, 0.0, 0.0, 2025.5);
  ASSERT_TRUE(field.has_value());
  EXPECT_GT(field->north, 15000.0);
  EXPECT_GT(field->down, 30000.0);
  EXPECT_GT(field->inclination, 50.0);
}

TEST(WorldMagneticModel, PolesGiveFiniteValuesContinuousWithTheirSurroundings) {
  const auto model = WorldMagneticModel::Shared(ShippedModel());
  ASSERT_TRUE(model);
  for (double pole : {90.0, -90.0}) {
    for (double lon : {0.0, 45.0, 170.0, -100.0}) {
      SCOPED_TRACE(testing::Message() << pole << ", " << lon);
      const auto at_pole = model->Evaluate(pole, lon, 0.0, 2027.0);
      const auto beside = model->Evaluate(pole - std::copysign(1e-6, pole), lon, 0.0, 2027.0);
      ASSERT_TRUE(at_pole && beside);
      EXPECT_TRUE(std::isfinite(at_pole->declination));
      EXPECT_NEAR(AngleDifference(at_pole->declination, beside->declination), 0.0, 0.01);
      EXPECT_NEAR(at_pole->east, beside->east, 1.0);
    }
  }
}

TEST(WorldMagneticModel, InvalidPositionsAndTimesGiveNothing) {
  const double when = Noon1970(2026, 1, 1);
  EXPECT_FALSE(GetMagneticDeclination(90.5, 0.0, 0.0, when, ShippedModel()));
  EXPECT_FALSE(GetMagneticDeclination(NAN, 0.0, 0.0, when, ShippedModel()));
  EXPECT_FALSE(GetMagneticDeclination(10.0, INFINITY, 0.0, when, ShippedModel()));
  EXPECT_FALSE(GetMagneticDeclination(10.0, 0.0, 0.0, NAN, ShippedModel()));
  EXPECT_FALSE(GetMagneticDeclination(10.0, 0.0, 0.0, 1e300, ShippedModel()));
}

TEST(WorldMagneticModel, DecimalYearCountsWholeDaysOfThatYear) {
  EXPECT_DOUBLE_EQ(WorldMagneticModel::DecimalYear(Noon1970(2025, 1, 1)), 2025.0);
  EXPECT_DOUBLE_EQ(WorldMagneticModel::DecimalYear(Noon1970(2028, 12, 31)), 2028.0 + 365 / 366.0);
  EXPECT_DOUBLE_EQ(WorldMagneticModel::DecimalYear(Noon1970(2027, 12, 31) + 43199.0),
                   2027.0 + 364 / 365.0);
  EXPECT_DOUBLE_EQ(WorldMagneticModel::DecimalYear(-86400.0 * 365), 1969.0);
}

// Damaged and altered copies of the shipped file.
class MagneticModelFileTest : public testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = dir_.File(name);
    EXPECT_TRUE(vd::os::SaveFileAtomically(path, text));
    return path;
  }
  // The shipped text with `line` put in before the line starting with `before`.
  static std::string WithLineBefore(const std::string& line, const std::string& before) {
    std::string text = ShippedText();
    const size_t at = text.find("\n" + before);
    EXPECT_NE(at, std::string::npos);
    return text.insert(at + 1, line + "\n");
  }
  vd::test::TempDir dir_;
};

TEST_F(MagneticModelFileTest, MissingOrDamagedFilesFail) {
  const std::string text = ShippedText();
  const std::string end_line = text.substr(text.find("\n9999"));
  struct Case {
    const char* what;
    std::string text;
  };
  const Case cases[] = {
      {"empty", ""},
      {"truncated mid-file", text.substr(0, text.size() / 2)},
      {"truncated inside the last coefficient", text.substr(0, text.find(end_line) - 6)},
      {"no end line", text.substr(0, text.find(end_line) + 1)},
      {"degree 13", WithLineBefore(" 13  0  1.0  0.0  0.0  0.0", "9999")},
      {"degree 0", WithLineBefore("  0  0  1.0  0.0  0.0  0.0", "9999")},
      {"negative order", WithLineBefore("  3 -1  1.0  0.0  0.0  0.0", "9999")},
      {"repeated coefficient", WithLineBefore("  2  1  1.0  0.0  0.0  0.0", "9999")},
      {"unreadable number", WithLineBefore("  2  x  1.0  0.0  0.0  0.0", "  2  1")},
      {"missing coefficient",
       [&] {
         std::string t = text;
         const size_t at = t.find("\n  5  3");
         return t.erase(at + 1, t.find('\n', at + 1) - at);
       }()},
      {"bad epoch", "epoch WMM\n" + text.substr(text.find('\n') + 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string error;
    const std::string path = Write("damaged.txt", c.text);
    EXPECT_FALSE(WorldMagneticModel::Load(path, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(GetMagneticDeclination(50.0, 10.0, 100.0, Noon1970(2026, 1, 1), path));
    vd::os::RemoveFile(path);
  }
  EXPECT_FALSE(GetMagneticDeclination(50.0, 10.0, 100.0, Noon1970(2026, 1, 1),
                                      dir_.File("no such file.txt")));
}

TEST_F(MagneticModelFileTest, OrderAboveDegreeIsIgnored) {
  const std::string path =
      Write("extra.txt", WithLineBefore("  3  5  999.0  999.0  9.0  9.0", "  4  0"));
  const auto model = WorldMagneticModel::Load(path);
  ASSERT_TRUE(model);
  const auto shipped = WorldMagneticModel::Load(ShippedModel());
  ASSERT_TRUE(shipped);
  EXPECT_EQ(model->name(), "WMM-2025");
  EXPECT_DOUBLE_EQ(model->Evaluate(30.0, 30.0, 0.0, 2026.0)->declination,
                   shipped->Evaluate(30.0, 30.0, 0.0, 2026.0)->declination);
}

TEST_F(MagneticModelFileTest, ReadOnceAndSharedAcrossThreads) {
  const std::string path = Write("WMM_COF.txt", ShippedText());
  std::vector<std::shared_ptr<const WorldMagneticModel>> seen(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&, i] { seen[i] = WorldMagneticModel::Shared(path); });
  }
  for (auto& t : threads) t.join();
  ASSERT_TRUE(seen[0]);
  for (const auto& model : seen) EXPECT_EQ(model, seen[0]);

  // Kept for the run: the file is not read again.
  const double when = Noon1970(2026, 4, 1);
  const auto before = GetMagneticDeclination(50.0, 10.0, 100.0, when, path);
  ASSERT_TRUE(vd::os::RemoveFile(path));
  EXPECT_EQ(GetMagneticDeclination(50.0, 10.0, 100.0, when, path), before);
}

TEST_F(MagneticModelFileTest, FailedLoadIsTriedAgain) {
  const std::string path = dir_.File("late.txt");
  EXPECT_FALSE(WorldMagneticModel::Shared(path));
  Write("late.txt", ShippedText());
  EXPECT_TRUE(WorldMagneticModel::Shared(path));
}

}  // namespace
