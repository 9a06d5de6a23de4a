#pragma once
// The newer generation of the common library as both programs carry it: at start-up its settings
// records are read from the program's settings file and written back (so the file holds every
// record, the units and the AIS alarm settings among them), the global mark and track managers,
// the own position and the feed that turns received RMC and GGA sentences into its fixes are
// created, the AIS target manager and the race start instruments are built, the drawing and
// action sheets of its overlay objects are installed, the settings groups "Units" and "AIS
// Settings" are registered, and the delegates of the lists of marks, routes and AIS targets are
// made for a list pane to show; then the library's heartbeat starts. The current data
// connection, when the user chose one, is closed when it goes.
//
// User-interface thread only; one object per program, alive while the program runs.
#include <memory>
#include <string>

class QTimer;
class COverlayShell;
class CMarkManager;
class CTrackManager;
class COverlayGPSPosition;
class CMarkListDelegate;
class CRouteListDelegate;
class CAISListDelegate;
class QWidget;
class CGPSPositionFeed;

class CNewerGeneration {
 public:
  // The library's heartbeat ticks this often while the program runs: a simulation replays a
  // burst of lines every 10 ticks, a fix is given up 50 ticks after the last.
  static constexpr int kHeartbeatMilliseconds = 100;

  // settings_name: the base name of the settings file (ConfigFolder()/Vardune/<name>.ini).
  explicit CNewerGeneration(const std::string& settings_name);
  ~CNewerGeneration();
  CNewerGeneration(const CNewerGeneration&) = delete;
  CNewerGeneration& operator=(const CNewerGeneration&) = delete;

  // Installs the program's shell of the overlay model (status line, hints, the window the
  // action sheets open over) in place of any earlier one; it stays installed until this object
  // goes.
  void InstallShell(std::unique_ptr<COverlayShell> shell);

  // The list delegates; owner: the parent of their questions, file choosers and the sync.
  void SetListOwner(QWidget* owner);
  CMarkListDelegate& mark_list() { return *mark_list_; }
  CRouteListDelegate& route_list() { return *route_list_; }
  CAISListDelegate& ais_list() { return *ais_list_; }

  // False when the settings file could not be written (it is left as it was).
  bool settings_saved() const { return settings_saved_; }

 private:
  std::unique_ptr<CMarkManager> marks_;
  std::unique_ptr<CTrackManager> tracks_;
  std::unique_ptr<COverlayGPSPosition> position_;
  std::unique_ptr<CGPSPositionFeed> feed_;
  std::unique_ptr<COverlayShell> shell_;
  std::unique_ptr<CMarkListDelegate> mark_list_;
  std::unique_ptr<CRouteListDelegate> route_list_;
  std::unique_ptr<CAISListDelegate> ais_list_;
  std::unique_ptr<QTimer> heartbeat_;
  bool settings_saved_ = false;
};
