#include "charts/geo_name_database_builder.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "charts/chart_reader_services.h"
#include "charts/old_geo_name_database.h"
#include "core/text_tokenizer.h"
#include "platform/os/codepage.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"

namespace {

constexpr size_t kReadChunk = 1 << 16;
constexpr size_t kWriteChunk = 1 << 20;

void ShowError(const std::string& text) {
  if (const ChartReaderServices services = GetChartReaderServices(); services.show_error) {
    services.show_error(text);
  }
}

bool IsWellFormedUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t extra;
    uint32_t code;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      code = lead & 0x07;
    } else {
      return false;
    }
    if (text.size() - i <= extra) return false;
    for (size_t k = 1; k <= extra; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and code points above U+10FFFF.
    if ((extra == 2 && code < 0x800) || (extra == 3 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += extra + 1;
  }
  return true;
}

// The lines of a text file, each cut to kMaxPlaceLine bytes, without the line end.
class LineReader {
 public:
  bool Open(const std::string& path) { return file_.Open(path, vd::os::File::Mode::Read); }
  bool Rewind() {
    start_ = end_ = 0;
    at_end_ = false;
    return file_.Seek(0, SEEK_SET);
  }
  // False at the end of the file (or on a read error).
  bool Next(std::string& line) {
    line.clear();
    bool any = false;
    while (true) {
      if (start_ == end_ && !Fill()) return any;
      any = true;
      const char* begin = buffer_.data() + start_;
      const void* newline = std::memchr(begin, '\n', end_ - start_);
      const size_t taken = newline ? static_cast<const char*>(newline) - begin : end_ - start_;
      if (line.size() < kMaxPlaceLine)
        line.append(begin, std::min(taken, kMaxPlaceLine - line.size()));
      start_ += taken;
      if (newline) {
        ++start_;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
      }
    }
  }

 private:
  bool Fill() {
    if (at_end_) return false;
    const int64_t got = file_.Read(buffer_.data(), buffer_.size());
    start_ = 0;
    end_ = got > 0 ? static_cast<size_t>(got) : 0;
    at_end_ = got <= 0;
    return got > 0;
  }

  vd::os::File file_;
  std::vector<char> buffer_ = std::vector<char>(kReadChunk);
  size_t start_ = 0;
  size_t end_ = 0;
  bool at_end_ = false;
};

// The index being written: header, then the records, then the counts.
class IndexWriter {
 public:
  bool Open(const std::string& input_path, const std::string& output_path) {
    const std::optional<vd::os::FileIdentity> input = vd::os::IdentifyFile(input_path);
    if (input && input == vd::os::IdentifyFile(output_path)) return false;
    if (!writer_.Open(output_path)) return false;
    const int64_t magic = kGeoNameMagic;
    buffer_.assign(reinterpret_cast<const char*>(&magic), sizeof magic);
    buffer_.append(8, '\0');
    return true;
  }
  bool Add(int32_t category, double lat, double lon, std::string_view name) {
    AppendGeoNameRecord(buffer_, category, lat, lon, name);
    return buffer_.size() < kWriteChunk || Flush();
  }
  bool Finish(int32_t categories, int32_t places) {
    const int32_t counts[2] = {categories, places};
    return Flush() && writer_.file().PWrite(counts, sizeof counts, 8) && writer_.Commit();
  }

 private:
  bool Flush() {
    const bool written = writer_.file().Write(buffer_.data(), buffer_.size());
    buffer_.clear();
    return written;
  }

  vd::os::AtomicFileWriter writer_;
  std::string buffer_;
};

// Categories in order of first appearance.
class CategoryList {
 public:
  void Add(const std::string& name) {
    if (index_.emplace(name, static_cast<int32_t>(names_.size())).second) names_.push_back(name);
  }
  int32_t IndexOf(const std::string& name) const {
    const auto it = index_.find(name);
    return it == index_.end() ? 0 : it->second;
  }
  const std::vector<std::string>& names() const { return names_; }

 private:
  std::vector<std::string> names_;
  std::unordered_map<std::string, int32_t> index_;
};

// A place read from a line.
struct PlaceLine {
  std::string category;
  double lat = 0.0;
  double lon = 0.0;
  std::string name;  // Windows-1252
};

enum class LineResult { kSkip, kUse, kBadFormat };

// The shared frame of both builders: `read` parses a line (Windows-1252 bytes) into a place.
// The first pass collects the categories of the lines it uses, the second writes their places.
// A format error stops the build with the line's number (counting every line) and text.
int Build(const std::string& input_path, const std::string& output_path,
          const std::function<LineResult(std::string_view, bool, PlaceLine&)>& read) {
  LineReader reader;
  if (!reader.Open(input_path)) {
    ShowError("Failed to open input file");
    return -1;
  }
  IndexWriter writer;
  if (!writer.Open(input_path, output_path)) {
    ShowError("Failed to open output file");
    return -1;
  }
  enum class PassResult { kDone, kBadFormat, kFailed };
  // `use` is called with each place; false ends the pass as failed.
  const auto run_pass = [&](bool positions, const std::function<bool(const PlaceLine&)>& use) {
    if (!reader.Rewind()) return PassResult::kFailed;
    std::string text;
    for (int number = 1; reader.Next(text); ++number) {
      if (text.empty() || text.front() == '!') continue;
      const bool utf8 = IsWellFormedUtf8(text);
      const std::string bytes = utf8 ? vd::os::Utf8ToCp1252(text) : text;
      PlaceLine place;
      switch (read(bytes, positions, place)) {
        case LineResult::kSkip:
          continue;
        case LineResult::kBadFormat:
          ShowError("Bad format index file: line " + std::to_string(number) + " (" +
                    (utf8 ? text : vd::os::Cp1252ToUtf8(text)) + ")");
          return PassResult::kBadFormat;
        case LineResult::kUse:
          if (!use(place)) return PassResult::kFailed;
      }
    }
    return PassResult::kDone;
  };
  CategoryList categories;
  const auto collect = [&](const PlaceLine& place) {
    // A place without a category counts in the first category.
    if (!place.category.empty()) categories.Add(place.category);
    return true;
  };
  if (run_pass(false, collect) != PassResult::kDone) return -1;
  for (const std::string& name : categories.names()) {
    if (!writer.Add(0, 0.0, 0.0, name)) return -1;
  }
  int32_t places = 0;
  const auto write = [&](const PlaceLine& place) {
    ++places;
    return writer.Add(categories.IndexOf(place.category), place.lat, place.lon, place.name);
  };
  if (run_pass(true, write) != PassResult::kDone) return -1;
  return writer.Finish(static_cast<int32_t>(categories.names().size()), places) ? 0 : -1;
}

// The pieces of the line between tabs, empty ones included.
std::vector<std::string_view> TabFields(std::string_view line) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    const size_t tab = line.find('\t', start);
    parts.push_back(line.substr(start, tab - start));
    if (tab == std::string_view::npos) return parts;
    start = tab + 1;
  }
}

}  // namespace

int BuildGeoNameDatabaseTab(const std::string& input_path, const std::string& output_path) {
  return Build(input_path, output_path, [](std::string_view line, bool, PlaceLine& place) {
    const std::vector<std::string_view> parts = TabFields(line);
    const auto field = [&parts](size_t i) {
      return i < parts.size() ? parts[i] : std::string_view();
    };
    if (field(0).empty()) return LineResult::kSkip;
    place.name = field(0);
    place.category = field(1);
    const std::string_view region = field(2);
    if (region.size() == 2 || (region.size() > 2 && region[2] == ',')) {
      place.name += ", ";
      place.name += region.substr(0, 2);
    }
    vd::os::ParseDouble(field(5), place.lat);
    vd::os::ParseDouble(field(6), place.lon);
    return LineResult::kUse;
  });
}

int BuildGeoNameDatabaseCsv(const std::string& input_path, const std::string& output_path) {
  return Build(input_path, output_path, [](std::string_view line, bool positions,
                                           PlaceLine& place) {
    TextTokenizer tokens(line);
    const std::optional<std::string> name = tokens.NextToken();
    if (!name || name->empty()) return LineResult::kSkip;
    const std::optional<std::string> category = tokens.NextToken();
    const std::optional<std::string> lat = tokens.NextToken();
    const std::optional<std::string> lon = tokens.NextToken();
    if (!category || !lon) return LineResult::kBadFormat;
    if (positions && (!vd::os::ParseDouble(*lat, place.lat) ||
                      !vd::os::ParseDouble(*lon, place.lon))) {
      return LineResult::kBadFormat;
    }
    place.name = *name;
    place.category = category->empty() ? "none" : *category;
    return LineResult::kUse;
  });
}
