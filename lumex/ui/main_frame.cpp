#include "lumex/ui/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QTimer>
#include <QToolBar>
#include <vector>

#include "lumex/ui/lumex_app.h"
#include "lumex/ui/lumex_view_base.h"
#include "lumex/ui/window_placement.h"
#include "platform/os/profile_store.h"
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
    connect(action, &QAction::triggered, this, [this, id] {
      if (view_) view_->OnCommand(id);
    });
  }
}

void CMainFrame::UpdateCommandStates() {
  for (QAction* action : toolbar_->actions()) {
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
  if (!stored) return;
  if (const std::optional<CWindowRect> rect = NormalRectOfPlacement(*stored)) {
    setGeometry(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
  }
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
