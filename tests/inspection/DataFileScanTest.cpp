// The data-file walk over bytes: files built chunk by chunk, each breaking
// one rule, are reported with that rule's kind at the damage's offset; the
// files the engine writes (every kind, both widths, appended, reusing free
// records) and the foreign variants it reads (versions 0 and 1, free records,
// unknown header chunks) give no finding at all.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "DataFileScan.h"
#include "engine/datafile/CGafFile.h"
#include "engine/datafile/GafFormat.h"
#include "support/GafBytes.h"
#include "support/TempDir.h"

namespace kro::inspection {
namespace {

using test::Bytes;
using test::GafBytes;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

ByteFile FileOf(const Bytes& bytes) {
  test::TempDir dir;
  const std::string path = dir.File("walk.gaf");
  test::WriteFileBytes(path, bytes);
  ByteFile file;
  std::string error;
  EXPECT_TRUE(file.Load(path, error)) << error;
  return file;
}

struct Walk {
  FindingList findings;
  GafScan scan;
};

Walk WalkBytes(const Bytes& bytes) {
  Walk walk;
  const ByteFile file = FileOf(bytes);
  walk.scan = ScanDataFile(file, "walk.gaf", walk.findings);
  return walk;
}

std::string Listing(const FindingList& findings) {
  std::string text;
  for (const Finding& f : findings.Kept()) text += f.kind + " at " + Hex(f.offset) + ": " + f.message + "\n";
  return text;
}

// A 32-bit point record with three empty strings: 12 bytes of content.
GafBytes& AddPoint(GafBytes& out, double x, double y, uint32_t length = 12) {
  out.Tag(32, length).Str("").Str("").Str("").U8(0).F32(x).F32(y);
  return out.Zeros(length - 12).Pad(length);
}

// A 32-bit polyline "ab"/"k"/"" (string block 6, even: no pad) of the vertices.
GafBytes& AddPolyline(GafBytes& out, const std::vector<CKroDoublePointNode>& points) {
  const uint32_t length = 6 + 2 + 8 * static_cast<uint32_t>(points.size());
  out.Tag(34, length).Str("ab").Str("k").Str("").U16(static_cast<uint32_t>(points.size()));
  for (const CKroDoublePointNode& p : points) out.F32(p.x).F32(p.y);
  return out;
}

// A header of `count` objects of the point kind, box (1, 2, 3, 4).
GafBytes Header(uint32_t count, uint32_t freeHead = 0, int version = 2) {
  GafBytes out;
  test::AddInfo(out, count, freeHead, count == 0 ? 0 : gaf::kKindPoints,
                count == 0 ? BoundingBoxNode{0, 0, 0, 0} : BoundingBoxNode{1, 2, 3, 4});
  out.Tag(gaf::kCodeVersion, 2).U16(static_cast<uint32_t>(version)).Tag(gaf::kCodePrecision, 2).U16(32);
  return out;
}

// Two points spanning the header's box.
Bytes TwoPoints(const std::function<void(GafBytes&)>& moreHeader = {}, uint32_t firstLength = 12) {
  GafBytes out = Header(2);
  if (moreHeader) moreHeader(out);
  out.Tag(gaf::kCodeEndOfHeader, 0);
  AddPoint(out, 1, 2, firstLength);
  AddPoint(out, 3, 4);
  out.Tag(gaf::kCodeEndOfData, 0);
  return out.bytes;
}

constexpr uint64_t kExtraHeaderChunk = 54;  // after info (46), version and precision (4 each)
constexpr uint64_t kFirstRecord = 56;       // after them and the end of header

struct DamageCase {
  const char* name;
  const char* kind;
  uint64_t offset;
  std::function<Bytes()> make;
};

std::vector<DamageCase> DamageCases() {
  return {
      {"record longer than a reuse leaves", "gaf.record-length", kFirstRecord, [] { return TwoPoints({}, 24); }},
      {"string-block pad not zero", "gaf.pad-byte", kFirstRecord + 5,
       [] {
         Bytes b = TwoPoints();
         b[kFirstRecord + 5] = 0xEE;
         return b;
       }},
      {"chunk pad not zero", "gaf.pad-byte", kFirstRecord + 2 + 13,
       [] {
         Bytes b = TwoPoints({}, 13);
         b[kFirstRecord + 2 + 13] = 1;
         return b;
       }},
      {"NaN inside a polyline", "gaf.nan-vertex", kFirstRecord,
       [] {
         GafBytes out = Header(1);
         out.Tag(gaf::kCodeEndOfHeader, 0);
         AddPolyline(out, {{1, 2}, {kNaN, 3}, {3, 4}}).Tag(gaf::kCodeEndOfData, 0);
         return out.bytes;
       }},
      {"infinite point", "gaf.nan-vertex", kFirstRecord,
       [] {
         GafBytes out = Header(1);
         out.Tag(gaf::kCodeEndOfHeader, 0);
         AddPoint(out, kInfinity, 2).Tag(gaf::kCodeEndOfData, 0);
         return out.bytes;
       }},
      {"info box inverted", "gaf.box-inverted", gaf::kTagWordSize + gaf::kInfoXMin,
       [] {
         Bytes b = TwoPoints();
         for (size_t i = 0; i < 8; ++i) std::swap(b[2 + gaf::kInfoXMin + i], b[2 + gaf::kInfoXMax + i]);
         return b;
       }},
      {"info box NaN", "gaf.box-nan", gaf::kTagWordSize + gaf::kInfoXMin,
       [] {
         GafBytes out;
         test::AddInfo(out, 1, 0, gaf::kKindPoints, {kNaN, 2, 1, 2});
         out.Tag(gaf::kCodeVersion, 2).U16(2).Tag(gaf::kCodePrecision, 2).U16(32).Tag(gaf::kCodeEndOfHeader, 0);
         AddPoint(out, 1, 2).Tag(gaf::kCodeEndOfData, 0);
         return out.bytes;
       }},
      {"no objects, a kinds word", "gaf.info-empty", gaf::kTagWordSize + gaf::kInfoKinds,
       [] {
         GafBytes out;
         test::AddInfo(out, 0, 0, gaf::kKindLines);
         out.Tag(gaf::kCodeEndOfHeader, 0).Tag(gaf::kCodeEndOfData, 0);
         return out.bytes;
       }},
      {"second info chunk", "gaf.info-repeated", gaf::kInfoChunkSize,
       [] {
         GafBytes out;
         test::AddInfo(out, 0, 0, 0);
         test::AddInfo(out, 0, 0, 0);
         out.Tag(gaf::kCodeEndOfHeader, 0).Tag(gaf::kCodeEndOfData, 0);
         return out.bytes;
       }},
      {"version chunk of 4 bytes", "gaf.header-length", kExtraHeaderChunk,
       [] { return TwoPoints([](GafBytes& h) { h.Tag(gaf::kCodeVersion, 4).U16(2).U16(0); }); }},
      {"description longer than its string", "gaf.header-length", kExtraHeaderChunk,
       [] { return TwoPoints([](GafBytes& h) { h.Tag(gaf::kCodeDescription, 6).Str("abc").U16(0); }); }},
      {"ellipsoid chunk too short", "gaf.header-chunk", kExtraHeaderChunk,
       [] { return TwoPoints([](GafBytes& h) { h.Tag(gaf::kCodeEllipsoid, 10).Str("a").Str("b").Zeros(6); }); }},
      {"marker of 2", "gaf.marker-value", kExtraHeaderChunk,
       [] { return TwoPoints([](GafBytes& h) { h.Tag(gaf::kCodeMetadataMarker, 2).U16(2); }); }},
      {"ring roles of 2", "gaf.ring-roles-value", kExtraHeaderChunk,
       [] { return TwoPoints([](GafBytes& h) { h.Tag(gaf::kCodeRingRoles, 2).U16(2); }); }},
      {"ring-roles chunk of 4 bytes", "gaf.header-length", kExtraHeaderChunk,
       [] { return TwoPoints([](GafBytes& h) { h.Tag(gaf::kCodeRingRoles, 4).U16(1).U16(0); }); }},
      {"version above the readable", "gaf.bad-version", 46,
       [] {
         GafBytes out = Header(0, 0, static_cast<int>(gaf::kMaxReadableVersion) + 1);
         out.Tag(gaf::kCodeEndOfHeader, 0).Tag(gaf::kCodeEndOfData, 0);
         return out.bytes;
       }},
      {"reserved tag bits in the header", "gaf.tag-bits", kExtraHeaderChunk,
       [] { return TwoPoints([](GafBytes& h) { h.U16(40u << 10 | 0x0100u | 2).U16(0); }); }},
      {"free record without room for its link", "gaf.free-record", kFirstRecord + 14,
       [] {
         GafBytes out = Header(1);
         out.Tag(gaf::kCodeEndOfHeader, 0);
         AddPoint(out, 1, 2).Tag(gaf::kCodeFree, 2).U16(0);
         AddPoint(out, 3, 4).Tag(gaf::kCodeEndOfData, 0);
         return out.bytes;
       }},
      {"end-of-data chunk with a payload", "gaf.end-of-data-length", kFirstRecord + 28,
       [] {
         Bytes b = TwoPoints();
         b.back() = 2;
         b.push_back(0);
         b.push_back(0);
         return b;
       }},
  };
}

TEST(DataFileScan, EachBrokenRuleIsReportedWithItsKindAtItsOffset) {
  for (const DamageCase& c : DamageCases()) {
    SCOPED_TRACE(c.name);
    const Walk walk = WalkBytes(c.make());
    bool found = false;
    for (const Finding& f : walk.findings.Kept()) found = found || (f.kind == c.kind && f.offset == c.offset);
    EXPECT_TRUE(found) << Listing(walk.findings);
  }
}

// A record whose coordinates no writer stores is reported but stays whole:
// the records after it are not lost, and the tools that copy records drop it.
TEST(DataFileScan, RecordsWithVerticesNoWriterStoresAreReportedAndKept) {
  GafBytes out = Header(2);
  out.Tag(gaf::kCodeEndOfHeader, 0);
  AddPolyline(out, {{1, 2}, {kNaN, kNaN}, {3, 4}});
  AddPoint(out, 3, 4).Tag(gaf::kCodeEndOfData, 0);
  const Walk walk = WalkBytes(out.bytes);
  ASSERT_FALSE(walk.findings.Kept().empty());
  EXPECT_EQ(walk.findings.Kept()[0].kind, "gaf.nan-vertex") << Listing(walk.findings);
  ASSERT_EQ(walk.scan.records.size(), 2u);
  EXPECT_EQ(walk.scan.firstDamage, walk.scan.fileSize);
}

TEST(DataFileScan, ARecordWithinTheSlackOfAReusedFreeRecordIsClean) {
  // Content 12: a length of 22 leaves a slack of 10 (< 12), as a reuse does.
  const Walk walk = WalkBytes(TwoPoints({}, 22));
  EXPECT_TRUE(walk.findings.Empty()) << Listing(walk.findings);
}

// Versions 0 and 1: two strings, single-set counts from the length (a rest
// below one vertex passed over), multi-set records framed by their content
// whatever their length field says; free records and unknown header chunks.
Bytes ForeignFile(int version, bool endOfData) {
  GafBytes f;
  test::AddInfo(f, 5, 0, 7, {0, -3, 9, 10});
  f.Tag(gaf::kCodeVersion, 2).U16(static_cast<uint32_t>(version)).Tag(gaf::kCodePrecision, 2).U16(32);
  f.Tag(45, 3).U8(1).U8(2).U8(3).Pad(3);  // an unknown header chunk
  f.Tag(gaf::kCodeEndOfHeader, 0);
  f.Tag(32, 14).Str("ab").Str("k").U8(0).F32(1).F32(2);
  f.Tag(34, 40).Str("abc").Str("xyz");
  for (int i = 0; i < 4; ++i) f.F32(i).F32(-i);
  f.Tag(gaf::kCodeFree, 6).U32(0).U16(0);
  f.Tag(36, 44).Str("abc").Str("pgn").F32(0).F32(0).F32(1).F32(0).F32(1).F32(1).F32(0).F32(0).U32(0xDEADBEEF);
  f.Tag(37, 2).Str("m").Str("").U8(0).U16(1).U32(4).F32(0).F32(0).F32(1).F32(0).F32(1).F32(1).F32(0).F32(0);
  f.Tag(35, 4 + 2 + 8 + 16).Str("ml").Str("").U16(2).U32(1).U32(1).F32(7).F32(8).F32(9).F32(10);
  if (endOfData) f.Tag(gaf::kCodeEndOfData, 0);
  return f.bytes;
}

TEST(DataFileScan, ForeignVariantsTheEngineReadsAreClean) {
  for (int version : {0, 1}) {
    for (bool endOfData : {true, false}) {
      SCOPED_TRACE(std::to_string(version) + (endOfData ? " with" : " without") + " end of data");
      const Bytes bytes = ForeignFile(version, endOfData);
      const ByteFile file = FileOf(bytes);
      FindingList findings;
      const GafScan scan = ScanDataFile(file, "old.gaf", findings);
      EXPECT_TRUE(findings.Empty()) << Listing(findings);
      ASSERT_EQ(scan.records.size(), 5u);
      EXPECT_EQ(scan.freeRecords, 1u);
      // A record is decoded again, as a copy does, from its summary alone.
      for (const GafRecordSummary& r : scan.records) {
        DecodedRecord record;
        std::string problem;
        EXPECT_EQ(DecodeRecord(file, r.payload, r.length, gaf::kCodeFirstObject + r.type, scan.header, record, problem),
                  nullptr)
            << problem;
      }
      EXPECT_EQ(scan.records[3].length, 42u) << "the old multi-polygon's content, not its length field";
    }
  }
}

class EngineFiles : public ::testing::Test {
 protected:
  void WriteAllKinds(CGafFile& file, double shift) {
    const std::vector<CKroDoublePointNode> line{{shift, 0}, {shift + 1, 2}, {shift + 2, 1}, {shift, 0}};
    const std::vector<CKroDoublePointNode> three(line.begin(), line.begin() + 3);
    const GafRecord records[] = {
        test::Record(kGafPointObject, {1}, {line[0]}, "p", "k0", "u"),
        test::Record(gaf::kMultiPointType, {3}, three, "mp", "k1"),
        test::Record(kGafPolylineObject, {3}, three, "", "k2", "a url"),
        test::Record(kGafPolyPolylineObject, {2, 2}, line, "mpl"),
        test::Record(kGafPolygonObject, {4}, line, "pg", "k4"),
        test::Record(kGafPolyPolygonObject, {4}, line, std::string(300, 'n'), "k5"),
    };
    uint32_t position = 0;
    for (const GafRecord& record : records) ASSERT_EQ(file.WriteRecord(record, position, nullptr), kEngineOk);
  }
  void ExpectClean(size_t records, bool ringRoles = false) {
    ByteFile bytes;
    std::string error;
    ASSERT_TRUE(bytes.Load(name, error)) << error;
    FindingList findings;
    const GafScan scan = ScanDataFile(bytes, name, findings);
    EXPECT_TRUE(findings.Empty()) << Listing(findings);
    EXPECT_EQ(scan.records.size(), records);
    EXPECT_EQ(scan.header.RingRolesByOrientation(), ringRoles);
  }
  EngineStatus status = kEngineOk;
  test::TempDir dir;
  std::string name = dir.File("e.gaf");
};

TEST_F(EngineFiles, EveryKindAtBothWidthsAndAppendedIsClean) {
  for (int16_t bits : {32, 64}) {
    SCOPED_TRACE(bits);
    {
      CGafFile file(name.c_str(), 10, status);  // created anew
      ASSERT_EQ(status, kEngineOk);
      ASSERT_EQ(file.SetPrecision(bits), kEngineOk);
      // The 64-bit file also says that its rings keep their roles.
      if (bits == 64) {
        ASSERT_EQ(file.SetRingRolesByOrientation(), kEngineOk);
      }
      ASSERT_EQ(file.SetDescription("a description of odd length"), kEngineOk);
      WriteAllKinds(file, 1);
      ASSERT_EQ(file.Close(), kEngineOk);
    }
    ExpectClean(6, bits == 64);
    {
      CGafFile file(name.c_str(), 2, status);  // opened for writing
      ASSERT_EQ(status, kEngineOk);
      WriteAllKinds(file, -50);
      ASSERT_EQ(file.Close(), kEngineOk);
    }
    ExpectClean(12, bits == 64);
  }
}

TEST_F(EngineFiles, RecordsWrittenIntoReusedFreeRecordsAreClean) {
  GafBytes f;
  test::AddInfo(f, 1, kFirstRecord, gaf::kKindPoints, {5, 6, 5, 6});
  f.Tag(gaf::kCodeVersion, 2).U16(2).Tag(gaf::kCodePrecision, 2).U16(32).Tag(gaf::kCodeEndOfHeader, 0);
  const uint32_t second = static_cast<uint32_t>(kFirstRecord + 2 + 100);
  f.Tag(gaf::kCodeFree, 100).U32(second).Zeros(96);
  f.Tag(gaf::kCodeFree, 31).U32(0).Zeros(27).Pad(31);
  AddPoint(f, 5, 6).Tag(gaf::kCodeEndOfData, 0);
  test::WriteFileBytes(name, f.bytes);
  {
    CGafFile file(name.c_str(), 2, status);
    ASSERT_EQ(status, kEngineOk);
    const CKroDoublePointNode vertex{7, 8};
    uint32_t position = 0;
    // 60 bytes into the 100-byte record, 18 into the 31-byte one.
    ASSERT_EQ(file.WriteRecord(test::Record(kGafPointObject, {1}, {vertex}, std::string(49, 'n')), position), kEngineOk);
    EXPECT_EQ(position, kFirstRecord);
    ASSERT_EQ(file.WriteRecord(test::Record(kGafPointObject, {1}, {vertex}, "nnnnnnn"), position), kEngineOk);
    EXPECT_EQ(position, second);
    ASSERT_EQ(file.Close(), kEngineOk);
  }
  ExpectClean(3);
}

}  // namespace
}  // namespace kro::inspection
