#include <algorithm>

#include "GafRecordPlanner.h"
#include "engine/EngineStatus.h"
#include "OGRGafLayer.h"
#include "cpl_error.h"
#include "engine/datafile/GafFormat.h"
#include "facade/CGafReader.h"
#include "facade/CGafWriter.h"

namespace kro {
namespace {

// Refusals reported one by one; the rest are counted and reported at the end.
constexpr long long kReportedRefusals = 20;

// What a user finds after a write session was given up.
const char* AfterRollback(bool rolledBack) {
  return rolledBack ? "the file set is left as it was before it was opened for writing (a new set is removed)"
                    : "the rollback failed too; the next open of the set rolls it back";
}

std::string TextOf(const OGRFeature& feature, int field) {
  if (field < 0 || !feature.IsFieldSetAndNotNull(field)) return std::string();
  return feature.GetFieldAsString(field);
}

}  // namespace

CGafWriter* OGRGafLayer::Writer() {
  if (writeFailed_) return nullptr;
  if (writer_ != nullptr) return writer_.get();
  ResetReading();
  reader_.reset();
  randomReader_.reset();
  writer_ = std::make_unique<CGafWriter>();
  // An append keeps the key index the set has and adds none.
  const uint32_t result = writer_->Open(fileName_.c_str(), kGafOpenAppend, 0);
  if (result == eKroOk) return writer_.get();
  CPLError(CE_Failure, CPLE_OpenFailed, "%s: cannot open the Gaf file set for appending: %s", fileName_.c_str(),
           DescribeStatus(writer_->LastStatus()).c_str());
  writer_.reset();
  writeFailed_ = true;
  return nullptr;
}

OGRErr OGRGafLayer::CreateField(OGRFieldDefn* field, int /*approxOK*/) {
  if (!writable_) {
    CPLError(CE_Failure, CPLE_NotSupported, "%s: the file set is open read-only", fileName_.c_str());
    return OGRERR_FAILURE;
  }
  if (defn_->GetFieldIndex(field->GetNameRef()) >= 0) return OGRERR_NONE;
  defn_->AddFieldDefn(field);
  ResolveRoles();
  const int added = defn_->GetFieldCount() - 1;
  if (std::find(roleFields_.begin(), roleFields_.end(), added) == roleFields_.end()) {
    WarnDroppedField(field->GetNameRef());
  }
  return OGRERR_NONE;
}

void OGRGafLayer::WarnDroppedField(const char* fieldName) {
  if (droppedFieldReported_) return;
  droppedFieldReported_ = true;
  CPLError(CE_Warning, CPLE_AppDefined,
           "%s: field %s is not stored: a Gaf record keeps only a name (field %s), a key (field %s) and a URL "
           "(field %s); other fields are dropped",
           fileName_.c_str(), fieldName, roles_.name.c_str(), roles_.key.c_str(), roles_.url.c_str());
}

void OGRGafLayer::RefuseFeature(const OGRFeature& feature, const std::string& reason) {
  if (++refusedFeatures_ > kReportedRefusals) return;
  // ogr2ogr hands features over without FIDs: name those by their turn.
  const std::string which = feature.GetFID() != OGRNullFID ? CPLSPrintf(CPL_FRMT_GIB, feature.GetFID())
                                                           : CPLSPrintf("#%lld", offeredFeatures_);
  CPLError(CE_Warning, CPLE_AppDefined, "%s: feature %s not written: %s", fileName_.c_str(), which.c_str(),
           reason.c_str());
}

void OGRGafLayer::WarnLongTexts(const ObjectTexts& texts) {
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

OGRErr OGRGafLayer::ICreateFeature(OGRFeature* feature) {
  if (!writable_) {
    CPLError(CE_Failure, CPLE_NotSupported, "%s: the file set is open read-only", fileName_.c_str());
    return OGRERR_FAILURE;
  }
  CGafWriter* writer = Writer();
  if (writer == nullptr) return OGRERR_FAILURE;
  ++offeredFeatures_;
  std::vector<PlannedRecord> records;
  const std::string refusal = PlanRecords(feature->GetGeometryRef(), writer->GetPrecision(), records);
  if (!refusal.empty()) {
    RefuseFeature(*feature, refusal);
    return OGRERR_NONE;
  }
  const ObjectTexts texts{TextOf(*feature, roleFields_[0]), TextOf(*feature, roleFields_[1]),
                          TextOf(*feature, roleFields_[2])};
  WarnLongTexts(texts);
  GIntBig firstPosition = OGRNullFID;
  for (const PlannedRecord& record : records) {
    if (writer->WriteContents(record.type, texts, record.vertices, nullptr) != eKroOk) {
      const EngineStatus status = writer->LastStatus();
      if (!writer->IsDamaged() && IsObjectRefusal(status)) {
        // The writer refuses a key its index cannot hold before touching a file.
        RefuseFeature(*feature, status == kEngineOk ? "the key is longer than the key index holds (a set "
                                                      "created with KEY_INDEX=NO takes it)"
                                                    : DescribeStatus(status));
        return OGRERR_NONE;
      }
      AbandonWriting(status);
      return OGRERR_FAILURE;
    }
    if (firstPosition == OGRNullFID) firstPosition = writer->LastRecordPosition();
  }
  feature->SetFID(firstPosition);
  return OGRERR_NONE;
}

void OGRGafLayer::AbandonWriting(EngineStatus status) {
  const bool rolledBack = writer_->Discard() == eKroOk;
  writer_.reset();
  writeFailed_ = true;
  CPLError(CE_Failure, CPLE_FileIO, "%s: writing failed: %s; %s", fileName_.c_str(), DescribeStatus(status).c_str(),
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
  const EngineStatus status = writer_->LastStatus();
  writer_.reset();
  if (result != eKroOk) {
    CPLError(CE_Failure, CPLE_FileIO, "%s: the file set could not be finished: %s; %s", fileName_.c_str(),
             DescribeStatus(status).c_str(), AfterRollback(status != eGafJournalError));
    writeFailed_ = true;
  }
  return !writeFailed_;
}

OGRErr OGRGafLayer::SyncToDisk() { return FinishWriting() ? OGRERR_NONE : OGRERR_FAILURE; }

}  // namespace kro
