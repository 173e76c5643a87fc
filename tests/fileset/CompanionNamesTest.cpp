#include <gtest/gtest.h>

#include "fileset/CompanionNames.h"
#include "fileset/CGafWriter.h"
#include "support/TempDir.h"

namespace kro::test {
namespace {

struct NameCase {
  const char* dataFile;
  const char* spatialIndex;
  const char* keyIndex;
};

TEST(CompanionNamesTest, ReplaceOnlyTheLastExtensionAndKeepUpperCaseOnlyForExactGaf) {
  const NameCase cases[] = {
      {"roads.GAF", "roads.SIF", "roads.KIF"},       {"roads.gaf", "roads.sif", "roads.kif"},
      {"roads.Gaf", "roads.sif", "roads.kif"},       {"roads.gAF", "roads.sif", "roads.kif"},
      {"a.gaf.GAF", "a.gaf.SIF", "a.gaf.KIF"},       {"/maps.v2/roads.gaf", "/maps.v2/roads.sif", "/maps.v2/roads.kif"},
      {"Straßen.GAF", "Straßen.SIF", "Straßen.KIF"}, {".gaf", ".sif", ".kif"},
  };
  for (const NameCase& c : cases) {
    CompanionNames names;
    ASSERT_EQ(kEngineOk, DeriveCompanionNames(c.dataFile, names)) << c.dataFile;
    EXPECT_EQ(c.spatialIndex, names.spatialIndex);
    EXPECT_EQ(c.keyIndex, names.keyIndex);
  }
}

TEST(CompanionNamesTest, RefuseNamesWithoutTheDataFileExtension) {
  for (const char* name : {"roads", "roads.gafx", "roads.ga", "roads.gaf.old", "c:\\maps.old\\roads",
                           "/tmp/maps.old/roads", "roads.g\xC3\xA1" "f", ""}) {
    CompanionNames names;
    names.spatialIndex = "unchanged";
    EXPECT_EQ(eGafNotAGaf, DeriveCompanionNames(name, names)) << name;
    EXPECT_EQ("unchanged", names.spatialIndex);
  }
}

TEST(CompanionNamesTest, NamesMustFitTheEngineBuffers) {
  CompanionNames names;
  const std::string longest = std::string(255, 'n') + ".gaf";  // 259 bytes
  EXPECT_EQ(kEngineOk, DeriveCompanionNames(longest.c_str(), names));
  EXPECT_EQ(259u, names.keyIndex.size());
  const std::string tooLong = std::string(256, 'n') + ".gaf";
  EXPECT_EQ(eGafCannotOpen, DeriveCompanionNames(tooLong.c_str(), names));
}

TEST(CompanionNamesTest, AnUpperCaseSetCreatesUpperCaseCompanions) {
  TempDir dir;
  {
    CGafWriter writer;
    ASSERT_EQ(0u, writer.Open(dir.File("roads.GAF").c_str(), kGafCreateNew, -1));
  }
  EXPECT_TRUE(FileExists(dir.File("roads.SIF")));
  EXPECT_TRUE(FileExists(dir.File("roads.KIF")));
  EXPECT_FALSE(FileExists(dir.File("roads.sif")));
  {
    CGafWriter writer;
    ASSERT_EQ(0u, writer.Open(dir.File("lakes.Gaf").c_str(), kGafCreateNew, -1));
  }
  EXPECT_TRUE(FileExists(dir.File("lakes.sif")));
  EXPECT_TRUE(FileExists(dir.File("lakes.kif")));
}

}  // namespace
}  // namespace kro::test
