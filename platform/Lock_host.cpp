#include "platform/Lock.h"

#include <mutex>

namespace platform {

struct CriticalSection::Impl {
  std::recursive_mutex mutex;  // a critical section may be entered again by its owner
};

CriticalSection::CriticalSection() : impl_(std::make_unique<Impl>()) {}
CriticalSection::~CriticalSection() = default;
void CriticalSection::Enter() { impl_->mutex.lock(); }
void CriticalSection::Leave() { impl_->mutex.unlock(); }

}  // namespace platform
