#pragma once
// The route card: a copy of a template (HTML or XML) in which '%' placeholders are filled from
// a route, its points and its legs. A block opened by "%^" and closed by "%$" repeats once per
// route point. Every value put in is UTF-8 and escaped for the markup (& < > "); file names in
// picture links are percent-encoded.
#include <functional>
#include <string>

class CObjRoute;
class CElevationFile;

struct RouteCardData {
  // The route window's totals: total distance, ascent, descent and estimated time (%D %A %S %T).
  std::string distance, ascent, descent, time;
  double speed_knots = 3.0;           // for leg times; 0 or less: no travelling time
  double ascent_seconds_per_metre = 6.0;
  double descent_seconds_per_metre = 0.0;
  bool thumbnails = true;             // %i
  bool only_labelled = false;         // the block skips points whose name is hidden
  int thumbnail_height = 70;
  const CElevationFile* elevation = nullptr;  // %e, %a, %s; null: no elevation data
  // %M and %P: the pictures written beside the card (in the output's folder) by these; an
  // unset one, or one that fails, puts nothing in the card.
  // The overview map: writes the bitmap file, giving the chart's copyright text.
  std::function<bool(const std::string& path, std::string& copyright)> overview_map;
  // The elevation profile: writes the bitmap file.
  std::function<bool(const std::string& path)> profile;
};

class CRouteCardWriter {
 public:
  CRouteCardWriter(CObjRoute& route, RouteCardData data) : route_(route), data_(std::move(data)) {}

  // The filled template; xml drops the control bytes XML does not allow from the values.
  // Pictures go to `picture_folder` (none when it is empty).
  std::string Expand(const std::string& template_text, bool xml,
                     const std::string& picture_folder = "");
  // Reads the template and writes the card as temp_folder + "/route." + the template's
  // extension, replacing that file only once complete. On failure returns false with the
  // message for the user in `error`.
  bool Write(const std::string& template_path, const std::string& temp_folder,
             std::string& output_path, std::string& error);

 private:
  CObjRoute& route_;
  RouteCardData data_;
};
