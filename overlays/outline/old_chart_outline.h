#pragma once
// The chart library: one COldChartOutline per chart file the program knows, kept in the
// document's object list beside the overlays. An outline holds the chart's boundary, its texts
// from the chart header, its scale and a colour by map type; it draws itself as a coloured
// polygon on the other charts' views and picks the charts that cover a position.
//
// RefreshChartList rebuilds the library by scanning the chart folders; ImportChartFile (and
// AddChartToList) turns one found file into an outline. Chart files (".qct") are imported as
// they are; other map formats go through an installed converter plug-in, and are skipped when
// none takes them.
//
// Paths in memory use '/'; a path read from a stored file may hold '\' and is converted.
// User-interface thread only.
#include <functional>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "geodesy/geo_point.h"
#include "overlays/ostrel_object.h"
#include "platform/ui/colour.h"
#include "platform/ui/image.h"

class CConverterPlugins;
class COldChartOutline;
class QWidget;

// What an outline asks of its document beside COstrelDocBase: a view of its own chart. The
// program's document implements both; with a document without it, CentreInView does nothing.
class CChartOutlineDocument {
 public:
  // Finds the open view of the outline's chart file, or opens one, and centres it on the
  // position at the scale value (flag 1: asked from the chart library). A chart that can't be
  // opened leaves the views as they are.
  virtual void OpenChartViewAt(COldChartOutline& outline, double lat, double lon, double scale,
                               int flag) = 0;

 protected:
  ~CChartOutlineDocument() = default;
};

class COldChartOutline : public COstrelObject {
 public:
  // "COldChartOutline": the name overlay files store.
  static const OverlayClass kClass;
  // "CChartOutline": the name configuration documents store. Derived from kClass, so an
  // outline read under either name is a COldChartOutline; outlines report it while a
  // ConfigNameScope lives.
  static const OverlayClass kConfigClass;

  // While one lives, every outline's GetRuntimeClass is kConfigClass: the configuration
  // document's writer holds one around writing its outline list.
  class ConfigNameScope {
   public:
    ConfigNameScope();
    ~ConfigNameScope();
    ConfigNameScope(const ConfigNameScope&) = delete;
    ConfigNameScope& operator=(const ConfigNameScope&) = delete;

   private:
    bool previous_;
  };

  // Bit of header_flags set for a merge of several charts (as the chart header marks one);
  // also set for an outline named "Merged..." when read from an archive.
  static constexpr uint32_t kMergedFlag = 0x04;
  static constexpr uint32_t kOnlineFlag = 0x40;  // the header's online-chart bit
  static constexpr vd::ui::ColourRef kDefaultColour = 0xFF00FF;

  // No points, colour kDefaultColour, all flags false, scale 0.
  COldChartOutline();
  ~COldChartOutline() override;

  // ---- Overlay object slots ----
  const OverlayClass& GetRuntimeClass() const override;
  // The record after the base's; older schemas read as far as they go (schema 9 and below
  // rebuild the outline from the chart file). Links are made relative to, and resolved
  // against, the archive's link folder.
  void Serialize(COverlayArchive& archive) override;
  // The points' extent; all four 0 and false without points.
  bool GetBounds(double& min_lat, double& max_lat, double& min_lon,
                 double& max_lon) const override;
  // The points as pixels of the view's chart; no points when any of them can't be converted.
  void PrepareView(CMappedObject& mapped, COldQuickChart* chart, CRubberBand& band) override;
  // A 1-pixel polygon in the outline's colour, dashed for a chart without tiles, not filled.
  void Draw(vd::ui::Surface& dc, vd::ui::Graphics& graphics, CMappedObject& mapped,
            bool quick_draw) override;
  // The chart point as a position of the view's chart, inside the outline.
  bool HitTest(const vd::ui::Point& chart_point, CMappedObject& mapped, int zoom_step) override;
  // Has the document show this chart centred on the middle of the outline's extent, at the
  // scale value 8 x scale.
  void CentreInView() override;
  void OnInitPopupMenu(vd::ui::PopupMenu& menu) override;  // nothing to adjust

  // ---- Operations ----
  // Even-odd point-in-polygon over the points.
  bool ContainsPoint(double lat, double lon) const;
  // The middle of the points' extent ((0, 0) without points).
  void GetCentre(double& lat, double& lon) const;
  // How well the chart suits the position: 0 outside the outline; with a wanted scale > 0,
  // r = wanted / scale, or 1 / r when r > 1 (1 is a perfect fit); without one, 1 / scale
  // (0 when scale is not positive).
  float ScaleMatch(double lat, double lon, double wanted_scale) const;
  // Recomputes disk_size from the disk and returns it: the source file's size for a chart
  // without tiles, else the chart file's, plus its ".qc3" store folder for a chunk-store chart.
  int64_t GetDiskSize();
  // disk_size from the chart file alone (the source file for a chart without tiles), a chunk
  // store's folder left uncounted: what reading a record or a chart header sets, since walking
  // a folder takes as long as the folder is big. GetDiskSize completes it where it is shown.
  void SizeChartFileOnly();
  // Deletes the chart file, then the ".qc3" and ".qcc" folder trees beside it, then this
  // object (it is gone on return). False, with errno telling why and nothing deleted, when the
  // chart file can't be deleted.
  bool DeleteChartFiles();
  // Every view of the document showing this chart file opens it again.
  void RefreshViews();
  // Sets colour from the map type (first four letters, any case).
  void SetColourFromMapType();
  // The chart keeps its tiles in a chunk store (version 0x10000000 and above).
  bool IsChunkStore() const;
  bool IsMerged() const { return (header_flags & kMergedFlag) != 0; }

  // ---- Fields ----
  std::vector<GeoPoint> points;  // boundary, WGS84 (datum shift applied)
  std::string map_type;          // first four letters name the kind of map
  std::string chart_id;          // header text 0x18
  std::string header_text_24;    // header text 0x24, carried
  std::string chart_path;        // the chart file
  std::string source_path;       // the file the chart was made from (chart_path when unknown)
  std::string title;             // header text 0x10
  std::string description;       // "Edition: ...; Scale: ...; ..." from the header texts
  std::string rights;            // header text 0x28 (not archived)
  // The chart holds no tile data of its own (a reference to a chart elsewhere); the map list
  // shows such a map as never loaded.
  bool no_tiles = false;
  int64_t disk_size = 0;         // bytes (not archived; GetDiskSize)
  double scale = 0.0;            // nautical miles per pixel at the chart's centre; 0 = none
  vd::ui::ColourRef colour = kDefaultColour;
  bool has_datum_shift = false;
  double shift_lat = 0.0;        // degrees
  double shift_lon = 0.0;        // degrees
  uint32_t header_flags = 0;     // the header's flags word, with kMergedFlag
  uint32_t chart_version = 0;    // the header's version word
  int32_t reserved = 0;          // carried unchanged

  // Run-time state of the map list (never archived).
  bool selected = false;
  vd::ui::Image thumbnail;  // null when there is none
};

// Colour of an outline for a map type.
vd::ui::ColourRef OutlineColourForMapType(const std::string& map_type);

// Fills the outline from the chart file's header. A file that can't be opened names the
// outline "Missing file: <path>"; a file that isn't a chart, or of a version this program can't
// read, is reported in an error box. False in those cases.
bool ReadQuickChartHeader(COldChartOutline& outline, const std::string& path);

// Turns one map file into an outline of the list and returns it: an outline already made from
// it is returned (with loading, one of the same converted chart that has no tiles is dropped
// and made again). A chart file is read where it lies, except on a removable disc: with loading
// it is copied into the folder of converted charts (setting "qct_dir", created when missing)
// with its ".qed" and ".vdq" companions, and when that fails the user may have a reference
// chart made instead ("Copy failed: do you want to continue loading maps?"); without loading
// the reference chart is made. A file of another format is converted into that folder by the
// converter plug-ins (interactive unless loading). Null when nothing could be read. A new
// outline is appended with a reference and its views are told.
COldChartOutline* ImportChartFile(ObjectList& list, const std::string& path,
                                  CConverterPlugins& converter, bool loading);
// The same with the plug-ins owned by the active window.
COldChartOutline* ImportChartFile(ObjectList& list, const std::string& path, bool loading);
// ImportChartFile outside a scan.
COldChartOutline* AddChartToList(ObjectList& list, const std::string& path);

// Whether a path lies on a removable disc; replaceable for tests, returns the test it replaces.
using RemovableDiscTest = std::function<bool(const std::string& path)>;
RemovableDiscTest SetRemovableDiscTest(RemovableDiscTest test);

// The chart files found in the chart folders (sub-folders too with search_subdirs), sorted,
// each once. Folders reached twice through links are searched once.
std::set<std::string> ListChartFiles(const std::set<std::string>& folders, bool search_subdirs);

// Rebuilds the library: removes every outline from the list (other objects stay; with rebuild
// their views reload first), then imports every map file of the folders (settings
// "search_subdirs" and "qct_dir") under a progress window: "Loading maps..." on first_load (the
// first scan of a new library; conversions then run without their dialogs), else "Refreshing map
// list...". rebuild: conversions in qct_dir whose source this scan meets are deleted first, to
// be made again. The user may cancel, and is asked whether to go on after a file fails.
// parent: owner of the windows and of the plug-ins' dialogs (the active window when null).
void RefreshChartList(ObjectList& list, const std::set<std::string>& folders, bool first_load,
                      bool rebuild, QWidget* parent = nullptr);

// Sorts by scale, most nautical miles per pixel first (stable); the first, or null when empty.
COldChartOutline* SortOutlinesByScale(std::vector<COldChartOutline*>& outlines);
