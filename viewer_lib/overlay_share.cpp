#include "viewer_lib/overlay_share.h"

#include <algorithm>
#include <cctype>

#include "core/standard_folders.h"
#include "core/ui/message_boxes.h"
#include "platform/ui/common_dialogs.h"

namespace {

std::string LowerExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.find('/', dot) != std::string::npos) return "";
  std::string extension = name.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

}  // namespace

std::string ShareMimeType(const std::string& file_name) {
  const std::string extension = LowerExtension(file_name);
  if (extension == "gpx") return "application/gpx+xml";
  if (extension == "txt") return "text/plain";
  if (extension == "dvtf") return "application/vnd.vardune.dvtf";
  if (extension == "qct") return "application/vnd.vardune.qct";
  return "*/*";
}

CShareItem::CShareItem(std::string file_name, std::function<bool(const std::string& path)> writer)
    : file_name_(std::move(file_name)),
      mime_type_(ShareMimeType(file_name_)),
      writer_(std::move(writer)) {}

int CShareItem::OnShared(int status, const std::string& path) {
  if (status != 0) return status;
  if (!writer_ || !writer_(path)) return -1;
  return 0;
}

int ShareFile(QWidget* owner, std::unique_ptr<CShareItem> item) {
  const std::string extension = LowerExtension(item->file_name());
  std::string filter;
  if (!extension.empty()) filter = extension + " files (*." + extension + ")|*." + extension + "|";
  filter += "All files (*.*)|*.*||";
  const std::optional<std::string> path =
      vd::ui::GetSaveFilePath(owner, "Save " + item->file_name(), filter, extension,
                              GetDocumentsFolder("/" + item->file_name()));
  const int status = item->OnShared(path ? 0 : 1, path.value_or(""));
  if (status < 0) ShowMessageBox(owner, "Error", "Failed to open XML file: " + *path);
  return status;
}
