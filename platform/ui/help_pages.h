#pragma once
// Help pages: one HTML page per topic name in the help folder, opened in the desktop's browser.
#include <functional>
#include <string>

namespace vd::ui {

// The program folder's "resources/help" unless set.
std::string HelpFolder();
void SetHelpFolder(const std::string& folder);

// The topic of the help pages' index, their first page.
inline constexpr char kHelpIndexTopic[] = "index";

// The page of a topic (folder + "/" + topic + ".html"; a topic may carry ".htm" or ".html");
// empty for a name that is not a plain file name of letters, digits, '_', '-' and '.' (so it
// cannot leave the folder).
std::string HelpPagePath(const std::string& topic);

// How documents are handed to the desktop: vd::os::OpenDocument unless replaced. Returns the
// opener replaced (empty for the default); an empty opener restores the default.
using DocumentOpener = std::function<bool(const std::string& path)>;
DocumentOpener SetDocumentOpener(DocumentOpener opener);

// Hands a file or web address to the desktop through the opener.
bool OpenDocument(const std::string& path_or_url);

// Opens the topic's page; false when the page does not exist or could not be opened. Without
// the page (a missing one, or a name that would leave the folder) the user is told so and the
// index opens instead; without an index, that the help is not installed.
bool OpenHelpTopic(const std::string& topic);

}  // namespace vd::ui
