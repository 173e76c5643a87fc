// Writing the four coordinate-system metadata chunks: coordinate system,
// projection parameters, datum and ellipsoid (GafHeaderDecoder reads them).
#include "engine/datafile/CGafFile.h"
#include "engine/datafile/GafFormat.h"
#include "platform/MultiByte.h"

namespace kro {

void CGafFile::WriteMetadataChunks() {
  const GafCoordSys& c = coordSys_;
  // Each chunk: its strings, then its numbers, then a pad byte when odd.
  auto putChunk = [this](uint32_t code, const char* const* fields, int fieldCount, uint32_t numbersSize,
                         auto putNumbers) {
    uint32_t lengths[gaf::kCoordSysStringCount];
    uint32_t payload = numbersSize;
    for (int i = 0; i < fieldCount; ++i) {
      lengths[i] = static_cast<uint32_t>(BoundedLength(fields[i], kCoordSysTextSize - 1));
      payload += gaf::StoredStringSize(lengths[i]);
    }
    PutChunkTag(code, payload);
    for (int i = 0; i < fieldCount; ++i) PutString(fields[i], lengths[i]);
    putNumbers();
    PutPad(payload);
  };

  const char* const coordSysFields[] = {c.code, c.description, c.groupCode, c.projectionCode, c.unitCode};
  putChunk(gaf::kCodeCoordSys, coordSysFields, 5, gaf::kCoordSysNumbersSize, [&] {
    for (double v : {c.originLongitude, c.originLatitude, c.xOffset, c.yOffset, c.scaleReduction, c.unitScale,
                     c.mapScale, c.scale}) {
      PutF64(v);
    }
  });
  putChunk(gaf::kCodeProjection, nullptr, 0, gaf::kProjectionPayloadSize, [&] {
    for (double v : c.projectionParameters) PutF64(v);
  });
  const char* const datumFields[] = {c.datumCode, c.datumDescription};
  putChunk(gaf::kCodeDatum, datumFields, 2, gaf::kDatumNumbersSize, [&] {
    for (double v : {c.datumDeltaX, c.datumDeltaY, c.datumDeltaZ, c.datumRotationX, c.datumRotationY,
                     c.datumRotationZ, c.datumBWScaleFactor}) {
      PutF64(v);
    }
    PutU16(static_cast<uint16_t>(c.datumConversionMethod));
  });
  const char* const ellipsoidFields[] = {c.ellipsoidCode, c.ellipsoidDescription};
  putChunk(gaf::kCodeEllipsoid, ellipsoidFields, 2, gaf::kEllipsoidNumbersSize, [&] {
    PutF64(c.ellipsoidEquatorialRadius);
    PutF64(c.ellipsoidPolarRadius);
  });
}

}  // namespace kro
