#pragma once
// The owner of all tracks of the newer overlay model: one global manager, made at program
// start. It records GPS fixes into the newest track while recording is on, starts new tracks
// after long gaps or at a race start, and stores all tracks as one record.
//
// Events: Listener<CTrackManager> is fired with the manager when recording starts or stops,
// Listener<COverlayTrack> with the track for every fix offered to it while recording.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/listener.h"
#include "core/persistant_data.h"
#include "core/serializable.h"
#include "overlays/model/data_gps_position.h"
#include "overlays/model/data_start_timer.h"
#include "overlays/model/overlay_track.h"

class COverlayRoute;

class CTrackManager : public CSerializable,
                      public Listener<CDataGPSPosition>,
                      public Listener<CDataStartTimer> {
 public:
  static constexpr int32_t kTypeId = 38;
  static const CSerializable::TypeOf<CTrackManager> cType;
  static constexpr double kNewTrackGap = 21600.0;  // seconds: a longer gap starts a new track
  static constexpr double kMinStep = 20.0;         // seconds and metres between recorded fixes

  struct Persistant : PersistantData {
    Persistant();
    void Exchange() override;
    bool doRecordTrack = false;
  };
  static Persistant& Settings();

  // The newest live manager is the program's (Instance).
  CTrackManager();
  ~CTrackManager() override;
  CTrackManager(const CTrackManager&) = delete;
  CTrackManager& operator=(const CTrackManager&) = delete;

  static CTrackManager* Instance();

  bool Serialize(CSerializableStream& stream) override;
  int32_t GetTypeId() const override { return kTypeId; }

  COverlayTrack* AddTrack(std::unique_ptr<COverlayTrack> track);
  // "T<n>" with n one more than the largest among tracks named so.
  std::string NextTrackName() const;
  COverlayTrack* FindTrackStartingNearest(double latitude, double longitude) const;
  COverlayTrack* FindTrackEndingNearest(double latitude, double longitude) const;

  bool IsRecording() const { return Settings().doRecordTrack; }
  // The track being recorded into: the newest, while recording.
  COverlayTrack* RecordingTrack() const;
  void ToggleRecording();
  void ResumeRecordingInto(COverlayTrack* track);
  // Deletion record: stops recording into it, deletes its sections, empties its texts.
  void DeleteTrack(COverlayTrack* track);
  // A new "-converted" route of the mark manager from the track, which is deleted; the route,
  // or null without a mark manager.
  COverlayRoute* ConvertTrackToRoute(COverlayTrack* track);
  // The time of the last valid fix (seconds since 1970), when one came.
  std::optional<double> LastFixTime() const;

  void OnEvent(CDataGPSPosition& fix) override;
  void OnEvent(CDataStartTimer& timer) override;

  std::vector<std::unique_ptr<COverlayTrack>> tracks;  // oldest first

 private:
  void SetRecording(bool on);
  COverlayTrack* StartNewTrack();

  std::optional<CDataGPSPosition> last_fix_;
};
