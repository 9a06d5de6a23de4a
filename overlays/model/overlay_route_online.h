#pragma once
// Road routing of the newer model's routes (COverlayRoute::OptimiseOnline): the route's points
// go with a travel mode to the routing CGI (request and reply formats in
// overlays/routing/directions.h) and the route is rebuilt from the directions of the reply. The
// points, name, description and type the route had before are kept aside for the one route last
// optimised, so that the mode "revert" can restore them.
//
// The request goes over HTTPS to the setting "routing_host"; a host written "http://name:port"
// is reached over plain HTTP instead (a local routing server).
#include <string>

class COverlayRoute;

// Fills the route (emptied by the caller) from the reply file: the summary as its name, per
// step of the first leg a "Flag" turn mark (named after the step's manoeuvre) and "Tinydot"
// marks along the step's thinned line, the addresses appended to the names of its ends, a flag
// at its end and "Duration " with the leg's duration as its description. False with the error
// text when the reply is not a usable directions document.
bool ReadOverlayDirectionsReply(const std::string& path, COverlayRoute& route, std::string& error);

// Unless shown before (setting optimize_route_tip), shows the note on walking and cycling
// trails, then records that it was shown.
void ShowOptimiseRouteTip();

// Called by a route going away: its kept points are dropped and "revert" no longer applies.
void ForgetOptimisedRoute(const COverlayRoute* route);
