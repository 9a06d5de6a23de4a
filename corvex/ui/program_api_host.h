#pragma once
// The document as the inter-program requests see it in the running program, with its
// navigation panes: request 40 reads the first pane that has a target, request 41 starts
// going to a mark or following a route in the steering arrow and the navigation figures.
#include "corvex/doc_api_host.h"

class CProgramApiHost : public CDocApiHost {
 public:
  using CDocApiHost::CDocApiHost;

  bool GetNavigationTarget(CApiNavigationTarget& target) override;
  bool ShowGotoMark(CObjWaypoint& mark) override;
  bool ShowFollowRoute(CObjRoute& route) override;
};
