#include "charts/package_worker.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>
#include <utility>

#include "core/file_utils.h"
#include "core/path_utils.h"

CPackageWorker::CPackageWorker(const std::string& package_path, CDownloadProgress& progress)
    : progress_(progress), package_(package_path) {
  progress_.done = 0;
  if (!package_.ok()) return;
  opened_ = true;
  progress_.total = package_.total();
  for (int i = 0; i < count(); ++i) jobs_.push_back(std::make_unique<Job>(*this, package_.host()));
  Run();
}

CPackageWorker::~CPackageWorker() { Stop(); }

CWorkerThread::JobData* CPackageWorker::CreateJobData(int index) { return jobs_[index].get(); }

bool CPackageWorker::KeepGoing(void* progress) {
  return !static_cast<CDownloadProgress*>(progress)->cancel.load();
}

void CPackageWorker::CollectErrors(std::string& text) const {
  std::vector<std::string> reasons;
  if (opened_ && !package_.ok()) reasons.push_back(package_.error());
  for (const auto& job : jobs_) {
    if (job->system_error != 0) {
      reasons.push_back(std::system_category().message(job->system_error));
    } else if (!job->error.empty()) {
      reasons.push_back(job->error);
    }
  }
  for (const std::string& reason : reasons) {
    if (reason.empty() || text.find(reason) != std::string::npos) continue;
    if (!text.empty()) text += ", ";
    text += reason;
  }
}

bool CPackageWorker::StartNextFile(Job& job) {
  VdPkgEntry entry;
  // Empty entries have nothing to fetch and are not created.
  do {
    if (!package_.NextEntry(entry)) {
      if (!package_.ok()) job.Fail(std::string());  // the reason is the package's error
      return false;
    }
  } while (entry.size == 0);

  auto state = std::make_unique<FileState>();
  state->target = package_.LocalPath(entry);
  state->temp = state->target + ".TMP";
  state->server_path = package_.ServerPath(entry);
  state->size = entry.size;
  state->blocks_left = static_cast<int64_t>(entry.sums.size());
  state->in_target.assign(entry.sums.size(), 0);
  state->sums = std::move(entry.sums);
  if (!CreateDirectoryTree(GetPathDirectory(state->target))) {
    job.Fail("can't create the folder of " + entry.name, errno);
    return false;
  }
  if (IsDirectory(state->target) || IsDirectory(state->temp)) {
    job.Fail("a folder stands where " + entry.name + " belongs");
    return false;
  }
  files_.push_back(std::move(state));
  next_block_ = 0;
  next_offset_ = 0;
  remaining_ = entry.size;
  return true;
}

CPackageWorker::Job::Job(CPackageWorker& worker, const std::string& host)
    : worker(worker), connection(host, false), buffer(CVdPkgFile::kBlockSize) {
  connection.SetAbortCallback(&CPackageWorker::KeepGoing, &worker.progress_);
}

void CPackageWorker::Job::Fail(std::string why, int code) {
  error = std::move(why);
  system_error = code;
  worker.failed_ = true;
  worker.progress_.cancel = true;
}

bool CPackageWorker::Job::Claim() {
  if (worker.progress_.cancel.load()) return false;
  if (worker.remaining_ == 0 && !worker.StartNextFile(*this)) return false;
  FileState* current = worker.files_.back().get();
  if (state != current) {
    target.Close();
    temp.Close();
    state = current;
    // A target that can't be read is treated as absent: every block is then fetched, and the
    // finished file replaces it.
    if (FileExists(current->target)) target.Open(current->target, vd::os::File::Mode::Read);
  }
  block = worker.next_block_++;
  expected_sum = current->sums[block];
  offset = worker.next_offset_;
  length = static_cast<int32_t>(std::min(worker.remaining_, CVdPkgFile::kBlockSize));
  worker.next_offset_ += length;
  worker.remaining_ -= length;
  return true;
}

bool CPackageWorker::Job::OpenTemp() {
  if (temp.IsOpen()) return true;
  if (temp.Open(state->temp, vd::os::File::Mode::CreateReadWrite)) return true;
  Fail("can't open " + state->temp, errno);
  return false;
}

void CPackageWorker::Job::Work() {
  const size_t count = static_cast<size_t>(length);
  const auto matches = [&](vd::os::File& file) {
    return file.IsOpen() &&
           file.PRead(buffer.data(), count, static_cast<uint64_t>(offset)) == length &&
           CVdPkgFile::ByteSum(buffer.data(), count) == expected_sum;
  };
  if (matches(target)) {
    state->in_target[block] = 1;
  } else {
    // A working file left by an earlier attempt may hold the block already.
    if (!temp.IsOpen() && FileExists(state->temp)) {
      temp.Open(state->temp, vd::os::File::Mode::ReadWrite);
    }
    if (!matches(temp)) {
      const int received = connection.GetRange(state->server_path, offset, length, buffer.data());
      if (worker.progress_.cancel.load()) return;  // stopped elsewhere; the transfer was cut
      if (received < 0) {
        Fail("the server did not send " + state->server_path);
        return;
      }
      if (received != length) {
        Fail("the server sent only part of " + state->server_path);
        return;
      }
      if (CVdPkgFile::ByteSum(buffer.data(), count) != expected_sum) {
        Fail("the server sent a damaged block of " + state->server_path);
        return;
      }
      // The working file is made only once there is something to keep in it.
      if (!OpenTemp()) return;
      if (!temp.PWrite(buffer.data(), count, static_cast<uint64_t>(offset))) {
        Fail("can't write " + state->temp, errno);
        return;
      }
    }
  }
  worker.progress_.done += length;
  if (--state->blocks_left == 0) FinishFile();
}

void CPackageWorker::Job::FinishFile() {
  const size_t blocks = state->sums.size();
  if (std::count(state->in_target.begin(), state->in_target.end(), 1) ==
      static_cast<std::ptrdiff_t>(blocks)) {
    // The old target is the file: it stays as it is, and a stale working file goes.
    temp.Close();
    std::remove(state->temp.c_str());
    return;
  }
  if (!OpenTemp()) return;
  for (size_t i = 0; i < blocks; ++i) {
    if (!state->in_target[i]) continue;
    const int64_t at = static_cast<int64_t>(i) * CVdPkgFile::kBlockSize;
    const size_t count =
        static_cast<size_t>(std::min(state->size - at, CVdPkgFile::kBlockSize));
    if (target.PRead(buffer.data(), count, static_cast<uint64_t>(at)) !=
            static_cast<int64_t>(count) ||
        CVdPkgFile::ByteSum(buffer.data(), count) != state->sums[i]) {
      Fail(state->target + " changed while it was checked");
      return;
    }
    if (!temp.PWrite(buffer.data(), count, static_cast<uint64_t>(at))) {
      Fail("can't write " + state->temp, errno);
      return;
    }
  }
  if (!temp.Truncate(static_cast<uint64_t>(state->size)) || !temp.Sync()) {
    Fail("can't write " + state->temp, errno);
    return;
  }
  if (std::rename(state->temp.c_str(), state->target.c_str()) != 0) {
    Fail("can't rename " + state->temp, errno);
  }
}

bool RunPackageDownload(const std::string& package_path, CDownloadProgress& progress) {
  bool complete = false;
  bool failed = false;
  std::string errors;
  {
    CPackageWorker worker(package_path, progress);
    complete = worker.ok();
    failed = worker.failed();
    worker.CollectErrors(errors);
  }
  if (!complete && failed) {
    if (errors.empty()) errors = "the map package could not be read";
    // The user learns which package failed and that the charts on disk are as they were.
    errors = "The map package \"" + ReadPackageTitle(package_path) +
             "\" was not downloaded completely: " + errors +
             ".\n\nCharts that did not arrive whole are left as they were; opening the "
             "package again continues the download.";
  }
  progress.SetErrorText(std::move(errors));
  progress.total = 0;
  progress.SetFinished();
  return complete;
}
