#include "corvex/ui/dlg_simulator.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>
#include <ctime>

#include "app/app_common.h"
#include "corvex/ui/spin_buttons.h"
#include "gps/gps_notice.h"
#include "overlays/lat_lon.h"
#include "platform/os/numbers.h"
#include "platform/ui/dialog_templates.h"

namespace {

// Nautical miles run in one tick per knot.
constexpr double kMilesPerKnotPerTick = CDlgSimulator::kTimerMs / 3600000.0;

constexpr int kEdits[] = {CDlgSimulator::kCourseEdit, CDlgSimulator::kSpeedEdit,
                          CDlgSimulator::kDriftEdit, CDlgSimulator::kSetEdit,
                          CDlgSimulator::kPositionEdit};

void BuildSimulatorDialog(vd::ui::DialogWindow& d) {
  using D = CDlgSimulator;
  d.setWindowTitle("Simulator");
  auto* layout = new QVBoxLayout(&d);

  auto* vessel = new QGroupBox("Vessel");
  auto* vessel_grid = new QGridLayout(vessel);
  vessel_grid->addWidget(new QLabel("Course"), 0, 0);
  vessel_grid->addWidget(d.AddControl(D::kCourseEdit, new QLineEdit), 0, 1);
  vessel_grid->addWidget(new QLabel("° True"), 0, 2);
  auto* steer = new QHBoxLayout;
  const struct {
    int id;
    const char* text;
  } buttons[] = {{D::kCourseLess10, "<<"}, {D::kCourseLess1, "<"}, {D::kCourseMore1, ">"},
                 {D::kCourseMore10, ">>"}};
  for (const auto& b : buttons) steer->addWidget(d.AddControl(b.id, new QPushButton(b.text)));
  vessel_grid->addLayout(steer, 1, 1, 1, 2);
  vessel_grid->addWidget(new QLabel("Speed"), 2, 0);
  auto* speed = new QHBoxLayout;
  speed->addWidget(d.AddControl(D::kSpeedEdit, new QLineEdit), 1);
  speed->addWidget(d.AddControl(D::kSpeedSpin, new CSpinButtons));
  vessel_grid->addLayout(speed, 2, 1);
  vessel_grid->addWidget(new QLabel("Knots"), 2, 2);
  layout->addWidget(vessel);

  auto* current = new QGroupBox("Set");
  auto* current_grid = new QGridLayout(current);
  current_grid->addWidget(d.AddControl(D::kDriftEdit, new QLineEdit), 0, 0);
  current_grid->addWidget(new QLabel("knots"), 0, 1);
  current_grid->addWidget(d.AddControl(D::kSetEdit, new QLineEdit), 1, 0);
  current_grid->addWidget(new QLabel("° True"), 1, 1);
  layout->addWidget(current);

  auto* position = new QGroupBox("Position");
  auto* position_layout = new QVBoxLayout(position);
  position_layout->addWidget(d.AddControl(D::kPositionEdit, new QLineEdit));
  layout->addWidget(position);

  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(d.AddControl(vd::ui::kIdCancel, new QPushButton("Close")));
  row->addWidget(d.AddControl(vd::ui::kIdHelp, new QPushButton("Help")));
  layout->addLayout(row);
}

// What the number edits show, and how they read: as atof would, 0 for what does not read (and
// for infinities and NaN, which no vessel can steer by).
std::string NumberText(double value) { return vd::os::FormatC("%.15g", value); }

double NumberOf(const std::string& text) {
  double value = 0.0;
  return vd::os::ParseDouble(text, value) && std::isfinite(value) ? value : 0.0;
}

// Into 0 <= degrees < 360.
double WrapDegrees(double degrees) {
  double wrapped = std::fmod(degrees, 360.0);
  if (wrapped < 0.0) wrapped += 360.0;
  return wrapped >= 360.0 ? 0.0 : wrapped;
}

// Hands every key meant for the dialog or its controls to the simulator first.
class KeyFilter : public QObject {
 public:
  KeyFilter(CDlgSimulator& owner, QObject* parent) : QObject(parent), owner_(owner) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    // A key reaches the dialog itself when it has the focus, or when the control holding the
    // focus passed it on: the focus decides.
    QWidget* target = static_cast<QWidget*>(watched);
    if (target->isWindow() && target->focusWidget()) target = target->focusWidget();
    return owner_.PreTranslateKey(target, static_cast<QKeyEvent*>(event)->key());
  }

 private:
  CDlgSimulator& owner_;
};

}  // namespace

void CDlgSimulator::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate))
    vd::ui::RegisterDialogTemplate(kTemplate, BuildSimulatorDialog);
}

CDlgSimulator::CDlgSimulator(GPS_position_info& record, vd::os::MessageWindow& frame,
                             std::optional<GeoPoint> start, std::function<void()> request_stop,
                             QWidget* parent)
    : CDialogF1Help(kTemplate, parent),
      CGPSInterface(nullptr),
      record_(record),
      frame_(frame),
      request_stop_(std::move(request_stop)) {
  RegisterTemplate();
  // As for every input the frame starts.
  record_.simulated = 0;
  record_.restart_silently = 1;
  if (start) record_.position = *start;
  record_.valid = 0;
  course_ = WrapDegrees(std::isfinite(record_.course) ? record_.course : 0.0);
  speed_ = std::isfinite(record_.speed) ? std::max(0.0, double{record_.speed}) : 0.0;
  FormatPositionText(record_.position.lat, record_.position.lon, position_text_);

  vd::ui::DialogWindow* dialog = vd::ui::CreateDialogFromTemplate(kTemplate, parent);
  Attach(dialog);
  dialog->Deliver(vd::ui::kWmInitDialog, 0, 0);
  dialog->show();
  dialog->SetTimer(kTimerId, kTimerMs);
}

CDlgSimulator::~CDlgSimulator() { DestroyWindow(); }

bool CDlgSimulator::OnInitDialog(QWidget* focus, intptr_t param) {
  CDialogF1Help::OnInitDialog(focus, param);
  vd::ui::DialogWindow* window = dialog_window();
  window->ControlAs<CSpinButtons>(kSpeedSpin)->SetStepHandler([this](int steps) {
    ReadControls();
    ChangeSpeed(kSpeedStep * steps);
  });
  auto* filter = new KeyFilter(*this, window);
  window->installEventFilter(filter);
  for (QWidget* child : window->findChildren<QWidget*>())
    if (child->focusPolicy() != Qt::NoFocus) child->installEventFilter(filter);
  WriteControls();
  return true;
}

void CDlgSimulator::OnCommand(int id, QWidget* control, int code) {
  switch (id) {
    case kCourseLess10: ReadControls(); ChangeCourse(-10.0); return;
    case kCourseLess1: ReadControls(); ChangeCourse(-1.0); return;
    case kCourseMore1: ReadControls(); ChangeCourse(1.0); return;
    case kCourseMore10: ReadControls(); ChangeCourse(10.0); return;
    case kPositionEdit: {
      // The timer's own write-back is no edit; reading it back would round the position to
      // the text's precision on every tick.
      if (code != vd::ui::kEnChange || updating_) return;
      double lat = 0.0, lon = 0.0;
      if (ParsePositionText(GetItemText(kPositionEdit), lat, lon)) record_.position = {lat, lon};
      return;
    }
    default:
      CDialogF1Help::OnCommand(id, control, code);
  }
}

void CDlgSimulator::OnCancel() {
  DestroyWindow();
  // This object is deleted by the stop: it must not happen inside its own handler.
  std::weak_ptr<int> alive = alive_;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [alive, stop = request_stop_] {
        if (alive.lock() && stop) stop();
      },
      Qt::QueuedConnection);
}

bool CDlgSimulator::IsEdit(const QWidget* widget) const {
  for (int id : kEdits)
    if (widget == GetItem(id)) return true;
  return false;
}

bool CDlgSimulator::PreTranslateKey(QWidget* target, int qt_key) {
  if (qt_key == Qt::Key_Return || qt_key == Qt::Key_Enter) {
    if (QWidget* window = widget()) window->setFocus();
    return true;
  }
  if (IsEdit(target)) return false;
  switch (qt_key) {
    case Qt::Key_Left: ReadControls(); ChangeCourse(-1.0); return true;
    case Qt::Key_Right: ReadControls(); ChangeCourse(1.0); return true;
    case Qt::Key_Up: ReadControls(); ChangeSpeed(kSpeedStep); return true;
    case Qt::Key_Down: ReadControls(); ChangeSpeed(-kSpeedStep); return true;
    default: return false;
  }
}

void CDlgSimulator::ChangeCourse(double degrees) {
  course_ = WrapDegrees(course_ + degrees);
  WriteControls();
}

void CDlgSimulator::ChangeSpeed(double knots) {
  speed_ = std::max(0.0, speed_ + knots);
  WriteControls();
}

void CDlgSimulator::ReadControls() {
  if (!handle()) return;
  course_ = WrapDegrees(NumberOf(GetItemText(kCourseEdit)));
  speed_ = std::max(0.0, NumberOf(GetItemText(kSpeedEdit)));
  drift_ = NumberOf(GetItemText(kDriftEdit));
  set_ = WrapDegrees(NumberOf(GetItemText(kSetEdit)));
  position_text_ = GetItemText(kPositionEdit);
}

void CDlgSimulator::WriteControls() {
  if (!handle()) return;
  const bool was_updating = updating_;
  updating_ = true;  // the position text below is no edit of the user's
  SetItemText(kPositionEdit, position_text_);
  updating_ = was_updating;
  if (updating_) return;
  SetItemText(kCourseEdit, NumberText(course_));
  SetItemText(kSpeedEdit, NumberText(speed_));
  SetItemText(kDriftEdit, NumberText(drift_));
  SetItemText(kSetEdit, NumberText(set_));
}

void CDlgSimulator::OnTimer(uintptr_t id) {
  if (id != kTimerId || !handle()) return;
  handle()->SetTimer(kTimerId, kTimerMs);
  ReadControls();
  const QWidget* position_edit = GetItem(kPositionEdit);
  if (position_edit && position_edit->hasFocus()) return;  // a position is being typed
  if (record_.position.lat == 0.0 && record_.position.lon == 0.0) return;

  record_.valid = 1;
  record_.simulated = 1;
  record_.time = static_cast<int32_t>(static_cast<uint32_t>(std::time(nullptr)));
  record_.status = kStatus;
  record_.heading = static_cast<float>(course_);
  record_.water_speed = static_cast<float>(speed_);

  const CLatLon from(record_.position.lat, record_.position.lon);
  CLatLon to = from;
  to.MoveBy(speed_ * kMilesPerKnotPerTick, course_);
  to.MoveBy(drift_ * kMilesPerKnotPerTick, set_);
  double distance = 0.0, bearing = 0.0;
  from.DistanceAndBearingTo(to, distance, bearing);
  record_.course = static_cast<float>(bearing);
  record_.speed = static_cast<float>(distance / kMilesPerKnotPerTick);
  record_.position = {to.lat, to.lon};
  FormatPositionText(to.lat, to.lon, position_text_);
  PostGpsNotice(frame_, kGpsNoticeFix, record_);

  updating_ = true;
  WriteControls();
  updating_ = false;
}
