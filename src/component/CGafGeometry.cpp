#include "component/CGafGeometry.h"

#include <algorithm>
#include <new>

namespace kro {

HRESULT CGafGeometry::SetText(GeometryText which, BSTR text, EKroErrCode* peErr) {
  if (peErr == nullptr) return E_POINTER;
  *peErr = eKroUnknownErr;
  std::string converted;
  if (BstrToText(text, &converted) != S_OK) return E_OUTOFMEMORY;
  if (converted.size() > kMaxTextBytes) {
    *peErr = eKroInvalidParameter;
    return S_FALSE;
  }
  texts_[static_cast<int>(which)] = std::move(converted);
  *peErr = eKroOk;
  return S_OK;
}

HRESULT CGafGeometry::StoreTexts(const char* key, const char* name, const char* url) {
  try {
    texts_[static_cast<int>(GeometryText::kKey)].emplace(key);
    texts_[static_cast<int>(GeometryText::kName)].emplace(name);
    texts_[static_cast<int>(GeometryText::kUrl)].emplace(url);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT CGafGeometry::GetText(GeometryText which, BSTR* out) const {
  return TextToBstr(texts_[static_cast<int>(which)], out);
}

bool CGafGeometry::IsAddressableVertex(LONG index) const {
  if (shape_ == GeometryShape::kPoint) return index == 0;
  return index >= 0 && static_cast<size_t>(index) < vertices_.size();
}

bool CGafGeometry::IsAddressableSet(int index) const {
  if (shape_ != GeometryShape::kMultiSet) return index == 0;
  return index >= 0 && static_cast<size_t>(index) < setCounts_.size();
}

HRESULT CGafGeometry::GetVertexAt(LONG index, double* pdX, double* pdY) const {
  if (pdX == nullptr || pdY == nullptr) return E_POINTER;
  if (!IsAddressableVertex(index)) return S_FALSE;
  if (!HasCoordinates()) return E_POINTER;
  *pdX = vertices_[static_cast<size_t>(index)].x;
  *pdY = vertices_[static_cast<size_t>(index)].y;
  return S_OK;
}

HRESULT CGafGeometry::GetNumberOfSets(int* pnNumOfSets) const {
  if (pnNumOfSets == nullptr) return E_POINTER;
  if (setCounts_.empty()) return S_FALSE;
  *pnNumOfSets = static_cast<int>(setCounts_.size());
  return S_OK;
}

HRESULT CGafGeometry::GetSetNumberAt(int index, LONG* plNumOfVertInSet) const {
  if (plNumOfVertInSet == nullptr) return E_POINTER;
  if (!IsAddressableSet(index)) return S_FALSE;
  if (!HasCoordinates()) return E_POINTER;
  *plNumOfVertInSet = setCounts_[static_cast<size_t>(index)];
  return S_OK;
}

HRESULT CGafGeometry::ReplaceCoordinates(const LONG* setCounts, size_t setCount,
                                         const CKroDoublePointNode* points, size_t vertexCount) {
  std::unique_ptr<LONG[]> countBlock;
  std::unique_ptr<CKroDoublePointNode[]> vertexBlock;
  if (!SetCounts::Room(setCount, countBlock) || !Vertices::Room(vertexCount, vertexBlock)) return E_OUTOFMEMORY;
  setCounts_.Fill(std::move(countBlock), setCounts, setCount);
  vertices_.Fill(std::move(vertexBlock), points, vertexCount);
  return S_OK;
}

HRESULT CGafGeometry::SetCoords(double x, double y) {
  const LONG oneVertex = 1;
  const CKroDoublePointNode vertex{x, y};
  return ReplaceCoordinates(&oneVertex, 1, &vertex, 1);
}

HRESULT CGafGeometry::GetCoords(double* pdX, double* pdY) const {
  // The point's answer to both a missing vertex and a missing out-pointer.
  if (!HasCoordinates() || pdX == nullptr || pdY == nullptr) return E_OUTOFMEMORY;
  *pdX = vertices_[0].x;
  *pdY = vertices_[0].y;
  return S_OK;
}

HRESULT CGafGeometry::SetPointArray(int vertexCount, const CKroDoublePointNode* points, EKroErrCode* peErr) {
  const LONG oneSet = vertexCount;
  return SetMultiPointArray(1, &oneSet, vertexCount, points, peErr);
}

HRESULT CGafGeometry::SetMultiPointArray(int setCount, const LONG* setCounts, int vertexCount,
                                         const CKroDoublePointNode* points, EKroErrCode* peErr) {
  if (peErr == nullptr) return E_POINTER;
  *peErr = eKroUnknownErr;
  if (vertexCount < 2 || setCount < 1) {
    *peErr = eKroInvalidParameter;
    return S_FALSE;
  }
  if (setCounts == nullptr || points == nullptr) {
    *peErr = eKroInvalidParameter;
    return E_POINTER;
  }
  const HRESULT hr = ReplaceCoordinates(setCounts, static_cast<size_t>(setCount), points,
                                        static_cast<size_t>(vertexCount));
  if (hr != S_OK) return hr;
  *peErr = eKroOk;
  return S_OK;
}

HRESULT CGafGeometry::GetPointArray(ULONG capacity, CKroDoublePointNode* points, ULONG* pulFetched) const {
  if (pulFetched == nullptr) return E_POINTER;
  *pulFetched = 0;
  if (capacity == 0) return S_OK;
  if (points == nullptr) return E_POINTER;
  const size_t count = std::min<size_t>(capacity, vertices_.size());
  std::copy_n(vertices_.data(), count, points);
  *pulFetched = static_cast<ULONG>(count);
  return S_OK;
}

HRESULT CGafGeometry::GetPointArraySize(ULONG* pulArrayLength) const {
  if (pulArrayLength == nullptr) return E_POINTER;
  *pulArrayLength = static_cast<ULONG>(vertices_.size());
  return S_OK;
}

}  // namespace kro
