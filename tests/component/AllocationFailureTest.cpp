// Every allocation of creation and of the setters is made to fail in turn:
// the operation reports E_OUTOFMEMORY, keeps the value it had, leaks nothing
// and leaves the module lock count where it was.
#include <gtest/gtest.h>

#include <functional>

#include "ComponentTestSupport.h"
#include "FailingAllocator.h"
#include "component/CGafPreferences.h"
#include "com/ComCreate.h"
#include "component/ComponentClasses.h"
#include "component/GeometryClasses.h"

namespace kro {
namespace {

// Runs `scenario` with the 1st, 2nd, ... allocation failing until it runs
// through without reaching the failing one; `check` judges each outcome
// after the allocator is disarmed. Returns how many allocations were failed.
int ForEachFailingAllocation(const std::function<HRESULT()>& scenario,
                             const std::function<void(HRESULT, bool injected)>& check) {
  for (int nth = 1; nth < 1000; ++nth) {
    HRESULT hr = S_OK;
    bool injected = false;
    {
      ScopedAllocationFailure failure(nth);
      hr = scenario();
      injected = failure.Injected();
    }
    SCOPED_TRACE(nth);
    check(hr, injected);
    if (!injected) return nth - 1;
  }
  ADD_FAILURE() << "the scenario never ran through";
  return 0;
}

using AllocationFailure = ComponentTest;

TEST_F(AllocationFailure, CreationReportsOutOfMemoryAndLeavesNoObject) {
  for (ComponentCreator create : {CreateKroGafPreferences, CreateKroProgressIndicator, CreateKroPoint,
                                  CreateKroPolyline, CreateKroPolygon, CreateKroPolyPolyline, CreateKroPolyPolygon}) {
    const LONG before = ModuleLockCount();
    IUnknown* object = nullptr;
    const int failed = ForEachFailingAllocation(
        [&] { return create(IID_IUnknown, reinterpret_cast<void**>(&object)); },
        [&](HRESULT hr, bool injected) {
          if (injected) {
            EXPECT_EQ(hr, E_OUTOFMEMORY);
            EXPECT_EQ(object, nullptr);
            EXPECT_EQ(ModuleLockCount(), before);
          } else {
            ASSERT_EQ(hr, S_OK);
            EXPECT_EQ(object->Release(), 0u);
          }
        });
    EXPECT_GE(failed, 1);
  }
  ComPtr<CGafPreferences> direct;
  ForEachFailingAllocation([&] { return (direct = MakeObject<CGafPreferences>()) ? S_OK : E_OUTOFMEMORY; },
                           [&](HRESULT hr, bool injected) { EXPECT_EQ(hr, injected ? E_OUTOFMEMORY : S_OK); });
}

TEST_F(AllocationFailure, GeometryTextSetterKeepsTheOldTextAndGetterReportsIt) {
  ComPtr<CGafPolyline> line = MakeObject<CGafPolyline>();
  EKroErrCode code = eKroOk;
  ASSERT_EQ(line->SetKey(Wide("the original key of this line").Get(), &code), S_OK);
  ScopedBstr longer = Wide("a replacement key that is long enough to allocate");
  const int failed = ForEachFailingAllocation(
      [&] { return line->SetKey(longer.Get(), &code); },
      [&](HRESULT hr, bool injected) {
        ScopedBstr key;
        ASSERT_EQ(line->GetKey(key.Put()), S_OK);
        if (injected) {
          EXPECT_EQ(hr, E_OUTOFMEMORY);
          EXPECT_EQ(code, eKroUnknownErr);
          EXPECT_EQ(Utf8(key.Get()), "the original key of this line");
        } else {
          EXPECT_EQ(hr, S_OK);
          EXPECT_EQ(Utf8(key.Get()), Utf8(longer.Get()));
        }
      });
  EXPECT_GE(failed, 1);

  BSTR out = reinterpret_cast<BSTR>(0x1);
  ForEachFailingAllocation([&] { return line->GetKey(&out); },
                           [&](HRESULT hr, bool injected) {
                             if (injected) {
                               EXPECT_EQ(hr, E_OUTOFMEMORY);
                               EXPECT_EQ(out, nullptr);
                             } else {
                               EXPECT_EQ(hr, S_OK);
                               EXPECT_EQ(Utf8(out), Utf8(longer.Get()));
                             }
                             SysFreeString(out);
                           });
}

TEST_F(AllocationFailure, CoordinateSettersKeepTheOldCoordinates) {
  ComPtr<CGafPolyPolygon> polygon = MakeObject<CGafPolyPolygon>();
  CKroDoublePointNode first[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 0}};
  LONG firstCounts[1] = {4};
  EKroErrCode code = eKroOk;
  ASSERT_EQ(polygon->SetMultiPointArray(1, firstCounts, 4, first, &code), S_OK);
  // More vertices than an object keeps inside itself, so both arrays need
  // the heap.
  CKroDoublePointNode second[10] = {{5, 5}, {6, 5}, {6, 6}, {5, 5}, {7, 7},
                                    {8, 7}, {9, 8}, {8, 9}, {7, 8}, {7, 7}};
  LONG secondCounts[2] = {4, 6};
  const int failed = ForEachFailingAllocation(
      [&] { return polygon->SetMultiPointArray(2, secondCounts, 10, second, &code); },
      [&](HRESULT hr, bool injected) {
        int sets = 0;
        ULONG size = 0;
        EXPECT_EQ(polygon->GetNumberOfSets(&sets), S_OK);
        EXPECT_EQ(polygon->GetPointArraySize(&size), S_OK);
        EXPECT_EQ(hr, injected ? E_OUTOFMEMORY : S_OK);
        EXPECT_EQ(sets, injected ? 1 : 2);
        EXPECT_EQ(size, injected ? 4u : 10u);
      });
  EXPECT_EQ(failed, 2) << "the counts and the vertices are allocated once each";

  ComPtr<CGafPoint> point = MakeObject<CGafPoint>();
  ASSERT_EQ(point->SetCoords(1, 2), S_OK);
  ForEachFailingAllocation([&] { return point->SetCoords(3, 4); },
                           [&](HRESULT hr, bool injected) {
                             double x = 0, y = 0;
                             EXPECT_EQ(point->GetCoords(&x, &y), S_OK);
                             EXPECT_EQ(hr, injected ? E_OUTOFMEMORY : S_OK);
                             EXPECT_EQ(x, injected ? 1 : 3);
                           });
}

TEST_F(AllocationFailure, PreferenceTextSettersKeepTheOldText) {
  ComPtr<IKroGafPreferences> prefs;
  ASSERT_EQ(CreateKroGafPreferences(IID_IKroGafPreferences, prefs.PutVoid()), S_OK);
  EKroErrCode code = eKroOk;
  ASSERT_EQ(prefs->SetGafFileName(Wide("/data/original-file-set.gaf").Get(), &code), S_OK);
  ASSERT_EQ(prefs->SetFileDescription(Wide("the original description").Get()), S_OK);
  ScopedBstr name = Wide("/data/replacement-file-set.gaf");
  ScopedBstr description = Wide("a replacement description");
  ForEachFailingAllocation(
      [&] {
        const HRESULT hr = prefs->SetGafFileName(name.Get(), &code);
        return hr == S_OK ? prefs->SetFileDescription(description.Get()) : hr;
      },
      [&](HRESULT hr, bool injected) {
        ScopedBstr storedName, storedDescription;
        EXPECT_EQ(prefs->GetGafFileName(storedName.Put()), S_OK);
        EXPECT_EQ(prefs->GetFileDescription(storedDescription.Put()), S_OK);
        EXPECT_EQ(hr, injected ? E_OUTOFMEMORY : S_OK);
        if (!injected) {
          EXPECT_EQ(Utf8(storedName.Get()), "/data/replacement-file-set.gaf");
          EXPECT_EQ(Utf8(storedDescription.Get()), "a replacement description");
        } else if (Utf8(storedName.Get()) == "/data/original-file-set.gaf") {
          EXPECT_EQ(code, eKroUnknownErr);
        } else {
          EXPECT_EQ(Utf8(storedDescription.Get()), "the original description");
        }
      });
}

}  // namespace
}  // namespace kro
