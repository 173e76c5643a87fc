// A data file is not trusted: damaged headers, records and whole files end in
// a status, never in a crash, an overrun or an endless loop.
#include <gtest/gtest.h>

#include <random>

#include "GafTestSupport.h"
#include "engine/datafile/CGafFile.h"

namespace kro {
namespace {

using namespace test;

class GafCorruption : public ::testing::Test {
 protected:
  // A file with metadata, a description and objects of every kind.
  Bytes SampleFile(uint32_t bits = 32) {
    std::mt19937 random(7);
    {
      auto file = OpenGaf(name, 10);
      GafCoordSys c;
      file->SetCoordSys(&c);
      file->SetDescription("sample");
      file->SetPrecision(static_cast<int16_t>(bits));
      for (int i = 0; i < 12; ++i) {
        uint32_t position;
        file->WriteRecord(RandomObject(random, static_cast<EGafObjectType>(i % 6), 6), position);
      }
    }
    return ReadFileBytes(name);
  }

  // Small, but with metadata, a description and a record of every kind.
  Bytes CompactFile() {
    {
      auto file = OpenGaf(name, 10);
      GafCoordSys c;
      file->SetCoordSys(&c);
      file->SetDescription("compact");
      const std::vector<CKroDoublePointNode> ring{{0, 0}, {1, 0}, {0, 0}};
      for (int type = 0; type < 6; ++type) {
        GafObject o = MakeLine(static_cast<EGafObjectType>(type), type == 0 ? std::vector<CKroDoublePointNode>{{1, 1}} : ring);
        o.name = "n" + std::to_string(type);
        uint32_t position;
        EXPECT_EQ(file->WriteRecord(o, position), kEngineOk);
      }
    }
    return ReadFileBytes(name);
  }

  // Opens read-only and scans everything; returns the status that ended it.
  EngineStatus ScanStatus() {
    EngineStatus status;
    CGafFile file(name.c_str(), 1, status);
    if (status != kEngineOk) return status;
    EngineStatus end;
    ReadAll(file, end);
    return end;
  }

  // One record after a plain header; returns the status of reading it.
  EngineStatus ReadOnlyRecord(const GafBytes& record, uint32_t bits = 32) {
    GafBytes f = HeaderBytes(1, 0, 7, 2, bits);
    f.Raw(record.bytes).Tag(1, 0);
    WriteFileBytes(name, f.bytes);
    EngineStatus status;
    CGafFile file(name.c_str(), 1, status);
    EXPECT_EQ(status, kEngineOk);
    EGafObjectType type;
    uint32_t position;
    status = file.NextRecord(type, position);
    if (status == kEngineOk) {
      GafObject object;
      status = file.ReadRecord(object);
      EXPECT_EQ(file.Status(), status) << "the failure is kept";
    }
    // The failure names the file and the record, whose tag follows the header.
    const EngineError& error = file.Error();
    lastReason = error.reason;
    if (status != kEngineOk) {
      EXPECT_EQ(error.status, status);
      EXPECT_EQ(error.file, name);
      EXPECT_EQ(error.offset, f.bytes.size() - record.bytes.size() - 2) << error.Describe();
    }
    return status;
  }

  // The reason of the last failure ReadOnlyRecord met.
  std::string lastReason;

  TempDir dir;
  std::string name = dir.File("c.gaf");
};

TEST_F(GafCorruption, InfoChunkMustBe44Bytes) {
  for (uint32_t length : {40u, 46u}) {
    GafBytes f;
    f.Tag(0, length).Zeros(length).Tag(16, 2).U16(2).Tag(2, 0).Tag(1, 0);
    WriteFileBytes(name, f.bytes);
    for (uint32_t flag : {1u, 2u}) OpenGaf(name, flag, eGafBadFormat);
  }
}

TEST_F(GafCorruption, HeaderValuesAndLengthsAreChecked) {
  GafBytes f = HeaderBytes(0, 0, 0, 2, 16);
  f.Tag(1, 0);
  WriteFileBytes(name, f.bytes);
  OpenGaf(name, 1, eGafBadFormat);  // 16-bit coordinates do not exist

  GafBytes overrun;
  AddInfo(overrun, 0, 0, 0).Tag(17, 1000).Str("short").Tag(2, 0).Tag(1, 0);
  WriteFileBytes(name, overrun.bytes);
  OpenGaf(name, 1, eGafBadFormat);

  GafBytes inner;  // a string longer than its chunk
  AddInfo(inner, 0, 0, 0).Tag(17, 4).U8(50).Zeros(3).Tag(2, 0).Tag(1, 0);
  WriteFileBytes(name, inner.bytes);
  OpenGaf(name, 1, eGafBadFormat);

  GafBytes endless;  // no end of header
  AddInfo(endless, 0, 0, 0).Tag(16, 2).U16(2);
  WriteFileBytes(name, endless.bytes);
  OpenGaf(name, 1, eGafReadError);

  WriteFileBytes(name, Bytes{});
  OpenGaf(name, 1, eGafReadError);
  OpenGaf(name, 2, eGafReadError);
}

TEST_F(GafCorruption, UpdateNeedsInfoFirstAndTheEndMarkerLast) {
  const Bytes good = SampleFile();
  Bytes noEnd = good;
  noEnd.resize(noEnd.size() - 2);
  Bytes odd = good;
  odd.push_back(0);
  GafBytes infoLater;
  infoLater.Tag(16, 2).U16(2);
  AddInfo(infoLater, 0, 0, 0).Tag(2, 0).Tag(1, 0);
  GafBytes infoLong;
  infoLong.Tag(0, 44, true).Zeros(44).Tag(2, 0).Tag(1, 0);
  GafBytes endInside = HeaderBytes(0, 0, 0);
  endInside.Tag(1, 0).Tag(40, 2).U16(0);
  for (const Bytes& bytes : {noEnd, odd, infoLater.bytes, infoLong.bytes, endInside.bytes}) {
    WriteFileBytes(name, bytes);
    for (uint32_t flag : {2u, 18u}) OpenGaf(name, flag, eGafBadFormat);
    EXPECT_EQ(ToHex(ReadFileBytes(name)), ToHex(bytes)) << "nothing written";
  }
  WriteFileBytes(name, infoLater.bytes);
  OpenGaf(name, 1);  // reading accepts the chunks in any order
}

// Records behind an earlier end-of-data chunk would never be read
// sequentially; a chunk that runs over the end marker hides it from the walk.
TEST_F(GafCorruption, UpdateNeedsOneEndOfDataChunkReachedThroughTheFraming) {
  GafBytes point;
  point.Tag(32, 12).Str("").Str("").Str("").U8(0).F32(1).F32(2);
  GafBytes twoEnds = HeaderBytes(2, 0, 1);
  twoEnds.Raw(point.bytes).Tag(1, 0).Raw(point.bytes).Tag(1, 0);
  GafBytes overTheEnd = HeaderBytes(1, 0, 1);
  overTheEnd.Tag(32, 16).Str("").Str("").Str("").U8(0).F32(1).F32(2).Tag(1, 0);
  GafBytes longOverTheEnd = HeaderBytes(1, 0, 1);
  longOverTheEnd.Tag(32, 200, true).Str("").Str("").Str("").U8(0).F32(1).F32(2).Tag(1, 0);
  GafBytes cutLongTag = HeaderBytes(0, 0, 0);
  cutLongTag.U16(0x807F).Tag(1, 0);
  for (const Bytes& bytes : {twoEnds.bytes, overTheEnd.bytes, longOverTheEnd.bytes, cutLongTag.bytes}) {
    WriteFileBytes(name, bytes);
    for (uint32_t flag : {2u, 18u}) OpenGaf(name, flag, eGafBadFormat);
    EXPECT_EQ(ToHex(LoadFile(name)), ToHex(bytes)) << "nothing written";
  }
  // Reading stays cheap: it looks at the tail only, and the scan stops at the first end.
  WriteFileBytes(name, twoEnds.bytes);
  auto file = OpenGaf(name, 1);
  EngineStatus end;
  EXPECT_EQ(ReadAll(*file, end).size(), 1u);
  EXPECT_EQ(end, kEngineEndOfResults);
}

// The walk reads the object area a buffer at a time: records that straddle
// its windows and a record longer than a window are passed over correctly.
TEST_F(GafCorruption, FramingWalkCrossesBufferWindows) {
  std::vector<uint32_t> positions;
  {
    auto file = OpenGaf(name, 10);
    file->SetPrecision(64);
    std::vector<CKroDoublePointNode> many(17000, CKroDoublePointNode{1, 1});
    for (int i = 0; i < 40000; ++i) {
      GafObject o = i == 20000 ? MakeLine(kGafPolylineObject, many) : MakePoint("p" + std::to_string(i), "k", i, i);
      uint32_t position;
      ASSERT_EQ(file->WriteRecord(o, position), kEngineOk);
      positions.push_back(position);
    }
  }
  const Bytes good = LoadFile(name);
  OpenGaf(name, 2);  // closes again unchanged
  EXPECT_EQ(LoadFile(name), good);
  for (size_t i : {size_t{1}, size_t{19000}, size_t{20001}, size_t{39999}}) {
    SCOPED_TRACE(i);
    Bytes damaged = good;
    damaged[positions[i]] = 0x04;  // the record's tag word becomes an end-of-data chunk
    damaged[positions[i] + 1] = 0x00;
    RewriteFile(name, damaged);
    OpenGaf(name, 18, eGafBadFormat);
    OpenGaf(name, 1);
  }
}

// A second info chunk would override the counts that close keeps in the first.
TEST_F(GafCorruption, HeaderHasOneInfoChunk) {
  GafBytes f = HeaderBytes(1, 0, 1);
  f.bytes.erase(f.bytes.end() - 2, f.bytes.end());  // before the end of header
  AddInfo(f, 0, 0, 0).Tag(2, 0).Tag(32, 12).Str("").Str("").Str("").U8(0).F32(1).F32(2).Tag(1, 0);
  WriteFileBytes(name, f.bytes);
  for (uint32_t flag : {1u, 2u, 18u}) OpenGaf(name, flag, eGafBadFormat);
  EXPECT_EQ(ToHex(LoadFile(name)), ToHex(f.bytes));
}

// A writer that died leaves a current-version file without its end-of-data
// chunk; a reader refuses it rather than read it as whole.
TEST_F(GafCorruption, ReadOnlyOpenNeedsTheEndOfDataChunkLast) {
  const Bytes good = CompactFile();
  for (size_t cut : {size_t{2}, size_t{1}, size_t{16}}) {
    RewriteFile(name, Bytes(good.begin(), good.end() - cut));
    OpenGaf(name, 1, eGafBadFormat);
  }
  GafBytes headerOnly = HeaderBytes(0, 0, 0);
  WriteFileBytes(name, headerOnly.bytes);
  OpenGaf(name, 1, eGafBadFormat);
  headerOnly.Tag(1, 0);
  WriteFileBytes(name, headerOnly.bytes);
  OpenGaf(name, 1);
}

TEST_F(GafCorruption, TruncatedFilesNeverReachTheEndOfData) {
  const Bytes good = CompactFile();
  for (size_t length = 0; length < good.size(); ++length) {
    SCOPED_TRACE(length);
    RewriteFile(name, Bytes(good.begin(), good.begin() + length));
    const EngineStatus end = ScanStatus();
    EXPECT_TRUE(end == eGafReadError || end == eGafBadFormat) << StatusName(end);
    EngineStatus status;
    { CGafFile file(name.c_str(), 2, status); }
    EXPECT_TRUE(status == eGafReadError || status == eGafBadFormat) << StatusName(status);
    EXPECT_EQ(LoadFile(name).size(), length) << "a refused update writes nothing";
  }
}

TEST_F(GafCorruption, CountsAndLengthsMustFitTheirRecord) {
  GafBytes polyline;  // 100 vertices claimed, 2 present
  polyline.Tag(34, 4 + 2 + 16).Str("").Str("").Str("").U8(0).U16(100).Zeros(16);
  EXPECT_EQ(ReadOnlyRecord(polyline), eGafBadFormat);
  EXPECT_EQ(lastReason, "the record's counts ask for more vertices than its length holds");

  GafBytes manySets;  // 60000 sets claimed in a tiny record
  manySets.Tag(35, 4 + 2 + 4).Str("").Str("").Str("").U8(0).U16(60000).U32(0);
  EXPECT_EQ(ReadOnlyRecord(manySets), eGafBadFormat);
  EXPECT_EQ(lastReason, "the record's part counts run past the record's length");

  GafBytes hugeSet;  // per-set counts whose sum overruns the record
  hugeSet.Tag(37, 4 + 2 + 8 + 8).Str("").Str("").Str("").U8(0).U16(2).U32(1).U32(0xFFFFFFFF).Zeros(8);
  EXPECT_EQ(ReadOnlyRecord(hugeSet), eGafBadFormat);
  EXPECT_EQ(lastReason, "the record's counts ask for more vertices than its length holds");

  GafBytes longName;  // a string longer than the record
  longName.Tag(32, 12).U8(100).Zeros(11);
  EXPECT_EQ(ReadOnlyRecord(longName), eGafBadFormat);
  EXPECT_EQ(lastReason, "a text of the record runs past the record's length");

  GafBytes pastEnd;  // a record length past the end of the file
  pastEnd.Tag(32, 0x7FFFFFF0).Zeros(14);
  EXPECT_EQ(ReadOnlyRecord(pastEnd), eGafBadFormat);
  EXPECT_EQ(lastReason, "the record length runs past the end of the file");

  GafBytes slack;  // extra bytes after the content are passed over
  slack.Tag(32, 4 + 8 + 6).Str("").Str("").Str("").U8(0).F32(1).F32(2).Zeros(6);
  EXPECT_EQ(ReadOnlyRecord(slack), kEngineOk);
}

// The pad byte after an odd record comes in with the record's own bytes; a
// string that ends on it must still be refused, or the consumed count passes
// the length and every later bound check wraps around.
TEST_F(GafCorruption, NoDecodeStepPassesAnOddRecordsLength) {
  GafBytes intoPad;  // length 5: "\x7F\0\0" (long form, empty), "", then a 1-byte URL whose byte is the pad
  intoPad.Tag(34, 5).U8(0x7F).U16(0).U8(0).U8(1).U8(0x41);
  for (uint32_t bits : {32u, 64u}) EXPECT_EQ(ReadOnlyRecord(intoPad, bits), eGafBadFormat) << bits;

  GafBytes countOnPad;  // length 7: strings of 6 bytes, then a count whose second byte is the pad
  countOnPad.Tag(34, 7).U8(1).U8(0x41).U8(1).U8(0x42).U8(0).U8(0).U8(0x7F).U8(0xFF);
  EXPECT_EQ(ReadOnlyRecord(countOnPad, 64), eGafBadFormat);

  // Found by the data file fuzz target: in an old file the vertex count comes
  // from the bytes left, which wrapped around and asked for 8 GiB.
  GafBytes old = HeaderBytes(1, 0, 7, 1, 32);
  old.Tag(34, 3).U8(0).U8(2).U8(0x41).U8(0x42).Tag(1, 0);
  WriteFileBytes(name, old.bytes);
  EXPECT_EQ(ScanStatus(), eGafBadFormat);

  GafBytes header;  // a header chunk whose string ends on the pad byte
  AddInfo(header, 0, 0, 0).Tag(17, 1).U8(1).U8(0x41).Tag(2, 0).Tag(1, 0);
  WriteFileBytes(name, header.bytes);
  OpenGaf(name, 1, eGafBadFormat);
}

TEST_F(GafCorruption, LookupsOutsideTheObjectAreaAreSeekErrors) {
  SampleFile();
  for (uint32_t position : {0u, 57u, 10u, 1000000u}) {
    auto file = OpenGaf(name, 1);
    EGafObjectType type;
    EXPECT_EQ(file->ReadRecordAt(position, type), eGafSeekError) << position;
    EXPECT_EQ(type, kGafUndefinedObject);
  }
}

TEST_F(GafCorruption, RandomDamageEndsInAStatus) {
  for (uint32_t bits : {32u, 64u}) {
    const Bytes good = SampleFile(bits);
    std::mt19937 random(bits);
    std::uniform_int_distribution<size_t> at(0, good.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255), flips(1, 4);
    for (int round = 0; round < 600; ++round) {
      Bytes damaged = good;
      for (int i = flips(random); i > 0; --i) damaged[at(random)] = static_cast<uint8_t>(byte(random));
      RewriteFile(name, damaged);
      const EngineStatus end = ScanStatus();
      EXPECT_STRNE(StatusName(end), "unknown status");
      // Writing into a damaged file: refused, or done without harm to what reads back.
      EngineStatus status;
      {
        CGafFile file(name.c_str(), 2, status);
        uint32_t position;
        file.WriteRecord(Record(kGafPointObject, {1}, {{1, 2}}, "n", "k", "u"), position, nullptr);
      }
      EXPECT_STRNE(StatusName(ScanStatus()), "unknown status");
    }
  }
}

}  // namespace
}  // namespace kro
