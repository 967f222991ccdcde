#include "platform/Parallel.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <numeric>
#include <random>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Visits of each index of [begin, end) by one loop.
std::vector<int> VisitCounts(size_t begin, size_t end, size_t grain) {
  std::vector<std::atomic<int>> visits(end);
  platform::ParallelFor(begin, end, grain, [&](size_t chunkBegin, size_t chunkEnd) {
    for (size_t index = chunkBegin; index < chunkEnd; ++index) visits[index].fetch_add(1);
  });
  return std::vector<int>(visits.begin(), visits.end());
}

// Values whose float sum rounds differently in every order: large and tiny ones mixed.
std::vector<float> OrderSensitiveValues() {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> tiny(0.0f, 1.0f);
  std::vector<float> values(100000);
  for (size_t index = 0; index < values.size(); ++index) {
    values[index] = index % 97 == 0 ? 3.0e7f : tiny(random);
  }
  return values;
}

float ReduceSum(const std::vector<float>& values, size_t grain) {
  return platform::ParallelReduce(
      0, values.size(), grain, 0.0f,
      [&](size_t begin, size_t end, float sum) {
        for (size_t index = begin; index < end; ++index) sum += values[index];
        return sum;
      },
      [](float left, float right) { return left + right; });
}

}  // namespace

TEST(ParallelTest, LoopVisitsEveryIndexOnceWhateverTheWorkersAndGrain) {
  for (size_t workers : {1, 8}) {
    const platform::WorkerLimit limit(workers);
    for (size_t grain : {0, 1, 7, 4096}) {
      const std::vector<int> visits = VisitCounts(5, 100005, grain);
      EXPECT_TRUE(std::all_of(visits.begin(), visits.begin() + 5, [](int n) { return n == 0; }));
      EXPECT_TRUE(std::all_of(visits.begin() + 5, visits.end(), [](int n) { return n == 1; }))
          << workers << " workers, grain " << grain;
    }
  }
}

TEST(ParallelTest, RangeWithinTheGrainIsOneChunkAndAnEmptyRangeNone) {
  std::vector<std::pair<size_t, size_t>> chunks;
  platform::ParallelFor(10, 510, 500, [&](size_t begin, size_t end) { chunks.emplace_back(begin, end); });
  ASSERT_EQ(chunks.size(), 1u);
  EXPECT_EQ(chunks[0], std::make_pair(size_t{10}, size_t{510}));
  platform::ParallelFor(9, 9, 1, [&](size_t, size_t) { ADD_FAILURE() << "called for nothing"; });
}

TEST(ParallelTest, NestedCallsFinishEvenWithOneOrTwoWorkers) {
  for (size_t workers : {1, 2}) {
    const platform::WorkerLimit limit(workers);
    std::atomic<uint64_t> total{0};
    // Loop, invoke and loop again, as an export runs an optimisation that builds an octree.
    platform::ParallelFor(0, 16, 1, [&](size_t begin, size_t end) {
      for (size_t outer = begin; outer < end; ++outer) {
        platform::ParallelInvoke(
            [&] {
              platform::ParallelFor(0, 1000, 10, [&](size_t b, size_t e) { total += e - b; });
            },
            [&] { total += 1; });
      }
    });
    EXPECT_EQ(total.load(), 16u * 1001u) << workers << " workers";
  }
}

TEST(ParallelTest, ReductionRoundsAlikeForAnyNumberOfWorkers) {
  const std::vector<float> values = OrderSensitiveValues();
  float oneWorker = 0.0f;
  {
    const platform::WorkerLimit limit(1);
    oneWorker = ReduceSum(values, 1000);
  }
  for (size_t workers : {2, 3, 8}) {
    const platform::WorkerLimit limit(workers);
    for (int run = 0; run < 3; ++run) EXPECT_EQ(ReduceSum(values, 1000), oneWorker) << workers;
  }
  // The data is worth the test only if another grouping rounds differently.
  EXPECT_NE(std::accumulate(values.begin(), values.end(), 0.0f), oneWorker);
  // Halves at the midpoint down to the grain, joined left to right: the tree the golden meshes
  // were made with.
  const float left = std::accumulate(values.begin(), values.begin() + 50000, 0.0f);
  const float right = std::accumulate(values.begin() + 50000, values.end(), 0.0f);
  EXPECT_EQ(ReduceSum(values, 50000), left + right);
  EXPECT_EQ(platform::ParallelReduce(
                4, 4, 1, uint64_t{42}, [](size_t, size_t, uint64_t) -> uint64_t { return 0; },
                [](uint64_t a, uint64_t b) { return a + b; }),
            42u);
}

TEST(ParallelTest, SortGivesStdSortsOrderForAnyInputShape) {
  std::mt19937 random(11);
  const size_t count = 300000;
  std::vector<std::vector<uint64_t>> inputs(5, std::vector<uint64_t>(count));
  for (size_t index = 0; index < count; ++index) {
    inputs[0][index] = random();
    inputs[1][index] = 5;                                    // all equal
    inputs[2][index] = index;                                // sorted
    inputs[3][index] = count - index;                        // reversed
    inputs[4][index] = std::min(index, count - index) % 50;  // organ pipe, few values
  }
  for (size_t workers : {1, 8}) {
    const platform::WorkerLimit limit(workers);
    for (const std::vector<uint64_t>& input : inputs) {
      std::vector<uint64_t> expected = input, sorted = input;
      std::sort(expected.begin(), expected.end());
      platform::ParallelSort(sorted.data(), sorted.data() + sorted.size());
      EXPECT_EQ(sorted, expected);
    }
  }
  // With a comparison function: descending.
  std::vector<uint64_t> descending = inputs[0];
  platform::ParallelSort(descending.data(), descending.data() + descending.size(),
                         [](uint64_t a, uint64_t b) { return a > b; });
  EXPECT_TRUE(std::is_sorted(descending.rbegin(), descending.rend()));
}

TEST(ParallelTest, WorkerLimitBoundsTheThreadsThatTakePart) {
  for (size_t workers : {1, 3}) {
    const platform::WorkerLimit limit(workers);
    EXPECT_EQ(platform::WorkerCount(), workers);
    std::mutex mutex;
    std::set<std::thread::id> threads;
    platform::ParallelFor(0, 20000, 1, [&](size_t, size_t) {
      std::lock_guard lock(mutex);
      threads.insert(std::this_thread::get_id());
    });
    EXPECT_LE(threads.size(), workers);
    if (workers == 1) {
      EXPECT_EQ(*threads.begin(), std::this_thread::get_id());
    }
  }
  EXPECT_GE(platform::WorkerCount(), 1u);
}

TEST(ParallelTest, ExceptionFromABodyReachesTheCallerAndThePoolGoesOn) {
  EXPECT_THROW(platform::ParallelFor(0, 1000, 1,
                                     [](size_t begin, size_t end) {
                                       if (begin <= 500 && 500 < end) throw std::runtime_error("x");
                                     }),
               std::runtime_error);
  EXPECT_THROW(platform::ParallelInvoke([] {}, [] { throw std::runtime_error("y"); }),
               std::runtime_error);
  const std::vector<int> visits = VisitCounts(0, 1000, 1);
  EXPECT_TRUE(std::all_of(visits.begin(), visits.end(), [](int n) { return n == 1; }));
}

TEST(ParallelTest, PerWorkerGivesEachThreadItsOwnLastingValue) {
  platform::PerWorker<std::vector<size_t>> scratch;
  std::mutex mutex;
  std::map<std::thread::id, std::vector<size_t>*> seen;
  platform::ParallelFor(0, 5000, 1, [&](size_t begin, size_t end) {
    std::vector<size_t>& mine = scratch.Local();
    for (size_t index = begin; index < end; ++index) mine.push_back(index);
    std::lock_guard lock(mutex);
    const auto entry = seen.emplace(std::this_thread::get_id(), &mine).first;
    EXPECT_EQ(entry->second, &mine) << "a thread was given another value";
  });
  std::set<std::vector<size_t>*> distinct;
  size_t total = 0;
  for (const auto& [thread, value] : seen) {
    distinct.insert(value);
    total += value->size();
  }
  EXPECT_EQ(distinct.size(), seen.size());
  EXPECT_EQ(total, 5000u);
}

TEST(ParallelTest, EndedWorkersStartAgainOnTheNextCall) {
  VisitCounts(0, 10000, 1);
  EXPECT_TRUE(platform::EndWorkers());
  const std::vector<int> visits = VisitCounts(0, 10000, 1);
  EXPECT_TRUE(std::all_of(visits.begin(), visits.end(), [](int n) { return n == 1; }));
}
