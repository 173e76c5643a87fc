#include "component/GeometryClasses.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "ComponentTestSupport.h"
#include "com/ComCreate.h"
#include "component/ComponentClasses.h"

namespace kro {
namespace {

const CKroDoublePointNode kFive[5] = {{0, 0}, {1, 0.5}, {2, -1}, {3, 4.25}, {0, 0}};

bool SameVertex(const CKroDoublePointNode& a, const CKroDoublePointNode& b) { return a.x == b.x && a.y == b.y; }

// The text properties and the set queries are shared by all five classes.
class EveryGeometry : public ComponentTest, public ::testing::WithParamInterface<ComponentCreator> {
 protected:
  void SetUp() override {
    ComponentTest::SetUp();
    ASSERT_EQ(GetParam()(IID_IKroGeometry, geometry_.PutVoid()), S_OK);
  }
  void TearDown() override {
    geometry_.Reset();
    ComponentTest::TearDown();
  }
  std::string Key() {
    ScopedBstr out;
    EXPECT_EQ(geometry_->GetKey(out.Put()), S_OK);
    return Utf8(out.Get());
  }
  std::string Name() {
    ScopedBstr out;
    EXPECT_EQ(geometry_->GetName(out.Put()), S_OK);
    return Utf8(out.Get());
  }
  std::string Url() {
    ScopedBstr out;
    EXPECT_EQ(geometry_->GetURL(out.Put()), S_OK);
    return Utf8(out.Get());
  }

  ComPtr<IKroGeometry> geometry_;
};

TEST_P(EveryGeometry, FreshObjectHasNoTextsAndNoSets) {
  EXPECT_EQ(Key(), "<null>");
  EXPECT_EQ(Name(), "<null>");
  EXPECT_EQ(Url(), "<null>");
  int sets = 42;
  EXPECT_EQ(geometry_->GetNumberOfSets(&sets), S_FALSE);
  EXPECT_EQ(sets, 42) << "the caller's variable is left alone";
  EXPECT_EQ(geometry_->GetNumberOfSets(nullptr), E_POINTER);
  EXPECT_EQ(geometry_->GetSetNumberAt(0, nullptr), E_POINTER);
  double x = 0, y = 0;
  EXPECT_EQ(geometry_->GetVertexAt(0, nullptr, &y), E_POINTER);
  EXPECT_EQ(geometry_->GetVertexAt(0, &x, nullptr), E_POINTER);
}

TEST_P(EveryGeometry, KeyNameAndUrlAreSeparateTexts) {
  EKroErrCode code = eKroUnknownErr;
  EXPECT_EQ(geometry_->SetKey(Wide("K-17").Get(), &code), S_OK);
  EXPECT_EQ(code, eKroOk);
  EXPECT_EQ(geometry_->SetName(Wide("Stra\xC3\x9F" "e").Get(), &code), S_OK);
  EXPECT_EQ(geometry_->SetURL(Wide("http://x/1").Get(), &code), S_OK);
  EXPECT_EQ(Key(), "K-17");
  EXPECT_EQ(Name(), "Stra\xC3\x9F" "e");
  EXPECT_EQ(Url(), "http://x/1");
  EXPECT_EQ(geometry_->GetKey(nullptr), E_POINTER);
  EXPECT_EQ(geometry_->GetName(nullptr), E_POINTER);
  EXPECT_EQ(geometry_->GetURL(nullptr), E_POINTER);
}

TEST_P(EveryGeometry, TextsHoldAtMost255BytesAfterConversion) {
  EKroErrCode code = eKroUnknownErr;
  const std::string longest = Repeat("k", 255);
  EXPECT_EQ(geometry_->SetKey(Wide(longest).Get(), &code), S_OK);
  EXPECT_EQ(code, eKroOk);
  EXPECT_EQ(geometry_->SetKey(Wide(Repeat("z", 256)).Get(), &code), S_FALSE);
  EXPECT_EQ(code, eKroInvalidParameter);
  EXPECT_EQ(Key(), longest) << "a refused key leaves the old one";

  // 86 wide characters, but 256 bytes once converted.
  EXPECT_EQ(geometry_->SetURL(Wide(Repeat("\xE2\x82\xAC", 85) + "a").Get(), &code), S_FALSE);
  EXPECT_EQ(code, eKroInvalidParameter);
  EXPECT_EQ(Url(), "<null>");
  const std::string fits = Repeat("\xC3\xBC", 127) + "a";
  EXPECT_EQ(geometry_->SetName(Wide(fits).Get(), &code), S_OK);
  EXPECT_EQ(Name(), fits);
}

TEST_P(EveryGeometry, NullTextIsStoredAsEmptyAndNullCodeStoresNothing) {
  EKroErrCode code = eKroUnknownErr;
  EXPECT_EQ(geometry_->SetName(nullptr, &code), S_OK);
  EXPECT_EQ(code, eKroOk);
  EXPECT_EQ(Name(), "");
  EXPECT_EQ(geometry_->SetKey(Wide("k").Get(), nullptr), E_POINTER);
  EXPECT_EQ(geometry_->SetURL(Wide("u").Get(), nullptr), E_POINTER);
  EXPECT_EQ(Key(), "<null>");
  EXPECT_EQ(Url(), "<null>");
}

INSTANTIATE_TEST_SUITE_P(Classes, EveryGeometry,
                         ::testing::Values(CreateKroPoint, CreateKroPolyline, CreateKroPolygon,
                                           CreateKroPolyPolyline, CreateKroPolyPolygon));

using Point = ComponentTest;

TEST_F(Point, FreshPointHasNoCoordinates) {
  ComPtr<CGafPoint> point = MakeObject<CGafPoint>();
  double x = 7, y = 8;
  EXPECT_EQ(point->GetCoords(&x, &y), E_OUTOFMEMORY);
  EXPECT_EQ(x, 7);
  // Index 0 is the point's one addressable vertex and set, but it is empty.
  EXPECT_EQ(point->GetVertexAt(0, &x, &y), E_POINTER);
  EXPECT_EQ(point->GetVertexAt(1, &x, &y), S_FALSE);
  LONG count = 0;
  EXPECT_EQ(point->GetSetNumberAt(0, &count), E_POINTER);
  EXPECT_EQ(point->GetSetNumberAt(1, &count), S_FALSE);
}

TEST_F(Point, HoldsOneVertexInOneSet) {
  ComPtr<CGafPoint> point = MakeObject<CGafPoint>();
  EXPECT_EQ(point->SetCoords(1.5, -2.5), S_OK);
  EXPECT_EQ(point->SetCoords(3.5, 4.5), S_OK);
  double x = 0, y = 0;
  EXPECT_EQ(point->GetCoords(&x, &y), S_OK);
  EXPECT_EQ(x, 3.5);
  EXPECT_EQ(y, 4.5);
  EXPECT_EQ(point->GetCoords(nullptr, &y), E_OUTOFMEMORY);
  EXPECT_EQ(point->GetVertexAt(0, &x, &y), S_OK);
  EXPECT_EQ(x, 3.5);
  x = 11;
  EXPECT_EQ(point->GetVertexAt(1, &x, &y), S_FALSE);
  EXPECT_EQ(point->GetVertexAt(-1, &x, &y), S_FALSE);
  EXPECT_EQ(x, 11) << "nothing written for an index out of range";
  int sets = 0;
  EXPECT_EQ(point->GetNumberOfSets(&sets), S_OK);
  EXPECT_EQ(sets, 1);
  LONG count = 0;
  EXPECT_EQ(point->GetSetNumberAt(0, &count), S_OK);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(point->GetSetNumberAt(1, &count), S_FALSE);
}

// Polyline and polygon behave identically.
template <class T>
class SingleSet : public ComponentTest {
 protected:
  void SetUp() override {
    ComponentTest::SetUp();
    object_ = MakeObject<T>();
    ASSERT_TRUE(object_);
  }
  void TearDown() override {
    object_.Reset();
    ComponentTest::TearDown();
  }
  void SetFive() {
    EKroErrCode code = eKroUnknownErr;
    std::vector<CKroDoublePointNode> points(kFive, kFive + 5);
    ASSERT_EQ(object_->SetPointArray(5, points.data(), &code), S_OK);
    ASSERT_EQ(code, eKroOk);
  }
  ULONG Size() {
    ULONG size = 99;
    EXPECT_EQ(object_->GetPointArraySize(&size), S_OK);
    return size;
  }
  ComPtr<T> object_;
};

using SingleSetClasses = ::testing::Types<CGafPolyline, CGafPolygon>;
TYPED_TEST_SUITE(SingleSet, SingleSetClasses);

TYPED_TEST(SingleSet, FreshObjectHasAnEmptyArrayButAnAddressableFirstSet) {
  EXPECT_EQ(this->Size(), 0u);
  double x = 0, y = 0;
  EXPECT_EQ(this->object_->GetVertexAt(0, &x, &y), S_FALSE);
  LONG count = 0;
  EXPECT_EQ(this->object_->GetSetNumberAt(0, &count), E_POINTER);
  EXPECT_EQ(this->object_->GetSetNumberAt(1, &count), S_FALSE);
  ULONG fetched = 9;
  CKroDoublePointNode out[2];
  EXPECT_EQ(this->object_->GetPointArray(2, out, &fetched), S_OK);
  EXPECT_EQ(fetched, 0u);
}

TYPED_TEST(SingleSet, GetPointArrayCopiesTheFirstVerticesUpToTheGivenLength) {
  this->SetFive();
  EXPECT_EQ(this->Size(), 5u);
  CKroDoublePointNode out[12] = {};
  out[5] = {-9, -9};
  ULONG fetched = 0;
  EXPECT_EQ(this->object_->GetPointArray(3, out, &fetched), S_OK);
  EXPECT_EQ(fetched, 3u);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(SameVertex(out[i], kFive[i])) << i;
  EXPECT_EQ(this->object_->GetPointArray(10, out, &fetched), S_OK);
  EXPECT_EQ(fetched, 5u);
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(SameVertex(out[i], kFive[i])) << i;
  EXPECT_EQ(out[5].x, -9) << "nothing is written past the vertex count";
  // A length with the top bit set is a large unsigned length, not a negative one.
  EXPECT_EQ(this->object_->GetPointArray(0x80000000u, out, &fetched), S_OK);
  EXPECT_EQ(fetched, 5u);
}

TYPED_TEST(SingleSet, GetPointArrayChecksItsPointersInOrder) {
  this->SetFive();
  ULONG fetched = 7;
  EXPECT_EQ(this->object_->GetPointArray(3, nullptr, nullptr), E_POINTER);
  EXPECT_EQ(this->object_->GetPointArray(0, nullptr, &fetched), S_OK);
  EXPECT_EQ(fetched, 0u);
  fetched = 7;
  EXPECT_EQ(this->object_->GetPointArray(3, nullptr, &fetched), E_POINTER);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(this->object_->GetPointArraySize(nullptr), E_POINTER);
}

TYPED_TEST(SingleSet, VertexAndSetIndexesFollowTheArray) {
  this->SetFive();
  double x = 0, y = 0;
  EXPECT_EQ(this->object_->GetVertexAt(4, &x, &y), S_OK);
  EXPECT_TRUE(SameVertex({x, y}, kFive[4]));
  EXPECT_EQ(this->object_->GetVertexAt(3, &x, &y), S_OK);
  EXPECT_TRUE(SameVertex({x, y}, kFive[3]));
  EXPECT_EQ(this->object_->GetVertexAt(5, &x, &y), S_FALSE);
  EXPECT_EQ(this->object_->GetVertexAt(-1, &x, &y), S_FALSE);
  int sets = 0;
  EXPECT_EQ(this->object_->GetNumberOfSets(&sets), S_OK);
  EXPECT_EQ(sets, 1);
  LONG count = 0;
  EXPECT_EQ(this->object_->GetSetNumberAt(0, &count), S_OK);
  EXPECT_EQ(count, 5);
  EXPECT_EQ(this->object_->GetSetNumberAt(1, &count), S_FALSE);
}

TYPED_TEST(SingleSet, RefusedArraysKeepTheOldCoordinates) {
  this->SetFive();
  CKroDoublePointNode one[1] = {{7, 7}};
  EKroErrCode code = eKroOk;
  EXPECT_EQ(this->object_->SetPointArray(1, one, &code), S_FALSE);
  EXPECT_EQ(code, eKroInvalidParameter);
  EXPECT_EQ(this->object_->SetPointArray(-3, one, &code), S_FALSE);
  code = eKroOk;
  EXPECT_EQ(this->object_->SetPointArray(3, nullptr, &code), E_POINTER);
  EXPECT_EQ(code, eKroInvalidParameter);
  EXPECT_EQ(this->object_->SetPointArray(2, one, nullptr), E_POINTER);
  EXPECT_EQ(this->Size(), 5u);
  double x = 0, y = 0;
  EXPECT_EQ(this->object_->GetVertexAt(1, &x, &y), S_OK);
  EXPECT_TRUE(SameVertex({x, y}, kFive[1]));
}

TYPED_TEST(SingleSet, NewArrayReplacesTheOldOne) {
  this->SetFive();
  CKroDoublePointNode two[2] = {{10, 20}, {30, 40}};
  EKroErrCode code = eKroUnknownErr;
  EXPECT_EQ(this->object_->SetPointArray(2, two, &code), S_OK);
  EXPECT_EQ(this->Size(), 2u);
  LONG count = 0;
  EXPECT_EQ(this->object_->GetSetNumberAt(0, &count), S_OK);
  EXPECT_EQ(count, 2);
  double x = 0, y = 0;
  EXPECT_EQ(this->object_->GetVertexAt(2, &x, &y), S_FALSE);
}

// Short arrays live inside the object and long ones on the heap; every
// sequence of sizes across that boundary keeps exactly the last array given.
TYPED_TEST(SingleSet, ArraysOfEverySizeReplaceEachOther) {
  for (const int size : {9, 2, 8, 9, 1000, 3, 8}) {
    std::vector<CKroDoublePointNode> points;
    for (int i = 0; i < size; ++i) points.push_back({i * 1.5, size - i * 0.25});
    EKroErrCode code = eKroUnknownErr;
    ASSERT_EQ(this->object_->SetPointArray(size, points.data(), &code), S_OK) << size;
    std::vector<CKroDoublePointNode> out(static_cast<size_t>(size) + 1);
    ULONG fetched = 0;
    EXPECT_EQ(this->object_->GetPointArray(static_cast<ULONG>(out.size()), out.data(), &fetched), S_OK);
    ASSERT_EQ(fetched, static_cast<ULONG>(size));
    EXPECT_TRUE(std::equal(points.begin(), points.end(), out.begin(), SameVertex)) << size;
    LONG count = 0;
    EXPECT_EQ(this->object_->GetSetNumberAt(0, &count), S_OK);
    EXPECT_EQ(count, size);
  }
}

// The memory of released objects is used again for new ones, which must
// start as fresh as any other.
TYPED_TEST(SingleSet, ObjectsMadeFromReleasedMemoryStartFresh) {
  for (int round = 0; round < 3; ++round) {
    std::vector<ComPtr<TypeParam>> batch;
    for (int i = 0; i < 300; ++i) {
      ComPtr<TypeParam> object = MakeObject<TypeParam>();
      ASSERT_TRUE(object);
      ULONG size = 99;
      EXPECT_EQ(object->GetPointArraySize(&size), S_OK);
      EXPECT_EQ(size, 0u);
      ScopedBstr name;
      EXPECT_EQ(object->GetName(name.Put()), S_OK);
      EXPECT_EQ(name.Get(), nullptr);
      EKroErrCode code = eKroUnknownErr;
      ASSERT_EQ(object->SetPointArray(5, const_cast<CKroDoublePointNode*>(kFive), &code), S_OK);
      ASSERT_EQ(object->SetName(ScopedBstr(SysAllocString(u"used")).Get(), &code), S_OK);
      batch.push_back(std::move(object));
    }
  }
}

// Multi-polyline and multi-polygon behave identically.
template <class T>
class MultiSet : public SingleSet<T> {
 protected:
  HRESULT Set(int sets, std::vector<LONG> counts, int vertices, EKroErrCode* code) {
    std::vector<CKroDoublePointNode> points(kFive, kFive + 5);
    points.resize(static_cast<size_t>(std::max(vertices, 0)), {5, 5});
    return this->object_->SetMultiPointArray(sets, counts.data(), vertices, points.data(), code);
  }
};

using MultiSetClasses = ::testing::Types<CGafPolyPolyline, CGafPolyPolygon>;
TYPED_TEST_SUITE(MultiSet, MultiSetClasses);

TYPED_TEST(MultiSet, FreshObjectHasNoAddressableSet) {
  LONG count = 0;
  EXPECT_EQ(this->object_->GetSetNumberAt(0, &count), S_FALSE);
  EXPECT_EQ(this->Size(), 0u);
}

TYPED_TEST(MultiSet, SetsAreAddressableUpToTheirCount) {
  EKroErrCode code = eKroUnknownErr;
  ASSERT_EQ(this->Set(2, {3, 3}, 6, &code), S_OK);
  EXPECT_EQ(code, eKroOk);
  int sets = 0;
  EXPECT_EQ(this->object_->GetNumberOfSets(&sets), S_OK);
  EXPECT_EQ(sets, 2);
  LONG count = 0;
  EXPECT_EQ(this->object_->GetSetNumberAt(1, &count), S_OK);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(this->object_->GetSetNumberAt(2, &count), S_FALSE);
  EXPECT_EQ(this->object_->GetSetNumberAt(-1, &count), S_FALSE);
  EXPECT_EQ(this->Size(), 6u);
  double x = 0, y = 0;
  EXPECT_EQ(this->object_->GetVertexAt(5, &x, &y), S_OK) << "vertex indexes run across all sets";
  EXPECT_TRUE(SameVertex({x, y}, {5, 5}));
  EXPECT_EQ(this->object_->GetVertexAt(6, &x, &y), S_FALSE);
}

TYPED_TEST(MultiSet, SetCountsAreKeptAsGiven) {
  EKroErrCode code = eKroUnknownErr;
  ASSERT_EQ(this->Set(3, {-1, 10, 0}, 3, &code), S_OK);
  LONG count = 0;
  EXPECT_EQ(this->object_->GetSetNumberAt(0, &count), S_OK);
  EXPECT_EQ(count, -1);
  EXPECT_EQ(this->object_->GetSetNumberAt(1, &count), S_OK);
  EXPECT_EQ(count, 10);
  CKroDoublePointNode out[9];
  ULONG fetched = 0;
  EXPECT_EQ(this->object_->GetPointArray(9, out, &fetched), S_OK);
  EXPECT_EQ(fetched, 3u) << "never more than the vertices held";
}

TYPED_TEST(MultiSet, RefusedArraysKeepTheOldCoordinates) {
  EKroErrCode code = eKroUnknownErr;
  ASSERT_EQ(this->Set(2, {3, 3}, 6, &code), S_OK);
  EXPECT_EQ(this->Set(0, {3}, 3, &code), S_FALSE);
  EXPECT_EQ(code, eKroInvalidParameter);
  EXPECT_EQ(this->Set(1, {1}, 1, &code), S_FALSE);
  EXPECT_EQ(code, eKroInvalidParameter);
  code = eKroOk;
  EXPECT_EQ(this->object_->SetMultiPointArray(1, nullptr, 2, const_cast<CKroDoublePointNode*>(kFive), &code),
            E_POINTER);
  EXPECT_EQ(code, eKroInvalidParameter);
  LONG counts[1] = {2};
  EXPECT_EQ(this->object_->SetMultiPointArray(1, counts, 2, nullptr, &code), E_POINTER);
  EXPECT_EQ(this->object_->SetMultiPointArray(1, counts, 2, const_cast<CKroDoublePointNode*>(kFive), nullptr),
            E_POINTER);
  int sets = 0;
  EXPECT_EQ(this->object_->GetNumberOfSets(&sets), S_OK);
  EXPECT_EQ(sets, 2);
  EXPECT_EQ(this->Size(), 6u);
}

}  // namespace
}  // namespace kro
