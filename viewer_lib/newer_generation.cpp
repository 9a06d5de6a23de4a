#include "viewer_lib/newer_generation.h"

#include <QTimer>

#include "core/heartbeat.h"

#include "core/persistant_data.h"
#include "geodesy/default_units.h"
#include "geodesy/ui/unit_sheets.h"
#include "gps/instruments/ais_target_manager.h"
#include "gps/instruments/gps_position_feed.h"
#include "gps/instruments/race_start.h"
#include "gps/nmea_sentence.h"
#include "app/user_notification_manager.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/overlay_painter.h"
#include "overlays/model/overlay_gps_position.h"
#include "overlays/model/overlay_sheets.h"
#include "overlays/model/overlay_shell.h"
#include "overlays/model/track_manager.h"
#include "overlays/model/ui/overlay_drawing.h"
#include "overlays/model/ui/overlay_sheet_presenter.h"
#include "viewer_lib/ais_list_delegate.h"
#include "viewer_lib/data_connection.h"
#include "viewer_lib/mark_list_delegate.h"
#include "viewer_lib/quick_chart_view.h"
#include "viewer_lib/route_list_delegate.h"

CNewerGeneration::CNewerGeneration(const std::string& settings_name) {
  // The records register themselves as their libraries' objects come in; these calls bring in
  // every one of them (and build the program-wide instruments) before the file is read.
  CDefaultUnits::Global();
  CMarkManager::Settings();
  CTrackManager::Settings();
  COverlayGPSPosition::Settings();
  CAISTargetManager::Settings();
  CAISTargetManager::Instance();
  UserNotificationManager::Instance();
  Feed_StartInfo::Instance();
  CDataDistanceToStart::Instance();
  CDataConnection::Settings();
  CNMEASimulation::Settings();
  CQuickChartView::Settings();
  CUnits::CUnitSettingsType::Group();

  PersistantData::SetBaseName(settings_name);
  PersistantData::LoadAll();
  // Written back at once: records new to the file get their keys, and a file that can't be
  // read is left alone.
  for (PersistantData* record = PersistantData::Head(); record != nullptr;
       record = record->next()) {
    record->MarkDirty();
  }
  settings_saved_ = PersistantData::SaveAll();

  marks_ = std::make_unique<CMarkManager>();
  tracks_ = std::make_unique<CTrackManager>();
  position_ = std::make_unique<COverlayGPSPosition>();
  feed_ = std::make_unique<CGPSPositionFeed>();
  COverlaySheets::Install(&COverlaySheetPresenter::Global());
  COverlayPainter::Install(&COverlaySurfacePainter::Global());
  mark_list_ = std::make_unique<CMarkListDelegate>();
  route_list_ = std::make_unique<CRouteListDelegate>();
  ais_list_ = std::make_unique<CAISListDelegate>();
  // The race start's own sentences come in from the data connections too.
  CNMEASentenceType::SetProprietaryAllowed(true);

  heartbeat_ = std::make_unique<QTimer>();
  QObject::connect(heartbeat_.get(), &QTimer::timeout, [] { CHeartbeat::Tick(); });
  heartbeat_->start(kHeartbeatMilliseconds);
}

void CNewerGeneration::SetListOwner(QWidget* owner) {
  mark_list_->owner = owner;
  route_list_->owner = owner;
  ais_list_->owner = owner;
}

void CNewerGeneration::InstallShell(std::unique_ptr<COverlayShell> shell) {
  COverlayShell::Install(shell.get());
  shell_ = std::move(shell);
}

CNewerGeneration::~CNewerGeneration() {
  heartbeat_.reset();
  if (shell_ && COverlayShell::Get() == shell_.get()) COverlayShell::Install(nullptr);
  shell_.reset();
  COverlaySheets::Install(nullptr);
  COverlayPainter::Install(nullptr);
  CloseDataConnection();
  feed_.reset();
  ais_list_.reset();
  route_list_.reset();
  mark_list_.reset();
  position_.reset();
  tracks_.reset();
  marks_.reset();
}
