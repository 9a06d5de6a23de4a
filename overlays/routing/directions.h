#pragma once
// Road routing's exchange with the maker's server, shared by both overlay models and free of
// any window. A hand-drawn route of a few points is sent with a travel mode to the routing CGI,
// and rebuilt from the XML directions of the reply so that it follows roads or trails: a turn
// mark at the start of each step, small intermediate marks along it, a flag at the end, the
// summary as the route's name and the addresses as the names of its ends.
//
// The request file (little-endian field stream): the mode as a narrow string ("walking",
// "bicycling" or "driving"), int32 n, then n (longitude, latitude) pairs of doubles. The reply
// overwrites the same file.
//
// The routing host is the setting "routing_host" (section "settings"; "name" or "name:port").
#include <string>
#include <string_view>
#include <vector>

class CXmlDocument;
class CXmlNode;

inline constexpr char kDirectionsCgiPath[] = "cgi-bin/directions.cgi";
inline constexpr char kDefaultRoutingHost[] = "routing.vardune.com";

struct RoutingPoint {
  double lon = 0.0;
  double lat = 0.0;
  friend bool operator==(const RoutingPoint&, const RoutingPoint&) = default;
};

std::string RoutingHost();

// Writes the request file (atomically). False when it could not be written.
bool WriteDirectionsRequest(const std::string& path, const std::string& mode,
                            const std::vector<RoutingPoint>& points);

// Decodes an encoded polyline (pairs of latitude and longitude differences in 1e-5 degrees,
// five bits per character from code 63 on, 0x20 continuing a number). points is emptied first
// and gets what was decoded; false when the text ends inside a number or a pair, or a running
// latitude leaves -90..90 or a running longitude -360..360.
bool DecodeDirectionsPolyline(std::string_view text, std::vector<RoutingPoint>& points);

// Drops points that lie within `tolerance` (square metres) of the segment joining their
// neighbours, in passes over every other point until a pass drops nothing. True when points
// were dropped.
bool ThinPolylineLocal(std::vector<RoutingPoint>& points, double tolerance);

// Plain text of the server's escaped HTML instructions: tags dropped, "&amp;nbsp;" a blank, an
// escaped division tag a new line.
std::string HtmlInstructionsToText(std::string_view text);

// The checks both overlay models make of a reply: the file loads as XML with a
// DirectionsResponse whose status is "OK" and which holds a route with a leg. Returns the route
// element, or null with `error` set ("Corrupt response", or "Status: " and the status, then a
// blank and the error message when there is one).
CXmlNode* FindDirectionsRoute(CXmlDocument& document, const std::string& path,
                              std::string& error);
