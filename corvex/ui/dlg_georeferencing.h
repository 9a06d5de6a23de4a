#pragma once
// "Map Calibration": a modeless companion of a chart view for calibrating a scanned map. A click
// on the chart takes its pixel (and, on a calibrated chart, its position, snapped to the grid
// when one is set); "Save point" keeps the pixel with the typed position as a reference point.
// With three or more points the georeference is fitted again (polynomial, or through UTM), and
// written into the chart file with the datum (and a grid boundary when asked); the chart opens
// again. While open it draws the points over the chart: a cross and a circle at each point's
// pixel, a red circle where its position falls under the current georeference (the residual),
// and the grid. OK writes the calibration file (".jpr") when anything changed; Cancel after
// changes asks whether to go back to the georeference the chart had.
//
// The points come from the chart's calibration file when it has one; a file that can't be read
// is reported and its points are not taken.
#include <QDialog>
#include <string>
#include <vector>

#include "corvex/chart_calibration.h"
#include "corvex/ostrel_view.h"
#include "geodesy/georef_polynomial.h"

class QCheckBox;
class QLineEdit;
class QTreeWidget;

class CDlgGeoreferencing : public QDialog, public COstrelView::CalibrationHost {
 public:
  // Opens on the view's chart; the view forwards its chart clicks and paints through it.
  CDlgGeoreferencing(COstrelView& view, QWidget* parent);
  // Saves the options and lets go of the view.
  ~CDlgGeoreferencing() override;

  // ---- COstrelView::CalibrationHost ----
  void OnChartClick(int x, int y) override;
  void DrawOverlay(vd::ui::Surface& dc) override;
  void OnViewClosing() override;

  // ---- The buttons ----
  // The pixel and position edits become a point (the selected row's, else a new one) and the
  // georeference is fitted again. False ("Position not understood") when the position does
  // not read.
  bool SavePoint();
  void DeleteSelectedPoint();
  // Centres the view on the pixel of the edits.
  void ShowPoint();
  // With three or more points: fits and applies the georeference. False with a message when
  // the points can't be fitted.
  bool Refit();
  // OK: the calibration file when anything changed, then the dialog goes.
  void Finish();
  // Cancel: after changes, asks whether to go back to the chart's first georeference; the
  // dialog stays on No.
  void Abandon();

  const std::vector<CalibrationPoint>& points() const { return points_; }
  const std::string& calibration_path() const { return jpr_path_; }
  double residual() const { return residual_; }
  bool changed() const { return changed_; }
  const CalibrationOptions& options() const { return options_; }
  QLineEdit* x_edit() const { return x_edit_; }
  QLineEdit* y_edit() const { return y_edit_; }
  QLineEdit* position_edit() const { return position_edit_; }
  QTreeWidget* list() const { return list_; }
  QCheckBox* utm_check() const { return utm_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  // Hides the dialog, which goes at the next turn of the event loop.
  void CloseNow();
  void FillList();
  void ReadOptions();
  // Writes a georeference (and the grid boundary when asked) with the datum into the chart
  // file and opens the chart again at the same place.
  bool Apply(const GeorefPolynomial& georef);
  std::string PositionText(double lat, double lon) const;

  COstrelView* view_;
  std::string chart_path_;
  std::string jpr_path_;
  GeorefPolynomial original_{};
  GeorefPolynomial current_{};
  bool had_georeference_ = false;
  bool changed_ = false;
  double residual_ = 0.0;
  CalibrationOptions options_;
  std::vector<CalibrationPoint> points_;

  QTreeWidget* list_ = nullptr;
  QLineEdit* x_edit_ = nullptr;
  QLineEdit* y_edit_ = nullptr;
  QLineEdit* position_edit_ = nullptr;
  QCheckBox* grid_ = nullptr;
  QLineEdit* grid_degrees_ = nullptr;
  QLineEdit* grid_minutes_ = nullptr;
  QCheckBox* utm_ = nullptr;
  QCheckBox* nad27_ = nullptr;
  QCheckBox* boundary_ = nullptr;
};
