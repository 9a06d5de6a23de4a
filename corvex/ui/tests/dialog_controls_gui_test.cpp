// The dialog controls: unit factors and the program-wide last unit, colour selection with
// custom colours, icon keys, and what the items and the swatch paint.
#include "corvex/ui/dialog_controls.h"

#include <gtest/gtest.h>

#include <QImage>
#include <memory>
#include <optional>

#include "core/persistent_value.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"
#include "tests/temp_dir.h"

namespace {

using vd::ui::MakeColourRef;

class DialogControlsTest : public ::testing::Test {
 protected:
  void SetUp() override { vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path()); }
  std::optional<int> StoredUnit() const {
    return vd::OpenAppProfile().GetInt(CUnitCombo::kSection, CUnitCombo::kKey);
  }
  vd::test::TempDir dir;
};

TEST_F(DialogControlsTest, UnitFactorsFollowTheSelection) {
  CUnitCombo combo;
  combo.Fill();
  ASSERT_EQ(combo.count(), 6);
  EXPECT_EQ(combo.currentText().toStdString(), "Mi");  // nothing stored yet
  struct Case {
    int index;
    const char* text;
    float factor;
  };
  const Case cases[] = {{0, "NM", 1.0f},     {1, "Mi", 1.1507823f}, {2, "yds", 2025.333f},
                        {3, "ft", 6076.0f},  {4, "km", 1.852f},     {5, "m", 1852.0f}};
  for (const Case& c : cases) {
    combo.setCurrentIndex(c.index);
    EXPECT_EQ(combo.currentText().toStdString(), c.text);
    EXPECT_FLOAT_EQ(combo.GetFactor(), c.factor) << c.text;
  }
}

TEST_F(DialogControlsTest, TheUnitLastUsedOpensEveryLaterUnitCombo) {
  {
    CUnitCombo first;
    first.Fill();
    first.setCurrentIndex(4);
    EXPECT_FLOAT_EQ(first.GetFactor(), 1.852f);
  }
  EXPECT_EQ(StoredUnit(), 4);
  CUnitCombo second;
  second.Fill();
  EXPECT_EQ(second.currentIndex(), 4);
}

TEST_F(DialogControlsTest, NoSelectionGivesFactorZeroAndKeepsTheLastUnit) {
  {
    CUnitCombo combo;
    combo.Fill();
    combo.setCurrentIndex(3);
    EXPECT_FLOAT_EQ(combo.GetFactor(), 6076.0f);
    combo.setCurrentIndex(-1);
    EXPECT_EQ(combo.GetFactor(), 0.0f);
  }
  // The empty selection was not stored: the next combo has a unit.
  EXPECT_EQ(StoredUnit(), 3);
  CUnitCombo next;
  next.Fill();
  EXPECT_FLOAT_EQ(next.GetFactor(), 6076.0f);
}

TEST_F(DialogControlsTest, StoredUnitOutsideTheListIsBroughtIntoIt) {
  const std::pair<int, int> cases[] = {{-1, 0}, {9, 5}, {2, 2}};
  for (auto [stored, shown] : cases) {
    vd::OpenAppProfile().SetInt(CUnitCombo::kSection, CUnitCombo::kKey, stored);
    CUnitCombo combo;
    combo.Fill();
    EXPECT_EQ(combo.currentIndex(), shown) << stored;
    EXPECT_GT(combo.GetFactor(), 0.0f) << stored;
  }
}

TEST_F(DialogControlsTest, ColourComboSelectsStandardColoursAndAddsCustomOnes) {
  CColorCombo combo;
  EXPECT_EQ(combo.GetSelectedColour(), std::nullopt);
  combo.FillStandard();
  ASSERT_EQ(combo.count(), 11);
  combo.Select(MakeColourRef(0, 0, 255));
  EXPECT_EQ(combo.currentIndex(), 5);
  EXPECT_EQ(combo.GetSelectedColour(), MakeColourRef(0, 0, 255));

  const vd::ui::ColourRef custom = MakeColourRef(12, 34, 56);
  combo.Select(custom);
  EXPECT_EQ(combo.count(), 12);
  EXPECT_EQ(combo.currentIndex(), 11);
  EXPECT_EQ(combo.GetSelectedColour(), custom);
  combo.Select(custom);  // found now, not added again
  EXPECT_EQ(combo.count(), 12);

  // The closed box shows the selected colour.
  combo.resize(90, 26);
  const QImage closed = combo.grab().toImage();
  EXPECT_EQ(QColor(closed.pixel(25, 13)), QColor(12, 34, 56));
}

TEST_F(DialogControlsTest, ColourItemIsARectangleOfItsColour) {
  CColorCombo combo;
  combo.FillStandard();
  vd::ui::Image image(40, CColorCombo::kItemHeight, 0xFF808080);
  {
    vd::ui::Surface dc(image);
    combo.DrawItem(dc, {0, 0, 40, CColorCombo::kItemHeight}, 1, false);
  }
  EXPECT_EQ(image.Pixel(20, 7), 0xFFFF0000u);  // red, inside
  EXPECT_EQ(image.Pixel(2, 2), 0xFF000000u);   // the outline
  EXPECT_EQ(image.Pixel(0, 0), 0xFFFFFFFFu);   // the item's background
}

TEST_F(DialogControlsTest, IconComboFindsKeysAndTakesMoreThanAHundredItems) {
  CIconCombo combo;
  for (int i = 0; i < 150; ++i) combo.AddItem(nullptr, 0, 0, "icon " + std::to_string(i), i * 2);
  combo.AddItem(nullptr, 0, 0, "File icon", CIconCombo::kFileIconKey);
  EXPECT_EQ(combo.count(), 151);
  EXPECT_EQ(combo.SelectKey(240), 120);
  EXPECT_EQ(combo.currentIndex(), 120);
  EXPECT_EQ(combo.SelectKey(CIconCombo::kFileIconKey), 150);
  EXPECT_EQ(combo.SelectKey(3), -1);
  EXPECT_EQ(combo.currentIndex(), 150);  // unchanged by a key not found
  EXPECT_EQ(combo.GetKey(149), 298);
  EXPECT_EQ(combo.GetKey(151), 0);
  EXPECT_EQ(combo.GetKey(-1), 0);
}

TEST_F(DialogControlsTest, IconItemPlacesTheHotSpotOnTheMiddleLine) {
  const float scale = 2.0f;
  CIconCombo combo(nullptr, scale);
  ASSERT_EQ(combo.item_height(), 36);
  auto icon = std::make_shared<vd::ui::Image>(5, 5, 0xFF00FF00);
  icon->SetPixel(1, 3, 0xFFFF0000);  // the hot spot
  combo.AddItem(icon, 1, 3, "Anchor", 7);

  vd::ui::Image image(200, combo.item_height(), 0xFF808080);
  {
    vd::ui::Surface dc(image);
    combo.DrawItem(dc, {0, 0, 200, combo.item_height()}, 0, false);
  }
  const int left = combo.item_height() / 8;  // 4
  const int middle = combo.item_height() / 2;
  EXPECT_EQ(image.Pixel(left + 1, middle), 0xFFFF0000u);
  EXPECT_EQ(image.Pixel(left, middle - 3), 0xFF00FF00u);  // the icon's top-left
  EXPECT_EQ(image.Pixel(left, middle - 4), 0xFFFFFFFFu);  // white above it
  // The name starts 40 pixels on: black text there, nothing dark between icon and name.
  auto dark_in = [&](int x0, int x1) {
    for (int y = 0; y < image.Height(); ++y) {
      for (int x = x0; x < x1; ++x) {
        if ((image.Pixel(x, y) & 0xFFFFFF) == 0) return true;
      }
    }
    return false;
  };
  EXPECT_FALSE(dark_in(left + 5, left + CIconCombo::kNameOffset));
  EXPECT_TRUE(dark_in(left + CIconCombo::kNameOffset, 200));
}

// An icon's transparent pixels show the combo's white, in the list and in the closed box; a
// half-transparent one is blended with it.
TEST_F(DialogControlsTest, IconTransparencyShowsTheComboBehindIt) {
  CIconCombo combo;
  auto icon = std::make_shared<vd::ui::Image>(8, 8, 0x00000000);  // all transparent
  icon->SetPixel(2, 4, 0xFF0000FF);                                 // opaque blue
  icon->SetPixel(5, 4, 0x80FF0000);                                 // half-transparent red
  combo.AddItem(icon, 0, 4, "Buoy", 3);
  combo.SelectKey(3);
  combo.resize(160, combo.item_height() + 8);
  const QImage closed = combo.grab().toImage();
  // Where the icon's middle row shows in the closed box: its blue pixel, found on the screen.
  QPoint blue(-1, -1);
  for (int y = 0; y < closed.height() && blue.x() < 0; ++y)
    for (int x = 0; x < closed.width() / 2; ++x)
      if (QColor(closed.pixel(x, y)) == QColor(0, 0, 255)) {
        blue = {x, y};
        break;
      }
  ASSERT_GE(blue.x(), 0) << "the icon's opaque pixel shows";
  EXPECT_EQ(QColor(closed.pixel(blue.x() - 2, blue.y())), QColor(Qt::white)) << "transparent";
  EXPECT_EQ(QColor(closed.pixel(blue.x() + 1, blue.y() - 3)), QColor(Qt::white));
  const QColor half(closed.pixel(blue.x() + 3, blue.y()));
  EXPECT_GT(half.red(), 250);
  EXPECT_NEAR(half.green(), 127, 3) << "half red over white";
  EXPECT_NEAR(half.blue(), 127, 3);

  // The list's item drawn onto grey: white behind the icon, never black.
  vd::ui::Image item(120, combo.item_height(), 0xFF808080);
  {
    vd::ui::Surface dc(item);
    combo.DrawItem(dc, {0, 0, 120, combo.item_height()}, 0, false);
  }
  const int left = combo.item_height() / 8, middle = combo.item_height() / 2;
  EXPECT_EQ(item.Pixel(left + 2, middle), 0xFF0000FFu);
  for (int x = 0; x < 8; ++x) {
    if (x == 2 || x == 5) continue;
    EXPECT_EQ(item.Pixel(left + x, middle), 0xFFFFFFFFu) << x;
  }
}

TEST_F(DialogControlsTest, ColourBoxPaintsItsColour) {
  CColorBox box;
  box.resize(10, 8);
  box.SetColour(MakeColourRef(10, 200, 30));
  EXPECT_EQ(box.colour(), MakeColourRef(10, 200, 30));
  const QImage image = box.grab().toImage();
  EXPECT_EQ(QColor(image.pixel(0, 0)), QColor(10, 200, 30));
  EXPECT_EQ(QColor(image.pixel(9, 7)), QColor(10, 200, 30));
}

}  // namespace
