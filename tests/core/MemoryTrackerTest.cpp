#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCFileIO.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

static char* MakeTenTrackedBytes() { return TrackedNewArray<char>("MakeTenTrackedBytes", 10); }

namespace {

uint32_t WordAt(const void* base, size_t offset) {
  uint32_t w;
  std::memcpy(&w, static_cast<const char*>(base) + offset, 4);
  return w;
}

bool GuardsIntact(const AllocUnit* u) {
  for (uint32_t i = 0; i < 128; i += 4) {
    if (WordAt(u->actualAddress, i) != MemoryTracker::kPrefixPattern) return false;
    if (WordAt(u->reportedAddress, u->reportedSize + i) != MemoryTracker::kPostfixPattern) return false;
  }
  return true;
}

class MemoryTrackerTest : public TempDirTest {
 protected:
  void SetUp() override { MemoryTracker::RestartLog(); }
  void TearDown() override {
    MemoryTracker::AlwaysLogAll() = 0;
    MemoryTracker::InduceFailures(-1, 0);
  }
};

TEST_F(MemoryTrackerTest, NewBlockCarriesGuardsAndFillPattern) {
  char* p = MakeTenTrackedBytes();
  const AllocUnit* u = MemoryTracker::FindUnit(p);
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(u->reportedSize, 10u);
  EXPECT_EQ(u->actualSize, 266u);
  EXPECT_EQ(static_cast<char*>(u->actualAddress) + 128, p);
  EXPECT_EQ(u->allocationType, uint32_t(kAllocNewArray));
  EXPECT_TRUE(GuardsIntact(u));
  const unsigned char expected[10] = {0xCE, 0xFA, 0xED, 0xFE, 0xCE, 0xFA, 0xED, 0xFE, 0xCE, 0xFA};
  EXPECT_EQ(std::memcmp(p, expected, 10), 0);
  // The call site's owner is recorded by its qualified name, without folders or signature.
  EXPECT_STREQ(u->sourceFile, "MemoryTrackerTest.cpp");
  EXPECT_STREQ(u->sourceFunc, "MakeTenTrackedBytes");
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("MakeTenTrackedBytes"), 1u);
  EXPECT_EQ(MemoryTracker::ValidateUnit(u), 1);
  TrackedDeleteArray("test", p);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("MakeTenTrackedBytes"), 0u);
}

TEST_F(MemoryTrackerTest, OwnedHandlesBookTheirCallSiteAndFreeWhenDropped) {
  const uint32_t line = __LINE__ + 1;
  OwnedBlock<uint32_t> block = OwnedAlloc<uint32_t>("Test::Block", 3);
  const AllocUnit* u = MemoryTracker::FindUnit(block.get());
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(u->reportedSize, 12u);
  EXPECT_EQ(u->allocationType, uint32_t(kAllocMalloc));
  EXPECT_STREQ(u->sourceFile, "MemoryTrackerTest.cpp");
  EXPECT_STREQ(u->sourceFunc, "Test::Block");
  EXPECT_EQ(u->sourceLine, line);
  {
    OwnedPtr<int> object = Owned<int>("Test::Object", 7);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(*object, 7);
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("Test::Object"), 1u);
  }
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("Test::Object"), 0u);
  block.reset();
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("Test::Block"), 0u);
}

TEST_F(MemoryTrackerTest, ZeroByteNewGivesDistinctOneByteBlocks) {
  void* a = ::operator new(0);
  void* b = ::operator new(0);
  EXPECT_NE(a, b);
  ASSERT_NE(MemoryTracker::FindUnit(a), nullptr);
  EXPECT_EQ(MemoryTracker::FindUnit(a)->reportedSize, 1u);
  ::operator delete(a);
  ::operator delete(b);
}

TEST_F(MemoryTrackerTest, OwnerIsConsumedByEveryOperation) {
  // A delete of null must still clear the owner, or the next allocation is blamed on it.
  MemoryTracker::SetOwner("some/folder/Owner.cpp", 77, "Owner::Release");
  ::operator delete(nullptr);
  void* p = ::operator new(8);
  const AllocUnit* u = MemoryTracker::FindUnit(p);
  ASSERT_NE(u, nullptr);
  EXPECT_STREQ(u->sourceFile, "??");
  EXPECT_STREQ(u->sourceFunc, "??");
  EXPECT_EQ(u->sourceLine, 0u);
  ::operator delete(p);

  // A failed operation clears it too.
  MemoryTracker::SetOwner("Owner.cpp", 5, "Owner::Bad");
  MemoryTracker::Deallocate(reinterpret_cast<void*>(0x10), nullptr, 0, nullptr, kAllocFree);
  void* q = ::operator new(8);
  EXPECT_STREQ(MemoryTracker::FindUnit(q)->sourceFunc, "??");
  ::operator delete(q);
}

TEST_F(MemoryTrackerTest, ReallocateGrowsShrinksAndMoves) {
  auto* p = static_cast<unsigned char*>(MemoryTracker::Reallocate("a.cpp", 1, "A::Grow", 10, nullptr));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(MemoryTracker::FindUnit(p)->allocationType, uint32_t(kAllocRealloc));
  std::memset(p, 0x11, 10);

  p = static_cast<unsigned char*>(MemoryTracker::Reallocate("a.cpp", 2, "A::Grow", 20, p));
  ASSERT_NE(p, nullptr);
  const AllocUnit* u = MemoryTracker::FindUnit(p);
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(u->reportedSize, 20u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(p[i], 0x11) << i;
  // The new tail takes the pattern from its own start, not from a word boundary of the block.
  const unsigned char tail[10] = {0xCE, 0xFA, 0xED, 0xFE, 0xCE, 0xFA, 0xED, 0xFE, 0xCE, 0xFA};
  EXPECT_EQ(std::memcmp(p + 10, tail, 10), 0);
  EXPECT_TRUE(GuardsIntact(u));

  // Growing far enough to move the block keeps the record findable at the new address.
  p = static_cast<unsigned char*>(MemoryTracker::Reallocate("a.cpp", 3, "A::Grow", 1 << 20, p));
  ASSERT_NE(p, nullptr);
  ASSERT_NE(MemoryTracker::FindUnit(p), nullptr);
  EXPECT_EQ(p[9], 0x11);

  p = static_cast<unsigned char*>(MemoryTracker::Reallocate("a.cpp", 4, "A::Grow", 4, p));
  ASSERT_NE(p, nullptr);
  u = MemoryTracker::FindUnit(p);
  EXPECT_EQ(u->reportedSize, 4u);
  EXPECT_EQ(p[3], 0x11);
  EXPECT_TRUE(GuardsIntact(u));
  EXPECT_EQ(MemoryTracker::ValidateAll(), 0);
  MemoryTracker::Deallocate(p, "a.cpp", 5, "A::Free", kAllocFree);
}

TEST_F(MemoryTrackerTest, RefusesRequestsItCannotRecord) {
  // The record keeps "size + 256" in 32 bits: anything that would wrap is refused, not truncated.
  EXPECT_EQ(MemoryTracker::Allocate("a.cpp", 1, "A::Huge", kAllocMalloc, 0xFFFFFF80u), nullptr);
  EXPECT_EQ(MemoryTracker::Allocate("a.cpp", 1, "A::Huge", kAllocMalloc, size_t(1) << 33), nullptr);
  EXPECT_THROW((void)::operator new(size_t(0xFFFFFFFFu)), std::bad_alloc);
  EXPECT_EQ(::operator new(size_t(1) << 40, std::nothrow), nullptr);
  // An element count whose byte size wraps would otherwise give a tiny block.
  const size_t wrapping = SIZE_MAX / sizeof(uint64_t) + 2;
  EXPECT_EQ(TrackedAlloc<uint64_t>("A::Huge", wrapping), nullptr);
  EXPECT_EQ(TrackedRealloc<uint64_t>("A::Huge", nullptr, wrapping), nullptr);

  void* p = MemoryTracker::Allocate("a.cpp", 1, "A::Small", kAllocMalloc, 16);
  EXPECT_EQ(MemoryTracker::Reallocate("a.cpp", 2, "A::Huge", 0xFFFFFFF0u, p), nullptr);
  EXPECT_EQ(MemoryTracker::FindUnit(p)->reportedSize, 16u) << "a refused reallocation keeps the block";
  MemoryTracker::Deallocate(p, "a.cpp", 3, "A::Small", kAllocFree);
  EXPECT_TRUE(MemoryLogContains("[!] Request for allocation failed."));
  EXPECT_TRUE(MemoryLogContains("[!] Request for reallocation failed."));
}

TEST_F(MemoryTrackerTest, UnknownAddressesAreReportedAndLeftAlone) {
  MemoryStatistics before = MemoryTracker::GetStatistics();
  int local = 0;
  MemoryTracker::Deallocate(&local, "a.cpp", 1, "A::Free", kAllocFree);
  EXPECT_EQ(MemoryTracker::Reallocate("a.cpp", 1, "A::Grow", 8, &local), nullptr);
  EXPECT_EQ(MemoryTracker::GetStatistics().totalAllocUnitCount, before.totalAllocUnitCount);
  EXPECT_TRUE(MemoryLogContains("[!] Request to deallocate RAM that was never allocated"));
  EXPECT_TRUE(MemoryLogContains("[!] Request to reallocate RAM that was never allocated"));
}

TEST_F(MemoryTrackerTest, ValidationFindsOverrunsAndUnderruns) {
  auto* p = static_cast<unsigned char*>(MemoryTracker::Allocate("a.cpp", 1, "A::Buf", kAllocMalloc, 8));
  const AllocUnit* u = MemoryTracker::FindUnit(p);
  p[8] = 0;  // one byte past the end
  EXPECT_EQ(MemoryTracker::ValidateUnit(u), 0);
  EXPECT_EQ(MemoryTracker::ValidateAll(), 1);
  EXPECT_TRUE(MemoryLogContains("[!] A memory allocation unit was corrupt because of an overrun:"));
  EXPECT_TRUE(MemoryLogContains("[I]   Owner             : a.cpp(1)::A::Buf"));
  EXPECT_TRUE(MemoryLogContains("allocation unit(s) were found to have problems"));
  std::memcpy(p + 8, &MemoryTracker::kPostfixPattern, 4);
  p[-1] = 0;
  EXPECT_EQ(MemoryTracker::ValidateUnit(u), 0);
  EXPECT_TRUE(MemoryLogContains("because of an underrun:"));
  std::memcpy(p - 4, &MemoryTracker::kPrefixPattern, 4);
  EXPECT_EQ(MemoryTracker::ValidateUnit(u), 1);
  MemoryTracker::Deallocate(p, "a.cpp", 2, "A::Buf", kAllocFree);
}

TEST_F(MemoryTrackerTest, StatisticsFollowLiveBlocks) {
  MemoryStatistics s0 = MemoryTracker::GetStatistics();
  void* a = MemoryTracker::Allocate("a.cpp", 1, "A", kAllocMalloc, 100);
  void* b = MemoryTracker::Allocate("a.cpp", 1, "A", kAllocMalloc, 50);
  MemoryStatistics s1 = MemoryTracker::GetStatistics();
  EXPECT_EQ(s1.totalReportedMemory - s0.totalReportedMemory, 150u);
  EXPECT_EQ(s1.totalActualMemory - s0.totalActualMemory, 150u + 512u);
  EXPECT_EQ(s1.totalAllocUnitCount - s0.totalAllocUnitCount, 2u);
  EXPECT_EQ(s1.accumulatedAllocUnitCount - s0.accumulatedAllocUnitCount, 2u);
  EXPECT_GE(s1.peakReportedMemory, s1.totalReportedMemory);
  a = MemoryTracker::Reallocate("a.cpp", 2, "A", 300, a);
  MemoryStatistics s2 = MemoryTracker::GetStatistics();
  EXPECT_EQ(s2.totalReportedMemory - s0.totalReportedMemory, 350u);
  EXPECT_EQ(s2.accumulatedReportedMemory - s1.accumulatedReportedMemory, 200u);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("A"), 2u);
  MemoryTracker::Deallocate(a, "a.cpp", 3, "A", kAllocFree);
  MemoryTracker::Deallocate(b, "a.cpp", 3, "A", kAllocFree);
  MemoryStatistics s3 = MemoryTracker::GetStatistics();
  EXPECT_EQ(s3.totalReportedMemory, s0.totalReportedMemory);
  EXPECT_EQ(s3.totalAllocUnitCount, s0.totalAllocUnitCount);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("A"), 0u);
}

TEST_F(MemoryTrackerTest, ConcurrentThreadsKeepTheTableConsistent) {
  // SDL's and the GL driver's threads allocate while the game does.
  MemoryStatistics before = MemoryTracker::GetStatistics();
  std::atomic<int> wrongOwners{0};
  {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &wrongOwners] {
      std::vector<int*> blocks;
      for (int i = 0; i < 5000; ++i) {
        blocks.push_back(TrackedNew<int>("test", i));
        if (i % 3 == 0) {
          TrackedDelete("test", blocks.back());
          blocks.pop_back();
        }
      }
      for (int* p : blocks) {
        const AllocUnit* u = MemoryTracker::FindUnit(p);
        if (!u || std::strcmp(u->sourceFile, "MemoryTrackerTest.cpp") != 0) ++wrongOwners;
        TrackedDelete("test", p);
      }
      (void)t;
    });
  }
  for (auto& th : threads) th.join();
  }
  EXPECT_EQ(wrongOwners.load(), 0);
  EXPECT_EQ(MemoryTracker::ValidateAll(), 0);
  EXPECT_EQ(MemoryTracker::GetStatistics().totalAllocUnitCount, before.totalAllocUnitCount);
}

TEST_F(MemoryTrackerTest, InducedFailuresRunTheOutOfMemoryPaths) {
  MemoryTracker::InduceFailures(1, 1);
  void* first = MemoryTracker::Allocate("a.cpp", 1, "A", kAllocMalloc, 8);
  void* second = MemoryTracker::Allocate("a.cpp", 2, "A", kAllocMalloc, 8);
  void* third = MemoryTracker::Allocate("a.cpp", 3, "A", kAllocMalloc, 8);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_NE(third, nullptr);
  EXPECT_TRUE(MemoryLogContains("[F] Induced allocation failure by a.cpp(00002)::A"));

  // With no new-handler installed, operator new raises the standard exception.
  MemoryTracker::InduceFailures(0, 1);
  EXPECT_THROW((void)::operator new(16), std::bad_alloc);
  // With one, the handler runs and the allocation is retried.
  static int handlerCalls;
  handlerCalls = 0;
  std::new_handler old = std::set_new_handler([] { ++handlerCalls; });
  MemoryTracker::InduceFailures(0, 2);
  void* p = ::operator new(16);
  std::set_new_handler(old);
  EXPECT_NE(p, nullptr);
  EXPECT_EQ(handlerCalls, 2);
  ::operator delete(p);
  MemoryTracker::Deallocate(first, "a.cpp", 4, "A", kAllocFree);
  MemoryTracker::Deallocate(third, "a.cpp", 4, "A", kAllocFree);
}

TEST_F(MemoryTrackerTest, LogStartsWithItsGuideAndUsesCrLf) {
  std::vector<std::string> lines = ReadCrLfLines("memory.log");
  ASSERT_GE(lines.size(), 27u);
  EXPECT_EQ(lines[0], std::string(80, '-'));
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[4], "This file contains a log of all memory operations performed during the last run.");
  EXPECT_EQ(lines[16], "   [!] - Error");
  EXPECT_EQ(lines[24], "...so, to find all errors in the file, search for \"[!]\"");
  EXPECT_EQ(lines[26], std::string(80, '-'));
  EXPECT_EQ(ReadFileBytes("memory.log").find('\n'), ReadFileBytes("memory.log").find("\r\n") + 1);
}

// A line that cannot be stored is said in this run's debug log, once for a run of failures, and
// not before the run's log begins: there it would be wiped with the previous run's.
TEST_F(MemoryTrackerTest, AFailedLogWriteIsSaidOnceInThisRunsDebugLog) {
  std::remove("memory.log");
  ASSERT_EQ(symlink("/dev/full", "memory.log"), 0);
  MemoryTracker::Log("[I] lost");
  MemoryTracker::Log("[I] lost again");
  LogFile log;
  log.Write("from start-up code");
  log.SetFirstWrite();
  log.Write("first");
  log.Write("second");
  const std::vector<std::string> lines = ReadCrLfLines("Debug.log");
  ASSERT_GE(lines.size(), 4u);  // the header
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.end()),
            (std::vector<std::string>{"Unable to write memory.log: No space left on device\n",
                                      "first", "second"}));
  std::remove("memory.log");
}

TEST_F(MemoryTrackerTest, LogEverythingNamesOperationsAndChains) {
  MemoryTracker::AlwaysLogAll() = 1;
  MemoryTracker::SetOwner("x/First.cpp", 10, "First::Make");
  MemoryTracker::SetOwner("Second.cpp", 20, "Second::Make");
  // Explicit operator calls: a new-expression paired with its delete may be elided.
  void* p = ::operator new(4);
  ::operator delete(p);
  ::operator delete(nullptr);
  MemoryTracker::AlwaysLogAll() = 0;
  EXPECT_TRUE(MemoryLogContains("[I] NOTE! Possible destructor chain: previous owner is First.cpp(00010)::First::Make"));
  EXPECT_TRUE(MemoryLogContains("      new of size 0x00000004(00000004) by Second.cpp(00020)::Second::Make"));
  EXPECT_TRUE(MemoryLogContains("[+] ---->             addr 0x"));
  EXPECT_TRUE(MemoryLogContains("[-] -----   delete of addr 0x"));
  EXPECT_TRUE(MemoryLogContains("[-] -----   delete of NULL                      by ?" "?(00000)::?" "?"));
}

TEST(MemoryTrackerFormat, OwnerCommaAndSizeStrings) {
  EXPECT_STREQ(MemoryTracker::OwnerString("C:\\src\\Engine/PCApp.cpp", 53, "App::Init"),
               "PCApp.cpp(00053)::App::Init");
  // The owner buffer holds 90 characters; longer owners are cut, never overflow.
  std::string longFunc(200, 'f');
  EXPECT_EQ(std::strlen(MemoryTracker::OwnerString("a.cpp", 1, longFunc.c_str())), 89u);
  EXPECT_STREQ(MemoryTracker::CommaNumber(1234567), "1,234,567");
  EXPECT_STREQ(MemoryTracker::CommaNumber(999), "999");
  EXPECT_STREQ(MemoryTracker::CommaNumber(1000), "1,000");
  EXPECT_STREQ(MemoryTracker::CommaNumber(4294967295u), "4,294,967,295");
  EXPECT_STREQ(MemoryTracker::SizeString(1024), "     1,024 bytes     ");
  EXPECT_STREQ(MemoryTracker::SizeString(2048), "     2,048 (   2.00K)");
  EXPECT_STREQ(MemoryTracker::SizeString(3 * 1048576), " 3,145,728 (   3.00M)");
}

TEST_F(MemoryTrackerTest, ReportListsLiveBlocksWithUnusedBytes) {
  void* p = MemoryTracker::Allocate("Report.cpp", 9, "Report::Block", kAllocMalloc, 64);
  std::memset(p, 0, 16);
  MemoryTracker::WriteReport("report.txt", 1);
  std::string report = ReadFileBytes("report.txt");
  EXPECT_NE(report.find("T O T A L S"), std::string::npos);
  EXPECT_NE(report.find("U N U S E D"), std::string::npos);
  EXPECT_LT(report.find("Reported to application", report.find("P E A K S")),
            report.find("A C C U M U L A T E D"));
  size_t row = report.find("Report.cpp(00009)::Report::Block");
  ASSERT_NE(row, std::string::npos);
  size_t lineStart = report.rfind("\r\n", row) + 2;
  std::string line = report.substr(lineStart, row - lineStart);
  // 48 of the 64 bytes still hold the hand-out pattern.
  EXPECT_NE(line.find("0x00000040"), std::string::npos) << line;
  EXPECT_NE(line.find("0x00000030 malloc"), std::string::npos) << line;
  MemoryTracker::Deallocate(p, "Report.cpp", 10, "Report::Block", kAllocFree);
}

// A reader that strays just outside a file image lands in the tracker's guards, inside the same
// system block; the sanitizer build must still stop it there, on either side.
TEST(FileImageGuardDeathTest, AReadJustOutsideALoadedImageStops) {
  if (!MemoryTracker::kGuardsPoisoned) GTEST_SKIP() << "only the sanitizer build poisons guards";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ScopedTempDir dir;
  WriteFileBytes("image.bin", "thirteen byte", 13);
  int32_t size = 0;
  auto* image = static_cast<volatile char*>(FileIO::LoadFile("image.bin", &size));
  ASSERT_EQ(size, 13);
  for (const int32_t offset : {size, -1})
    EXPECT_DEATH({ const char c = image[offset]; (void)c; }, "use-after-poison") << offset;
  TrackedFree("test", const_cast<char*>(image));
}

}  // namespace
