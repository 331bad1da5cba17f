#pragma once
// The tracking allocator: every block of the program passes through it (the global operators
// are replaced in every executable). Each live block has a record naming its owner, is wrapped
// in guard words and filled with marker words, so that overruns, underruns and stale use show
// in "memory.log".

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <version>
#if defined(__cpp_lib_source_location)
#include <source_location>
#endif
#include <type_traits>
#include <utility>

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
  // The errno value of a "memory.log" write that failed since the last call, or 0. A run of
  // failures counts once, until a write succeeds again. The tracker cannot write the debug log
  // itself (it runs before the log exists and underneath every allocation), so the debug log
  // takes this and says it.
  static int TakeLogFailure();

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

// The owner-naming forms of the operators (defined with the global operators).
void* operator new(size_t size, const char* file, int line);
void* operator new[](size_t size, const char* file, int line);
void operator delete(void* p, const char* file, int line) noexcept;
void operator delete[](void* p, const char* file, int line) noexcept;

// One way to allocate with an owner. The owner is the name the memory log shows, such as
// "NodeFactory::Add"; the file and line are taken from the call site by themselves.
//   OwnedPtr<Foo> foo = Owned<Foo>("Bar::Load", 1, 2);    // freed through the tracker if dropped
//   Foo* kept = TrackedNew<Foo>("Bar::Init");  ...  TrackedDelete("Bar::CleanUp", kept);
//   OwnedBlock<char> text = OwnedAlloc<char>("Bar::Load", n);
//   char* raw = TrackedAlloc<char>("Bar::Load", n);  ...  TrackedFree("Bar::CleanUp", raw);
// Block counts are elements of the type, or bytes when the type is void.
struct AllocOwner {
  // Not explicit: a string literal at the call is the owner, and the call's line goes with it.
#if defined(__cpp_lib_source_location)
  AllocOwner(const char* ownerName,
             const std::source_location& at = std::source_location::current())
      : name(ownerName), file(at.file_name()), line(static_cast<int>(at.line())) {}
#else
  // clang 14, which builds the fuzz targets, has no std::source_location over this library;
  // its builtins name the same call site.
  AllocOwner(const char* ownerName, const char* atFile = __builtin_FILE(),
             int atLine = __builtin_LINE())
      : name(ownerName), file(atFile), line(atLine) {}
#endif
  const char* File() const { return file; }
  int Line() const { return line; }

  const char* name;
  const char* file;
  int line;
};

namespace tracked_detail {
template <class T>
size_t Bytes(size_t count) {
  if constexpr (std::is_void_v<T>) {
    return count;
  } else {
    // An overflowing count is passed on as too large, so the tracker refuses it with a log line.
    return count > SIZE_MAX / sizeof(T) ? SIZE_MAX : count * sizeof(T);
  }
}
}  // namespace tracked_detail

template <class T = void>
T* TrackedAlloc(const AllocOwner& owner, size_t count) {
  return static_cast<T*>(MemoryTracker::Allocate(owner.File(), owner.Line(), owner.name,
                                                 kAllocMalloc, tracked_detail::Bytes<T>(count)));
}

// A null block is a fresh allocation; on failure the old block stays and null is returned. The
// type is never deduced from the block, so a count without one is always bytes.
template <class T = void>
T* TrackedRealloc(const AllocOwner& owner, void* block, size_t count) {
  return static_cast<T*>(MemoryTracker::Reallocate(owner.File(), owner.Line(), owner.name,
                                                   tracked_detail::Bytes<T>(count), block));
}

// A null block releases nothing.
template <class T>
void TrackedFree(const AllocOwner& owner, T* block) {
  if (block)
    MemoryTracker::Deallocate(const_cast<void*>(static_cast<const void*>(block)), owner.File(),
                              owner.Line(), owner.name, kAllocFree);
}

// Null when the tracker refuses the block.
template <class T, class... Args>
T* TrackedNew(const AllocOwner& owner, Args&&... args) {
  MemoryTracker::SetOwner(owner.File(), owner.Line(), owner.name);
  // Records are filled member by member with braces: clang 14, which builds the fuzz targets,
  // does not yet take parentheses for them.
  if constexpr (std::is_aggregate_v<T> && sizeof...(Args) > 0)
    return new (std::nothrow) T{std::forward<Args>(args)...};
  else
    return new (std::nothrow) T(std::forward<Args>(args)...);
}

// Default-constructed elements; null when the tracker refuses the block.
template <class T>
T* TrackedNewArray(const AllocOwner& owner, size_t count) {
  MemoryTracker::SetOwner(owner.File(), owner.Line(), owner.name);
  return new (std::nothrow) T[count];
}

// Like `delete`: the owner is named first, so deletes made by the destructor show in the log as a
// destructor chain.
template <class T>
void TrackedDelete(const AllocOwner& owner, T* object) {
  MemoryTracker::SetOwner(owner.File(), owner.Line(), owner.name);
  delete object;
}

template <class T>
void TrackedDeleteArray(const AllocOwner& owner, T* objects) {
  MemoryTracker::SetOwner(owner.File(), owner.Line(), owner.name);
  delete[] objects;
}

// Owning handles: one owner, released through the tracker under the owner that made the block,
// so failure paths unwind by themselves.
struct OwnedDelete {
  AllocOwner owner;
  template <class T>
  void operator()(T* object) const {
    TrackedDelete(owner, object);
  }
};

struct OwnedFree {
  AllocOwner owner;
  void operator()(void* block) const { TrackedFree(owner, block); }
};

template <class T>
using OwnedPtr = std::unique_ptr<T, OwnedDelete>;
template <class T = void>
using OwnedBlock = std::unique_ptr<T, OwnedFree>;

// Null handle when the tracker refuses the object.
template <class T, class... Args>
OwnedPtr<T> Owned(const AllocOwner& owner, Args&&... args) {
  return OwnedPtr<T>(TrackedNew<T>(owner, std::forward<Args>(args)...), OwnedDelete{owner});
}

template <class T = void>
OwnedBlock<T> OwnedAlloc(const AllocOwner& owner, size_t count) {
  return OwnedBlock<T>(TrackedAlloc<T>(owner, count), OwnedFree{owner});
}

// Takes charge of a block made elsewhere (a loaded file image), freeing it under `owner`.
template <class T>
OwnedBlock<T> AdoptBlock(const AllocOwner& owner, T* block) {
  return OwnedBlock<T>(block, OwnedFree{owner});
}
