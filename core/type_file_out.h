#pragma once
// A field stream writing a file (see type_serializer.h). The file is replaced only when every
// field was written: the bytes go to a temporary file beside it, which Close (or the
// destructor) renames over the target while ok is set and removes otherwise. ok() is false
// when the temporary file could not be created.
#include <string>

#include "core/type_serializer.h"
#include "platform/os/files.h"

class CTypeFileOut : public CTypeSerializer {
 public:
  explicit CTypeFileOut(const std::string& path, vd::os::Links links = vd::os::Links::kFollow);
  ~CTypeFileOut() override;

  // Writes while ok is set; a failure clears ok.
  void Write(const void* data, int32_t length) override;
  // Nothing is read from a file being written: clears ok, false.
  bool Read(void* buffer, int32_t length) override;

  // Puts the file in place when ok is set; true when it was (again on later calls). Later
  // writes fail.
  bool Close();

 private:
  bool Flush();

  vd::os::AtomicFileWriter writer_;
  std::string pending_;  // written fields not yet handed to the file
  bool open_;
};
