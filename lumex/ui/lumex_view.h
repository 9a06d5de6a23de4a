#pragma once
// The viewer's 3D view: the terrain around the start file's path drawn with OpenGL, the camera
// flown by keys, mouse and wheel, orbiting a fixed point, or following the path, and reported
// to the chart program while the two windows are arranged together.
//
// The view owns the four terrain meshes (front and back square, front and back horizon ring,
// the rings only with a horizon factor above 1): the front ones are drawn, the back ones are
// for the terrain rebuild, which swaps them in.
#include <QImage>
#include <QRect>
#include <QWidget>
#include <memory>
#include <string>

#include "charts/elevation_file.h"
#include "lumex/avi_file.h"
#include "lumex/camera.h"
#include "lumex/map_polar.h"
#include "lumex/map_square.h"
#include "lumex/terrain_worker.h"
#include "lumex/view_params.h"
#include "lumex/ui/lumex_view_base.h"
#include "lumex/ui/terrain_renderer.h"

class CLumexApp;
class QPainter;
class QScrollBar;
class QTimer;

// The texts drawn over the 3D image.
struct CLumexCaptions {
  int error_location = 0;      // 0: none
  bool show_exaggeration = true;
  float exaggeration = 2.0f;
};
// Draws them into `client`: the error centred, the exaggeration at the top right.
void DrawLumexCaptions(QPainter& painter, const QRect& client, const CLumexCaptions& captions);

// Where the viewer and the chart program go on a width x height screen when arranged together:
// side by side (viewer left), or the chart below the viewer.
inline constexpr int kSideBySideLayout = 0;
inline constexpr int kMapBelowLayout = 1;
struct CArrangedWindows {
  QRect viewer;
  QRect chart;
};
CArrangedWindows ArrangeViewerAndChart(int width, int height, int layout);
// Places the viewer's frame and the chart program's main window so on the frame's screen;
// with neither layout the frame is maximised and the chart program's window left alone.
void ArrangeWindowsTogether(QWidget* frame, bool side_by_side, bool map_below);

// The message shown when this computer can't draw the 3D image: where it failed (the step's
// location number), the failure's code and the system's last error, and what the user can do.
std::string DeviceErrorMessage(int location, uint32_t code, int last_error);

// The frame of a camera looking at `target` in a width x height picture: left-handed view
// and perspective (near plane at the near distance, far plane at 20 R), fog from R to 11 R,
// the camera's light. Empty sizes are taken as 1.
SceneFrame MakeSceneFrame(const CLumexCamera& camera, const float target[3], uint32_t sky_colour,
                          int width, int height);

class CLumexView : public QWidget, public CLumexViewBase {
 public:
  // Commands of the toolbar.
  enum Command {
    kFixedPoint = 32771,
    kMoveIn = 32773,
    kMoveOut = 32774,
    kLighting = 32778,
    kPlay = 32784,
    kProperties = 32786,
    kPause = 32787,
    kStepForward = 32788,
    kStepBack = 32789,
    kDefaultViewpoint = 32790,
    kRebuild = 32791,
    kNarrower = 32792,
    kWider = 32793,
    kCreateVideo = 32794,
    kSetParameters = 32795,
    kBusy = 32796,
    kSideBySide = 32797,
    kMapBelow = 32798,
    kFilePrint = 57607,
  };
  // The caption under a printed view, before the chart's copyright.
  static constexpr char kPrintCaption[] = "Created with Vardune (vardune.app). ";
  // Where the rendering failed, as shown to the user: the GL context could not be made.
  static constexpr int kErrorCreateDevice = 604;
  // The failure code of a device that could not be made (no OpenGL 3.3 context).
  static constexpr uint32_t kDeviceFailure = 0x80004005;

  // `app` gives the running and active flags and the help page; may be null (tests).
  explicit CLumexView(CLumexApp* app);
  // Saves the view parameters.
  ~CLumexView() override;

  // CLumexViewBase.
  QWidget* widget() override { return this; }
  bool CreateDevice() override;
  void LoadPathFile() override;
  void StopTerrainWorker() override;
  void OnCommand(int id) override;
  CLumexCommandState CommandState(int id) override;

  // Opens the elevation file and the chart, textures and fills the front square, places the
  // camera and draws; false when the elevation file or the chart does not open.
  bool SetupScene(bool fixed_point);
  // Clamps the camera, draws a frame and may start a terrain rebuild.
  void RenderScene();
  // Fills the front meshes again with the current exaggeration, then draws.
  void RefillMeshes();
  // The start file's paths and points, as LoadPathFile takes them.
  void SetStartData(const LumexStartFile& start);

  CLumexCamera& camera() { return camera_; }
  const ViewParams& params() const { return params_; }
  const std::string& copyright() const { return copyright_; }
  bool hide_copyright() const { return hide_copyright_; }
  // The terrain square drawn now.
  const CMapSquare* front_square() const { return front_square_.get(); }
  // Redirects texture requests (tests); by default the chart program renders them.
  void SetTextureRenderer(SquareTextureRenderer renderer) { render_texture_ = std::move(renderer); }
  // Where the video compressor choice is kept.
  const std::string& video_options_path() const { return video_options_path_; }
  // A terrain build has been started and its thread not joined yet.
  bool rebuilding() const { return worker_.busy(); }
  bool recording() const { return avi_ != nullptr; }
  // The seconds the next look-ahead aims at, before the 1.333 margin.
  float terrain_lead() const { return lead_[level_]; }
  // Advances the fly-through by one tick (the fly timer's work).
  void OnFlyTick();
  // The scene as the video records it: width x height pixels rendered offscreen, with the
  // copyright band when the chart's copyright is shown.
  QImage RenderVideoFrame(int width, int height);
  // The view as it is on the screen, printed on one page through the print dialog, with the
  // caption; false when cancelled or the printer failed (the user is told).
  bool Print();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  class Canvas;
  friend class Canvas;
  class VideoRenderer;

  // Navigation.
  void OnKey(NavKey key, int repeat);
  void OnChar(QChar c);
  void MousePress(QMouseEvent* event);
  void MouseRelease();
  void MouseMove(QMouseEvent* event);
  void Wheel(QWheelEvent* event);
  void OnVScroll(int position);
  void OnPositionReport();
  void StopFlying();
  void ArrangeWindows();
  void OnInitialUpdate();

  // Builds the back meshes on the worker around the point R ahead of `record` (level -1: the
  // view's); nothing while a build is under way.
  void StartTerrainWorker(const CameraRecord& record, int level);
  // Starts the build for where the fly-through will be once it is ready.
  void PrepareTerrainAhead();
  // Takes the worker's report of build `generation` on this thread.
  void OnTerrainBuilt(unsigned generation, const TerrainBuildResult& result);
  // Swaps the built back meshes in and re-expresses the camera on their centre.
  void SwapTerrain();
  // Cancels and joins the build; its report, if already posted, is then ignored.
  void CancelTerrainWorker();
  void On3DProperties();
  void OnCreateVideo();
  void FitFrameToVideo();
  void AddVideoFrame();

  void ReportDeviceError(int location, uint32_t code = kDeviceFailure);

  CLumexApp* app_;
  ViewParams params_;
  CLumexCamera camera_;
  Canvas* canvas_ = nullptr;
  QScrollBar* scroll_ = nullptr;
  QTimer* fly_timer_ = nullptr;
  QTimer* report_timer_ = nullptr;

  std::string chart_path_;
  std::string elevation_path_;
  CElevationFile elevation_;
  std::string texture_path_;
  SquareTextureRenderer render_texture_;
  std::unique_ptr<CMapSquare> front_square_;
  std::unique_ptr<CMapSquare> back_square_;
  std::unique_ptr<CMapPolar> front_ring_;
  std::unique_ptr<CMapPolar> back_ring_;
  std::string copyright_;
  bool hide_copyright_ = true;

  float look_target_[3] = {0, 0, 0};
  CLumexCaptions captions_;
  bool initial_update_done_ = false;
  bool lighting_adjust_ = false;
  bool look_drag_ = false;
  bool pan_drag_ = false;
  bool ctrl_held_ = false;
  QPoint last_mouse_;
  bool side_by_side_ = false;
  bool map_below_ = false;

  // Terrain rebuild.
  CTerrainWorker worker_;
  unsigned worker_generation_ = 0;
  double pending_lat_ = 0;
  double pending_lon_ = 0;
  int level_ = 0;
  float lead_[3] = {10.0f, 20.0f, 60.0f};
  float rebuild_time_ = 0;
  TerrainBuildResult built_;

  // Video.
  std::string video_options_path_;
  std::unique_ptr<CAVIFile> avi_;
  std::unique_ptr<VideoRenderer> video_renderer_;
};
