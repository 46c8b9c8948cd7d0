#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "encode/pipeline/job_pool.h"

// A busy strand's jobs are passed over in one step, to the first job of a
// free strand or of none; nothing is runnable while every strand is busy.
TEST(JobPool, NextRunnablePassesOverBusyStrands) {
  Strand a, b;
  PoolJob a1, a2, b1, free;
  a1.strand = a2.strand = &a;
  b1.strand = &b;
  std::deque<PoolJob*> queue = {&a1, &a2, &b1, &free};
  a.queued = 2;
  b.queued = 1;
  EXPECT_EQ(*NextRunnable(&queue), &a1);
  a.busy = true;
  EXPECT_EQ(*NextRunnable(&queue), &b1);
  b.busy = true;
  EXPECT_EQ(*NextRunnable(&queue), &free);
  queue.pop_back();
  EXPECT_EQ(NextRunnable(&queue), queue.end());
}

// Skipping a strand in one step needs its queued jobs to stand together.
TEST(JobPool, RefusesAStrandsJobAfterAnotherJob) {
  JobPool pool(0);  // no threads: the jobs stay queued
  Strand a;
  PoolJob a1, other, a2;
  a1.strand = a2.strand = &a;
  pool.Submit(&a1);
  pool.Submit(&other);
  EXPECT_THROW(pool.Submit(&a2), std::logic_error);
  pool.DropQueued();
  EXPECT_TRUE(a1.done && other.done);
}

// On many threads, each strand's jobs run one at a time and in order,
// while jobs of no strand run beside them.
TEST(JobPool, RunsEachStrandInOrderOneAtATime) {
  constexpr int kJobs = 200;
  std::vector<Strand> strands(3);
  std::vector<std::atomic<int>> running(strands.size());
  std::vector<std::vector<int>> order(strands.size());
  std::atomic<int> overlaps{0}, freeRuns{0};
  std::vector<PoolJob> jobs(strands.size() * kJobs + kJobs);
  {
    JobPool pool(4);
    size_t next = 0;
    for (size_t s = 0; s < strands.size(); s++) {
      for (int i = 0; i < kJobs; i++) {
        PoolJob& job = jobs[next++];
        job.strand = &strands[s];
        job.run = [&, s, i] {
          if (running[s].fetch_add(1) != 0) overlaps++;
          order[s].push_back(i);
          running[s].fetch_sub(1);
        };
        pool.Submit(&job);
      }
    }
    for (int i = 0; i < kJobs; i++) {
      jobs[next].run = [&] { freeRuns++; };
      pool.Submit(&jobs[next++]);
    }
    for (PoolJob& job : jobs) pool.Wait(&job);
  }
  EXPECT_EQ(overlaps, 0);
  EXPECT_EQ(freeRuns, kJobs);
  for (const std::vector<int>& ran : order) {
    ASSERT_EQ(ran.size(), static_cast<size_t>(kJobs));
    for (int i = 0; i < kJobs; i++) EXPECT_EQ(ran[i], i);
  }
}
