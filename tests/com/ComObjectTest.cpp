// Identity, interface lookup, reference counts, the module lock count and the
// error-information answer of every class built on ComObject, through the
// creators that the component server uses.
#include <gtest/gtest.h>

#include <vector>

#include "component/ComponentTestSupport.h"
#include "component/CGafProgressIndicator.h"
#include "com/ComCreate.h"
#include "component/ComponentClasses.h"
#include "component/GeometryClasses.h"

namespace kro {
namespace {

constexpr IID kUnknownIid = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

// Every identifier an object might be asked for.
const std::vector<const IID*> kAllIids = {
    &IID_IUnknown,           &IID_IClassFactory,      &IID_ISupportErrorInfo, &IID_IKroGafExport,
    &IID_IKroGeometrySource, &IID_IKroEnumGeometry,   &IID_IKroGeometry,      &IID_IKroPoint,
    &IID_IKroPolyline,       &IID_IKroPolygon,        &IID_IKroPolyPolyline,  &IID_IKroPolyPolygon,
    &IID_IKroProgressIndicator, &IID_IKroGafPreferences, &IID_IKroGafImport,  &kUnknownIid};

struct ClassCase {
  const char* name;
  ComponentCreator create;
  const IID* own;
  bool isGeometry;
};

const ClassCase kClasses[] = {
    {"KroGafPreferences", CreateKroGafPreferences, &IID_IKroGafPreferences, false},
    {"KroProgressIndicator", CreateKroProgressIndicator, &IID_IKroProgressIndicator, false},
    {"KroPoint", CreateKroPoint, &IID_IKroPoint, true},
    {"KroPolyline", CreateKroPolyline, &IID_IKroPolyline, true},
    {"KroPolygon", CreateKroPolygon, &IID_IKroPolygon, true},
    {"KroPolyPolyline", CreateKroPolyPolyline, &IID_IKroPolyPolyline, true},
    {"KroPolyPolygon", CreateKroPolyPolygon, &IID_IKroPolyPolygon, true},
};

class EveryClass : public ComponentTest, public ::testing::WithParamInterface<ClassCase> {
 protected:
  bool ShouldAnswer(REFIID riid) const {
    const ClassCase& c = GetParam();
    return riid == IID_IUnknown || riid == IID_ISupportErrorInfo || riid == *c.own ||
           (c.isGeometry && riid == IID_IKroGeometry);
  }
};

TEST_P(EveryClass, AnswersExactlyItsInterfaceChainAndErrorInfoWithOneIdentity) {
  IUnknown* object = nullptr;
  ASSERT_EQ(GetParam().create(IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
  ASSERT_NE(object, nullptr);
  for (const IID* iid : kAllIids) {
    SCOPED_TRACE(iid->Data1);
    void* answer = reinterpret_cast<void*>(0x1);
    const HRESULT hr = object->QueryInterface(*iid, &answer);
    if (!ShouldAnswer(*iid)) {
      EXPECT_EQ(hr, E_NOINTERFACE);
      EXPECT_EQ(answer, nullptr);
      continue;
    }
    ASSERT_EQ(hr, S_OK);
    auto* unknown = static_cast<IUnknown*>(answer);
    if (*iid != IID_ISupportErrorInfo) {
      EXPECT_EQ(unknown, object) << "the chain shares one pointer";
    }
    // Whatever view was handed out leads back to the same identity.
    IUnknown* identity = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, object);
    EXPECT_EQ(identity->Release(), 2u);
    EXPECT_EQ(unknown->Release(), 1u);
  }
  EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(object->Release(), 0u);
}

TEST_P(EveryClass, ReferenceCountsAreExactAndTheModuleLockFollowsTheObject) {
  const LONG before = ModuleLockCount();
  IUnknown* object = nullptr;
  ASSERT_EQ(GetParam().create(*GetParam().own, reinterpret_cast<void**>(&object)), S_OK);
  EXPECT_EQ(ModuleLockCount(), before + 1);
  EXPECT_EQ(object->AddRef(), 2u);
  EXPECT_EQ(object->AddRef(), 3u);
  ISupportErrorInfo* info = nullptr;
  ASSERT_EQ(object->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
  EXPECT_EQ(info->AddRef(), 5u) << "the error-information view shares the object's count";
  EXPECT_EQ(info->Release(), 4u);
  EXPECT_EQ(info->Release(), 3u);
  EXPECT_EQ(object->Release(), 2u);
  EXPECT_EQ(object->Release(), 1u);
  EXPECT_EQ(ModuleLockCount(), before + 1);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(ModuleLockCount(), before);
}

TEST_P(EveryClass, SupportsErrorInformationForItsOwnInterfaceOnly) {
  ISupportErrorInfo* info = nullptr;
  ASSERT_EQ(GetParam().create(IID_ISupportErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
  for (const IID* iid : kAllIids) {
    EXPECT_EQ(info->InterfaceSupportsErrorInfo(*iid), *iid == *GetParam().own ? S_OK : S_FALSE)
        << iid->Data1;
  }
  info->Release();
}

TEST_P(EveryClass, CreatorRefusesNullOutPointerAndUnknownInterfaceWithoutLeavingAnObject) {
  const LONG before = ModuleLockCount();
  EXPECT_EQ(GetParam().create(IID_IUnknown, nullptr), E_POINTER);
  void* answer = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(GetParam().create(IID_IKroGafImport, &answer), E_NOINTERFACE);
  EXPECT_EQ(answer, nullptr);
  EXPECT_EQ(ModuleLockCount(), before);
}

INSTANTIATE_TEST_SUITE_P(Classes, EveryClass, ::testing::ValuesIn(kClasses),
                         [](const ::testing::TestParamInfo<ClassCase>& info) { return info.param.name; });

using DirectCreation = ComponentTest;

TEST_F(DirectCreation, MakeObjectHoldsOneReferenceAndComPtrCountsItsCopies) {
  const LONG before = ModuleLockCount();
  ComPtr<CGafPolygon> polygon = MakeObject<CGafPolygon>();
  ASSERT_TRUE(polygon);
  EXPECT_EQ(ModuleLockCount(), before + 1);
  {
    ComPtr<CGafPolygon> copy = polygon;
    ComPtr<IKroGeometry> asGeometry;
    ASSERT_EQ(polygon.As(&asGeometry), S_OK);
    EXPECT_EQ(static_cast<void*>(asGeometry.Get()), static_cast<void*>(polygon->AsInterface()));
    ComPtr<IKroPoint> asPoint;
    EXPECT_EQ(polygon.As(&asPoint), E_NOINTERFACE);
    EXPECT_FALSE(asPoint);
    EXPECT_EQ(polygon->AddRef(), 4u);
    EXPECT_EQ(polygon->Release(), 3u);
  }
  EXPECT_EQ(polygon->AddRef(), 2u);
  EXPECT_EQ(polygon->Release(), 1u);
  IKroPolygon* detached = polygon->AsInterface();
  ComPtr<IKroPolygon> adopted = ComPtr<IKroPolygon>::Adopt(polygon.Detach());
  EXPECT_EQ(adopted.Get(), detached);
  adopted.Reset();
  EXPECT_EQ(ModuleLockCount(), before);
}

TEST_F(DirectCreation, ModuleLockCountsExplicitLocks) {
  const LONG before = ModuleLockCount();
  EXPECT_EQ(LockModule(), before + 1);
  EXPECT_EQ(UnlockModule(), before);
}

TEST_F(DirectCreation, ProgressIndicatorSucceedsAndWritesNothing) {
  ComPtr<IKroProgressIndicator> progress;
  ASSERT_EQ(CreateKroProgressIndicator(IID_IKroProgressIndicator, progress.PutVoid()), S_OK);
  LONG abort = 1;
  int interval = 77;
  EXPECT_EQ(progress->SetTotalNumOfObjects(10), S_OK);
  EXPECT_EQ(progress->NotifyProgress(10, 3), S_OK);
  EXPECT_EQ(progress->InquireAbort(&abort), S_OK);
  EXPECT_EQ(abort, 1);
  EXPECT_EQ(progress->GetInterval(&interval), S_OK);
  EXPECT_EQ(interval, 77);
  EXPECT_EQ(progress->InquireAbort(nullptr), S_OK);
  EXPECT_EQ(progress->GetInterval(nullptr), S_OK);
}

}  // namespace
}  // namespace kro
