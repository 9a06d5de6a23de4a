// Every help topic the programs name has its page among the shipped help pages: the topics
// dialogs override, the default topic ("dialog_" and the template id) of every dialog that
// keeps it, and the topics opened by name.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "platform/os/folders.h"

namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The source tree: the build links the program's resources to it.
fs::path SourceRoot() {
  return fs::canonical(vd::os::ProgramFolder() + "/resources").parent_path();
}

std::set<std::string> Matches(const std::string& text, const std::regex& pattern) {
  std::set<std::string> found;
  for (std::sregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it)
    found.insert((*it)[1].str());
  return found;
}

// Topic name -> the source file naming it.
std::map<std::string, std::string> TopicsNamedInCode() {
  const std::regex overridden(R"re(HelpTopic\(\)\s*const\s*override\s*\{\s*return\s*"([^"]+)")re");
  const std::regex opened(R"re(OpenHelpTopic\("([^"]+)"\))re");
  const std::regex constant(R"re(k\w*HelpTopic\[\]\s*=\s*"([^"]+)")re");
  const std::regex dialog_base(R"re((?:CDialogF1Help|CObjectPropsDialog)\((?:\w+,\s*)?(k\w+)\s*,)re");
  std::map<std::string, std::string> topics;
  const fs::path root = SourceRoot();
  for (const char* folder : {"core", "charts", "corvex", "gps", "lumex", "overlays", "platform",
                             "viewer_lib", "geodesy"}) {
    if (!fs::exists(root / folder)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
      const fs::path& path = entry.path();
      if (path.extension() != ".cpp" || path.string().find("/tests/") != std::string::npos)
        continue;
      const std::string source = ReadText(path);
      fs::path header_path = path;
      header_path.replace_extension(".h");
      const std::string header = fs::exists(header_path) ? ReadText(header_path) : "";
      const std::string both = header + source;
      for (const std::regex* pattern : {&overridden, &opened, &constant})
        for (const std::string& topic : Matches(both, *pattern)) topics[topic] = path.string();
      // A dialog keeping the default topic: "dialog_" and its template id.
      if (both.find("HelpTopic()") != std::string::npos) continue;
      for (const std::string& name : Matches(source, dialog_base)) {
        const std::regex value(name + R"re(\s*=\s*(\d+)\s*;)re");
        for (const std::string& id : Matches(both, value))
          topics["dialog_" + id] = path.string();
      }
    }
  }
  return topics;
}

TEST(HelpTopics, EveryTopicNamedInCodeHasItsPage) {
  const auto topics = TopicsNamedInCode();
  // The scan finds the dialogs' topics (a change of their form would leave it blind).
  EXPECT_TRUE(topics.count("Mark_Properties"));
  EXPECT_TRUE(topics.count("dialog_139"));  // GPS setup keeps the default topic
  EXPECT_TRUE(topics.count("3D_Terrain_View"));
  EXPECT_TRUE(topics.count("index"));
  const fs::path help = SourceRoot() / "resources" / "help";
  for (const auto& [topic, file] : topics) {
    // A topic may be written as a page name of the older help file.
    std::string name = topic;
    for (const std::string extension : {".html", ".htm"}) {
      if (name.size() > extension.size() && name.ends_with(extension)) {
        name.resize(name.size() - extension.size());
        break;
      }
    }
    const fs::path page = help / (name + ".html");
    EXPECT_TRUE(fs::is_regular_file(page)) << topic << " (named in " << file << ")";
    if (!fs::is_regular_file(page)) continue;
    const std::string text = ReadText(page);
    EXPECT_NE(text.find("<h1>"), std::string::npos) << topic;
    if (name != "index") EXPECT_NE(text.find("href=\"index.html\""), std::string::npos) << topic;
  }
  // And every page is reachable from the index.
  const std::string index = ReadText(help / "index.html");
  for (const auto& entry : fs::directory_iterator(help)) {
    const std::string name = entry.path().filename().string();
    if (name == "index.html") continue;
    EXPECT_NE(index.find("href=\"" + name + "\""), std::string::npos) << name;
  }
}

}  // namespace
