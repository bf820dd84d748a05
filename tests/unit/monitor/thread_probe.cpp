// Starts one thread and joins it. scripts/cross runs it under the user-mode
// emulator first: an emulator that cannot start a thread hangs here, and the
// tests labelled unit-threads are then left out rather than hung.
#include <thread>

int main() {
  std::thread thread([] {});
  thread.join();
  return 0;
}
