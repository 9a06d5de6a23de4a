#include "platform/ui/font.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <map>
#include <mutex>
#include <utility>

namespace vd::ui {
namespace {

constexpr const char* kSans = "Liberation Sans";
constexpr const char* kSerif = "Liberation Serif";
constexpr const char* kMono = "Liberation Mono";

// Lower-case face names and their stand-ins.
constexpr std::array<std::pair<std::string_view, const char*>, 25> kStandIns{{
    {"", kSans},
    {"arial", kSans},
    {"arial black", kSans},
    {"arial narrow", kSans},
    {"helvetica", kSans},
    {"ms sans serif", kSans},
    {"microsoft sans serif", kSans},
    {"ms shell dlg", kSans},
    {"ms shell dlg 2", kSans},
    {"system", kSans},
    {"tahoma", kSans},
    {"verdana", kSans},
    {"segoe ui", kSans},
    {"calibri", kSans},
    {"times new roman", kSerif},
    {"times", kSerif},
    {"ms serif", kSerif},
    {"georgia", kSerif},
    {"cambria", kSerif},
    {"courier new", kMono},
    {"courier", kMono},
    {"consolas", kMono},
    {"lucida console", kMono},
    {"fixedsys", kMono},
    {"terminal", kMono},
}};

constexpr int kDefaultPixelSize = 16;
constexpr int kMaxPixelSize = 4096;  // sizes from stored records are bounded

std::mutex g_cache_mutex;
std::map<std::string, std::string, std::less<>> g_families;  // face -> family
std::map<std::string, double, std::less<>> g_cell_ratios;    // family -> cell height / em

std::string Lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// Ascent plus descent per pixel of em size, measured once per family.
double CellRatio(const std::string& family) {
  std::lock_guard lock(g_cache_mutex);
  auto it = g_cell_ratios.find(family);
  if (it != g_cell_ratios.end()) return it->second;
  QFont probe(QString::fromStdString(family));
  probe.setPixelSize(1000);
  const double height = QFontMetricsF(probe).height();
  const double ratio = height > 0 ? height / 1000.0 : 1.0;
  g_cell_ratios.emplace(family, ratio);
  return ratio;
}

}  // namespace

std::string ResolveFontFamily(std::string_view face) {
  const std::string key = Lower(face);
  for (const auto& [name, family] : kStandIns) {
    if (name == key) return family;
  }
  std::lock_guard lock(g_cache_mutex);
  auto it = g_families.find(key);
  if (it != g_families.end()) return it->second;
  const QString qface = QString::fromUtf8(face.data(), static_cast<qsizetype>(face.size()));
  std::string family = QFontDatabase::hasFamily(qface) ? std::string(face) : kSans;
  g_families.emplace(key, family);
  return family;
}

QFont MakeQFont(const Font& font) {
  const std::string family = ResolveFontFamily(font.face);
  QFont q(QString::fromStdString(family));
  int pixels = kDefaultPixelSize;
  if (font.height < 0) {
    pixels = font.height < -kMaxPixelSize ? kMaxPixelSize : -font.height;
  } else if (font.height > 0) {
    pixels = static_cast<int>(std::lround(font.height / CellRatio(family)));
  }
  q.setPixelSize(std::clamp(pixels, 1, kMaxPixelSize));
  const int weight = font.weight == 0 ? kFontWeightNormal : std::clamp(font.weight, 100, 900);
  q.setWeight(static_cast<QFont::Weight>(weight));
  q.setItalic(font.italic);
  q.setUnderline(font.underline);
  q.setStrikeOut(font.strike_out);
  return q;
}

}  // namespace vd::ui
