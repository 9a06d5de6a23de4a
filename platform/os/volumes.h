#pragma once
// The kind of volume a file lies on.
#include <cstdint>
#include <string>
#include <string_view>

namespace vd::os {

// The file system type ("ext4", "iso9660", ...) that the mount table text (the format of
// /proc/self/mountinfo) gives for the device number; empty when it has none.
std::string FileSystemTypeOfDevice(std::string_view mountinfo, uint64_t device);

// True when the file lies on an optical disc (a CD or DVD file system), which may be taken out.
bool IsOnOpticalDisc(const std::string& path);

}  // namespace vd::os
