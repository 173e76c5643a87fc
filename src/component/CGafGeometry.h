// The state and behaviour shared by the five geometry classes: a key, a name,
// a URL and a vertex array divided into sets. The classes differ only in
// their shape, which fixes how coordinates are set and which vertex and set
// indexes are addressable:
//
//   shape       coordinates set by   sets addressable    vertex indexes
//   kPoint      SetCoords            0                   0
//   kSingleSet  SetPointArray        0                   0 .. vertexCount-1
//   kMultiSet   SetMultiPointArray   0 .. setCount-1     0 .. vertexCount-1
//
// The operations return exactly what the interface operations of the same
// name return. Setting coordinates replaces all sets and vertices at once; a
// failed setter leaves the object as it was.
#ifndef KRO_COMPONENT_CGAFGEOMETRY_H
#define KRO_COMPONENT_CGAFGEOMETRY_H


#include "KroGafExportImport/KroGafExportImport.h"
#include "com/BoundaryText.h"
#include "component/SmallArray.h"

namespace kro {

enum class GeometryShape { kPoint, kSingleSet, kMultiSet };

enum class GeometryText { kKey = 0, kName = 1, kUrl = 2 };

class CGafGeometry {
 public:
  // Texts longer than this many bytes (after conversion) are refused.
  static constexpr size_t kMaxTextBytes = 255;

  explicit CGafGeometry(GeometryShape shape) : shape_(shape) {}

  // SetKey, SetName, SetURL: a null string stores empty text.
  HRESULT SetText(GeometryText which, BSTR text, EKroErrCode* peErr);
  // The texts of a record read from a file, kept as they were read (UTF-8 of
  // at most kMaxTextBytes bytes each) and converted only when a host asks
  // for them. S_OK, or E_OUTOFMEMORY with some texts replaced and others
  // not: the only caller fills a new object and drops it then.
  HRESULT StoreTexts(const char* key, const char* name, const char* url);
  // GetKey, GetName, GetURL: a null string while never set.
  HRESULT GetText(GeometryText which, BSTR* out) const;

  HRESULT GetVertexAt(LONG index, double* pdX, double* pdY) const;
  HRESULT GetNumberOfSets(int* pnNumOfSets) const;
  HRESULT GetSetNumberAt(int index, LONG* plNumOfVertInSet) const;

  HRESULT SetCoords(double x, double y);
  HRESULT GetCoords(double* pdX, double* pdY) const;
  HRESULT SetPointArray(int vertexCount, const CKroDoublePointNode* points, EKroErrCode* peErr);
  HRESULT SetMultiPointArray(int setCount, const LONG* setCounts, int vertexCount,
                             const CKroDoublePointNode* points, EKroErrCode* peErr);
  HRESULT GetPointArray(ULONG capacity, CKroDoublePointNode* points, ULONG* pulFetched) const;
  HRESULT GetPointArraySize(ULONG* pulArrayLength) const;

 private:
  bool HasCoordinates() const { return !vertices_.empty(); }
  bool IsAddressableVertex(LONG index) const;
  bool IsAddressableSet(int index) const;
  // Replaces sets and vertices together; E_OUTOFMEMORY leaves both unchanged.
  HRESULT ReplaceCoordinates(const LONG* setCounts, size_t setCount, const CKroDoublePointNode* points,
                             size_t vertexCount);

  GeometryShape shape_;
  OptionalText texts_[3];
  // A read line of up to eight vertices and its one set count live inside
  // the object.
  using SetCounts = SmallArray<LONG, 1>;
  using Vertices = SmallArray<CKroDoublePointNode, 8>;
  SetCounts setCounts_;  // setCount is its size
  Vertices vertices_;    // vertexCount is its size
};

}  // namespace kro

#endif
