#include "core/type_file_in.h"

CTypeFileIn::CTypeFileIn(const std::string& path)
    : CTypeSerializer(kModeRead, false), file_(std::fopen(path.c_str(), "rb")) {
  ok_ = file_ != nullptr;
}

CTypeFileIn::~CTypeFileIn() {
  if (file_) std::fclose(file_);
}

void CTypeFileIn::Write(const void*, int32_t) { ok_ = false; }

bool CTypeFileIn::Read(void* buffer, int32_t length) {
  return ok_ && length > 0 && std::fread(buffer, static_cast<size_t>(length), 1, file_) == 1;
}
