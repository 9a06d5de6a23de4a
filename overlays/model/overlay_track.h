#pragma once
// A track of the newer overlay model: a recorded or converted path kept as a list of sections
// of up to 64 points. It is stored inside the track manager's record and drawn through its
// sections.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "geodesy/local_projection.h"
#include "overlays/model/syncable.h"
#include "overlays/model/track_point.h"
#include "overlays/model/track_section.h"

class COverlayRoute;

class COverlayTrack : public CSyncable {
 public:
  static constexpr uint32_t kMaxCount = 10'000'000;

  // No sections; colour from the own-position setting gc_color2, width 2, solid.
  COverlayTrack();
  COverlayTrack(const COverlayTrack&) = delete;
  COverlayTrack& operator=(const COverlayTrack&) = delete;

  // No record type of its own: only stored inside the track manager's record.
  bool Serialize(CSerializableStream& stream) override;

  // Appends to the last section (a full one is followed by a new one starting with a copy of
  // its last point); announce: the receiving section announces kAppeared.
  bool AddPoint(const CTrackPoint& point, bool announce);
  std::optional<CTrackPoint> GetFirstPoint() const;
  std::optional<CTrackPoint> GetLastPoint() const;
  // The sum of the section counts (shared points counted in each).
  size_t PointCount() const;
  bool HasPoints() const { return PointCount() > 0; }
  // Metres; fills moving time (s) and maximum speed (m/s).
  double GetStats(double& moving_time, double& max_speed);
  static double SectionStats(const CTrackSection& section, const CLocalProjection& plane,
                             double& moving_time, double& max_speed);
  // Seconds from the first point to the last (to the current fix while being recorded).
  double GetDuration() const;
  // Drops points within tolerance (square metres) of their neighbours' segment; true when
  // points were removed.
  bool Thin(double tolerance);
  // Alias of Thin used by the GPX reader.
  bool Simplify(double tolerance) { return Thin(tolerance); }
  // Thins, then appends one route point per track point to the route; the index of the first
  // appended point (the route's end when none).
  size_t AppendToRoute(double tolerance, COverlayRoute& route);
  // Moves what follows the point at index of section into a new "-split" track appended to
  // the track manager; returns it (null without a manager or when section is not this
  // track's).
  COverlayTrack* SplitAt(const CTrackSection* section, int32_t index);
  // Appends the other track and deletes it.
  void Join(COverlayTrack& other);
  bool ExtendBounds(CGeoBounds& box) const override;
  bool WriteGPX(std::string& out) const override;
  // Every section announces code.
  void AnnounceSections(int32_t code);
  // Deletes every section and empties the texts.
  void Reset();
  // No sections, a name beginning ":chunk", or a first section of fewer than 3 points.
  bool IsDisposable() const;
  // The track plane, set up at the last point when unset.
  const CLocalProjection& Plane();

  std::vector<std::unique_ptr<CTrackSection>> sections;
  uint32_t colour;
  float width = 2.0f;
  int32_t pattern = 0;
  double total_distance = 0.0;  // metres; 0 = not computed
  double moving_time = 0.0;     // seconds
  double max_speed = 0.0;       // metres per second

 private:
  void AppendRepacked(const CTrackPoint& point);

  CLocalProjection plane_;
  bool plane_set_ = false;
};
