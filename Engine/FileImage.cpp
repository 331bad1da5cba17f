#include "Engine/FileImage.h"

#include "Engine/LogFile.h"

FileImage::FileImage(void* base, size_t size, const char* name)
    : m_base(static_cast<unsigned char*>(base)), m_size(base ? size : 0), m_writable(base != nullptr) {
  SetName(name);
}

FileImage::FileImage(const void* base, size_t size, const char* name)
    // The const is given back by every getter except the mutable ones, which refuse this view.
    : m_base(static_cast<unsigned char*>(const_cast<void*>(base))), m_size(base ? size : 0) {
  SetName(name);
}

void FileImage::SetName(const char* name) {
  if (!name) name = "(image)";
  size_t length = std::strlen(name);
  if (length < kNameSize) {
    std::memcpy(m_name, name, length + 1);
    return;
  }
  // Keep the end of a long path: the file name says more than the folders.
  const size_t kept = kNameSize - 4;
  std::memcpy(m_name, "...", 3);
  std::memcpy(m_name + 3, name + length - kept, kept + 1);
}

bool FileImage::CheckRange(uint64_t offset, uint64_t length, const char* what) const {
  if (Contains(offset, length)) return true;
  if (what) LogOutOfRange(what, offset, length);
  return false;
}

void FileImage::LogOutOfRange(const char* what, uint64_t offset, uint64_t length) const {
  DebugLog().Write("%s: %s out of range (offset %llu, length %llu, image size %zu)\n", m_name,
                   what ? what : "data", static_cast<unsigned long long>(offset),
                   static_cast<unsigned long long>(length), m_size);
}

const unsigned char* FileImage::Resolve(uint64_t offset, int64_t count, uint64_t recordSize,
                                        size_t alignment, const char* what) const {
  // Compare the count with the room left rather than multiplying: count × size may not fit in
  // 64 bits, and a 32-bit product would wrap to a small, plausible length.
  bool fits = m_base && count >= 0 && offset <= m_size &&
              (count == 0 ||
               (recordSize != 0 && static_cast<uint64_t>(count) <= (m_size - offset) / recordSize));
  if (!fits) {
    if (what) {
      if (count == 1)
        LogOutOfRange(what, offset, recordSize);
      else
        DebugLog().Write(
            "%s: %s out of range (offset %llu, count %lld, record size %llu, image size %zu)\n",
            m_name, what, static_cast<unsigned long long>(offset), static_cast<long long>(count),
            static_cast<unsigned long long>(recordSize), m_size);
    }
    return nullptr;
  }
  const unsigned char* p = m_base + offset;
  if (alignment > 1 && reinterpret_cast<uintptr_t>(p) % alignment != 0) {
    if (what)
      DebugLog().Write("%s: %s misaligned (offset %llu, alignment %zu)\n", m_name, what,
                       static_cast<unsigned long long>(offset), alignment);
    return nullptr;
  }
  return p;
}

unsigned char* FileImage::ResolveMutable(uint64_t offset, int64_t count, uint64_t recordSize,
                                         size_t alignment, const char* what) {
  if (!m_writable) {
    if (what) DebugLog().Write("%s: %s is in a read-only image\n", m_name, what);
    return nullptr;
  }
  return const_cast<unsigned char*>(Resolve(offset, count, recordSize, alignment, what));
}

const char* FileImage::GetString(uint64_t offset, const char* what) const {
  if (!m_base || offset >= m_size) {
    if (what) LogOutOfRange(what, offset, 1);
    return nullptr;
  }
  const char* text = reinterpret_cast<const char*>(m_base + offset);
  if (!std::memchr(text, 0, m_size - offset)) {
    if (what)
      DebugLog().Write("%s: %s has no terminator inside the image (offset %llu, image size %zu)\n",
                       m_name, what, static_cast<unsigned long long>(offset), m_size);
    return nullptr;
  }
  return text;
}

FileImage FileImage::Sub(uint64_t offset, uint64_t length, const char* what) const {
  // A failed block keeps the image's name, so whatever its reader logs later still says which
  // file was at fault.
  FileImage block = *this;
  if (!CheckRange(offset, length, what)) {
    block.m_base = nullptr;
    block.m_size = 0;
    block.m_writable = false;
    return block;
  }
  block.m_base = m_base + offset;
  block.m_size = length;
  return block;
}

FileImage FileImage::SubToEnd(uint64_t offset, const char* what) const {
  if (!CheckRange(offset, 0, what)) return Sub(offset, 0);
  return Sub(offset, m_size - offset);
}
