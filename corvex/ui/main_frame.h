#pragma once
// The chart program's top-level window: menus and tool bars, the chart frames in a multiple-
// document area, the status bar (message, read-out of the active chart view, GPS status), the
// docking layout, the GPS input it owns, and the WM_USER messages that GPS inputs, a second
// instance and other programs send it.
#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/gps_position_info.h"
#include "corvex/chart_view_link.h"
#include "corvex/command_target.h"
#include "gps/gps_params.h"
#include "gps/gps_reader_clock.h"
#include "platform/os/ipc_channel.h"
#include "platform/ui/native_window.h"

class CGPSInterface;
class CChildFrame;
class COstrelApp;
class COstrelDoc;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QToolBar;

// The window class other programs find the main window by.
inline constexpr char kMainWindowClass[] = "CorvexMainWnd";
// The 3D viewer's main window class; it is closed when this window closes.
inline constexpr char kViewerWindowClass[] = "LUMEXV2MainWnd";

class CDockWidgetHost;
class CPropsWindows;
class CViewObjExplorerDialog;
class CViewObjExplorerTree;

// The least size a window placed by another program gets.
inline constexpr int kMinPlacedWidth = 320;
inline constexpr int kMinPlacedHeight = 240;
// A normal rectangle another program asked for, kept within the work area: every edge inside
// it, and at least the least size (or the whole area when that is smaller).
QRect ClampPlacement(const vd::os::PlacementRect& rect, const QRect& work_area);

class CMainFrame : public QMainWindow,
                   public vd::ui::NativeWindow,
                   public CChartFrameHost,
                   public CCommandTarget,
                   private vd::ui::MessageProc {
 public:
  // WM_USER codes (wParam).
  static constexpr uintptr_t kOpenHandedFile = 14;
  static constexpr uintptr_t kOldClient = 15;
  static constexpr uintptr_t kApiRequest = 16;
  static constexpr uintptr_t kSaveTimer = 1;
  static constexpr int kSavePeriodMs = 30 * 60 * 1000;
  static constexpr int kLayoutPaneLimit = 200;

  explicit CMainFrame(COstrelApp& app);
  ~CMainFrame() override;

  // Builds the status bar, menus, tool bars and docking, starts the half-hour timer, the
  // splash and the listener for other programs. False when a part could not be built.
  bool Create();

  // The WM_USER dispatch; also reachable as window messages through message_window().
  intptr_t OnUserMessage(uintptr_t w, intptr_t l);
  // Timer 1: saves the modified document.
  void OnTimer(uintptr_t id);

  // GPS input.
  GPSParams LoadGPSParams() const;
  void StartGPS(GPSParams& params) override;
  void ShowNavigationPanes(CObjWaypoint* mark, CObjRoute* route) override;
  bool FindPlace(const std::string& index_path, double& lat, double& lon, std::string& name,
                 bool& create_mark) override;
  bool AskShapefileImport(const std::string& path, ShapefileImportOptions& options,
                          CProjection& projection) override;
  ShapeKindChooser ShapefileKindChooser() override;
  void ShowProfile(int command, COstrelObject* object) override;
  bool ShowProperties(COstrelObject* object) override;
  // The open property windows of the document's objects.
  CPropsWindows& props_windows() { return *props_windows_; }
  // The overlay explorer: its panes (form and tree) shown, made first when missing.
  void ShowExplorerPanes() override;
  bool AskOffset(double& distance_nm, double& bearing_true, bool& create_new) override;
  bool AskMatching(bool show, std::string& name, std::string& category) override;
  void ShowIconsDialog() override;
  CViewObjExplorerTree* explorer_tree() const;
  CViewObjExplorerDialog* explorer_form() const;
  void ShowRouteCard(CObjRoute* route) override;
  bool CanGpsTransfer(int direction, int kind) const override;
  int GpsTransfer(int direction, int kind, ObjectList& objects) override;
  void ShowGpsError() override;
  bool ChooseMap(std::string& path, bool& new_window) override;
  bool ChooseMapForNewWindow(std::string& path, bool& new_window) override;
  std::vector<std::string> RunMapShop(const std::vector<GeoPoint>& area,
                                      const std::string& chart_path) override;
  // Chart dialogs of the chart view's commands (main_frame_charts.cpp).
  bool ChooseMapFrom(const std::vector<COldChartOutline*>& outlines, std::string& path,
                     bool& new_window) override;
  bool AskMergeChart(std::string& name, bool& antialias, std::string& output) override;
  bool AskSaveChartTo(double bytes, std::string& description, std::string& folder) override;
  bool EditChartProperties(COldChartOutline& outline) override;
  void OpenCalibration(COstrelView& view) override;
  ChartFileTask ChartTask() override;
  void StopGPS() override;
  void StartGPSAtLaunch();
  CGPSInterface* gps() const { return gps_.get(); }
  GPS_position_info& fix_record() { return fix_; }
  const std::string& gps_status_text() const { return gps_status_; }
  bool gps_debug_log = false;

  // The status bar's message pane.
  void SetStatusText(const std::string& text);
  void ClearStatusText();
  std::string StatusText() const;
  // The read-out pane (the active chart view's text).
  void SetReadoutText(const std::string& text);

  // Docking layout "NormalLayout" and the tool bars of the current mode.
  bool RestoreLayout();
  void SaveLayout();
  void SaveLayout(const QByteArray& state);
  void SaveCommandBars();
  void LoadCommandBars();
  // Printing shows only the Printing tool bar; the bars of each state are kept apart.
  void SetPrintingToolbars(bool on) override;
  bool EditPrintOptions(CPrintOptions& options, std::string& title) override;
  bool ChooseImageExport(int width, int height, CImageExportChoice& choice) override;
  void PauseGPSForPrinting(bool pause) override;
  bool printing_mode() const { return printing_mode_; }
  bool toolbars_locked() const { return toolbars_locked_; }
  const std::vector<QToolBar*>& toolbars() const { return toolbars_; }
  // The Customize entry: greyed in the menu and hidden from the tool bars while they are
  // locked.
  static constexpr int kCmdCustomize = 9148;

  // Runs a menu command through the targets (view, document, frame, application).
  bool RouteCommand(int id);
  CCmdUI RouteUpdate(int id);
  // Sets every tool bar button to its command's state (done whenever the program goes idle).
  void UpdateToolbars();

  QMdiArea* mdi_area() const { return mdi_; }
  // Names of the grid files in the program's "Grids" folder (the Other Grids menu).
  const std::vector<std::string>& grid_list() const { return grid_list_; }
  // The active chart frame's view, null when none.
  CDocView* ActiveChartView() const;
  // The chart frame of the active (else the current) chart window; null without one.
  CChildFrame* ActiveChartFrame() const;
  std::vector<CChildFrame*> ChartFrames() const;

  // CChartFrameHost
  CDocView* CreateChartFrame() override;
  void ShowFrameOf(CDocView* view) override;
  bool GetFramePlacement(const CDocView* view, CWindowPlacement& placement) const override;
  void TileFrames() override;

  // CCommandTarget: the frame's own commands.
  bool OnCommand(int id) override;
  bool OnUpdateCommand(int id, CCmdUI& ui) override;

  // What other programs ask of the window: a show command (0 hide, 1 normal, 2 and 6
  // minimised, 3 maximised, 5 show, 9 restore; 3 and 5 also bring it forward), and a normal
  // rectangle to restore it into (kept within the work area). Nonzero when done.
  intptr_t ShowWithCommand(int command);
  bool PlaceWindow(const vd::os::PlacementRect& rect);

  // Closes as the user's close does; false when the close was refused.
  bool CloseFrame();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool TranslateEvent(QEvent* event) override;

 private:
  intptr_t HandleMessage(vd::ui::NativeWindow& window, const vd::ui::Message& message) override;
  intptr_t HandleOtherProgram(const vd::os::Message& message);
  void OnGpsNotice(uintptr_t code, const GPS_position_info& record);
  bool OnClose();
  void BuildMenus();
  void BuildToolbars();
  void UpdateMenu(class QMenu* menu);
  static void ApplyCommandState(class QAction* action, const CCmdUI& ui);
  static constexpr size_t kDynamicMenuSize = 99;
  std::vector<std::string> DynamicMenuEntries(int id) const;
  void FillDynamicMenu(class QMenu* menu, class QAction* placeholder);
  void ApplyToolbarLock();
  // The Customize sheet, and what it sets: a bar's buttons (command ids, 0 a separator), the
  // icon size and the buttons' tips.
  void Customize();
  void SetToolbarButtons(QToolBar* bar, const std::vector<int>& ids);
  std::vector<int> ToolbarButtons(QToolBar* bar) const;
  void ApplyToolbarOptions();
  COstrelDoc* Document() const;
  std::string CommandBarSection() const;
  std::string MenuPath() const;

  COstrelApp& app_;
  // What other programs send arrives here, not at the window: only the messages meant for
  // them pass on (a GPS notice carries an address inside this program).
  std::unique_ptr<vd::os::MessageWindow> inbox_;
  vd::os::IpcServer ipc_server_;
  QMdiArea* mdi_ = nullptr;
  QLabel* readout_pane_ = nullptr;
  QLabel* gps_pane_ = nullptr;
  std::vector<QToolBar*> toolbars_;  // Standard, Planning, Navigation, Printing
  std::map<QToolBar*, std::vector<int>> shipped_buttons_;
  // Menu entries with a standard key (BuildMenus).
  std::vector<QAction*> keyed_actions_;
  bool large_icons_ = false;
  bool screen_tips_ = true;
  std::unique_ptr<QObject> tip_filter_;  // keeps the buttons' tips away when they are off
  std::vector<std::string> grid_list_;
  GPS_position_info fix_;
  std::unique_ptr<CGPSInterface> gps_;
  // The docking panes of the data windows.
  std::unique_ptr<CDockWidgetHost> dock_host_;
  std::unique_ptr<CPropsWindows> props_windows_;
  // The explorer's views, owned by their panes.
  bool MakeExplorerPanes();
  QPointer<CViewObjExplorerTree> explorer_tree_;
  QPointer<CViewObjExplorerDialog> explorer_form_;
  std::string gps_status_;
  int command_bar_mode_ = 0;  // 0 planning, 1 navigation
  bool printing_mode_ = false;
  bool gps_paused_for_printing_ = false;
  bool toolbars_locked_ = true;
  bool closing_ = false;
  bool closed_ = false;
};
