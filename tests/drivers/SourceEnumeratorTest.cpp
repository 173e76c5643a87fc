// The library's geometry source and file enumerator: what an import hands
// out, and what a host gets when it creates them itself.
#include <gtest/gtest.h>

#include <numeric>
#include <set>

#include "com/ModuleLock.h"
#include "drivers/DriverClasses.h"
#include "drivers/DriverTestSupport.h"
#include "engine/datafile/CGafFile.h"
#include "engine/spatialindex/CSpatialIndex.h"
#include "fileset/CGafReader.h"
#include "fileset/CGafWriter.h"
#include "support/TempDir.h"

namespace kro::test {
namespace {

class SourceEnumeratorTest : public ::testing::Test {
 protected:
  void SetUp() override { moduleLocks_ = ModuleLockCount(); }
  void TearDown() override {
    EXPECT_EQ(0, LiveHostObjects());
    EXPECT_EQ(moduleLocks_, ModuleLockCount());
  }

  // Polylines "k0", "k1", ... along the x axis.
  void MakeSet(int count, SHORT precision = 32) {
    std::vector<HostShape> shapes;
    for (int i = 0; i < count; ++i) shapes.push_back(LineShape({{1.0 * i, 0}, {i + 0.5, 1}}, "k" + std::to_string(i)));
    PreferencesSetup setup;
    setup.fileName = FileName();
    setup.precision = precision;
    ASSERT_EQ(eKroOk, ExportShapes(shapes, setup).code);
  }

  ComPtr<IKroGeometrySource> Source(EKroGafOpenFlags mode = kGafReadOnly, BoundingBoxNode* box = nullptr) {
    return ImportSource(FileName(), mode, box);
  }

  ComPtr<IKroEnumGeometry> Enumerator(EKroGafOpenFlags mode = kGafReadOnly, BoundingBoxNode* box = nullptr) {
    ComPtr<IKroEnumGeometry> enumerator;
    EXPECT_EQ(S_OK, Source(mode, box)->EnumGeometry(enumerator.Put()));
    return enumerator;
  }

  // The keys of the next `count` objects, each object released at once.
  static std::vector<std::string> NextKeys(IKroEnumGeometry* enumerator, ULONG count) {
    std::vector<IKroGeometry*> objects(count + 1, nullptr);
    ULONG fetched = 99;
    EXPECT_EQ(S_OK, enumerator->Next(count, objects.data(), &fetched));
    std::vector<std::string> keys;
    for (ULONG i = 0; i < fetched; ++i) {
      keys.push_back(ShapeOf(objects[i]).key.value_or("<absent>"));
      EXPECT_EQ(0u, objects[i]->Release());
    }
    EXPECT_EQ(nullptr, objects[fetched]);
    return keys;
  }

  std::string FileName() const { return dir_.File("set.gaf"); }

  // The record position of the last of the set's `count` records; 0 when the
  // set cannot be read that far.
  uint32_t LastRecordPosition(int count) const {
    CGafReader reader;
    if (reader.OpenForRead(FileName().c_str(), kGafReadOnly) != eKroOk || reader.BeginSequential() != eKroOk) return 0;
    EGafObjectType kind;
    for (int i = 0; i < count; ++i) {
      if (reader.NextResult(&kind) != eKroOk) return 0;
    }
    return reader.CurrentPosition();
  }

  TempDir dir_;
  LONG moduleLocks_ = 0;
};

using Keys = std::vector<std::string>;

TEST_F(SourceEnumeratorTest, EveryEnumeratorOfASourceStartsFromTheFirstObject) {
  MakeSet(3);
  auto source = Source();
  ComPtr<IKroEnumGeometry> first, second;
  ASSERT_EQ(S_OK, source->EnumGeometry(first.Put()));
  EXPECT_EQ(Keys{"k0"}, NextKeys(first.Get(), 1));
  ASSERT_EQ(S_OK, source->EnumGeometry(second.Put()));
  EXPECT_EQ((Keys{"k0", "k1", "k2"}), NextKeys(second.Get(), 5));
  EXPECT_EQ((Keys{"k1", "k2"}), NextKeys(first.Get(), 5));
  EXPECT_EQ(E_POINTER, source->EnumGeometry(nullptr));
  EXPECT_EQ(E_POINTER, source->GetNumberOfObjects(nullptr));
}

TEST_F(SourceEnumeratorTest, ABoxSearchNeedsABox) {
  MakeSet(3);
  auto source = Source(kGafReadPartial);
  IKroEnumGeometry* enumerator = reinterpret_cast<IKroEnumGeometry*>(0x1);
  EXPECT_EQ(S_FALSE, source->EnumGeometry(&enumerator));
  EXPECT_EQ(nullptr, enumerator);
  BoundingBoxNode box{0.6, -1, 2.1, 2};
  EXPECT_EQ((Keys{"k1", "k2"}), NextKeys(Enumerator(kGafReadPartial, &box).Get(), 10));
}

TEST_F(SourceEnumeratorTest, NextDeliversWhatIsLeftThenNothing) {
  MakeSet(3);
  auto enumerator = Enumerator();
  EXPECT_EQ((Keys{"k0", "k1", "k2"}), NextKeys(enumerator.Get(), 10));
  EXPECT_EQ(Keys{}, NextKeys(enumerator.Get(), 10));
  EXPECT_EQ(Keys{}, NextKeys(enumerator.Get(), 0));
  IKroGeometry* object = nullptr;
  ULONG fetched = 0;
  EXPECT_EQ(E_POINTER, enumerator->Next(1, nullptr, &fetched));
  EXPECT_EQ(E_POINTER, enumerator->Next(1, &object, nullptr));
}

// The end of the pass is S_OK with nothing fetched; a file that cannot be
// read is a failure, never a quiet end.
TEST_F(SourceEnumeratorTest, NextTellsTheEndFromAFailedRead) {
  MakeSet(3);
  {
    auto enumerator = Enumerator();
    IKroGeometry* objects[3] = {};
    IKroGeometry* objects4[4] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_OK, enumerator->Next(3, objects, &fetched));
    for (ULONG i = 0; i < fetched; ++i) objects[i]->Release();
    EXPECT_EQ(S_OK, enumerator->Next(3, objects, &fetched));
    EXPECT_EQ(0u, fetched);
    EXPECT_EQ(S_OK, enumerator->Reset());
    EXPECT_EQ(S_OK, enumerator->Next(4, objects4, &fetched)) << "the end comes with the last objects";
    EXPECT_EQ(3u, fetched);
    for (ULONG i = 0; i < fetched; ++i) objects4[i]->Release();
    EXPECT_EQ(S_OK, enumerator->Next(4, objects4, &fetched));
    EXPECT_EQ(0u, fetched);
    EXPECT_EQ(S_OK, enumerator->Next(0, objects, &fetched));
  }
  // The last record claims more bytes than the file holds: the first two
  // come, then the failure.
  const uint32_t last = LastRecordPosition(3);
  ASSERT_NE(0u, last);
  Bytes bytes = ReadFileBytes(FileName());
  if ((bytes[last + 1] & 127) == 127) {
    bytes[last + 2] = 0x7F;  // a long length of about 2 GB
  } else {
    bytes[last + 1] |= 126;  // the longest short length, past the end
  }
  WriteFileBytes(FileName(), bytes);
  auto enumerator = Enumerator();
  ASSERT_TRUE(enumerator);
  IKroGeometry* objects[3] = {};
  ULONG fetched = 0;
  EXPECT_EQ(S_OK, enumerator->Next(3, objects, &fetched));
  EXPECT_EQ(2u, fetched);
  for (ULONG i = 0; i < fetched; ++i) objects[i]->Release();
  EXPECT_EQ(E_FAIL, enumerator->Next(3, objects, &fetched));
  EXPECT_EQ(0u, fetched);
  EXPECT_EQ(E_FAIL, enumerator->Next(1, objects, &fetched)) << "the failure lasts";
  EXPECT_EQ(0u, fetched);
  // A host that asks for one object at a time gets the two, then the failure.
  auto single = Enumerator();
  HRESULT hr = S_OK;
  ULONG delivered = 0;
  while ((hr = single->Next(1, objects, &fetched)) == S_OK && fetched == 1) {
    objects[0]->Release();
    ++delivered;
  }
  EXPECT_EQ(2u, delivered);
  EXPECT_EQ(E_FAIL, hr);
}

// A record whose header reads but whose body does not fails the pass too,
// also when it is a box search's last hit and the index has no result left.
TEST_F(SourceEnumeratorTest, ARecordThatCannotBeReadFailsTheLastHitOfABoxSearch) {
  MakeSet(3);
  const uint32_t last = LastRecordPosition(3);
  ASSERT_NE(0u, last);
  Bytes bytes = ReadFileBytes(FileName());
  ASSERT_NE(127, bytes[last + 1] & 127) << "a short record: its payload follows the tag word";
  bytes[last + 2] = 126;  // the name now runs past the record's payload
  WriteFileBytes(FileName(), bytes);
  BoundingBoxNode onlyTheLast{1.9, -1, 2.6, 2};
  IKroGeometry* objects[3] = {};
  ULONG fetched = 9;
  for (BoundingBoxNode* box : {&onlyTheLast, static_cast<BoundingBoxNode*>(nullptr)}) {
    auto enumerator = box != nullptr ? Enumerator(kGafReadPartial, box) : Enumerator();
    const HRESULT hr = enumerator->Next(3, objects, &fetched);
    for (ULONG i = 0; i < fetched; ++i) objects[i]->Release();
    EXPECT_EQ(box != nullptr ? 0u : 2u, fetched);
    EXPECT_EQ(box != nullptr ? E_FAIL : S_OK, hr);
    EXPECT_EQ(E_FAIL, enumerator->Next(3, objects, &fetched));
    EXPECT_EQ(0u, fetched);
  }
}

// A host written to the interface takes only S_OK as success and stops at
// the first call that fetches nothing: it must get every object of every
// set, whatever it asks for at a time, by scan and by box.
TEST_F(SourceEnumeratorTest, AHostThatTakesOnlySOkGetsEveryObjectAtEveryChunkSize) {
  const auto strictHostKeys = [](IKroEnumGeometry* enumerator, ULONG chunk) {
    std::vector<IKroGeometry*> batch(chunk);
    std::multiset<std::string> keys;
    ULONG fetched = 0;
    while (enumerator->Next(chunk, batch.data(), &fetched) == S_OK && fetched > 0) {
      for (ULONG i = 0; i < fetched; ++i) {
        keys.insert(ShapeOf(batch[i]).key.value_or("<absent>"));
        batch[i]->Release();
      }
    }
    EXPECT_EQ(0u, fetched);
    return keys;
  };
  for (int count : {0, 1, 37, 500}) {
    MakeSet(count);
    // Every chunk size for the small sets; around the batch and the set's
    // size for the large one.
    std::vector<ULONG> chunks = {1, 255, 256, 257, 499, 500, 501, 1000};
    if (count < 500) {
      chunks.clear();
      for (ULONG chunk = 1; chunk <= static_cast<ULONG>(count) + 2; ++chunk) chunks.push_back(chunk);
    }
    std::multiset<std::string> all, some;
    for (int i = 0; i < count; ++i) (i >= 10 && i <= 20 ? some : all).insert("k" + std::to_string(i));
    all.insert(some.begin(), some.end());
    BoundingBoxNode everything{-1, -1, 1000, 2};
    BoundingBoxNode middle{9.6, -1, 20.2, 2};  // meets k10 .. k20
    for (ULONG chunk : chunks) {
      SCOPED_TRACE(std::to_string(count) + " objects, " + std::to_string(chunk) + " at a time");
      EXPECT_EQ(all, strictHostKeys(Enumerator().Get(), chunk));
      EXPECT_EQ(all, strictHostKeys(Enumerator(kGafReadPartial, &everything).Get(), chunk));
      EXPECT_EQ(some, strictHostKeys(Enumerator(kGafReadPartial, &middle).Get(), chunk));
    }
  }
}

TEST_F(SourceEnumeratorTest, SkipPassesOverResultsWithoutReadingThem) {
  MakeSet(4);
  auto enumerator = Enumerator();
  EXPECT_EQ(S_OK, enumerator->Skip(0));
  EXPECT_EQ(Keys{"k0"}, NextKeys(enumerator.Get(), 1));
  auto fresh = Enumerator();
  EXPECT_EQ(S_OK, fresh->Skip(2));
  EXPECT_EQ(Keys{"k2"}, NextKeys(fresh.Get(), 1));
  EXPECT_EQ(S_OK, fresh->Skip(1000));
  EXPECT_EQ(Keys{}, NextKeys(fresh.Get(), 1));
}

TEST_F(SourceEnumeratorTest, CloneAndResetStartAgainFromTheFirst) {
  MakeSet(3);
  auto enumerator = Enumerator();
  EXPECT_EQ((Keys{"k0", "k1"}), NextKeys(enumerator.Get(), 2));
  ComPtr<IKroEnumGeometry> clone;
  ASSERT_EQ(S_OK, enumerator->Clone(clone.Put()));
  EXPECT_EQ((Keys{"k0", "k1", "k2"}), NextKeys(clone.Get(), 5));
  EXPECT_EQ(Keys{"k2"}, NextKeys(enumerator.Get(), 5));
  EXPECT_EQ(S_OK, enumerator->Reset());
  EXPECT_EQ((Keys{"k0", "k1", "k2"}), NextKeys(enumerator.Get(), 5));
  EXPECT_EQ(E_POINTER, enumerator->Clone(nullptr));
  // The clone's own reference is the only one.
  EXPECT_EQ(0u, clone.Detach()->Release());

  BoundingBoxNode box{0.6, -1, 1.1, 2};
  auto searching = Enumerator(kGafReadPartial, &box);
  EXPECT_EQ(Keys{"k1"}, NextKeys(searching.Get(), 5));
  EXPECT_EQ(S_OK, searching->Reset());
  EXPECT_EQ(Keys{"k1"}, NextKeys(searching.Get(), 5));
}

TEST_F(SourceEnumeratorTest, TheCountsOfTheFileEnumeratorAreNotWritten) {
  MakeSet(1);
  auto enumerator = Enumerator();
  LONG value = 5;
  EXPECT_EQ(S_OK, enumerator->MaxVertexCount(&value));
  EXPECT_EQ(S_OK, enumerator->GetNumPlinesFailed(&value));
  EXPECT_EQ(5, value);
}

TEST_F(SourceEnumeratorTest, StoredObjectsThatTheClassesCannotHoldWhole) {
  HostShape single = LineShape({{3, 4}}, "single");
  HostShape longName = LineShape({{0, 0}, {1, 1}}, "long");
  longName.name = std::string(300, 'n');
  HostShape splitName = LineShape({{0, 0}, {1, 1}}, "split");
  splitName.name = std::string(254, 'n') + "ß";
  PreferencesSetup setup;
  setup.fileName = FileName();
  ASSERT_EQ(3, ExportShapes({single, longName, splitName}, setup).exported);

  auto enumerator = Enumerator();
  IKroGeometry* objects[3] = {};
  ULONG fetched = 0;
  ASSERT_EQ(S_OK, enumerator->Next(3, objects, &fetched));
  ASSERT_EQ(3u, fetched);
  ComPtr<IKroPolyline> line;
  ASSERT_EQ(S_OK, objects[0]->QueryInterface(IID_IKroPolyline, line.PutVoid()));
  ULONG size = 99;
  EXPECT_EQ(S_OK, line->GetPointArraySize(&size));
  EXPECT_EQ(0u, size);
  EXPECT_EQ("single", ShapeOf(objects[0]).key);
  EXPECT_EQ(std::string(255, 'n'), ShapeOf(objects[1]).name);
  EXPECT_EQ(std::string(254, 'n'), ShapeOf(objects[2]).name);
  line.Reset();
  for (IKroGeometry* object : objects) EXPECT_EQ(0u, object->Release());
}

// Sets that an export never makes (multi-polylines, multi-points) are written
// with the engines themselves.
TEST_F(SourceEnumeratorTest, EveryStoredKindComesBackAsItsClass) {
  {
    EngineStatus status = kEngineOk;
    CGafFile dataFile(FileName().c_str(), 10, status);
    ASSERT_EQ(kEngineOk, status);
    ASSERT_EQ(kEngineOk, dataFile.SetDescription("kinds"));
    CSpatialIndex spatialIndex(dir_.File("set.sif").c_str(), 10, status);
    ASSERT_EQ(kEngineOk, status);
    const std::vector<CKroDoublePointNode> ring{{0, 0}, {1, 0}, {1, 1}, {0, 0}, {2, 2}, {3, 2}, {3, 3}, {2, 2}};
    const char* const names[] = {"point", "multipoint", "line", "lines", "area", "areas"};
    const std::vector<int32_t> parts[] = {{1}, {3}, {3}, {4, 4}, {4}, {4, 4}};
    for (int kind = 0; kind < 6; ++kind) {
      GafRecord record;
      record.kind = static_cast<EGafObjectType>(kind);
      record.name = names[kind];
      record.key = std::to_string(kind);
      record.url = kind == kGafPolygonObject ? "u" : "";
      record.parts = parts[kind];
      record.vertices.assign(ring.begin(), ring.begin() + std::accumulate(parts[kind].begin(), parts[kind].end(), 0));
      uint32_t position = 0;
      BoundingBoxNode box{};
      ASSERT_EQ(kEngineOk, dataFile.WriteRecord(record, position, &box));
      ASSERT_EQ(kEngineOk, spatialIndex.Insert(static_cast<uint32_t>(kind), box, position));
    }
  }
  BoundingBoxNode everything{-1, -1, 4, 4};
  for (auto* box : {static_cast<BoundingBoxNode*>(nullptr), &everything}) {
    auto enumerator = Enumerator(box == nullptr ? kGafReadOnly : kGafReadPartial, box);
    IKroGeometry* objects[6] = {};
    ULONG fetched = 0;
    // The multi-point has no class: its attempt yields nothing.
    ASSERT_EQ(S_OK, enumerator->Next(6, objects, &fetched));
    ASSERT_EQ(5u, fetched);
    const EGafObjectType kinds[] = {kGafPointObject, kGafPolylineObject, kGafPolyPolylineObject, kGafPolygonObject,
                                    kGafPolyPolygonObject};
    for (ULONG i = 0; i < fetched; ++i) {
      const HostShape shape = ShapeOf(objects[i]);
      EXPECT_EQ(kinds[i], shape.kind);
      EXPECT_EQ(std::to_string(kinds[i]), shape.key);
      const bool multiSet = kinds[i] == kGafPolyPolylineObject || kinds[i] == kGafPolyPolygonObject;
      EXPECT_EQ(multiSet ? 8u : kinds[i] == kGafPointObject ? 1u : kinds[i] == kGafPolygonObject ? 4u : 3u,
                shape.points.size());
      if (multiSet) {
        EXPECT_EQ((std::vector<LONG>{4, 4}), shape.setCounts);
      }
      EXPECT_EQ(0u, objects[i]->Release());
    }
  }
}

TEST_F(SourceEnumeratorTest, AnOpenEnumeratorHoldsTheSetOpen) {
  MakeSet(2, 64);
  auto enumerator = Enumerator();
  {
    CGafWriter writer;
    EXPECT_NE(0u, writer.Open(FileName().c_str(), kGafOpenUpdate, 0));
  }
  EXPECT_EQ(0u, enumerator.Detach()->Release());
  CGafWriter writer;
  EXPECT_EQ(0u, writer.Open(FileName().c_str(), kGafOpenUpdate, 0));
}

TEST_F(SourceEnumeratorTest, ObjectsAHostCreatesRefuseEverything) {
  ComPtr<IKroEnumGeometry> enumerator;
  ASSERT_EQ(S_OK, CreateKroEnumGeometry(IID_IKroEnumGeometry, enumerator.PutVoid()));
  IKroGeometry* object = nullptr;
  ULONG fetched = 7;
  EXPECT_EQ(S_FALSE, enumerator->Next(1, &object, &fetched));
  EXPECT_EQ(7u, fetched);
  EXPECT_EQ(S_FALSE, enumerator->Reset());
  EXPECT_EQ(S_FALSE, enumerator->Skip(1));
  IKroEnumGeometry* clone = nullptr;
  EXPECT_EQ(S_FALSE, enumerator->Clone(&clone));
  EXPECT_EQ(nullptr, clone);
  LONG value = 3;
  EXPECT_EQ(S_OK, enumerator->MaxVertexCount(&value));
  EXPECT_EQ(S_OK, enumerator->GetNumPlinesFailed(nullptr));
  EXPECT_EQ(3, value);

  ComPtr<IKroGeometrySource> source;
  ASSERT_EQ(S_OK, CreateKroGeometrySource(IID_IKroGeometrySource, source.PutVoid()));
  EXPECT_EQ(S_FALSE, source->EnumGeometry(&clone));
  EXPECT_EQ(S_FALSE, source->GetNumberOfObjects(&value));
  ComPtr<IKroGafExport> wrong;
  EXPECT_EQ(E_NOINTERFACE, CreateKroGeometrySource(IID_IKroGafExport, wrong.PutVoid()));
  EXPECT_EQ(0u, source.Detach()->Release());
  EXPECT_EQ(0u, enumerator.Detach()->Release());
}

}  // namespace
}  // namespace kro::test
