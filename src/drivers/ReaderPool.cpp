#include "drivers/ReaderPool.h"

#include <cstring>
#include <new>
#include <utility>

#include "fileset/CGafReader.h"

namespace kro {

ReaderPool::ReaderPool(Env& env) : env_(env) {}

ReaderPool::~ReaderPool() = default;

ComPtr<ReaderPool> ReaderPool::Create(Env& env) {
  ReaderPool* pool = new (std::nothrow) ReaderPool(env);
  if (pool != nullptr) pool->AddRef();
  return ComPtr<ReaderPool>::Adopt(pool);
}

ULONG ReaderPool::AddRef() { return ++references_; }

ULONG ReaderPool::Release() {
  const ULONG remaining = --references_;
  if (remaining == 0) delete this;
  return remaining;
}

std::unique_ptr<CGafReader> ReaderPool::Take(const char* fileName, EKroGafOpenFlags openMode) {
  std::unique_ptr<CGafReader> reader;
  if (fileName == nullptr) return reader;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    for (size_t i = 0; i < slots_.size() && slots_[i].reader != nullptr; ++i) {
      if (slots_[i].openMode != openMode || std::strcmp(slots_[i].reader->FileName().c_str(), fileName) != 0) continue;
      reader = std::move(slots_[i].reader);
      // Close the gap, keeping the order of the rest.
      for (size_t j = i; j + 1 < slots_.size(); ++j) std::swap(slots_[j], slots_[j + 1]);
      break;
    }
  }
  // Resuming takes locks and reads file identities: done outside the guard.
  if (reader != nullptr && !reader->Resume()) reader.reset();
  return reader;
}

void ReaderPool::Give(std::unique_ptr<CGafReader> reader, EKroGafOpenFlags openMode) {
  if (reader == nullptr || !reader->Park()) return;
  Slot oldest;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    oldest = std::move(slots_.back());
    for (size_t j = slots_.size() - 1; j > 0; --j) slots_[j] = std::move(slots_[j - 1]);
    slots_[0] = Slot{std::move(reader), openMode};
  }
  // `oldest`, when there was one, closes here, outside the guard.
}

size_t ReaderPool::IdleCount() const {
  std::lock_guard<std::mutex> guard(mutex_);
  size_t count = 0;
  for (const Slot& slot : slots_) count += slot.reader != nullptr ? 1 : 0;
  return count;
}

}  // namespace kro
