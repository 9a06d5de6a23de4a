#pragma once
// Object classes for tests of overlay files and undo steps, registered under test class names:
// a mark-like object with a link and a reference to another object, and a route-like object
// holding its points. Also a writer of archive bytes, for fixtures built from the file layout.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/path_utils.h"
#include "overlays/ostrel_object.h"
#include "overlays/overlay_archive.h"

namespace vd::test {

// The base record, then the link (relative to the archive's link folder when it lies inside
// it) and a reference to a partner object, which is not held.
class ArchiveMark : public COstrelObject {
 public:
  static const OverlayClass kClass;  // "CArchiveTestMark"
  const OverlayClass& GetRuntimeClass() const override { return kClass; }

  void Serialize(COverlayArchive& archive) override {
    if (archive.IsStoring() && fail_when_stored) {
      throw COverlayArchiveException(COverlayArchiveException::kWriteFailed, "refused");
    }
    COstrelObject::Serialize(archive);
    const std::string& folder = archive.link_folder();
    if (archive.IsStoring()) {
      archive.WriteString(folder.empty() ? link : StripPathPrefix(link, folder));
      archive.WriteObject(partner);
    } else {
      link = archive.ReadString();
      if (!folder.empty() && IsRelativePath(link)) link = folder + link;
      partner = archive.ReadObject<COstrelObject>();
    }
  }

  std::string link;
  COstrelObject* partner = nullptr;
  bool fail_when_stored = false;
};

// The base record, then the points, each holding a reference. Export and undo take the
// points along.
class ArchiveRoute : public COstrelObject {
 public:
  static const OverlayClass kClass;  // "CArchiveTestRoute"
  const OverlayClass& GetRuntimeClass() const override { return kClass; }
  ~ArchiveRoute() override {
    for (COstrelObject* point : points) point->Release();
  }

  void Add(COstrelObject* point) {
    point->AddRef();
    points.push_back(point);
  }
  void Serialize(COverlayArchive& archive) override {
    COstrelObject::Serialize(archive);
    if (archive.IsStoring()) {
      archive.WriteCount(static_cast<uint32_t>(points.size()));
      for (const COstrelObject* point : points) archive.WriteObject(point);
      return;
    }
    const uint32_t count = archive.ReadCount(2);
    for (uint32_t i = 0; i < count; ++i) {
      if (COstrelObject* point = archive.ReadObject<COstrelObject>()) Add(point);
    }
  }
  bool CollectForExport(ObjectList& list) override {
    const bool added = COstrelObject::CollectForExport(list);
    for (COstrelObject* point : points) point->CollectForExport(list);
    return added;
  }
  bool CollectForUndo(ObjectList& list) override { return CollectForExport(list); }

  std::vector<COstrelObject*> points;
};

// An object that stays out of exports.
class ArchiveHidden : public COstrelObject {
 public:
  static const OverlayClass kClass;  // "CArchiveTestHidden"
  const OverlayClass& GetRuntimeClass() const override { return kClass; }
  ~ArchiveHidden() override {
    if (destroyed) *destroyed = true;
  }
  bool IsExportable() const override { return false; }

  bool* destroyed = nullptr;
};

inline const OverlayClass ArchiveMark::kClass("CArchiveTestMark", kOverlaySchema,
                                              &COstrelObject::kClass,
                                              &CreateArchiveObject<ArchiveMark>);
inline const OverlayClass ArchiveRoute::kClass("CArchiveTestRoute", kOverlaySchema,
                                               &COstrelObject::kClass,
                                               &CreateArchiveObject<ArchiveRoute>);
inline const OverlayClass ArchiveHidden::kClass("CArchiveTestHidden", kOverlaySchema,
                                                &COstrelObject::kClass,
                                                &CreateArchiveObject<ArchiveHidden>);

// Archive bytes written field by field, as the file layout gives them.
struct ArchiveBytes {
  ArchiveBytes& U8(uint8_t v) {
    data.push_back(static_cast<char>(v));
    return *this;
  }
  ArchiveBytes& U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
  ArchiveBytes& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  ArchiveBytes& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
  ArchiveBytes& Id(uint64_t v) { return U32(static_cast<uint32_t>(v)).U32(v >> 32); }
  ArchiveBytes& Raw(std::string_view bytes) {
    data.append(bytes);
    return *this;
  }
  // A string of Windows-1252 bytes with its length prefix.
  ArchiveBytes& Str(std::string_view bytes) {
    if (bytes.size() < 255) {
      U8(static_cast<uint8_t>(bytes.size()));
    } else if (bytes.size() < 0xFFFE) {
      U8(0xFF).U16(static_cast<uint16_t>(bytes.size()));
    } else {
      U8(0xFF).U16(0xFFFF).U32(static_cast<uint32_t>(bytes.size()));
    }
    return Raw(bytes);
  }
  // The tag of an object of a class not seen before.
  ArchiveBytes& NewClass(std::string_view name, uint16_t schema = kOverlaySchema) {
    return U16(0xFFFF).U16(schema).U16(static_cast<uint16_t>(name.size())).Raw(name);
  }
  // The base record of schema 26; category holds the bytes of the category reference.
  ArchiveBytes& Base(std::string_view name, int32_t created, int32_t modified, int32_t style,
                     const ArchiveBytes& category, uint64_t id, bool visible = true) {
    Str(name).I32(created).I32(modified).U8(0).U8(visible ? 1 : 0).I32(style);
    return Raw(category.data).I32(0).I32(0).Id(id);
  }

  std::string data;
};

}  // namespace vd::test
