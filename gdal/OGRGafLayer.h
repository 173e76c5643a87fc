// The one layer of a Gaf file set.
//
// Reading: the FID is the record position, so GetFeature is one positioned
// read (checked against the spatial index, so that a number that is not a
// record position finds nothing). A pass walks the key index when the
// attribute filter bounds the key, else the spatial index when a spatial
// filter is set, else the data file in order; GDAL's own filters then judge
// every candidate exactly. Count and extent come from the header.
// Damage is never passed over in silence: whatever a pass meets that no
// writer leaves (a record that cannot be read, a chunk of an unknown code, a
// record damaged in itself, a sequential pass short of the header's count)
// is a CE_Failure naming the file and the offset; records damaged in
// themselves are left out and the pass goes on, ending with a CE_Failure
// after its last feature so that ogr2ogr fails.
//
// Writing: each feature's geometry becomes one or more records (see
// GafRecordPlanner.h); its texts come from the fields that play the roles of
// name, key and URL, the only fields a layer has. A feature the set cannot
// hold (or whose kind would change the layer's geometry type) is refused with
// an error naming it, and the caller may go on with the next; a failure of
// the files ends the writing with an error. Only a 64-bit set can be written
// again after its writer finished.
//
// States: a layer holds at most one open form of the set at a time. Reading
// after writing finishes the writer (the set is then complete on disk) and
// reopens the reader; writing after reading closes the readers and opens the
// set for appending.
#ifndef KRO_GDAL_OGRGAFLAYER_H
#define KRO_GDAL_OGRGAFLAYER_H

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "GafRecordReader.h"
#include "engine/EngineError.h"
#include "engine/EngineStatus.h"
#include "engine/datafile/GafRecord.h"
#include "engine/fileaccess/Env.h"
#include "ogrsf_frmts.h"

namespace kro {

class CGafReader;
class CGafWriter;

// Names of the fields that feed the texts of each record; matched in any case.
struct GafFieldRoles {
  std::string name = "name";
  std::string key = "key";
  std::string url = "url";
};

// A layer capability of this driver: an attribute filter on the key field
// walks the key index.
constexpr const char* kOLCFastKeyFilter = "FastKeyFilter";

class OGRGafLayer final : public OGRLayer {
 public:
  // A layer over an existing set; `reader` is open. With `update`, features
  // can be appended. Every later reader and writer of the layer works in the
  // environment of the reader or writer it is made with, which must outlive
  // the layer.
  OGRGafLayer(const std::string& fileName, std::unique_ptr<CGafReader> reader, bool update, RingOrganisation rings);
  // A layer of a set that `writer` has just created with coordinates of
  // `precision` bits; `geometryType` as LayerTypeDeclaredAs gives it.
  OGRGafLayer(const std::string& fileName, std::unique_ptr<CGafWriter> writer, const OGRSpatialReference* srs,
              OGRwkbGeometryType geometryType, const GafFieldRoles& roles, uint32_t precision);
  ~OGRGafLayer() override;

  void ResetReading() override;
  OGRFeature* GetNextFeature() override;
  OGRFeature* GetFeature(GIntBig fid) override;
  GIntBig GetFeatureCount(int force) override;
  OGRErr GetExtent(OGREnvelope* extent, int force) override;
  OGRErr GetExtent(int geomField, OGREnvelope* extent, int force) override;
  OGRErr SetAttributeFilter(const char* query) override;
  OGRFeatureDefn* GetLayerDefn() override { return defn_; }
  int TestCapability(const char* capability) override;
  // Adds the field that feeds a record text not fed yet, a string under the
  // text's own name (name, key or url), so that a reopened set shows it
  // again; every other field is refused with an error.
  OGRErr CreateField(OGRFieldDefn* field, int approxOK) override;
  OGRErr ICreateFeature(OGRFeature* feature) override;
  OGRErr SyncToDisk() override;

  // Finishes a running write so that the set is complete on disk; false
  // (after a CPLError naming the file) when the set could not be finished
  // or a write failed before.
  bool FinishWriting();

  // Opens `fileName` for reading; a set without its spatial index opens for
  // sequential reading with a warning. Null after a CPLError naming the file
  // and what is wrong with it.
  static std::unique_ptr<CGafReader> OpenReader(const std::string& fileName, Env& env);

 private:
  enum class PassMode { kNone, kSequential, kSpatial, kKeys, kEnded };

  void DefineFields(const GafFieldRoles& roles);
  void TakeHeader(const CGafReader& reader);
  // The reader, reopened after a write; null after a CPLError.
  CGafReader* Reader();
  bool StartPass();
  bool BeginNextKey();
  // The next object record of the pass; false at its end or after an error.
  bool NextRecord(GafFeatureRecord& record, uint32_t& position);
  OGRFeature* FeatureOf(GafFeatureRecord& record, uint32_t position);
  bool IsIndexedPosition(CGafReader& reader, uint32_t position, const OGRGeometry& geometry);
  // Ends the pass with a CE_Failure naming the file, the offset where the
  // reader stopped and the engine's phrase for its status.
  void ReportReadFailure(const CGafReader& reader);
  // A record passed over: a CE_Failure naming the file and the offset (the
  // first ones of a pass; the rest are counted for EndPass).
  void ReportDamage(uint32_t offset, const std::string& what);
  // At the end of the results: a sequential pass that met another number of
  // objects than the header counts, or any pass that passed over damage,
  // ends with a CE_Failure, so that the tools see an error after the last
  // feature.
  void EndPass();
  // Once per layer: a text that is not UTF-8 was repaired.
  void RepairTexts(GafFeatureRecord& record, uint32_t position);

  // Writing (OGRGafLayerWrite.cpp).
  CGafWriter* Writer();
  void RefuseFeature(const OGRFeature& feature, const std::string& reason);
  // After a failure of the files: the set is rolled back and the writing ends.
  void AbandonWriting(const EngineError& error);
  void ResolveRoles();
  // Whether features can be written now; otherwise RefuseWriting says why.
  bool CanWrite() const;
  void RefuseWriting() const;
  // The role (name, key, URL) whose source field is `fieldName`, or -1.
  int RoleFedBy(const char* fieldName) const;
  // Once per finished writing: records longer than fixed read buffers hold.
  void WarnLongRecords();
  // Once per layer: a text longer than readers return.
  void WarnLongTexts(const GafRecord& texts);

  std::string fileName_;
  OGRFeatureDefn* defn_ = nullptr;
  OGRSpatialReference* srs_ = nullptr;
  bool writable_ = false;
  // A 64-bit set: a finished set can be appended to.
  bool appendable_ = false;
  RingOrganisation rings_ = RingOrganisation::kByRolesOrContainment;
  GafFieldRoles roles_;
  std::array<int, 3> roleFields_{-1, -1, -1};  // name, key, URL

  Env& env_;
  std::unique_ptr<CGafReader> reader_;
  std::unique_ptr<CGafReader> randomReader_;  // GetFeature, beside a running pass
  std::unique_ptr<CGafWriter> writer_;
  bool writeFailed_ = false;
  bool longTextReported_ = false;
  long long offeredFeatures_ = 0;  // to CreateFeature, counted from 1
  long long refusedFeatures_ = 0;
  long long longRecords_ = 0;  // since the writer was opened

  // Header values of the set as last read.
  long long objectCount_ = 0;
  OGREnvelope extent_;
  bool hasSpatialIndex_ = true;
  bool hasKeyIndex_ = false;

  PassMode pass_ = PassMode::kNone;
  // Of the running pass: object records met (read whole or not), records
  // passed over as damaged, the position of the last record met.
  long long objectsMet_ = 0;
  long long damagedRecords_ = 0;
  bool invalidTextReported_ = false;
  std::optional<std::vector<std::string>> filterKeys_;
  size_t nextKey_ = 0;
};

}  // namespace kro

#endif
