#pragma once
// Rows the mark and route list sheets share, each over one of the mark manager's lists.
#include <cstddef>
#include <memory>
#include <string>

#include "overlays/model/mark_manager.h"
#include "viewer_lib/overlay_gpx_file.h"
#include "viewer_lib/overlay_list_delegate.h"
#include "viewer_lib/overlay_share.h"

namespace overlay_list_rows {

// Deletes every object of the list, then drops their deletion records; the answer to "Are you
// sure?" (a question's callback).
template <auto List, auto Delete>
void DeleteAll(void*, int) {
  CMarkManager* manager = CMarkManager::Instance();
  if (manager == nullptr) return;
  auto& list = manager->*List;
  // By index: deleting announces changes, and nothing may hold an iterator.
  for (size_t i = 0; i < list.size(); ++i) {
    auto* object = list[i].get();
    if (!object->deleted) (manager->*Delete)(object);
  }
  CMarkManager::PurgeDeleted(list, 0.0);
}

// Offers the list as a shared GPX file named `file_name`. Deletion records are no objects of
// the user's: they stay out of the file.
template <auto List>
void SaveAll(QWidget* owner, const char* file_name) {
  ShareFile(owner, std::make_unique<CShareItem>(file_name, [](const std::string& path) {
              GpxWriter writer;
              if (!writer.Open(path)) return false;
              if (CMarkManager* manager = CMarkManager::Instance()) {
                for (const auto& object : manager->*List) {
                  if (!object->deleted) writer.Write(*object);
                }
              }
              return writer.Close();
            }));
}

// One of the manager's operations on all of a list, with its value.
template <void (CMarkManager::*Operation)(bool), bool Value>
void ForAll(void*) {
  if (CMarkManager* manager = CMarkManager::Instance()) (manager->*Operation)(Value);
}

inline void Sort(void*) { ShowListSheet(*BuildSortSheet()); }

}  // namespace overlay_list_rows
