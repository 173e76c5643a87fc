#include "engine/indexfile/IndexBlockWriter.h"

#include <algorithm>

#include "engine/indexfile/CIndexFile.h"

namespace kro {

IndexBlockWriter::IndexBlockWriter(const CGafRawFile& files, FileHandle file, uint32_t largestBlock)
    : files_(files), file_(file), next_(kIndexHeaderSize) {
  buffer_.reserve(kWriteChunk + std::max(largestBlock, kIndexHeaderSize));
  buffer_.resize(kIndexHeaderSize, 0);
}

bool IndexBlockWriter::Place(uint32_t size, uint32_t& position) {
  if (static_cast<uint64_t>(next_) + size > kMaxFileOffset) return false;
  position = next_;
  next_ += size;
  return true;
}

unsigned char* IndexBlockWriter::Append(uint32_t size) {
  buffer_.resize(buffer_.size() + size, 0);
  return buffer_.data() + buffer_.size() - size;
}

bool IndexBlockWriter::FlushIfFull() { return buffer_.size() < kWriteChunk || Flush(); }

bool IndexBlockWriter::Flush() {
  const bool written = buffer_.empty() || files_.Write(file_, buffer_.data(), static_cast<uint32_t>(buffer_.size()));
  buffer_.clear();
  return written;
}

bool IndexBlockWriter::WriteHeader(const unsigned char* header) {
  return Flush() && files_.Seek(file_, 0, SeekOrigin::kBegin) && files_.Write(file_, header, kIndexHeaderSize);
}

}  // namespace kro
