#pragma once
// The programs' tool bar pictures: small line drawings of their own, each drawn afresh at the
// size the bar asks for, so that every size is sharp. A picture is named by what it shows.
#include <QIcon>
#include <QImage>
#include <string>
#include <vector>

namespace vd::ui {

// The picture's name ("save", "mark", ...) drawn size x size pixels on a transparent ground;
// a null image for a name there is no picture of.
QImage DrawToolbarImage(const std::string& name, int size);
// The picture at the size and at the large size, for a button.
QIcon ToolbarIcon(const std::string& name, int size, int large_size);
// The names there are pictures of.
const std::vector<std::string>& ToolbarImageNames();

// The tool bar picture sizes of a display scale factor ((horizontal + vertical dots per inch)
// / 192, so 1.0 at 96 dpi): up to 1.4 the small set, up to 1.9 the middle one, above that
// the large one.
struct ToolbarImageSize {
  int set = 0;  // 0 small, 1 middle, 2 large
  int icon = 0;
  int large_icon = 0;
  bool operator==(const ToolbarImageSize&) const = default;
};
ToolbarImageSize ToolbarImageSizeFor(float display_scale);

}  // namespace vd::ui
