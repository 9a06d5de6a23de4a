#pragma once
// Help pages: one HTML page per topic name in the help folder, opened in the desktop's browser.
#include <functional>
#include <string>

namespace vd::ui {

// The program folder's "resources/help" unless set.
std::string HelpFolder();
void SetHelpFolder(const std::string& folder);

// The page of a topic (folder + "/" + topic + ".html"); empty for a name that is not a plain
// file name of letters, digits, '_', '-' and '.' (so it cannot leave the folder).
std::string HelpPagePath(const std::string& topic);

// How documents are handed to the desktop: vd::os::OpenDocument unless replaced. Returns the
// opener replaced (empty for the default); an empty opener restores the default.
using DocumentOpener = std::function<bool(const std::string& path)>;
DocumentOpener SetDocumentOpener(DocumentOpener opener);

// Hands a file or web address to the desktop through the opener.
bool OpenDocument(const std::string& path_or_url);

// Opens the topic's page; false when the page does not exist or could not be opened.
bool OpenHelpTopic(const std::string& topic);

}  // namespace vd::ui
