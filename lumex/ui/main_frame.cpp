#include "lumex/ui/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <vector>

#include "lumex/ui/lumex_app.h"
#include "lumex/ui/lumex_view_base.h"
#include "lumex/ui/window_placement.h"
#include "platform/os/profile_store.h"
#include "platform/ui/toolbar_images.h"
#include "platform/ui/window_messages.h"

CToolbarImages ToolbarImagesFor(float display_scale) {
  if (display_scale <= 1.4f) return {128, 16, 32};
  if (display_scale <= 1.9f) return {139, 32, 48};
  return {141, 32, 64};
}

CMainFrame::CMainFrame(CLumexApp& app) : app_(app) {
  setWindowTitle(kLumexWindowTitle);
}

CMainFrame::~CMainFrame() { server_.Stop(); }

bool CMainFrame::Create() {
  RestorePlacement();
  BuildToolbar();
  auto* help = new QAction(this);  // "Read the online help"
  help->setShortcut(QKeySequence::HelpContents);
  connect(help, &QAction::triggered, this, [this] { app_.OnHelp(); });
  addAction(help);
  auto* print = new QAction(this);  // File/Print: the menu is gone, its key stays
  print->setShortcut(QKeySequence::Print);
  connect(print, &QAction::triggered, this, [this] {
    if (view_) view_->OnCommand(kFilePrint);
  });
  addAction(print);
  auto* quit = new QAction(this);  // the desktop's key that ends a program
  quit->setShortcut(QKeySequence::Quit);
  connect(quit, &QAction::triggered, this, &QWidget::close);
  addAction(quit);
  auto* updates = new QTimer(this);
  connect(updates, &QTimer::timeout, this, &CMainFrame::UpdateCommandStates);
  updates->start(kCommandUpdateMs);
  inbox_ = std::make_unique<vd::os::MessageWindow>(
      [this](const vd::os::Message& message) { return HandleOtherProgram(message); });
  inbox_->SetWakeHook([this] {
    QMetaObject::invokeMethod(this, [this] { inbox_->DispatchPending(); }, Qt::QueuedConnection);
  });
  return server_.Listen(kLumexWindowClass, *inbox_);
}

void CMainFrame::SetView(CLumexViewBase* view) {
  view_ = view;
  if (view_ && view_->widget()) setCentralWidget(view_->widget());
  UpdateCommandStates();
}

void CMainFrame::BuildToolbar() {
  const CToolbarImages images = ToolbarImagesFor(app_.display_scale);
  toolbar_ = addToolBar("Standard");
  toolbar_->setObjectName("Standard");
  toolbar_->setMovable(true);  // with its gripper
  toolbar_->setIconSize({images.icon_size, images.icon_size});
  for (const auto& [id, tip] : kToolbarCommands) {
    QAction* action = toolbar_->addAction(tip);
    action->setData(id);
    action->setToolTip(tip);
    action->setIcon(vd::ui::ToolbarIcon(ToolbarPicture(id), images.icon_size, images.large_icon_size));
    // The desktop's zoom keys move the camera in and out.
    if (id == kMoveIn) action->setShortcuts(QKeySequence::ZoomIn);
    if (id == kMoveOut) action->setShortcuts(QKeySequence::ZoomOut);
    connect(action, &QAction::triggered, this, [this, id = id] {
      if (view_) view_->OnCommand(id);
    });
  }
  // The application's own commands: the help page and the About box.
  toolbar_->addSeparator();
  for (const auto& [id, tip] : kAppCommands) {
    QAction* action = toolbar_->addAction(tip);
    action->setToolTip(tip);
    action->setProperty("app_command", id);
    action->setIcon(vd::ui::ToolbarIcon(ToolbarPicture(id), images.icon_size, images.large_icon_size));
    connect(action, &QAction::triggered, this, [this, id = id] { app_.OnCommand(id); });
  }
}

const char* ToolbarPicture(int id) {
  switch (id) {
    case 32771: return "fixed_point";
    case 32773: return "move_in";
    case 32774: return "move_out";
    case 32778: return "lighting";
    case 32784: return "play";
    case 32787: return "pause";
    case 32788: return "step_forward";
    case 32789: return "step_back";
    case 32790: return "home";
    case 32791: return "rebuild";
    case 32796: return "busy";
    case 32792: return "narrower";
    case 32793: return "wider";
    case 32794: return "video";
    case 32795: return "properties";
    case 32797: return "side_by_side";
    case 32798: return "map_below";
    case kCmdLumexHelp: return "help";
    case kCmdLumexAbout: return "about";
    default: return "";
  }
}

void CMainFrame::UpdateCommandStates() {
  for (QAction* action : toolbar_->actions()) {
    if (action->isSeparator() || action->property("app_command").isValid()) continue;
    const CLumexCommandState state =
        view_ ? view_->CommandState(action->data().toInt()) : CLumexCommandState{false};
    action->setEnabled(state.enabled);
    action->setCheckable(state.checked);
    action->setChecked(state.checked);
    action->setVisible(state.visible);
  }
}

intptr_t CMainFrame::HandleOtherProgram(const vd::os::Message& message) {
  switch (message.msg) {
    case vd::os::kUserMessage:
      // The sender has its answer before the scene is rebuilt.
      QTimer::singleShot(0, this, [this] {
        if (isMinimized()) showNormal();
        raise();
        activateWindow();
        if (view_) view_->LoadPathFile();
      });
      return 1;
    case vd::ui::kWmClose:
      QTimer::singleShot(0, this, [this] { close(); });
      return 0;
    default:
      return 0;
  }
}

void CMainFrame::RestorePlacement() {
  const std::optional<std::vector<uint8_t>> stored =
      vd::os::ProfileStore(kLumexProfileKey).GetBinary(kPlacementSection, kPlacementValue);
  if (const std::optional<CWindowRect> rect = stored ? NormalRectOfPlacement(*stored) : std::nullopt) {
    setGeometry(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
    return;
  }
  // The first start (or a damaged placement): a window large enough for the scene, in the middle
  // of the screen's work area, clear of the chart program's menus along the top.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter,
                                    FirstWindowSize(area.size()), area));
  }
}

QSize FirstWindowSize(const QSize& work_area) {
  return {work_area.width() * 3 / 4, work_area.height() * 3 / 4};
}

void CMainFrame::SavePlacement() {
  // A maximised window is stored with the rectangle it fills as its normal one, so the next
  // start opens a normal window that size.
  const bool maximised = isMaximized();
  const QRect r = maximised ? geometry() : normalGeometry();
  const std::vector<uint8_t> record =
      EncodeWindowPlacement({r.left(), r.top(), r.left() + r.width(), r.top() + r.height()},
                            maximised);
  vd::os::ProfileStore(kLumexProfileKey).SetBinary(kPlacementSection, kPlacementValue, record);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (!closed_) {
    closed_ = true;
    SavePlacement();
    app_.running = false;
    if (view_) view_->StopTerrainWorker();
    server_.Stop();
  }
  event->accept();
}

void CMainFrame::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange) app_.active = isActiveWindow();
}
