// What the GDAL driver's tests share: the drivers registered in-process,
// ogr2ogr run as GDAL's library call, the sample data, and a sink that keeps
// every message GDAL reports.
#ifndef KRO_TESTS_GDAL_GDALTESTSUPPORT_H
#define KRO_TESTS_GDAL_GDALTESTSUPPORT_H

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "gdal_priv.h"
#include "ogrsf_frmts.h"

namespace kro::test {

// GDAL's own drivers and the Gaf driver, linked in (not loaded as a plugin).
void RegisterDrivers();

// The path of a file of the repository's data folder.
std::string DataFile(const char* name);

// ogr2ogr `arguments` `destination` `source`, in-process; true when it
// succeeded and the destination was closed.
bool Translate(const std::string& destination, const std::string& source, const std::vector<std::string>& arguments);

GDALDatasetUniquePtr OpenVector(const std::string& name, unsigned extraFlags = 0,
                                const std::vector<std::string>& openOptions = {});

// FIDs of the features the layer yields under its current filters.
std::set<GIntBig> Fids(OGRLayer& layer);

// Keeps every message GDAL reports while it lives, debug messages of the
// Gaf driver included; nothing is printed.
class CapturedMessages {
 public:
  CapturedMessages();
  ~CapturedMessages();
  CapturedMessages(const CapturedMessages&) = delete;
  CapturedMessages& operator=(const CapturedMessages&) = delete;

  // Whether a message of `level` contains all of `parts`.
  bool Contains(CPLErr level, const std::vector<std::string>& parts) const;
  size_t Count(CPLErr level) const;
  void Clear() { messages_.clear(); }
  std::string All() const;

 private:
  static void CPL_STDCALL Keep(CPLErr level, CPLErrorNum number, const char* message);
  std::vector<std::pair<CPLErr, std::string>> messages_;
};

}  // namespace kro::test

#endif
