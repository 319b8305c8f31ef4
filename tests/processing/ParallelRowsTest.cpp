#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "ParallelRows.h"

TEST(ParallelRowsTest, EveryRowOnceWhateverTheWork) {
  for (int64_t PerRow : {int64_t(1), int64_t(1) << 22})
    for (int32_t Count : {1, 2, 3, 97}) {
      std::vector<std::atomic<int>> Seen(static_cast<size_t>(Count));
      ParallelRows(Count, PerRow, [&](int32_t Begin, int32_t End) {
        for (int32_t Y = Begin; Y < End; ++Y)
          ++Seen[size_t(Y)];
      });
      for (int32_t Y = 0; Y < Count; ++Y)
        EXPECT_EQ(Seen[size_t(Y)], 1) << "row " << Y << " of " << Count;
    }
  ParallelRows(0, 1, [](int32_t, int32_t) { FAIL() << "no rows, no call"; });
}

TEST(ParallelRowsTest, AFailingBandFailsTheWholeRunAfterTheOthersEnd) {
  std::atomic<int> Ended{0};
  EXPECT_THROW(ParallelRows(64, int64_t(1) << 24,
                            [&](int32_t Begin, int32_t) {
                              if (Begin == 0)
                                throw std::bad_alloc();
                              ++Ended;
                            }),
               std::bad_alloc);
  EXPECT_GE(Ended.load(), 0);
}
