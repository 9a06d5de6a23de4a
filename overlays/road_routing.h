#pragma once
// Road routing of the old overlay model: a route of a document is rebuilt from the server's
// directions (the exchange itself: overlays/routing/directions.h).
#include <string>

#include "overlays/routing/directions.h"

class CObjRoute;

// Fills a new, empty route of a document from the reply file. False with the error text.
bool ReadDirectionsReply(const std::string& path, CObjRoute& route, std::string& error);

// Replaces the route (of a document) by the routed one; mode "walking", "bicycling" or
// "driving". True when the route was replaced. Refusals and failures are shown to the user; a
// failed reply is taken back through the undo history, so the old route returns.
bool OptimiseRouteOnline(const std::string& mode, CObjRoute& route);
