#pragma once
// Test support for the chart program's windows: a fresh home folder with its own settings,
// runtime and temporary folders (so a test never meets the user's settings or a running
// program), the answers a test gives to the program's questions, and waiting for the program
// while its event loop runs.
//
// A new chart window without a saved place offers the chart chooser (Map List), as the
// program's very first start does. The home starts with a configuration document whose saved
// place names no chart, so that a program started there opens one empty chart window and asks
// nothing; FirstStart() takes the document away for a test of the first start itself. Later
// starts, after a run that ended with no chart shown, and new chart windows without a place,
// meet the chooser: the home cancels it (and what it opens) unless a test turns that off to
// answer it itself.
#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QEventLoop>
#include <QTimer>
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "corvex/ui/dlg_chart_select.h"
#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/help_pages.h"
#include "platform/ui/message_box.h"
#include "platform/ui/window_messages.h"
#include "platform/ui/responder.h"
#include "tests/default_servers.h"
#include "tests/temp_dir.h"

namespace vd::test {

// Cancels the chart chooser a new chart window offers, and any dialog it opens, once shown.
class NewWindowChooserCancel : public QObject {
 public:
  NewWindowChooserCancel() {
    if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
  }
  bool enabled = true;
  int cancelled = 0;  // the choosers cancelled

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!enabled || event->type() != QEvent::Show) return false;
    auto* dialog = dynamic_cast<vd::ui::DialogWindow*>(watched);
    if (!dialog || !FromChooser(dialog)) return false;
    QTimer::singleShot(0, this, [this, target = QPointer<vd::ui::DialogWindow>(dialog)] {
      if (!target || !target->isVisible()) return;
      if (target->objectName() == CDlgChartSelect::kNewWindowName) ++cancelled;
      target->SendCommand(vd::ui::kIdCancel, vd::ui::kBnClicked);
    });
    return false;
  }

 private:
  static bool FromChooser(const QWidget* widget) {
    for (; widget; widget = widget->parentWidget())
      if (widget->objectName() == CDlgChartSelect::kNewWindowName) return true;
    return false;
  }
};

class CorvexHome {
 public:
  static constexpr const char* kVariables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME",
                                               "XDG_RUNTIME_DIR", "TMPDIR"};

  CorvexHome() {
    for (const char* name : kVariables) saved_[name] = vd::os::GetEnv(name);
    vd::os::MakeFolders(dir_.File("run"));
    chmod(dir_.File("run").c_str(), 0700);  // as a session's runtime folder is
    vd::os::MakeFolders(dir_.File("tmp"));
    vd::os::SetEnv("HOME", dir_.path());
    vd::os::SetEnv("XDG_CONFIG_HOME", dir_.File(".config"));
    vd::os::SetEnv("XDG_DATA_HOME", dir_.File(".local/share"));
    vd::os::SetEnv("XDG_RUNTIME_DIR", dir_.File("run"));
    vd::os::SetEnv("TMPDIR", dir_.File("tmp"));
    PointDefaultServersAt(kNoServerPort);
    previous_opener_ = vd::ui::SetDocumentOpener([this](const std::string& path) {
      opened_documents.push_back(path);
      return true;
    });
    vd::os::MakeFolders(DataFolder());
    vd::os::SaveFileAtomically(ConfigDocument(), EmptyViewConfig());
  }
  ~CorvexHome() {
    vd::ui::SetDocumentOpener(previous_opener_);
    for (const auto& [name, value] : saved_) {
      if (value)
        vd::os::SetEnv(name, *value);
      else
        vd::os::UnsetEnv(name);
    }
  }

  // A configuration document with no charts and no flags set whose saved chart window shows no
  // chart: the layout the program writes (version 8).
  static std::string EmptyViewConfig() {
    std::string bytes;
    AppendInt32(bytes, 8);     // version
    bytes.append(2, '\0');     // no chart outlines
    bytes.append(1, '\0');     // the user-data path, empty
    bytes.append(2, '\0');     // alternate-view outline and read-out flags
    bytes += EmptyViewRecord();
    AppendInt32(bytes, 2);     // the end
    return bytes;
  }
  // A saved chart window (a view record) that shows no chart: chart path "", centre 0/0,
  // scale 0, no lock, maximised.
  static std::string EmptyViewRecord() {
    std::string bytes;
    AppendInt32(bytes, 0);  // the record's tag
    bytes.append(1, '\0');
    bytes.append(3 * 8, '\0');
    AppendInt32(bytes, 0);
    AppendInt32(bytes, 0);
    for (int32_t v : {0, 3, 0, 0, 0, 0, 0, 0, 500, 300}) AppendInt32(bytes, v);
    return bytes;
  }
  // A run that ends with no chart shown saves no chart window: the next start would offer the
  // chart chooser. This puts the empty one back into the configuration document `path`, as
  // this home first had it (false when the document is not as the program writes it).
  static bool KeepEmptyView(const std::string& path) {
    std::string bytes;
    if (!vd::os::ReadWholeFile(path, bytes) || bytes.size() < 4 ||
        bytes.compare(bytes.size() - 4, 4, std::string("\x02\0\0\0", 4)) != 0) {
      return false;
    }
    bytes.insert(bytes.size() - 4, EmptyViewRecord());
    return vd::os::SaveFileAtomically(path, bytes);
  }

  const std::string& path() const { return dir_.path(); }
  std::string DataFolder() const { return dir_.path() + "/Documents/Map Overlays"; }
  std::string ConfigDocument() const { return DataFolder() + "/Vardune-6.vdn"; }
  // The home as the program's first start meets it: no configuration document yet.
  void FirstStart() { vd::os::RemoveFile(ConfigDocument()); }
  std::string File(const std::string& name) const { return dir_.File(name); }

  // What the program handed to the desktop to open (help pages, web pages).
  std::vector<std::string> opened_documents;
  // See above; turn `enabled` off to answer the chooser in the test.
  NewWindowChooserCancel new_window_chooser;

 private:
  static void AppendInt32(std::string& bytes, int32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(uint32_t(v) >> (8 * i)));
  }

  TempDir dir_;
  std::map<std::string, std::optional<std::string>> saved_;
  vd::ui::DocumentOpener previous_opener_;
};

// Answers message boxes by their text (the first answer whose key the text contains; Cancel,
// else the last button, for others) and keeps what was asked.
class ScriptedAnswers : public vd::ui::DialogResponder {
 public:
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    asked.push_back(request.text);
    for (const auto& [key, answer] : answers)
      if (request.text.find(key) != std::string::npos) return answer;
    const auto buttons = vd::ui::MessageBoxButtons(request.flags);
    for (int id : buttons)
      if (id == vd::ui::kIdCancel) return id;
    return buttons.empty() ? vd::ui::kIdOk : buttons.back();
  }
  std::vector<std::pair<std::string, int>> answers;
  std::vector<std::string> asked;
};

// Runs the event loop until done() holds; false when it does not within a generous time.
inline bool ProcessEventsUntil(const std::function<bool()>& done, int timeout_ms = 60000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    // A loop of its own, so that objects deleted later go too, as in the program's loop.
    QEventLoop loop;
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

// Acts on the dialog the next command opens, once it shows, then ends it with OK (or Cancel):
// the modal dialog the command runs, else (a dialog of its own that is not modal) the visible
// one.
inline void OnceUp(std::function<void(vd::ui::DialogWindow&)> act, bool ok = true) {
  QTimer::singleShot(0, [act = std::move(act), ok] {
    if (auto* d = dynamic_cast<vd::ui::DialogWindow*>(QApplication::activeModalWidget())) {
      act(*d);
      d->SendCommand(ok ? vd::ui::kIdOk : vd::ui::kIdCancel, vd::ui::kBnClicked);
      return;
    }
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = dynamic_cast<vd::ui::DialogWindow*>(w); d && d->isVisible()) {
        act(*d);
        d->SendCommand(ok ? vd::ui::kIdOk : vd::ui::kIdCancel, vd::ui::kBnClicked);
        return;
      }
  });
}

// As OnceUp, for a command that may show other dialogs first (progress of work still going on
// from before, say): acts on the first dialog for which `which` holds, whenever it shows.
inline void OnceUpWhere(std::function<bool(vd::ui::DialogWindow&)> which,
                        std::function<void(vd::ui::DialogWindow&)> act, bool ok = true) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout,
                   [timer, which = std::move(which), act = std::move(act), ok] {
    vd::ui::DialogWindow* found = nullptr;
    if (auto* d = dynamic_cast<vd::ui::DialogWindow*>(QApplication::activeModalWidget());
        d && which(*d)) {
      found = d;
    }
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (found) break;
      if (auto* d = dynamic_cast<vd::ui::DialogWindow*>(w); d && d->isVisible() && which(*d))
        found = d;
    }
    if (!found) return;
    timer->stop();
    timer->deleteLater();
    act(*found);
    found->SendCommand(ok ? vd::ui::kIdOk : vd::ui::kIdCancel, vd::ui::kBnClicked);
  });
  timer->start(5);
}

// Handles what is already queued (queued calls, deferred deletes), as one turn of the
// program's loop does.
inline void DrainEvents() {
  bool turned = false;
  ProcessEventsUntil([&] { return std::exchange(turned, true); });
}

}  // namespace vd::test
