#include "overlays/exchange/loc_file.h"

#include <string_view>

#include "core/xml_node.h"
#include "overlays/exchange/gpx_file.h"
#include "overlays/obj_waypoint.h"
#include "overlays/object_list.h"
#include "platform/os/numbers.h"

namespace {

constexpr size_t kMinCacheCode = 2;
constexpr size_t kMaxCacheCode = 11;
constexpr size_t kMaxLocId = 12;
constexpr int32_t kGeocacheSymbol = 23;

bool NeedsCdata(std::string_view text) {
  return text.find_first_of("<>&\n") != std::string_view::npos;
}

}  // namespace

std::string MakeLocDocument(const ObjectList& list, int& marks_written) {
  std::string out = kXmlDeclaration;
  out += "<loc version=\"1.1\" \nsrc=\"" + GpxCreator() + "\">\n";
  marks_written = 0;
  UniqueNameIndex names(list);
  for (COstrelObject* object : list) {
    auto* mark = dynamic_cast<CObjWaypoint*>(object);
    if (!mark) continue;
    std::string id = mark->comment;
    if (id.size() < kMinCacheCode || id.size() > kMaxCacheCode) {
      names.MakeUnique(*mark, kMaxLocId, "", true);
      id = mark->short_name;
    }
    const std::string name = XmlSafeText(mark->name);
    out += "<waypoint>\n<name id=\"" + XmlAttributeText(id) + "\">";
    if (NeedsCdata(name)) {
      // A "]]>" in the name would end the section early: split it across two sections.
      std::string body;
      for (size_t start = 0;;) {
        const size_t end = name.find("]]>", start);
        if (end == std::string::npos) {
          body += name.substr(start);
          break;
        }
        body += name.substr(start, end + 2 - start) + "]]><![CDATA[";
        start = end + 2;
      }
      out += "<![CDATA[" + body + "]]>";
    } else {
      out += name;
    }
    out += "</name>\n";
    out += vd::os::FormatC("<coord lat=\"%.10f\" lon=\"%.10f\" />\n", mark->position.lat,
                           mark->position.lon);
    out += "<type>geocache</type>\n";
    if (!mark->link.empty()) {
      out += "<link text=\"Details\">" + XmlAttributeText(mark->link) + "</link>\n";
    }
    out += "</waypoint>\n";
    ++marks_written;
  }
  out += "</loc>";
  return out;
}

int ReadLoc(const CXmlNode& loc, ObjectList& list, const ProgressFn& progress) {
  int count = 0;
  ProgressSteps steps(progress, static_cast<int64_t>(loc.children().size()));
  int64_t done = 0;
  for (const CXmlNode& waypoint : loc.children()) {
    if (!steps(++done)) break;
    if (!waypoint.IsElementNamed("waypoint")) continue;
    const CXmlNode* name = FindChildElement(waypoint, "name");
    const CXmlNode* coord = FindChildElement(waypoint, "coord");
    if (!name || !coord) continue;
    auto* mark = new CObjWaypoint;
    mark->AddRef();
    list.push_back(mark);
    const char* id = name->GetAttribute("id");
    mark->comment = id ? id : "";
    GetChildText(waypoint, "name", mark->name);
    mark->position = {GetCoordinateAttribute(*coord, "lat"), GetCoordinateAttribute(*coord, "lon")};
    mark->being_placed = false;
    mark->SetSymbol(kGeocacheSymbol);
    mark->locked = true;
    std::string text;
    if (GetChildText(waypoint, "type", text)) mark->SetCategory(text);
    GetChildText(waypoint, "link", mark->link);
    ++count;
  }
  return count;
}
