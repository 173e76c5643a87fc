// A geometry source and its enumerator as a host implements them, over a list
// of objects in memory. Both can be told to misbehave: report another count
// than they hold, give no enumerator, or fail chosen fetches.
#ifndef KRO_TESTS_DRIVERS_HOSTSOURCE_H
#define KRO_TESTS_DRIVERS_HOSTSOURCE_H

#include <memory>
#include <set>
#include <vector>

#include "drivers/HostGeometry.h"

namespace kro::test {

struct HostSourceSetup {
  std::vector<ComPtr<IKroGeometry>> objects;
  // What GetNumberOfObjects reports; -1 reports the number held.
  LONG reportedCount = -1;
  bool enumFails = false;
  // Fetches (0-based call numbers of Next) that fail with E_FAIL, and those
  // that succeed with nothing fetched; both consume an object.
  std::set<ULONG> failingFetches;
  std::set<ULONG> emptyFetches;
  // The end of the list answers S_FALSE, as the platform's enumerators do,
  // or S_OK with nothing fetched, as the library's own enumerator does.
  bool endAnswersOk = false;
  // What the enumerator answers to MaxVertexCount and GetNumPlinesFailed.
  LONG maxVertexCount = 0;
  LONG plinesFailed = 0;
  // Number of Next calls made on any enumerator of the source.
  ULONG nextCalls = 0;
};

class HostEnumerator final : public HostUnknown<IKroEnumGeometry> {
 public:
  explicit HostEnumerator(std::shared_ptr<HostSourceSetup> setup) : setup_(std::move(setup)) {}

  HRESULT Reset() override {
    cursor_ = 0;
    return S_OK;
  }
  HRESULT Skip(ULONG count) override {
    cursor_ += count;
    return S_OK;
  }
  HRESULT Clone(IKroEnumGeometry** out) override {
    if (out == nullptr) return E_POINTER;
    auto* clone = new HostEnumerator(setup_);
    clone->cursor_ = cursor_;
    clone->AddRef();
    *out = clone;
    return S_OK;
  }
  HRESULT Next(ULONG count, IKroGeometry** objects, ULONG* fetched) override {
    if (objects == nullptr || fetched == nullptr) return E_POINTER;
    *fetched = 0;
    for (ULONG i = 0; i < count; ++i) {
      const ULONG call = setup_->nextCalls++;
      if (cursor_ >= setup_->objects.size()) return setup_->endAnswersOk ? S_OK : S_FALSE;
      IKroGeometry* object = setup_->objects[cursor_++].Get();
      if (setup_->failingFetches.count(call) != 0) return E_FAIL;
      if (setup_->emptyFetches.count(call) != 0) continue;
      object->AddRef();
      objects[(*fetched)++] = object;
    }
    return S_OK;
  }
  HRESULT MaxVertexCount(LONG* value) override {
    if (value == nullptr) return E_POINTER;
    *value = setup_->maxVertexCount;
    return S_OK;
  }
  HRESULT GetNumPlinesFailed(LONG* value) override {
    if (value == nullptr) return E_POINTER;
    *value = setup_->plinesFailed;
    return S_OK;
  }

 private:
  std::shared_ptr<HostSourceSetup> setup_;
  size_t cursor_ = 0;
};

class HostSource final : public HostUnknown<IKroGeometrySource> {
 public:
  explicit HostSource(std::shared_ptr<HostSourceSetup> setup) : setup_(std::move(setup)) {}

  static ComPtr<HostSource> Make(std::shared_ptr<HostSourceSetup> setup) {
    return ComPtr<HostSource>::Share(new HostSource(std::move(setup)));
  }

  HRESULT EnumGeometry(IKroEnumGeometry** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (setup_->enumFails) return E_FAIL;
    auto* enumerator = new HostEnumerator(setup_);
    enumerator->AddRef();
    *out = enumerator;
    return S_OK;
  }
  HRESULT GetNumberOfObjects(LONG* count) override {
    if (count == nullptr) return E_POINTER;
    *count = setup_->reportedCount >= 0 ? setup_->reportedCount : static_cast<LONG>(setup_->objects.size());
    return S_OK;
  }

 private:
  std::shared_ptr<HostSourceSetup> setup_;
};

// Records what an export tells it and asks it to abort at a chosen inquiry.
class HostProgress final : public HostUnknown<IKroProgressIndicator> {
 public:
  static ComPtr<HostProgress> Make() { return ComPtr<HostProgress>::Share(new HostProgress()); }

  HRESULT NotifyProgress(int total, int succeeded) override {
    notified.push_back({total, succeeded});
    return S_OK;
  }
  HRESULT InquireAbort(LONG* abort) override {
    if (abort == nullptr) return E_POINTER;
    ++inquiries;
    if (inquiries == abortAtInquiry) *abort = 1;
    return S_OK;
  }
  HRESULT GetInterval(int*) override {
    ++intervalCalls;
    return S_OK;
  }
  HRESULT SetTotalNumOfObjects(LONG total) override {
    totals.push_back(total);
    return S_OK;
  }

  std::vector<std::pair<int, int>> notified;
  std::vector<LONG> totals;
  int inquiries = 0;
  int abortAtInquiry = 0;  // 0: never
  int intervalCalls = 0;
};

}  // namespace kro::test

#endif
