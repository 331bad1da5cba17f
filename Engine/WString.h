#pragma once
// The engine's string of UTF-16 code units. The object is one pointer to the text; a header just
// before the text holds the reference count, the length and the capacity, so that copies share
// one block until one of them changes it (copy-on-write). Blocks come from the tracking allocator
// under the names of the operations that take them ("WString::AllocMem", ...), so a leak in
// "memory.log" says which operation made the block.
//
// Every change makes the string the only owner of its block first, and every operation that
// takes text copies it before it lets go of the old block, so a source that lies inside the
// string itself (s = s.c_str() + 2, s += s.c_str()) is safe. When a block cannot be had, the
// operation reports an assertion and the string keeps its old value.

#include <cstdarg>
#include <cstdint>

class WStringArray;

class WString {
 public:
  WString() = default;
  WString(const char* text);      // each byte widened to one code unit
  WString(const char16_t* text);  // null or empty gives the empty string
  // At most maxLength units of text (fewer when it ends sooner), in a block sized exactly.
  WString(const char16_t* text, uint32_t maxLength);
  WString(const WString& other);
  WString(WString&& other) noexcept;
  ~WString();

  WString& operator=(const WString& other);
  WString& operator=(WString&& other) noexcept;
  WString& operator=(const char* text);
  WString& operator=(const char16_t* text);

  uint32_t GetLength() const;
  uint32_t GetCapacity() const;  // units the block holds, terminator included; 0 when empty
  uint32_t GetRefCount() const;  // strings sharing the block; 0 when empty
  // Never null: the empty string gives a constant empty text.
  const char16_t* c_str() const;

  // A block of this string's own with room for minLength units and a terminator, the text kept;
  // null when no block can be had. After writing into it, call UpdateLength (or SetLength).
  char16_t* GetBuffer(uint32_t minLength = 0);
  // Puts n into the length field as it stands; no terminator is written. A length that does not
  // fit the block is cut to capacity - 1 (and reported). Does nothing to the empty string.
  void SetLength(uint32_t n);
  // Sets the length to where the text's terminator is (after direct writes into the buffer).
  void UpdateLength();
  // Adds a reference to the block and returns the new count (0 for the empty string). The
  // reference is the caller's to balance; nothing else releases it.
  uint32_t AddRef();

  bool IsEmpty() const;
  char16_t GetAt(int32_t index) const;  // 0 outside the text
  int32_t Find(char16_t c) const;       // first index of c, or -1
  void Truncate(uint32_t n);            // length = min(n, length)

  // Unit by unit as unsigned 16-bit values; the shorter string is smaller. -1, 0 or 1.
  int Compare(const WString& other) const;
  // The same with 'A' to 'Z' taken as 'a' to 'z'; no other letter is folded.
  int CompareNoCase(const WString& other) const;

  void MakeLower();  // ASCII letters only
  void MakeUpper();

  WString& operator+=(char16_t c);
  WString& operator+=(const char* text);
  WString& operator+=(const char16_t* text);
  WString& operator+=(const WString& other);
  // Appends `count` units of text; false (string unchanged) when no block can be had.
  bool Append(const char16_t* text, uint32_t count);

  // The index-th field (from 0), fields separated by any unit of `delimiters`. With `single`
  // every delimiter ends a field (empty fields count); without it runs of delimiters, leading
  // ones included, separate fields. The empty string when there is no such field.
  WString GetToken(int32_t index, const char16_t* delimiters, bool single) const;
  WString GetField(int32_t index, char16_t delimiter, bool single) const;
  // Appends every field, each cut to at most 255 units, to `array`; returns how many.
  int32_t Split(WStringArray& array, const char16_t* delimiters, bool single) const;

  // printf into the string (through WVsprintf); false when no block can be had.
  bool Format(const char16_t* format, ...);
  bool FormatV(const char16_t* format, va_list args);

  // Drops this string's reference; the block is released with its last one.
  void DeallocMem();

  friend bool operator==(const WString& a, const WString& b);
  friend bool operator==(const WString& a, const char16_t* b);

 private:
  // A block this string may write `length` units into: its own when that is unshared and large
  // enough (length field set), else a new one of the given size rule. The text is not kept.
  char16_t* AllocMem(uint32_t length, bool exact);
  // As AllocMem, but the first min(length, old length) units of the text are kept, terminated.
  char16_t* ReallocMem(uint32_t length);
  // Gives the string a block of its own (same capacity) when it shares one; false on failure.
  bool MakeUnique();
  // Makes `text` (from AllocMem or ReallocMem) the string's block, dropping the old one.
  void Install(char16_t* text);
  bool AssignUnits(const char16_t* text, uint32_t count);
  bool AssignNarrow(const char* text);
  bool AppendNarrow(const char* text);

  char16_t* m_text = nullptr;
};

inline bool operator!=(const WString& a, const WString& b) { return !(a == b); }
inline bool operator!=(const WString& a, const char16_t* b) { return !(a == b); }

WString operator+(const WString& a, const WString& b);
WString operator+(const WString& a, const char16_t* b);
WString operator+(const char16_t* a, const WString& b);

// A growable array of WString values: capacity, grow step (0 = automatic), count, elements.
class WStringArray {
 public:
  WStringArray() = default;
  WStringArray(const WStringArray& other);
  WStringArray& operator=(const WStringArray& other);
  ~WStringArray();

  // Sets the count to n: new places are empty strings, places past n are released. growBy of 0
  // or more also becomes the array's grow step (0 = an eighth of the count, 4 to 1024); -1
  // keeps the step. False (array unchanged) when n is negative or no block can be had.
  bool SetSize(int32_t n, int32_t growBy = -1);
  void RemoveAll();
  void FreeExtra();  // capacity = count

  int32_t GetCount() const { return m_count; }
  int32_t GetCapacity() const { return m_capacity; }
  int32_t GetGrowBy() const { return m_growBy; }
  void SetGrowBy(int32_t n) { m_growBy = n < 8 ? 8 : n; }

  // Unchecked, like a plain array.
  WString& operator[](int32_t i) { return m_data[i]; }
  const WString& operator[](int32_t i) const { return m_data[i]; }
  // Checked: an index outside the array gives a constant empty string.
  const WString& GetAt(int32_t i) const;

  bool SetAtGrow(int32_t i, const WString& s);
  int32_t Add(const WString& s);  // the new index, or -1
  bool InsertAt(int32_t i, const WString& s, int32_t count = 1);
  bool InsertAt(int32_t i, const WStringArray& other);
  int32_t Append(const WStringArray& other);  // the old count, or -1
  void RemoveAt(int32_t i, int32_t count = 1);

 private:
  int32_t m_capacity = 0;
  int32_t m_growBy = 0;
  int32_t m_count = 0;
  WString* m_data = nullptr;
};
