#pragma once
// A field stream reading a file (see type_serializer.h). ok() is false when the file could not
// be opened.
#include <cstdio>
#include <string>

#include "core/type_serializer.h"

class CTypeFileIn : public CTypeSerializer {
 public:
  explicit CTypeFileIn(const std::string& path);
  ~CTypeFileIn() override;

  // Nothing is written to a file being read: only clears ok.
  void Write(const void* data, int32_t length) override;
  // Exactly length bytes, while ok is set.
  bool Read(void* buffer, int32_t length) override;

 private:
  std::FILE* file_;
};
