#include "encode/pipeline/job_pool.h"

#include <stdexcept>

std::deque<PoolJob*>::iterator NextRunnable(std::deque<PoolJob*>* queue) {
  for (auto it = queue->begin(); it != queue->end();) {
    Strand* strand = (*it)->strand;
    if (!strand || !strand->busy) return it;
    it += static_cast<std::ptrdiff_t>(strand->queued);
  }
  return queue->end();
}

JobPool::JobPool(unsigned threads) {
  for (unsigned i = 0; i < threads; i++) workers_.emplace_back([this] { Work(); });
}

JobPool::~JobPool() {
  {
    std::lock_guard<Mutex> lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  queued_.notify_all();
  for (Thread& worker : workers_) worker.join();
}

void JobPool::Submit(PoolJob* job) {
  {
    std::lock_guard<Mutex> lock(mutex_);
    Strand* strand = job->strand;
    if (strand && strand->queued > 0 && queue_.back()->strand != strand)
      throw std::logic_error("a strand's jobs must be queued together");
    queue_.push_back(job);
    if (strand) strand->queued++;
  }
  queued_.notify_one();
}

void JobPool::Wait(PoolJob* job) {
  std::unique_lock<Mutex> lock(mutex_);
  finished_.wait(lock, [job] { return job->done; });
}

void JobPool::DropQueued() {
  std::lock_guard<Mutex> lock(mutex_);
  for (PoolJob* job : queue_) {
    job->done = true;
    if (job->strand) job->strand->queued--;
  }
  queue_.clear();
  finished_.notify_all();
}

void JobPool::Work() {
  for (;;) {
    PoolJob* job;
    {
      std::unique_lock<Mutex> lock(mutex_);
      queued_.wait(lock, [this] { return stopping_ || NextRunnable(&queue_) != queue_.end(); });
      if (stopping_) return;
      auto next = NextRunnable(&queue_);
      job = *next;
      queue_.erase(next);
      if (job->strand) {
        job->strand->busy = true;
        job->strand->queued--;
      }
    }
    job->run();
    {
      std::lock_guard<Mutex> lock(mutex_);
      job->done = true;
      if (job->strand) job->strand->busy = false;
    }
    finished_.notify_all();
    queued_.notify_all();  // the strand's next job may be waiting
  }
}
