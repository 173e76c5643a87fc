#include "server/Registration.h"

#include <gtest/gtest.h>

#include <set>

#include "server/FileRegistry.h"
#include "server/RegistrationScripts.h"
#include "support/TempDir.h"

namespace kro {
namespace {

using test::TempDir;

std::string Text(REFGUID guid) {
  char text[39];
  GuidToText(guid, text);
  return text;
}

FileRegistry Loaded(const std::string& path) {
  FileRegistry registry(path);
  EXPECT_TRUE(registry.Load());
  return registry;
}

TEST(FileRegistry, RoundTripsKeysValuesAndEscapes) {
  TempDir dir;
  const std::string path = dir.File("sub/registry.reg");
  FileRegistry registry(path);
  ASSERT_TRUE(registry.Load()) << "a missing file is an empty registry";
  registry.SetValue("HKEY_CLASSES_ROOT\\A", "", "quote \" and \\ slash");
  registry.SetValue("HKEY_CLASSES_ROOT\\A\\B", "Named", "v");
  registry.CreateKey("HKEY_CLASSES_ROOT\\A\\Empty");
  registry.SetValue("HKEY_CLASSES_ROOT\\A!", "", "sibling");
  ASSERT_TRUE(registry.Save());

  FileRegistry again = Loaded(path);
  ASSERT_NE(again.Value("hkey_classes_root\\a", ""), nullptr) << "keys ignore case";
  EXPECT_EQ(*again.Value("HKEY_CLASSES_ROOT\\A", ""), "quote \" and \\ slash");
  EXPECT_EQ(*again.Value("HKEY_CLASSES_ROOT\\A\\B", "Named"), "v");
  EXPECT_TRUE(again.HasKey("HKEY_CLASSES_ROOT\\A\\Empty"));
  again.DeleteTree("HKEY_CLASSES_ROOT\\A");
  EXPECT_FALSE(again.HasKey("HKEY_CLASSES_ROOT\\A\\B"));
  EXPECT_FALSE(again.HasKey("HKEY_CLASSES_ROOT\\A\\Empty"));
  EXPECT_TRUE(again.HasKey("HKEY_CLASSES_ROOT\\A!")) << "a sibling with a longer name stays";

  test::WriteFileBytes(path, test::HexBytes("5B 41"));  // "[A" never closed
  FileRegistry broken(path);
  EXPECT_FALSE(broken.Load());
}

TEST(Registration, WritesExactlyTheScriptsOfTheClassTable) {
  TempDir dir;
  const std::string path = dir.File("registry.reg");
  ASSERT_EQ(RegisterModule(path, "/opt/kro/libKroGafExportImport.so"), S_OK);
  FileRegistry registry = Loaded(path);

  const auto& scripts = AllRegistrationScripts();
  ASSERT_EQ(scripts.size(), 13u);
  size_t expectedKeys = 0;
  for (size_t i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12}) {
    const std::string name = scripts[i].className;
    const std::string progId = "HKEY_CLASSES_ROOT\\KroGafExportImport." + name;
    const std::string classKey = "HKEY_CLASSES_ROOT\\CLSID\\" + Text(*scripts[i].clsid);
    EXPECT_EQ(*registry.Value(progId + ".1", ""), name + " Class");
    EXPECT_EQ(*registry.Value(progId + ".1\\CLSID", ""), Text(*scripts[i].clsid));
    EXPECT_EQ(*registry.Value(progId + "\\CurVer", ""), "KroGafExportImport." + name + ".1");
    EXPECT_EQ(*registry.Value(classKey + "\\InprocServer32", ""), "/opt/kro/libKroGafExportImport.so");
    EXPECT_EQ(*registry.Value(classKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(*registry.Value(classKey + "\\VersionIndependentProgID", ""), "KroGafExportImport." + name);
    EXPECT_EQ(*registry.Value(classKey + "\\TypeLib", ""), Text(LIBID_KROGAFEXPORTIMPORTLib));
    EXPECT_EQ(registry.HasKey(classKey + "\\Programmable"), name != "KroGafImport") << name;
    expectedKeys += name != "KroGafImport" ? 11 : 10;
  }
  EXPECT_FALSE(registry.HasKey("HKEY_CLASSES_ROOT\\KroGafExportImport.KroGeometry"))
      << "the KroGeometry script is carried but never registered";
  EXPECT_EQ(*registry.Value("HKEY_CLASSES_ROOT\\TypeLib\\" + Text(LIBID_KROGAFEXPORTIMPORTLib) + "\\1.0", ""),
            "KroGafExportImport 1.0 Type Library");
  EXPECT_EQ(registry.Keys().size(), expectedKeys + 4);
}

TEST(Registration, IsIdempotentAndRemovesOnlyWhatItWrote) {
  TempDir dir;
  const std::string path = dir.File("registry.reg");
  FileRegistry before(path);
  before.SetValue("HKEY_CLASSES_ROOT\\CLSID\\{OTHER}", "", "somebody else's class");
  before.SetValue("HKEY_CLASSES_ROOT\\.txt", "", "txtfile");
  ASSERT_TRUE(before.Save());
  const test::Bytes original = test::ReadFileBytes(path);

  ASSERT_EQ(RegisterModule(path, "/m.so"), S_OK);
  const test::Bytes once = test::ReadFileBytes(path);
  ASSERT_EQ(RegisterModule(path, "/m.so"), S_OK);
  EXPECT_EQ(test::ReadFileBytes(path), once) << "registering twice writes the same";

  ASSERT_EQ(UnregisterModule(path), S_OK);
  EXPECT_EQ(test::ReadFileBytes(path), original) << "unregistration leaves exactly what was there";
  ASSERT_EQ(UnregisterModule(path), S_OK);
  EXPECT_EQ(test::ReadFileBytes(path), original);
}

TEST(Registration, AnUnreadableRegistryChangesNothing) {
  TempDir dir;
  const std::string path = dir.File("registry.reg");
  test::WriteFileBytes(path, test::HexBytes("5B"));
  EXPECT_EQ(RegisterModule(path, "/m.so"), SELFREG_E_CLASS);
  EXPECT_EQ(UnregisterModule(path), SELFREG_E_CLASS);
  EXPECT_EQ(test::ReadFileBytes(path), test::HexBytes("5B"));
}

TEST(GuidText, FormatsAndParses) {
  char text[39];
  GuidToText(CLSID_KroGafExport, text);
  EXPECT_STREQ(text, "{8D2F3B01-5A6B-4C7D-A1B2-C3D4E5F60701}");
  GUID back{};
  ASSERT_TRUE(TextToGuid("{8d2f3b01-5a6b-4c7d-a1b2-c3d4e5f60701}", back));
  EXPECT_EQ(back, CLSID_KroGafExport);
  EXPECT_FALSE(TextToGuid("{8D2F3B01-5A6B-4C7D-A1B2-C3D4E5F6070}", back));
  EXPECT_FALSE(TextToGuid("{8D2F3B01-5A6B-4C7D-A1B2-C3D4E5F6070X}", back));
  EXPECT_FALSE(TextToGuid(nullptr, back));
}

}  // namespace
}  // namespace kro
