#include "corvex/printer_settings.h"

#include <cerrno>
#include <algorithm>
#include <string_view>
#include <utility>

#include "platform/os/files.h"

namespace {

void AppendBlock(std::string& out, const std::vector<uint8_t>& block) {
  const auto size = static_cast<uint32_t>(block.size());
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((size >> (8 * i)) & 0xFF));
  out.append(reinterpret_cast<const char*>(block.data()), block.size());
}

// One block at `at`, checked against the bytes there; false when they do not bear it out.
bool ReadBlock(std::string_view bytes, size_t& at, std::vector<uint8_t>& block) {
  if (bytes.size() - at < 4) return false;
  uint32_t size = 0;
  for (int i = 0; i < 4; ++i) size |= uint32_t(uint8_t(bytes[at + i])) << (8 * i);
  at += 4;
  if (size == 0 || size > uint32_t(CPrinterSettings::kMaxBlockSize) || bytes.size() - at < size) {
    return false;
  }
  block.assign(bytes.begin() + static_cast<ptrdiff_t>(at),
               bytes.begin() + static_cast<ptrdiff_t>(at + size));
  at += size;
  return true;
}

}  // namespace

CPrinterSettings::CPrinterSettings(CPrinterHost& host, std::string data_folder)
    : host_(host), folder_(std::move(data_folder) + "/" + kFolderName) {}

CPrinterSettings::~CPrinterSettings() { Restore(); }

std::string CPrinterSettings::FilePath(const std::string& file_name) const {
  return folder_ + "/" + file_name;
}

int CPrinterSettings::Load(const std::string& file_name) {
  file_name_ = file_name;
  blocks_ = {};
  if (!vd::os::MakeFolders(folder_)) return errno ? errno : EIO;
  std::string bytes;
  if (!vd::os::ReadWholeFile(FilePath(file_name), bytes)) {
    const int error = errno ? errno : ENOENT;
    CopyDefaults();
    return error;
  }
  size_t at = 0;
  PrinterBlocks read;
  if (!ReadBlock(bytes, at, read.device) || !ReadBlock(bytes, at, read.names)) {
    CopyDefaults();
    return -1;
  }
  blocks_ = std::move(read);
  return 0;
}

int CPrinterSettings::Save(const std::string& file_name) {
  if (blocks_.device.empty() || blocks_.names.empty()) return 0;
  if (!vd::os::MakeFolders(folder_)) return errno ? errno : EIO;
  std::string bytes;
  AppendBlock(bytes, blocks_.device);
  AppendBlock(bytes, blocks_.names);
  errno = 0;
  if (!vd::os::SaveFileAtomically(FilePath(file_name), bytes)) return errno ? errno : EIO;
  return 0;
}

void CPrinterSettings::CopyDefaults() { blocks_ = host_.GetPrinterDeviceDefaults(); }

void CPrinterSettings::Apply() {
  if (blocks_.empty()) return;
  if (!applied_) saved_ = host_.GetPrinterDeviceDefaults();
  applied_ = true;
  host_.SelectPrinter(blocks_);
}

void CPrinterSettings::Restore() {
  if (!applied_) return;
  applied_ = false;
  host_.SelectPrinter(saved_);
  saved_ = {};
}

std::string CPrinterSettings::GetPrinterName() const {
  const auto& device = blocks_.device;
  const auto end = std::find(device.begin(), device.end(), uint8_t{0});
  if (end == device.begin()) return kNoPrinter;
  return std::string(device.begin(), end);
}
