// Work done a chunk at a time on several threads whose last step for each
// chunk (writing it, crediting it) must be taken strictly in chunk order,
// and two threads that meet at each step.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>

class Chunk_Turns {
 public:
  // Waits for chunk's turn and runs step; false once a chunk has failed, in
  // which case step is not run. An exception from step fails the turns.
  template <typename Step>
  bool Take(std::size_t chunk, Step step) {
    std::unique_lock<std::mutex> lock(mutex_);
    turn_changed_.wait(lock, [&] { return turn_ == chunk || failure_; });
    if (failure_) return false;
    try {
      step();
    } catch (...) {
      failure_ = std::current_exception();
    }
    ++turn_;
    turn_changed_.notify_all();
    return !failure_;
  }
  // Keeps the failure of chunk once every chunk before it has taken its
  // turn, so that the first failure in chunk order is the one kept.
  void Fail(std::size_t chunk, std::exception_ptr failure) {
    std::unique_lock<std::mutex> lock(mutex_);
    turn_changed_.wait(lock, [&] { return turn_ == chunk || failure_; });
    if (!failure_) failure_ = failure;
    turn_changed_.notify_all();
  }
  // Throws the failure kept, if any.
  void Rethrow() const {
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  std::mutex mutex_;
  std::condition_variable turn_changed_;
  std::size_t turn_ = 0;
  std::exception_ptr failure_;
};

// Two threads that meet at each step of their work: Meet returns once both
// have come to it. It waits under a mutex: with std::barrier, which waits
// through the library's atomic waits, the Windows build hung now and then
// (3 settlements in 15 under wine; none in 30 with this).
class Two_Thread_Meeting {
 public:
  void Meet() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (++arrived_ == 2) {
      arrived_ = 0;
      ++meetings_;
      met_.notify_one();
      return;
    }
    const std::size_t meeting = meetings_;
    met_.wait(lock, [&] { return meetings_ != meeting; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable met_;
  int arrived_ = 0;
  std::size_t meetings_ = 0;
};

// Runs chunks 0 to chunks - 1, alternate chunks on the calling thread and
// one more. make_worker() is called once on each thread and returns that
// thread's worker: worker(c, turns) does chunk c, taking its turn, and
// returns false to stop. Rethrows the first failure in chunk order.
template <typename Make_Worker>
void Run_Alternate_Chunks(std::size_t chunks, Make_Worker make_worker) {
  Chunk_Turns turns;
  auto run = [&](std::size_t parity) {
    std::size_t c = parity;
    try {
      auto worker = make_worker();
      for (; c < chunks; c += 2)
        if (!worker(c, turns)) return;
    } catch (...) {
      turns.Fail(c, std::current_exception());
    }
  };
  std::thread helper(run, 1);
  run(0);
  helper.join();
  turns.Rethrow();
}
