#include "drivers/ExportLoop.h"

#include "com/ComPtr.h"
#include "fileset/CGafWriter.h"
#include "drivers/HostRecord.h"

namespace kro {
namespace {

bool AbortRequested(IKroProgressIndicator* progress, LONG total, LONG handled) {
  if (progress == nullptr) return false;
  progress->NotifyProgress(total, handled);
  LONG abort = 0;
  progress->InquireAbort(&abort);
  return abort != 0;
}

}  // namespace

bool IsExportableType(EGafObjectType type) {
  return type == kGafPointObject || type == kGafPolylineObject || type == kGafPolygonObject;
}

EKroErrCode RunExportLoop(CGafWriter& writer, EGafObjectType type, IKroGeometrySource* source,
                          IKroProgressIndicator* progress, const ExportCounts& counts) {
  LONG total = 0;
  source->GetNumberOfObjects(&total);
  if (progress != nullptr) progress->SetTotalNumOfObjects(total);
  ComPtr<IKroEnumGeometry> enumerator;
  if (FAILED(source->EnumGeometry(enumerator.Put())) || !enumerator) return eKroFailGetObject;

  *counts.exported = 0;
  for (LONG handled = 0; handled < total; ++handled) {
    if (AbortRequested(progress, total, handled)) break;
    IKroGeometry* fetchedObject = nullptr;
    ULONG fetched = 0;
    const HRESULT hr = enumerator->Next(1, &fetchedObject, &fetched);
    const ComPtr<IKroGeometry> object = ComPtr<IKroGeometry>::Adopt(fetched == 1 ? fetchedObject : nullptr);
    // The end of the enumeration ends the loop, whatever count the source
    // claimed; a fetch that fails only leaves its object out (the exported
    // count tells the host).
    if (hr == S_FALSE && fetched == 0) break;
    if (FAILED(hr) || !object) continue;
    if (WriteHostGeometry(writer, type, object.Get())) ++*counts.exported;
    if (writer.IsDamaged()) return eKroWriteError;
  }

  if (type != kGafPointObject) {
    LONG value = 0;
    enumerator->MaxVertexCount(&value);
    *counts.maxVertex = value;
    value = 0;
    enumerator->GetNumPlinesFailed(&value);
    *counts.plinesFailed = value;
  }
  return eKroOk;
}

}  // namespace kro
