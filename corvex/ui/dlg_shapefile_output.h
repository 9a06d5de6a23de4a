#pragma once
// "Shapefile Export": which kind of object to write when the objects to export are of several
// kinds; only the kinds present can be chosen.
//
//   ExportShapefiles(path, list, MakeShapeKindChooser(parent), &error);
#include <optional>

#include "core/ui/dialog_f1_help.h"
#include "overlays/exchange/shapefile.h"

class CDlgShapefileOutput : public CDialogF1Help {
 public:
  static constexpr int kTemplate = 211;
  // One radio per kind, with the kind's bit of the mask.
  static constexpr int kMarksRadio = 1001;         // bit 0
  static constexpr int kRoutesRadio = 1002;        // bit 1
  static constexpr int kTracksRadio = 1003;        // bit 2
  static constexpr int kClosedRoutesRadio = 1004;  // bit 3
  static constexpr int kClosedTracksRadio = 1005;  // bit 4

  // kinds_present: the bits of the kinds the objects hold (ShapeKindBit).
  CDlgShapefileOutput(int kinds_present, QWidget* parent);

  // The dialog's layout under kTemplate; idempotent.
  static void RegisterTemplate();

  // The first kind present starts chosen.
  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  void OnOK() override;
  std::string HelpTopic() const override { return "Shapefiles"; }

  // After OK: the kind chosen; nothing when none was.
  std::optional<ShapeExportKind> kind() const { return kind_; }

 private:
  const int kinds_present_;
  std::optional<ShapeExportKind> kind_;
};

// Asks with the dialog; nothing when cancelled or nothing was chosen.
ShapeKindChooser MakeShapeKindChooser(QWidget* parent);
