#pragma once
// The small controls the dialogs bind to their items: a distance-unit combo box, a colour
// combo box, an icon combo box and a colour swatch. Colours are 0x00BBGGRR values.
#include <QComboBox>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/colour.h"
#include "platform/ui/geometry.h"
#include "platform/ui/image.h"

namespace vd::ui {
class Surface;
}  // namespace vd::ui

// The six distance units. The unit chosen last in any of them is the one every unit combo of
// the program opens with: the profile's "unitctl"/"sel".
class CUnitCombo : public QComboBox {
 public:
  struct Unit {
    const char* text;
    float per_nautical_mile;
  };
  static constexpr Unit kUnits[] = {{"NM", 1.0f},          {"Mi", 1.1507823f},
                                    {"yds", 2025.333f},    {"ft", 6076.0f},
                                    {"km", 1.852f},        {"m", 1852.0f}};
  static constexpr int kUnitCount = 6;
  static constexpr int kDefaultUnit = 1;  // "Mi"
  static constexpr char kSection[] = "unitctl";
  static constexpr char kKey[] = "sel";

  explicit CUnitCombo(QWidget* parent = nullptr);
  // Writes the unit last taken by GetFactor (or selected by Fill).
  ~CUnitCombo() override;

  // Adds the six units and selects the stored one (a stored value outside the units is
  // brought to the nearest one).
  void Fill();
  // Units per nautical mile of the selected unit, which is remembered; 0 when no unit is
  // selected (the remembered unit then stays).
  float GetFactor();

 private:
  int remembered_ = -1;
};

// Colours without text, each item a filled rectangle 14 pixels high.
class CColorCombo : public QComboBox {
 public:
  static constexpr int kItemHeight = 14;
  static constexpr vd::ui::ColourRef kStandard[] = {
      vd::ui::MakeColourRef(0, 0, 0),       vd::ui::MakeColourRef(255, 0, 0),
      vd::ui::MakeColourRef(100, 100, 0),   vd::ui::MakeColourRef(0, 255, 0),
      vd::ui::MakeColourRef(0, 100, 100),   vd::ui::MakeColourRef(0, 0, 255),
      vd::ui::MakeColourRef(100, 0, 100),   vd::ui::MakeColourRef(255, 255, 0),
      vd::ui::MakeColourRef(0, 255, 255),   vd::ui::MakeColourRef(255, 0, 255),
      vd::ui::MakeColourRef(255, 255, 255)};

  explicit CColorCombo(QWidget* parent = nullptr);

  void FillStandard();
  // Selects the first item of that colour, appending one when there is none.
  void Select(vd::ui::ColourRef colour);
  // The selected item's colour; nothing when no item is selected.
  std::optional<vd::ui::ColourRef> GetSelectedColour() const;
  vd::ui::ColourRef ColourAt(int index) const;

  // Paints item `index` into `rect`.
  void DrawItem(vd::ui::Surface& dc, const vd::ui::Rect& rect, int index, bool selected) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// Icons of the icon library with their names. Each item: the icon drawn on white at its own
// size, its hot spot on the item's middle line, and the name 40 pixels to the right.
class CIconCombo : public QComboBox {
 public:
  static constexpr int kFileIconKey = -1;  // the "File icon" item
  static constexpr int kItemHeight = 18;   // times the screen's scale factor
  static constexpr int kNameOffset = 40;

  struct Item {
    std::shared_ptr<const vd::ui::Image> image;  // may be null
    int hot_spot_x = 0;
    int hot_spot_y = 0;
    std::string name;
    int key = 0;  // the icon library's index, kFileIconKey for the file icon
  };

  // scale: the screen's scale factor, for the item height.
  explicit CIconCombo(QWidget* parent = nullptr, float scale = 1.0f);

  void AddItem(std::shared_ptr<const vd::ui::Image> image, int hot_spot_x, int hot_spot_y,
               const std::string& name, int key);
  // Selects the first item with the key; its index, or -1 when there is none.
  int SelectKey(int key);
  // The key of an item; 0 for an index without an item.
  int GetKey(int index) const;
  // Removes every item.
  void ClearItems() {
    items_.clear();
    clear();
  }
  int item_height() const { return item_height_; }

  void DrawItem(vd::ui::Surface& dc, const vd::ui::Rect& rect, int index, bool selected) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<Item> items_;
  int item_height_;
};

// A swatch filled with one colour.
class CColorBox : public QWidget {
 public:
  explicit CColorBox(QWidget* parent = nullptr);
  // Stores the colour and repaints.
  void SetColour(vd::ui::ColourRef colour);
  vd::ui::ColourRef colour() const { return colour_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  vd::ui::ColourRef colour_ = 0;
};
