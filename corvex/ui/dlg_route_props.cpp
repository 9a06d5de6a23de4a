#include "corvex/ui/dlg_route_props.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cmath>
#include <vector>

#include "app/app_common.h"
#include "core/ui/message_boxes.h"
#include "corvex/ui/dlg_route_props_settings.h"
#include "corvex/ui/line_style_controls.h"
#include "corvex/ui/route_card_pictures.h"
#include "overlays/obj_waypoint.h"
#include "platform/os/process.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/help_pages.h"
#include "platform/ui/dialog_window.h"

std::array<int, 4> CDlgRouteProps::column_widths_ = {151, 140, 60, 60};

namespace {

using D = CDlgRouteProps;

void BuildRouteDialog(vd::ui::DialogWindow& d) {
  auto* layout = new QVBoxLayout(&d);
  auto* list = new QTreeWidget;
  list->setColumnCount(4);
  list->setHeaderLabels({"Waypoints", "Position", "Course", "Distance"});
  list->setRootIsDecorated(false);
  layout->addWidget(d.AddControl(D::kPointList, list));
  auto* grid = new QGridLayout;
  const struct {
    const char* label;
    int id;
  } statics[] = {{"Total distance:", D::kDistanceText}, {"Area:", D::kAreaText},
                 {"Total ascent:", D::kAscentText},     {"Total descent:", D::kDescentText},
                 {"Est. Time:", D::kTimeText}};
  int row = 0;
  for (const auto& s : statics) {
    grid->addWidget(new QLabel(s.label), row, 0);
    grid->addWidget(d.AddControl(s.id, new QLabel), row++, 1);
  }
  layout->addLayout(grid);
  CLineStyleControls::Add(d, layout);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(d.AddControl(D::kReverseButton, new QPushButton("Reverse")));
  buttons->addWidget(d.AddControl(D::kLabelLegsCheck, new QCheckBox("Label legs")));
  buttons->addWidget(d.AddControl(D::kSettingsButton, new QPushButton("Settings...")));
  buttons->addWidget(d.AddControl(D::kRouteCardButton, new QPushButton("Route Card")));
  layout->addLayout(buttons);
  AddPropsButtons(d, layout);
}

LineStyleFields StyleOf(CObjRoute& r) {
  return {r.colour, r.thickness, r.line_style, r.transparency};
}

int SettingOr(const char* name, int fallback) {
  return vd::OpenAppProfile().GetInt(vd::kSettingsSection, name).value_or(fallback);
}

}  // namespace

void CDlgRouteProps::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate)) vd::ui::RegisterDialogTemplate(kTemplate, BuildRouteDialog);
}

CDlgRouteProps::CDlgRouteProps(CObjRoute* route, QWidget* parent)
    : CObjectPropsDialog(route, kTemplate, parent) {
  ReadEstimateSettings();
  RegisterTemplate();
  CreateWindow();
}

CDlgRouteProps::~CDlgRouteProps() {
  if (auto* list = Item<QTreeWidget>(kPointList))
    for (int i = 0; i < 4; ++i) column_widths_[i] = list->columnWidth(i);
}

bool CDlgRouteProps::OnInitDialog(QWidget* focus, intptr_t param) {
  auto* list = Item<QTreeWidget>(kPointList);
  for (int i = 0; i < 4; ++i) list->setColumnWidth(i, column_widths_[i]);
  QObject::connect(list, &QTreeWidget::itemChanged, list,
                   [this](QTreeWidgetItem* item, int column) { OnItemChanged(item, column); });
  QObject::connect(list, &QTreeWidget::itemDoubleClicked, list,
                   [this](QTreeWidgetItem* item, int) { OnItemDoubleClicked(item); });
  return CObjectPropsDialog::OnInitDialog(focus, param);
}

void CDlgRouteProps::ReadEstimateSettings() {
  totals_.speed_knots = SettingOr("rt_est_speed", 3000) / 1000.0;
  totals_.ascent_seconds_per_metre = SettingOr("rt_est_ascent", 6000) / 1000.0;
  totals_.descent_seconds_per_metre = SettingOr("rt_est_descent", 0) / 1000.0;
}

void CDlgRouteProps::Refresh() {
  CObjRoute& r = route();
  CAppCommon* app = App();
  r.RecomputeLength();
  totals_.distance = app ? app->FormatDistance(r.length) : std::string();
  const double area = r.GetEnclosedArea();
  double seconds = totals_.speed_knots > 0.0 ? r.length * 3600.0 / totals_.speed_knots : 0.0;
  totals_.elevation = app ? app->GetElevationFile() : nullptr;
  totals_.ascent.clear();
  totals_.descent.clear();
  if (totals_.elevation) {
    double ascent = 0.0, descent = 0.0;
    r.GetAscentDescent(ascent, descent);
    seconds += ascent * totals_.ascent_seconds_per_metre +
               descent * totals_.descent_seconds_per_metre;
    totals_.ascent = app->FormatDepth(ascent);
    totals_.descent = app->FormatDepth(descent);
  }
  totals_.time = CAppCommon::FormatDuration(static_cast<int64_t>(seconds));
  totals_.thumbnails = options_.value.thumbnails != 0;
  totals_.only_labelled = options_.value.only_labelled != 0;
  totals_.thumbnail_height = options_.value.thumbnail_height;
  if (!dialog_window()) return;
  SetItemText(kDistanceText, totals_.distance);
  SetItemText(kAreaText, area > 0.0 && app ? app->FormatArea(area) : std::string());
  SetItemText(kAscentText, totals_.ascent);
  SetItemText(kDescentText, totals_.descent);
  SetItemText(kTimeText, totals_.time);
  ShowCheck(kLabelLegsCheck, r.leg_labels);
  CLineStyleControls::Show(*dialog_window(), StyleOf(r));
  FillList();
}

void CDlgRouteProps::FillList() {
  auto* list = Item<QTreeWidget>(kPointList);
  CAppCommon* app = App();
  const auto& points = route().points();
  filling_ = true;
  list->clear();
  for (size_t i = 0; i < points.size(); ++i) {
    std::string position, course, distance;
    FormatPositionText(points[i]->position.lat, points[i]->position.lon, position);
    if (i + 1 < points.size() && app) {
      double nm = 0.0, bearing = 0.0;
      points[i]->position.DistanceAndBearingTo(points[i + 1]->position, nm, bearing);
      course = app->FormatBearing(bearing);
      distance = app->FormatDistance(nm);
    }
    auto* item = new QTreeWidgetItem(
        QStringList{QString::fromStdString(points[i]->name), QString::fromStdString(position),
                    QString::fromStdString(course), QString::fromStdString(distance)});
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    list->addTopLevelItem(item);
  }
  filling_ = false;
}

void CDlgRouteProps::OnItemChanged(QTreeWidgetItem* item, int column) {
  if (filling_ || column != 0) return;
  const int row = Item<QTreeWidget>(kPointList)->indexOfTopLevelItem(item);
  const auto& points = route().points();
  const std::string name = item->text(0).toStdString();
  if (row < 0 || static_cast<size_t>(row) >= points.size() || name.empty() ||
      name == points[row]->name)
    return;
  points[row]->name = name;
  route().NotifyChange(kChangeModified);
  points[row]->NotifyChange(kChangeModified);
}

void CDlgRouteProps::OnItemDoubleClicked(QTreeWidgetItem* item) {
  const int row = Item<QTreeWidget>(kPointList)->indexOfTopLevelItem(item);
  const auto& points = route().points();
  if (row >= 0 && static_cast<size_t>(row) < points.size()) points[row]->Select(true);
}

void CDlgRouteProps::OnControl(int id, int /*code*/) {
  CObjRoute& r = route();
  if (CLineStyleControls::OnCommand(*dialog_window(), id, r, StyleOf(r), "route")) return;
  switch (id) {
    case kReverseButton:
      if (r.locked) return;
      r.Reverse();
      RefreshQuietly();
      return;
    case kLabelLegsCheck:
      r.leg_labels = IsChecked(kLabelLegsCheck);
      r.NotifyChange(kChangeModified);
      return;
    case kSettingsButton: {
      CDlgRoutePropsSettings settings(options_.value, dialog_window());
      settings.DoModal(dialog_window());
      ReadEstimateSettings();
      RefreshQuietly();
      return;
    }
    case kRouteCardButton:
      if (const auto path = WriteRouteCard()) vd::ui::OpenDocument(*path);
      return;
    default:
      return;
  }
}

std::optional<std::string> CDlgRouteProps::WriteRouteCard() {
  RefreshQuietly();
  CAppCommon* app = App();
  const std::string program = app ? app->program_folder : std::string();
  std::string template_path =
      vd::OpenAppProfile().GetString(vd::kSettingsSection, "rt_template2").value_or("");
  if (template_path.empty())
    template_path = program + "/Route_Card_Templates/Routecard_template.htm";
  std::string output, error;
  RouteCardData data = totals_;
  CObjRoute* card_route = &route();
  if (options_.value.overview_map) {
    data.overview_map = [card_route](const std::string& path, std::string& copyright) {
      return WriteRouteOverviewMap(*card_route, path, kOverviewMapSize, copyright);
    };
  }
  if (options_.value.elevation_profile) {
    data.profile = [card_route](const std::string& path) {
      return WriteRouteProfile(*card_route, path, kProfileWidth, kProfileHeight);
    };
  }
  CRouteCardWriter writer(route(), std::move(data));
  if (!writer.Write(template_path, app ? app->temp_folder : std::string("/tmp"), output, error)) {
    FormatMessageBox(vd::ui::kMbIconWarning, "%s", error.c_str());
    return std::nullopt;
  }
  return output;
}
