#pragma once
// A recorded or drawn path: an ordered list of track points with time, altitude, speed, heart
// rate and one further measured value. A document has at most one GPS track, into which the
// live fixes are recorded (RecordFix); other tracks come from files, from routes or are drawn
// by hand in a chart view.
//
// User-interface thread only.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <istream>
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/work_progress.h"
#include "overlays/ostrel_object.h"
#include "overlays/profile_sample.h"
#include "platform/os/files.h"

struct GPS_position_info;
class CObjRoute;
class CMappedView;

// Altitudes further from sea level than this, in metres, are no altitude: no track goes there,
// and they would not fit the whole metres the exchange files write.
inline constexpr float kMaxTrackAltitudeMetres = 100000.0f;

// One point of a track.
struct CTrackpoint {
  CLatLon position;
  int32_t time = 0;       // seconds since 1970 (UTC); 0 = no time
  float altitude = 0.0f;  // metres
  // Knots: the fix's speed for recorded points, the filtered leg speed after
  // CObjTrack::RecomputeTotals. Never stored.
  float speed = 0.0f;
  int16_t heart_rate = 0;  // beats per minute; 0 = none
  int16_t other = 0;       // raw value of the track's extra measurement

  // Latitude, longitude, a byte telling which of heart rate and other value follow, time,
  // altitude, then those values.
  void Serialize(COverlayArchive& archive);
};

class CObjTrack;

// What a track needs of its document beside COstrelDocBase: the document's GPS track. The
// program's document implements both; a document without it has no GPS track.
class CTrackDocument {
 public:
  // The GPS track, null when there is none.
  virtual CObjTrack* PeekGPSTrack() const = 0;
  virtual void SetGPSTrack(CObjTrack* track) = 0;
  // The GPS track; when there is none a new track is made, appended to the document's list
  // and becomes the GPS track.
  virtual CObjTrack* GetGPSTrack() = 0;

 protected:
  ~CTrackDocument() = default;
};

// What hand drawing needs of the view it happens in beside CMappedView.
class CTrackDrawingView {
 public:
  // The view's current mouse position, client pixels.
  virtual vd::ui::Point CursorPixel() const = 0;

 protected:
  ~CTrackDrawingView() = default;
};

class CObjTrack : public COstrelObject {
 public:
  static const OverlayClass kClass;  // "CObjTrack"

  // Spike filter of the leg speeds: half window and factor.
  static constexpr int kSpikeHalfWindow = 8;
  static constexpr float kSpikeFactor = 3.0f;
  // Squared pixels below which screen points are merged before drawing.
  static constexpr float kSimplifyTolerance = 2.3f;
  static constexpr int kMaxTicks = 1000;

  // Name and category "Track", layer 0x1e, the track settings of the profile; also reads the
  // program-wide limit settings.
  CObjTrack();
  // Stops being its document's GPS track.
  ~CObjTrack() override;

  const OverlayClass& GetRuntimeClass() const override;
  void Serialize(COverlayArchive& archive) override;
  bool GetBounds(double& min_lat, double& max_lat, double& min_lon,
                 double& max_lon) const override;
  // Shows the object in a chart window (the best chart for it).
  void CentreInView() override;
  // The "Other profile" entry names the track's extra measurement, and is there only when the
  // track has one.
  void OnInitPopupMenu(vd::ui::PopupMenu& menu) override;
  static constexpr int kOtherProfileCommand = 33544;
  void Deselect() override;
  bool IsSameObject(const COstrelObject& other) const override;
  bool WriteText(std::string& out) override;
  bool ReadText(std::string_view line) override;
  void PrepareView(CMappedObject& mapped, COldQuickChart* chart, CRubberBand& band) override;
  void Draw(vd::ui::Surface& dc, vd::ui::Graphics& graphics, CMappedObject& mapped,
            bool quick_draw) override;
  bool HitTest(const vd::ui::Point& chart_point, CMappedObject& mapped, int zoom_step) override;
  bool OnLButtonDown(const CLatLon& point, CMappedObject* hit) override;
  bool OnLButtonUp(const CLatLon& point) override;
  bool OnMouseMove(const CLatLon& point) override;
  bool OnDoubleClick(const CLatLon& point) override;
  bool OnKeyDown(int key) override;
  bool GetStatusText(std::string& text, const CLatLon& cursor, CMappedObject* hit) override;

  // Appends a point (speed 0) unless its latitude is beyond ±90 or its time (not 0) repeats
  // the last point's. An altitude that is not a number or lies beyond kMaxTrackAltitudeMetres
  // is stored as 0 (none). Totals are left alone.
  void AddPoint(double lat, double lon, int32_t time, float altitude, int16_t heart_rate,
                int16_t other);
  // Records one GPS fix with the interval, distance, partition and point-limit rules. A gap
  // above the partition time records into a new GPS track of the document instead.
  void RecordFix(const GPS_position_info& fix);
  // Distance, filtered leg speeds, maximum speed, created and modified times from the points.
  void RecomputeTotals();
  // Removes every point at an odd position except the last (an undo step first).
  void Thin();
  // Hand drawing: appends the point when the view's cursor moved far enough.
  void AddDrawnPoint(const CLatLon& point);
  // The index of the point nearest the position (the first of equals); -1 when empty.
  ptrdiff_t NearestPoint(const CLatLon& position) const;
  // Nautical miles along the track from the first point to the point at index.
  double DistanceFromStart(size_t index) const;
  void DeletePointNear(const CLatLon& position);
  // Removes the start of the fastest leg.
  void DeleteSpike();
  // Moves the points before the nearest one into a new track "<name>-split"; the nearest
  // point ends up in both.
  void SplitAt(const CLatLon& position);
  bool IsGPSTrack() const;
  bool CanContinueAt(int32_t time) const;
  // Joins the nearest visible track of the same category whose end lies within three times
  // the update distance of this track's nearer end; the other track leaves the list.
  bool JoinNearest(const CLatLon& position, ObjectList& objects);
  // Copies the other track's points next to this track's end (at_end) or start, walking it
  // from its end (from_other_end) or its start; the other track then deletes itself.
  void MergePoints(CObjTrack& other, bool at_end, bool from_other_end);
  // Reads the lines after the "[Timex Trainer Data File]" line.
  void ReadTrainerFile(std::istream& file);

  // ---- Profiles and measurements ----
  // Recomputes the totals, then spreads the records evenly along the track with the terrain
  // heights (SampleEvenly); the records are zeroed even for a track without points.
  void SamplePositions(std::span<ProfileSample> records);
  // The point values along the track, not interpolated: record i takes the position and value
  // of the start of the leg within which distance i / n of the way lies (rounded to the
  // nearest record). Nothing changes for a track without length.
  void SampleAltitude(std::span<ProfileSample> records) const;
  void SampleSpeed(std::span<ProfileSample> records) const;
  void SampleHeartRate(std::span<ProfileSample> records) const;
  // The raw extra value times other_scale.
  void SampleOtherValue(std::span<ProfileSample> records) const;
  // The area (square metres) inside the points taken as a closed outline, closed flag or not;
  // 0 for fewer than 3 points.
  double GetEnclosedArea() const;

  // ---- Conversions ----
  // A new route in the track's document through new marks "WP01", "WP02", ... at the points
  // kept when the track is simplified to within four update distances (in the track's local
  // plane); closed when the track is. An undo step holds the track and the route; the track
  // hides itself. Null, making nothing, for fewer than 2 points or a document without an object
  // list.
  CObjRoute* ConvertToRoute();
  // Writes the track as "$GPRMC" sentences, one per 2 seconds of track time, for the GPS input
  // to replay as a moving receiver; legs without usable times are paced at 4 knots from the
  // previous leg's end (the first from now). Times are UTC. The file is replaced only when
  // complete; with Links::kReplace a symbolic link at the path is replaced, not written
  // through. False for fewer than 2 points or when the file can't be written. progress, when
  // given, hears of the sentences written and may stop the writing: false then, and the file
  // is left as it was.
  bool WriteNmeaFile(const std::string& path, vd::os::Links links = vd::os::Links::kFollow,
                     const ProgressFn& progress = {}) const;

  // The program-wide point limit: mode 0 halves a recorded track above the limit, mode 1
  // drops its oldest point.
  static int LimitMode();
  static int PointLimit();

  const std::deque<CTrackpoint>& points() const { return points_; }
  std::deque<CTrackpoint>& mutable_points() { return points_; }

  // ---- Fields ----
  int32_t drawing_state = 0;  // 1 while drawn by hand
  bool button_down = false;
  int32_t last_drawn_x = 0;
  int32_t last_drawn_y = 0;
  double total_distance = 0.0;  // nautical miles
  double max_speed = 0.0;       // knots
  int32_t update_interval = 10;  // seconds
  int32_t update_distance = 15;  // metres
  int32_t partition_time = 3600;  // seconds
  uint32_t colour = 255;          // 0x00BBGGRR
  uint8_t thickness = 1;          // 0..3
  uint8_t line_style = 0;         // 0..4
  uint8_t transparency = 0;       // 0..4
  bool closed = false;
  int32_t tick_interval = 300;  // seconds
  std::string other_label;
  float other_scale = 1.0f;
  CMappedView* drawing_view = nullptr;

 private:
  CTrackDocument* TrackDocument() const;
  // Copies the given fields of the settings in the profile.
  void ReadSettings();
  void RemoveSelf();
  // Fills the records as the value samplers describe, with value(point) as each value.
  template <class Value>
  void SampleValues(std::span<ProfileSample> records, Value value) const;
  // The points of the record drawn as the track's line (the rest are tick pairs).
  int32_t OwnCount(const CMappedObject& mapped) const;

  std::deque<CTrackpoint> points_;
  // Per screen record: how many of its points are the track's own (after simplification).
  std::unordered_map<const CMappedObject*, int32_t> own_counts_;
};

bool IsDrawingObjTrack(const COstrelObject* object);
