#include "charts/chart_conversion.h"

#include <algorithm>
#include <utility>

#include "charts/chart_reader_services.h"
#include "charts/qct_file_view.h"
#include "charts/qct_header_patch.h"
#include "core/file_utils.h"
#include "core/path_utils.h"
#include "core/persistent_value.h"
#include "platform/os/files.h"

namespace {

constexpr char kDefaultConvertedFolder[] = "./qct";

}  // namespace

std::string ConvertedChartFolder() {
  std::string folder =
      vd::OpenAppProfile().GetString(vd::kSettingsSection, "qct_dir").value_or("");
  std::replace(folder.begin(), folder.end(), '\\', '/');
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder.empty() ? kDefaultConvertedFolder : folder;
}

std::string ChartConvertedFrom(const std::string& chart) {
  vd::os::MappedFile mapping;
  if (!mapping.Open(chart)) return "";
  const QctFileView file(std::span<const uint8_t>(mapping.data(), mapping.size()));
  QuickChartHeader header;
  if (!file.ReadHeader(header) || !IsQctMagic(header.magic)) return "";
  std::string original = file.HeaderText(header, kQctOriginalName);
  std::replace(original.begin(), original.end(), '\\', '/');
  return original;
}

int ConvertChartFile(CConverterPlugins& converter, const std::string& source,
                     const std::string& target, bool interactive) {
  // (A reference file names its original too, but holds no tiles: it is converted over.)
  if (IsNotFolder(target) && ChartConvertedFrom(target) == source &&
      IsTiledChartWithTiles(target)) {
    return 0;
  }
  const std::string temporary = GetPathDirectory(target) + "/~" + GetPathFileName(target);
  vd::os::RemoveFile(temporary);
  const int result = converter.Convert(source, temporary, interactive ? 1 : 0, 0);
  if (result != 0 || !IsNotFolder(temporary)) {
    vd::os::RemoveFile(temporary);
    return result != 0 ? result : -1;
  }
  // The chart remembers what it was made from, so that later scans take it for that file.
  if (ChartConvertedFrom(temporary).empty()) {
    QctHeaderPatch patch;
    if (patch.Open(temporary)) {
      patch.WriteText(kQctOriginalName, source);
      patch.Commit();
    }
  }
  if (!vd::os::RenameFile(temporary, target)) {
    vd::os::RemoveFile(temporary);
    return -1;
  }
  return 0;
}

void InstallChartReaderConverter(std::function<ConverterWindow()> parent) {
  ChartReaderServices services = GetChartReaderServices();
  services.convert = [parent = std::move(parent)](const std::string& source,
                                                  const std::string& target) {
    CConverterPlugins converter;
    converter.SetParentWindow(parent ? parent() : 0);
    return ConvertChartFile(converter, source, target, false);
  };
  SetChartReaderServices(std::move(services));
}
