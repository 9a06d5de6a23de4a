#pragma once
// Test support for the chart program's windows: a fresh home folder with its own settings,
// runtime and temporary folders (so a test never meets the user's settings or a running
// program), the answers a test gives to the program's questions, and waiting for the program
// while its event loop runs.
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

  const std::string& path() const { return dir_.path(); }
  std::string DataFolder() const { return dir_.path() + "/Documents/Map Overlays"; }
  std::string File(const std::string& name) const { return dir_.File(name); }

  // What the program handed to the desktop to open (help pages, web pages).
  std::vector<std::string> opened_documents;

 private:
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

// Acts on the dialog the next command opens, once it shows, then ends it with OK (or Cancel).
inline void OnceUp(std::function<void(vd::ui::DialogWindow&)> act, bool ok = true) {
  QTimer::singleShot(0, [act = std::move(act), ok] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = dynamic_cast<vd::ui::DialogWindow*>(w); d && d->isVisible()) {
        act(*d);
        d->SendCommand(ok ? vd::ui::kIdOk : vd::ui::kIdCancel, vd::ui::kBnClicked);
        return;
      }
  });
}

// Handles what is already queued (queued calls, deferred deletes), as one turn of the
// program's loop does.
inline void DrainEvents() {
  bool turned = false;
  ProcessEventsUntil([&] { return std::exchange(turned, true); });
}

}  // namespace vd::test
