#pragma once
// A bounds-checked view of a file image that is used where it lies (scene, geometry, animation,
// particle and font files). The images hold 32-bit offsets from their own start (or from the
// start of an embedded block); those offsets are resolved through this view each time they are
// used, never turned into stored pointers, and every resolution is checked against the image:
// the record fits, an array's count times its record size does not overflow and fits, a string
// ends inside the image.
//
// Every getter returns null (or false, or an empty view) when the request does not fit. Given a
// `what` text, a failure also writes one line to the debug log naming the image and the item, so
// a reader can simply write
//
//   const SceneHeader* header = image.Get<SceneHeader>(0, "header");
//   if (!header) return nullptr;
//
// Records are read with their on-disk layout: declare them with fixed-size fields and
// static_assert their sizes. Typed pointers also require the record's natural alignment (an
// unaligned float array is not merely slow: the compiler may use aligned vector loads on it);
// a field at an odd offset is read by value with Read().

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

class FileImage {
 public:
  // Names longer than this keep their end, which holds the file name.
  static constexpr size_t kNameSize = 64;

  // An empty view: every request fails.
  FileImage() = default;
  // A view of `size` bytes at `base`, named `name` in log lines (the text is copied). The
  // mutable getters work only on a view made from a mutable block.
  FileImage(void* base, size_t size, const char* name);
  FileImage(const void* base, size_t size, const char* name);

  bool Valid() const { return m_base != nullptr; }
  bool Writable() const { return m_writable; }
  size_t Size() const { return m_size; }
  const char* Name() const { return m_name; }
  const unsigned char* Bytes() const { return m_base; }

  // Whether bytes [offset, offset + length) lie inside the image; never logs.
  bool Contains(uint64_t offset, uint64_t length) const {
    return m_base && offset <= m_size && length <= m_size - offset;
  }
  // The same check, logging a failure when `what` is given.
  bool CheckRange(uint64_t offset, uint64_t length, const char* what = nullptr) const;

  // The record of type T at `offset`.
  template <class T>
  const T* Get(uint64_t offset, const char* what = nullptr) const {
    static_assert(std::is_trivially_copyable_v<T>, "file records are plain data");
    return reinterpret_cast<const T*>(Resolve(offset, 1, sizeof(T), alignof(T), what));
  }
  template <class T>
  T* GetMutable(uint64_t offset, const char* what = nullptr) {
    static_assert(std::is_trivially_copyable_v<T>, "file records are plain data");
    return reinterpret_cast<T*>(ResolveMutable(offset, 1, sizeof(T), alignof(T), what));
  }

  // `count` records of type T at `offset`. A negative count, or one whose total size does not
  // fit the image, fails. A count of 0 gives a valid pointer when the offset lies inside the
  // image or at its very end.
  template <class T>
  const T* GetArray(uint64_t offset, int64_t count, const char* what = nullptr) const {
    static_assert(std::is_trivially_copyable_v<T>, "file records are plain data");
    return reinterpret_cast<const T*>(Resolve(offset, count, sizeof(T), alignof(T), what));
  }
  template <class T>
  T* GetMutableArray(uint64_t offset, int64_t count, const char* what = nullptr) {
    static_assert(std::is_trivially_copyable_v<T>, "file records are plain data");
    return reinterpret_cast<T*>(ResolveMutable(offset, count, sizeof(T), alignof(T), what));
  }

  // `count` records of `stride` bytes each (vertex data and the like), as raw bytes.
  const unsigned char* GetStrided(uint64_t offset, int64_t count, uint64_t stride,
                                  const char* what = nullptr) const {
    return Resolve(offset, count, stride, 1, what);
  }

  // The text at `offset`, which must end with a 0 inside the image.
  const char* GetString(uint64_t offset, const char* what = nullptr) const;

  // Copies the value at `offset` into *out (any alignment). *out is left alone on failure.
  template <class T>
  bool Read(uint64_t offset, T* out, const char* what = nullptr) const {
    static_assert(std::is_trivially_copyable_v<T>, "file records are plain data");
    const unsigned char* p = Resolve(offset, 1, sizeof(T), 1, what);
    if (!p) return false;
    std::memcpy(out, p, sizeof(T));
    return true;
  }

  // An embedded block: [offset, offset + length) as a view of its own, whose offsets count from
  // the block's start. On failure, an empty view that keeps the image's name.
  FileImage Sub(uint64_t offset, uint64_t length, const char* what = nullptr) const;
  // The block from `offset` to the end of the image.
  FileImage SubToEnd(uint64_t offset, const char* what = nullptr) const;

  // One log line "<image>: <what> out of range (offset %llu, length %llu, image size %zu)",
  // for readers whose own checks fail (a count that contradicts another, say).
  void LogOutOfRange(const char* what, uint64_t offset, uint64_t length) const;

 private:
  const unsigned char* Resolve(uint64_t offset, int64_t count, uint64_t recordSize,
                               size_t alignment, const char* what) const;
  unsigned char* ResolveMutable(uint64_t offset, int64_t count, uint64_t recordSize,
                                size_t alignment, const char* what);
  void SetName(const char* name);

  unsigned char* m_base = nullptr;
  size_t m_size = 0;
  bool m_writable = false;
  char m_name[kNameSize] = "(image)";
};
