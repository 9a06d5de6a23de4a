#pragma once
// The modal progress dialog of a job that runs on a thread of its own (a download): it polls
// the job's progress record every 250 ms, moves the bar, shows the worker's status lines and
// an estimate of the time left, and closes once the worker has finished.
//
//   job.thread = std::thread([&job] { ...; job.SetFinished(); });
//   RunWithProgress(owner, job, "Downloading...");
#include <cstdint>
#include <string>

#include "core/download_progress.h"
#include "core/ui/dialog.h"

class QWidget;

class CDlgProgress : public Dialog {
 public:
  static constexpr uintptr_t kPollTimer = 1;
  static constexpr int kPollMs = 250;

  // With poll_timer false the dialog starts no timer of its own: whoever drives it delivers
  // kWmTimer with kPollTimer, each counting as one 250 ms poll (a test clock, say).
  CDlgProgress(CDownloadProgress& job, std::string title, bool poll_timer = true);

  // DoModal, and when the dialog did not end by itself (the application is quitting, so the
  // event loop returns at once): cancels the job and runs the callbacks the dialog holds as on
  // Cancel, so that the worker is still joined.
  int Run(QWidget* owner);

  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  // One poll; ends the dialog once the worker has finished: with Cancel when the job was
  // cancelled, else with OK.
  void OnTimer(uintptr_t id) override;
  // Cancel, Escape and closing the window ask the worker to stop; the dialog stays until the
  // worker reports that it has finished.
  void OnCancel() override;

 private:
  void Update();

  CDownloadProgress& job_;
  const std::string title_;
  const bool poll_timer_;
  int32_t ticks_ = 0;          // polls since the last estimate
  float last_fraction_ = 0;    // fraction done at the last estimate
  float smoothed_gain_ = 0;    // fraction gained per estimate period, smoothed; 0 = none yet
};

// Runs the job's progress dialog over owner until the job's worker has finished, unless it
// finishes within the first 10 ms. Registers a completion callback that, once the dialog has
// closed, shows the job's error text (when there is an owner) in a box captioned "Error" and
// joins the job's thread, and runs the pending callbacks up to it before returning.
void RunWithProgress(QWidget* owner, CDownloadProgress& job, const std::string& title);
