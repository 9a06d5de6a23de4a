#pragma once
// The common base of the docking data panes (navigation, position, satellites, profiles): the
// CDataWnd every pane is to the document, with the panes' common look (pale yellow background,
// bold Arial, black text, red for one paint after SetHighlight), the placement saved in the
// profile, the context menu, printing and saving as a bitmap.
//
// A pane joins the application's list of data panes when it is made and leaves it when its
// window is destroyed. It is made with `new`, shown by CreatePane and deletes itself after
// DestroyWindow (closing its docking pane destroys it too).
//
// Placement: profile section "settings", the pane's key, "x:y:width:height" of the floating
// pane's outer rectangle in screen pixels. The pane's own window sits inside that rectangle
// below a 22-pixel caption and within 5-pixel borders.
#include <memory>
#include <string>
#include <vector>

#include "app/app_common.h"
#include "app/shell_services.h"
#include "gps/ui/docking_wnd.h"
#include "platform/ui/colour.h"
#include "platform/ui/font.h"
#include "platform/ui/geometry.h"
#include "platform/ui/popup_menu.h"

namespace vd::ui {
class PrintDocument;
class Surface;
}  // namespace vd::ui

class CDataPane : public CDockingWnd, public CDataWnd {
 public:
  static constexpr int kPrintCommand = 33435;
  static constexpr vd::ui::ColourRef kBackground = vd::ui::MakeColourRef(255, 255, 220);
  static constexpr int kBorder = 5;
  static constexpr int kCaption = 22;

  struct Placement {
    int x = 0;
    int y = 43;
    int width = 75;
    int height = 75;
    friend bool operator==(const Placement&, const Placement&) = default;
  };

  // settings_key empty: the placement is not saved. context_menu_id 0: no context menu.
  CDataPane(int pane_id, std::string settings_key, const Placement& placement,
            int context_menu_id = 0);
  ~CDataPane() override;

  // ---- CDataWnd ----
  // Nothing here; panes react to 1 (deleted), 2 (changed), 4 and 5 as they need.
  void Update(COstrelObject* object, int hint) override;
  // Saves the placement, leaves the list of panes, closes the docking pane and deletes the
  // pane once control is back in the event loop.
  void DestroyWindow() override;

  // ---- Pane operations ----
  // Paints the pane's contents; the font, a transparent background and the text colour are
  // set. Nothing here.
  virtual void Draw(vd::ui::Surface& dc);
  // Reads the saved placement, makes the pane font and shows the pane with the title at the
  // placement (in the host's docking pane with this pane id, else as a window under parent).
  // x and y are then 0. False when the pane could not be shown.
  virtual bool CreatePane(const std::string& title, QWidget* parent = nullptr);
  // Sets the check marks of the context menu before it shows. Nothing here.
  virtual void OnSettingsChanged(vd::ui::PopupMenu& menu);
  // The context menu: the pane's own items (FillContextMenu), then "Print..."; null when the
  // pane has no context menu.
  std::unique_ptr<vd::ui::PopupMenu> LoadContextMenu();
  // A command of the context menu; true when handled. Here: kPrintCommand.
  virtual bool OnCommand(int id);

  // The pane's own items of the context menu. Nothing here.
  virtual void FillContextMenu(vd::ui::PopupMenu& menu);

  // Makes the pane font anew (Arial, the pane's weight) at a height (cell height, pixels).
  void CreatePaneFont(int height);
  // Sizes the font so the lines fill the pane: min(client height / lines, client width x 2 /
  // the longest line's characters), at least 10 x the scale factor. The font is made anew only
  // when the height changes.
  void FitFontToLines(const std::vector<std::string>& lines);
  // Draws the lines one font height apart from the top-left corner.
  void DrawLines(vd::ui::Surface& dc, const std::vector<std::string>& lines) const;
  // Paints the pane (white background, black text) into a 32-bit .bmp file of the client size:
  // the 14-byte file header, the 40-byte information header (100 pixels per metre), the rows
  // bottom-up in blue, green, red, 0 order. Written atomically; false (and the file untouched)
  // when it can't be written.
  bool SaveAsBitmap(const std::string& path);
  // Asks for a printer and prints the pane on one page.
  void Print();
  // Prints the pane on one page of `document`, scaled to the page with its shape kept. Tells
  // the user "Printer wouldn't initalize" or "Could not start page" and returns false when the
  // document or the page could not start (the document is then aborted).
  bool PrintTo(vd::ui::PrintDocument& document);
  // Paints the next paint's text in red.
  void SetHighlight() { highlight_ = true; }

  static void CheckMenuItemFlag(int id, vd::ui::PopupMenu& menu, bool flag);
  // The next pane of class T (or derived) on the application's list after `cursor` (from the
  // start when null); null when there is none.
  template <class T>
  static T* FindNextDataWnd(const CDataWnd* cursor = nullptr);

  // The screen's scale factor (fonts and default placements grow with it).
  static void SetDisplayScale(float scale);
  static float DisplayScale();

  // The placement text of a pane window at `window_rect` (screen coordinates): its outer
  // rectangle "x:y:width:height". Parsing reads what that wrote (a trailing ':' and anything
  // after the fourth number are ignored); false, and `placement` untouched, when the text does
  // not start with four numbers or gives a width or height below 1.
  static std::string FormatPlacement(const vd::ui::Rect& window_rect);
  static bool ParsePlacement(const std::string& text, Placement& placement);

  const Placement& placement() const { return placement_; }
  const std::string& settings_key() const { return settings_key_; }
  const vd::ui::Font& pane_font() const { return font_; }
  int font_height() const { return font_height_; }
  bool created() const { return created_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

  // The pane's font weight (700 unless a pane chose otherwise before CreatePane).
  int font_weight_ = vd::ui::kFontWeightBold;

 private:
  void PaintContents(vd::ui::Surface& dc, vd::ui::ColourRef text_colour);
  void SavePlacement();
  void LeaveList();

  std::string settings_key_;
  Placement placement_;
  int context_menu_id_;
  vd::ui::Font font_;
  int font_height_;
  bool highlight_ = false;
  bool created_ = false;
  bool destroyed_ = false;
};

template <class T>
T* CDataPane::FindNextDataWnd(const CDataWnd* cursor) {
  CAppCommon* app = CAppCommon::Instance();
  if (app == nullptr) return nullptr;
  const auto& panes = app->data_windows();
  auto it = panes.begin();
  if (cursor != nullptr) {
    while (it != panes.end() && *it != cursor) ++it;
    if (it != panes.end()) ++it;
  }
  for (; it != panes.end(); ++it) {
    if (T* pane = dynamic_cast<T*>(*it)) return pane;
  }
  return nullptr;
}
