#include "overlays/obj_waypoint.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "charts/old_quick_chart.h"
#include "app/app_common.h"
#include "core/path_utils.h"
#include "core/text_tokenizer.h"
#include "core/url_utils.h"
#include "overlays/category.h"
#include "overlays/icon_library.h"
#include "overlays/mapped_object.h"
#include "overlays/obj_route.h"
#include "overlays/overlay_file.h"
#include "overlays/overlay_archive.h"
#include "overlays/route_links.h"
#include "platform/os/clock.h"
#include "platform/os/codepage.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"
#include "platform/os/process.h"
#include "platform/ui/graphics.h"
#include "platform/ui/help_pages.h"
#include "platform/ui/message_box.h"
#include "platform/ui/surface.h"
#include "platform/ui/window_messages.h"

const OverlayClass CObjWaypoint::kClass("CObjWaypoint", kOverlaySchema, &COstrelObject::kClass,
                                        &CreateArchiveObject<CObjWaypoint>);

namespace {

// The back-links of the marks that are in a route: most marks are in none, so the lists are kept
// beside the marks rather than in each.
std::unordered_map<const CObjWaypoint*, std::vector<WaypointRouteLink*>>& AllRouteLinks() {
  static auto* links = new std::unordered_map<const CObjWaypoint*, std::vector<WaypointRouteLink*>>;
  return *links;
}

// The mark being dragged with the mouse (one at a time) and where the drag started.
struct Drag {
  const CObjWaypoint* mark = nullptr;
  CLatLon start;
};
Drag g_drag;

// An icon's hot spot coordinate, in the range the mark keeps.
int16_t Pixels(int value) { return static_cast<int16_t>(std::clamp(value, -32768, 32767)); }

WaypointShell g_default_shell;
WaypointShell* g_shell = &g_default_shell;
WaypointRouteLink* g_current_route = nullptr;

constexpr float kMetresToNm = 0.0005399568f;
constexpr int32_t kMarkStyle = 0x3c000000;
constexpr int kLinkHitTolerance = 15;
constexpr char kFilePrefix[] = "_FILE_";
constexpr size_t kFileLinkStart = 7;  // "_FILE_ "
constexpr char kHelpMarker[] = "chm::/";
constexpr vd::ui::ColourRef kBlack = 0;

std::string WithSlashes(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::string FolderWithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

// A link read from a file: relative links lie in the folder of the file.
std::string ResolveLink(std::string_view stored, const std::string& folder) {
  std::string link = WithSlashes(std::string(stored));
  if (!folder.empty() && IsRelativePath(link)) return FolderWithSlash(folder) + link;
  return link;
}

std::string RelativeLink(const std::string& link, const std::string& folder) {
  return folder.empty() ? link : StripPathPrefix(link, FolderWithSlash(folder));
}

bool IsExistingFile(const std::string& path) {
  return vd::os::FileExists(path) && !vd::os::IsDirectory(path);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) ==
                                                std::tolower(static_cast<unsigned char>(b)); });
}

struct ProgramLink {
  std::string program;
  std::vector<std::string> args;
};

// A link that starts a program: "<path>.exe <parameters>", or a file that can run (execute
// permission or a program's extension). Everything else opens as a document.
std::optional<ProgramLink> AsProgramLink(const std::string& link) {
  size_t end = link.find(".exe ");
  if (end == std::string::npos) end = link.find(".EXE ");
  if (end != std::string::npos) {
    ProgramLink out{link.substr(0, end + 4), {}};
    std::string_view rest = std::string_view(link).substr(end + 5);
    while (!rest.empty()) {
      const size_t blank = rest.find(' ');
      if (blank != 0) out.args.emplace_back(rest.substr(0, blank));
      if (blank == std::string_view::npos) break;
      rest.remove_prefix(blank + 1);
    }
    return out;
  }
  static constexpr std::string_view kProgramExtensions[] = {"exe", "com", "bat", "cmd",
                                                            "sh",  "desktop", "AppImage"};
  const std::string extension = GetPathExtension(link);
  const bool program_extension =
      std::any_of(std::begin(kProgramExtensions), std::end(kProgramExtensions),
                  [&](std::string_view e) { return e.size() == extension.size() &&
                                                   StartsWithNoCase(extension, e); });
  if (program_extension || (IsExistingFile(link) && ::access(link.c_str(), X_OK) == 0)) {
    return ProgramLink{link, {}};
  }
  return std::nullopt;
}

size_t Utf8Length(std::string_view text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// A text field in double quotes, quotes inside doubled.
std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + '"';
}

// The next field as an integer; nothing when the line has no more fields or this one is empty.
std::optional<int64_t> NextInt(TextTokenizer& fields, int base = 10) {
  const std::optional<std::string> token = fields.NextToken();
  int64_t value = 0;
  if (!token || !vd::os::ParseInt64(*token, value, base)) return std::nullopt;
  return value;
}

std::optional<double> NextDouble(TextTokenizer& fields) {
  const std::optional<std::string> token = fields.NextToken();
  double value = 0;
  if (!token || !vd::os::ParseDouble(*token, value)) return std::nullopt;
  return value;
}

// One undo step for the mark, and for the route being built when there is one: the click
// that adds the mark to it is undone in one go.
void SaveUndoStep(COstrelObject& object, COstrelObject* current_route) {
  const OverlayUndoHook& hook = COstrelObject::UndoHook();
  if (current_route && hook.save_for_list) {
    hook.save_for_list(ObjectList{&object, current_route});
  } else if (hook.save_for_object) {
    hook.save_for_object(object);
  }
}

}  // namespace

// ---- Shell defaults ----

void WaypointShell::Beep() {
  std::fputc('\a', stderr);
  std::fflush(stderr);
}

bool WaypointShell::OpenDocument(const std::string& path_or_url) {
  return vd::os::OpenDocument(path_or_url);
}

bool WaypointShell::StartProgram(const std::string& program, const std::vector<std::string>& args) {
  return vd::os::Spawn(program, args, false).started;
}

std::optional<vd::ui::Image> WaypointShell::FileIcon(const std::string&) { return std::nullopt; }

bool WaypointShell::ShowHelpTopic(const std::string& topic) {
  const size_t marker = topic.find(kHelpMarker);
  return vd::ui::OpenHelpTopic(marker == std::string::npos
                                   ? topic
                                   : topic.substr(marker + sizeof(kHelpMarker) - 1));
}

// ---- Current route ----

WaypointRouteLink* CurrentWaypointRoute() { return g_current_route; }
void SetCurrentWaypointRoute(WaypointRouteLink* route) { g_current_route = route; }

// ---- CObjWaypoint ----

void CObjWaypoint::InstallIconLibraryHooks() {
  CIconLibrary::Get().SetMarkHooks(
      [](ObjectList& list, int slot) { ResetSymbolsOfSlot(list, slot); },
      [](ObjectList& list, const std::map<int32_t, int32_t>& mapping) {
        RenumberSymbols(list, mapping);
      });
}
void CObjWaypoint::SetShell(WaypointShell* shell) { g_shell = shell ? shell : &g_default_shell; }

CObjWaypoint::CObjWaypoint() {
  CIconLibrary::Get().EnsureLoaded();
  name = "Mark";
  SetCategory("Marks");
  style = kMarkStyle;
  context_menu_id = kMarkPopupMenu;
  const CAppCommon* app = CAppCommon::Instance();
  colour = app ? static_cast<vd::ui::ColourRef>(app->default_mark_colour) : 255;
  SetSymbol(app ? app->default_mark_symbol : kFallbackSymbol);
  NotifyChange(kChangeAdded);
}

CObjWaypoint::~CObjWaypoint() {
  // A route may drop its last reference to itself when it loses the mark: hold one on each
  // while they are told, so none goes away in the middle of the walk.
  if (g_drag.mark == this) g_drag = {};
  std::vector<WaypointRouteLink*> snapshot;
  for (WaypointRouteLink* route : routes()) {
    if (std::find(snapshot.begin(), snapshot.end(), route) == snapshot.end()) {
      snapshot.push_back(route);
    }
  }
  ForgetRouteLinks();
  for (WaypointRouteLink* route : snapshot) route->RouteObject().AddRef();
  for (WaypointRouteLink* route : snapshot) route->DropDeletedWaypoint(*this);
  for (WaypointRouteLink* route : snapshot) route->RouteObject().Release();
}

const OverlayClass& CObjWaypoint::GetRuntimeClass() const { return kClass; }

void CObjWaypoint::UnlinkAfterLoad() { ForgetRouteLinks(); }

const std::vector<WaypointRouteLink*>& CObjWaypoint::routes() const {
  static const std::vector<WaypointRouteLink*> none;
  return has_routes() ? AllRouteLinks().find(this)->second : none;
}

std::vector<WaypointRouteLink*>& CObjWaypoint::RouteLinks() {
  class_flag_ = true;
  return AllRouteLinks()[this];
}

void CObjWaypoint::ForgetRouteLinks() {
  if (!has_routes()) return;
  AllRouteLinks().erase(this);
  class_flag_ = false;
}

void CObjWaypoint::Serialize(COverlayArchive& archive) {
  COstrelObject::Serialize(archive);
  position.Serialize(archive);
  const std::string& folder = archive.link_folder();
  if (archive.IsStoring()) {
    archive.WriteCount(static_cast<uint32_t>(routes().size()));
    for (WaypointRouteLink* route : routes()) archive.WriteObject(&route->RouteObject());
    archive.WriteString(link.empty() ? comment
                                     : std::string(kFilePrefix) + " " +
                                           RelativeLink(link, folder) + "\n" + comment);
    archive.WriteInt32(label_mode);
    archive.WriteFloat(radius);
    archive.WriteInt32(symbol);
    archive.WriteString(short_name);
    archive.WriteInt32(circle_mode);
    archive.WriteInt32(static_cast<int32_t>(colour));
    return;
  }
  const uint16_t schema = archive.GetObjectSchema();
  if (schema >= 8) {
    // The stored route list is only read past: the routes' point lists give the back-links
    // once the whole load is read (CObjRoute::LinkAfterLoad), so a list naming a route that
    // does not hold the mark, or one that never reaches the document, links nothing.
    const uint32_t count = archive.ReadCount(2);
    for (uint32_t i = 0; i < count; ++i) {
      auto* object = archive.ReadObject<COstrelObject>();
      if (!dynamic_cast<WaypointRouteLink*>(object)) {
        throw COverlayArchiveException(COverlayArchiveException::kBadClass,
                                       "A mark's route list holds something else");
      }
    }
    archive.ReadString(comment);
    label_mode = archive.ReadInt32();
    radius = archive.ReadFloat();
    const int32_t stored_symbol = archive.ReadInt32();
    archive.ReadString(short_name);
    link.clear();
    if (comment.starts_with(kFilePrefix)) {
      const std::string_view text = comment;
      const size_t line_end = std::min(text.find('\n'), text.size());
      const size_t start = std::min(kFileLinkStart, line_end);
      link = ResolveLink(text.substr(start, line_end - start), folder);
      comment = line_end < text.size() ? std::string(text.substr(line_end + 1)) : std::string();
      SetCategoryIfWaypoint("HotSpot");
    }
    if (label_mode < 0 || label_mode > 2) label_mode = kLabelSymbolOnly;
    if (schema < 17) {
      circle_mode = radius > 0 ? kProximityAlarm : radius < 0 ? kAnchorAlarm : kHideCircle;
      radius = std::fabs(radius);
    } else {
      circle_mode = archive.ReadInt32();
      if (circle_mode < kHideCircle || circle_mode > kAnchorAlarm) circle_mode = kHideCircle;
    }
    if (schema < 25) {
      colour = CIconLibrary::SymbolDefaultColour(stored_symbol);
    } else {
      colour = static_cast<vd::ui::ColourRef>(archive.ReadInt32());
    }
    SetSymbol(stored_symbol);
    const CIconLibraryEntry* entry = CIconLibrary::Get().Entry(slot_);
    // Only a symbol that is there to draw decides: a library that could not load it leaves the
    // stored colour alone.
    if (entry && entry->image && !entry->has_colour_layer) colour = entry->default_colour;
  }
  being_placed = false;
  if (circle_mode == kProximityAlarm) SetCategoryIfWaypoint("Proximity alarm");
  if (circle_mode == kAnchorAlarm) SetCategoryIfWaypoint("Anchor alarm");
}

void CObjWaypoint::SetVisible(bool value) {
  if (routes().empty()) COstrelObject::SetVisible(value);
}

bool CObjWaypoint::GetBounds(double& min_lat, double& max_lat, double& min_lon,
                             double& max_lon) const {
  if (being_placed) {
    min_lat = max_lat = min_lon = max_lon = 0.0;
    return false;
  }
  min_lat = max_lat = position.lat;
  min_lon = max_lon = position.lon;
  return true;
}

bool CObjWaypoint::IsExportable() const { return routes().empty(); }

bool CObjWaypoint::CollectForUndo(ObjectList& list) {
  if (!COstrelObject::CollectForUndo(list)) return false;
  for (WaypointRouteLink* route : routes()) {
    COstrelObject& object = route->RouteObject();
    object.CollectForUndo(list);
    if (object.ref_count() == 0) object.AddRef();
  }
  return true;
}

WaypointRouteLink* CObjWaypoint::PreferredRoute() const {
  if (routes().empty()) return nullptr;
  return HoldsRoute(g_current_route) ? g_current_route : routes().front();
}

bool CObjWaypoint::HoldsRoute(const WaypointRouteLink* route) const {
  return route && std::find(routes().begin(), routes().end(), route) != routes().end();
}

void CObjWaypoint::Select(bool notify) {
  COstrelObject::Select(notify);
  if (WaypointRouteLink* route = PreferredRoute()) {
    g_current_route = route;
    if (route->RouteObject().visible) route->RouteObject().SetVisible(true);
  }
}

void CObjWaypoint::Deselect() {
  COstrelObject::Deselect();
  if (!routes().empty()) {
    WaypointRouteLink* previous = g_current_route;
    g_current_route = nullptr;
    if (HoldsRoute(previous) && previous->RouteObject().visible) {
      previous->RouteObject().SetVisible(true);
    }
  }
  if (being_placed) Delete(false);  // may destroy this object
}

bool CObjWaypoint::IsSameObject(const COstrelObject& other) const {
  if (&other.GetRuntimeClass() != &GetRuntimeClass()) return false;
  const auto& mark = static_cast<const CObjWaypoint&>(other);
  if (id() != 0 && id() == mark.id()) return true;
  const double dlat = position.lat - mark.position.lat;
  const double dlon = position.lon - mark.position.lon;
  return COstrelObject::IsSameObject(other) && dlat * dlat + dlon * dlon < 1e-10;
}

void CObjWaypoint::SetLocked(bool lock) {
  route_lock_count_ = static_cast<int32_t>(std::count_if(
      routes().begin(), routes().end(),
      [](WaypointRouteLink* route) { return route->RouteObject().locked; }));
  if (lock) ++route_lock_count_;
  COstrelObject::SetLocked(route_lock_count_ > 0);
}

void CObjWaypoint::PrepareView(CMappedObject& mapped, COldQuickChart* chart, CRubberBand& band) {
  ScreenPoint pixel;
  if (being_placed || !chart || !chart->LatLonToPixel(position.lat, position.lon, pixel)) {
    mapped.SetPointCount(0);
  } else if (mapped.SetPointCount(circle_mode != kHideCircle ? 3 : 1)) {
    auto points = mapped.chart_points();
    points[0] = {pixel.x, pixel.y};
    if (points.size() == 3) {
      const double nm_per_pixel = chart->ScaleAtPixel(pixel.x, pixel.y);
      const double r = nm_per_pixel > 0 ? radius / (nm_per_pixel * 1852.0) : 0.0;
      const int ri = std::isfinite(r) && r < 1e9 ? static_cast<int>(r) : 0;
      points[1] = {pixel.x - ri, pixel.y - ri};
      points[2] = {pixel.x + ri, pixel.y + ri};
    }
    if (!link.empty() && IsExistingFile(link)) hit_tolerance = kLinkHitTolerance;
  }
  mapped.kind = CMappedObject::kPoints;
  mapped.margins = {32, 32, 32, 32};

  if (IsSelected()) {
    band.Reset();
    if (being_placed) {
      band.active = true;
      band.label = "Click to place mark";
    } else if (dragging && !locked) {
      band.active = true;
      band.label = "Dragging waypoint";
      if (!routes().empty()) {
        int count = 0;
        for (WaypointRouteLink* route : routes()) count += route->CountNeighbours(*this);
        band.SetAnchorCount(count);
        auto anchors = band.anchors();
        size_t filled = 0;
        for (WaypointRouteLink* route : routes()) {
          filled += static_cast<size_t>(
              route->FillNeighbourAnchors(*this, chart, anchors.subspan(filled)));
        }
      } else {
        band.SetAnchorCount(1);
        if (mapped.point_count() > 0) band.anchors()[0] = mapped.chart_points()[0];
        band.box_mode = true;
      }
    }
  }

  mapped.Project();
  if (label_mode != kLabelSymbolOnly) {
    mapped.margins.right += 10 * static_cast<int>(Utf8Length(name));
  }
}

void CObjWaypoint::Draw(vd::ui::Surface& dc, vd::ui::Graphics& graphics, CMappedObject& mapped,
                        bool quick_draw) {
  const auto points = mapped.client_points();
  if (points.empty()) return;
  const int x = points[0].x;
  const int y = points[0].y;
  const float scale = mapped.view() ? mapped.view()->ScaleFactor() : 1.0f;
  const bool selected = IsSelected();

  if (quick_draw && !selected && !IsInCurrentRoute()) {
    if (routes().empty()) {
      const int s = static_cast<int>(scale * 3);
      dc.FillRect({x - s, y - s, x + s, y + s}, colour);
    }
    return;
  }

  dc.Save();
  if (points.size() > 1 && circle_mode != kHideCircle) {
    const vd::ui::ColourRef ring = circle_mode == kShowCircle       ? 0x808080
                                   : circle_mode == kProximityAlarm ? 0x0000FF
                                                                    : 0x00C800;
    dc.SelectPen({vd::ui::LineStyle::Solid, 1, ring});
    dc.SetBackgroundMode(vd::ui::BackgroundMode::Transparent);
    dc.SelectBrush(circle_mode == kShowCircle ? vd::ui::Brush::Null()
                                              : vd::ui::Brush::BackwardDiagonalHatch(ring));
    dc.Ellipse({points[1].x, points[1].y, points[2].x, points[2].y});
  }
  if (label_mode != kLabelSymbolOnly) {
    dc.SetBackgroundMode(vd::ui::BackgroundMode::Opaque);
    dc.SetTextColour(kBlack);
    if (scale > 1.0001f) {
      vd::ui::Font font;
      font.face = "Arial";
      font.height = static_cast<int>(scale * 20);
      dc.SelectFont(font);
    }
    dc.TextOut({x + (symbol == kFileSymbol ? 13 : 3), y}, name);
  }
  if (!image_) image_ = CIconLibrary::Get().GetImage(slot_, colour);
  if (image_ && !image_->IsNull()) {
    graphics.DrawImage(*image_, {static_cast<float>(x - hot_x_), static_cast<float>(y - hot_y_),
                                 static_cast<float>(image_->Width()),
                                 static_cast<float>(image_->Height())});
  }
  if (selected) {
    const int s = static_cast<int>(scale * 16);
    dc.SelectPen({vd::ui::LineStyle::Solid, 1, kBlack});
    dc.SelectBrush(vd::ui::Brush::Null());
    dc.Rectangle({x - s, y - s, x + s, y + s});
  }
  dc.Restore();
}

bool CObjWaypoint::HitTest(const vd::ui::Point& chart_point, CMappedObject& mapped,
                           int zoom_step) {
  mapped.hit_index = -1;
  if (mapped.point_count() == 0 || !visible) return false;
  const double scale = mapped.view() ? mapped.view()->ScaleFactor() : 1.0;
  const double tolerance = ShiftByZoom(zoom_step) * scale;
  const vd::ui::Point first = mapped.chart_points()[0];
  const double dx = double(chart_point.x) - first.x;
  const double dy = double(chart_point.y) - first.y;
  if (dx * dx + dy * dy > tolerance * tolerance) return false;
  mapped.hit_index = 0;
  return true;
}

bool CObjWaypoint::OnLButtonDown(const CLatLon& point, CMappedObject*) {
  dragging = true;
  g_drag = {this, point};
  if (CAppCommon* app = CAppCommon::Instance()) {
    app->UpdateMagneticVariation(point.lat, point.lon, vd::os::NowSeconds1970());
  }
  if (!routes().empty() &&
      !(g_current_route && (HoldsRoute(g_current_route) || g_current_route->IsInInsertMode()))) {
    g_current_route = routes().front();
  }
  if (!(g_current_route && g_current_route->IsInInsertMode())) Select(true);
  return true;
}

bool CObjWaypoint::OnLButtonUp(const CLatLon& point) {
  if (!dragging) return false;
  dragging = false;
  const CLatLon start = g_drag.mark == this ? g_drag.start : position;
  g_drag = {};
  const bool changed = !locked && (being_placed || !(point == start));
  COstrelObject* route = g_current_route ? &g_current_route->RouteObject() : nullptr;
  if (changed) {
    SaveUndoStep(*this, route);
    position = point;
    being_placed = false;
    NotifyRoutes(kChangeModified);
  } else if (route) {
    SaveUndoStep(*this, route);
  }
  if (g_current_route) g_current_route->InsertWaypointWhileEditing(*this);
  NotifyChange(changed ? kChangeModified : kChangeEditState);
  return true;
}

bool CObjWaypoint::OnDoubleClick(const CLatLon& point) {
  if (g_current_route && g_current_route->IsInInsertMode()) {
    g_current_route->InsertWaypointWhileEditing(*this);
  } else if (link.empty()) {
    COstrelObject::OnDoubleClick(point);
  } else {
    OpenLink(LinkRequest::kUser);
  }
  return true;
}

bool CObjWaypoint::OnContextMenu(COstrelViewBase* view, const vd::ui::Point& client_point) {
  if (WaypointRouteLink* route = PreferredRoute()) g_current_route = route;
  context_menu_id = routes().empty() ? kMarkPopupMenu : kRoutePopupMenu;
  return COstrelObject::OnContextMenu(view, client_point);
}

bool CObjWaypoint::OnKeyDown(int key) {
  switch (key) {
    case vd::ui::kVkBack:
    case vd::ui::kVkDelete:
      if (!locked) Delete(true);  // may destroy this object
      return true;
    case vd::ui::kVkInsert:
      InsertAfterInCurrentRoute();
      return true;
    default:
      return false;
  }
}

bool CObjWaypoint::GetStatusText(std::string& text, const CLatLon& cursor, CMappedObject*) {
  if (being_placed) return false;
  text = name;
  const CLatLon reference = (!locked && dragging) ? cursor : position;
  const CAppCommon* app = CAppCommon::Instance();
  if (WaypointRouteLink* route = PreferredRoute(); route && app) {
    const CObjWaypoint* before = nullptr;
    const CObjWaypoint* after = nullptr;
    route->GetNeighboursOfFirst(*this, before, after);
    double distance = 0;
    double bearing = 0;
    if (before) {
      before->position.DistanceAndBearingTo(reference, distance, bearing);
      text += "\nLeg before: " + app->FormatRangeBearing(distance, bearing);
    }
    if (after) {
      reference.DistanceAndBearingTo(after->position, distance, bearing);
      text += "\nLeg after: " + app->FormatRangeBearing(distance, bearing);
    }
  }
  std::string where;
  FormatPositionText(reference.lat, reference.lon, where);
  text += "\n" + where;
  return true;
}

bool CObjWaypoint::WriteText(std::string& out) {
  if (being_placed) return false;
  out += vd::os::FormatC(
      "WP05,%.6f,%.6f,%d,%s,%s,%s,%f,%d,%s,%d,%d,%s,%d,#%06x\n", position.lat, position.lon,
      // The comment is encoded from the file's code page, as the names are written in it.
      symbol, Quoted(EncodeNameLineBreaks(name)).c_str(), Quoted(UrlEncode(vd::os::Utf8ToCp1252(comment))).c_str(),
      Quoted(RelativeLink(link, CurrentOverlayFolder())).c_str(), static_cast<double>(radius),
      label_mode, Quoted(short_name).c_str(), visible ? 1 : 0, locked ? 1 : 0,
      Quoted(CCategory::GetNameOr(category())).c_str(), circle_mode, colour & 0xFFFFFFu);
  return true;
}

bool CObjWaypoint::ReadText(std::string_view line) {
  if (!line.starts_with("WP")) return false;
  TextTokenizer fields(line.substr(2));
  const std::optional<int64_t> version = NextInt(fields);
  const std::optional<double> lat = NextDouble(fields);
  const std::optional<double> lon = NextDouble(fields);
  const int32_t symbol_number = static_cast<int32_t>(NextInt(fields).value_or(0));
  const bool placed = version && lat && lon && *lat > -90 && *lat < 90 && *lon > -370 && *lon < 370;
  if (placed) {
    position = {*lat, *lon};
    being_placed = false;
  }
  // A line break in a name would end the record: it is written coded.
  name = DecodeNameLineBreaks(fields.NextToken().value_or(""));
  // The bytes are in the file's code page, as WriteText encoded them: taken as such, never
  // guessed from what they look like.
  comment = vd::os::Cp1252ToUtf8(UrlDecode(fields.NextToken().value_or("")));
  link = ResolveLink(fields.NextToken().value_or(""), CurrentOverlayFolder());
  SetSymbol(symbol_number);
  if (const std::optional<double> r = NextDouble(fields)) {
    radius = static_cast<float>(std::fabs(*r));
    if (*r > 0) circle_mode = kProximityAlarm;
    if (*r < 0) circle_mode = kAnchorAlarm;
  }
  if (const auto label = NextInt(fields)) {
    label_mode = *label >= 0 && *label <= 2 ? static_cast<int32_t>(*label) : kLabelSymbolOnly;
  }
  if (const auto text = fields.NextToken()) short_name = *text;
  if (const auto shown = NextInt(fields)) visible = *shown != 0;
  if (const auto lock = NextInt(fields)) locked = *lock != 0;
  if (const auto category_name = fields.NextToken(); category_name && !category_name->empty()) {
    SetCategory(*category_name);
  }
  if (const auto mode = NextInt(fields); mode && *mode >= kHideCircle && *mode <= kAnchorAlarm) {
    circle_mode = static_cast<int32_t>(*mode);
  }
  const std::optional<std::string> colour_text = fields.NextToken();
  int64_t stored_colour = 0;
  if (version.value_or(0) < 5) {
    colour = CIconLibrary::SymbolDefaultColour(symbol_number);
  } else if (colour_text && colour_text->starts_with('#') &&
             vd::os::ParseInt64(std::string_view(*colour_text).substr(1), stored_colour, 16)) {
    colour = static_cast<vd::ui::ColourRef>(stored_colour) & 0xFFFFFFu;
  }
  return placed;
}

void CObjWaypoint::Set(double lat, double lon, const std::string& short_name_text,
                       const std::string& comment_text, int32_t symbol_number, int32_t label) {
  short_name = short_name_text;
  if (name.empty()) name = short_name_text;
  comment = comment_text;
  position = {lat, lon};
  label_mode = label;
  being_placed = false;
  visible = true;
  SetSymbol(symbol_number);
  NotifyChange(kChangeModified);
}

void CObjWaypoint::DropImage() { image_.reset(); }

void CObjWaypoint::SetSymbol(int32_t number) {
  CIconLibrary& library = CIconLibrary::Get();
  symbol = number;
  DropImage();
  hot_x_ = hot_y_ = 0;
  slot_ = library.SlotOf(number);
  if (number != kFileSymbol || link.empty()) {
    if (const CIconLibraryEntry* entry = library.Entry(slot_)) {
      const int factor = entry->double_resolution ? 2 : 1;
      hot_x_ = Pixels(entry->hot_spot_x * factor);
      hot_y_ = Pixels(entry->hot_spot_y * factor);
    }
    return;
  }
  std::optional<vd::ui::Image> icon = g_shell->FileIcon(link);
  if (!icon || icon->IsNull()) {
    SetSymbol(kFallbackSymbol);
    return;
  }
  slot_ = -1;
  hot_x_ = Pixels(icon->Width() / 2);
  hot_y_ = Pixels(icon->Height() / 2);
  image_ = std::make_shared<const vd::ui::Image>(std::move(*icon));
}

void CObjWaypoint::SetSymbolByName(const std::string& symbol_name) {
  SetSymbol(CIconLibrary::Get().SymbolByName(symbol_name));
}

std::string CObjWaypoint::GetSymbolName() const {
  if (symbol == kFileSymbol) return "File";
  const CIconLibraryEntry* entry = CIconLibrary::Get().Entry(slot_);
  return slot_ < 0 || !entry ? "Dot" : entry->name;
}

bool CObjWaypoint::HasColourLayer() const {
  const CIconLibraryEntry* entry = CIconLibrary::Get().Entry(slot_);
  return entry && entry->has_colour_layer;
}

bool CObjWaypoint::UsesCustomIcon() const {
  const CIconLibraryEntry* entry = CIconLibrary::Get().Entry(slot_);
  return entry && entry->HasImage();
}
bool CObjWaypoint::CheckProximity(const CLatLon& fix) {
  if (circle_mode < kProximityAlarm) return false;
  const double d = fix.DistanceTo(position);
  const float r = radius * kMetresToNm;
  bool alarm = false;
  if (circle_mode == kProximityAlarm) {
    alarm = r >= d;
  } else if (circle_mode == kAnchorAlarm) {
    alarm = d - r > 0 && d - r < 1;
  }
  if (!alarm) {
    alarm_raised = false;
    return false;
  }
  if (!alarm_raised) {
    // Only a link that actually opened silences the beep; a refused one (a program) beeps.
    alarm_raised = !link.empty() && IsExistingFile(link) && OpenLink(LinkRequest::kAlarm);
    if (!alarm_raised) g_shell->Beep();
  }
  return true;
}

bool CObjWaypoint::OpenLink(LinkRequest request) {
  if (link.empty()) return false;
  if (link.find(kHelpMarker) != std::string::npos) return g_shell->ShowHelpTopic(link);
  if (const std::optional<ProgramLink> program = AsProgramLink(link)) {
    if (request == LinkRequest::kAlarm) return false;
    const std::string question = "The link of \"" + name + "\" starts the program\n" +
                                 program->program + "\nDo you want to run it?";
    if (vd::ui::RunMessageBox(nullptr, question, "Mark link",
                              vd::ui::kMbYesNo | vd::ui::kMbIconQuestion |
                                  vd::ui::kMbDefButton2) != vd::ui::kIdYes) {
      return false;
    }
    return g_shell->StartProgram(program->program, program->args);
  }
  if (StartsWithNoCase(link, "http://") || StartsWithNoCase(link, "https://")) {
    return g_shell->OpenDocument(link);
  }
  // Other address schemes could hand anything to the desktop: only files open.
  if (link.find("://") != std::string::npos || !IsExistingFile(link)) return false;
  return g_shell->OpenDocument(link);
}

void CObjWaypoint::AddRouteLink(WaypointRouteLink* route) {
  if (route) RouteLinks().push_back(route);
}

void CObjWaypoint::RemoveRouteLink(WaypointRouteLink* route, bool delete_if_orphan) {
  // The entry stays when it empties: a caller may be walking it.
  const auto removed = has_routes() ? std::erase(RouteLinks(), route) : 0;
  if (removed > 0 && delete_if_orphan && !locked && routes().empty()) Delete(false);
}

bool CObjWaypoint::IsInCurrentRoute() const { return HoldsRoute(g_current_route); }

CObjWaypoint* CObjWaypoint::InsertAfterInCurrentRoute() {
  if (!g_current_route) return this;
  g_current_route->StartInsertAfter(*this);
  return nullptr;
}

CObjWaypoint* CObjWaypoint::InsertBeforeInCurrentRoute() {
  if (!g_current_route) return this;
  g_current_route->StartInsertBefore(*this);
  return nullptr;
}

void CObjWaypoint::NotifyRoutes(int code) {
  for (WaypointRouteLink* route : routes()) {
    route->RecomputeLength();
    route->RouteObject().NotifyChange(code);
  }
}

int CObjWaypoint::DeleteCurrentRoute(bool ask) {
  return g_current_route ? g_current_route->RouteObject().Delete(ask) : ask;
}

bool CObjWaypoint::IsInnerPointOfVisibleRoute() const {
  return std::any_of(routes().begin(), routes().end(), [this](WaypointRouteLink* route) {
    return route->RouteObject().visible && route->HasInnerOccurrence(*this);
  });
}

namespace {

// The routes a mark's back-links name, each once, in back-link order.
std::vector<CObjRoute*> DistinctRoutes(const std::vector<WaypointRouteLink*>& links) {
  std::vector<CObjRoute*> routes;
  for (WaypointRouteLink* link : links) {
    auto* route = dynamic_cast<CObjRoute*>(&link->RouteObject());
    if (route && std::find(routes.begin(), routes.end(), route) == routes.end())
      routes.push_back(route);
  }
  return routes;
}

// The search radius that the nearest route end must beat, nautical miles.
constexpr double kJoinSearchNm = 2.5e7;

}  // namespace

void CObjWaypoint::SplitRoutesHere() {
  // Each split may take the mark's back-links apart, so the routes are fixed first and each
  // is held while it splits.
  std::vector<CObjRoute*> routes = DistinctRoutes(this->routes());
  for (CObjRoute* route : routes) route->AddRef();
  for (CObjRoute* route : routes) route->SplitAt(*this, true);
  for (CObjRoute* route : routes) route->Release();
}

bool CObjWaypoint::FindJoinableRoutes(CObjRoute*& first, CObjRoute*& second) const {
  first = second = nullptr;
  COstrelDocBase* doc = document();
  if (locked || !doc) return false;
  double best_nm = kJoinSearchNm;
  for (CObjRoute* route : DistinctRoutes(routes())) {
    const auto& points = route->points();
    if (!route->visible || route->locked || points.size() < 2) continue;
    if (points.front() == this) {
      CObjRoute* other = doc->FindRouteEndNearest(position.lat, position.lon, best_nm);
      if (other && other != route) {
        first = other;
        second = route;
      }
    }
    if (points.back() == this) {
      CObjRoute* other = doc->FindRouteStartNearest(position.lat, position.lon, best_nm);
      if (other && other != route) {
        first = route;
        second = other;
      }
    }
  }
  return first != nullptr;
}

void CObjWaypoint::SetCategoryIfWaypoint(const std::string& category_name) {
  if (category() && category()->name() == "Waypoint") SetCategory(category_name);
}

void CObjWaypoint::ResetSymbolsOfSlot(const ObjectList& list, int slot) {
  for (COstrelObject* object : list) {
    if (object->IsKindOf(kClass)) {
      auto* mark = static_cast<CObjWaypoint*>(object);
      if (mark->slot_ == slot) mark->SetSymbol(0);
    }
  }
}

void CObjWaypoint::RenumberSymbols(const ObjectList& list,
                                   const std::map<int32_t, int32_t>& mapping) {
  for (COstrelObject* object : list) {
    if (!object->IsKindOf(kClass)) continue;
    auto* mark = static_cast<CObjWaypoint*>(object);
    if (const auto entry = mapping.find(mark->symbol); entry != mapping.end()) {
      mark->SetSymbol(entry->second);
    }
  }
}

void CObjWaypoint::CentreInView() {
  if (document()) document()->OpenBestChartAt(position.lat, position.lon, 0.0, 2.0, 1);
}
