#pragma once
// The program-wide selection record of the newer overlay model: the object the user tapped last.
// A tap replaces the record with a fresh one; an object going away leaves it.
class COverlayObject;

struct COverlaySelection {
  COverlayObject* object = nullptr;

  static const COverlaySelection& Current();
  // A new, empty record naming object replaces the current one.
  static void Replace(COverlayObject* object);
  // The record is emptied when it names object.
  static void Forget(const COverlayObject* object);
};
