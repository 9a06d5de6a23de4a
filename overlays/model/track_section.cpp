#include "overlays/model/track_section.h"

#include <cmath>
#include <limits>
#include <vector>

#include "core/serializable_stream.h"
#include "geodesy/chart_view_georef.h"
#include "geodesy/default_units.h"
#include "geodesy/local_projection.h"
#include "overlays/model/overlay_painter.h"
#include "overlays/model/overlay_selection.h"
#include "overlays/model/overlay_sheets.h"
#include "overlays/model/overlay_time.h"
#include "overlays/model/overlay_track.h"

bool CTrackSection::Serialize(CSerializableStream& stream) {
  CSerializableStream::Block block(stream);
  int32_t stored = count;
  if (!block.ok() || !stream.ExchangeRaw(&stored, sizeof stored)) return false;
  if (stored < 0 || stored > kCapacity) return false;
  // A count without its points (an older writer's) holds nothing.
  count = stream.IsReading() && stream.AtBlockEnd() ? 0 : stored;
  return stream.ExchangeArray(points.data(), static_cast<size_t>(count)) && !stream.Failed();
}

void CTrackSection::Project(CScreenPoints& screen, const ChartViewGeoref& georef) {
  screen.Clear();
  float x;
  float y;
  if (count < 2 || !georef.LatLonToScreen(points[0].latitude, points[0].longitude, x, y)) {
    screen.ComputeBounds();
    return;
  }
  for (int32_t i = 0; i < count; ++i) {
    if (georef.LatLonToScreen(points[i].latitude, points[i].longitude, x, y)) {
      screen.Append({x, y});
    }
  }
  screen.valid = true;
  screen.ComputeBounds();
}

void CTrackSection::Draw(vd::ui::Surface& dc, const CScreenTransform& view,
                         const CScreenPoints& screen) {
  if (screen.points.size() < 2 || owner == nullptr) return;
  if (COverlayPainter* painter = COverlayPainter::Get()) {
    painter->DrawTrackSection(*this, dc, view, screen);
  }
}

bool CTrackSection::IsLive() const { return count >= 2 && owner != nullptr && owner->live; }

bool CTrackSection::OnTap(float /*x*/, float /*y*/, const GeoPoint& position) {
  CLocalProjection plane;
  plane.SetOrigin(position.lat, position.lon);
  double nearest = std::numeric_limits<double>::infinity();
  for (int32_t i = 0; i < count; ++i) {
    const CTrackPoint& point = points[static_cast<size_t>(i)];
    const double distance = plane.DistanceSquared(point.latitude, point.longitude);
    if (distance < nearest) {
      nearest = distance;
      tapped_index = i;
    }
  }
  COverlaySelection::Replace(this);
  CDefaultUnits::Global().UpdateMagneticVariation(position.lat, position.lon,
                                                  TimeTo1970(GetNow()));
  NotifyChange(kAppeared);
  return true;
}

bool CTrackSection::OnKey(int32_t /*code*/, int32_t /*data*/) {
  COverlaySheets* sheets = COverlaySheets::Get();
  return owner != nullptr && owner->live && sheets != nullptr && sheets->OpenTrackSheet(*this);
}
