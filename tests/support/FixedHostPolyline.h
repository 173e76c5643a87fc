// A host's polyline whose key, name and vertices are fixed when it is made:
// what the export reads from a host object, and nothing it can change.
// Shared by the benchmarks that export generated objects.
#ifndef KRO_TESTS_SUPPORT_FIXEDHOSTPOLYLINE_H
#define KRO_TESTS_SUPPORT_FIXEDHOSTPOLYLINE_H

#include <string>
#include <utility>
#include <vector>

#include "platform/CodePage.h"
#include "support/HostUnknown.h"

namespace kro::test {

class FixedHostPolyline final : public HostUnknown<IKroPolyline> {
 public:
  FixedHostPolyline(std::string key, std::string name, std::vector<CKroDoublePointNode> points)
      : key_(std::move(key)), name_(std::move(name)), points_(std::move(points)) {}
  HRESULT GetKey(BSTR* out) override { return Text(key_, out); }
  HRESULT GetName(BSTR* out) override { return Text(name_, out); }
  HRESULT GetURL(BSTR* out) override {
    *out = nullptr;
    return S_OK;
  }
  HRESULT SetKey(BSTR, EKroErrCode*) override { return E_NOTIMPL; }
  HRESULT SetName(BSTR, EKroErrCode*) override { return E_NOTIMPL; }
  HRESULT SetURL(BSTR, EKroErrCode*) override { return E_NOTIMPL; }
  HRESULT GetVertexAt(LONG i, double* x, double* y) override {
    if (i < 0 || static_cast<size_t>(i) >= points_.size()) return S_FALSE;
    *x = points_[i].x;
    *y = points_[i].y;
    return S_OK;
  }
  HRESULT GetNumberOfSets(int* count) override {
    *count = 1;
    return S_OK;
  }
  HRESULT GetSetNumberAt(int set, LONG* count) override {
    if (set != 0) return S_FALSE;
    *count = static_cast<LONG>(points_.size());
    return S_OK;
  }
  HRESULT SetPointArray(int, CKroDoublePointNode*, EKroErrCode*) override { return E_NOTIMPL; }
  HRESULT GetPointArray(ULONG length, CKroDoublePointNode* points, ULONG* fetched) override {
    *fetched = length < points_.size() ? length : static_cast<ULONG>(points_.size());
    for (ULONG i = 0; i < *fetched; ++i) points[i] = points_[i];
    return S_OK;
  }
  HRESULT GetPointArraySize(ULONG* length) override {
    *length = static_cast<ULONG>(points_.size());
    return S_OK;
  }

 private:
  static HRESULT Text(const std::string& text, BSTR* out) {
    *out = MultiByteToBstr(text.c_str());
    return S_OK;
  }

  std::string key_;
  std::string name_;
  std::vector<CKroDoublePointNode> points_;
};

}  // namespace kro::test

#endif
