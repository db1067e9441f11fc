#include "cli/stop_signal.h"

#include <atomic>
#include <csignal>

namespace ferolan::cli {

namespace {

std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);
CancelToken g_token;

extern "C" void on_stop_signal(int sig) {
  g_signal.store(sig, std::memory_order_relaxed);
  g_token.cancel();
}

}  // namespace

void catch_stop_signals() {
  struct sigaction sa {};
  sa.sa_handler = on_stop_signal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESETHAND | SA_RESTART;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

int stop_signal() {
  return g_signal.load(std::memory_order_relaxed);
}

const CancelToken& stop_token() {
  return g_token;
}

void request_stop(int signal) {
  g_signal.store(signal, std::memory_order_relaxed);
  g_token.cancel();
}

}  // namespace ferolan::cli
