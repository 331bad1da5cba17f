#include "Engine/MemoryTracker.h"

#include <pthread.h>

#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "Engine/SafeFile.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PENDRAKE_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) && !defined(PENDRAKE_ASAN)
#define PENDRAKE_ASAN 1
#endif
#ifdef PENDRAKE_ASAN
#include <sanitizer/asan_interface.h>
#include <sys/mman.h>
#endif

// Everything in here runs underneath the global operators, so it uses only malloc, realloc, free
// and C stdio, and all of its state is constant-initialised and never destroyed: blocks are
// allocated and released before main starts and after static destructors have run.

namespace {

constexpr uint32_t kHashSize = 4096;
constexpr uint32_t kUnitsPerReservoirBlock = 256;
constexpr uint32_t kGuardWords = MemoryTracker::kGuardBytes / 4;
constexpr int kLogBufferSize = 2048;
constexpr int kOwnerBufferSize = 90;

const char* const kTypeNames[] = {"Unknown", "new",      "new[]",    "malloc", "calloc",
                                  "realloc", "delete",   "delete[]", "free"};

// Recursive: the tracker's own reports (validation, dumps) log through the same entry points.
pthread_mutex_t s_lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;

AllocUnit* s_hash[kHashSize];
AllocUnit* s_reservoir;
AllocUnit** s_reservoirBlocks;
uint32_t s_reservoirBlockCount;
uint32_t s_operationCounter;
MemoryStatistics s_stats;

int s_alwaysLogAll = 0;
int s_alwaysValidateAll = 0;
int s_alwaysWipeAll = 1;
int s_randomWipe = 0;
uint32_t s_breakOnAllocationNumber = 0;
int32_t s_dummyBreakFlag = 0;
int s_logFirstUse = 1;
int s_logUnavailable = 0;
int s_logFailing = 0;
int s_logFailure = 0;  // errno of the failed write nobody has taken yet

// Induced failures apply to the thread that asked for them only.
pthread_t s_induceThread;
int s_induceSuccesses = -1;
int s_induceFailures = 0;

char s_logBuffer[kLogBufferSize];
char s_ownerBuffer[kOwnerBufferSize];
char s_commaBuffer[32];
char s_sizeBuffer[64];

struct PendingOwner {
  const char* file;
  int line;
  const char* func;
};
thread_local PendingOwner t_owner = {nullptr, 0, nullptr};

// The failed call's errno value, never 0 (which would read as success).
int LastError() { return errno ? errno : EIO; }

// Called under the lock with the result of each write of "memory.log" (0 when it went through).
void NoteLogWrite(int error) {
  if (!error) {
    s_logFailing = 0;
    return;
  }
  // One word per run of failures: every later line would fail the same way.
  if (!s_logFailing) s_logFailure = error;
  s_logFailing = 1;
}

class Lock {
 public:
  Lock() { pthread_mutex_lock(&s_lock); }
  ~Lock() { pthread_mutex_unlock(&s_lock); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
};

void ClearOwner() { t_owner = {nullptr, 0, nullptr}; }

const char* TypeName(uint32_t type) {
  return type < sizeof(kTypeNames) / sizeof(kTypeNames[0]) ? kTypeNames[type] : "Unknown";
}

const char* StripFolders(const char* file) {
  if (!file) return "??";
  const char* name = file;
  for (const char* p = file; *p; ++p)
    if (*p == '\\' || *p == '/') name = p + 1;
  return name;
}

void CopyTruncated(char* dst, size_t capacity, const char* src, size_t length) {
  if (length >= capacity) length = capacity - 1;
  std::memcpy(dst, src, length);
  dst[length] = 0;
}

// An owner given as a compiler's full signature ("void* FileIO::LoadFile(const char*)") is kept
// as its qualified name ("FileIO::LoadFile"), so that it fits and reads like the owner names the
// code passes explicitly.
void CopyFunctionName(char* dst, size_t capacity, const char* func) {
  if (!func) {
    CopyTruncated(dst, capacity, "??", 2);
    return;
  }
  const char* end = func;
  int depth = 0;
  while (*end && !(*end == '(' && depth == 0)) {
    if (*end == '<') ++depth;
    if (*end == '>' && depth > 0) --depth;
    ++end;
  }
  if (*end != '(') {
    CopyTruncated(dst, capacity, func, std::strlen(func));
    return;
  }
  const char* begin = func;
  depth = 0;
  for (const char* p = func; p < end; ++p) {
    if (*p == '<') ++depth;
    if (*p == '>' && depth > 0) --depth;
    if (*p == ' ' && depth == 0) begin = p + 1;
  }
  while (begin < end && (*begin == '*' || *begin == '&')) ++begin;
  CopyTruncated(dst, capacity, begin, static_cast<size_t>(end - begin));
}

const char* CurrentOwnerString() {
  char func[40];
  CopyFunctionName(func, sizeof(func), t_owner.func);
  return MemoryTracker::OwnerString(t_owner.file, t_owner.line, func);
}

uintptr_t Addr(const void* p) { return reinterpret_cast<uintptr_t>(p); }

uint32_t HashIndex(const void* reportedAddress) {
  return static_cast<uint32_t>((Addr(reportedAddress) >> 4) & (kHashSize - 1));
}

AllocUnit* FindUnitLocked(const void* address) {
  for (AllocUnit* u = s_hash[HashIndex(address)]; u; u = u->next)
    if (u->reportedAddress == address) return u;
  return nullptr;
}

void LinkUnit(AllocUnit* u) {
  AllocUnit*& head = s_hash[HashIndex(u->reportedAddress)];
  u->prev = nullptr;
  u->next = head;
  if (head) head->prev = u;
  head = u;
}

void UnlinkUnit(AllocUnit* u) {
  AllocUnit*& head = s_hash[HashIndex(u->reportedAddress)];
  if (head == u) head = u->next;
  if (u->prev) u->prev->next = u->next;
  if (u->next) u->next->prev = u->prev;
  u->next = u->prev = nullptr;
}

#ifdef PENDRAKE_ASAN
// LeakSanitizer counts a block as reachable when any heap block it scans points to it, and every
// record points to its block: records are kept outside the heap so that a tracked block the
// program forgot is reported like any other leak.
AllocUnit* NewReservoirBlock() {
  void* p = mmap(nullptr, kUnitsPerReservoirBlock * sizeof(AllocUnit), PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return p == MAP_FAILED ? nullptr : static_cast<AllocUnit*>(p);
}
void FreeReservoirBlock(AllocUnit* block) {
  munmap(block, kUnitsPerReservoirBlock * sizeof(AllocUnit));
}
#else
AllocUnit* NewReservoirBlock() {
  return static_cast<AllocUnit*>(std::calloc(kUnitsPerReservoirBlock, sizeof(AllocUnit)));
}
void FreeReservoirBlock(AllocUnit* block) { std::free(block); }
#endif

bool RefillReservoir() {
  AllocUnit* block = NewReservoirBlock();
  if (!block) return false;
  auto** blocks = static_cast<AllocUnit**>(
      std::realloc(s_reservoirBlocks, (s_reservoirBlockCount + 1) * sizeof(AllocUnit*)));
  if (!blocks) {
    FreeReservoirBlock(block);
    return false;
  }
  s_reservoirBlocks = blocks;
  s_reservoirBlocks[s_reservoirBlockCount++] = block;
  for (uint32_t i = 0; i + 1 < kUnitsPerReservoirBlock; ++i) block[i].next = &block[i + 1];
  block[kUnitsPerReservoirBlock - 1].next = s_reservoir;
  s_reservoir = block;
  return true;
}

// True when this allocation is one the stress test wants to fail.
bool InducedFailure() {
  if (s_induceSuccesses < 0 || !pthread_equal(s_induceThread, pthread_self())) return false;
  if (s_induceSuccesses > 0) {
    --s_induceSuccesses;
    return false;
  }
  if (--s_induceFailures <= 0) s_induceSuccesses = -1;
  MemoryTracker::Log("[F] Induced allocation failure by %s", CurrentOwnerString());
  return true;
}

struct GuardBlock {
  unsigned char bytes[MemoryTracker::kGuardBytes];
};

constexpr GuardBlock MakeGuard(uint32_t word) {
  GuardBlock g{};
  for (uint32_t i = 0; i < MemoryTracker::kGuardBytes; ++i)
    g.bytes[i] = static_cast<unsigned char>(word >> (8 * (i % 4)));
  return g;
}

constexpr GuardBlock kPrefixGuard = MakeGuard(MemoryTracker::kPrefixPattern);
constexpr GuardBlock kPostfixGuard = MakeGuard(MemoryTracker::kPostfixPattern);

// Under AddressSanitizer the guards of a block lie inside one malloc block, where the sanitizer
// would let a reader run 128 bytes past a file image unseen: they are poisoned while the block is
// live, and opened only for the tracker's own writes and checks.
#ifdef PENDRAKE_ASAN
void OpenGuards(const AllocUnit* u) {
  ASAN_UNPOISON_MEMORY_REGION(u->actualAddress, u->actualSize);
}
void CloseGuards(const AllocUnit* u) {
  ASAN_POISON_MEMORY_REGION(u->actualAddress, MemoryTracker::kGuardBytes);
  ASAN_POISON_MEMORY_REGION(static_cast<char*>(u->reportedAddress) + u->reportedSize,
                            MemoryTracker::kGuardBytes);
}
#else
void OpenGuards(const AllocUnit*) {}
void CloseGuards(const AllocUnit*) {}
#endif

// Writes the pattern over `length` bytes, byte i taking byte (i mod 4) of the little-endian word:
// whole words first, the last 1 to 3 bytes from the pattern's low end. Eight bytes per store,
// since every allocation and release pays for it.
void FillPattern(unsigned char* p, uint32_t length, uint32_t pattern) {
  const uint64_t pair = pattern | (uint64_t(pattern) << 32);
  uint32_t i = 0;
  for (; i + 8 <= length; i += 8) std::memcpy(p + i, &pair, 8);
  for (; i < length; ++i) p[i] = static_cast<unsigned char>(pattern >> (8 * (i % 4)));
}

void Fill(AllocUnit* u, uint32_t pattern, uint32_t previousSize) {
  if (s_randomWipe) {
    pattern = 0;
    for (int i = 0; i < 4; ++i) pattern |= static_cast<uint32_t>(std::rand() & 0xFF) << (8 * i);
  }
  auto* bytes = static_cast<unsigned char*>(u->reportedAddress);
  OpenGuards(u);
  if (s_alwaysWipeAll && u->reportedSize > previousSize)
    FillPattern(bytes + previousSize, u->reportedSize - previousSize, pattern);
  std::memcpy(u->actualAddress, kPrefixGuard.bytes, sizeof(kPrefixGuard.bytes));
  std::memcpy(bytes + u->reportedSize, kPostfixGuard.bytes, sizeof(kPostfixGuard.bytes));
  CloseGuards(u);
}

void AddToTotals(const AllocUnit* u) {
  s_stats.totalReportedMemory += u->reportedSize;
  s_stats.totalActualMemory += u->actualSize;
  if (s_stats.totalReportedMemory > s_stats.peakReportedMemory)
    s_stats.peakReportedMemory = s_stats.totalReportedMemory;
  if (s_stats.totalActualMemory > s_stats.peakActualMemory)
    s_stats.peakActualMemory = s_stats.totalActualMemory;
}

void SubtractFromTotals(const AllocUnit* u) {
  s_stats.totalReportedMemory -= u->reportedSize;
  s_stats.totalActualMemory -= u->actualSize;
}

void RecordOwner(AllocUnit* u, const char* file, int line, const char* func) {
  u->sourceLine = line > 0 ? static_cast<uint32_t>(line) : 0;
  const char* name = StripFolders(file);
  CopyTruncated(u->sourceFile, sizeof(u->sourceFile), name, std::strlen(name));
  CopyFunctionName(u->sourceFunc, sizeof(u->sourceFunc), func);
}

void* Fail(const char* text) {
  MemoryTracker::Log("[!] %s", text);
  ClearOwner();
  return nullptr;
}

uint32_t UnusedBytes(const AllocUnit* u) {
  uint32_t unused = 0;
  const auto* bytes = static_cast<const unsigned char*>(u->reportedAddress);
  for (uint32_t i = 0; i + 4 <= u->reportedSize; i += 4) {
    uint32_t word;
    std::memcpy(&word, bytes + i, 4);
    if (word == MemoryTracker::kUnusedPattern) unused += 4;
  }
  return unused;
}

}  // namespace

#ifdef PENDRAKE_ASAN
const bool MemoryTracker::kGuardsPoisoned = true;
#else
const bool MemoryTracker::kGuardsPoisoned = false;
#endif

int MemoryTracker::SetOwner(const char* file, int line, const char* func) {
  if (t_owner.line != 0 && s_alwaysLogAll)
    Log("[I] NOTE! Possible destructor chain: previous owner is %s", CurrentOwnerString());
  t_owner = {file, line, func};
  return line;
}

void* MemoryTracker::Allocate(const char* file, int line, const char* func, uint32_t type,
                              size_t size) {
  Lock lock;
  t_owner = {file, line, func};
  ++s_operationCounter;
  if (s_alwaysLogAll)
    Log("[+] %05u %8s of size 0x%08zX(%08zu) by %s", s_operationCounter, TypeName(type), size, size,
        CurrentOwnerString());
  // The record keeps sizes in 32 bits, guards included; a larger request would wrap.
  if (size > kMaxRequest) return Fail("Request for allocation failed. Size too large to track.");
  if (InducedFailure()) return Fail("Request for allocation failed. Out of memory.");
  if (!s_reservoir && !RefillReservoir())
    return Fail("Unable to allocate RAM for internal memory tracking data");

  AllocUnit* u = s_reservoir;
  s_reservoir = u->next;
  std::memset(u, 0, sizeof(*u));

  u->reportedSize = static_cast<uint32_t>(size);
  u->actualSize = u->reportedSize + 2 * kGuardBytes;
  u->actualAddress = std::malloc(u->actualSize);
  u->reportedAddress = u->actualAddress ? static_cast<char*>(u->actualAddress) + kGuardBytes : nullptr;
  u->allocationType = type;
  u->allocationNumber = s_operationCounter;
  RecordOwner(u, file, line, func);
  if (!u->actualAddress) {
    std::memset(u, 0, sizeof(*u));
    u->next = s_reservoir;
    s_reservoir = u;
    return Fail("Request for allocation failed. Out of memory.");
  }

  LinkUnit(u);
  AddToTotals(u);
  s_stats.accumulatedReportedMemory += u->reportedSize;
  s_stats.accumulatedActualMemory += u->actualSize;
  ++s_stats.accumulatedAllocUnitCount;
  if (++s_stats.totalAllocUnitCount > s_stats.peakAllocUnitCount)
    s_stats.peakAllocUnitCount = s_stats.totalAllocUnitCount;

  Fill(u, kUnusedPattern, 0);
  if (s_alwaysValidateAll) ValidateAll();
  if (s_alwaysLogAll) Log("[+] ---->             addr 0x%016" PRIXPTR, Addr(u->reportedAddress));
  ClearOwner();
  return u->reportedAddress;
}

void* MemoryTracker::Reallocate(const char* file, int line, const char* func, size_t size,
                                void* address) {
  if (!address) return Allocate(file, line, func, kAllocRealloc, size);
  Lock lock;
  t_owner = {file, line, func};
  ++s_operationCounter;
  if (s_alwaysLogAll)
    Log("[~] %05u %8s of size 0x%08zX(%08zu) by %s", s_operationCounter, TypeName(kAllocRealloc),
        size, size, CurrentOwnerString());
  AllocUnit* u = FindUnitLocked(address);
  if (!u) return Fail("Request to reallocate RAM that was never allocated");
  if (s_alwaysLogAll) Log("[~] ---->             from 0x%08X(%08u)", u->reportedSize, u->reportedSize);
  if (size > kMaxRequest) return Fail("Request for reallocation failed. Size too large to track.");
  if (InducedFailure()) return Fail("Request for reallocation failed. Out of memory.");

  uint32_t newReported = static_cast<uint32_t>(size);
  OpenGuards(u);
  void* newActual = std::realloc(u->actualAddress, newReported + 2 * kGuardBytes);
  if (!newActual) {
    CloseGuards(u);
    return Fail("Request for reallocation failed. Out of memory.");
  }

  uint32_t oldReported = u->reportedSize;
  SubtractFromTotals(u);
  UnlinkUnit(u);
  u->actualAddress = newActual;
  u->reportedAddress = static_cast<char*>(newActual) + kGuardBytes;
  u->reportedSize = newReported;
  u->actualSize = newReported + 2 * kGuardBytes;
  u->allocationType = kAllocRealloc;
  u->allocationNumber = s_operationCounter;
  RecordOwner(u, file, line, func);
  LinkUnit(u);
  AddToTotals(u);
  if (newReported > oldReported) {
    s_stats.accumulatedReportedMemory += newReported - oldReported;
    s_stats.accumulatedActualMemory += newReported - oldReported;
  }

  Fill(u, kUnusedPattern, oldReported);
  if (s_alwaysValidateAll) ValidateAll();
  if (s_alwaysLogAll) Log("[~] ---->             addr 0x%016" PRIXPTR, Addr(u->reportedAddress));
  ClearOwner();
  return u->reportedAddress;
}

void MemoryTracker::Deallocate(void* address, const char* file, int line, const char* func,
                               uint32_t type) {
  Lock lock;
  t_owner = {file, line, func};
  if (s_alwaysLogAll)
    Log("[-] ----- %8s of addr 0x%016" PRIXPTR "           by %s", TypeName(type), Addr(address),
        CurrentOwnerString());
  if (!address) {
    ClearOwner();
    return;
  }
  AllocUnit* u = FindUnitLocked(address);
  if (!u) {
    Fail("Request to deallocate RAM that was never allocated");
    return;
  }
  Fill(u, kReleasedPattern, 0);
  OpenGuards(u);
  std::free(u->actualAddress);
  UnlinkUnit(u);
  SubtractFromTotals(u);
  --s_stats.totalAllocUnitCount;
  std::memset(u, 0, sizeof(*u));
  u->next = s_reservoir;
  s_reservoir = u;
  ClearOwner();
  if (s_alwaysValidateAll) ValidateAll();
}

void* MemoryTracker::AllocateWithPendingOwner(uint32_t type, size_t size) {
  PendingOwner o = t_owner;
  return Allocate(o.file, o.line, o.func, type, size);
}

void MemoryTracker::DeallocateWithPendingOwner(void* address, uint32_t type) {
  PendingOwner o = t_owner;
  if (!address) {
    if (s_alwaysLogAll) {
      Lock lock;
      Log("[-] ----- %8s of NULL                      by %s", TypeName(type), CurrentOwnerString());
    }
    ClearOwner();
    return;
  }
  Deallocate(address, o.file, o.line, o.func, type);
}

void MemoryTracker::Log(const char* format, ...) {
  Lock lock;
  if (s_logFirstUse) ResetLog();
  if (s_logUnavailable) return;
  va_list args;
  va_start(args, format);
  std::vsnprintf(s_logBuffer, sizeof(s_logBuffer), format, args);
  va_end(args);
  FILE* fp = std::fopen("memory.log", "ab");
  if (!fp) {
    NoteLogWrite(LastError());
    return;
  }
  int error = std::fprintf(fp, "%s\r\n", s_logBuffer) < 0 ? LastError() : 0;
  // A full disk often shows only when the buffered line is flushed.
  if (std::fclose(fp) != 0 && !error) error = LastError();
  NoteLogWrite(error);
}

int MemoryTracker::TakeLogFailure() {
  Lock lock;
  int error = s_logFailure;
  s_logFailure = 0;
  return error;
}

void MemoryTracker::ResetLog() {
  Lock lock;
  if (!s_logFirstUse) return;
  s_logFirstUse = 0;
  static const char kRule[] =
      "--------------------------------------------------------------------------------";
  static const char* const kLines[] = {
      kRule,
      "",
      kRule,
      "",
      "This file contains a log of all memory operations performed during the last run.",
      "",
      "Interrogate this file to track errors or to help track down memory-related",
      "issues. You can do this by tracing the allocations performed by a specific owner",
      "or by tracking a specific address through a series of allocations and",
      "reallocations.",
      "",
      "Read with some imagination, the owners and addresses below can lead you straight",
      "to the code that misuses a block.",
      "",
      "Note that the following guides are used throughout this file:",
      "",
      "   [!] - Error",
      "   [+] - Allocation",
      "   [~] - Reallocation",
      "   [-] - Deallocation",
      "   [I] - Generic information",
      "   [F] - Failure induced for the purpose of stress-testing your application",
      "   [D] - Information used for debugging this memory manager",
      "",
      "...so, to find all errors in the file, search for \"[!]\"",
      "",
      kRule,
  };
  // The opening text replaces the previous run's log in one piece: a full disk leaves that log
  // whole, and this run's lines are then dropped rather than appended to it.
  char text[kLogBufferSize];
  size_t used = 0;
  for (const char* line : kLines) {
    int n = std::snprintf(text + used, sizeof(text) - used, "%s\r\n", line);
    if (n > 0 && static_cast<size_t>(n) < sizeof(text) - used) used += static_cast<size_t>(n);
  }
  // Temporaries that a killed run's write left would otherwise stay for ever (writes of the log
  // all happen under this lock, so none of this process's is in progress).
  RemoveLeftoverTemporaries("memory.log");
  int error = WriteFileWhole("memory.log", text, used);
  s_logUnavailable = error != 0;
  NoteLogWrite(error);
}

void MemoryTracker::RestartLog() {
  Lock lock;
  s_logFirstUse = 1;
  s_logFailing = 0;
  s_logFailure = 0;
  ResetLog();
}

const char* MemoryTracker::OwnerString(const char* file, int line, const char* func) {
  std::memset(s_ownerBuffer, 0, sizeof(s_ownerBuffer));
  std::snprintf(s_ownerBuffer, sizeof(s_ownerBuffer), "%s(%05d)::%s", StripFolders(file), line,
                func ? func : "??");
  return s_ownerBuffer;
}

int MemoryTracker::ValidateUnit(const AllocUnit* u) {
  Lock lock;
  int ok = 1;
  const auto* prefix = static_cast<const unsigned char*>(u->actualAddress);
  const unsigned char* postfix = static_cast<const unsigned char*>(u->reportedAddress) + u->reportedSize;
  OpenGuards(u);
  for (uint32_t i = 0; i < kGuardWords; ++i) {
    uint32_t word;
    std::memcpy(&word, prefix + 4 * i, 4);
    if (word != kPrefixPattern) {
      Log("[!] A memory allocation unit was corrupt because of an underrun:");
      DumpUnit(u, "  ");
      ok = 0;
    }
  }
  for (uint32_t i = 0; i < kGuardWords; ++i) {
    uint32_t word;
    std::memcpy(&word, postfix + 4 * i, 4);
    if (word != kPostfixPattern) {
      Log("[!] A memory allocation unit was corrupt because of an overrun:");
      DumpUnit(u, "  ");
      ok = 0;
    }
  }
  CloseGuards(u);
  return ok;
}

int MemoryTracker::ValidateAll() {
  Lock lock;
  uint32_t errors = 0;
  uint32_t count = 0;
  for (uint32_t i = 0; i < kHashSize; ++i) {
    for (const AllocUnit* u = s_hash[i]; u; u = u->next) {
      ++count;
      if (!ValidateUnit(u)) ++errors;
    }
  }
  if (count != s_stats.totalAllocUnitCount) {
    Log("[!] Memory tracking hash table corrupt!");
    ++errors;
  }
  if (errors)
    Log("[!] While validting all allocation units, %u allocation unit(s) were found to have problems",
        errors);
  return errors ? 1 : 0;
}

void MemoryTracker::DumpUnit(const AllocUnit* u, const char* prefix) {
  Lock lock;
  char reported[64];
  char actual[64];
  std::snprintf(reported, sizeof(reported), "%s", SizeString(u->reportedSize));
  std::snprintf(actual, sizeof(actual), "%s", SizeString(u->actualSize));
  Log("[I] %sAddress (reported): 0x%016" PRIXPTR, prefix, Addr(u->reportedAddress));
  Log("[I] %sAddress (actual)  : 0x%016" PRIXPTR, prefix, Addr(u->actualAddress));
  Log("[I] %sSize (reported)   : 0x%08X (%s)", prefix, u->reportedSize, reported);
  Log("[I] %sSize (actual)     : 0x%08X (%s)", prefix, u->actualSize, actual);
  Log("[I] %sOwner             : %s(%u)::%s", prefix, u->sourceFile, u->sourceLine, u->sourceFunc);
  Log("[I] %sAllocation type   : %s", prefix, TypeName(u->allocationType));
  Log("[I] %sAllocation number : %u", prefix, u->allocationNumber);
}

void MemoryTracker::DumpAllocations(FILE* fp) {
  Lock lock;
  std::fprintf(fp,
               "Alloc.   Addr               Size       Addr               Size                        "
               "BreakOn BreakOn              \r\n");
  std::fprintf(fp,
               "Number Reported           Reported    Actual             Actual     Unused    Method  "
               "Dealloc Realloc Allocated by \r\n");
  std::fprintf(fp,
               "------ ------------------ ---------- ------------------ ---------- ---------- -------- "
               "------- ------- --------------------------------------------------- \r\n");
  for (uint32_t i = 0; i < kHashSize; ++i) {
    for (const AllocUnit* u = s_hash[i]; u; u = u->next) {
      std::fprintf(fp, "%06u 0x%016" PRIXPTR " 0x%08X 0x%016" PRIXPTR " 0x%08X 0x%08X %-8s    %c       %c    %s\r\n",
                   u->allocationNumber, Addr(u->reportedAddress), u->reportedSize,
                   Addr(u->actualAddress), u->actualSize, UnusedBytes(u), TypeName(u->allocationType),
                   u->breakOnDealloc ? 'Y' : 'N', u->breakOnRealloc ? 'Y' : 'N',
                   OwnerString(u->sourceFile, static_cast<int>(u->sourceLine), u->sourceFunc));
    }
  }
}

void MemoryTracker::WriteReport(const char* fileName, int overwrite) {
  Lock lock;
  FILE* fp = std::fopen(fileName, overwrite ? "w+b" : "ab");
  if (!fp) return;
  uint32_t unused = 0;
  for (uint32_t i = 0; i < kHashSize; ++i)
    for (const AllocUnit* u = s_hash[i]; u; u = u->next) unused += UnusedBytes(u);

  auto box = [fp](const char* title) {
    std::fprintf(fp, " ---------------------------------------------------------------------------------\r\n");
    std::fprintf(fp, "|                                %-49s|\r\n", title);
    std::fprintf(fp, " ---------------------------------------------------------------------------------\r\n\r\n");
  };
  const MemoryStatistics& s = s_stats;
  box("T O T A L S");
  std::fprintf(fp, "              Allocation unit count: %10s\r\n", CommaNumber(s.totalAllocUnitCount));
  std::fprintf(fp, "            Reported to application: %s\r\n", SizeString(s.totalReportedMemory));
  std::fprintf(fp, "         Actual total memory in use: %s\r\n", SizeString(s.totalActualMemory));
  std::fprintf(fp, "           Memory tracking overhead: %s\r\n\r\n",
               SizeString(s.totalActualMemory - s.totalReportedMemory));
  box("P E A K S");
  std::fprintf(fp, "              Allocation unit count: %10s\r\n", CommaNumber(s.peakAllocUnitCount));
  std::fprintf(fp, "            Reported to application: %s\r\n", SizeString(s.peakReportedMemory));
  std::fprintf(fp, "                             Actual: %s\r\n", SizeString(s.peakActualMemory));
  std::fprintf(fp, "           Memory tracking overhead: %s\r\n\r\n",
               SizeString(s.peakActualMemory - s.peakReportedMemory));
  box("A C C U M U L A T E D");
  std::fprintf(fp, "              Allocation unit count: %s\r\n", SizeString(s.accumulatedAllocUnitCount));
  std::fprintf(fp, "            Reported to application: %s\r\n", SizeString(s.accumulatedReportedMemory));
  std::fprintf(fp, "                             Actual: %s\r\n\r\n", SizeString(s.accumulatedActualMemory));
  box("U N U S E D");
  std::fprintf(fp, "    Memory allocated but not in use: %s\r\n\r\n", SizeString(unused));
  DumpAllocations(fp);
  std::fclose(fp);
}

MemoryStatistics MemoryTracker::GetStatistics() {
  Lock lock;
  return s_stats;
}

const AllocUnit* MemoryTracker::FindUnit(const void* address) {
  Lock lock;
  return FindUnitLocked(address);
}

const char* MemoryTracker::CommaNumber(uint32_t value) {
  char digits[16];
  int n = std::snprintf(digits, sizeof(digits), "%u", value);
  int out = 0;
  for (int i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) s_commaBuffer[out++] = ',';
    s_commaBuffer[out++] = digits[i];
  }
  s_commaBuffer[out] = 0;
  return s_commaBuffer;
}

const char* MemoryTracker::SizeString(uint32_t size) {
  const char* comma = CommaNumber(size);
  if (size > 1048576)
    std::snprintf(s_sizeBuffer, sizeof(s_sizeBuffer), "%10s (%7.2fM)", comma, size / 1048576.0f);
  else if (size > 1024)
    std::snprintf(s_sizeBuffer, sizeof(s_sizeBuffer), "%10s (%7.2fK)", comma, size / 1024.0f);
  else
    std::snprintf(s_sizeBuffer, sizeof(s_sizeBuffer), "%10s bytes     ", comma);
  return s_sizeBuffer;
}

int& MemoryTracker::AlwaysLogAll() { return s_alwaysLogAll; }
int& MemoryTracker::AlwaysValidateAll() { return s_alwaysValidateAll; }
int& MemoryTracker::AlwaysWipeAll() { return s_alwaysWipeAll; }
int& MemoryTracker::RandomWipe() { return s_randomWipe; }
uint32_t& MemoryTracker::BreakOnAllocationNumber() { return s_breakOnAllocationNumber; }

int32_t& MemoryTracker::BreakOnDealloc(void* address) {
  Lock lock;
  AllocUnit* u = FindUnitLocked(address);
  return u ? u->breakOnDealloc : s_dummyBreakFlag;
}

int32_t& MemoryTracker::BreakOnRealloc(void* address) {
  Lock lock;
  AllocUnit* u = FindUnitLocked(address);
  return u ? u->breakOnRealloc : s_dummyBreakFlag;
}

void MemoryTracker::InduceFailures(int successes, int failures) {
  Lock lock;
  s_induceThread = pthread_self();
  s_induceSuccesses = failures > 0 ? (successes < 0 ? 0 : successes) : -1;
  s_induceFailures = failures;
}

uint32_t MemoryTracker::CountBlocksOwnedBy(const char* func) {
  Lock lock;
  char name[40];
  CopyFunctionName(name, sizeof(name), func);
  uint32_t n = 0;
  for (uint32_t i = 0; i < kHashSize; ++i)
    for (const AllocUnit* u = s_hash[i]; u; u = u->next)
      if (std::strcmp(u->sourceFunc, name) == 0) ++n;
  return n;
}

uint32_t MemoryTracker::CountBlocksFromFile(const char* file) {
  Lock lock;
  const char* name = StripFolders(file);
  uint32_t n = 0;
  for (uint32_t i = 0; i < kHashSize; ++i)
    for (const AllocUnit* u = s_hash[i]; u; u = u->next)
      if (std::strncmp(u->sourceFile, name, sizeof(u->sourceFile) - 1) == 0) ++n;
  return n;
}
