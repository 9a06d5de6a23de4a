#pragma once
// Downloads the files of a map package (charts/vdpkg_file.h) next to its descriptor, in 1 MiB
// blocks on a pool of four workers, each with its own HTTP connection to the package's host.
//
// An existing target is never moved, written or truncated while its file downloads: it stays
// under its own name, openable, whatever the download does. Its blocks are read in place, and
// those whose sums match are kept. Fetched blocks go into a working file "<name>.TMP" beside
// the target; once every block of the file is accounted for, the good blocks of the old target
// are copied into the working file, which is cut to the entry's size, synced and renamed over
// the target in one step. So the target name only ever holds the user's old file or a whole,
// verified new one. A target whose blocks all match is left exactly as it is (a complete
// package costs only reading). A working file left by an interrupted attempt carries on: its
// matching blocks are kept, so the download resumes where it stopped. Fetched blocks are summed
// too; a block that does not match, a short reply, a file that can't be opened or written, or
// a malformed entry stops the whole download (the cancel flag of the progress record is set to
// stop the other workers) and keeps what was fetched in the working file for the next attempt.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "charts/vdpkg_file.h"
#include "core/download_progress.h"
#include "core/http_connection.h"
#include "core/worker_thread.h"
#include "platform/os/files.h"

class CPackageWorker : public CWorkerThread {
 public:
  // Opens the descriptor and runs the whole download before returning. The progress record's
  // total becomes the package's total, and done counts the bytes of blocks finished (verified
  // or fetched). Its cancel flag stops the download.
  CPackageWorker(const std::string& package_path, CDownloadProgress& progress);
  ~CPackageWorker() override;

  // True when every file of the package is in place and verified.
  bool ok() const { return opened_ && !failed_.load() && !progress_.cancel.load(); }
  // True when the download stopped for a fault (rather than the user's cancel).
  bool failed() const { return !opened_ || failed_.load(); }
  // The reasons the workers stopped (system messages and the package's own faults), joined
  // by ", " without repeats, appended to text.
  void CollectErrors(std::string& text) const;

 private:
  struct FileState {
    std::string target;
    std::string temp;
    std::string server_path;
    int64_t size = 0;
    std::vector<int32_t> sums;
    // Per block: its good bytes are in the old target rather than in the working file. Each
    // block is written by the one job that works it; the job finishing the last block reads
    // them all after the decrement of blocks_left that orders it behind the others.
    std::vector<uint8_t> in_target;
    std::atomic<int64_t> blocks_left{0};
  };

  class Job : public CWorkerThread::JobData {
   public:
    Job(CPackageWorker& worker, const std::string& host);
    bool Claim() override;
    void Work() override;

    // Stops the download for a reason of this job.
    void Fail(std::string why, int system_error = 0);
    // Opens the working file of the current file when this job has not yet; false on failure.
    bool OpenTemp();
    // All blocks are done: puts the verified file under the target's name.
    void FinishFile();

    CPackageWorker& worker;
    CHttpConnection connection;
    vd::os::File target;         // the old target, read only; closed when there is none
    vd::os::File temp;           // the working file, opened when first needed
    FileState* state = nullptr;  // the file the handles belong to
    size_t block = 0;
    int64_t offset = 0;
    int32_t length = 0;
    int32_t expected_sum = 0;
    std::vector<uint8_t> buffer;
    std::string error;       // why this job stopped the download
    int system_error = 0;    // the last system error code, 0 for none
  };

  CWorkerThread::JobData* CreateJobData(int index) override;
  // Under the pool's lock: the next file with bytes to work on; false when there is none.
  bool StartNextFile(Job& job);
  static bool KeepGoing(void* progress);

  CDownloadProgress& progress_;
  CVdPkgFile package_;
  bool opened_ = false;
  std::atomic<bool> failed_{false};
  std::vector<std::unique_ptr<Job>> jobs_;
  std::vector<std::unique_ptr<FileState>> files_;
  // Of the current file, guarded by the pool's lock.
  size_t next_block_ = 0;
  int64_t next_offset_ = 0;
  int64_t remaining_ = 0;
};

// The body of the package's background thread: runs the download on the progress record,
// puts the errors into its error text (a generic one when the download failed without a
// reason), sets its total to 0 and, last, its finished flag. True when the package is complete.
bool RunPackageDownload(const std::string& package_path, CDownloadProgress& progress);
