#include "overlays/model/syncable.h"

#include <cstdio>

#include "core/serializable_stream.h"
#include "overlays/model/overlay_time.h"

CSyncable::CSyncable() : modified(GetNow()), created(modified) {}

bool CSyncable::SerializeForSync(CSerializableStream& stream, int32_t /*flags*/,
                                 double /*time*/) {
  return Serialize(stream);
}

bool CSyncable::ExtendBounds(CGeoBounds& /*box*/) const { return false; }

bool CSyncable::WriteGPX(std::string& out) const {
  out += "<!-- Don't know how to write object -->\n";
  return true;
}

bool CSyncable::SerializeBase(CSerializableStream& stream) {
  bool ok;
  {
    CSerializableStream::Block block(stream);
    ok = block.ok() && stream.ExchangeRaw(&sync_id, sizeof sync_id) &&
         stream.ExchangeBool(purge) && stream.ExchangeRaw(&modified, sizeof modified) &&
         stream.ExchangeBool(deleted) && stream.ExchangeRaw(&created, sizeof created) &&
         stream.ExchangeBool(live) && stream.ExchangeBool(keep);
  }
  if (stream.IsReading()) {
    if (created > modified) created = modified;
    if (deleted) live = false;
  }
  return ok;
}

std::string CSyncable::GetSyncIdText() const {
  char text[32];
  std::snprintf(text, sizeof text, "vdid:%llX", static_cast<unsigned long long>(sync_id));
  return text;
}

void CSyncable::MarkDeleted() {
  deleted = true;
  live = false;
  modified = GetNow();
  if (sync_id == 0) purge = true;
}
