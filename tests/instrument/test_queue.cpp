// The worker's message queue and record ring.
#include <gtest/gtest.h>

#include "instrument/worker.h"

namespace {

TEST(MsgQ, HoldsEightCodesInOrderAcrossTheCounterWrap) {
  for (int warmUp : {0, 65530, 65535 + 3}) {
    SCOPED_TRACE(warmUp);
    TMsgQ q;
    uint16_t code = 0;
    for (int i = 0; i < warmUp; ++i) {  // counts run up to (and past) 65535
      ASSERT_TRUE(q.Post(uint16_t(i)));
      ASSERT_TRUE(q.Fetch(&code));
      ASSERT_EQ(code, uint16_t(i));
    }
    EXPECT_FALSE(q.Fetch(&code));
    for (uint16_t i = 1; i <= 8; ++i) EXPECT_TRUE(q.Post(i));
    EXPECT_FALSE(q.Post(9));
    for (uint16_t i = 1; i <= 8; ++i) {
      ASSERT_TRUE(q.Fetch(&code));
      EXPECT_EQ(code, i);
    }
    EXPECT_FALSE(q.Fetch(&code));
    // Half full across the wrap, then full again.
    for (uint16_t i = 0; i < 5; ++i) EXPECT_TRUE(q.Post(i));
    for (uint16_t i = 0; i < 3; ++i) EXPECT_TRUE(q.Fetch(&code));
    for (uint16_t i = 0; i < 6; ++i) EXPECT_TRUE(q.Post(i));
    EXPECT_FALSE(q.Post(99));
  }
}

TEST(FFRing, ListsAreFirstInFirstOut) {
  TFFRing ring;
  FlickerRecord a, b, c;
  EXPECT_EQ(ring.TakeFree(), nullptr);
  ring.PutFree(&a);
  ring.PutFree(&b);
  ring.PutFilled(&c);
  EXPECT_EQ(ring.TakeFree(), &a);
  EXPECT_EQ(ring.TakeFilled(), &c);
  EXPECT_EQ(ring.TakeFilled(), nullptr);
  ring.PutFilled(&a);
  ring.Reset();
  EXPECT_EQ(ring.TakeFree(), nullptr);
  EXPECT_EQ(ring.TakeFilled(), nullptr);
}

}  // namespace
