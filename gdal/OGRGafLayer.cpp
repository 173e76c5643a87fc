#include "OGRGafLayer.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "GafCoordSysMetadata.h"
#include "GafFileNames.h"
#include "GafKeyFilter.h"
#include "GafRecordDamage.h"
#include "GafUtf8.h"
#include "cpl_error.h"
#include "engine/datafile/GafCoordSys.h"
#include "engine/datafile/GafFormat.h"
#include "engine/EngineStatus.h"
#include "fileset/CGafReader.h"
#include "fileset/CGafWriter.h"

namespace kro {
namespace {

enum RoleIndex { kNameRole = 0, kKeyRole = 1, kUrlRole = 2 };

// The layer's geometry type from the kinds present: a set of one kind
// reports it as the shapefile driver does (Point, LineString, Polygon,
// whose features may also be multi-part); a mixed or empty set is Unknown.
OGRwkbGeometryType GeometryTypeOf(const CGafReader& reader) {
  const bool points = reader.HasKind(kGafPointObject);
  const bool lines = reader.HasKind(kGafPolylineObject);
  const bool areas = reader.HasKind(kGafPolygonObject);
  if (points + lines + areas != 1) return wkbUnknown;
  return points ? wkbPoint : lines ? wkbLineString : wkbPolygon;
}

bool IsObjectKind(EGafObjectType kind) { return kind >= kGafPointObject && kind <= kGafPolyPolygonObject; }

// Damaged records a pass reports one by one; the rest are counted at its end.
constexpr long long kReportedDamages = 20;

std::string Hex(uint32_t offset) { return CPLSPrintf("0x%X", offset); }

// Damage the driver finds in a record the engine read, said as the engine
// says its own.
std::string Damage(const std::string& fileName, uint32_t offset, const std::string& what) {
  return EngineError{eGafBadFormat, fileName, offset, what}.Describe();
}

void ReportPassedOver(const std::string& fileName, uint32_t offset, const std::string& what) {
  CPLError(CE_Failure, CPLE_AppDefined, "%s; the record is passed over", Damage(fileName, offset, what).c_str());
}

// A box around `envelope` wide enough to meet the box the index stored for
// an object whose coordinates, rounded to single precision, meet `envelope`:
// the index took its boxes before that rounding.
BoundingBoxNode IndexQueryBox(const OGREnvelope& envelope) {
  const double scale = std::max({std::fabs(envelope.MinX), std::fabs(envelope.MaxX), std::fabs(envelope.MinY),
                                 std::fabs(envelope.MaxY), 1.0});
  const double margin = scale * 1e-6;
  return {envelope.MinX - margin, envelope.MinY - margin, envelope.MaxX + margin, envelope.MaxY + margin};
}

}  // namespace

OGRGafLayer::OGRGafLayer(const std::string& fileName, std::unique_ptr<CGafReader> reader, bool update,
                         RingOrganisation rings)
    : fileName_(fileName), writable_(update), rings_(rings), env_(reader->Environment()), reader_(std::move(reader)) {
  defn_ = new OGRFeatureDefn(CPLGetBasename(fileName.c_str()));
  defn_->Reference();
  SetDescription(defn_->GetName());
  defn_->SetGeomType(GeometryTypeOf(*reader_));
  appendable_ = reader_->GetPrecision() == gaf::kDoubleCoordinateBits;
  if (reader_->HasMetaData() != 0) {
    GafCoordSys record;
    reader_->CopyCoordSys(&record);
    srs_ = SpatialReferenceOf(record).release();
    SetMetadata(CoordSysMetadata(record).List());
  }
  if (const char* description = reader_->GetDescription()) SetMetadataItem("DESCRIPTION", description);
  SetMetadataItem("PRECISION", CPLSPrintf("%u", reader_->GetPrecision()));
  if (defn_->GetGeomFieldCount() > 0) defn_->GetGeomFieldDefn(0)->SetSpatialRef(srs_);
  DefineFields(GafFieldRoles());
  TakeHeader(*reader_);
}

OGRGafLayer::OGRGafLayer(const std::string& fileName, std::unique_ptr<CGafWriter> writer,
                         const OGRSpatialReference* srs, OGRwkbGeometryType geometryType, const GafFieldRoles& roles,
                         uint32_t precision)
    : fileName_(fileName),
      writable_(true),
      appendable_(precision == gaf::kDoubleCoordinateBits),
      roles_(roles),
      env_(writer->Environment()),
      writer_(std::move(writer)) {
  defn_ = new OGRFeatureDefn(CPLGetBasename(fileName.c_str()));
  defn_->Reference();
  SetDescription(defn_->GetName());
  defn_->SetGeomType(geometryType);
  if (srs != nullptr) {
    srs_ = srs->Clone();
    srs_->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    if (defn_->GetGeomFieldCount() > 0) defn_->GetGeomFieldDefn(0)->SetSpatialRef(srs_);
  }
  hasKeyIndex_ = writer_->HasKeyIndex();
}

OGRGafLayer::~OGRGafLayer() {
  FinishWriting();
  defn_->Release();
  if (srs_ != nullptr) srs_->Release();
}

void OGRGafLayer::DefineFields(const GafFieldRoles& roles) {
  roles_ = roles;
  for (const std::string* name : {&roles.name, &roles.key, &roles.url}) {
    OGRFieldDefn field(name->c_str(), OFTString);
    defn_->AddFieldDefn(&field);
  }
  ResolveRoles();
}

void OGRGafLayer::ResolveRoles() {
  const std::string* names[] = {&roles_.name, &roles_.key, &roles_.url};
  for (size_t i = 0; i < roleFields_.size(); ++i) roleFields_[i] = defn_->GetFieldIndex(names[i]->c_str());
}

void OGRGafLayer::TakeHeader(const CGafReader& reader) {
  objectCount_ = reader.GetNumberOfObjects();
  BoundingBoxNode box{};
  reader.GetBoundingBox(&box);
  extent_.MinX = box.xMin;
  extent_.MinY = box.yMin;
  extent_.MaxX = box.xMax;
  extent_.MaxY = box.yMax;
  hasSpatialIndex_ = reader.HasSpatialIndex();
  hasKeyIndex_ = reader.HasKeyIndex();
}

std::unique_ptr<CGafReader> OGRGafLayer::OpenReader(const std::string& fileName, Env& env) {
  auto reader = std::make_unique<CGafReader>(env);
  if (reader->OpenForRead(fileName.c_str(), kGafReadOnly) == eKroOk) return reader;
  const EngineStatus status = reader->LastStatus();
  if (status == eSifCannotOpen && !FileExists(CompanionName(fileName, "sif"))) {
    reader = std::make_unique<CGafReader>(env);
    if (reader->OpenDataFileOnly(fileName.c_str()) == eKroOk) {
      CPLError(CE_Warning, CPLE_AppDefined, "%s: the spatial index (.sif) is missing; reading sequentially only",
               fileName.c_str());
      return reader;
    }
  }
  CPLError(CE_Failure, CPLE_OpenFailed, "%s: cannot open the Gaf file set: %s", fileName.c_str(),
           reader->LastError().Describe().c_str());
  return nullptr;
}

CGafReader* OGRGafLayer::Reader() {
  if (reader_ != nullptr) return reader_.get();
  if (writer_ != nullptr && !FinishWriting()) return nullptr;
  if (writeFailed_) return nullptr;
  reader_ = OpenReader(fileName_, env_);
  if (reader_ != nullptr) TakeHeader(*reader_);
  return reader_.get();
}

void OGRGafLayer::ResetReading() {
  if (pass_ != PassMode::kNone && reader_ != nullptr && reader_->IsOpen()) reader_->EndSearch();
  pass_ = PassMode::kNone;
}

OGRErr OGRGafLayer::SetAttributeFilter(const char* query) {
  const OGRErr result = OGRLayer::SetAttributeFilter(query);
  filterKeys_.reset();
  if (result == OGRERR_NONE && m_poAttrQuery != nullptr && hasKeyIndex_) {
    filterKeys_ = KeysRequiredBy(m_poAttrQuery->GetSWQExpr(), roleFields_[kKeyRole]);
  }
  ResetReading();
  return result;
}

bool OGRGafLayer::StartPass() {
  CGafReader* reader = Reader();
  if (reader == nullptr) return false;
  objectsMet_ = 0;
  damagedRecords_ = 0;
  EKroErrCode result = eKroOk;
  if (filterKeys_ && reader->HasKeyIndex()) {
    nextKey_ = 0;
    pass_ = PassMode::kKeys;
    CPLDebug("Gaf", "%s: key index pass for %zu key(s)", fileName_.c_str(), filterKeys_->size());
    return BeginNextKey();
  }
  if (m_poFilterGeom != nullptr && reader->HasSpatialIndex()) {
    // Widened: a 32-bit set's index boxes come from the unrounded coordinates.
    const BoundingBoxNode box = IndexQueryBox(m_sFilterEnvelope);
    result = reader->BeginSpatialSearch(&box);
    pass_ = PassMode::kSpatial;
    CPLDebug("Gaf", "%s: spatial index pass", fileName_.c_str());
  } else {
    result = reader->BeginSequential();
    pass_ = PassMode::kSequential;
    CPLDebug("Gaf", "%s: sequential pass", fileName_.c_str());
  }
  if (result == eKroOk) return true;
  ReportReadFailure(*reader);
  return false;
}

bool OGRGafLayer::BeginNextKey() {
  if (nextKey_ == filterKeys_->size()) {
    EndPass();
    return false;
  }
  if (reader_->BeginKeySearch((*filterKeys_)[nextKey_++].c_str()) == eKroOk) return true;
  ReportReadFailure(*reader_);
  return false;
}

void OGRGafLayer::ReportReadFailure(const CGafReader& reader) {
  CPLError(CE_Failure, CPLE_FileIO, "%s: reading failed after %lld object(s): %s", fileName_.c_str(), objectsMet_,
           reader.LastError().Describe().c_str());
  pass_ = PassMode::kEnded;
}

void OGRGafLayer::ReportDamage(uint32_t offset, const std::string& what) {
  if (++damagedRecords_ <= kReportedDamages) ReportPassedOver(fileName_, offset, what);
}

void OGRGafLayer::EndPass() {
  const bool wholeFile = pass_ == PassMode::kSequential;
  pass_ = PassMode::kEnded;
  if (wholeFile && objectsMet_ != objectCount_) {
    const std::string what =
        CPLSPrintf("the header counts %lld objects, but the records end here after %lld", objectCount_, objectsMet_);
    CPLError(CE_Failure, CPLE_AppDefined, "%s", Damage(fileName_, reader_->CurrentPosition(), what).c_str());
  } else if (damagedRecords_ > 0) {
    CPLError(CE_Failure, CPLE_AppDefined, "%s: %lld damaged record(s) were passed over (%s)", fileName_.c_str(),
             damagedRecords_, StatusName(eGafBadFormat));
  }
}

bool OGRGafLayer::NextRecord(GafFeatureRecord& record, uint32_t& position) {
  if (pass_ == PassMode::kNone && !StartPass()) return false;
  if (pass_ == PassMode::kEnded) return false;
  // Every turn consumes a record or a key, both finite.
  for (;;) {
    EGafObjectType kind = kGafUndefinedObject;
    const EKroErrCode result = reader_->NextResult(&kind);
    if (result == eKroEndOfGaf) {
      if (pass_ == PassMode::kKeys) {
        if (BeginNextKey()) continue;
        return false;
      }
      EndPass();
      return false;
    }
    if (result != eKroOk) break;
    position = reader_->CurrentPosition();
    // A free record holds no object; a chunk of any other code has no place
    // in the object area: it is damage, passed over by its length.
    if (kind == gaf::kFreeRecordType) continue;
    if (!IsObjectKind(kind)) {
      ReportDamage(position, "a chunk of a code that no record has");
      continue;
    }
    ++objectsMet_;
    if (ReadGafRecord(*reader_, rings_, record) != eKroOk) break;
    const std::string damage = RecordDamage(*reader_, kind, *record.geometry);
    if (damage.empty()) return true;
    ReportDamage(position, damage);
  }
  ReportReadFailure(*reader_);
  return false;
}

void OGRGafLayer::RepairTexts(GafFeatureRecord& record, uint32_t position) {
  bool repaired = false;
  for (std::string* text : {&record.name, &record.key, &record.url}) repaired = RepairUtf8(*text) || repaired;
  if (!repaired || invalidTextReported_) return;
  invalidTextReported_ = true;
  CPLError(CE_Warning, CPLE_AppDefined,
           "%s: a text of the record at offset %s is not valid UTF-8; each invalid byte reads as U+FFFD "
           "(reported once)",
           fileName_.c_str(), Hex(position).c_str());
}

OGRFeature* OGRGafLayer::FeatureOf(GafFeatureRecord& record, uint32_t position) {
  RepairTexts(record, position);
  auto* feature = new OGRFeature(defn_);
  feature->SetFID(position);
  const std::string* texts[] = {&record.name, &record.key, &record.url};
  for (size_t i = 0; i < roleFields_.size(); ++i) {
    if (roleFields_[i] >= 0) feature->SetField(roleFields_[i], texts[i]->c_str());
  }
  record.geometry->assignSpatialReference(srs_);
  feature->SetGeometryDirectly(record.geometry.release());
  return feature;
}

OGRFeature* OGRGafLayer::GetNextFeature() {
  GafFeatureRecord record;
  uint32_t position = 0;
  while (NextRecord(record, position)) {
    if (m_poFilterGeom != nullptr && !FilterGeometry(record.geometry.get())) continue;
    OGRFeature* feature = FeatureOf(record, position);
    if (m_poAttrQuery == nullptr || m_poAttrQuery->Evaluate(feature)) return feature;
    delete feature;
  }
  return nullptr;
}

OGRFeature* OGRGafLayer::GetFeature(GIntBig fid) {
  if (fid <= 0 || fid > std::numeric_limits<uint32_t>::max() || fid % 2 != 0) return nullptr;
  if (Reader() == nullptr) return nullptr;
  if (randomReader_ == nullptr) randomReader_ = OpenReader(fileName_, env_);
  if (randomReader_ == nullptr) return nullptr;
  CGafReader& reader = *randomReader_;
  const auto position = static_cast<uint32_t>(fid);
  EGafObjectType kind = kGafUndefinedObject;
  GafFeatureRecord record;
  const bool read = reader.BeginAt(position) == eKroOk && reader.NextResult(&kind) == eKroOk &&
                    IsObjectKind(kind) && ReadGafRecord(reader, rings_, record) == eKroOk;
  const std::string lengthDamage = read ? LengthDamage(reader, kind) : std::string();
  reader.EndSearch();
  if (!read) return nullptr;
  // No index entry can be looked up by a box that is not a number.
  std::string damage = CoordinateDamage(*record.geometry);
  // A number that is no record's position reads as anything: only an
  // indexed record is one, and only then is a length that is off damage.
  if (damage.empty()) {
    if (!IsIndexedPosition(reader, position, *record.geometry)) return nullptr;
    damage = lengthDamage;
  }
  if (!damage.empty()) {
    ReportPassedOver(fileName_, position, damage);
    return nullptr;
  }
  return FeatureOf(record, position);
}

bool OGRGafLayer::IsIndexedPosition(CGafReader& reader, uint32_t position, const OGRGeometry& geometry) {
  if (!reader.HasSpatialIndex()) return true;
  OGREnvelope envelope;
  geometry.getEnvelope(&envelope);
  const BoundingBoxNode box = IndexQueryBox(envelope);
  bool found = false;
  EGafObjectType kind = kGafUndefinedObject;
  if (reader.BeginSpatialSearch(&box) == eKroOk) {
    while (!found && reader.NextResult(&kind) == eKroOk) found = reader.CurrentPosition() == position;
    reader.EndSearch();
  }
  return found;
}

GIntBig OGRGafLayer::GetFeatureCount(int force) {
  if (m_poFilterGeom != nullptr || m_poAttrQuery != nullptr) return OGRLayer::GetFeatureCount(force);
  if (Reader() == nullptr) return -1;
  return objectCount_;
}

OGRErr OGRGafLayer::GetExtent(OGREnvelope* extent, int /*force*/) {
  if (Reader() == nullptr || objectCount_ == 0) return OGRERR_FAILURE;
  *extent = extent_;
  return OGRERR_NONE;
}

OGRErr OGRGafLayer::GetExtent(int geomField, OGREnvelope* extent, int force) {
  if (geomField != 0) return OGRERR_FAILURE;
  return GetExtent(extent, force);
}

int OGRGafLayer::TestCapability(const char* capability) {
  if (EQUAL(capability, OLCRandomRead) || EQUAL(capability, OLCFastGetExtent) ||
      EQUAL(capability, OLCStringsAsUTF8)) {
    return TRUE;
  }
  if (EQUAL(capability, OLCFastFeatureCount)) return m_poFilterGeom == nullptr && m_poAttrQuery == nullptr;
  if (EQUAL(capability, OLCFastSpatialFilter)) return hasSpatialIndex_;
  if (EQUAL(capability, kOLCFastKeyFilter)) return hasKeyIndex_;
  if (EQUAL(capability, OLCSequentialWrite)) return CanWrite();
  if (EQUAL(capability, OLCCreateField)) {
    return CanWrite() && std::find(roleFields_.begin(), roleFields_.end(), -1) != roleFields_.end();
  }
  return FALSE;
}

}  // namespace kro
