// Geometry objects as a host implements them: its own reference counting and
// interface lookup, nothing of the library's component classes. Each object
// holds a fixed shape; the setters are not needed by an export and answer
// E_NOTIMPL. A shape can be told to misbehave the way a faulty host might.
#ifndef KRO_TESTS_DRIVERS_HOSTGEOMETRY_H
#define KRO_TESTS_DRIVERS_HOSTGEOMETRY_H

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "KroGafExportImport/KroGafExportImport.h"
#include "com/ComPtr.h"
#include "platform/CodePage.h"
#include "support/HostUnknown.h"

namespace kro::test {

struct HostShape {
  EGafObjectType kind = kGafPointObject;
  // UTF-8; an absent text is handed out as a null string.
  std::optional<std::string> key;
  std::optional<std::string> name;
  std::optional<std::string> url;
  std::vector<LONG> setCounts;
  std::vector<CKroDoublePointNode> points;
  // The vertex array delivers this many vertices fewer than asked for.
  ULONG shortDelivery = 0;
};

template <class Itf>
class HostGeometry final : public HostUnknown<Itf> {
 public:
  explicit HostGeometry(HostShape shape) : shape_(std::move(shape)) {}

  static ComPtr<Itf> Make(HostShape shape) { return ComPtr<Itf>::Share(new HostGeometry(std::move(shape))); }

  HRESULT GetKey(BSTR* out) override { return Text(shape_.key, out); }
  HRESULT SetKey(BSTR, EKroErrCode*) override { return E_NOTIMPL; }
  HRESULT SetName(BSTR, EKroErrCode*) override { return E_NOTIMPL; }
  HRESULT GetName(BSTR* out) override { return Text(shape_.name, out); }
  HRESULT SetURL(BSTR, EKroErrCode*) override { return E_NOTIMPL; }
  HRESULT GetURL(BSTR* out) override { return Text(shape_.url, out); }
  HRESULT GetVertexAt(LONG index, double* x, double* y) override {
    if (x == nullptr || y == nullptr) return E_POINTER;
    if (index < 0 || static_cast<size_t>(index) >= shape_.points.size()) return S_FALSE;
    *x = shape_.points[static_cast<size_t>(index)].x;
    *y = shape_.points[static_cast<size_t>(index)].y;
    return S_OK;
  }
  HRESULT GetNumberOfSets(int* count) override {
    if (count == nullptr) return E_POINTER;
    if (shape_.setCounts.empty()) return S_FALSE;
    *count = static_cast<int>(shape_.setCounts.size());
    return S_OK;
  }
  HRESULT GetSetNumberAt(int index, LONG* count) override {
    if (count == nullptr) return E_POINTER;
    if (index < 0 || static_cast<size_t>(index) >= shape_.setCounts.size()) return S_FALSE;
    *count = shape_.setCounts[static_cast<size_t>(index)];
    return S_OK;
  }

  // The members of the typed interfaces; each overrides where Itf has it.
  HRESULT SetCoords(double, double) { return E_NOTIMPL; }
  HRESULT GetCoords(double* x, double* y) { return GetVertexAt(0, x, y); }
  HRESULT SetPointArray(int, CKroDoublePointNode*, EKroErrCode*) { return E_NOTIMPL; }
  HRESULT SetMultiPointArray(int, LONG*, int, CKroDoublePointNode*, EKroErrCode*) { return E_NOTIMPL; }
  HRESULT GetPointArray(ULONG length, CKroDoublePointNode* points, ULONG* fetched) {
    if (fetched == nullptr) return E_POINTER;
    *fetched = 0;
    if (length == 0) return S_OK;
    if (points == nullptr) return E_POINTER;
    ULONG count = std::min<ULONG>(length, static_cast<ULONG>(shape_.points.size()));
    count -= std::min(count, shape_.shortDelivery);
    std::copy(shape_.points.begin(), shape_.points.begin() + count, points);
    *fetched = count;
    return S_OK;
  }
  HRESULT GetPointArraySize(ULONG* length) {
    if (length == nullptr) return E_POINTER;
    *length = static_cast<ULONG>(shape_.points.size());
    return S_OK;
  }

 private:
  static HRESULT Text(const std::optional<std::string>& text, BSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = text ? MultiByteToBstr(text->c_str()) : nullptr;
    return S_OK;
  }

  HostShape shape_;
};

// A host object of the shape's kind, seen through IKroGeometry.
inline ComPtr<IKroGeometry> MakeHostObject(const HostShape& shape) {
  auto upcast = [](auto typed) { return ComPtr<IKroGeometry>::Share(typed.Get()); };
  switch (shape.kind) {
    case kGafPointObject:
      return upcast(HostGeometry<IKroPoint>::Make(shape));
    case kGafPolylineObject:
      return upcast(HostGeometry<IKroPolyline>::Make(shape));
    case kGafPolyPolylineObject:
      return upcast(HostGeometry<IKroPolyPolyline>::Make(shape));
    case kGafPolygonObject:
      return upcast(HostGeometry<IKroPolygon>::Make(shape));
    default:
      return upcast(HostGeometry<IKroPolyPolygon>::Make(shape));
  }
}

}  // namespace kro::test

#endif
