#include "lumex/ui/lumex_view.h"

#include <cerrno>
#include <cstdio>

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOffscreenSurface>
#include <QOpenGLFramebufferObject>
#include <QOpenGLWidget>
#include <QPainter>
#include <QPrinter>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>

#include "charts/old_quick_chart.h"
#include "charts/quick_chart_header.h"
#include "lumex/api_client.h"
#include "lumex/ui/dlg_3d_props.h"
#include "lumex/ui/lumex_app.h"
#include "core/file_utils.h"
#include "platform/os/folders.h"
#include "platform/ui/common_dialogs.h"
#include "platform/ui/message_box.h"
#include "platform/ui/printer.h"
#include "platform/ui/responder.h"
#include "lumex/ui/lumex_logo.h"

namespace {

constexpr int kFlyIntervalMs = 40;
constexpr int kReportIntervalMs = 500;
constexpr float kFlySeconds = kFlyIntervalMs / 1000.0f;
// Header flag: the chart's copyright is not to be shown over pictures of it.
constexpr uint32_t kQctFlagHideCopyright = 0x08;
constexpr char kCopyrightSign[] = "\xC2\xA9 ";
constexpr double kMetresPerMile = 1852.0;

// The scroll bar's position for an exaggeration and back (top: 10, bottom: 1).
int ScrollPosition(float exaggeration) {
  return static_cast<int>((10.0f - exaggeration) / 0.09f + 0.5f);
}
float ExaggerationAt(int position) { return 10.0f - position * 0.09f; }

// One decimal, with a point whatever the user's locale.
std::string OneDecimal(float value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 1);
  return std::string(text, end.ptr);
}

}  // namespace

void DrawLumexCaptions(QPainter& painter, const QRect& client, const CLumexCaptions& captions) {
  painter.setPen(Qt::black);
  painter.setBackgroundMode(Qt::TransparentMode);
  if (captions.error_location != 0) {
    const std::string text =
        "Sorry, this computer is not able to display the 3D image (Error: " +
        std::to_string(captions.error_location) + ")";
    painter.drawText(client, Qt::AlignCenter | Qt::TextSingleLine, QString::fromStdString(text));
  }
  if (captions.show_exaggeration) {
    const std::string text = "Vertical Exaggeration: x " + OneDecimal(captions.exaggeration);
    painter.drawText(client.adjusted(3, 3, -3, -3), Qt::AlignRight | Qt::AlignTop,
                     QString::fromStdString(text));
  }
}

SceneFrame MakeSceneFrame(const CLumexCamera& camera, const float target[3], uint32_t sky_colour,
                          int width, int height) {
  const CameraRecord& c = camera.camera;
  SceneFrame frame;
  frame.eye[0] = c.x;
  frame.eye[1] = c.y;
  frame.eye[2] = c.z;
  std::copy(c.light, c.light + 3, frame.light_direction);
  const float up[3] = {0, 0, 1};
  frame.view = LookAtLH(frame.eye, target, up);
  // Before the first scene there is no square: keep the planes apart all the same.
  const float near_z = std::max(camera.near_distance, 0.1f);
  const float far_z = std::max(camera.square_radius * 20.0f, near_z * 2);
  frame.projection = PerspectiveFovLH(c.field_of_view,
                                      float(std::max(width, 1)) / float(std::max(height, 1)),
                                      near_z, far_z);
  frame.sky_colour = sky_colour;
  frame.fog_start = camera.square_radius;
  frame.fog_end = std::max(11.0f * camera.square_radius, frame.fog_start + 1);
  return frame;
}

namespace {

// The captions over the GL surface, painted as a transparent child window: text drawn into
// the GL frame would have to share the GL state with the terrain.
class Captions : public QWidget {
 public:
  Captions(const CLumexCaptions& captions, QWidget* parent)
      : QWidget(parent), captions_(captions) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    DrawLumexCaptions(painter, rect(), captions_);
  }

 private:
  const CLumexCaptions& captions_;
};

}  // namespace

// Renders the video's frames in a GL context of its own, offscreen, whatever the window's size
// or visibility; the meshes get their own GL copies there.
class CLumexView::VideoRenderer {
 public:
  ~VideoRenderer() {
    if (context_.makeCurrent(&surface_)) {
      renderer_.Release();
      context_.doneCurrent();
    }
  }
  bool Create() {
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setDepthBufferSize(24);
    surface_.setFormat(format);
    surface_.create();
    context_.setFormat(format);
    std::string error;
    if (!context_.create() || !context_.makeCurrent(&surface_)) return false;
    const bool ok = renderer_.Initialize(error);
    context_.doneCurrent();
    return ok;
  }
  // Empty when the frame could not be drawn.
  QImage Render(const SceneFrame& frame, const std::vector<const CMapSurface*>& meshes,
                int width, int height) {
    if (!context_.makeCurrent(&surface_)) return {};
    QImage image;
    {
      QOpenGLFramebufferObject target(width, height,
                                      QOpenGLFramebufferObject::CombinedDepthStencil);
      if (target.isValid() && target.bind()) {
        renderer_.Render(frame, meshes, width, height);
        target.release();
        // GL's rows run bottom up: the picture is turned the right way up, top row first.
        image = target.toImage(true).convertToFormat(QImage::Format_RGB32);
      }
    }
    context_.doneCurrent();
    return image;
  }

 private:
  QOffscreenSurface surface_;
  QOpenGLContext context_;
  CTerrainRenderer renderer_;
};

// The GL surface of the view: draws the front meshes and the captions and hands its input to
// the view.
class CLumexView::Canvas : public QOpenGLWidget {
 public:
  explicit Canvas(CLumexView& view) : QOpenGLWidget(&view), view_(view) {
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setDepthBufferSize(24);
    setFormat(format);
    setFocusProxy(&view);
    captions_ = new Captions(view.captions_, this);
  }
  // Shows changed captions.
  void UpdateCaptions() { captions_->update(); }
  ~Canvas() override {
    if (context()) {
      makeCurrent();
      renderer_.Release();
      doneCurrent();
    }
  }

 protected:
  void initializeGL() override {
    const QOpenGLContext* gl = context();
    std::string error;
    if (!gl || !gl->isValid() || gl->format().version() < qMakePair(3, 3) ||
        !renderer_.Initialize(error)) {
      view_.ReportDeviceError(kErrorCreateDevice);
    }
  }
  void paintGL() override {
    const qreal scale = devicePixelRatioF();
    const int w = int(width() * scale);
    const int h = int(height() * scale);
    const SceneFrame frame =
        MakeSceneFrame(view_.camera_, view_.look_target_, view_.params_.sky_colour, w, h);
    renderer_.Render(frame, {view_.front_ring_.get(), view_.front_square_.get()}, w, h);
  }
  void resizeGL(int, int) override { captions_->setGeometry(rect()); }
  void mousePressEvent(QMouseEvent* event) override { view_.MousePress(event); }
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) view_.MousePress(event);
  }
  void mouseReleaseEvent(QMouseEvent*) override { view_.MouseRelease(); }
  void mouseMoveEvent(QMouseEvent* event) override { view_.MouseMove(event); }
  void wheelEvent(QWheelEvent* event) override { view_.Wheel(event); }

 private:
  CLumexView& view_;
  CTerrainRenderer renderer_;
  Captions* captions_ = nullptr;
};

CLumexView::CLumexView(CLumexApp* app) : app_(app), params_(ReadViewParams()) {
  camera_.camera.field_of_view = params_.field_of_view;
  std::copy(params_.light, params_.light + 3, camera_.camera.light);
  camera_.exaggeration = params_.exaggeration;
  captions_.exaggeration = params_.exaggeration;
  if (app_) ApiConnect();
  texture_path_ = SharedTempFolder() + "/MapSquare.dds";
  const std::string video_folder = vd::os::ConfigFolder() + "/Vardune";
  CreateDirectoryTree(video_folder);
  video_options_path_ = video_folder + "/3D_Video_Compression_settings.bin";
  render_texture_ = [](const SquareTextureRequest& r) {
    return ApiRenderChartArea(r.chart_path, r.x, r.y, r.zoom_shift, r.width, r.height,
                              r.texture_path) == kApiClientOk;
  };

  setFocusPolicy(Qt::StrongFocus);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  canvas_ = new Canvas(*this);
  scroll_ = new QScrollBar(Qt::Vertical, this);
  scroll_->setRange(0, 100);
  scroll_->setSingleStep(5);
  scroll_->setPageStep(5);
  layout->addWidget(canvas_, 1);
  layout->addWidget(scroll_);
  connect(scroll_, &QScrollBar::valueChanged, this, [this](int position) { OnVScroll(position); });

  fly_timer_ = new QTimer(this);
  fly_timer_->setInterval(kFlyIntervalMs);
  connect(fly_timer_, &QTimer::timeout, this, [this] { OnFlyTick(); });
  report_timer_ = new QTimer(this);
  report_timer_->setInterval(kReportIntervalMs);
  connect(report_timer_, &QTimer::timeout, this, [this] { OnPositionReport(); });
}

CLumexView::~CLumexView() {
  StopTerrainWorker();
  params_.field_of_view = camera_.camera.field_of_view;
  std::copy(camera_.camera.light, camera_.camera.light + 3, params_.light);
  params_.exaggeration = camera_.exaggeration;
  SaveViewParams(params_);
  video_renderer_.reset();
  // The canvas frees its GL copies while the meshes still exist.
  delete canvas_;
  canvas_ = nullptr;
}

bool CLumexView::CreateDevice() {
  // The worker may be building the back meshes.
  CancelTerrainWorker();
  front_square_.reset();
  back_square_.reset();
  front_ring_.reset();
  back_ring_.reset();
  captions_.error_location = 0;
  const int n = params_.texture_size;
  front_square_ = std::make_unique<CMapSquare>(n / 10, render_texture_, texture_path_);
  back_square_ = std::make_unique<CMapSquare>(n / 10, render_texture_, texture_path_);
  if (params_.horizon_factor > 1.0f) {
    const int rows = static_cast<int>(n * params_.horizon_factor / 50.0f);
    front_ring_ = std::make_unique<CMapPolar>(rows, n / 3);
    back_ring_ = std::make_unique<CMapPolar>(rows, n / 3);
  }
  // The GL context comes with the window; a failure there is reported as it happens.
  return true;
}

void CLumexView::SetStartData(const LumexStartFile& start) {
  chart_path_ = start.chart_path;
  elevation_path_ = start.elevation_path;
  camera_.SetPath(start.points);
}

void CLumexView::LoadPathFile() {
  // Without a start file the previous path is shown again.
  if (const auto start = ReadLumexStartFile()) SetStartData(*start);
  SetupScene(camera_.point_count() == 1);
}

bool CLumexView::SetupScene(bool fixed_point) {
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  struct RestoreCursor {
    ~RestoreCursor() { QGuiApplication::restoreOverrideCursor(); }
  } restore;
  if (front_square_) front_square_->ClearFilled();
  if (front_ring_) front_ring_->ClearFilled();
  if (!front_square_ || camera_.point_count() < 1) return false;
  if (!elevation_.Open(elevation_path_)) return false;
  camera_.SetHeightSource(
      [this](double lat, double lon) { return elevation_.GetHeight(lat, lon); });
  const std::unique_ptr<COldQuickChart> chart = OpenOldQuickChart(chart_path_, false);
  if (!chart) return false;

  chart->GetHeaderString(kQctCopyright, copyright_);
  if (!copyright_.empty()) copyright_ = kCopyrightSign + copyright_;
  hide_copyright_ = copyright_.empty() || (chart->header().flags & kQctFlagHideCopyright);

  double px = 0;
  double py = 0;
  chart->LatLonToPixelF(camera_.centre_lat, camera_.centre_lon, px, py);
  if (!(px >= 0 && px <= chart->width() && py >= 0 && py <= chart->height())) {
    double lat = 0;
    double lon = 0;
    chart->PixelToLatLon(chart->width() / 2, chart->height() / 2, lat, lon);
    camera_.SetCentre(lat, lon);
  }
  const float radius = front_square_->LoadTexture(*chart, params_.texture_size, 0,
                                                  camera_.centre_lat, camera_.centre_lon);
  camera_.SetSquareRadius(radius, params_.horizon_factor);
  front_square_->Fill(&elevation_, camera_.exaggeration);

  if (fixed_point) {
    camera_.SetDefaultViewpoint();
  } else {
    camera_.ResetPath(camera_.camera);
  }
  CameraRecord record = camera_.camera;
  if (camera_.point_count() > 1) {
    camera_.AimAlongPath(camera_.path_index, record, camera_.segment_distance,
                         camera_.segment_length);
  }
  StartTerrainWorker(record, -1);
  RenderScene();
  return true;
}

void CLumexView::RenderScene() {
  camera_.ClampCamera();
  camera_.LookTarget(look_target_);
  captions_.exaggeration = camera_.exaggeration;
  canvas_->update();
  canvas_->UpdateCaptions();
  if (!camera_.flying && !rebuilding() && !camera_.fixed_point &&
      camera_.NeedsNewTerrain(camera_.camera)) {
    StartTerrainWorker(camera_.camera, -1);
  }
}

void CLumexView::RefillMeshes() {
  if (front_square_) front_square_->Fill(&elevation_, camera_.exaggeration);
  if (front_ring_) front_ring_->Fill(&elevation_, camera_.exaggeration);
  RenderScene();
}

std::string DeviceErrorMessage(int location, uint32_t code, int last_error) {
  char codes[64];
  std::snprintf(codes, sizeof codes, "%d/0x%x/0x%x", location, code,
                static_cast<unsigned>(last_error));
  return std::string("Sorry, this computer is not able to display the 3D image with the current "
                     "setttings.\nError: ") +
         codes +
         "\n\nPlease install the latest OpenGL driver for your graphics card.\n"
         "Lumex needs OpenGL 3.3; Mesa's drivers (packages libgl1-mesa-dri and\n"
         "libegl-mesa0) provide it on every computer, in software where the\n"
         "card has no driver.\n\nIf you downloaded the software, go to "
         "https://packages.debian.org/,\nand search for mesa";
}

void CLumexView::ReportDeviceError(int location, uint32_t code) {
  const int last_error = errno;
  captions_.error_location = location;
  static std::atomic<bool> reported{false};
  if (reported.exchange(true)) return;
  vd::ui::RunMessageBox(this, DeviceErrorMessage(location, code, last_error), "Lumex",
                        vd::ui::kMbOk | vd::ui::kMbIconError);
}

void CLumexView::StartTerrainWorker(const CameraRecord& record, int level) {
  if (rebuilding() || !back_square_) return;
  const float r = camera_.square_radius;
  const float yaw = camera_.yaw_offset + record.yaw;
  camera_.SceneToLatLon(record.x + r * std::cos(yaw), record.y + r * std::sin(yaw), pending_lat_,
                        pending_lon_);
  if (level >= 0 && level < 3) level_ = level;
  rebuild_time_ = 0.02f;
  TerrainBuildJob job;
  job.chart_path = chart_path_;
  job.elevation_path = elevation_path_;
  job.centre_lat = pending_lat_;
  job.centre_lon = pending_lon_;
  job.texture_size = params_.texture_size;
  job.level = level_;
  job.horizon_factor = params_.horizon_factor;
  job.exaggeration = camera_.exaggeration;
  job.square = back_square_.get();
  job.ring = back_ring_.get();
  const unsigned generation = ++worker_generation_;
  worker_.Start(std::move(job), [this, generation](const TerrainBuildResult& result) {
    // Queued to this thread; dropped with the view, which joins the worker first.
    QMetaObject::invokeMethod(
        this, [this, generation, result] { OnTerrainBuilt(generation, result); },
        Qt::QueuedConnection);
  });
}

void CLumexView::PrepareTerrainAhead() {
  if (rebuilding()) return;
  CameraRecord record = camera_.camera;
  // Aimed at where the camera will be once the next build is ready.
  camera_.PredictCamera(record, lead_[level_] * 1.333f);
  StartTerrainWorker(record, level_);
}

void CLumexView::OnTerrainBuilt(unsigned generation, const TerrainBuildResult& result) {
  if (generation != worker_generation_) return;  // cancelled after it was posted
  worker_.Join();
  lead_[level_] = rebuild_time_;
  // A failed build starts no other by itself: it would only fail again.
  if (!result.ok) return;
  built_ = result;
  if (camera_.wrap_state == 1) {
    // Built for the path start: swapped in when the flight gets back there.
    camera_.wrap_state = 2;
    return;
  }
  SwapTerrain();
  if (camera_.flying) {
    PrepareTerrainAhead();
  } else {
    RenderScene();
  }
}

void CLumexView::SwapTerrain() {
  if (!back_square_ || !back_square_->IsFilled() || !back_square_->HasTexture()) return;
  double lat = 0;
  double lon = 0;
  camera_.SceneToLatLon(camera_.camera.x, camera_.camera.y, lat, lon);
  camera_.SetCentre(pending_lat_, pending_lon_);
  std::swap(front_square_, back_square_);
  std::swap(front_ring_, back_ring_);
  camera_.SetSquareRadius(built_.square_radius, params_.horizon_factor);
  camera_.LatLonToScene(lat, lon, camera_.camera.x, camera_.camera.y);
}

void CLumexView::CancelTerrainWorker() {
  worker_.Stop();
  ++worker_generation_;
}

void CLumexView::StopTerrainWorker() {
  StopFlying();
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  CancelTerrainWorker();
  QGuiApplication::restoreOverrideCursor();
}

void CLumexView::On3DProperties() {
  StopFlying();
  CDlg3DProps dialog(this);
  dialog.sky_colour = params_.sky_colour;
  dialog.map_size = params_.texture_size;
  dialog.horizon_factor = params_.horizon_factor;
  dialog.video_width = params_.video_width;
  dialog.video_height = params_.video_height;
  dialog.options_path = video_options_path_;
  if (dialog.exec() != QDialog::Accepted) return;
  params_.sky_colour = dialog.sky_colour;
  params_.texture_size = dialog.map_size;
  params_.horizon_factor = dialog.horizon_factor;
  switch (dialog.video_height) {
    case 480: params_.video_width = 640; params_.video_height = 480; break;
    case 720: params_.video_width = 1280; params_.video_height = 720; break;
    case 1080: params_.video_width = 1920; params_.video_height = 1080; break;
    default: break;
  }
  SaveViewParams(params_);
  StopTerrainWorker();
  CreateDevice();
  SetupScene(camera_.point_count() == 1);
}

void CLumexView::OnCreateVideo() {
  StopFlying();
  if (recording()) {
    avi_.reset();
    video_renderer_.reset();
    return;
  }
  const auto path =
      vd::ui::GetSaveFilePath(this, "", "Video (*.avi)|*.avi||", "avi");
  if (!path) return;
  // Without saved settings the user picks the compressor first.
  const bool have_options = vd::os::FileExists(video_options_path_);
  auto avi = std::make_unique<CAVIFile>(
      *path, params_.video_width, params_.video_height, params_.video_frame_rate,
      have_options ? CAVIFile::ChooseCompression() : ChooseVideoCompression(this),
      video_options_path_);
  if (!avi->IsOK()) return;
  avi_ = std::move(avi);
  FitFrameToVideo();
  side_by_side_ = map_below_ = false;
}

void CLumexView::FitFrameToVideo() {
  QWidget* frame = window();
  if (frame == this) return;  // a bare view (tests) has no frame to fit
  // Frames are rendered at the video size whatever the window's: a maximised or full-screen
  // window stays as the user made it.
  if (frame->isMaximized() || frame->isFullScreen()) return;
  const QSize extra = frame->size() - canvas_->size();
  QRect place(frame->geometry().topLeft(),
              QSize(params_.video_width, params_.video_height) + extra);
  if (const QScreen* screen = frame->screen()) {
    const QRect all = screen->availableGeometry();
    if (place.right() > all.right()) place.moveRight(all.right());
    if (place.bottom() > all.bottom()) place.moveBottom(all.bottom());
    if (place.left() < all.left()) place.moveLeft(all.left());
    if (place.top() < all.top()) place.moveTop(all.top());
  }
  frame->setGeometry(place);
}

QImage CLumexView::RenderVideoFrame(int width, int height) {
  if (!video_renderer_) {
    auto renderer = std::make_unique<VideoRenderer>();
    if (!renderer->Create()) return {};
    video_renderer_ = std::move(renderer);
  }
  QImage image = video_renderer_->Render(
      MakeSceneFrame(camera_, look_target_, params_.sky_colour, width, height),
      {front_ring_.get(), front_square_.get()}, width, height);
  if (image.isNull() || hide_copyright_) return image;
  QPainter painter(&image);
  QFont font("Arial");
  font.setPointSize(13);
  painter.setFont(font);
  const QRect client = image.rect().adjusted(2, 2, -2, -2);
  painter.fillRect(0, client.bottom() - 19, client.right() + 2, 21, Qt::black);
  painter.setPen(Qt::white);
  painter.drawText(client, Qt::AlignLeft | Qt::AlignBottom | Qt::TextSingleLine,
                   QString::fromStdString(copyright_));
  const QImage& logo = LumexLogo();
  painter.drawImage(client.right() + 1 - logo.width(), client.bottom() + 1 - logo.height(), logo);
  return image;
}

bool CLumexView::Print() {
  if (camera_.flying) StopFlying();
  // The client area: the 3D picture with its captions, without the exaggeration scroll bar.
  const QImage capture = canvas_->grab().toImage();
  if (capture.isNull() || capture.width() <= 0 || capture.height() <= 0) return false;
  QPrinter& printer = vd::ui::Printer::Current().device();
  if (!vd::ui::CurrentResponder().PrintDialog(window(), printer, 1)) return false;
  printer.setDocName(window()->windowTitle());
  QPainter painter;
  if (!painter.begin(&printer)) {
    vd::ui::RunMessageBox(window(), "Printer wouldn't initialize", "Lumex",
                          vd::ui::kMbOk | vd::ui::kMbIconError);
    return false;
  }
  // One unit is 1/100 inch, y downwards.
  const double dots_x = printer.logicalDpiX() / 100.0, dots_y = printer.logicalDpiY() / 100.0;
  painter.scale(dots_x, dots_y);
  const QRectF page = printer.pageLayout().paintRect(QPageLayout::Inch);
  const double page_w = page.width() * 100.0, page_h = page.height() * 100.0;
  // The picture fills the page as far as its shape allows.
  const double ratio = std::min(page_w / capture.width(), page_h / capture.height());
  painter.drawImage(QRectF(0, 0, capture.width() * ratio, capture.height() * ratio), capture);
  QFont font("Arial");
  font.setPixelSize(std::max(1, int(std::lround(6.0 * 100.0 / 72.0))));  // 6 points
  painter.setFont(font);
  painter.setPen(Qt::black);
  std::string caption = kPrintCaption;
  if (!copyright_.empty()) caption += copyright_;
  painter.drawText(QRectF(10, 10, capture.width() - 20, capture.height() - 20), Qt::TextWordWrap,
                   QString::fromStdString(caption));
  const bool ok = painter.end() && printer.printerState() != QPrinter::Error;
  RenderScene();
  return ok;
}

void CLumexView::AddVideoFrame() {
  const QImage image = RenderVideoFrame(params_.video_width, params_.video_height);
  if (image.isNull()) return;
  const VideoFrame frame{reinterpret_cast<const uint32_t*>(image.constBits()), image.width(),
                         image.height(), image.bytesPerLine() / 4};
  // A write failure ends the recording; the files written so far stay.
  if (!avi_->AddFrame(frame) && !avi_->IsOK()) {
    avi_.reset();
    video_renderer_.reset();
  }
}

void CLumexView::StopFlying() {
  camera_.flying = false;
  fly_timer_->stop();
}

void CLumexView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!initial_update_done_) {
    initial_update_done_ = true;
    OnInitialUpdate();
  }
}

void CLumexView::OnInitialUpdate() {
  {
    const QSignalBlocker quiet(scroll_);
    scroll_->setValue(ScrollPosition(camera_.exaggeration));
  }
  StopFlying();
  if (!params_.help_shown && app_) {
    app_->OnHelp();
    params_.help_shown = true;
  }
  report_timer_->start();
}

void CLumexView::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Up: return OnKey(NavKey::kUp, 1);
    case Qt::Key_Down: return OnKey(NavKey::kDown, 1);
    case Qt::Key_Left: return OnKey(NavKey::kLeft, 1);
    case Qt::Key_Right: return OnKey(NavKey::kRight, 1);
    case Qt::Key_PageUp: return OnKey(NavKey::kPageUp, 1);
    case Qt::Key_PageDown: return OnKey(NavKey::kPageDown, 1);
    case Qt::Key_Home: return OnKey(NavKey::kHome, 1);
    case Qt::Key_End: return OnKey(NavKey::kEnd, 1);
    case Qt::Key_Clear: return OnKey(NavKey::kClear, 1);
    case Qt::Key_Control:
      ctrl_held_ = true;
      return;
    default:
      if (!event->text().isEmpty()) OnChar(event->text().front());
  }
}

void CLumexView::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Control) ctrl_held_ = false;
}

void CLumexView::OnKey(NavKey key, int repeat) {
  if (camera_.KeyDown(key, repeat, ctrl_held_)) RenderScene();
}

void CLumexView::OnChar(QChar c) {
  // The digits act as the numeric keypad.
  static constexpr NavKey kKeypad[9] = {NavKey::kEnd,   NavKey::kDown,  NavKey::kPageDown,
                                        NavKey::kLeft,  NavKey::kClear, NavKey::kRight,
                                        NavKey::kHome,  NavKey::kUp,    NavKey::kPageUp};
  const char ch = c.toLatin1();
  if (ch >= '1' && ch <= '9') return OnKey(kKeypad[ch - '1'], 1);
  if (ch == '+' || ch == '=' || ch == '-' || ch == '_') {
    camera_.MultiplyFieldOfView(ch == '+' || ch == '=' ? 1 / 1.1f : 1.1f);
    if (!camera_.flying) RenderScene();
    return;
  }
  StopFlying();
}

void CLumexView::MousePress(QMouseEvent* event) {
  last_mouse_ = event->position().toPoint();
  if (event->button() == Qt::LeftButton && !(event->modifiers() & Qt::ControlModifier)) {
    look_drag_ = true;
  } else {
    pan_drag_ = true;
  }
  captions_.show_exaggeration = false;
}

void CLumexView::MouseRelease() {
  look_drag_ = pan_drag_ = lighting_adjust_ = false;
}

void CLumexView::MouseMove(QMouseEvent* event) {
  if (!lighting_adjust_ && !look_drag_ && !pan_drag_) return;
  const QPoint at = event->position().toPoint();
  const int dx = at.x() - last_mouse_.x();
  const int dy = at.y() - last_mouse_.y();
  last_mouse_ = at;
  if (lighting_adjust_) {
    camera_.AdjustLight(at.x(), at.y(), canvas_->width(), canvas_->height());
  } else if (camera_.fixed_point) {
    camera_.Orbit(dx, dy, at.y() < canvas_->height() / 2);
  } else if (look_drag_) {
    camera_.Look(dx, dy);
  } else {
    camera_.Pan(dx, dy);
  }
  if (!camera_.flying) RenderScene();
}

void CLumexView::Wheel(QWheelEvent* event) {
  const Qt::KeyboardModifiers mods = event->modifiers();
  const WheelMode mode = mods & Qt::ControlModifier ? WheelMode::kRise
                         : mods & Qt::ShiftModifier ? WheelMode::kZoom
                                                    : WheelMode::kMove;
  camera_.Wheel(mode, event->angleDelta().y() > 0);
  StopFlying();
  RenderScene();
}

void CLumexView::OnVScroll(int position) {
  captions_.show_exaggeration = true;
  camera_.exaggeration = ExaggerationAt(std::clamp(position, 0, 100));
  RefillMeshes();
}

void CLumexView::OnFlyTick() {
  if (app_ && !app_->active) return StopFlying();
  const FlyTick tick = camera_.FlyStep(kFlySeconds);
  if (rebuilding()) rebuild_time_ += kFlySeconds;
  if (tick == FlyTick::kWaiting) return;
  if (tick == FlyTick::kRestarted) {
    // Back at the path start: the recording ends and the terrain built for the start goes in.
    if (recording()) OnCreateVideo();
    SwapTerrain();
    PrepareTerrainAhead();
  }
  RenderScene();
  if (recording()) AddVideoFrame();
}

void CLumexView::OnPositionReport() {
  if (app_ && !app_->active) return StopFlying();
  if (!side_by_side_ && !map_below_) return;
  double lat = 0;
  double lon = 0;
  camera_.SceneToLatLon(camera_.camera.x, camera_.camera.y, lat, lon);
  // A report while the terrain worker's texture request holds the API is dropped there.
  ApiSendViewPosition(lat, lon, static_cast<float>(camera_.travelled / kMetresPerMile));
}

void CLumexView::ArrangeWindows() { ArrangeWindowsTogether(window(), side_by_side_, map_below_); }

void ArrangeWindowsTogether(QWidget* frame, bool side_by_side, bool map_below) {
  const QScreen* screen = frame->screen();
  if (!screen) return;
  const QRect all = screen->virtualGeometry();
  if (!side_by_side && !map_below) {
    frame->showMaximized();
    return;
  }
  const CArrangedWindows placed = ArrangeViewerAndChart(
      all.width(), all.height(), side_by_side ? kSideBySideLayout : kMapBelowLayout);
  frame->showNormal();
  // Rectangles of whole windows, their frames included.
  const QSize frame_size = frame->frameGeometry().size() - frame->geometry().size();
  frame->resize(placed.viewer.size() - frame_size);
  frame->move(placed.viewer.topLeft() + all.topLeft());
  // The chart program's window beside or below, through its API (connected again when the
  // program was closed and started meanwhile); left alone when it can't be reached.
  const QRect chart = placed.chart.translated(all.topLeft());
  if (ApiSetMainWindowPlacement(chart.left(), chart.top(), chart.left() + chart.width(),
                                chart.top() + chart.height()) != kApiClientOk) {
    return;
  }
  // Restored into its place, the chart program's window comes to the front beside the viewer;
  // the viewer stays the active window, as its flight and camera reports run only while it is.
  ApiShowMainWindow(kApiShow);
  frame->raise();
  frame->activateWindow();
}

CArrangedWindows ArrangeViewerAndChart(int width, int height, int layout) {
  if (layout == kSideBySideLayout)
    return {QRect(0, 0, width / 2, height), QRect(width / 2, 0, width - width / 2, height)};
  return {QRect(0, 0, width, height / 2), QRect(0, height / 2, width, height - height / 2)};
}

void CLumexView::OnCommand(int id) {
  CameraRecord& c = camera_.camera;
  switch (id) {
    case kFixedPoint:
      camera_.fixed_point = !camera_.fixed_point;
      if (camera_.fixed_point) {
        camera_.yaw_offset = 0;
        RenderScene();
      }
      break;
    case kMoveIn:
    case kMoveOut:
      RenderScene();
      break;
    case kLighting:
      StopFlying();
      lighting_adjust_ = true;
      break;
    case kPlay:
      camera_.fixed_point = false;
      camera_.flying = true;
      PrepareTerrainAhead();
      fly_timer_->start();
      captions_.show_exaggeration = false;
      break;
    case kPause:
      if (camera_.flying) StopFlying();
      break;
    case kStepForward:
    case kStepBack:
      StopFlying();
      if (camera_.AdvanceAlongPath(c, (id == kStepForward ? 5 : -5) * camera_.speed)) {
        RenderScene();
      }
      break;
    case kDefaultViewpoint:
      StopFlying();
      camera_.SetDefaultViewpoint();
      RenderScene();
      break;
    case kNarrower:
    case kWider:
      camera_.MultiplyFieldOfView(id == kNarrower ? 1 / 1.1f : 1.1f);
      if (!camera_.flying) RenderScene();
      break;
    case kRebuild:
      StartTerrainWorker(c, -1);
      break;
    case kCreateVideo:
      OnCreateVideo();
      break;
    case kProperties:
    case kSetParameters:
      On3DProperties();
      break;
    case kFilePrint:
      Print();
      break;
    case kSideBySide:
      map_below_ = false;
      side_by_side_ = !side_by_side_;
      ArrangeWindows();
      break;
    case kMapBelow:
      side_by_side_ = false;
      map_below_ = !map_below_;
      ArrangeWindows();
      break;
    default:
      break;
  }
}

CLumexCommandState CLumexView::CommandState(int id) {
  const int n = camera_.point_count();
  const float fov = camera_.camera.field_of_view;
  CLumexCommandState state;
  switch (id) {
    case kFixedPoint:
      state.enabled = !camera_.flying && !rebuilding();
      state.checked = camera_.fixed_point;
      break;
    case kLighting:
      state.checked = lighting_adjust_;
      break;
    case kPlay:
      state.enabled = n >= 2;
      state.visible = !camera_.flying;
      break;
    case kPause:
      state.visible = camera_.flying;
      break;
    case kStepForward:
    case kStepBack:
      state.enabled = n > 1;
      break;
    case kRebuild:
      state.visible = !rebuilding();
      break;
    case kNarrower:
      state.enabled = fov > kMinFieldOfView;
      break;
    case kWider:
      state.enabled = fov < kMaxFieldOfView;
      break;
    case kCreateVideo:
      state.enabled = n > 1;
      state.checked = recording();
      break;
    case kBusy:
      state.enabled = false;
      state.visible = rebuilding();
      break;
    case kSideBySide:
      state.checked = side_by_side_;
      break;
    case kMapBelow:
      state.checked = map_below_;
      break;
    default:
      break;
  }
  return state;
}
