#pragma once
// "Magnetic Variation": whether bearings are shown in degrees magnetic. The variation itself is
// worked out from the position (CAppCommon::UpdateMagneticVariation).
#include "core/ui/dialog_f1_help.h"

class CAppCommon;

class CDlgMagneticVariation : public CDialogF1Help {
 public:
  static constexpr int kTemplate = 157;
  static constexpr int kShowMagneticCheck = 1001;

  CDlgMagneticVariation(QWidget* parent, bool show_magnetic);

  // The dialog's layout under kTemplate; idempotent.
  static void RegisterTemplate();

  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  void OnOK() override;

  bool show_magnetic() const { return show_magnetic_; }

 private:
  bool show_magnetic_;
};

// Runs the dialog on app.show_magnetic. On OK stores the choice in the profile at once and,
// with magnetic bearings on, forgets the last position and works the variation out again;
// false when cancelled.
bool EditMagneticVariation(CAppCommon& app, QWidget* parent);
