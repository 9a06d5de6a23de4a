#pragma once
// A fixed-size piece of a track: up to 64 points, drawn as one line. Consecutive sections share
// one point: a new section begins with a copy of the previous section's last point.
#include <array>
#include <cstdint>

#include "core/serializable.h"
#include "overlays/model/overlay_object.h"
#include "overlays/model/track_point.h"

class COverlayTrack;

class CTrackSection : public COverlayObject, public CSerializable {
 public:
  static constexpr int32_t kCapacity = 64;

  explicit CTrackSection(COverlayTrack* owner = nullptr)
      : COverlayObject(kTrackSection, kDrawKeyLine), owner(owner) {}

  // One block: the point count, then the points.
  bool Serialize(CSerializableStream& stream) override;

  bool Full() const { return count >= kCapacity; }
  void Append(const CTrackPoint& point) { points[static_cast<size_t>(count++)] = point; }
  const CTrackPoint& Last() const { return points[static_cast<size_t>(count - 1)]; }

  void Project(CScreenPoints& screen, const ChartViewGeoref& georef) override;
  void Draw(vd::ui::Surface& dc, const CScreenTransform& view,
            const CScreenPoints& screen) override;
  bool IsLive() const override;
  // Also notes the section's point nearest the tap (tapped_index).
  bool OnTap(float x, float y, const GeoPoint& position) override;
  // Opens the track's action sheet at the tapped point.
  bool OnKey(int32_t code, int32_t data) override;

  int32_t count = 0;
  std::array<CTrackPoint, kCapacity> points{};
  COverlayTrack* owner;
  int32_t tapped_index = 0;  // the point of the last tap
};
