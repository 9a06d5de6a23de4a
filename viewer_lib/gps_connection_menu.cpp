#include "viewer_lib/gps_connection_menu.h"

#include <QCursor>
#include <QGuiApplication>
#include <cstdint>
#include <optional>
#include <string>

#include "core/persistant_data.h"
#include "overlays/model/overlay_shell.h"
#include "platform/os/files.h"
#include "platform/ui/common_dialogs.h"
#include "viewer_lib/data_connection.h"
#include "viewer_lib/nmea_debug_capture.h"
#include "viewer_lib/overlay_share.h"

namespace {

constexpr CDataSourceKind kKinds[] = {
    {"Simulation File", CDataConnection::kSimulationFile},
    {"None", CDataConnection::kNone},
};
constexpr char kStartCapture[] = "Record NMEA debug data";
constexpr char kEndCapture[] = "Stop NMEA debug data";

QWidget* menu_owner = nullptr;  // while the menu is shown

void ChooseKind(void* argument) {
  ChooseDataConnectionKind(static_cast<int32_t>(reinterpret_cast<intptr_t>(argument)));
}

void ToggleCapture(void*) {
  if (!NMEADebugCapture::IsOpen()) {
    NMEADebugCapture::Open();
    return;
  }
  NMEADebugCapture::Close();
  const std::string captured = NMEADebugCapture::Path();
  ShareFile(menu_owner, std::make_unique<CShareItem>(
                           NMEADebugCapture::kFileName, [captured](const std::string& path) {
                             std::string bytes;
                             return vd::os::ReadWholeFile(captured, bytes) &&
                                    vd::os::SaveFileAtomically(path, bytes);
                           }));
}

void ShowStatus(const std::string& text) {
  if (COverlayShell* shell = COverlayShell::Get()) shell->SetStatusText(text);
}

}  // namespace

std::span<const CDataSourceKind> DataSourceKinds() { return kKinds; }

std::unique_ptr<CActionSheetMenu> BuildGpsConnectionMenu() {
  auto menu = std::make_unique<CActionSheetMenu>("GPS Connection", nullptr, nullptr, 0);
  const CDataConnection* current = CurrentDataConnection();
  const int32_t configured =
      current != nullptr ? current->kind() : CDataConnection::Settings().gps_connection_type;
  for (const CDataSourceKind& kind : kKinds) {
    menu->AddItem(kind.name, ChooseKind,
                  kind.kind == configured ? CActionSheetMenu::kRowSelected
                                          : CActionSheetMenu::kRowShown,
                  reinterpret_cast<void*>(static_cast<intptr_t>(kind.kind)));
  }
  menu->AddItem(NMEADebugCapture::IsOpen() ? kEndCapture : kStartCapture, ToggleCapture,
                CActionSheetMenu::kRowShown, nullptr);
  return menu;
}

bool ShowGpsConnectionMenu(QWidget* owner) {
  const std::unique_ptr<CActionSheetMenu> menu = BuildGpsConnectionMenu();
  const bool gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
  menu_owner = owner;
  const bool chosen = menu->Track(owner, gui ? QCursor::pos() : QPoint());
  menu_owner = nullptr;
  return chosen;
}

bool ChooseDataConnectionKind(int32_t kind) {
  if (kind == CDataConnection::kSimulationFile) {
    std::string& file = CNMEASimulation::Settings().filename;
    const std::optional<std::string> chosen = vd::ui::GetOpenFilePath(
        menu_owner, "NMEA file to replay", "NMEA files (*.nmea;*.txt;*.log)|*.nmea;*.txt;*.log|"
        "All files (*.*)|*.*||", file);
    if (!chosen) return false;
    file = *chosen;
    CNMEASimulation::Settings().MarkDirty();
  }
  CDataConnection::Settings().gps_connection_type = kind;
  CDataConnection::Settings().MarkDirty();
  PersistantData::SaveAll();
  CDataConnection* connection = SelectDataConnection();
  if (connection == nullptr) return false;
  ShowStatus(connection->status);
  return connection->kind() == kind && connection->is_open();
}
