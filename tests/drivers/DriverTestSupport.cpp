#include "drivers/DriverTestSupport.h"

#include <new>

#include "drivers/DriverClasses.h"

namespace {

int g_skipBeforeFailure = 0;
int g_failuresLeft = 0;
int g_failed = 0;

}  // namespace

// The library allocates its objects with the nothrow form; tests make chosen
// allocations fail through it. The memory still comes from the ordinary
// operator new, so it is released by the ordinary operator delete.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (g_failuresLeft > 0) {
    if (g_skipBeforeFailure > 0) {
      --g_skipBeforeFailure;
    } else {
      --g_failuresLeft;
      ++g_failed;
      return nullptr;
    }
  }
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

namespace kro::test {

NothrowNewFailure::NothrowNewFailure(int skip, int count) {
  g_skipBeforeFailure = skip;
  g_failuresLeft = count;
  g_failed = 0;
}

NothrowNewFailure::~NothrowNewFailure() {
  g_skipBeforeFailure = 0;
  g_failuresLeft = 0;
}

int NothrowNewFailure::Failed() { return g_failed; }

ComPtr<IKroGafPreferences> MakePreferences(const PreferencesSetup& setup) {
  auto preferences = CreateLibrary<IKroGafPreferences>(CreateKroGafPreferences);
  EKroErrCode code = eKroUnknownErr;
  if (setup.fileName) {
    EXPECT_EQ(S_OK, preferences->SetGafFileName(Wide(*setup.fileName).Get(), &code));
  }
  preferences->SetOpenStatus(setup.openMode, &code);
  preferences->SetObjectType(setup.objectType, &code);
  if (setup.description) preferences->SetFileDescription(Wide(*setup.description).Get());
  EXPECT_EQ(S_OK, preferences->SetCoordPrecision(setup.precision, &code));
  preferences->put_UseKif(setup.useKif);
  return preferences;
}

ExportResult RunExport(IKroGeometrySource* source, IKroGafPreferences* preferences,
                       IKroProgressIndicator* progress, ExportCreator create) {
  ComPtr<IKroGafExport> exporter;
  EXPECT_EQ(S_OK, (create != nullptr ? create : &CreateKroGafExport)(IID_IKroGafExport, exporter.PutVoid()));
  ExportResult result;
  result.hr = exporter->Export(source, preferences, progress, &result.exported, &result.maxVertex,
                               &result.plinesFailed, &result.code);
  return result;
}

HostSet MakeHostSet(const std::vector<HostShape>& shapes, bool libraryObjects) {
  HostSet set;
  for (const HostShape& shape : shapes) {
    set.setup->objects.push_back(libraryObjects ? MakeLibraryObject(shape) : MakeHostObject(shape));
  }
  return set;
}

ExportResult ExportShapes(const std::vector<HostShape>& shapes, const PreferencesSetup& setup) {
  HostSet set = MakeHostSet(shapes);
  return RunExport(set.source.Get(), MakePreferences(setup).Get());
}

ComPtr<IKroGeometrySource> ImportSource(const std::string& fileName, EKroGafOpenFlags mode, BoundingBoxNode* box) {
  ComPtr<IKroGafImport> importer;
  EXPECT_EQ(S_OK, CreateKroGafImport(IID_IKroGafImport, importer.PutVoid()));
  PreferencesSetup setup;
  setup.fileName = fileName;
  setup.openMode = mode;
  auto preferences = MakePreferences(setup);
  EKroErrCode code = eKroUnknownErr;
  EXPECT_EQ(S_OK, importer->Initialize(preferences.Get(), &code));
  ComPtr<IKroGeometrySource> source;
  EXPECT_EQ(S_OK, importer->Import(preferences.Get(), box, source.Put(), &code));
  return source;
}

std::vector<HostShape> ImportShapes(const std::string& fileName, EKroGafOpenFlags mode, const BoundingBoxNode* box) {
  std::vector<HostShape> shapes;
  BoundingBoxNode query = box != nullptr ? *box : BoundingBoxNode{};
  auto source = ImportSource(fileName, mode, box != nullptr ? &query : nullptr);
  ComPtr<IKroEnumGeometry> enumerator;
  if (!source || source->EnumGeometry(enumerator.Put()) != S_OK) return shapes;
  IKroGeometry* batch[64];
  ULONG fetched = 0;
  do {
    // S_OK to the end, with nothing fetched once the pass has ended.
    EXPECT_EQ(S_OK, enumerator->Next(64, batch, &fetched));
    for (ULONG i = 0; i < fetched; ++i) {
      shapes.push_back(ShapeOf(batch[i]));
      EXPECT_EQ(0u, batch[i]->Release());
    }
  } while (fetched != 0);
  return shapes;
}

HostShape PointShape(double x, double y, const std::string& key) {
  HostShape shape;
  shape.kind = kGafPointObject;
  shape.key = key;
  shape.name = "point " + key;
  shape.points = {{x, y}};
  shape.setCounts = {1};
  return shape;
}

HostShape LineShape(std::vector<CKroDoublePointNode> points, const std::string& key, EGafObjectType kind) {
  HostShape shape;
  shape.kind = kind;
  shape.key = key;
  shape.name = "line " + key;
  shape.setCounts = {static_cast<LONG>(points.size())};
  shape.points = std::move(points);
  return shape;
}

HostShape RingShape(double x, double y, const std::string& key, EGafObjectType kind) {
  return LineShape({{x, y}, {x + 1, y}, {x + 1, y + 1}, {x, y}}, key, kind);
}

double StoredCoordinate(double value, SHORT precision) {
  return precision == 32 ? static_cast<double>(static_cast<float>(value)) : value;
}

}  // namespace kro::test
