#pragma once
// "Simulator": a modeless dialog that is also the GPS input of type 5. Every 2 seconds it moves
// a simulated vessel by its course and speed through the water, plus the current's drift along
// its set, and delivers the fix as a receiver does: it fills the fix record and posts the
// fix notice to the frame. The user steers with the buttons, the speed spin and the arrow keys,
// and may type a new position at any time.
//
// Closing the dialog asks the frame to stop GPS input; the request runs from the event loop
// once the close has been handled, and the frame then deletes this object.
//
//   gps_ = std::make_unique<CDlgSimulator>(fix_, message_window(), own_vessel_position,
//                                          [this] { StopGPS(); }, this);
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/gps_position_info.h"
#include "core/ui/dialog_f1_help.h"
#include "geodesy/geo_point.h"
#include "gps/gps_interface.h"
#include "platform/os/message_queue.h"

class CDlgSimulator : public CDialogF1Help, public CGPSInterface {
 public:
  static constexpr int kTemplate = 199;
  static constexpr int kCourseEdit = 1001;
  static constexpr int kSpeedEdit = 1002;
  static constexpr int kSpeedSpin = 1003;
  static constexpr int kDriftEdit = 1004;
  static constexpr int kSetEdit = 1005;
  static constexpr int kPositionEdit = 1006;
  static constexpr int kCourseLess10 = 1007;  // "<<"
  static constexpr int kCourseLess1 = 1008;   // "<"
  static constexpr int kCourseMore1 = 1009;   // ">"
  static constexpr int kCourseMore10 = 1010;  // ">>"
  static constexpr uintptr_t kTimerId = 3123;
  static constexpr int kTimerMs = 2000;
  static constexpr double kSpeedStep = 0.2;  // knots per spin step or arrow key
  static constexpr char kStatus[] = "Simulator";

  // record: the frame's fix record, written on every tick. frame: where fix notices go.
  // start: the own vessel's last position, copied into the record; without one no fix is made
  // until a position is typed. Course and speed start from the record's. request_stop: asks
  // the owner to stop GPS input (and so delete this object). Shows the dialog at once and
  // starts the timer.
  CDlgSimulator(GPS_position_info& record, vd::os::MessageWindow& frame,
                std::optional<GeoPoint> start, std::function<void()> request_stop,
                QWidget* parent);
  ~CDlgSimulator() override;

  // No transfers.
  bool CanTransfer(int /*direction*/, int /*kind*/) const override { return false; }

  // The dialog's layout under kTemplate; idempotent.
  static void RegisterTemplate();

  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  void OnCommand(int id, QWidget* control, int code) override;
  // OK does nothing: the dialog stays until closed.
  void OnOK() override {}
  // Closing: the window goes and GPS input is asked to stop.
  void OnCancel() override;
  // One tick of the simulated vessel.
  void OnTimer(uintptr_t id) override;
  std::string HelpTopic() const override { return "Using_the_GPS_Simulator"; }

  // Keys taken before the dialog's controls see them; true when used up. Arrows steer unless
  // one of the edits holds the focus; Enter anywhere only moves the focus to the dialog.
  bool PreTranslateKey(QWidget* target, int qt_key);

  double course() const { return course_; }
  double speed() const { return speed_; }

 private:
  void ChangeCourse(double degrees);
  void ChangeSpeed(double knots);
  // The numbers typed (an unreadable field reads 0) and the position text.
  void ReadControls();
  // Writes the numbers and the position, or only the position while updating_.
  void WriteControls();
  bool IsEdit(const QWidget* widget) const;

  GPS_position_info& record_;
  vd::os::MessageWindow& frame_;
  std::function<void()> request_stop_;
  // Tells a stop request still queued whether this object is alive.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  double course_ = 0.0;  // degrees true through the water, 0 <= course < 360
  double speed_ = 0.0;   // knots through the water, never below 0
  double drift_ = 0.0;   // knots of the current
  double set_ = 0.0;     // degrees true the current runs to
  std::string position_text_;
  bool updating_ = false;
};
