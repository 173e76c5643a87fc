// The decoders of the data file's units over bytes: tag framing with the
// bytes a caller holds, and a record payload cut at every length, decoded in
// memory and streamed from a file through a window smaller than the payload.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GafTestSupport.h"
#include "engine/datafile/GafChunkTag.h"
#include "engine/datafile/GafFormat.h"
#include "engine/datafile/GafPayloadReader.h"
#include "engine/datafile/GafRecordDecoder.h"
#include "engine/fileaccess/CGafRawFile.h"
#include "platform/FileSystem.h"

namespace kro {
namespace {

using namespace test;

TEST(GafDecoder, ChunkTagsAreFramedFromTheBytesHeld) {
  struct Case {
    Bytes bytes;
    bool framed;
    uint32_t needed, code, length;
    bool longForm, reserved;
  };
  const Case cases[] = {
      {HexBytes("00 2C"), true, 2, 0, 44, false, false},
      {HexBytes("88 7F 00 00 00 D6"), true, 6, 34, 214, true, false},
      {HexBytes("88 7F 00 00"), false, 6, 34, 127, true, false},  // the long length is not all there
      {HexBytes("04"), false, 2, 0, 0, false, false},
      {HexBytes("FD 82"), true, 2, 63, 2, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToHex(c.bytes));
    gaf::ChunkTag tag;
    uint32_t needed = 0;
    EXPECT_EQ(gaf::DecodeChunkTag(c.bytes.data(), c.bytes.size(), tag, needed), c.framed);
    EXPECT_EQ(needed, c.needed);
    if (c.bytes.size() < 2) continue;
    EXPECT_EQ(tag.code, c.code);
    EXPECT_EQ(tag.length, c.length);
    EXPECT_EQ(tag.longForm, c.longForm);
    EXPECT_EQ(tag.reservedBitsSet, c.reserved);
  }
}

// An empty multi-polyline record, the decoder's target.
GafRecord MultiPolyline() {
  GafRecord record;
  record.kind = kGafPolyPolylineObject;
  return record;
}

// A 64-bit multi-polyline: strings "name", "ke", "" (9 bytes, then the
// pad), 2 sets of `half` vertices.
Bytes MultiPolylinePayload(uint32_t half) {
  GafBytes p;
  p.Str("name").Str("ke").Str("").U8(0).U16(2).U32(half).U32(half);
  for (uint32_t i = 0; i < 2 * half; ++i) p.F64(i).F64(-static_cast<double>(i));
  return p.bytes;
}

TEST(GafDecoder, APayloadCutAnywhereStopsAtItsFirstMissingField) {
  const Bytes payload = MultiPolylinePayload(3);
  const gaf::RecordLayout layout = gaf::LayoutFor(2, 64);
  for (uint32_t cut = 0; cut <= payload.size(); ++cut) {
    SCOPED_TRACE(cut);
    GafPayloadReader reader(payload.data(), cut);
    GafRecord record = MultiPolyline();
    gaf::RecordFields fields;
    const gaf::PayloadFault fault = gaf::DecodeRecordBody(reader, layout, record, fields);
    const gaf::PayloadFault expected = cut == payload.size() ? gaf::PayloadFault::kNone
                                       : cut < 9                  ? gaf::PayloadFault::kStringPastEnd
                                       : cut < 10                 ? gaf::PayloadFault::kPadPastEnd
                                       : cut < 12                 ? gaf::PayloadFault::kCountPastEnd
                                       : cut < 20                 ? gaf::PayloadFault::kSetCountsPastEnd
                                                                  : gaf::PayloadFault::kVerticesPastEnd;
    EXPECT_EQ(static_cast<int>(fault), static_cast<int>(expected));
    EXPECT_LE(fields.consumed, cut);
    if (fault == gaf::PayloadFault::kNone) {
      EXPECT_EQ(fields.consumed, payload.size());
      EXPECT_EQ(fields.padAt, 9u);
      EXPECT_EQ(fields.vertices, 6u);
      EXPECT_EQ(record.name, "name");
      EXPECT_EQ(record.key, "ke");
      EXPECT_EQ(record.parts, (std::vector<int32_t>{3, 3}));
    }
  }
}

TEST(GafDecoder, AStreamedPayloadDecodesAsTheSameBytesInMemory) {
  const Bytes payload = MultiPolylinePayload(6000);  // 192 KB: three windows
  TempDir dir;
  const std::string path = dir.File("payload");
  WriteFileBytes(path, payload);
  const CGafRawFile files;
  FileHandle handle = kInvalidFileHandle;
  ASSERT_TRUE(files.Open(path.c_str(), kOpenReadOnly, handle));
  std::vector<uint8_t> window(gaf::kMaxStringForm);
  const uint32_t length = static_cast<uint32_t>(payload.size());
  GafPayloadReader streamed(files, handle, window.data(), static_cast<uint32_t>(window.size()), length, length);
  GafPayloadReader inMemory(payload.data(), length);
  const gaf::RecordLayout layout = gaf::LayoutFor(2, 64);
  GafRecord a = MultiPolyline(), b = MultiPolyline();
  gaf::RecordFields fa, fb;
  EXPECT_EQ(gaf::DecodeRecordBody(streamed, layout, a, fa), gaf::PayloadFault::kNone);
  EXPECT_EQ(gaf::DecodeRecordBody(inMemory, layout, b, fb), gaf::PayloadFault::kNone);
  files.Close(handle);
  EXPECT_EQ(fa.consumed, fb.consumed);
  EXPECT_EQ(a.parts, b.parts);
  ASSERT_EQ(a.vertices.size(), 12000u);
  for (size_t i = 0; i < a.vertices.size(); ++i) {
    ASSERT_EQ(a.vertices[i].x, b.vertices[i].x) << i;
    ASSERT_EQ(a.vertices[i].y, static_cast<double>(-static_cast<double>(i))) << i;
  }
}

// A stored zero byte ends a text for every reader that takes it as a C
// string, so the decoded text ends there too, wherever it lies in a word.
TEST(GafDecoder, ATextEndsAtItsFirstStoredZeroByte) {
  for (uint32_t length = 0; length <= 20; ++length) {
    for (uint32_t zeroAt = 0; zeroAt <= length; ++zeroAt) {
      Bytes payload{static_cast<uint8_t>(length)};
      for (uint32_t i = 0; i < length; ++i) payload.push_back(static_cast<uint8_t>(i == zeroAt ? 0 : 'a' + i));
      GafPayloadReader reader(payload.data(), static_cast<uint32_t>(payload.size()));
      std::string text = "left over";
      uint32_t stored = 0;
      ASSERT_TRUE(reader.GetString(text, 255, stored));
      EXPECT_EQ(text.size(), zeroAt) << "length " << length << ", zero at " << zeroAt;
      EXPECT_EQ(stored, length + 1);
    }
  }
}

TEST(GafDecoder, RecordLengthsAgreeWithTheirContentAsWritersLeaveThem) {
  const gaf::RecordLayout current = gaf::LayoutFor(2, 32);
  const gaf::RecordLayout old = gaf::LayoutFor(1, 32);
  using gaf::RecordShape;
  EXPECT_TRUE(gaf::LengthAgreesWithContent(RecordShape::kPoint, current, 12, 12));
  EXPECT_TRUE(gaf::LengthAgreesWithContent(RecordShape::kPoint, current, 23, 12)) << "slack 11, a reuse";
  EXPECT_FALSE(gaf::LengthAgreesWithContent(RecordShape::kPoint, current, 24, 12)) << "slack 12, no reuse";
  EXPECT_FALSE(gaf::LengthAgreesWithContent(RecordShape::kSingleSet, current, 10, 12));
  EXPECT_TRUE(gaf::LengthAgreesWithContent(RecordShape::kSingleSet, old, 44, 40)) << "less than one vertex";
  EXPECT_FALSE(gaf::LengthAgreesWithContent(RecordShape::kSingleSet, old, 48, 40));
}

}  // namespace
}  // namespace kro
