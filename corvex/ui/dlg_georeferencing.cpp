#include "corvex/ui/dlg_georeferencing.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "charts/old_quick_chart.h"
#include "overlays/outline/old_chart_outline.h"
#include "charts/quick_chart_header.h"
#include "core/path_utils.h"
#include "core/ui/message_boxes.h"
#include "geodesy/georef_fitter.h"
#include "geodesy/units.h"
#include "platform/os/numbers.h"
#include "platform/ui/help_pages.h"
#include "platform/ui/message_box.h"
#include "platform/ui/surface.h"
#include "platform/ui/window_messages.h"

namespace {

constexpr int kCrossArm = 25;
constexpr int kDiagonalArm = 18;
constexpr int kPointRadius = 18;
constexpr int kResidualRadius = 16;
constexpr vd::ui::ColourRef kBlack = 0x000000;
constexpr vd::ui::ColourRef kRed = 0x0000FF;    // COLORREF order: 0x00BBGGRR
constexpr vd::ui::ColourRef kGreen = 0x00C000;
// Grid lines drawn at most, each way.
constexpr int kMaxGridLines = 1000;

vd::ui::Rect Around(vd::ui::Point p, int r) { return {p.x - r, p.y - r, p.x + r + 1, p.y + r + 1}; }

float ReadFloat(const QLineEdit* edit) {
  double value = 0;
  return vd::os::ParseDouble(edit->text().trimmed().toStdString(), value) && std::isfinite(value)
             ? static_cast<float>(value)
             : 0.0f;
}

}  // namespace

CDlgGeoreferencing::CDlgGeoreferencing(COstrelView& view, QWidget* parent)
    : QDialog(parent), view_(&view) {
  setWindowTitle("Map Calibration");
  setAttribute(Qt::WA_DeleteOnClose);
  chart_path_ = view.GetChartPath();
  jpr_path_ = COstrelView::CalibrationFilePath(chart_path_);
  if (COldQuickChart* chart = view.chart()) {
    chart->GetGeoreference(original_);
    had_georeference_ = chart->HasGeoreference();
  }
  current_ = original_;
  options_ = CalibrationOptions::Load();

  auto* layout = new QVBoxLayout(this);
  list_ = new QTreeWidget;
  list_->setColumnCount(3);
  list_->setHeaderLabels({"Position", "X", "Y"});
  list_->setRootIsDecorated(false);
  list_->header()->resizeSection(0, 150);
  list_->header()->resizeSection(1, 30);
  list_->header()->resizeSection(2, 30);
  layout->addWidget(list_);

  auto* point = new QGridLayout;
  point->addWidget(new QLabel("X:"), 0, 0);
  point->addWidget(x_edit_ = new QLineEdit, 0, 1);
  point->addWidget(new QLabel("Y:"), 0, 2);
  point->addWidget(y_edit_ = new QLineEdit, 0, 3);
  point->addWidget(new QLabel("Position:"), 1, 0);
  point->addWidget(position_edit_ = new QLineEdit, 1, 1, 1, 3);
  layout->addLayout(point);

  auto* buttons = new QHBoxLayout;
  auto* save = new QPushButton("Save point");
  auto* remove = new QPushButton("Delete");
  auto* show = new QPushButton("Show");
  buttons->addWidget(save);
  buttons->addWidget(remove);
  buttons->addWidget(show);
  layout->addLayout(buttons);

  auto* grid = new QHBoxLayout;
  grid->addWidget(grid_ = new QCheckBox("Lat/Long Grid"));
  grid->addWidget(new QLabel("Deg"));
  grid->addWidget(grid_degrees_ = new QLineEdit);
  grid->addWidget(new QLabel("Min"));
  grid->addWidget(grid_minutes_ = new QLineEdit);
  layout->addLayout(grid);
  auto* fit = new QHBoxLayout;
  fit->addWidget(utm_ = new QCheckBox("UTM"));
  fit->addWidget(nad27_ = new QCheckBox("NAD27"));
  fit->addWidget(boundary_ = new QCheckBox("Boundary on Grid"));
  layout->addLayout(fit);

  auto* end = new QHBoxLayout;
  auto* help = new QPushButton("Help");
  auto* ok = new QPushButton("OK");
  auto* cancel = new QPushButton("Cancel");
  end->addWidget(help);
  end->addStretch();
  end->addWidget(ok);
  end->addWidget(cancel);
  layout->addLayout(end);

  grid_->setChecked(options_.grid_on != 0);
  grid_degrees_->setText(QString::fromStdString(vd::os::FormatC("%g", options_.grid_degrees)));
  grid_minutes_->setText(QString::fromStdString(vd::os::FormatC("%g", options_.grid_minutes)));
  utm_->setChecked(options_.utm != 0);
  nad27_->setChecked(options_.nad27 != 0);
  boundary_->setChecked(options_.boundary_on_grid != 0);

  connect(save, &QPushButton::clicked, this, [this] { SavePoint(); });
  connect(remove, &QPushButton::clicked, this, [this] { DeleteSelectedPoint(); });
  connect(show, &QPushButton::clicked, this, [this] { ShowPoint(); });
  connect(help, &QPushButton::clicked, this, [] { vd::ui::OpenHelpTopic("Self_Scan_Maps"); });
  connect(ok, &QPushButton::clicked, this, [this] { Finish(); });
  connect(cancel, &QPushButton::clicked, this, [this] { Abandon(); });
  for (QCheckBox* box : {utm_, nad27_, boundary_}) {
    connect(box, &QCheckBox::toggled, this, [this] {
      ReadOptions();
      Refit();
    });
  }
  connect(grid_, &QCheckBox::toggled, this, [this] {
    ReadOptions();
    if (view_) view_->InvalidateClient({0, 0, view_->client_size().cx, view_->client_size().cy});
  });
  for (QLineEdit* edit : {grid_degrees_, grid_minutes_})
    connect(edit, &QLineEdit::editingFinished, this, [this] { ReadOptions(); });
  connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
    const QList<QTreeWidgetItem*> rows = list_->selectedItems();
    if (rows.isEmpty()) return;
    const int row = list_->indexOfTopLevelItem(rows.front());
    if (row < 0 || size_t(row) >= points_.size()) return;
    const CalibrationPoint& p = points_[size_t(row)];
    x_edit_->setText(QString::number(p.x));
    y_edit_->setText(QString::number(p.y));
    position_edit_->setText(QString::fromStdString(PositionText(p.lat, p.lon)));
  });

  std::string error;
  if (!ReadCalibrationPoints(jpr_path_, points_, error)) {
    FormatMessageBox(vd::ui::kMbIconError, "%s", error.c_str());
  } else if (!points_.empty() && !CheckCalibrationPoints(points_, error)) {
    // Kept, so that the user can add to them.
    FormatMessageBox(vd::ui::kMbIconWarning, "%s:\n%s", jpr_path_.c_str(), error.c_str());
  }
  FillList();
  view.SetCalibration(this);
}

CDlgGeoreferencing::~CDlgGeoreferencing() {
  ReadOptions();
  options_.Save();
  if (view_) view_->SetCalibration(nullptr);
}

std::string CDlgGeoreferencing::PositionText(double lat, double lon) const {
  std::string text;
  CUnits::FormatAngle(text, "NS", lat, 0);
  text += ", ";
  CUnits::FormatAngle(text, "EW", lon, 0);
  return text;
}

void CDlgGeoreferencing::ReadOptions() {
  options_.grid_on = grid_->isChecked() ? 1 : 0;
  options_.grid_degrees = ReadFloat(grid_degrees_);
  options_.grid_minutes = ReadFloat(grid_minutes_);
  options_.utm = utm_->isChecked() ? 1 : 0;
  options_.nad27 = nad27_->isChecked() ? 1 : 0;
  options_.boundary_on_grid = boundary_->isChecked() ? 1 : 0;
}

void CDlgGeoreferencing::FillList() {
  list_->clear();
  for (const CalibrationPoint& p : points_) {
    list_->addTopLevelItem(new QTreeWidgetItem(
        {QString::fromStdString(PositionText(p.lat, p.lon)), QString::number(p.x),
         QString::number(p.y)}));
  }
  if (view_) view_->InvalidateClient({0, 0, view_->client_size().cx, view_->client_size().cy});
}

void CDlgGeoreferencing::OnChartClick(int x, int y) {
  list_->clearSelection();
  x_edit_->setText(QString::number(x));
  y_edit_->setText(QString::number(y));
  COldQuickChart* chart = view_ ? view_->chart() : nullptr;
  if (chart && chart->HasGeoreference()) {
    double lat = 0, lon = 0;
    chart->PixelToLatLon(x, y, lat, lon);
    const double g = options_.GridInterval();
    position_edit_->setText(
        QString::fromStdString(PositionText(SnapToGrid(lat, g), SnapToGrid(lon, g))));
  }
}

bool CDlgGeoreferencing::SavePoint() {
  double lat = 0, lon = 0, x = 0, y = 0;
  if (!CUnits::ParseLatLonText(position_edit_->text().toStdString(), lat, lon)) {
    vd::ui::RunMessageBox(this, "Position not understood", "Map Calibration",
                          vd::ui::kMbOk | vd::ui::kMbIconError);
    return false;
  }
  if (!vd::os::ParseDouble(x_edit_->text().trimmed().toStdString(), x) ||
      !vd::os::ParseDouble(y_edit_->text().trimmed().toStdString(), y) ||
      !(std::fabs(x) < 2e9) || !(std::fabs(y) < 2e9)) {
    vd::ui::RunMessageBox(this, "Pixel X and Y not understood", "Map Calibration",
                          vd::ui::kMbOk | vd::ui::kMbIconError);
    return false;
  }
  const CalibrationPoint point{static_cast<int32_t>(x), static_cast<int32_t>(y), lat, lon};
  const QList<QTreeWidgetItem*> rows = list_->selectedItems();
  const int row = rows.isEmpty() ? -1 : list_->indexOfTopLevelItem(rows.front());
  if (row >= 0 && size_t(row) < points_.size()) {
    points_[size_t(row)] = point;
  } else {
    points_.push_back(point);
  }
  FillList();
  Refit();
  return true;
}

void CDlgGeoreferencing::DeleteSelectedPoint() {
  const QList<QTreeWidgetItem*> rows = list_->selectedItems();
  if (rows.isEmpty()) return;
  const int row = list_->indexOfTopLevelItem(rows.front());
  if (row < 0 || size_t(row) >= points_.size()) return;
  points_.erase(points_.begin() + row);
  FillList();
  Refit();
}

void CDlgGeoreferencing::ShowPoint() {
  double x = 0, y = 0;
  if (!view_ || !vd::os::ParseDouble(x_edit_->text().trimmed().toStdString(), x) ||
      !vd::os::ParseDouble(y_edit_->text().trimmed().toStdString(), y) || !(std::fabs(x) < 2e9) ||
      !(std::fabs(y) < 2e9)) {
    return;
  }
  view_->CentreOn(static_cast<int>(x), static_cast<int>(y), COstrelView::kMaxZoom + 1);
}

bool CDlgGeoreferencing::Refit() {
  if (points_.size() < 3 || !view_) return true;  // two points change nothing
  std::string error;
  if (!CheckCalibrationPoints(points_, error)) {
    FormatMessageBox(vd::ui::kMbIconWarning, "%s", error.c_str());
    return false;
  }
  GeorefPolynomial georef = current_;
  residual_ = FitCalibration(points_, options_.utm != 0, georef);
  if (residual_ >= kNoCalibrationFit) {
    FormatMessageBox(vd::ui::kMbIconWarning, "%s",
                     "No georeference fits these reference points. Check their positions.");
    return false;
  }
  if (!Apply(georef)) return false;
  current_ = georef;
  changed_ = true;
  return true;
}

bool CDlgGeoreferencing::Apply(const GeorefPolynomial& georef) {
  COldQuickChart* chart = view_ ? view_->chart() : nullptr;
  if (!chart) return false;
  const double width = chart->width(), height = chart->height();
  std::vector<GeoPoint> boundary;
  const double g = options_.GridInterval();
  if (options_.boundary_on_grid && g > 0) {
    // The grid cells around the chart's corners, a tenth of its size outside them.
    double min_lat = 1e9, max_lat = -1e9, min_lon = 1e9, max_lon = -1e9;
    for (const auto& [px, py] : {std::pair{-width / 10, -height / 10},
                                 std::pair{width * 1.1, -height / 10},
                                 std::pair{width * 1.1, height * 1.1},
                                 std::pair{-width / 10, height * 1.1}}) {
      const auto [lat, lon] = EvalCubicPolynomial2D(georef.inverse, px, py);
      min_lat = std::min(min_lat, lat);
      max_lat = std::max(max_lat, lat);
      min_lon = std::min(min_lon, lon);
      max_lon = std::max(max_lon, lon);
    }
    min_lat = std::floor(min_lat / g) * g;
    min_lon = std::floor(min_lon / g) * g;
    max_lat = std::ceil(max_lat / g) * g;
    max_lon = std::ceil(max_lon / g) * g;
    boundary = {{max_lat, min_lon}, {max_lat, max_lon}, {min_lat, max_lon}, {min_lat, min_lon}};
  }
  const auto [centre_lat, centre_lon] = EvalCubicPolynomial2D(georef.inverse, width / 2, height / 2);
  const COstrelView::Place place{chart_path_, view_->zoom(), view_->origin()};
  view_->FlushTiles();
  if (!ApplyCalibration(chart_path_, georef, boundary.empty() ? nullptr : &boundary,
                        options_.nad27 != 0, centre_lat, centre_lon)) {
    FormatMessageBox(vd::ui::kMbIconError, "Failed to write the calibration into %s",
                     chart_path_.c_str());
    return false;
  }
  view_->OpenChartFile(chart_path_);
  view_->GoToPlace(place);
  return true;
}

void CDlgGeoreferencing::DrawOverlay(vd::ui::Surface& dc) {
  COldQuickChart* chart = view_ ? view_->chart() : nullptr;
  if (!chart) return;
  const vd::ui::Brush old_brush = dc.SelectBrush(vd::ui::Brush::Null());
  vd::ui::Pen black;
  black.colour = kBlack;
  const vd::ui::Pen old_pen = dc.SelectPen(black);
  for (const CalibrationPoint& p : points_) {
    const vd::ui::Point c = view_->ChartToClient({p.x, p.y});
    dc.MoveTo({c.x - kCrossArm, c.y});
    dc.LineTo({c.x + kCrossArm, c.y});
    dc.MoveTo({c.x, c.y - kCrossArm});
    dc.LineTo({c.x, c.y + kCrossArm});
    dc.MoveTo({c.x - kDiagonalArm, c.y - kDiagonalArm});
    dc.LineTo({c.x + kDiagonalArm, c.y + kDiagonalArm});
    dc.MoveTo({c.x - kDiagonalArm, c.y + kDiagonalArm});
    dc.LineTo({c.x + kDiagonalArm, c.y - kDiagonalArm});
    dc.Ellipse(Around(c, kPointRadius));
  }
  if (chart->HasGeoreference()) {
    vd::ui::Pen red;
    red.colour = kRed;
    dc.SelectPen(red);
    for (const CalibrationPoint& p : points_) {
      ScreenPoint at;
      if (!chart->LatLonToPixel(p.lat, p.lon, at)) continue;
      dc.Ellipse(Around(view_->ChartToClient({at.x, at.y}), kResidualRadius));
    }
    const double g = options_.GridInterval();
    if (g > 0 && !points_.empty()) {
      double min_lat = 90, max_lat = -90, min_lon = 360, max_lon = -360;
      for (const CalibrationPoint& p : points_) {
        min_lat = std::min(min_lat, p.lat);
        max_lat = std::max(max_lat, p.lat);
        min_lon = std::min(min_lon, p.lon);
        max_lon = std::max(max_lon, p.lon);
      }
      min_lat = std::floor(min_lat / g) * g;
      min_lon = std::floor(min_lon / g) * g;
      max_lat = std::ceil(max_lat / g) * g;
      max_lon = std::ceil(max_lon / g) * g;
      vd::ui::Pen green;
      green.colour = kGreen;
      dc.SelectPen(green);
      const auto trace = [&](bool constant_lat, double value, double from, double to) {
        bool first = true;
        int steps = 0;
        for (double t = from; t <= to + g / 4 && steps < 4 * kMaxGridLines; t += g / 2, ++steps) {
          ScreenPoint at;
          const bool ok = constant_lat ? chart->LatLonToPixel(value, t, at)
                                       : chart->LatLonToPixel(t, value, at);
          if (!ok) {
            first = true;
            continue;
          }
          const vd::ui::Point c = view_->ChartToClient({at.x, at.y});
          if (first) {
            dc.MoveTo(c);
          } else {
            dc.LineTo(c);
          }
          first = false;
        }
      };
      int lines = 0;
      for (double lat = min_lat; lat <= max_lat + g / 4 && lines < kMaxGridLines; lat += g, ++lines)
        trace(true, lat, min_lon, max_lon);
      lines = 0;
      for (double lon = min_lon; lon <= max_lon + g / 4 && lines < kMaxGridLines; lon += g, ++lines)
        trace(false, lon, min_lat, max_lat);
    }
  }
  dc.SelectPen(old_pen);
  dc.SelectBrush(old_brush);
}

void CDlgGeoreferencing::OnViewClosing() {
  view_ = nullptr;
  CloseNow();
}

void CDlgGeoreferencing::CloseNow() {
  hide();
  deleteLater();
}

void CDlgGeoreferencing::Finish() {
  ReadOptions();
  COldQuickChart* chart = view_ ? view_->chart() : nullptr;
  if (changed_ && chart) {
    CalibrationFile file;
    const COldChartOutline* outline = view_->outline();
    file.name = outline && !outline->title.empty() ? outline->title
                                                   : GetFileTitleOfPath(chart_path_);
    chart->GetHeaderString(kQctCopyright, file.copyright);
    std::string marker, depths;
    chart->GetHeaderString(kQctTitle, marker);
    std::string description;
    chart->GetHeaderString(kQctDescription, description);
    if ((marker + description).find("Nautical") != std::string::npos)
      chart->GetHeaderString(kQctDepthUnits, file.depth_units);
    if (outline && outline->has_datum_shift) {
      file.has_shift = true;
      file.shift_lat = outline->shift_lat;
      file.shift_lon = outline->shift_lon;
    }
    file.utm = options_.utm != 0;
    file.nad27 = options_.nad27 != 0;
    file.points = points_;
    if (outline) {
      for (const GeoPoint& p : outline->points) {
        double x = 0, y = 0;
        chart->LatLonToPixelF(p.lat, p.lon, x, y);
        file.boundary.emplace_back(static_cast<int32_t>(x), static_cast<int32_t>(y));
      }
    }
    if (!WriteCalibrationFile(jpr_path_, file)) {
      vd::ui::RunMessageBox(this, "Failed to write JPR file", "Map Calibration",
                            vd::ui::kMbOk | vd::ui::kMbIconError);
      return;
    }
  }
  changed_ = false;
  CloseNow();
}

void CDlgGeoreferencing::Abandon() {
  if (changed_) {
    if (vd::ui::RunMessageBox(this, "Discard changes and revert to original?", "Map Calibration",
                              vd::ui::kMbYesNo | vd::ui::kMbIconQuestion) != vd::ui::kIdYes) {
      return;
    }
    if (view_) Apply(original_);
    changed_ = false;
  }
  CloseNow();
}

void CDlgGeoreferencing::reject() { Abandon(); }

void CDlgGeoreferencing::closeEvent(QCloseEvent* event) {
  // The window's own close button asks as Cancel does.
  event->ignore();
  Abandon();
}
