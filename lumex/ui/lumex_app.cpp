#include "lumex/ui/lumex_app.h"

#include <QGuiApplication>
#include <QScreen>

#include "charts/ui/chart_reader_message_boxes.h"
#include "core/program_version.h"
#include "lumex/lumex_start_file.h"
#include "lumex/ui/main_frame.h"
#include "overlays/model/ui/window_overlay_shell.h"
#include "platform/os/environment.h"
#include "platform/os/folders.h"
#include "platform/os/ipc_channel.h"
#include "platform/os/message_queue.h"
#include "platform/ui/help_pages.h"
#include "platform/ui/message_box.h"

namespace {

constexpr uintptr_t kHandOverCode = 1;
constexpr char kHelpTopic[] = "3D_Terrain_View";

}  // namespace

CLumexApp::CLumexApp(ViewFactory make_view) : make_view_(std::move(make_view)) {}

CLumexApp::~CLumexApp() { ExitInstance(); }

bool CLumexApp::HandOver() {
  return vd::os::IpcSend(kLumexWindowClass, vd::os::kUserMessage, kHandOverCode).has_value();
}

bool CLumexApp::InitInstance() {
  if (vd::os::IpcWindowExists(kLumexWindowClass) && HandOver()) return false;
  // The chart program hands its files over in the temporary folder it records: one that
  // another user owns or may enter is not used.
  if (const std::string folder = RecordedTempFolder(); !folder.empty()) {
    if (const std::string problem = vd::os::PrivateFolderProblem(folder); !problem.empty()) {
      vd::ui::RunMessageBox(nullptr, problem, "Lumex", vd::ui::kMbOk | vd::ui::kMbIconError);
      return false;
    }
  }
  // What the chart readers have to tell the user (also from the terrain worker) reaches them.
  InstallChartReaderMessageBoxes();
  newer_generation_ = std::make_unique<CNewerGeneration>("Lumex");
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    display_scale =
        float((screen->logicalDotsPerInchX() + screen->logicalDotsPerInchY()) / 192.0);
  }
  frame_ = std::make_unique<CMainFrame>(*this);
  if (!frame_->Create()) {
    // Another viewer came up meanwhile: it gets the start file.
    frame_.reset();
    HandOver();
    return false;
  }
  newer_generation_->InstallShell(std::make_unique<CWindowOverlayShell>(frame_.get()));
  newer_generation_->SetListOwner(frame_.get());
  if (make_view_) view_ = make_view_(document_);
  frame_->SetView(view_.get());
  frame_->show();
  running = true;
  if (view_) {
    view_->CreateDevice();
    view_->LoadPathFile();
  }
  return true;
}

void CLumexApp::ExitInstance() {
  view_.reset();
  frame_.reset();
  newer_generation_.reset();
}

bool CLumexApp::OnHelp() {
  if (const std::optional<std::string> folder = vd::os::GetEnv("CORVEX_PROGDIR")) {
    vd::ui::SetHelpFolder(*folder + "/resources/help");
  }
  return vd::ui::OpenHelpTopic(kHelpTopic);
}

void CLumexApp::OnAppAbout() {
  vd::ui::RunMessageBox(frame_.get(),
                        "Lumex, the Vardune 3D World\nVersion " + GetVersionString() +
                            "\n\nThe land and sea bed around your chart in three dimensions, "
                            "with the chart draped over it.\nFor planning only: always check "
                            "the official charts.\n\nhttps://www.vardune.example/",
                        "About Lumex", vd::ui::kMbOk | vd::ui::kMbIconInformation);
}

bool CLumexApp::OnCommand(int id) {
  switch (id) {
    case kCmdLumexAbout:
      OnAppAbout();
      return true;
    case kCmdLumexHelp:
      OnHelp();
      return true;
    default:
      return false;
  }
}
