#include "core/ui/background_download.h"

#include <system_error>
#include <thread>

#include "core/completion_callback.h"
#include "core/download_progress.h"
#include "core/http_connection.h"
#include "core/path_utils.h"
#include "core/ui/dlg_progress.h"
#include "platform/os/files.h"

namespace {

// The progress record of the download with what its worker needs.
struct DownloadJob : CDownloadProgress {
  DownloadJob(const std::string& host, bool secure, int port) : connection(host, secure, port) {}
  // Normally the progress dialog's callback has joined the worker already; should a callback
  // have thrown instead, the worker is stopped here, before the connection it uses goes away.
  ~DownloadJob() {
    cancel = true;
    if (thread.joinable()) thread.join();
  }

  CHttpConnection connection;
  std::string path;
  std::string local_file;
  bool result = false;  // read only once the worker is joined
};

}  // namespace

void StartBackgroundDownload(QWidget* owner, const std::string& host, const std::string& path,
                             const std::string& local_file, const std::string& title, bool secure,
                             int port, bool report_failure) {
  DownloadJob job(host, secure, port);
  job.path = path;
  job.local_file = local_file;
  const bool existed = vd::os::FileExists(local_file);
  try {
    job.thread = std::thread([&job, report_failure, existed] {
      job.connection.SetAbortCallback(
          [](void* data) { return !static_cast<DownloadJob*>(data)->cancel; }, &job);
      job.connection.SetProgress(&job);
      job.result = job.connection.GetToFile(job.path, job.local_file);
      if (!job.result && report_failure && !job.cancel.load()) {
        job.SetErrorText("Download of \"" + GetPathFileName(job.local_file) + "\" failed: " +
                         job.connection.file_error() + "." +
                         (existed ? "\n\n" + job.local_file + " is unchanged." : ""));
      }
      job.SetFinished();
    });
  } catch (const std::system_error&) {
    job.SetFinished();  // no thread: the download failed
  }

  // Runs after the progress dialog's own callback has joined the worker.
  CCompletionCallback entry;
  entry.Register([&job](int chained) { return job.result ? chained : -1; });
  RunWithProgress(owner, job, title);
  RunPendingCallbacks(entry);
}
