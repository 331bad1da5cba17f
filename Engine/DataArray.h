#pragma once
// The engine's growable array of plain records, enumeration values or pointers. Storage is one
// block from the tracking allocator; every allocation names the array operation and the element
// type ("DataArray<int>::GrowArray"), so "memory.log" shows which container holds a block.

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "Engine/MemoryTracker.h"

namespace data_array_detail {

template <class T>
constexpr std::string_view TypeName() {
  // GCC spells the type inside its pretty function name: "... [with T = Foo*; ...]".
  std::string_view p = __PRETTY_FUNCTION__;
  size_t start = p.find("T = ");
  if (start == std::string_view::npos) return "?";
  start += 4;
  size_t end = start;
  int depth = 0;
  for (; end < p.size(); ++end) {
    char c = p[end];
    if (c == '<' || c == '(' || c == '[') ++depth;
    if (c == '>' || c == ')') --depth;
    if (c == ']' && depth-- == 0) break;
    if (c == ';' && depth == 0) break;
  }
  return p.substr(start, end - start);
}

using OwnerText = std::array<char, 96>;

template <class T>
constexpr OwnerText MakeOwner(std::string_view operation) {
  OwnerText out{};
  size_t n = 0;
  auto append = [&](std::string_view s) {
    for (char c : s)
      if (n + 1 < out.size()) out[n++] = c;
  };
  append("DataArray<");
  append(TypeName<T>());
  append(">::");
  append(operation);
  return out;
}

template <class T>
struct Owners {
  static constexpr OwnerText kGrow = MakeOwner<T>("GrowArray");
  static constexpr OwnerText kEmpty = MakeOwner<T>("Empty");
  static constexpr OwnerText kSetSize = MakeOwner<T>("SetSize");
  static constexpr OwnerText kDestroy = MakeOwner<T>("~DataArray");
};

}  // namespace data_array_detail

template <class T>
class DataArray {
  static_assert(std::is_trivially_copyable_v<T>, "elements are moved with byte copies");
  using Owners = data_array_detail::Owners<T>;

 public:
  static constexpr int32_t kDefaultGrowBy =
      (std::is_integral_v<T> || std::is_enum_v<T> || std::is_pointer_v<T>) ? 4 : 16;

  DataArray() = default;
  explicit DataArray(int32_t step) : growBy(step >= 1 ? step : kDefaultGrowBy) {}
  ~DataArray() { Release(Owners::kDestroy.data()); }

  // Arrays are members of their owners and passed by address; a copy would free the block twice.
  DataArray(const DataArray&) = delete;
  DataArray& operator=(const DataArray&) = delete;

  int32_t GetCount() const { return count; }
  int32_t GetCapacity() const { return capacity; }
  int32_t GetGrowBy() const { return growBy; }
  T* GetData() { return data; }
  const T* GetData() const { return data; }

  // No bounds check: callers pass indices below GetCount().
  T& operator[](int32_t index) { return data[index]; }
  const T& operator[](int32_t index) const { return data[index]; }
  T* GetAddress(int32_t index) { return data + index; }

  // Appends one value and returns its index, or -1 when the block could not grow (the array
  // is left as it was).
  int32_t Add(const T& value) {
    // The value may live inside this array's own block, which growing can move.
    T copy = value;
    if (count + 1 > capacity && !GrowArray(count + 1)) return -1;
    std::memcpy(static_cast<void*>(data + count), &copy, sizeof(T));
    return count++;
  }

  void Remove(int32_t index) {
    if (index + 1 < count)
      std::memmove(static_cast<void*>(data + index), data + index + 1,
                   static_cast<size_t>(count - index - 1) * sizeof(T));
    --count;
  }

  // Raises the capacity by whole grow steps (always at least one) until it holds `n`. When the
  // memory cannot be had, the old block and capacity stay and the result is false.
  bool GrowArray(int32_t n) {
    int64_t newCapacity = int64_t(capacity) + growBy;
    if (n > 0)
      while (newCapacity < n) newCapacity += growBy;
    uint64_t bytes = uint64_t(newCapacity) * sizeof(T);
    if (newCapacity > INT32_MAX || bytes > MemoryTracker::kMaxRequest) return false;
    void* block = TrackedRealloc(Owners::kGrow.data(), data, bytes);
    if (!block) return false;
    data = static_cast<T*>(block);
    capacity = static_cast<int32_t>(newCapacity);
    return true;
  }

  void Empty() { Release(Owners::kEmpty.data()); }

  // With 0, as Empty. With n > 0, the array holds exactly n elements (grown as needed, new ones
  // zeroed); false when it could not grow.
  bool SetSize(int32_t n) {
    if (n <= 0) {
      Release(Owners::kSetSize.data());
      return true;
    }
    if (n > capacity && !GrowArray(n)) return false;
    if (n > count)
      std::memset(static_cast<void*>(data + count), 0, static_cast<size_t>(n - count) * sizeof(T));
    count = n;
    return true;
  }

 private:
  // The owner comes from the public call, so the log shows that call's line.
  void Release(const AllocOwner& owner) {
    TrackedFree(owner, data);
    data = nullptr;
    capacity = 0;
    count = 0;
  }

  int32_t capacity = 0;
  int32_t growBy = kDefaultGrowBy;
  int32_t count = 0;
  T* data = nullptr;
};
