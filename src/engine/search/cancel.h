// A request to end a running search, as any thread may make it.
#pragma once

#include <atomic>

namespace ferolan {

// cancel() may be called from any thread (also from a signal handler: the flag is lock-free)
// while a search runs; the search notices it at its next stop test, before a trial or while
// it scores a planned sweep, and ends as Stopped with its best set so far. The flag stays set
// until reset(), so a token that was cancelled stops every later search at once.
class CancelToken {
 public:
  void cancel() noexcept { flag_.store(true, std::memory_order_relaxed); }
  bool cancelled() const noexcept { return flag_.load(std::memory_order_relaxed); }
  void reset() noexcept { flag_.store(false, std::memory_order_relaxed); }

 private:
  std::atomic<bool> flag_{false};
  static_assert(std::atomic<bool>::is_always_lock_free);
};

}  // namespace ferolan
