#include "corvex/ui/route_card_writer.h"

#include <algorithm>
#include <cctype>

#include "charts/elevation_file.h"
#include "app/app_common.h"
#include "core/path_utils.h"
#include "corvex/ui/route_card_pictures.h"
#include "overlays/obj_route.h"
#include "overlays/obj_waypoint.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"

namespace {

std::string Escaped(const std::string& value, bool xml) {
  std::string out;
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:
        if (!xml || byte >= 0x20 || c == '\t' || c == '\n' || c == '\r') out += c;
    }
  }
  return out;
}

// A path as a link target: bytes outside the unreserved set and '/' become %XX.
std::string PercentEncoded(const std::string& path) {
  std::string out;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~')
      out += c;
    else
      out += vd::os::FormatC("%%%02X", byte);
  }
  return out;
}

bool IsPicture(const std::string& path) {
  std::string ext = GetPathExtension(path);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return ext == "JPG" || ext == "GIF" || ext == "BMP" || ext == "PNG";
}

}  // namespace

std::string CRouteCardWriter::Expand(const std::string& text, bool xml,
                                     const std::string& picture_folder) {
  const auto& points = route_.points();
  const int count = static_cast<int>(points.size());
  CAppCommon* app = CAppCommon::Instance();
  int current = count > 0 ? 0 : -1;
  int previous = -1;
  int counter = 0;
  size_t mark = std::string::npos;

  auto advance = [&] {
    previous = current;
    if (current < 0 || current + 1 >= count) {
      current = -1;
      return;
    }
    int next = current + 1;
    while (data_.only_labelled && next < count - 1 &&
           points[next]->label_mode == CObjWaypoint::kLabelSymbolOnly)
      ++next;
    current = next;
  };
  auto leg_ascent = [&](double& ascent, double& descent) {
    ascent = descent = 0.0;
    if (data_.elevation) route_.GetAscentDescentBetween(ascent, descent, previous, current);
  };
  auto depth = [&](double metres) { return app ? app->FormatDepth(metres) : std::string(); };

  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char code = text[++i];
    const CObjWaypoint* point = current >= 0 ? points[current] : nullptr;
    const bool leg = point && previous >= 0;
    std::string value;
    switch (code) {
      case '%': out += '%'; continue;
      case '^': mark = i + 1; continue;
      case '#':
        if (mark == std::string::npos) {
          ++counter;
          advance();
        }
        value = std::to_string(counter);
        break;
      case '$':
        if (mark == std::string::npos) continue;
        ++counter;
        if (current >= 0 && current + 1 < count) {
          advance();
          i = mark - 1;
        } else {
          current = -1;
        }
        continue;
      case 'N': value = route_.name; break;
      case 'D': value = data_.distance; break;
      case 'A': value = data_.ascent; break;
      case 'S': value = data_.descent; break;
      case 'T': value = data_.time; break;
      case 'n': if (point) value = point->name; break;
      case 'p': if (point) FormatPositionText(point->position.lat, point->position.lon, value); break;
      case 'c': if (point) value = point->comment; break;
      case 'l': if (point) value = point->link; break;
      case 'e':
        if (point && data_.elevation)
          value = depth(data_.elevation->GetHeight(point->position.lat, point->position.lon));
        break;
      case 'd':
        if (leg && app) value = app->FormatDistance(route_.DistanceBetween(previous, current));
        break;
      case 'b':
        if (leg && app) {
          double distance = 0.0, bearing = 0.0;
          points[previous]->position.DistanceAndBearingTo(point->position, distance, bearing);
          value = app->FormatBearing(bearing);
        }
        break;
      case 'a':
      case 's':
        if (leg && data_.elevation) {
          double ascent = 0.0, descent = 0.0;
          leg_ascent(ascent, descent);
          value = depth(code == 'a' ? ascent : descent);
        }
        break;
      case 't':
        if (leg) {
          double ascent = 0.0, descent = 0.0;
          leg_ascent(ascent, descent);
          double seconds = ascent * data_.ascent_seconds_per_metre +
                           descent * data_.descent_seconds_per_metre;
          if (data_.speed_knots > 0.0)
            seconds += route_.DistanceBetween(previous, current) * 3600.0 / data_.speed_knots;
          value = CAppCommon::FormatDuration(static_cast<int64_t>(seconds));
        }
        break;
      case 'i':
        if (point && data_.thumbnails && IsPicture(point->link))
          out += vd::os::FormatC("<img src=\"%s\" height=%d>", PercentEncoded(point->link).c_str(),
                                 data_.thumbnail_height);
        continue;
      case 'M': {
        if (picture_folder.empty() || !data_.overview_map) continue;
        const std::string path = picture_folder + "/routemap.bmp";
        std::string copyright;
        if (!data_.overview_map(path, copyright)) continue;
        int width = 800, height = 800;
        ReadBitmapSize(path, width, height);
        if (width > 400 && int64_t(width) * 4 > int64_t(height) * 3)
          out += vd::os::FormatC("<img src=\"%s\" width=100%%>", PercentEncoded(path).c_str());
        else
          out += vd::os::FormatC("<img src=\"%s\" height=%d>", PercentEncoded(path).c_str(),
                                 std::min(height, 800));
        if (!copyright.empty()) out += "\n<br>&copy; " + Escaped(copyright, xml) + "<br>";
        continue;
      }
      case 'P': {
        if (picture_folder.empty() || !data_.profile) continue;
        const std::string path = picture_folder + "/routeprofile.bmp";
        if (data_.profile(path))
          out += vd::os::FormatC("<img src=\"%s\" width=100%%>", PercentEncoded(path).c_str());
        continue;
      }
      default:
        out += '%';
        out += code;
        continue;
    }
    out += Escaped(value, xml);
  }
  return out;
}

bool CRouteCardWriter::Write(const std::string& template_path, const std::string& temp_folder,
                             std::string& output_path, std::string& error) {
  std::string text;
  if (!vd::os::ReadWholeFile(template_path, text)) {
    error = "Failed to open route card template (see Settings...)";
    return false;
  }
  const std::string ext = GetPathExtension(template_path);
  const bool xml = ext.size() == 3 && std::tolower(static_cast<unsigned char>(ext[0])) == 'x' &&
                   std::tolower(static_cast<unsigned char>(ext[1])) == 'm' &&
                   std::tolower(static_cast<unsigned char>(ext[2])) == 'l';
  const std::string card = Expand(text, xml, temp_folder);
  output_path = temp_folder + "/route." + ext;
  vd::os::AtomicFileWriter writer;
  if (!writer.Open(output_path, vd::os::Links::kReplace) || !writer.file().Write(card.data(), card.size()) ||
      !writer.Commit()) {
    error = "Failed to open temporary file\n";
    return false;
  }
  return true;
}
