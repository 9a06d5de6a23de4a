#pragma once
// A download into a file on a thread of its own while the modal progress dialog shows how far
// it got and offers Cancel. Returns once the download has ended and its thread is joined.
//
// What is to happen afterwards is a completion callback registered before the call: it
// receives 0 when the file was downloaded and -1 when not (failure or cancel), either when the
// progress dialog closes or when the caller runs it (RunPendingCallbacks).
#include <string>

class QWidget;

// host: "name" or "name:port"; port 0: the scheme's default. The file is replaced only by a
// whole download (see CHttpConnection::GetToFile). With report_failure, a download that fails
// (not one the user cancelled) says which file and why in an error box over the owner.
void StartBackgroundDownload(QWidget* owner, const std::string& host, const std::string& path,
                             const std::string& local_file, const std::string& title, bool secure,
                             int port = 0, bool report_failure = false);

// A download the user asked for: its failure is reported.
inline void DownloadWithProgress(QWidget* owner, const std::string& host, const std::string& path,
                                 const std::string& local_file, const std::string& title,
                                 bool secure, int port = 0) {
  StartBackgroundDownload(owner, host, path, local_file, title, secure, port, true);
}
