#include "engine/indexfile/CIndexFile.h"

#include <cstring>

#include "engine/indexfile/IndexTempFile.h"
#include "platform/MultiByte.h"

namespace kro {

CIndexFile::~CIndexFile() { CloseIndexFile(); }

EngineStatus CIndexFile::Fail(EngineStatus status, uint64_t offset, const char* reason) const {
  KeepFirstError(error_, status, errorName_, offset, reason);
  return status;
}

bool CIndexFile::OpenIndexFile(const char* fileName, uint32_t flagWord) {
  errorName_ = fileName != nullptr ? fileName : "";
  readOnly_ = (flagWord & kOpenReadOnly) != 0;
  // Describes the file as it was found, so it is decided before the open.
  created_ = !readOnly_ && (flagWord & kOpenReadWrite) != 0 &&
             (!files_.Exists(fileName) || (flagWord & kOpenCreateTruncate) != 0);
  if (!files_.Open(fileName, flagWord, handle_)) return false;
  fileName_ = fileName;
  // A file that has content is never taken for a new one, even when the
  // existence test said otherwise (it failed, or the file appeared since).
  if (created_ && (flagWord & kOpenCreateTruncate) == 0) {
    uint32_t size = 0;
    if (!files_.Size(handle_, size)) {
      CloseIndexFile();
      return false;
    }
    created_ = size == 0;
  }
  return true;
}

void CIndexFile::CloseIndexFile() {
  (void)FlushBlocks();
  blocks_.Clear();
  held_.Forget();
  if (handle_ != kInvalidFileHandle) files_.Close(handle_);
  handle_ = kInvalidFileHandle;
  fileName_.clear();
}

bool CIndexFile::ReopenIndexFile() {
  blocks_.Clear();
  held_.Forget();
  if (handle_ != kInvalidFileHandle) files_.Close(handle_);
  handle_ = kInvalidFileHandle;
  return files_.Open(fileName_.c_str(), readOnly_ ? kOpenReadOnly : kOpenReadWrite, handle_);
}

ReplaceResult CIndexFile::ReplaceWithRebuilt(IndexTempFile& temp, char* keepName) {
  // The index file stays open through the move (renaming over an open file
  // is safe here), so a failed replacement leaves everything on the old file.
  if (!files_.Replace(temp.Name(), fileName_.c_str())) {
    if (keepName != nullptr) {
      std::memcpy(keepName, temp.Name(), std::strlen(temp.Name()) + 1);
      temp.Release();
    }
    return ReplaceResult::kReplaceFailed;
  }
  temp.Release();
  // Makes the move durable. Should this fail, a power loss finds the old
  // index, which is whole too.
  (void)files_.Files().SyncDirectory(fileName_.c_str());
  if (!ReopenIndexFile()) return ReplaceResult::kReopenFailed;
  uint32_t size = 0;
  if (!files_.Size(handle_, size)) return ReplaceResult::kSizeFailed;
  fileSize_ = size;
  return ReplaceResult::kReplaced;
}

uint32_t CIndexFile::PutString(const char* text, unsigned char* out) {
  const uint32_t length = static_cast<uint32_t>(BoundedLength(text, kMaxIndexDescription));
  if (length < 255) {
    out[0] = static_cast<unsigned char>(length);
    std::memcpy(out + 1, text, length);
  } else {
    out[0] = 0xFF;
    PutUInt(length, 16, out + 1);
    std::memcpy(out + 3, text, length);
  }
  return length;
}

bool CIndexFile::GetString(const unsigned char* in, size_t available, char* out) {
  out[0] = '\0';
  if (available < 1) return false;
  size_t length = in[0];
  size_t prefix = 1;
  if (length == 0xFF) {
    if (available < 3) return false;
    length = GetUInt(in + 1, 16);
    prefix = 3;
  }
  if (length > kMaxIndexDescription || prefix + length > available) return false;
  std::memcpy(out, in + prefix, length);
  out[length] = '\0';
  return true;
}

size_t CIndexFile::CopyBounded(char* dst, const char* src, size_t limit) {
  return MbCopyBounded(dst, src, limit);
}

uint32_t CIndexFile::GreatestCommonDivisor(uint32_t a, uint32_t b) {
  for (;;) {
    const uint32_t r = a % b;
    if (r == 0) return b;
    a = b;
    b = r;
  }
}

}  // namespace kro
