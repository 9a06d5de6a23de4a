#include "core/type_file_out.h"

namespace {
// Fields are small: collect them and write in blocks of about this size.
constexpr size_t kFlushBytes = 64 * 1024;
}  // namespace

CTypeFileOut::CTypeFileOut(const std::string& path, vd::os::Links links)
    : CTypeSerializer(kModeWrite, false) {
  open_ = writer_.Open(path, links);
  ok_ = open_;
}

CTypeFileOut::~CTypeFileOut() { Close(); }

void CTypeFileOut::Write(const void* data, int32_t length) {
  if (!ok_ || !open_) {
    ok_ = false;
    return;
  }
  pending_.append(static_cast<const char*>(data), static_cast<size_t>(length));
  if (pending_.size() >= kFlushBytes) ok_ = Flush();
}

bool CTypeFileOut::Read(void*, int32_t) {
  ok_ = false;
  return false;
}

bool CTypeFileOut::Flush() {
  const bool written = writer_.file().Write(pending_.data(), pending_.size());
  pending_.clear();
  return written;
}

bool CTypeFileOut::Close() {
  if (!open_) return ok_;
  open_ = false;
  ok_ = ok_ && Flush() && writer_.Commit();
  if (!ok_) writer_.Discard();
  return ok_;
}
