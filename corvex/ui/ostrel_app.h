#pragma once
// The chart program's application object: start-up in its fixed order (folders, profile,
// environment, configuration document, single instance, templates, main frame, splash, docking
// layout, GPS), the application's own menu commands (units, position formats, night colours,
// help, the custom command) and shutdown.
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/app_common.h"
#include "corvex/command_target.h"
#include "corvex/printer_settings.h"
#include "corvex/startup_files.h"
#include "platform/os/named_mutex.h"
#include "viewer_lib/newer_generation.h"

class CDocApiHost;
class GpsReaderClock;
class CDocView;
class CMainFrame;
class CMyDocTemplate;
class COstrelDoc;
class QWidget;

class COstrelApp : public CAppCommon, public CCommandTarget {
 public:
  // Makes a chart view and its widget for a chart frame (the widget is handed to the frame).
  using ChartViewMaker = std::function<std::pair<QWidget*, CDocView*>(COstrelDoc& document)>;

  COstrelApp();
  ~COstrelApp() override;

  static COstrelApp* Instance();

  // Start-up with the command line's arguments (without the program name). False ends the
  // program: exit_code() tells whether that is a failure (a second instance that handed its
  // file over ends with 0).
  bool InitInstance(const std::vector<std::string>& args);
  // Shutdown after the main frame has closed; returns the exit code.
  int ExitInstance();
  int exit_code() const { return exit_code_; }

  // CAppCommon
  COstrelDocBase* FindFirstDocument() override;
  // The program's document, null while none is open.
  COstrelDoc* Document() const;
  // The newer library generation (its managers, settings groups and list delegates); null
  // outside the program's run.
  CNewerGeneration* newer_generation() const { return newer_generation_.get(); }
  void ShowUserMessage(const std::string& text) override;
  // The common settings, then the inter-program API's transaction file name.
  void LoadCommonSettings() override;

  CMainFrame* GetMainFrame() const { return frame_.get(); }
  CMyDocTemplate* first_template() const { return templates_.empty() ? nullptr : templates_.front().get(); }
  void SetChartViewMaker(ChartViewMaker maker) { chart_view_maker_ = std::move(maker); }
  const ChartViewMaker& chart_view_maker() const { return chart_view_maker_; }

  // Carries out a request of another program (the main window's WM_USER 16) and returns its
  // result code; 12 while there is no document.
  int ExecuteApiCommand(int64_t code);

  // Help: the index page; a topic's page; the page of a help context (a dialog's template id),
  // which dialogs ask for with F1 and their Help button. A missing page opens the index and
  // says so.
  void OnHelpTopics();
  void OnHelpIndex();
  void ShowHelpTopic(const std::string& topic);
  void ShowHelpContext(const std::string& topic);
  void ShowHelpContext(int context_id);

  // The chart folders of the settings.
  void LoadChartDirs(std::vector<std::string>& list);
  void SaveChartDirs(const std::vector<std::string>& list);

  // CCommandTarget: units, position formats, night colours, continuous scroll, help, about,
  // custom command.
  bool OnCommand(int id) override;
  bool OnUpdateCommand(int id, CCmdUI& ui) override;

  // Start-up state.
  std::string help_path;
  std::string custom_cmd;
  float dpi_factor = 1.0f;
  int continuous_scrolling = 0;
  int quilt_antialias = 0;
  std::string config_document;  // the configuration document opened at start-up
  // The clock GPS inputs run on (the system's when null; tests replay demo files at once).
  std::shared_ptr<GpsReaderClock> gps_clock;

 private:
  // A second instance hands its file to the first; true when a running program took it.
  bool HandOverToRunningInstance(const std::string& file_to_open);
  void RegisterDesktopFiles() const;

  std::unique_ptr<CMainFrame> frame_;
  // The requests' view of the document, with the handles it gave out; made anew for each
  // document.
  std::unique_ptr<CDocApiHost> api_host_;
  COstrelDoc* api_host_document_ = nullptr;
  std::vector<std::unique_ptr<CMyDocTemplate>> templates_;
  ChartViewMaker chart_view_maker_;
  // Held from the single-instance test until this program listens for others, so that two
  // programs started together can't both become the first.
  std::unique_ptr<vd::os::NamedMutex> start_lock_;
  // The newer library generation the program carries (settings, managers, own position).
  std::unique_ptr<CNewerGeneration> newer_generation_;
  // The user's printer, loaded at start-up and saved at exit.
  std::unique_ptr<CPrinterSettings> printer_settings_;
  int exit_code_ = 0;
};
