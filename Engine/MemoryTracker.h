#pragma once
// The tracking allocator: every block of the program passes through it (the global operators
// are replaced in every executable). Each live block has a record naming its owner, is wrapped
// in guard words and filled with marker words, so that overruns, underruns and stale use show
// in "memory.log".

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <new>

enum MemAllocType : uint32_t {
  kAllocUnknown = 0,
  kAllocNew = 1,
  kAllocNewArray = 2,
  kAllocMalloc = 3,
  kAllocCalloc = 4,
  kAllocRealloc = 5,
  kAllocDelete = 6,
  kAllocDeleteArray = 7,
  kAllocFree = 8,
};

struct AllocUnit {
  uint32_t actualSize;    // reportedSize + 256
  uint32_t reportedSize;  // what the caller asked for
  void* actualAddress;
  void* reportedAddress;  // actualAddress + 128
  char sourceFile[40];
  char sourceFunc[40];
  uint32_t sourceLine;
  uint32_t allocationType;
  int32_t breakOnDealloc;
  int32_t breakOnRealloc;
  uint32_t allocationNumber;
  AllocUnit* next;
  AllocUnit* prev;
};

struct MemoryStatistics {
  uint32_t totalReportedMemory;
  uint32_t totalActualMemory;
  uint32_t peakReportedMemory;
  uint32_t peakActualMemory;
  uint32_t accumulatedReportedMemory;
  uint32_t accumulatedActualMemory;
  uint32_t accumulatedAllocUnitCount;
  uint32_t totalAllocUnitCount;
  uint32_t peakAllocUnitCount;
};

class MemoryTracker {
 public:
  static constexpr uint32_t kPrefixPattern = 0xBAADF00D;
  static constexpr uint32_t kPostfixPattern = 0xDEADC0DE;
  static constexpr uint32_t kUnusedPattern = 0xFEEDFACE;
  static constexpr uint32_t kReleasedPattern = 0xDEADBEEF;
  static constexpr uint32_t kGuardBytes = 128;  // on each side of the caller's block
  // Largest size the 32-bit size fields can hold once the guards are added.
  static constexpr size_t kMaxRequest = 0xFFFFFFFFu - 2 * kGuardBytes;
  // True in AddressSanitizer builds, where the guards are also poisoned: a stray access to them
  // stops the program at once instead of showing later as a damaged guard word.
  static const bool kGuardsPoisoned;

  // Names the owner of the next allocation or release made by this thread; the operators consume
  // it. Returns the line. (The owner is per thread: SDL's and the GL driver's threads allocate
  // too, and must not take the main thread's owner.)
  static int SetOwner(const char* file, int line, const char* func);

  static void* Allocate(const char* file, int line, const char* func, uint32_t type, size_t size);
  static void* Reallocate(const char* file, int line, const char* func, size_t size, void* address);
  static void Deallocate(void* address, const char* file, int line, const char* func, uint32_t type);

  // The forms the global operators use: owner taken from SetOwner, then cleared.
  static void* AllocateWithPendingOwner(uint32_t type, size_t size);
  static void DeallocateWithPendingOwner(void* address, uint32_t type);

  static void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
  static void ResetLog();
  // Starts "memory.log" afresh now, as at program start (tests that read the log use it).
  static void RestartLog();

  // "%s(%05d)::%s" into one static buffer of 90 characters (truncated).
  static const char* OwnerString(const char* file, int line, const char* func);

  static int ValidateUnit(const AllocUnit* unit);
  static int ValidateAll();
  static void DumpUnit(const AllocUnit* unit, const char* prefix);
  static void DumpAllocations(FILE* fp);
  static void WriteReport(const char* fileName, int overwrite);
  static MemoryStatistics GetStatistics();
  // The record of a caller's address, or null. The record is live only while the block is.
  static const AllocUnit* FindUnit(const void* address);

  static const char* SizeString(uint32_t size);
  static const char* CommaNumber(uint32_t value);

  // Switches.
  static int& AlwaysLogAll();
  static int& AlwaysValidateAll();
  static int& AlwaysWipeAll();
  static int& RandomWipe();
  static uint32_t& BreakOnAllocationNumber();
  // A record's break flags; for an address without a record, a dummy flag.
  static int32_t& BreakOnDealloc(void* address);
  static int32_t& BreakOnRealloc(void* address);

  // Stress testing: after `successes` more allocations or reallocations succeed, the following
  // `failures` fail as if the system had no memory ("[F]" in the log). (-1, 0) switches it off.
  static void InduceFailures(int successes, int failures);

  // Live blocks whose owner function is exactly `func` (leak checks by owner).
  static uint32_t CountBlocksOwnedBy(const char* func);
  // Live blocks whose owner source file is exactly `file` (the name without folders).
  static uint32_t CountBlocksFromFile(const char* file);
};

// Call-site owner, written before `new` and `delete`:
//   Foo* p = KNEW Foo(1);      KDELETE p;      KDELETE_ARRAY q;
#define KOWNER __FILE__, __LINE__, __PRETTY_FUNCTION__
#define KNEW (MemoryTracker::SetOwner(KOWNER), false) ? nullptr : new
#define KDELETE MemoryTracker::SetOwner(KOWNER), delete
#define KDELETE_ARRAY MemoryTracker::SetOwner(KOWNER), delete[]

// Raw owner-tagged blocks.
#define KMALLOC(size) MemoryTracker::Allocate(KOWNER, kAllocMalloc, (size))
#define KREALLOC(ptr, size) MemoryTracker::Reallocate(KOWNER, (size), (ptr))
#define KFREE(ptr) MemoryTracker::Deallocate((ptr), KOWNER, kAllocFree)

// The owner-naming forms of the operators (defined with the global operators).
void* operator new(size_t size, const char* file, int line);
void* operator new[](size_t size, const char* file, int line);
void operator delete(void* p, const char* file, int line) noexcept;
void operator delete[](void* p, const char* file, int line) noexcept;

// Owner-tagged construction and release for code that names its owners explicitly (the names
// the memory log should show, such as "NodeFactory::Add"). Release nulls the pointer.
template <class T, class... Args>
T* NewOwned(const char* file, int line, const char* owner, Args&&... args) {
  MemoryTracker::SetOwner(file, line, owner);
  return new (std::nothrow) T(static_cast<Args&&>(args)...);
}

template <class T>
void DeleteOwned(T*& object, const char* file, int line, const char* owner) {
  if (object) {
    MemoryTracker::SetOwner(file, line, owner);
    delete object;
  }
  object = nullptr;
}

template <class T>
void FreeOwned(T*& block, const char* file, int line, const char* owner) {
  if (block) MemoryTracker::Deallocate(block, file, line, owner, kAllocFree);
  block = nullptr;
}
