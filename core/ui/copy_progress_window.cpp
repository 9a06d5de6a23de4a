#include "core/ui/copy_progress_window.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <climits>
#include <memory>

#include "core/file_utils.h"
#include "core/ui/progress.h"

void InstallCopyProgressWindow() {
  SetCopyProgressWindow([](const std::string& title, uint64_t total) -> CopyProgress {
    const QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) return nullptr;
    const int range = int(std::min<uint64_t>(total, INT_MAX));
    auto progress = std::make_shared<CProgress>(title, range);
    return [progress](uint64_t copied, uint64_t all) {
      return progress->SetPos64(int64_t(copied), int64_t(all));
    };
  });
}
