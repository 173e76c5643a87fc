#include "engine/datafile/GafPayloadReader.h"

#include <algorithm>
#include <cstring>

#include "engine/datafile/GafByteOrder.h"
#include "engine/datafile/GafFormat.h"
#include "engine/fileaccess/CGafRawFile.h"
#include "platform/MultiByte.h"

namespace kro {

bool GafPayloadReader::Fail(EngineStatus status) {
  if (failure_ == kEngineOk) failure_ = status;
  return false;
}

// The length is checked before the window: the window may already hold bytes
// beyond the payload (the pad byte, or the rest of an old record's file),
// which no field may take. Keeps consumed_ <= length_ and
// end_ - begin_ == loaded_ - consumed_.
bool GafPayloadReader::Load(uint32_t count) {
  if (failure_ != kEngineOk) return false;
  if (count > length_ - consumed_ || count > capacity_) return Fail(eGafBadFormat);
  const uint32_t available = end_ - begin_;
  if (available >= count) return true;
  std::memmove(window_, window_ + begin_, available);
  begin_ = 0;
  end_ = available;
  const uint32_t wanted = std::min(capacity_ - available, loadLimit_ - loaded_);
  if (files_ == nullptr || !files_->Read(handle_, window_ + end_, wanted)) return Fail(eGafReadError);
  end_ += wanted;
  loaded_ += wanted;
  // Cannot fail while loadLimit_ >= length_; kept so that no later change of
  // the limits can turn into a read past the window.
  return end_ - begin_ >= count || Fail(eGafBadFormat);
}

bool GafPayloadReader::GetString(std::string& out, uint32_t& stored) {
  out.clear();
  const uint8_t* bytes = nullptr;
  uint32_t n = 0;
  if (!GetStringBytes(bytes, n, stored)) return false;
  // A stored zero byte would end the text for every caller; keep what precedes it.
  out.assign(reinterpret_cast<const char*>(bytes), BoundedLength(reinterpret_cast<const char*>(bytes), n));
  return true;
}

bool GafPayloadReader::Skip(uint32_t count) {
  while (count > 0) {
    const uint32_t step = std::min(count, capacity_);
    if (!Need(step)) return false;
    Take(step);
    count -= step;
  }
  return true;
}

bool GafPayloadReader::Require(uint64_t count) {
  if (failure_ != kEngineOk) return false;
  return count <= Unconsumed() || Fail(eGafBadFormat);
}

bool GafPayloadReader::GetVertices(CKroDoublePointNode* out, uint64_t count, uint32_t coordinateBytes) {
  const uint32_t vertexBytes = 2 * coordinateBytes;
  if (!Require(count * vertexBytes)) return false;
  // Vertices already loaded (all of them, in the read-ahead buffer) come in
  // one batch; others in batches that fit the window.
  const uint32_t batchLimit =
      count * vertexBytes <= end_ - begin_ ? static_cast<uint32_t>(count) : capacity_ / vertexBytes;
  while (count > 0) {
    const uint32_t batch = static_cast<uint32_t>(std::min<uint64_t>(count, batchLimit));
    if (!Need(batch * vertexBytes)) return false;
    const uint8_t* in = window_ + begin_;
    if (coordinateBytes == 8) {
      for (uint32_t i = 0; i < batch; ++i, in += 16) out[i] = {gaf::LoadF64(in), gaf::LoadF64(in + 8)};
    } else {
      for (uint32_t i = 0; i < batch; ++i, in += 8) out[i] = {gaf::LoadF32(in), gaf::LoadF32(in + 4)};
    }
    Take(batch * vertexBytes);
    out += batch;
    count -= batch;
  }
  return true;
}

size_t TextCutLength(const uint8_t* bytes, size_t n, size_t limit) {
  const char* text = reinterpret_cast<const char*>(bytes);
  // A text within the limit is kept whole: no character can straddle it.
  size_t taken = n <= limit ? n : 0;
  while (taken < n) {
    const size_t step = MbCharLength(text + taken, n - taken);
    if (taken + step > limit) break;
    taken += step;
  }
  return taken;
}

size_t CopyTextCut(char* out, const uint8_t* bytes, size_t n, size_t limit) {
  const size_t taken = TextCutLength(bytes, n, limit);
  std::memcpy(out, bytes, taken);
  out[taken] = '\0';
  return taken;
}

}  // namespace kro
