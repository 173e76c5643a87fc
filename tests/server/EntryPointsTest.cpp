#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "KroGafExportImport/KroComPtr.h"
#include "KroGafExportImport/KroEntryPoints.h"
#include "KroGafExportImport/KroGafExportImport.h"
#include "KroGafExportImport/KroModule.h"
#include "com/ModuleLock.h"
#include "server/ClassTable.h"

namespace kro {
namespace {

struct Class {
  const CLSID* clsid;
  const IID* iid;
};

const Class kClasses[] = {
    {&CLSID_KroGafExport, &IID_IKroGafExport},
    {&CLSID_KroGafPreferences, &IID_IKroGafPreferences},
    {&CLSID_KroGeometrySource, &IID_IKroGeometrySource},
    {&CLSID_KroProgressIndicator, &IID_IKroProgressIndicator},
    {&CLSID_KroEnumGeometry, &IID_IKroEnumGeometry},
    {&CLSID_KroPoint, &IID_IKroPoint},
    {&CLSID_KroPolyline, &IID_IKroPolyline},
    {&CLSID_KroPolygon, &IID_IKroPolygon},
    {&CLSID_KroPolyPolyline, &IID_IKroPolyPolyline},
    {&CLSID_KroPolyPolygon, &IID_IKroPolyPolygon},
    {&CLSID_KroGafImport, &IID_IKroGafImport},
    {&CLSID_KroGafOrderedExport, &IID_IKroGafExport},
};

TEST(EntryPoints, TheClassTableHoldsTwelveRowsInOrder) {
  const ClassTableRow* rows = ClassTableRows();
  for (size_t i = 0; i < kClassTableSize; ++i) EXPECT_EQ(*rows[i].clsid, *kClasses[i].clsid) << i;
  EXPECT_EQ(FindClassTableRow(CLSID_KroGeometry), nullptr) << "KroGeometry has no row";
}

TEST(EntryPoints, EveryClassIsCreatedThroughItsClassObject) {
  const LONG start = ModuleLockCount();
  for (const Class& c : kClasses) {
    KroComPtr<IClassFactory> factory;
    ASSERT_EQ(DllGetClassObject(*c.clsid, IID_IClassFactory, factory.PutVoid()), S_OK);
    KroComPtr<IUnknown> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, *c.iid, object.PutVoid()), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "an object lives";
    KroComPtr<IUnknown> wrong;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, wrong.PutVoid()), E_NOINTERFACE);
    EXPECT_EQ(factory->CreateInstance(object.Get(), *c.iid, wrong.PutVoid()), CLASS_E_NOAGGREGATION);
    EXPECT_FALSE(wrong);
  }
  EXPECT_EQ(ModuleLockCount(), start);
  EXPECT_EQ(DllCanUnloadNow(), start == 0 ? S_OK : S_FALSE);
}

TEST(EntryPoints, UnknownClassesAndNullPointersAreRefused) {
  const CLSID unknown = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(DllGetClassObject(unknown, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(DllGetClassObject(CLSID_KroGeometry, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(DllGetClassObject(CLSID_KroPoint, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(DllGetClassObject(CLSID_KroPoint, IID_IKroPoint, &out), E_NOINTERFACE)
      << "a class object is no instance";
}

TEST(EntryPoints, LockServerHoldsTheModule) {
  KroComPtr<IClassFactory> factory;
  ASSERT_EQ(DllGetClassObject(CLSID_KroPoint, IID_IClassFactory, factory.PutVoid()), S_OK);
  const LONG start = ModuleLockCount();
  factory->LockServer(1);
  EXPECT_EQ(ModuleLockCount(), start + 1);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  factory->LockServer(0);
  EXPECT_EQ(ModuleLockCount(), start);
}

TEST(EntryPoints, ConcurrentFirstCallsCreateOneClassObject) {
  // No other test of this program asks for this class's class object, so
  // these calls are its first.
  ClassTableRow* row = FindClassTableRow(CLSID_KroPolyPolyline);
  ASSERT_EQ(row->classObject.load(), nullptr);
  constexpr int kThreads = 8;
  std::vector<IClassFactory*> seen(kThreads, nullptr);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&seen, i] {
      DllGetClassObject(CLSID_KroPolyPolyline, IID_IClassFactory, reinterpret_cast<void**>(&seen[i]));
    });
  }
  for (auto& t : threads) t.join();
  for (IClassFactory* factory : seen) {
    EXPECT_EQ(factory, seen[0]);
    factory->Release();
  }
}

TEST(EntryPoints, ProgIdsResolveToClassIdentifiers) {
  CLSID clsid{};
  ASSERT_TRUE(KroClsidFromProgId("KroGafExportImport.KroGafImport", clsid));
  EXPECT_EQ(clsid, CLSID_KroGafImport);
  ASSERT_TRUE(KroClsidFromProgId("KroGafExportImport.KroPolyline.1", clsid));
  EXPECT_EQ(clsid, CLSID_KroPolyline);
  ASSERT_TRUE(KroClsidFromProgId("KroGafExportImport.KroGafOrderedExport.1", clsid));
  EXPECT_EQ(clsid, CLSID_KroGafOrderedExport);
  EXPECT_FALSE(KroClsidFromProgId("KroGafExportImport.KroGeometry", clsid));
  EXPECT_FALSE(KroClsidFromProgId("Other.KroPoint", clsid));
  EXPECT_FALSE(KroClsidFromProgId(nullptr, clsid));
}

}  // namespace
}  // namespace kro
