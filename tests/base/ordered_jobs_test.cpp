// Jobs come back in the order given, whatever thread ran them, with their
// failures; threads that cannot start are done without.
#include "base/ordered_jobs.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <stdexcept>

namespace tovlek::base {
namespace {

struct Square {
  int input = 0;
  int output = 0;
};

// Gives `count` jobs, taking them back as the window fills, and returns
// their results in the order taken.
std::vector<int> squares(OrderedJobs<Square>& jobs, int count) {
  std::vector<int> results;
  for (int i = 0; i < count; ++i) {
    if (jobs.full()) results.push_back(jobs.take()->output);
    std::unique_ptr<Square> job = jobs.fresh();
    job->input = i;
    jobs.give(std::move(job));
  }
  while (!jobs.empty()) results.push_back(jobs.take()->output);
  return results;
}

std::vector<int> expectedSquares(int count) {
  std::vector<int> results;
  for (int i = 0; i < count; ++i) results.push_back(i * i);
  return results;
}

TEST(OrderedJobsTest, ResultsComeBackInOrderOnAnyNumberOfThreads) {
  for (const int workers : {0, 1, 3, 8}) {
    // Later jobs are quicker, so that helpers finish them out of order.
    OrderedJobs<Square> jobs(workers, 6, [](Square& job) {
      volatile int spin = 0;
      for (int k = 0; k < (200 - job.input) * 100; ++k) spin = spin + 1;
      job.output = job.input * job.input;
    });
    EXPECT_EQ(jobs.helpers(), static_cast<size_t>(workers));
    EXPECT_EQ(squares(jobs, 200), expectedSquares(200)) << workers << " workers";
  }
}

TEST(OrderedJobsTest, AFailureIsThrownWhereItsJobIsTaken) {
  for (const int workers : {0, 2}) {
    OrderedJobs<Square> jobs(workers, 4, [](Square& job) {
      if (job.input == 2) throw std::runtime_error("job 2");
      job.output = job.input;
    });
    for (int i = 0; i < 4; ++i) {
      std::unique_ptr<Square> job = jobs.fresh();
      job->input = i;
      jobs.give(std::move(job));
    }
    EXPECT_EQ(jobs.take()->output, 0);
    EXPECT_EQ(jobs.take()->output, 1);
    EXPECT_THROW(jobs.take(), std::runtime_error);
    EXPECT_EQ(jobs.take()->output, 3);
  }
}

// A default stack larger than any address space makes every thread fail to
// start, as on a machine short of memory or of threads.
TEST(OrderedJobsTest, ThreadsThatCannotStartAreDoneWithout) {
  pthread_attr_t normal;
  ASSERT_EQ(pthread_getattr_default_np(&normal), 0);
  pthread_attr_t huge;
  pthread_attr_init(&huge);
  pthread_attr_setstacksize(&huge, size_t{1} << 46);
  ASSERT_EQ(pthread_setattr_default_np(&huge), 0);
  {
    OrderedJobs<Square> jobs(4, 6, [](Square& job) { job.output = job.input * job.input; });
    EXPECT_EQ(jobs.helpers(), 0u);
    EXPECT_EQ(squares(jobs, 50), expectedSquares(50));
  }
  pthread_setattr_default_np(&normal);
  pthread_attr_destroy(&huge);
  pthread_attr_destroy(&normal);
}

}  // namespace
}  // namespace tovlek::base
