#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Engine/DataArray.h"
#include "Engine/LinkedList.h"

namespace {

struct Record {
  float a, b;
  int c;
};
enum Colour { kRed, kGreen };

TEST(DataArray, DefaultGrowStepsByElementKind) {
  EXPECT_EQ(DataArray<int>().GetGrowBy(), 4);
  EXPECT_EQ(DataArray<Colour>().GetGrowBy(), 4);
  EXPECT_EQ(DataArray<Record*>().GetGrowBy(), 4);
  EXPECT_EQ(DataArray<Record>().GetGrowBy(), 16);
  EXPECT_EQ(DataArray<Record>(0).GetGrowBy(), 16);
  EXPECT_EQ(DataArray<int>(-3).GetGrowBy(), 4);
  EXPECT_EQ(DataArray<int>(7).GetGrowBy(), 7);
}

TEST(DataArray, AddGrowsByWholeSteps) {
  DataArray<Record> a(16);
  EXPECT_EQ(a.GetCapacity(), 0);
  EXPECT_EQ(a.GetData(), nullptr);
  EXPECT_EQ(a.Add({1, 2, 3}), 0);
  EXPECT_EQ(a.GetCapacity(), 16);
  for (int i = 1; i < 16; ++i) EXPECT_EQ(a.Add({float(i), 0, i}), i);
  EXPECT_EQ(a.GetCapacity(), 16);
  EXPECT_EQ(a.Add({0, 0, 16}), 16);
  EXPECT_EQ(a.GetCapacity(), 32);
  for (int i = 1; i < 17; ++i) EXPECT_EQ(a[i].c, i);
  EXPECT_EQ(a[0].b, 2.0f);
}

TEST(DataArray, GrowArrayAlwaysTakesAtLeastOneStep) {
  DataArray<Record> a(16);
  a.GrowArray(40);
  EXPECT_EQ(a.GetCapacity(), 48);
  DataArray<Record> b(16);
  b.GrowArray(0);
  EXPECT_EQ(b.GetCapacity(), 16);
  b.GrowArray(5);  // already holds 5: one step all the same
  EXPECT_EQ(b.GetCapacity(), 32);
  b.GrowArray(-1);
  EXPECT_EQ(b.GetCapacity(), 48);
  EXPECT_EQ(b.GetCount(), 0);
}

TEST(DataArray, RemoveKeepsOrder) {
  DataArray<int> a;
  for (int v : {10, 20, 30}) a.Add(v);
  a.Remove(2);
  ASSERT_EQ(a.GetCount(), 2);
  EXPECT_EQ(a[1], 20);
  a.Add(30);
  a.Remove(0);
  ASSERT_EQ(a.GetCount(), 2);
  EXPECT_EQ(a[0], 20);
  EXPECT_EQ(a[1], 30);
  EXPECT_EQ(a.GetCapacity(), 4) << "removal never shrinks the block";
}

TEST(DataArray, EmptyAndSetSizeReleaseTheBlock) {
  DataArray<int> a;
  a.Empty();
  EXPECT_EQ(a.GetCount(), 0);
  EXPECT_EQ(a.GetCapacity(), 0);
  a.Add(1);
  int* block = a.GetData();
  ASSERT_NE(MemoryTracker::FindUnit(block), nullptr);
  a.Empty();
  EXPECT_EQ(MemoryTracker::FindUnit(block), nullptr);
  EXPECT_EQ(a.GetData(), nullptr);

  a.Add(5);
  EXPECT_TRUE(a.SetSize(6));
  EXPECT_EQ(a.GetCount(), 6);
  EXPECT_EQ(a[0], 5);
  EXPECT_EQ(a[5], 0) << "places added by SetSize start zeroed";
  EXPECT_TRUE(a.SetSize(0));
  EXPECT_EQ(a.GetData(), nullptr);
  EXPECT_EQ(a.GetCapacity(), 0);
}

TEST(DataArray, BlocksAreOwnedByTheArrayOperation) {
  DataArray<Record*> pointers;
  pointers.Add(nullptr);
  const AllocUnit* u = MemoryTracker::FindUnit(pointers.GetData());
  ASSERT_NE(u, nullptr);
  // The compiler spells the element type its own way; the record keeps the first 39 characters.
  EXPECT_EQ(std::strlen(u->sourceFunc), 39u);
  EXPECT_EQ(std::string(u->sourceFunc).rfind("DataArray<", 0), 0u) << u->sourceFunc;
  EXPECT_STREQ(u->sourceFile, "DataArray.h");
  EXPECT_EQ(u->allocationType, uint32_t(kAllocRealloc));

  DataArray<int> ints;
  ints.Add(1);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("DataArray<int>::GrowArray"), 1u);
}

TEST(DataArray, FailedGrowthKeepsTheOldBlock) {
  DataArray<int> a;
  for (int i = 0; i < 4; ++i) a.Add(i);
  int* block = a.GetData();
  MemoryTracker::InduceFailures(0, 1);
  EXPECT_EQ(a.Add(99), -1);
  EXPECT_EQ(a.GetCount(), 4);
  EXPECT_EQ(a.GetCapacity(), 4);
  EXPECT_EQ(a.GetData(), block);
  EXPECT_EQ(a[3], 3);
  EXPECT_EQ(a.Add(4), 4) << "the next attempt succeeds";

  // A capacity whose byte size cannot be represented is refused without touching the block.
  DataArray<Record> huge(0x7FFFFFF0);
  EXPECT_FALSE(huge.GrowArray(0x7FFFFFF0));
  EXPECT_EQ(huge.GetCapacity(), 0);
}

TEST(DataArray, AddingAnElementOfItsOwnSurvivesGrowth) {
  DataArray<Record> a(1);
  a.Add({1.5f, 2.5f, 7});
  // Grows, so the block may move while the argument still points into it.
  for (int i = 0; i < 50; ++i) a.Add(a[0]);
  for (int i = 0; i < a.GetCount(); ++i) EXPECT_EQ(a[i].c, 7) << i;
}

struct Item : LinkedListNode {
  int value;
  explicit Item(int v) : value(v) {}
};

TEST(LinkedList, HeadTailInsertAndRemove) {
  LinkedList list;
  Item a(1), b(2), c(3), d(4);
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_EQ(list.RemoveHead(), nullptr);
  EXPECT_EQ(list.RemoveTail(), nullptr);

  list.AddTail(&b);
  list.AddHead(&a);
  list.AddTail(&d);
  LinkedList::InsertAfter(&c, &b);
  ASSERT_EQ(list.GetCount(), 4);
  int expected = 1;
  for (LinkedListNode* n = list.head; n; n = n->next) EXPECT_EQ(static_cast<Item*>(n)->value, expected++);
  EXPECT_EQ(list.tail, &d);
  EXPECT_EQ(d.prev, &c);

  list.Remove(&a);
  EXPECT_EQ(list.head, &b);
  EXPECT_EQ(b.prev, nullptr);
  EXPECT_EQ(list.Contains(&a), 0);
  list.Remove(&d);
  EXPECT_EQ(list.tail, &c);
  EXPECT_EQ(c.next, nullptr);
  EXPECT_EQ(list.RemoveTail(), &c);
  EXPECT_EQ(list.Contains(&b), 1);

  // The last node out leaves an empty list and a node with no links.
  EXPECT_EQ(list.RemoveHead(), &b);
  EXPECT_EQ(list.head, nullptr);
  EXPECT_EQ(list.tail, nullptr);
  EXPECT_EQ(b.prev, nullptr);
  EXPECT_EQ(b.next, nullptr);
}

}  // namespace
