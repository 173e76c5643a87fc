#include <string>

#include "GafLayerGeometry.h"
#include "GafRecordPlanner.h"
#include "engine/EngineStatus.h"
#include "OGRGafLayer.h"
#include "cpl_error.h"
#include "engine/datafile/GafFormat.h"
#include "fileset/CGafReader.h"
#include "fileset/CGafWriter.h"

namespace kro {
namespace {

// The source field of role `role` (name, key, URL); the default roles are
// the texts' own names, under which a layer shows its fields.
const std::string& SourceOf(const GafFieldRoles& roles, int role) {
  return role == 0 ? roles.name : role == 1 ? roles.key : roles.url;
}

// What a user finds after a write session was given up.
const char* AfterRollback(bool rolledBack) {
  return rolledBack ? "the file set is left as it was before it was opened for writing (a new set is removed)"
                    : "the rollback failed too; the next open of the set rolls it back";
}

std::string TextOf(const OGRFeature& feature, int field) {
  if (field < 0 || !feature.IsFieldSetAndNotNull(field)) return std::string();
  return feature.GetFieldAsString(field);
}

// 16384 as "16,384".
std::string WithThousandsSeparators(uint64_t number) {
  std::string digits = std::to_string(number);
  for (size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
  return digits;
}

// Why the records planned for `geometry` do not go into a layer of
// `layerType`, or the empty text.
std::string KindRefusal(OGRwkbGeometryType layerType, const std::vector<PlannedRecord>& records,
                        const OGRGeometry& geometry) {
  for (const PlannedRecord& record : records) {
    if (LayerTypeTakes(layerType, record.kind)) continue;
    return std::string("a ") + OGRGeometryTypeToName(geometry.getGeometryType()) + " does not belong in a " +
           OGRGeometryTypeToName(layerType) + " layer";
  }
  return std::string();
}

}  // namespace

CGafWriter* OGRGafLayer::Writer() {
  if (writeFailed_) return nullptr;
  if (writer_ != nullptr) return writer_.get();
  ResetReading();
  reader_.reset();
  randomReader_.reset();
  writer_ = std::make_unique<CGafWriter>(env_);
  // An append keeps the key index the set has and adds none.
  if (writer_->Open(fileName_.c_str(), kGafOpenAppend, 0) == eKroOk) return writer_.get();
  CPLError(CE_Failure, CPLE_OpenFailed, "%s: cannot open the Gaf file set for appending: %s", fileName_.c_str(),
           writer_->LastError().Describe().c_str());
  writer_.reset();
  writeFailed_ = true;
  return nullptr;
}

bool OGRGafLayer::CanWrite() const {
  return writable_ && !writeFailed_ && (writer_ != nullptr || appendable_);
}

void OGRGafLayer::RefuseWriting() const {
  const char* reason = !writable_     ? "the file set is open read-only"
                       : writeFailed_ ? "an earlier write failed; reopen the file set to write again"
                                      : "only a 64-bit set can be appended to, and this one stores 32-bit coordinates";
  CPLError(CE_Failure, CPLE_NotSupported, "%s: %s", fileName_.c_str(), reason);
}

int OGRGafLayer::RoleFedBy(const char* fieldName) const {
  for (int role = 0; role < static_cast<int>(roleFields_.size()); ++role) {
    if (EQUAL(fieldName, SourceOf(roles_, role).c_str())) return role;
  }
  return -1;
}

OGRErr OGRGafLayer::CreateField(OGRFieldDefn* field, int approxOK) {
  if (!CanWrite()) {
    RefuseWriting();
    return OGRERR_FAILURE;
  }
  const int role = RoleFedBy(field->GetNameRef());
  // While the layer still takes fields, a field it cannot keep is a warning:
  // ogr2ogr goes on without it and converts what the format holds.
  if (role < 0) {
    CPLError(TestCapability(OLCCreateField) ? CE_Warning : CE_Failure, CPLE_NotSupported,
             "%s: field %s is not stored: a Gaf record keeps only a name, a key and a URL, fed by the fields "
             "%s, %s and %s (layer creation options NAME_FIELD, KEY_FIELD and URL_FIELD)",
             fileName_.c_str(), field->GetNameRef(), roles_.name.c_str(), roles_.key.c_str(), roles_.url.c_str());
    return OGRERR_FAILURE;
  }
  if (roleFields_[role] >= 0) return OGRERR_NONE;
  if (field->GetType() != OFTString && !approxOK) {
    CPLError(CE_Failure, CPLE_NotSupported, "%s: field %s can only be stored as a string", fileName_.c_str(),
             field->GetNameRef());
    return OGRERR_FAILURE;
  }
  OGRFieldDefn text(SourceOf(GafFieldRoles(), role).c_str(), OFTString);
  defn_->AddFieldDefn(&text);
  roleFields_[role] = defn_->GetFieldCount() - 1;
  return OGRERR_NONE;
}

void OGRGafLayer::RefuseFeature(const OGRFeature& feature, const std::string& reason) {
  ++refusedFeatures_;
  // ogr2ogr hands features over without FIDs: name those by their turn.
  const std::string which = feature.GetFID() != OGRNullFID ? CPLSPrintf(CPL_FRMT_GIB, feature.GetFID())
                                                           : CPLSPrintf("#%lld", offeredFeatures_);
  CPLError(CE_Failure, CPLE_AppDefined, "%s: feature %s not written: %s", fileName_.c_str(), which.c_str(),
           reason.c_str());
}

void OGRGafLayer::WarnLongTexts(const GafRecord& texts) {
  if (longTextReported_) return;
  for (const std::string* text : {&texts.name, &texts.key, &texts.url}) {
    if (text->size() <= gaf::kMaxTextBytes) continue;
    longTextReported_ = true;
    CPLError(CE_Warning, CPLE_AppDefined,
             "%s: a text of %zu bytes is stored whole, but readers of the set return its first %u bytes",
             fileName_.c_str(), text->size(), gaf::kMaxTextBytes);
    return;
  }
}

void OGRGafLayer::WarnLongRecords() {
  if (longRecords_ > 0 && !writeFailed_) {
    CPLError(CE_Warning, CPLE_AppDefined, "%s: %lld %s more than %s vertices; Gaf readers with fixed buffers stop there",
             fileName_.c_str(), longRecords_, longRecords_ == 1 ? "record has" : "records have",
             WithThousandsSeparators(gaf::kReadCapacity).c_str());
  }
  longRecords_ = 0;
}

OGRErr OGRGafLayer::ICreateFeature(OGRFeature* feature) {
  if (!CanWrite()) {
    RefuseWriting();
    return OGRERR_FAILURE;
  }
  CGafWriter* writer = Writer();
  if (writer == nullptr) return OGRERR_FAILURE;
  ++offeredFeatures_;
  std::vector<PlannedRecord> records;
  std::string refusal = PlanRecords(feature->GetGeometryRef(), writer->GetPrecision(), records);
  if (refusal.empty()) refusal = KindRefusal(defn_->GetGeomType(), records, *feature->GetGeometryRef());
  if (!refusal.empty()) {
    RefuseFeature(*feature, refusal);
    return OGRERR_FAILURE;
  }
  GafRecord texts;
  texts.name = TextOf(*feature, roleFields_[0]);
  texts.key = TextOf(*feature, roleFields_[1]);
  texts.url = TextOf(*feature, roleFields_[2]);
  WarnLongTexts(texts);
  GIntBig firstPosition = OGRNullFID;
  for (PlannedRecord& record : records) {
    record.name = texts.name;
    record.key = texts.key;
    record.url = texts.url;
    if (writer->Write(record, nullptr) != eKroOk) {
      // A refusal leaves every file as it was; anything else ends the writing.
      if (!writer->IsDamaged() && IsObjectRefusal(writer->LastStatus())) {
        RefuseFeature(*feature, writer->LastError().Describe());
        return OGRERR_FAILURE;
      }
      AbandonWriting(writer->LastError());
      return OGRERR_FAILURE;
    }
    if (record.vertices.size() > gaf::kReadCapacity) ++longRecords_;
    if (firstPosition == OGRNullFID) firstPosition = writer->LastRecordPosition();
  }
  feature->SetFID(firstPosition);
  return OGRERR_NONE;
}

void OGRGafLayer::AbandonWriting(const EngineError& error) {
  const bool rolledBack = writer_->Discard() == eKroOk;
  writer_.reset();
  writeFailed_ = true;
  CPLError(CE_Failure, CPLE_FileIO, "%s: writing failed: %s; %s", fileName_.c_str(), error.Describe().c_str(),
           AfterRollback(rolledBack));
}

bool OGRGafLayer::FinishWriting() {
  if (refusedFeatures_ > 0) {
    CPLError(CE_Warning, CPLE_AppDefined, "%s: %lld feature(s) were not written", fileName_.c_str(),
             refusedFeatures_);
    refusedFeatures_ = 0;
  }
  if (writer_ == nullptr) return !writeFailed_;
  const EKroErrCode result = writer_->Finish();
  const EngineError error = writer_->LastError();
  writer_.reset();
  if (result != eKroOk) {
    CPLError(CE_Failure, CPLE_FileIO, "%s: the file set could not be finished: %s; %s", fileName_.c_str(),
             error.Describe().c_str(), AfterRollback(error.status != eGafJournalError));
    writeFailed_ = true;
  }
  WarnLongRecords();
  return !writeFailed_;
}

OGRErr OGRGafLayer::SyncToDisk() { return FinishWriting() ? OGRERR_NONE : OGRERR_FAILURE; }

}  // namespace kro
