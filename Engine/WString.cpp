#include "Engine/WString.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "Engine/Assert.h"
#include "Engine/MemoryTracker.h"
#include "Engine/StdFuncs.h"

namespace {

struct Header {
  uint32_t refs;
  uint32_t length;
  uint32_t capacity;  // units, terminator included
};
static_assert(sizeof(Header) == 12, "the text starts 12 bytes into the block");

constexpr char16_t kEmptyText[1] = {0};

// Lengths whose block would not fit the tracker's 32-bit sizes are refused like a failed
// allocation.
constexpr uint64_t kMaxLength = (MemoryTracker::kMaxRequest - sizeof(Header)) / 2 - 16;

Header* HeaderOf(const char16_t* text) {
  return reinterpret_cast<Header*>(reinterpret_cast<char*>(const_cast<char16_t*>(text)) -
                                   sizeof(Header));
}

bool Contains(const char16_t* text, const void* p) {
  if (!text) return false;
  const char* start = reinterpret_cast<const char*>(HeaderOf(text));
  const char* end = reinterpret_cast<const char*>(text + HeaderOf(text)->capacity);
  const char* q = static_cast<const char*>(p);
  return q >= start && q < end;
}

// Small strings take one of five block sizes so that a little growth needs no new block; from
// 512 bytes on the block is as large as the text. Blocks cut from part of another text are
// sized exactly, to a multiple of 16.
uint64_t BlockBytes(uint64_t length, bool exact) {
  uint64_t bytes = (length + 1) * 2 + sizeof(Header);
  if (exact) return (bytes + 15) & ~uint64_t{15};
  for (uint64_t size = 32; size <= 512; size *= 2)
    if (bytes <= size) return size;
  return bytes;
}

// A block with count 1 and the given length; its text is terminated at 0 and at length.
char16_t* NewBlock(uint64_t length, uint64_t bytes, const AllocOwner& owner) {
  if (length > kMaxLength) {
    AssertReport("length <= kMaxLength", owner.File(), owner.Line());
    return nullptr;
  }
  void* block = TrackedAlloc(owner, bytes);
  if (!block) {
    // The tracker has already logged why.
    AssertReport("block != NULL", owner.File(), owner.Line());
    return nullptr;
  }
  Header* h = static_cast<Header*>(block);
  h->refs = 1;
  h->length = static_cast<uint32_t>(length);
  h->capacity = static_cast<uint32_t>((bytes - sizeof(Header)) / 2);
  char16_t* text = reinterpret_cast<char16_t*>(h + 1);
  text[0] = 0;
  text[length] = 0;
  return text;
}

int CompareUnits(const WString& a, const WString& b, bool foldCase) {
  const char16_t* x = a.c_str();
  const char16_t* y = b.c_str();
  if (x == y) return 0;
  uint32_t la = a.GetLength(), lb = b.GetLength();
  uint32_t n = la < lb ? la : lb;
  for (uint32_t i = 0; i < n; ++i) {
    char16_t cx = foldCase ? WCharToLower(x[i]) : x[i];
    char16_t cy = foldCase ? WCharToLower(y[i]) : y[i];
    if (cx != cy) return cx < cy ? -1 : 1;
  }
  return la == lb ? 0 : (la < lb ? -1 : 1);
}

bool IsDelimiter(const char16_t* delimiters, char16_t c) {
  return delimiters && WStrChr(delimiters, c) != nullptr;
}

// Steps to the next field of text[0, length); `pos` starts at 0 and passes length when no field
// is left.
bool NextField(const char16_t* text, uint32_t length, const char16_t* delimiters, bool single,
               uint32_t& pos, uint32_t& start, uint32_t& end) {
  if (pos > length) return false;
  if (!single) {
    while (pos < length && IsDelimiter(delimiters, text[pos])) ++pos;
    if (pos >= length) {
      pos = length + 1;
      return false;
    }
  }
  start = pos;
  while (pos < length && !IsDelimiter(delimiters, text[pos])) ++pos;
  end = pos;
  ++pos;  // past the delimiter, or past the end after the last field
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Blocks

char16_t* WString::AllocMem(uint32_t length, bool exact) {
  if (m_text) {
    Header* h = HeaderOf(m_text);
    if (h->refs < 2 && uint64_t{length} + 1 <= h->capacity) {
      h->length = length;
      return m_text;
    }
  }
  return NewBlock(length, BlockBytes(length, exact), "WString::AllocMem");
}

char16_t* WString::ReallocMem(uint32_t length) {
  if (!m_text) return AllocMem(length, false);
  Header* h = HeaderOf(m_text);
  if (h->refs < 2 && length < h->capacity) {
    if (length < h->length) m_text[length] = 0;
    h->length = length;
    return m_text;
  }
  char16_t* text = NewBlock(length, BlockBytes(length, false), "WString::ReallocMem");
  if (!text) return nullptr;
  // A shrinking copy of a shared block takes only what fits.
  uint32_t keep = h->length < length ? h->length : length;
  std::memcpy(text, m_text, keep * sizeof(char16_t));
  text[keep] = 0;
  return text;
}

bool WString::MakeUnique() {
  if (!m_text) return true;
  Header* h = HeaderOf(m_text);
  if (h->refs < 2) return true;
  uint64_t bytes = uint64_t{h->capacity} * 2 + sizeof(Header);
  char16_t* text = NewBlock(h->length, bytes, "WString::MakeUnique");
  if (!text) return false;
  // The whole text area: units past the length may be the caller's (SetLength, UpdateLength).
  std::memcpy(text, m_text, uint64_t{h->capacity} * sizeof(char16_t));
  --h->refs;
  m_text = text;
  return true;
}

void WString::Install(char16_t* text) {
  if (text == m_text) return;
  DeallocMem();
  m_text = text;
}

void WString::DeallocMem() {
  if (!m_text) return;
  Header* h = HeaderOf(m_text);
  m_text = nullptr;
  if (h->refs > 1) {
    --h->refs;
    return;
  }
  TrackedFree("WString::DeallocMem", h);
}

// ---------------------------------------------------------------------------------------------
// Construction and assignment

WString::WString(const char* text) { AssignNarrow(text); }

WString::WString(const char16_t* text) { AssignUnits(text, static_cast<uint32_t>(WStrLen(text))); }

WString::WString(const char16_t* text, uint32_t maxLength) {
  if (!text) return;
  uint32_t n = 0;
  while (n < maxLength && text[n]) ++n;
  if (n == 0) return;
  char16_t* block = AllocMem(n, true);
  if (!block) return;
  std::memcpy(block, text, n * sizeof(char16_t));
  block[n] = 0;
  m_text = block;
}

WString::WString(const WString& other) : m_text(other.m_text) {
  if (m_text) ++HeaderOf(m_text)->refs;
}

WString::WString(WString&& other) noexcept : m_text(other.m_text) { other.m_text = nullptr; }

WString::~WString() { DeallocMem(); }

WString& WString::operator=(const WString& other) {
  if (other.m_text == m_text) return *this;
  // Take the new reference before the old one goes: the old block may be what keeps `other`
  // alive (other being an element of something this string owns).
  char16_t* text = other.m_text;
  if (text) ++HeaderOf(text)->refs;
  DeallocMem();
  m_text = text;
  return *this;
}

WString& WString::operator=(WString&& other) noexcept {
  if (&other != this) {
    char16_t* text = other.m_text;
    other.m_text = nullptr;
    DeallocMem();
    m_text = text;
  }
  return *this;
}

WString& WString::operator=(const char* text) {
  AssignNarrow(text);
  return *this;
}

WString& WString::operator=(const char16_t* text) {
  AssignUnits(text, static_cast<uint32_t>(WStrLen(text)));
  return *this;
}

bool WString::AssignUnits(const char16_t* text, uint32_t count) {
  if (!text || count == 0) {
    DeallocMem();
    return true;
  }
  char16_t* block = AllocMem(count, false);
  if (!block) return false;
  // memmove: the text may lie inside the block being reused.
  std::memmove(block, text, count * sizeof(char16_t));
  block[count] = 0;
  Install(block);
  return true;
}

bool WString::AssignNarrow(const char* text) {
  size_t n = text ? std::strlen(text) : 0;
  if (n == 0) {
    DeallocMem();
    return true;
  }
  if (n > kMaxLength) n = kMaxLength + 1;  // refused by NewBlock
  if (Contains(m_text, text)) {
    // Widening in place would overwrite bytes not yet read.
    WString copy(text);
    *this = copy;
    return !copy.IsEmpty();
  }
  char16_t* block = AllocMem(static_cast<uint32_t>(n), false);
  if (!block) return false;
  WidenN(block, text, n);
  block[n] = 0;
  Install(block);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Access

uint32_t WString::GetLength() const { return m_text ? HeaderOf(m_text)->length : 0; }

uint32_t WString::GetCapacity() const { return m_text ? HeaderOf(m_text)->capacity : 0; }

uint32_t WString::GetRefCount() const { return m_text ? HeaderOf(m_text)->refs : 0; }

const char16_t* WString::c_str() const { return m_text ? m_text : kEmptyText; }

char16_t* WString::GetBuffer(uint32_t minLength) {
  uint32_t length = GetLength();
  if (!MakeUnique()) return nullptr;
  if (m_text && uint64_t{minLength} + 1 <= GetCapacity()) return m_text;
  char16_t* block = ReallocMem(minLength > length ? minLength : length);
  if (!block) return nullptr;
  HeaderOf(block)->length = length;
  Install(block);
  return m_text;
}

void WString::SetLength(uint32_t n) {
  if (!m_text || n == GetLength()) return;
  if (!MakeUnique()) return;
  Header* h = HeaderOf(m_text);
  if (n >= h->capacity) {
    AssertReport("n < capacity in WString::SetLength", __FILE__, __LINE__);
    n = h->capacity - 1;
    m_text[n] = 0;
  }
  h->length = n;
}

void WString::UpdateLength() {
  if (!m_text) return;
  Header* h = HeaderOf(m_text);
  uint32_t n = 0;
  while (n + 1 < h->capacity && m_text[n]) ++n;
  bool terminated = m_text[n] == 0;
  if (n == h->length && terminated) return;
  if (!MakeUnique()) return;
  m_text[n] = 0;
  HeaderOf(m_text)->length = n;
}

uint32_t WString::AddRef() { return m_text ? ++HeaderOf(m_text)->refs : 0; }

bool WString::IsEmpty() const { return GetLength() == 0; }

char16_t WString::GetAt(int32_t index) const {
  if (index < 0 || static_cast<uint32_t>(index) >= GetLength()) return 0;
  return m_text[index];
}

int32_t WString::Find(char16_t c) const {
  uint32_t n = GetLength();
  for (uint32_t i = 0; i < n; ++i)
    if (m_text[i] == c) return static_cast<int32_t>(i);
  return -1;
}

void WString::Truncate(uint32_t n) {
  if (n >= GetLength()) return;
  char16_t* block = ReallocMem(n);
  if (!block) return;
  block[n] = 0;
  Install(block);
}

int WString::Compare(const WString& other) const { return CompareUnits(*this, other, false); }

int WString::CompareNoCase(const WString& other) const { return CompareUnits(*this, other, true); }

void WString::MakeLower() {
  if (!m_text || !MakeUnique()) return;
  for (uint32_t i = 0, n = GetLength(); i < n; ++i) m_text[i] = WCharToLower(m_text[i]);
}

void WString::MakeUpper() {
  if (!m_text || !MakeUnique()) return;
  for (uint32_t i = 0, n = GetLength(); i < n; ++i) m_text[i] = WCharToUpper(m_text[i]);
}

bool operator==(const WString& a, const WString& b) {
  if (a.m_text == b.m_text) return true;
  uint32_t n = a.GetLength();
  return n == b.GetLength() && std::memcmp(a.c_str(), b.c_str(), n * sizeof(char16_t)) == 0;
}

bool operator==(const WString& a, const char16_t* b) {
  uint32_t n = a.GetLength();
  const char16_t* t = a.c_str();
  if (!b) return n == 0;
  for (uint32_t i = 0; i < n; ++i)
    if (b[i] != t[i]) return false;  // also stops at b's terminator
  return b[n] == 0;
}

// ---------------------------------------------------------------------------------------------
// Appending

bool WString::Append(const char16_t* text, uint32_t count) {
  if (!text || count == 0) return true;
  uint32_t old = GetLength();
  if (uint64_t{old} + count > kMaxLength) {
    AssertReport("length <= kMaxLength", __FILE__, __LINE__);
    return false;
  }
  char16_t* block = ReallocMem(old + count);
  if (!block) return false;
  // If the text lies in this string's block, that block is still there: a new block only
  // replaces it below, and in a reused block the new units go behind the text.
  std::memmove(block + old, text, count * sizeof(char16_t));
  block[old + count] = 0;
  Install(block);
  return true;
}

bool WString::AppendNarrow(const char* text) {
  size_t n = text ? std::strlen(text) : 0;
  if (n == 0) return true;
  if (Contains(m_text, text)) {
    WString copy(text);
    if (copy.IsEmpty()) return false;
    return Append(copy.c_str(), copy.GetLength());
  }
  uint32_t old = GetLength();
  if (old + uint64_t{n} > kMaxLength) {
    AssertReport("length <= kMaxLength", __FILE__, __LINE__);
    return false;
  }
  char16_t* block = ReallocMem(old + static_cast<uint32_t>(n));
  if (!block) return false;
  WidenN(block + old, text, n);
  block[old + n] = 0;
  Install(block);
  return true;
}

WString& WString::operator+=(char16_t c) {
  Append(&c, 1);
  return *this;
}

WString& WString::operator+=(const char* text) {
  AppendNarrow(text);
  return *this;
}

WString& WString::operator+=(const char16_t* text) {
  Append(text, static_cast<uint32_t>(WStrLen(text)));
  return *this;
}

WString& WString::operator+=(const WString& other) {
  Append(other.c_str(), other.GetLength());
  return *this;
}

WString operator+(const WString& a, const WString& b) {
  WString s(a);
  s += b;
  return s;
}

WString operator+(const WString& a, const char16_t* b) {
  WString s(a);
  s += b;
  return s;
}

WString operator+(const char16_t* a, const WString& b) {
  WString s(a);
  s += b;
  return s;
}

// ---------------------------------------------------------------------------------------------
// Fields

WString WString::GetToken(int32_t index, const char16_t* delimiters, bool single) const {
  if (index < 0) return WString();
  uint32_t pos = 0, start = 0, end = 0;
  for (int32_t field = 0; NextField(c_str(), GetLength(), delimiters, single, pos, start, end);
       ++field) {
    if (field == index) return WString(c_str() + start, end - start);
  }
  return WString();
}

WString WString::GetField(int32_t index, char16_t delimiter, bool single) const {
  const char16_t delimiters[2] = {delimiter, 0};
  return GetToken(index, delimiters, single);
}

int32_t WString::Split(WStringArray& array, const char16_t* delimiters, bool single) const {
  if (IsEmpty()) return 0;
  constexpr uint32_t kMaxField = 255;
  int32_t added = 0;
  uint32_t pos = 0, start = 0, end = 0;
  while (NextField(c_str(), GetLength(), delimiters, single, pos, start, end)) {
    uint32_t n = end - start < kMaxField ? end - start : kMaxField;
    if (array.Add(WString(c_str() + start, n)) < 0) break;
    ++added;
  }
  return added;
}

// ---------------------------------------------------------------------------------------------
// Formatting

bool WString::Format(const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  bool ok = FormatV(format, args);
  va_end(args);
  return ok;
}

bool WString::FormatV(const char16_t* format, va_list args) {
  if (!format) {
    AssertReport("format != NULL in WString::FormatV", __FILE__, __LINE__);
    return false;
  }
  // One pass measures (and reports doubtful specifiers), the second writes into exact room.
  va_list ap;
  va_copy(ap, args);
  const int measured = WVsprintfChecked(nullptr, 0, format, ap);
  va_end(ap);
  constexpr uint32_t kMaxFormatLength = uint32_t{1} << 26;
  KASSERT(static_cast<uint32_t>(measured) <= kMaxFormatLength);
  const uint32_t length = std::min(static_cast<uint32_t>(measured), kMaxFormatLength);
  // Always a new block: the arguments may point into this string's own text.
  char16_t* block = NewBlock(length, BlockBytes(length, false), "WString::AllocMem");
  if (!block) return false;
  va_copy(ap, args);
  const int written = WVsprintf(block, uint64_t{length} + 1, format, ap);
  va_end(ap);
  HeaderOf(block)->length = std::min(static_cast<uint32_t>(written), length);
  Install(block);
  return true;
}

// ---------------------------------------------------------------------------------------------
// WStringArray

namespace {
const WString kEmptyString;
}

WStringArray::WStringArray(const WStringArray& other) { Append(other); }

WStringArray& WStringArray::operator=(const WStringArray& other) {
  if (&other != this) {
    RemoveAll();
    Append(other);
  }
  return *this;
}

WStringArray::~WStringArray() { RemoveAll(); }

bool WStringArray::SetSize(int32_t n, int32_t growBy) {
  if (n < 0) {
    AssertReport("n >= 0 in WStringArray::SetSize", __FILE__, __LINE__);
    return false;
  }
  if (growBy >= 0) m_growBy = growBy;
  if (n == 0) {
    RemoveAll();
    return true;
  }
  if (uint64_t{static_cast<uint32_t>(n)} * sizeof(WString) > MemoryTracker::kMaxRequest) {
    AssertReport("n * sizeof(WString) fits in WStringArray::SetSize", __FILE__, __LINE__);
    return false;
  }
  if (!m_data) {
    void* block = TrackedAlloc("WStringArray::SetSize", n * sizeof(WString));
    if (!block) {
      AssertReport("block != NULL in WStringArray::SetSize", __FILE__, __LINE__);
      return false;
    }
    m_data = static_cast<WString*>(block);
    for (int32_t i = 0; i < n; ++i) new (&m_data[i]) WString();
    m_capacity = m_count = n;
    return true;
  }
  if (n <= m_capacity) {
    for (int32_t i = m_count; i < n; ++i) new (&m_data[i]) WString();
    for (int32_t i = n; i < m_count; ++i) m_data[i].~WString();
    m_count = n;
    return true;
  }
  int32_t step = m_growBy;
  if (step == 0) {
    step = m_count / 8;
    if (step < 4) step = 4;
    if (step > 1024) step = 1024;
  }
  int64_t capacity = int64_t{m_capacity} + step;
  if (capacity < n) capacity = n;
  if (capacity > INT32_MAX ||
      static_cast<uint64_t>(capacity) * sizeof(WString) > MemoryTracker::kMaxRequest)
    capacity = n;
  // WString is one pointer with no address of its own, so the elements move with the block.
  void* block = TrackedRealloc("WStringArray::SetSize", m_data,
                               static_cast<size_t>(capacity) * sizeof(WString));
  if (!block) {
    AssertReport("block != NULL in WStringArray::SetSize", __FILE__, __LINE__);
    return false;
  }
  m_data = static_cast<WString*>(block);
  for (int32_t i = m_count; i < n; ++i) new (&m_data[i]) WString();
  m_count = n;
  m_capacity = static_cast<int32_t>(capacity);
  return true;
}

void WStringArray::RemoveAll() {
  for (int32_t i = 0; i < m_count; ++i) m_data[i].~WString();
  if (m_data) TrackedFree("WStringArray::RemoveAll", m_data);
  m_data = nullptr;
  m_capacity = m_count = 0;
}

void WStringArray::FreeExtra() {
  if (m_count == m_capacity) return;
  if (m_count == 0) {
    TrackedFree("WStringArray::FreeExtra", m_data);
    m_data = nullptr;
    m_capacity = 0;
    return;
  }
  void* block = TrackedRealloc("WStringArray::FreeExtra", m_data, m_count * sizeof(WString));
  if (!block) {
    // The larger block is still good; keep it.
    AssertReport("block != NULL in WStringArray::FreeExtra", __FILE__, __LINE__);
    return;
  }
  m_data = static_cast<WString*>(block);
  m_capacity = m_count;
}

const WString& WStringArray::GetAt(int32_t i) const {
  if (i < 0 || i >= m_count) return kEmptyString;
  return m_data[i];
}

bool WStringArray::SetAtGrow(int32_t i, const WString& s) {
  if (i < 0 || i == INT32_MAX) {
    AssertReport("0 <= i in WStringArray::SetAtGrow", __FILE__, __LINE__);
    return false;
  }
  WString copy(s);  // s may be one of the elements, and the block may move
  if (i >= m_count && !SetSize(i + 1)) return false;
  m_data[i] = static_cast<WString&&>(copy);
  return true;
}

int32_t WStringArray::Add(const WString& s) {
  int32_t i = m_count;
  return SetAtGrow(i, s) ? i : -1;
}

bool WStringArray::InsertAt(int32_t i, const WString& s, int32_t count) {
  if (i < 0 || count < 0 || int64_t{i} + count > INT32_MAX ||
      int64_t{m_count} + count > INT32_MAX) {
    AssertReport("valid range in WStringArray::InsertAt", __FILE__, __LINE__);
    return false;
  }
  if (count == 0) return true;
  WString copy(s);
  if (i >= m_count) {
    if (!SetSize(i + count)) return false;
  } else {
    int32_t old = m_count;
    if (!SetSize(old + count)) return false;
    // The places opened at the end are empty (null), so moving over them loses nothing.
    std::memmove(static_cast<void*>(&m_data[i + count]), static_cast<void*>(&m_data[i]),
                 static_cast<size_t>(old - i) * sizeof(WString));
    for (int32_t j = i; j < i + count; ++j) new (&m_data[j]) WString();
  }
  for (int32_t j = i; j < i + count; ++j) m_data[j] = copy;
  return true;
}

bool WStringArray::InsertAt(int32_t i, const WStringArray& other) {
  if (&other == this) {
    WStringArray copy(other);
    return InsertAt(i, copy);
  }
  if (other.m_count == 0) return i >= 0;
  if (!InsertAt(i, other.m_data[0], other.m_count)) return false;
  for (int32_t j = 1; j < other.m_count; ++j) m_data[i + j] = other.m_data[j];
  return true;
}

int32_t WStringArray::Append(const WStringArray& other) {
  int32_t old = m_count;
  int32_t n = other.m_count;  // read before growing: other may be this array
  if (n == 0) return old;
  if (int64_t{old} + n > INT32_MAX || !SetSize(old + n)) return -1;
  for (int32_t j = 0; j < n; ++j) m_data[old + j] = other.m_data[j];
  return old;
}

void WStringArray::RemoveAt(int32_t i, int32_t count) {
  if (i < 0 || count < 0 || int64_t{i} + count > m_count) {
    AssertReport("valid range in WStringArray::RemoveAt", __FILE__, __LINE__);
    return;
  }
  if (count == 0) return;
  for (int32_t j = i; j < i + count; ++j) m_data[j].~WString();
  std::memmove(static_cast<void*>(&m_data[i]), static_cast<void*>(&m_data[i + count]),
               static_cast<size_t>(m_count - i - count) * sizeof(WString));
  m_count -= count;
}
