#include "platform/ui/help_pages.h"

#include <algorithm>
#include <optional>

#include "platform/os/files.h"
#include "platform/os/folders.h"
#include "platform/os/process.h"
#include "platform/ui/message_box.h"

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
  std::string name = topic;
  // Topics written as page names of the older help file ("3D_Terrain_View.htm").
  for (const std::string extension : {".html", ".htm"}) {
    if (name.size() > extension.size() &&
        name.compare(name.size() - extension.size(), extension.size(), extension) == 0) {
      name.resize(name.size() - extension.size());
      break;
    }
  }
  if (!IsPlainName(name)) return "";
  return HelpFolder() + "/" + name + ".html";
}

DocumentOpener SetDocumentOpener(DocumentOpener opener) {
  DocumentOpener previous = std::move(g_opener);
  g_opener = std::move(opener);
  return previous;
}

bool OpenDocument(const std::string& path_or_url) {
  return g_opener ? g_opener(path_or_url) : vd::os::OpenDocument(path_or_url);
}

namespace {

bool IsPage(const std::string& path) {
  return !path.empty() && vd::os::FileExists(path) && !vd::os::IsDirectory(path);
}

bool OpenPage(const std::string& path) {
  return OpenDocument(path);
}

}  // namespace

bool OpenHelpTopic(const std::string& topic) {
  const std::string path = HelpPagePath(topic);
  if (IsPage(path)) return OpenPage(path);
  // Without the topic's page the user still gets help: the index, and a word why.
  const std::string index = HelpPagePath(kHelpIndexTopic);
  if (!IsPage(index)) {
    RunMessageBox(nullptr,
                  "The help pages are not installed: there is no index page in \"" +
                      HelpFolder() + "\".",
                  "Help", kMbOk | kMbIconWarning);
    return false;
  }
  RunMessageBox(nullptr,
                "There is no help page for \"" + topic +
                    "\". The help index opens instead.",
                "Help", kMbOk | kMbIconInformation);
  OpenPage(index);
  return false;
}

}  // namespace vd::ui
