// The program's global allocation and release operators. This file is compiled into every
// executable as an object of its own (see cmake/Pendrake.cmake), never into a library.
//
// Over-aligned forms (std::align_val_t) are left to the runtime: they pair with their own release
// forms, nothing of ours uses them, and the tracker's guard layout only promises malloc alignment.

#include <new>

#include "Engine/MemoryTracker.h"

namespace {

void* TrackedNew(size_t size, uint32_t type) {
  if (size == 0) size = 1;
  for (;;) {
    if (void* p = MemoryTracker::AllocateWithPendingOwner(type, size)) return p;
    std::new_handler handler = std::get_new_handler();
    if (!handler) throw std::bad_alloc();
    handler();
  }
}

// "memory.log" begins afresh with every run, before main.
struct MemoryLogStarter {
  MemoryLogStarter() { MemoryTracker::ResetLog(); }
} s_memoryLogStarter;

}  // namespace

void* operator new(size_t size) { return TrackedNew(size, kAllocNew); }
void* operator new[](size_t size) { return TrackedNew(size, kAllocNewArray); }

void* operator new(size_t size, const std::nothrow_t&) noexcept {
  try {
    return TrackedNew(size, kAllocNew);
  } catch (...) {
    return nullptr;
  }
}

void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  try {
    return TrackedNew(size, kAllocNewArray);
  } catch (...) {
    return nullptr;
  }
}

void operator delete(void* p) noexcept { MemoryTracker::DeallocateWithPendingOwner(p, kAllocDelete); }
void operator delete[](void* p) noexcept {
  MemoryTracker::DeallocateWithPendingOwner(p, kAllocDeleteArray);
}
void operator delete(void* p, size_t) noexcept {
  MemoryTracker::DeallocateWithPendingOwner(p, kAllocDelete);
}
void operator delete[](void* p, size_t) noexcept {
  MemoryTracker::DeallocateWithPendingOwner(p, kAllocDeleteArray);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  MemoryTracker::DeallocateWithPendingOwner(p, kAllocDelete);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  MemoryTracker::DeallocateWithPendingOwner(p, kAllocDeleteArray);
}

// The owner-naming forms; nothing in the program uses them, but they are part of the interface.
void* operator new(size_t size, const char* file, int line) {
  MemoryTracker::SetOwner(file, line, "??");
  return TrackedNew(size, kAllocNew);
}
void* operator new[](size_t size, const char* file, int line) {
  MemoryTracker::SetOwner(file, line, "??");
  return TrackedNew(size, kAllocNewArray);
}
void operator delete(void* p, const char*, int) noexcept {
  MemoryTracker::DeallocateWithPendingOwner(p, kAllocDelete);
}
void operator delete[](void* p, const char*, int) noexcept {
  MemoryTracker::DeallocateWithPendingOwner(p, kAllocDeleteArray);
}
