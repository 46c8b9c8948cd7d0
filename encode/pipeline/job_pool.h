// A pool of threads that run jobs in the order they were submitted, but for
// jobs of one strand, which run one at a time: a method-2 stretch is a
// strand, each of its chunks a job, since one encoder codes the stretch in
// order. Jobs of no strand (method 1's chunks) run as soon as a thread is
// free.
#pragma once

#include <deque>
#include <functional>
#include <vector>

#include "encode/pipeline/threads.h"

// A strand's state, kept by the pool under its lock.
struct Strand {
  bool busy = false;  // a thread runs one of its jobs
  size_t queued = 0;  // of its jobs, those waiting in the queue
};

struct PoolJob {
  std::function<void()> run;
  Strand* strand = nullptr;
  bool done = false;  // run, or dropped; read under the pool's lock (Wait)
};

// The job a free thread takes next: the first queued job whose strand no
// thread is running. A strand's queued jobs stand together in the queue
// (Submit keeps it so), which lets a busy strand's be passed over in one
// step: a package of small files queues thousands of chunks.
std::deque<PoolJob*>::iterator NextRunnable(std::deque<PoolJob*>* queue);

class JobPool {
 public:
  explicit JobPool(unsigned threads);
  ~JobPool();  // drops what is queued and joins the threads
  JobPool(const JobPool&) = delete;
  JobPool& operator=(const JobPool&) = delete;

  // Queues `job`. A job of a strand that has jobs queued must follow the
  // last of them: throws std::logic_error when another job was queued in
  // between.
  void Submit(PoolJob* job);
  // Returns once `job` has run or was dropped.
  void Wait(PoolJob* job);
  // Marks every queued job done without running it, so that only those
  // under way need waiting for.
  void DropQueued();

 private:
  void Work();

  Mutex mutex_;
  ConditionVariable queued_;
  ConditionVariable finished_;
  std::deque<PoolJob*> queue_;
  bool stopping_ = false;
  std::vector<Thread> workers_;
};
