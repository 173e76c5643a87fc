// A host's geometry source that makes each object when it is asked for, as a
// host streaming its layer does: `count` objects, object i made by
// `make(i)`. Shared by the benchmarks that export generated objects.
#ifndef KRO_TESTS_SUPPORT_STREAMINGHOSTSOURCE_H
#define KRO_TESTS_SUPPORT_STREAMINGHOSTSOURCE_H

#include <cstdint>
#include <utility>

#include "support/HostUnknown.h"

namespace kro::test {

// A new host object holding the one reference its creator hands on.
template <class T, class... Args>
T* NewHeld(Args&&... args) {
  T* object = new T(std::forward<Args>(args)...);
  object->AddRef();
  return object;
}

// Makes object `index` as a new object holding one reference.
using MakeHostObject = IKroGeometry* (*)(uint64_t index);

class StreamingHostEnumerator final : public HostUnknown<IKroEnumGeometry> {
 public:
  StreamingHostEnumerator(uint64_t count, LONG maxVertices, MakeHostObject make)
      : count_(count), maxVertices_(maxVertices), make_(make) {}
  HRESULT Reset() override {
    next_ = 0;
    return S_OK;
  }
  HRESULT Skip(ULONG count) override {
    next_ += count;
    return S_OK;
  }
  HRESULT Clone(IKroEnumGeometry**) override { return E_NOTIMPL; }
  HRESULT Next(ULONG count, IKroGeometry** objects, ULONG* fetched) override {
    *fetched = 0;
    while (*fetched < count && next_ < count_) objects[(*fetched)++] = make_(next_++);
    return *fetched == count ? S_OK : S_FALSE;
  }
  HRESULT MaxVertexCount(LONG* value) override {
    *value = maxVertices_;
    return S_OK;
  }
  HRESULT GetNumPlinesFailed(LONG* value) override {
    *value = 0;
    return S_OK;
  }

 private:
  uint64_t count_;
  LONG maxVertices_;
  MakeHostObject make_;
  uint64_t next_ = 0;
};

class StreamingHostSource final : public HostUnknown<IKroGeometrySource> {
 public:
  StreamingHostSource(uint64_t count, LONG maxVertices, MakeHostObject make)
      : count_(count), maxVertices_(maxVertices), make_(make) {}
  HRESULT EnumGeometry(IKroEnumGeometry** out) override {
    *out = NewHeld<StreamingHostEnumerator>(count_, maxVertices_, make_);
    return S_OK;
  }
  HRESULT GetNumberOfObjects(LONG* count) override {
    *count = static_cast<LONG>(count_);
    return S_OK;
  }

 private:
  uint64_t count_;
  LONG maxVertices_;
  MakeHostObject make_;
};

}  // namespace kro::test

#endif
