#pragma once
// The mark of the overlay model: a named point with a symbol from the icon library, a colour,
// an optional comment and linked file, an optional circle that can raise a proximity or anchor
// alarm, and back-links to the routes that use it as a route point. A mark that no route holds
// is a free-standing mark; one held by routes is shown and edited as a route point.
//
// User-interface thread only.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "overlays/ostrel_object.h"
#include "platform/ui/colour.h"
#include "platform/ui/image.h"

class WaypointRouteLink;

// Where a mark's alarms and links reach the desktop. The defaults beep on the terminal bell,
// hand documents and web addresses to the desktop, start programs without a shell, show help
// pages and have no file icons (a mark showing its linked file's icon then shows symbol 10);
// tests install a recorder.
class WaypointShell {
 public:
  virtual ~WaypointShell() = default;
  virtual void Beep();
  virtual bool OpenDocument(const std::string& path_or_url);
  virtual bool StartProgram(const std::string& program, const std::vector<std::string>& args);
  virtual bool ShowHelpTopic(const std::string& topic);
  // The desktop's icon for a file; nothing when it has none.
  virtual std::optional<vd::ui::Image> FileIcon(const std::string& path);
};

class CObjWaypoint : public COstrelObject {
 public:
  static const OverlayClass kClass;  // "CObjWaypoint"

  enum CircleMode : int32_t {
    kHideCircle = 0,
    kShowCircle = 1,      // "Show, no alarm"
    kProximityAlarm = 2,
    kAnchorAlarm = 3,
  };
  // 1 shows the symbol only; 0 and 2 write the name beside it.
  static constexpr int32_t kLabelSymbolOnly = 1;
  static constexpr int kMarkPopupMenu = 136;
  static constexpr int kRoutePopupMenu = 137;
  static constexpr int32_t kFileSymbol = -1;    // the linked file's own icon
  static constexpr int32_t kFallbackSymbol = 10;

  // Name "Mark", category "Marks", layer 0x3c; the application's default mark colour and
  // symbol; being placed until placed by the user or read.
  CObjWaypoint();
  // Every route holding the mark drops it.
  ~CObjWaypoint() override;

  const OverlayClass& GetRuntimeClass() const override;
  // A loaded mark's back-links come from the routes' point lists (CObjRoute::LinkAfterLoad);
  // its stored route list is read past.
  void Serialize(COverlayArchive& archive) override;
  void UnlinkAfterLoad() override;
  void SetVisible(bool visible) override;
  bool GetBounds(double& min_lat, double& max_lat, double& min_lon,
                 double& max_lon) const override;
  // Shows the object in a chart window (the best chart for it).
  void CentreInView() override;
  bool IsExportable() const override;
  bool CollectForUndo(ObjectList& list) override;
  void Select(bool notify) override;
  void Deselect() override;
  bool IsSameObject(const COstrelObject& other) const override;
  void SetLocked(bool lock) override;
  void PrepareView(CMappedObject& mapped, COldQuickChart* chart, CRubberBand& band) override;
  void Draw(vd::ui::Surface& dc, vd::ui::Graphics& graphics, CMappedObject& mapped,
            bool quick_draw) override;
  bool HitTest(const vd::ui::Point& chart_point, CMappedObject& mapped, int zoom_step) override;
  bool OnLButtonDown(const CLatLon& point, CMappedObject* hit) override;
  bool OnLButtonUp(const CLatLon& point) override;
  bool OnDoubleClick(const CLatLon& point) override;
  bool OnContextMenu(COstrelViewBase* view, const vd::ui::Point& client_point) override;
  bool OnKeyDown(int key) override;
  bool GetStatusText(std::string& text, const CLatLon& cursor, CMappedObject* hit) override;
  // One "WP05" line; nothing for a mark still being placed.
  bool WriteText(std::string& out) override;
  // A "WP" line; true when it gave a valid position (the mark is then placed).
  bool ReadText(std::string_view line) override;

  // Places the mark: short name (and the name when empty), comment, position, label mode,
  // visible, the symbol; code 2.
  void Set(double lat, double lon, const std::string& short_name_text,
           const std::string& comment_text, int32_t symbol, int32_t label);
  void SetSymbol(int32_t number);
  void SetSymbolByName(const std::string& symbol_name);
  // "File" for the file icon, "Dot" without a slot, else the library's name.
  std::string GetSymbolName() const;
  bool HasColourLayer() const;
  bool UsesCustomIcon() const;

  // The alarm test of one position fix; true while the alarm condition holds.
  bool CheckProximity(const CLatLon& position);

  // Who asks to open the link: the user (a program is started only when they confirm) or an
  // alarm (a program is never started).
  enum class LinkRequest { kUser, kAlarm };
  // Opens the link: help topics ("chm::/") in the help viewer, web addresses (http, https) and
  // existing files through the desktop; a program only as the request allows. True when opened.
  bool OpenLink(LinkRequest request = LinkRequest::kUser);

  // ---- Routes ----
  const std::vector<WaypointRouteLink*>& routes() const;
  bool HasRoutes() const { return !routes().empty(); }
  // A route took the mark into its point list (once per occurrence).
  void AddRouteLink(WaypointRouteLink* route);
  // Every occurrence of the route leaves the back-links; with delete_if_orphan, an unlocked
  // mark left without routes deletes itself without asking (it may be gone on return).
  void RemoveRouteLink(WaypointRouteLink* route, bool delete_if_orphan);
  bool IsInCurrentRoute() const;
  // With a current route: insert mode after (before) this mark, and null; else this mark.
  CObjWaypoint* InsertAfterInCurrentRoute();
  CObjWaypoint* InsertBeforeInCurrentRoute();
  // Every route recomputes its length and gets the change code.
  void NotifyRoutes(int code);
  // With a current route: its Delete(ask) and the result; else ask as it was given.
  static int DeleteCurrentRoute(bool ask);
  bool IsInnerPointOfVisibleRoute() const;
  // Every route holding the mark (each once) is split at it, the second part starting with a
  // copy of the mark.
  void SplitRoutesHere();
  // Two routes that can be joined at this mark: a visible, unlocked route of more than one
  // point that starts (ends) here, and the document's route whose last (first) point lies
  // nearest, the nearest over all such routes; first then goes before second. False for a
  // locked mark and when there is no such pair.
  bool FindJoinableRoutes(CObjRoute*& first, CObjRoute*& second) const;
  void SetCategoryIfWaypoint(const std::string& category_name);

  // The icon library's hooks: marks of a deleted slot show symbol 0; renumbered symbols.
  static void ResetSymbolsOfSlot(const ObjectList& list, int slot);
  static void RenumberSymbols(const ObjectList& list, const std::map<int32_t, int32_t>& mapping);

  // Installs the two functions above as the icon library's mark hooks.
  static void InstallIconLibraryHooks();
  // Null puts the default shell back.
  static void SetShell(WaypointShell* shell);

  // ---- Fields ----
  // Ordered so that none leaves a gap (a file may hold a million marks); the first fills the
  // space the base class leaves at its end.
  int32_t symbol = 0;
  CLatLon position;
  int32_t label_mode = kLabelSymbolOnly;
  float radius = 0.0f;  // metres
  int32_t circle_mode = kHideCircle;
  vd::ui::ColourRef colour = 0;
  bool alarm_raised = false;
  bool being_placed = true;
  bool dragging = false;  // from the button going down on it until it goes up

 private:
  int16_t hot_x_ = 0;  // the icon's hot spot, pixels from its top left corner
  int16_t hot_y_ = 0;

 public:
  std::string comment;
  std::string link;  // full path, web address, program command line or help topic

  int32_t symbol_slot() const { return slot_; }
  int32_t route_lock_count() const { return route_lock_count_; }

 private:
  // The current route when it holds the mark, else the first route of the back-links.
  WaypointRouteLink* PreferredRoute() const;
  bool HoldsRoute(const WaypointRouteLink* route) const;
  void DropImage();
  // The mark has an entry among the route links (the base class's flag, which an import reads
  // with the rest of the object's first bytes).
  bool has_routes() const { return class_flag_; }
  // The mark's back-links; made when the mark first joins a route.
  std::vector<WaypointRouteLink*>& RouteLinks();
  void ForgetRouteLinks();

  int32_t slot_ = 0;
  int32_t route_lock_count_ = 0;
  std::shared_ptr<const vd::ui::Image> image_;
};
