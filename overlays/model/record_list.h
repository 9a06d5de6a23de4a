#pragma once
// A list of owned objects in a block: uint32 count, then each object's record body. Reading
// appends the objects read; it fails on a count above the limit, reads only while the block has
// bytes left, and drops an object whose record does not read (the stream goes on at the next
// one) unless the stream itself failed.
#include <cstdint>
#include <memory>
#include <vector>

#include "core/serializable_stream.h"

template <class T, class Make, class Body>
bool ExchangeRecordList(CSerializableStream& stream, std::vector<std::unique_ptr<T>>& list,
                        uint32_t max_count, Make make, Body body) {
  uint32_t count = stream.IsWriting() ? static_cast<uint32_t>(list.size()) : 0;
  if (!stream.ExchangeRaw(&count, sizeof count)) return false;
  if (stream.IsWriting()) {
    for (const std::unique_ptr<T>& item : list) {
      if (!body(*item)) return false;
    }
    return true;
  }
  if (count > max_count) return false;
  for (uint32_t i = 0; i < count && !stream.AtBlockEnd(); ++i) {
    std::unique_ptr<T> item = make();
    if (body(*item)) {
      list.push_back(std::move(item));
    } else if (stream.Failed()) {
      return false;
    }
  }
  return !stream.Failed();
}
