#pragma once
// GPX 1.1 files of marks, routes and tracks, written and read the same way so that a file this
// program writes reads back into the same objects: the style extension carries colours and line
// styles, the waypoint extension a mark's circle ("Proximity", negative for an anchor alarm),
// and "src" the object's id as "vdid:<hex>". Also the text helpers the LOC and TCX files share.
//
// User-interface thread only (the objects are).
#include <cstdint>
#include <string>
#include <string_view>

#include "app/shell_services.h"
#include "core/work_progress.h"

class CObjRoute;
class CObjTrack;
class CObjWaypoint;
class CXmlNode;

// ---- Shared by the XML exchange files ----
inline constexpr char kXmlDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n";
// The creator the exchange files name: "Vardune " + version + "." + build.
std::string GpxCreator();

// The text with what XML cannot hold replaced by '?': control characters other than tab, line
// feed and carriage return, and bytes that are not well-formed UTF-8.
std::string XmlSafeText(std::string_view text);
// XmlSafeText with '&', '<', '>' and '"' escaped, for attribute values.
std::string XmlAttributeText(std::string_view text);
// "YYYY-MM-DDThh:mm:ssZ" (UTC) of a time of the overlay objects: seconds since 1970, the 32 bits
// read unsigned.
std::string FormatGpxTime(int32_t time);
// The time of such a text (a zone or offset is applied, a fraction of a second dropped); 0, the
// objects' "no time", when it is unreadable or outside 1970 to 2106.
int32_t ParseGpxTime(std::string_view text);
// The text of the first child element of that name with blanks around it removed; false when
// there is no such child.
bool GetChildText(const CXmlNode& node, std::string_view name, std::string& out);
// An attribute read as a coordinate: 0 when it is absent or not a finite number.
double GetCoordinateAttribute(const CXmlNode& node, std::string_view name);
// The first child element of that name, or null.
const CXmlNode* FindChildElement(const CXmlNode& node, std::string_view name);

// ---- Writing ----
// Each appends the object's element. The object's id is made first (GetUniqueId). A route or
// track without points writes nothing.
void WriteGpxWaypoint(std::string& out, CObjWaypoint& mark);
void WriteGpxRoute(std::string& out, CObjRoute& route);
void WriteGpxTrack(std::string& out, CObjTrack& track);
// The whole document: the list's exportable marks (those on no route), then its routes with
// their points, then its tracks. Other objects are left out.
std::string MakeGpxDocument(const ObjectList& list);

// ---- Reading ----
// Reads the children of a "gpx" element in order: a "wpt" makes a mark (counting 1), an "rte" a
// route and its points (1 + the points), a "trk" one track from all its segments (1). The new
// objects, each with one reference, are appended to list (a route before its points). Returns
// the count. progress, when given, hears of the objects and points read and may stop the
// reading, leaving in list what was read so far.
int ReadGpx(const CXmlNode& gpx, ObjectList& list, const ProgressFn& progress = {});
