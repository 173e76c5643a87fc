// Shared steps of the driver tests: preferences for a file set, running an
// export, reading a whole file set back through the import driver, and making
// the nothrow allocations of the library fail on purpose.
#ifndef KRO_TESTS_DRIVERS_DRIVERTESTSUPPORT_H
#define KRO_TESTS_DRIVERS_DRIVERTESTSUPPORT_H

#include <optional>
#include <string>
#include <vector>

#include "drivers/HostPreferences.h"
#include "drivers/HostSource.h"
#include "drivers/LibraryObjects.h"

namespace kro::test {

// The next `count` nothrow allocations after `skip` of them fail (they
// return null); the guard disarms on destruction.
class NothrowNewFailure {
 public:
  explicit NothrowNewFailure(int skip = 0, int count = 1);
  ~NothrowNewFailure();
  NothrowNewFailure(const NothrowNewFailure&) = delete;
  NothrowNewFailure& operator=(const NothrowNewFailure&) = delete;
  // Allocations made to fail so far.
  static int Failed();
};

struct PreferencesSetup {
  std::optional<std::string> fileName;
  EKroGafOpenFlags openMode = kGafCreateNew;
  EGafObjectType objectType = kGafPolylineObject;
  std::optional<std::string> description = std::string("test set");
  SHORT precision = 32;
  LONG useKif = 0;
};

ComPtr<IKroGafPreferences> MakePreferences(const PreferencesSetup& setup);

struct ExportResult {
  HRESULT hr = E_FAIL;
  EKroErrCode code = eKroUnknownErr;
  LONG exported = -7;
  LONG maxVertex = -7;
  LONG plinesFailed = -7;
};

using ExportCreator = HRESULT (*)(REFIID riid, void** ppv);

// Runs an export object made by `create` (KroGafExport's unless given).
ExportResult RunExport(IKroGeometrySource* source, IKroGafPreferences* preferences,
                       IKroProgressIndicator* progress = nullptr, ExportCreator create = nullptr);

// A host source over `objects`, with its setup to adjust.
struct HostSet {
  std::shared_ptr<HostSourceSetup> setup = std::make_shared<HostSourceSetup>();
  ComPtr<HostSource> source = HostSource::Make(setup);
};
HostSet MakeHostSet(const std::vector<HostShape>& shapes, bool libraryObjects = false);

// Exports `shapes` from a host source with the given preferences.
ExportResult ExportShapes(const std::vector<HostShape>& shapes, const PreferencesSetup& setup);

// The source an import hands out for the set after a successful Initialize;
// `box` with kGafReadPartial.
ComPtr<IKroGeometrySource> ImportSource(const std::string& fileName, EKroGafOpenFlags mode = kGafReadOnly,
                                        BoundingBoxNode* box = nullptr);

// Every object the import delivers for the set, in delivery order; `box`
// with kGafReadPartial.
std::vector<HostShape> ImportShapes(const std::string& fileName, EKroGafOpenFlags mode = kGafReadOnly,
                                    const BoundingBoxNode* box = nullptr);

// Shapes for tests.
HostShape PointShape(double x, double y, const std::string& key);
HostShape LineShape(std::vector<CKroDoublePointNode> points, const std::string& key,
                    EGafObjectType kind = kGafPolylineObject);
// A closed ring around (x, y).
HostShape RingShape(double x, double y, const std::string& key, EGafObjectType kind = kGafPolygonObject);

// The value a 32-bit file hands back for `value`.
double StoredCoordinate(double value, SHORT precision);

}  // namespace kro::test

#endif
