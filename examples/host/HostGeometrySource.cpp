#include "HostGeometrySource.h"

#include <utility>

namespace {

// Walks the source's list; Next hands out new references.
class HostEnumGeometry : public IKroEnumGeometry {
 public:
  explicit HostEnumGeometry(const std::vector<kro::KroComPtr<IKroGeometry>>& objects) : objects_(objects) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IKroEnumGeometry) return E_NOINTERFACE;
    *ppv = static_cast<IKroEnumGeometry*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT Reset() override {
    next_ = 0;
    return S_OK;
  }
  HRESULT Skip(ULONG count) override {
    next_ += count;
    return S_OK;
  }
  HRESULT Clone(IKroEnumGeometry** ppEnum) override {
    if (ppEnum == nullptr) return E_POINTER;
    *ppEnum = new HostEnumGeometry(objects_);
    return S_OK;
  }
  HRESULT Next(ULONG count, IKroGeometry** objects, ULONG* fetched) override {
    if (objects == nullptr || fetched == nullptr) return E_POINTER;
    *fetched = 0;
    while (*fetched < count && next_ < objects_.size()) {
      IKroGeometry* object = objects_[next_++].Get();
      object->AddRef();
      objects[(*fetched)++] = object;
    }
    return *fetched == count ? S_OK : S_FALSE;
  }
  HRESULT MaxVertexCount(LONG* value) override {
    if (value == nullptr) return E_POINTER;
    *value = 0;
    return S_OK;
  }
  HRESULT GetNumPlinesFailed(LONG* value) override {
    if (value == nullptr) return E_POINTER;
    *value = 0;
    return S_OK;
  }

 private:
  virtual ~HostEnumGeometry() = default;
  std::vector<kro::KroComPtr<IKroGeometry>> objects_;
  size_t next_ = 0;
  ULONG references_ = 1;
};

}  // namespace

HostGeometrySource::HostGeometrySource(std::vector<kro::KroComPtr<IKroGeometry>> objects)
    : objects_(std::move(objects)) {}

HRESULT HostGeometrySource::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid != IID_IUnknown && riid != IID_IKroGeometrySource) return E_NOINTERFACE;
  *ppv = static_cast<IKroGeometrySource*>(this);
  AddRef();
  return S_OK;
}

ULONG HostGeometrySource::AddRef() { return ++references_; }

ULONG HostGeometrySource::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT HostGeometrySource::EnumGeometry(IKroEnumGeometry** ppEnum) {
  if (ppEnum == nullptr) return E_POINTER;
  *ppEnum = new HostEnumGeometry(objects_);
  return S_OK;
}

HRESULT HostGeometrySource::GetNumberOfObjects(LONG* count) {
  if (count == nullptr) return E_POINTER;
  *count = static_cast<LONG>(objects_.size());
  return S_OK;
}
