#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "platform/notice_filter.h"

namespace {

struct Sent {
  const void* target;
  uint32_t code;
  uintptr_t value;
  bool operator==(const Sent& other) const {
    return target == other.target && code == other.code && value == other.value;
  }
};

std::vector<Sent> Delivered(const std::vector<Sent>& sent) {
  ProgressNoticeFilter filter;
  std::vector<Sent> delivered;
  for (const Sent& notice : sent)
    if (filter.ShouldDeliver(notice.target, notice.code, notice.value)) delivered.push_back(notice);
  return delivered;
}

int g_window, g_other;
const void* const kWindow = &g_window;
const void* const kOther = &g_other;

}  // namespace

TEST(NoticeFilterTest, RepeatedPositionsAreDroppedEverythingElseDelivered) {
  // Copy-out repeats, the copy's last 100 repeated by the first entry, a
  // position going back (as a notice of someone else's would make it), then
  // final notices, whose values may equal a position.
  std::vector<Sent> sent;
  for (uintptr_t position : {0, 0, 0, 1, 1, 2, 2, 2, 100, 100, 100, 150, 150, 120, 150, 150})
    sent.push_back({kWindow, 8, position});
  sent.push_back({kWindow, 3, 150});
  sent.push_back({kWindow, 3, 150});
  sent.push_back({kWindow, 1, 0});
  std::vector<Sent> wanted;
  for (uintptr_t position : {0, 1, 2, 100, 150, 120, 150}) wanted.push_back({kWindow, 8, position});
  wanted.push_back({kWindow, 3, 150});
  wanted.push_back({kWindow, 3, 150});
  wanted.push_back({kWindow, 1, 0});
  EXPECT_EQ(Delivered(sent), wanted);
}

TEST(NoticeFilterTest, FirstProgressNoticeOfEachWindowIsDelivered) {
  // Position 0 first: nothing has been delivered yet, so it is no repeat.
  std::vector<Sent> sent = {{kWindow, 8, 0}, {kOther, 8, 0},  {kOther, 8, 0},
                            {kWindow, 8, 0}, {kWindow, 9, 0}, {kWindow, 8, 0}};
  std::vector<Sent> wanted = {{kWindow, 8, 0}, {kOther, 8, 0}, {kWindow, 8, 0}, {kWindow, 9, 0}};
  EXPECT_EQ(Delivered(sent), wanted);
}
