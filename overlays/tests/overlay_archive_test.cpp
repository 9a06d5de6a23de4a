// The overlay archive's encodings: string and count forms, Windows-1252 text, reference numbers
// beyond the 16-bit tags, and the failures of malformed archives.
#include "overlays/overlay_archive.h"

#include <gtest/gtest.h>

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "overlays/category.h"
#include "overlays/tests/archive_test_objects.h"
#include "overlays/tests/overlay_test_objects.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::ArchiveBytes;
using vd::test::ArchiveMark;
using vd::test::ArchiveRoute;
using Cause = COverlayArchiveException::Cause;

std::span<const uint8_t> Span(const std::string& bytes) {
  return {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
}

// What a storing archive writes to a file.
std::string Stored(const std::function<void(COverlayArchive&)>& write) {
  vd::test::TempDir dir;
  return vd::test::StoredArchive(dir.File("stored"), write);
}

// The cause of the exception a load of bytes throws, or nothing.
std::optional<Cause> LoadFailure(const std::string& bytes,
                                 const std::function<void(COverlayArchive&)>& read) {
  COverlayArchive archive(Span(bytes));
  try {
    read(archive);
  } catch (const COverlayArchiveException& e) {
    return e.cause();
  }
  return std::nullopt;
}

TEST(OverlayArchive, StringsKeepTheirLengthFormAndCodePage) {
  struct Case {
    size_t length;
    std::string prefix;
  };
  const std::vector<Case> cases = {
      {0, std::string("\x00", 1)},
      {254, "\xFE"},
      {255, std::string("\xFF\xFF\x00", 3)},
      {0xFFFD, "\xFF\xFD\xFF"},
      {0xFFFE, std::string("\xFF\xFF\xFF\xFE\xFF\x00\x00", 7)},
      {0x10000, std::string("\xFF\xFF\xFF\x00\x00\x01\x00", 7)},
  };
  for (const Case& c : cases) {
    const std::string text(c.length, 'a');
    const std::string bytes = Stored([&](COverlayArchive& a) { a.WriteString(text); });
    EXPECT_EQ(bytes, c.prefix + text) << c.length;
    COverlayArchive archive(Span(bytes));
    EXPECT_EQ(archive.ReadString(), text) << c.length;
    EXPECT_EQ(archive.BytesLeft(), 0u);
  }
  // UTF-8 in memory, Windows-1252 on disk; what the code page lacks becomes '?'.
  const std::string bytes = Stored([](COverlayArchive& a) { a.WriteString("Café € →"); });
  EXPECT_EQ(bytes, std::string("\x08") + "Caf\xE9 \x80 ?");
  COverlayArchive archive(Span(bytes));
  EXPECT_EQ(archive.ReadString(), "Café € ?");
}

TEST(OverlayArchive, CountsAndValuesAreLittleEndian) {
  const std::string bytes = Stored([](COverlayArchive& a) {
    a.WriteCount(0xFFFE);
    a.WriteCount(0xFFFF);
    a.WriteInt32(-2);
    a.WriteBool(true);
    a.WriteDouble(1.5);
    a.WriteId(0x1122334455667788ull);
  });
  ArchiveBytes expected;
  expected.U16(0xFFFE).U16(0xFFFF).U32(0xFFFF).I32(-2).U8(1);
  expected.Raw(std::string("\x00\x00\x00\x00\x00\x00\xF8\x3F", 8)).Id(0x1122334455667788ull);
  EXPECT_EQ(bytes, expected.data);

  std::string with_bytes_after = bytes + std::string(0x10000, '\0');
  COverlayArchive archive(Span(with_bytes_after));
  EXPECT_EQ(archive.ReadCount(), 0xFFFEu);
  EXPECT_EQ(archive.ReadCount(), 0xFFFFu);
  EXPECT_EQ(archive.ReadInt32(), -2);
  EXPECT_TRUE(archive.ReadBool());
  EXPECT_EQ(archive.ReadDouble(), 1.5);
  EXPECT_EQ(archive.ReadId(), 0x1122334455667788ull);
}

// Past 0x7FFE numbers, object references and class tags take the 32-bit forms.
TEST(OverlayArchive, ReferenceNumbersBeyondSixteenBits) {
  vd::test::OverlayWorld world;
  std::vector<ArchiveMark*> marks;
  for (int i = 0; i < 0x8000; ++i) {
    marks.push_back(world.doc.Add(new ArchiveMark));
    marks.back()->name = "m" + std::to_string(i);
  }
  ArchiveRoute* late_route = world.doc.Add(new ArchiveRoute);  // its class comes after them all
  ArchiveRoute* second_route = world.doc.Add(new ArchiveRoute);
  late_route->Add(marks[5]);
  late_route->Add(marks.back());

  const std::string bytes = Stored([&](COverlayArchive& a) {
    for (ArchiveMark* mark : marks) a.WriteObject(mark);
    a.WriteObject(late_route);
    a.WriteObject(second_route);
    a.WriteObject(marks.back());
  });
  // Class 1 and the marks 2..0x8001; the route class is 0x8002, the routes 0x8003 and 0x8004.
  ArchiveBytes route_start;
  route_start.NewClass("CArchiveTestRoute");
  const size_t at = bytes.find(route_start.data);
  ASSERT_NE(at, std::string::npos);
  ArchiveBytes back_refs;
  back_refs.U16(0x0007).U16(0x7FFF).U32(0x8001);  // marks[5] and the last mark
  EXPECT_NE(bytes.find(back_refs.data, at), std::string::npos);
  ArchiveBytes second;
  second.U16(0x7FFF).U32(0x80008002u);
  EXPECT_NE(bytes.find(second.data, at), std::string::npos);
  ArchiveBytes last;
  last.U16(0x7FFF).U32(0x8001);
  EXPECT_EQ(bytes.substr(bytes.size() - 6), last.data);

  COverlayArchive archive(Span(bytes));
  std::vector<COstrelObject*> read;
  for (int i = 0; i < 0x8000; ++i) read.push_back(archive.ReadObject<COstrelObject>());
  auto* route = archive.ReadObject<ArchiveRoute>();
  auto* route2 = archive.ReadObject<ArchiveRoute>();
  EXPECT_EQ(archive.ReadObject<COstrelObject>(), read.back());
  ASSERT_NE(route, nullptr);
  ASSERT_NE(route2, nullptr);
  EXPECT_NE(route, route2);
  ASSERT_EQ(route->points.size(), 2u);
  EXPECT_EQ(route->points[0], read[5]);
  EXPECT_EQ(route->points[1], read.back());
  EXPECT_EQ(read[0x7FFF]->name, "m32767");
  EXPECT_EQ(archive.BytesLeft(), 0u);
}

TEST(OverlayArchive, MalformedArchivesThrowTheirCause) {
  vd::test::OverlayWorld world;
  const auto read_object = [](COverlayArchive& a) { a.ReadObject<COstrelObject>(); };
  const auto category = [] {
    ArchiveBytes b;
    return b.NewClass("CCategory").Str("Wrecks");
  };
  // A mark record nested n deep, each mark's partner the next one.
  const auto nested = [](int depth) {
    ArchiveBytes b;
    b.NewClass("CArchiveTestMark");
    for (int i = 0; i < depth; ++i) {
      b.Base("m", 1, 1, 0x01000000, ArchiveBytes().U16(0), 0).Str("");
      if (i + 1 < depth) b.U16(0x8001);
    }
    b.U16(0);
    return b;
  };
  struct Case {
    const char* what;
    std::string bytes;
    std::function<void(COverlayArchive&)> read;
    std::optional<Cause> cause;
  };
  const std::vector<Case> cases = {
      {"wide string", ArchiveBytes().U8(0xFF).U16(0xFFFE).U8(2).data,
       [](COverlayArchive& a) { a.ReadString(); }, Cause::kBadString},
      {"string longer than the bytes", ArchiveBytes().U8(0xFF).U16(0xFFFF).U32(0x7FFFFFFF).data,
       [](COverlayArchive& a) { a.ReadString(); }, Cause::kBadCount},
      {"huge count", ArchiveBytes().U16(0xFFFF).U32(0xFFFFFFFF).U16(0).data,
       [](COverlayArchive& a) { a.ReadCount(2); }, Cause::kBadCount},
      {"count of the bytes present", ArchiveBytes().U16(3).U16(0).U16(0).U16(0).data,
       [](COverlayArchive& a) { a.ReadCount(2); }, std::nullopt},
      {"short value", "\x01\x02", [](COverlayArchive& a) { a.ReadInt32(); }, Cause::kEndOfFile},
      {"raw bytes present", "\x01\x02\x03",
       [](COverlayArchive& a) {
         char bytes[3];
         ReadArchiveExact(a, bytes, 3);
       },
       std::nullopt},
      {"raw bytes short by one", "\x01\x02\x03",
       [](COverlayArchive& a) {
         char bytes[4];
         ReadArchiveExact(a, bytes, 4);
       },
       Cause::kEndOfFile},
      {"object number not yet read", ArchiveBytes().U16(0x0003).data, read_object,
       Cause::kBadIndex},
      {"big object number not yet read", ArchiveBytes().U16(0x7FFF).U32(0x1234).data, read_object,
       Cause::kBadIndex},
      {"class number not yet read", ArchiveBytes().U16(0x8005).data, read_object, Cause::kBadIndex},
      {"object number of a class", category().U16(1).data,
       [](COverlayArchive& a) {
         a.ReadObject<CCategory>();
         a.ReadObject<CCategory>();
       },
       Cause::kBadIndex},
      {"class number of an object", category().U16(0x8002).data,
       [](COverlayArchive& a) {
         a.ReadObject<CCategory>();
         a.ReadObject<CCategory>();
       },
       Cause::kBadIndex},
      {"unknown class", ArchiveBytes().NewClass("CNoSuchClass").data, read_object,
       Cause::kBadClass},
      {"category where an object belongs", category().data, read_object, Cause::kBadClass},
      {"abstract class", ArchiveBytes().NewClass("COstrelObject").data, read_object,
       Cause::kBadClass},
      {"class name cut short", ArchiveBytes().U16(0xFFFF).U16(26).U16(0xFFFF).Raw("CCat").data,
       read_object, Cause::kEndOfFile},
      {"records nested to the limit", nested(999).data, read_object, std::nullopt},
      {"records nested too deep", nested(100000).data, read_object, Cause::kTooDeep},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LoadFailure(c.bytes, c.read), c.cause) << c.what;
  }
}

// Reading from a file goes through a buffer: values and strings that straddle its refills
// read whole, and a count is checked against the bytes of the file, not of the buffer.
TEST(OverlayArchive, LoadsFromFileAcrossBufferRefills) {
  vd::test::TempDir dir;
  const std::string path = dir.File("long");
  const std::string text(100000, 'x');
  std::string bytes = Stored([&](COverlayArchive& a) {
    for (int i = 0; i < 30000; ++i) a.WriteInt32(i);  // 120000 bytes: past the first refill
    a.WriteString(text);
    a.WriteCount(5);
    a.WriteCount(60000);
    a.WriteDouble(2.25);
  });
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, bytes));
  vd::os::File file;
  ASSERT_TRUE(file.Open(path, vd::os::File::Mode::Read));
  COverlayArchive archive(file, COverlayArchive::Mode::kLoad);
  EXPECT_EQ(archive.BytesLeft(), bytes.size());
  for (int i = 0; i < 30000; ++i) ASSERT_EQ(archive.ReadInt32(), i);
  EXPECT_EQ(archive.ReadString(), text);
  EXPECT_EQ(archive.ReadCount(1), 5u);
  EXPECT_THROW(archive.ReadCount(1), COverlayArchiveException) << "8 bytes left, not 60000";
}

}  // namespace
