#include "platform/Process.h"

namespace pw {

void CheckInputSize(const std::string& bytes) {
  if (bytes.size() > kMostInputBytes) {
    throw Exception(Format("Cannot hand more than %d bytes to a program's standard input",
                           static_cast<int>(kMostInputBytes)));
  }
}

void TRunStop::Stop() {
  const std::lock_guard lock(mutex_);
  if (stopped_) return;
  stopped_ = true;
  for (auto& [key, end] : ends_) end();
}

bool TRunStop::Stopped() const {
  const std::lock_guard lock(mutex_);
  return stopped_;
}

bool TRunStop::Add(const void* key, std::function<void()> end) {
  const std::lock_guard lock(mutex_);
  if (stopped_) return false;
  ends_[key] = std::move(end);
  return true;
}

void TRunStop::Remove(const void* key) {
  const std::lock_guard lock(mutex_);
  ends_.erase(key);
}

}  // namespace pw
