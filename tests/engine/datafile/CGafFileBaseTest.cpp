// The abstract data file: settings, and file operations that are not there.
#include "engine/datafile/CGafFileBase.h"

#include <gtest/gtest.h>

namespace kro {
namespace {

class PlainDataFile : public CGafFileBase {};

TEST(CGafFileBase, SettingsAndClamping) {
  PlainDataFile file;
  EXPECT_EQ(file.GetSetting1(), 1);
  EXPECT_EQ(file.GetSetting2(), 0);
  EXPECT_EQ(file.GetSetting3(), 0);
  file.SetSetting3(42);
  EXPECT_EQ(file.GetSetting3(), 42);
  EXPECT_EQ(file.GetMaxVertices(), 16384);
  EXPECT_EQ(file.SetMaxVertices(3), 8);
  EXPECT_EQ(file.GetMaxVertices(), 8);
  EXPECT_EQ(file.SetMaxVertices(20000), 16384);
  EXPECT_EQ(file.SetMaxVertices(100), 100);
  EXPECT_FALSE(file.IsReadOnly());
  EXPECT_FALSE(file.IsNewFile());
}

TEST(CGafFileBase, EveryFileOperationIsNotSupported) {
  PlainDataFile plain;
  CGafFileBase& file = plain;
  const char *n = nullptr, *k = nullptr, *u = nullptr;
  const CKroDoublePointNode* v = nullptr;
  const int32_t* counts = nullptr;
  int32_t count = 0;
  EGafObjectType type = kGafPointObject;
  uint32_t position = 99;
  const CKroDoublePointNode vertex{1, 2};
  const int32_t one = 1;
  EXPECT_EQ(file.GetPrecision(), 0x80041010u);
  EXPECT_EQ(file.SetPrecision(64), eGafNotSupported);
  EXPECT_EQ(file.SetDescription("d"), eGafNotSupported);
  EXPECT_EQ(file.ReadRecordHeader(type), eGafNotSupported);
  EXPECT_EQ(type, kGafUndefinedObject);
  EXPECT_EQ(file.SkipRecord(), eGafNotSupported);
  EXPECT_EQ(file.ReadPoint(n, k, u, v), eGafNotSupported);
  EXPECT_EQ(file.ReadMultiPoint(n, k, u, count, v), eGafNotSupported);
  EXPECT_EQ(file.ReadPolyline(n, k, u, count, v), eGafNotSupported);
  EXPECT_EQ(file.ReadPolyPolyline(n, k, u, count, counts, v), eGafNotSupported);
  EXPECT_EQ(file.ReadPolygon(n, k, u, count, v), eGafNotSupported);
  EXPECT_EQ(file.ReadPolyPolygon(n, k, u, count, counts, v), eGafNotSupported);
  EXPECT_EQ(n, nullptr);
  EXPECT_EQ(file.WritePoint("", "", "", &vertex, position, nullptr), eGafNotSupported);
  EXPECT_EQ(file.WriteMultiPoint("", "", "", 1, &vertex, position, nullptr), eGafNotSupported);
  EXPECT_EQ(file.WritePolyline("", "", "", 1, &vertex, position, nullptr), eGafNotSupported);
  EXPECT_EQ(file.WritePolyPolyline("", "", "", 1, &one, &vertex, position, nullptr), eGafNotSupported);
  EXPECT_EQ(file.WritePolygon("", "", "", 1, &vertex, position, nullptr), eGafNotSupported);
  EXPECT_EQ(file.WritePolyPolygon("", "", "", 1, &one, &vertex, position, nullptr), eGafNotSupported);
  EXPECT_EQ(position, 0u);
}

}  // namespace
}  // namespace kro
