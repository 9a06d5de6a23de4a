#include "platform/ui/help_pages.h"

#include <algorithm>
#include <optional>

#include "platform/os/files.h"
#include "platform/os/folders.h"
#include "platform/os/process.h"

namespace vd::ui {
namespace {

std::optional<std::string> g_help_folder;
DocumentOpener g_opener;

bool IsPlainName(const std::string& name) {
  return !name.empty() && name.front() != '.' &&
         std::all_of(name.begin(), name.end(), [](unsigned char c) {
           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '_' || c == '-' || c == '.';
         });
}

}  // namespace

std::string HelpFolder() {
  return g_help_folder ? *g_help_folder : vd::os::ProgramFolder() + "/resources/help";
}

void SetHelpFolder(const std::string& folder) { g_help_folder = folder; }

std::string HelpPagePath(const std::string& topic) {
  if (!IsPlainName(topic)) return "";
  return HelpFolder() + "/" + topic + ".html";
}

DocumentOpener SetDocumentOpener(DocumentOpener opener) {
  DocumentOpener previous = std::move(g_opener);
  g_opener = std::move(opener);
  return previous;
}

bool OpenDocument(const std::string& path_or_url) {
  return g_opener ? g_opener(path_or_url) : vd::os::OpenDocument(path_or_url);
}

bool OpenHelpTopic(const std::string& topic) {
  const std::string path = HelpPagePath(topic);
  if (path.empty() || !vd::os::FileExists(path) || vd::os::IsDirectory(path)) return false;
  return g_opener ? g_opener(path) : vd::os::OpenDocument(path);
}

}  // namespace vd::ui
