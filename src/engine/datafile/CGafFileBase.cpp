#include "engine/datafile/CGafFileBase.h"

#include <algorithm>

namespace kro {
namespace {

constexpr int32_t kMinMaxVertices = 8;
constexpr int32_t kMaxMaxVertices = 16384;

}  // namespace

// The one implementation closes its handle itself, in its own environment.
CGafFileBase::~CGafFileBase() = default;

int32_t CGafFileBase::GetSetting1() const { return setting1_; }
int32_t CGafFileBase::GetSetting2() const { return setting2_; }
int32_t CGafFileBase::GetSetting3() const { return setting3_; }
void CGafFileBase::SetSetting3(int32_t value) { setting3_ = value; }
int32_t CGafFileBase::GetMaxVertices() const { return maxVertices_; }

int32_t CGafFileBase::SetMaxVertices(int32_t value) {
  maxVertices_ = std::clamp(value, kMinMaxVertices, kMaxMaxVertices);
  return maxVertices_;
}

uint32_t CGafFileBase::GetPrecision() const { return eGafNotSupported; }
EngineStatus CGafFileBase::SetPrecision(int16_t) { return eGafNotSupported; }
EngineStatus CGafFileBase::SetDescription(const char*) { return eGafNotSupported; }

EngineStatus CGafFileBase::ReadRecordHeader(EGafObjectType& type) {
  type = kGafUndefinedObject;
  return eGafNotSupported;
}

EngineStatus CGafFileBase::SkipRecord() { return eGafNotSupported; }

EngineStatus CGafFileBase::ReadPoint(const char*&, const char*&, const char*&, const CKroDoublePointNode*&) {
  return eGafNotSupported;
}
EngineStatus CGafFileBase::ReadMultiPoint(const char*&, const char*&, const char*&, int32_t&,
                                          const CKroDoublePointNode*&) {
  return eGafNotSupported;
}
EngineStatus CGafFileBase::ReadPolyline(const char*&, const char*&, const char*&, int32_t&,
                                        const CKroDoublePointNode*&) {
  return eGafNotSupported;
}
EngineStatus CGafFileBase::ReadPolyPolyline(const char*&, const char*&, const char*&, int32_t&, const int32_t*&,
                                            const CKroDoublePointNode*&) {
  return eGafNotSupported;
}
EngineStatus CGafFileBase::ReadPolygon(const char*&, const char*&, const char*&, int32_t&,
                                       const CKroDoublePointNode*&) {
  return eGafNotSupported;
}
EngineStatus CGafFileBase::ReadPolyPolygon(const char*&, const char*&, const char*&, int32_t&, const int32_t*&,
                                           const CKroDoublePointNode*&) {
  return eGafNotSupported;
}

EngineStatus CGafFileBase::WritePoint(const char*, const char*, const char*, const CKroDoublePointNode*,
                                      uint32_t& position, BoundingBoxNode*) {
  position = 0;
  return eGafNotSupported;
}
EngineStatus CGafFileBase::WriteMultiPoint(const char*, const char*, const char*, int32_t,
                                           const CKroDoublePointNode*, uint32_t& position, BoundingBoxNode*) {
  position = 0;
  return eGafNotSupported;
}
EngineStatus CGafFileBase::WritePolyline(const char*, const char*, const char*, int32_t, const CKroDoublePointNode*,
                                         uint32_t& position, BoundingBoxNode*) {
  position = 0;
  return eGafNotSupported;
}
EngineStatus CGafFileBase::WritePolyPolyline(const char*, const char*, const char*, int32_t, const int32_t*,
                                             const CKroDoublePointNode*, uint32_t& position, BoundingBoxNode*) {
  position = 0;
  return eGafNotSupported;
}
EngineStatus CGafFileBase::WritePolygon(const char*, const char*, const char*, int32_t, const CKroDoublePointNode*,
                                        uint32_t& position, BoundingBoxNode*) {
  position = 0;
  return eGafNotSupported;
}
EngineStatus CGafFileBase::WritePolyPolygon(const char*, const char*, const char*, int32_t, const int32_t*,
                                            const CKroDoublePointNode*, uint32_t& position, BoundingBoxNode*) {
  position = 0;
  return eGafNotSupported;
}

}  // namespace kro
