#pragma once
// A note on the chart: word-wrapped text in a box whose top-left corner is anchored at a
// latitude/longitude. The box keeps its pixel size at every zoom; only the anchor follows the
// chart. A new note is placed with one click, moved by dragging and made wider or narrower by
// dragging its right edge.
//
// Edit states: kPlacing -> kNormal on the first button-up; kNormal -> kResizing on a button-down
// at the right edge -> kNormal on button-up. Deselecting a note never placed deletes it.
//
// User-interface thread only.
#include <cstdint>
#include <string>
#include <string_view>

#include "overlays/ostrel_object.h"
#include "platform/ui/colour.h"
#include "platform/ui/geometry.h"

class CMappedView;

// The stored logical font of a note: the five int32 values and eight bytes of its binary form,
// and the face name (at most 31 characters).
struct TextFontRecord {
  static constexpr size_t kBinarySize = 28;
  static constexpr size_t kMaxFaceLength = 31;
  // The largest character or cell height a stored note may ask for, in pixels; heights read
  // from files are held to -kMaxHeight..kMaxHeight.
  static constexpr int32_t kMaxHeight = 4096;
  static int32_t ClampHeight(int64_t height) {
    return static_cast<int32_t>(height < -kMaxHeight ? -kMaxHeight
                                : height > kMaxHeight ? kMaxHeight
                                                      : height);
  }

  int32_t height = 0;  // negative: character height in pixels
  int32_t width = 0;
  int32_t escapement = 0;
  int32_t orientation = 0;
  int32_t weight = 400;
  uint8_t italic = 0;
  uint8_t underline = 0;
  uint8_t strike_out = 0;
  uint8_t char_set = 0;
  uint8_t out_precision = 0;
  uint8_t clip_precision = 0;
  uint8_t quality = 0;
  uint8_t pitch_and_family = 0;
  std::string face = "Arial";
};

class CObjText : public COstrelObject {
 public:
  static const OverlayClass kClass;  // "CObjText"

  enum EditState : int32_t { kNormal = 0, kPlacing = 1, kResizing = 2 };
  static constexpr int kObjectPopupMenu = 161;
  static constexpr int32_t kDefaultBoxWidth = 200;
  static constexpr int32_t kMinBoxWidth = 20;
  static constexpr int32_t kMaxBoxWidth = 2000;
  // Pixels between the text and its box.
  static constexpr int kBoxMargin = 3;

  // Name "Note", category "Text", layer 0x32, being placed, "Your text here...", Arial at 13
  // pixels and a 200-pixel box (both times the display scale), black text on a filled light
  // yellow background, word break.
  CObjText();

  const OverlayClass& GetRuntimeClass() const override;
  // After the base record: position, text, the font record, colours, fill, box width, text
  // format and the two reserved values.
  void Serialize(COverlayArchive& archive) override;
  // A note still being placed deletes itself (it may be gone on return).
  void Deselect() override;
  // Shows the note in a chart window (the best chart for it).
  void CentreInView() override;
  // One "TX01" line.
  bool WriteText(std::string& out) override;
  bool ReadText(std::string_view line) override;
  void PrepareView(CMappedObject& mapped, COldQuickChart* chart, CRubberBand& band) override;
  void Draw(vd::ui::Surface& dc, vd::ui::Graphics& graphics, CMappedObject& mapped,
            bool quick_draw) override;
  bool OnLButtonDown(const CLatLon& point, CMappedObject* hit) override;
  bool OnLButtonUp(const CLatLon& point) override;
  bool OnMouseMove(const CLatLon& point) override;
  bool GetStatusText(std::string& text, const CLatLon& cursor, CMappedObject* hit) override;

  // The size of the wrapped text (without the box margin) on a surface; selects the note's
  // font there.
  vd::ui::Size MeasureText(vd::ui::Surface& dc) const;

  // The screen's scale factor, for the default font height and box width of new notes.
  static void SetDisplayScale(float scale);

  // ---- Fields ----
  CLatLon position;  // top-left corner of the box
  std::string text;
  TextFontRecord font;
  vd::ui::ColourRef text_colour = 0;
  vd::ui::ColourRef background_colour = 0xc8ffff;
  bool fill_background = true;
  int32_t box_width = kDefaultBoxWidth;  // pixels
  uint32_t text_format = 0x10;           // the surface's kDrawText* layout flags
  int32_t reserved[2] = {0, 0};          // kept unchanged
  int32_t edit_state = kPlacing;
  bool button_down = false;
  CLatLon drag_offset;        // position minus the click position
  int32_t resize_anchor_x = 0;  // client x of the box's left edge during a width drag
  CMappedView* resize_view = nullptr;

 private:
  // Widths outside kMinBoxWidth..kMaxBoxWidth become kDefaultBoxWidth.
  static int32_t CheckedWidth(int32_t width);
};

// The object is a note still being placed.
bool IsEditingObjText(const COstrelObject* object);
