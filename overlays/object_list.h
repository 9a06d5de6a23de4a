#pragma once
// Operations on lists of overlay objects (the document's list or a selection of it).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "overlays/ostrel_object.h"

class CCategory;
class OverlayClass;

// The box around the extents of the objects (GetBounds). North and east start at -10000, south
// and west at 10000, so an empty list leaves them so and gives false. When the longitudes
// leave a wider gap elsewhere than across the 180° meridian, the box runs the other way round:
// west is then the eastern end of the gap and east its western end + 360 (marks at 170 and
// -170 give west 170, east 190).
bool GetListBounds(const ObjectList& list, double& north, double& south, double& east,
                   double& west);

// Asks the object's document to show the object's extent: the best chart at the middle of its
// bounds, at a wanted scale of 0.0002 x the distance (nautical miles) from the bounds'
// south-west corner to the middle, zoomed by 16. Nothing for an object without extent or
// document.
void ShowExtentInView(COstrelObject& object);

// Appends the objects of source that are of the class (every overlay object when null) and
// are not chart outlines, only the visible ones when visible_only is set. Returns the count
// appended.
int CollectObjectsOfClass(const ObjectList& source, ObjectList& out, bool visible_only,
                          const OverlayClass* cls);
// Appends the objects of source whose category is category; returns the count appended.
int CollectObjectsInCategory(const ObjectList& source, ObjectList& out, const CCategory* category);
// Deletes without asking every object of the list whose name is empty or begins with ':'; the
// deleted objects leave the list too.
void DeleteUnnamedObjects(ObjectList& list);

// Gives the object a short name of at most max_length characters, made of ASCII letters,
// digits and the allowed characters (upper-cased with upper), that no other visible object of
// the list has. An empty short name starts as a copy of the name. A clash increments the
// trailing number ("MARK" -> "MARK1" -> "MARK2", "WPT9" -> "WPT10"), cutting the text before
// it to stay within max_length ("ABCDEF" -> "ABCDE1" at 6). Code 2 when the short name had to
// change. When no name within max_length is free the clashing name is kept.
void MakeUniqueObjectName(COstrelObject& object, const ObjectList& list, size_t max_length,
                          std::string_view allowed, bool upper);

// The same for many objects against one list, each call costing about as much as its own
// clashes rather than the length of the list. It knows the short names of the list's visible
// objects when made, and of the objects it names or is given with Add afterwards; other
// changes of their short names are not seen.
class UniqueNameIndex {
 public:
  explicit UniqueNameIndex(const ObjectList& list);

  // Counts a visible object as part of the list from now on.
  void Add(const COstrelObject& object);
  // MakeUniqueObjectName(object, the list, ...).
  void MakeUnique(COstrelObject& object, size_t max_length, std::string_view allowed, bool upper);

 private:
  struct Name {
    int count = 0;  // counted objects holding the name
    // A later name of the name's increments at this length; every name from this one up to
    // that one was held when it was recorded. Valid only in the generation it was made in: a
    // new generation starts whenever a name that a shortcut passes over is freed.
    std::pair<const std::string, Name>* shortcut = nullptr;
    size_t shortcut_length = 0;
    uint64_t shortcut_generation = 0;
  };
  using Names = std::unordered_map<std::string, Name>;  // entries are never erased

  Names::value_type& Count(const std::string& short_name);
  void Uncount(Names::value_type& entry);
  // The first name of the increments from start that no counted object holds but the one
  // counted under own (which may keep it); start itself when every name within max_length is
  // held.
  std::string FirstFree(const std::string& start, const Names::value_type* own,
                        size_t max_length);

  Names names_;
  size_t held_names_ = 0;
  uint64_t generation_ = 1;
  // The name under which each counted object is counted.
  std::unordered_map<const COstrelObject*, Names::value_type*> counted_as_;
  std::vector<Names::value_type*> passed_;  // FirstFree's walk, kept to reuse its memory
};
