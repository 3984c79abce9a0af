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

namespace {

// A caller from 127.0.0.<last> over the connection `origin`.
HandleCaller Peer(uns8 last, uint64_t origin) {
  HandleCaller c{};
  c.host[10] = c.host[11] = 0xFF;
  c.host[12] = 127;
  c.host[15] = last;
  c.origin = origin;
  return c;
}

// Serves as one caller for the scope.
struct AsCaller {
  explicit AsCaller(const HandleCaller& c) { HandleSetCaller(&c); }
  ~AsCaller() { HandleSetCaller(nullptr); }
};

// A record made by a call of `by`.
handle_t RegisterAs(HandleArray* t, const HandleCaller& by, int* rec) {
  AsCaller as(by);
  handle_t h = 0;
  EXPECT_EQ(HandleRegister(t, &h, rec), ER_SUCCESS);
  return h;
}

}  // namespace

// A record answers only to the host whose call made it, over any of its
// connections; outside calls every record answers.
TEST(HandleTable, RecordsBelongToTheHostThatMadeThem) {
  HandleArray t{};
  ASSERT_EQ(HandleInit(&t, 0xCCCC), ER_SUCCESS);
  int rec;
  handle_t h = RegisterAs(&t, Peer(1, 7), &rec);
  struct {
    HandleCaller who;
    bool answers;
  } cases[] = {
      {Peer(1, 7), true}, {Peer(1, 8), true}, {Peer(1, 0), true}, {Peer(2, 7), false}, {Peer(2, 0), false}};
  for (auto& c : cases) {
    AsCaller as(c.who);
    EXPECT_EQ(HandleValidate(&t, h) != nullptr, c.answers) << int(c.who.host[15]) << "/" << c.who.origin;
  }
  EXPECT_EQ(HandleValidate(&t, h), &rec);
  {
    AsCaller b(Peer(2, 9));
    HandleUnregister(&t, h);  // unregistering is the owner's operation's business
  }
  EXPECT_EQ(HandleValidate(&t, h), nullptr);
  HandleDone(&t);
}

// No host gets more than half of a table; another host still gets its share,
// and a freed record makes room for its host again.
TEST(HandleTable, OneHostGetsAtMostHalfOfATable) {
  HandleArray t{};
  ASSERT_EQ(HandleInit(&t, 0xCCCC), ER_SUCCESS);
  int rec;
  handle_t h = 0, first = 0;
  {
    AsCaller a(Peer(1, 3));
    for (uns32 i = 0; i < HANDLE_MAX_PER_HOST; i++) {
      ASSERT_EQ(HandleRegister(&t, &h, &rec), ER_SUCCESS) << i;
      if (i == 0) first = h;
    }
    EXPECT_EQ(HandleRegister(&t, &h, &rec), ER_HANDLE_OVERFLOW);
    EXPECT_EQ(h, 0u);
  }
  {
    AsCaller b(Peer(2, 4));
    for (int i = 0; i < 1000; i++) ASSERT_EQ(HandleRegister(&t, &h, &rec), ER_SUCCESS);
  }
  HandleUnregister(&t, first);
  {
    AsCaller a(Peer(1, 5));
    EXPECT_EQ(HandleRegister(&t, &h, &rec), ER_SUCCESS);
    EXPECT_EQ(HandleRegister(&t, &h, &rec), ER_HANDLE_OVERFLOW);
  }
  HandleDone(&t);
}

// The shared record: every host that holds it may use it until it released
// its last hold; a release takes the hold of the caller's own connection first.
TEST(HandleTable, HoldsOfASharedRecord) {
  HandleArray t{};
  ASSERT_EQ(HandleInit(&t, 0xAAAA), ER_SUCCESS);
  int rec;
  handle_t h = RegisterAs(&t, Peer(1, 10), &rec);
  {
    AsCaller b(Peer(2, 20));
    EXPECT_EQ(HandleValidate(&t, h), nullptr);
    EXPECT_EQ(HandleRelease(&t, h), ER_INVALID_ARGUMENT);
    EXPECT_EQ(HandleHold(&t, h), ER_SUCCESS);
    EXPECT_EQ(HandleValidate(&t, h), &rec);
  }
  {
    AsCaller a2(Peer(1, 11));
    EXPECT_EQ(HandleHold(&t, h), ER_SUCCESS);
  }
  EXPECT_EQ(HandleHoldsFrom(&t, h, 10), 1u);
  EXPECT_EQ(HandleHoldsFrom(&t, h, 11), 1u);
  EXPECT_EQ(HandleHoldsFrom(&t, h, 20), 1u);
  {
    AsCaller a2(Peer(1, 11));
    EXPECT_EQ(HandleRelease(&t, h), ER_SUCCESS);
  }
  EXPECT_EQ(HandleHoldsFrom(&t, h, 10), 1u);
  EXPECT_EQ(HandleHoldsFrom(&t, h, 11), 0u);
  {
    AsCaller a3(Peer(1, 12));  // another connection of the same host
    EXPECT_EQ(HandleRelease(&t, h), ER_SUCCESS);
    EXPECT_EQ(HandleValidate(&t, h), nullptr);
  }
  {
    AsCaller b(Peer(2, 20));
    EXPECT_EQ(HandleValidate(&t, h), &rec);
  }
  HandleDone(&t);
}

// The records a connection made, found by its serial; datagrams (origin 0)
// are never looked up this way.
TEST(HandleTable, RecordsMadeOverOneConnection) {
  HandleArray t{};
  ASSERT_EQ(HandleInit(&t, 0xBBBB), ER_SUCCESS);
  int rec;
  handle_t h[6];
  uint64_t origins[6] = {5, 6, 5, 0, 5, 6};
  for (int i = 0; i < 6; i++) h[i] = RegisterAs(&t, Peer(1, origins[i]), &rec);
  HandleUnregister(&t, h[2]);
  handle_t out[8];
  ASSERT_EQ(HandleListFrom(&t, 5, out, 8), 2u);
  EXPECT_EQ(out[0], h[0]);
  EXPECT_EQ(out[1], h[4]);
  EXPECT_EQ(HandleListFrom(&t, 6, out, 1), 2u);
  EXPECT_EQ(out[0], h[1]);
  EXPECT_EQ(HandleListFrom(&t, 0, out, 8), 0u);
  HandleDone(&t);
}
