// Handle tables.
#include <gtest/gtest.h>

#include "model/handle_table.h"

TEST(HandleTable, MagicSlotsAndGrowth) {
  HandleArray t{};
  ASSERT_EQ(HandleInit(&t, 0xBBBB), ER_SUCCESS);
  int rec[6];
  handle_t h[6];
  for (int i = 0; i < 6; ++i) ASSERT_EQ(HandleRegister(&t, &h[i], &rec[i]), ER_SUCCESS);
  EXPECT_EQ(h[0], 0xBBBB0000u);
  EXPECT_EQ(h[5], 0xBBBB0005u);
  EXPECT_EQ(t.numAllocated, 10);
  EXPECT_EQ(HandleValidate(&t, h[3]), &rec[3]);
  HandleArray cursors{};
  ASSERT_EQ(HandleInit(&cursors, 0xCCCC), ER_SUCCESS);
  EXPECT_EQ(HandleValidate(&cursors, h[0]), nullptr);  // another table's handle
  HandleDone(&cursors);
  HandleDone(&t);
  EXPECT_EQ(HandleValidate(nullptr, h[0]), nullptr);
}

TEST(HandleTable, ReuseAndDoubleUnregister) {
  HandleArray t{};
  ASSERT_EQ(HandleInit(&t, 0xCCCC), ER_SUCCESS);
  int a, b, c;
  handle_t ha, hb, hc;
  HandleRegister(&t, &ha, &a);
  HandleRegister(&t, &hb, &b);
  uns16 freeBefore = t.numFree;
  HandleUnregister(&t, hb);
  HandleUnregister(&t, hb);
  EXPECT_EQ(t.numFree, freeBefore + 1);
  HandleRegister(&t, &hc, &c);
  EXPECT_EQ(hc, hb);
  EXPECT_EQ(HandleValidate(&t, hb), &c);  // the old copy names the new record
  HandleDone(&t);
}

TEST(HandleTable, ForgedHandlesNeverMatchFreeSlots) {
  HandleArray t{};
  ASSERT_EQ(HandleInit(&t, 0xAAAA), ER_SUCCESS);
  uns16 freeBefore = t.numFree;
  HandleUnregister(&t, 0x00000001);  // upper half 0 equals a free slot's version
  EXPECT_EQ(t.numFree, freeBefore);
  EXPECT_EQ(HandleValidate(&t, 0x00000001), nullptr);
  HandleDone(&t);
}

TEST(HandleTable, IndicesPastTheTableNeverMatch) {
  HandleArray t{};
  ASSERT_EQ(HandleInit(&t, 0xCCCC), ER_SUCCESS);
  int rec;
  handle_t h;
  for (int i = 0; i < 11; ++i) ASSERT_EQ(HandleRegister(&t, &h, &rec), ER_SUCCESS);
  ASSERT_EQ(t.numAllocated, 15);
  uns16 freeBefore = t.numFree;
  for (handle_t idx : {15u, 17u, 19u, 0xFFFFu}) {
    EXPECT_EQ(HandleValidate(&t, 0xCCCC0000u | idx), nullptr) << idx;
    HandleUnregister(&t, 0xCCCC0000u | idx);
    EXPECT_EQ(t.numFree, freeBefore) << idx;
  }
  HandleDone(&t);
}

TEST(HandleTable, MagicZeroAndOverflow) {
  HandleArray t{};
  ASSERT_EQ(HandleInit(&t, 0), ER_SUCCESS);
  handle_t h;
  int rec;
  HandleRegister(&t, &h, &rec);
  EXPECT_EQ(h, 0xFFFF0000u);
  HandleRegister(&t, &h, &rec);
  EXPECT_EQ(h, 0xFFFF0001u);
  for (int i = 2; i < 65535; ++i) ASSERT_EQ(HandleRegister(&t, &h, &rec), ER_SUCCESS);
  EXPECT_EQ(h & 0xFFFF, 65534u);
  EXPECT_EQ(t.numAllocated, 65535);
  EXPECT_EQ(t.numFree, 0);
  EXPECT_EQ(HandleRegister(&t, &h, &rec), ER_HANDLE_OVERFLOW);
  EXPECT_EQ(h, 0u);
  EXPECT_EQ(t.numAllocated, 65535);
  EXPECT_EQ(HandleValidate(&t, 0xFFFF0000u | 65534), &rec);
  HandleUnregister(&t, 0xFFFF0000u | 77);
  ASSERT_EQ(HandleRegister(&t, &h, &rec), ER_SUCCESS);
  EXPECT_EQ(h & 0xFFFF, 77u);
  HandleDone(&t);
}

TEST(HandleTable, LockingIsOptional) {
  HandleArray t{};
  ASSERT_EQ(HandleInit(&t, 0xAAAA), ER_SUCCESS);
  ASSERT_EQ(HandleSpinlocking(&t), ER_SUCCESS);
  handle_t h;
  int rec;
  ASSERT_EQ(HandleRegister(&t, &h, &rec), ER_SUCCESS);
  EXPECT_EQ(HandleValidate(&t, h), &rec);
  HandleDone(&t);
}
