#include "Engine/WString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "Engine/MemoryTracker.h"
#include "Engine/StdFuncs.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

std::u16string U(const WString& s) { return std::u16string(s.c_str(), s.GetLength()); }

// An array's strings joined with '|'; also checks the count.
std::u16string Contents(const WStringArray& a) {
  std::u16string joined;
  for (int32_t i = 0; i < a.GetCount(); ++i) joined += (i ? u"|" : u"") + U(a[i]);
  return joined;
}

// The tracker's record of a string's block: the header sits 12 bytes before the text.
const AllocUnit* UnitOf(const WString& s) {
  return MemoryTracker::FindUnit(reinterpret_cast<const char*>(s.c_str()) - 12);
}

uint32_t BlockBytes(const WString& s) {
  const AllocUnit* unit = UnitOf(s);
  return unit ? unit->reportedSize : 0;
}

std::string Owner(const WString& s) {
  const AllocUnit* unit = UnitOf(s);
  return unit ? unit->sourceFunc : "";
}

uint32_t LiveStringBlocks() {
  return MemoryTracker::CountBlocksOwnedBy("WString::AllocMem") +
         MemoryTracker::CountBlocksOwnedBy("WString::ReallocMem") +
         MemoryTracker::CountBlocksOwnedBy("WString::MakeUnique");
}

// Induced allocation failures for the length of one scope.
class FailNextAllocations {
 public:
  explicit FailNextAllocations(int failures, int successes = 0) {
    MemoryTracker::InduceFailures(successes, failures);
  }
  ~FailNextAllocations() { MemoryTracker::InduceFailures(-1, 0); }
};

}  // namespace

TEST(WString, ConstructionAndAccess) {
  WString empty;
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_NE(empty.c_str(), nullptr);
  EXPECT_EQ(empty.c_str()[0], 0);
  EXPECT_EQ(empty.GetLength(), 0u);
  EXPECT_EQ(empty.GetCapacity(), 0u);
  EXPECT_EQ(empty.AddRef(), 0u);
  for (int i = -2; i < 4; ++i) EXPECT_EQ(empty.GetAt(i), 0);

  EXPECT_TRUE(WString(static_cast<const char*>(nullptr)).IsEmpty());
  EXPECT_TRUE(WString(static_cast<const char16_t*>(nullptr)).IsEmpty());
  EXPECT_TRUE(WString("").IsEmpty());
  EXPECT_EQ(U(WString("x")), u"x");
  EXPECT_TRUE(WString(u"").IsEmpty());

  // Narrow text is widened byte by byte, zero-extended.
  WString narrow("A\xE9\xFF");
  ASSERT_EQ(narrow.GetLength(), 3u);
  EXPECT_EQ(narrow.GetAt(0), 0x41);
  EXPECT_EQ(narrow.GetAt(1), 0xE9);
  EXPECT_EQ(narrow.GetAt(2), 0xFF);
  EXPECT_EQ(narrow.GetAt(3), 0);
  EXPECT_EQ(narrow.GetAt(-1), 0);

  WString wide(u"hello");
  EXPECT_EQ(U(wide), u"hello");
  EXPECT_EQ(wide.c_str()[5], 0);
  EXPECT_EQ(wide.Find(u'l'), 2);
  EXPECT_EQ(wide.Find(u'z'), -1);
  EXPECT_EQ(wide.GetRefCount(), 1u);

  // A part of a text: stops at the text's end, never reads past maxLength.
  const char16_t unterminated[4] = {u'a', u'b', u'c', u'd'};
  EXPECT_EQ(U(WString(unterminated, 3)), u"abc");
  EXPECT_EQ(U(WString(u"ab", 10)), u"ab");
  EXPECT_TRUE(WString(u"abc", 0).IsEmpty());

  WString assigned;
  assigned = "narrow";
  EXPECT_EQ(U(assigned), u"narrow");
  assigned = u"";
  EXPECT_TRUE(assigned.IsEmpty());
}

TEST(WString, BlockSizes) {
  WString five(u"abcde");
  EXPECT_EQ(BlockBytes(five), 32u);
  EXPECT_EQ(five.GetCapacity(), 10u);
  EXPECT_EQ(Owner(five), "WString::AllocMem");
  EXPECT_EQ(UnitOf(five)->allocationType, static_cast<uint32_t>(kAllocMalloc));

  five += u"fghij";  // 10 units need 34 bytes
  EXPECT_EQ(BlockBytes(five), 64u);
  EXPECT_EQ(five.GetCapacity(), 26u);
  EXPECT_EQ(Owner(five), "WString::ReallocMem");
  EXPECT_EQ(U(five), u"abcdefghij");

  std::u16string long300(300, u'x');
  WString big(long300.c_str());
  EXPECT_EQ(BlockBytes(big), 614u);
  EXPECT_EQ(big.GetCapacity(), 301u);

  // 249 units fill 512 bytes exactly; one more leaves the size classes.
  EXPECT_EQ(BlockBytes(WString(std::u16string(249, u'y').c_str())), 512u);
  EXPECT_EQ(BlockBytes(WString(std::u16string(250, u'y').c_str())), 514u);
  EXPECT_EQ(BlockBytes(WString(std::u16string(100, u'y').c_str())), 256u);

  // A part of another text takes an exactly sized block, to a multiple of 16.
  WString part(u"abcdefghijkl", 5);  // 24 bytes
  EXPECT_EQ(BlockBytes(part), 32u);
  EXPECT_EQ(BlockBytes(WString(u"abcdefghijkl", 10)), 48u);  // 34 bytes
  EXPECT_EQ(BlockBytes(WString(u"abcdefghijkl", 2)), 32u);   // 18 bytes

  // Growth inside the capacity keeps the block.
  WString grow(u"ab");
  const char16_t* before = grow.c_str();
  grow += u"cdefgh";
  EXPECT_EQ(grow.c_str(), before);
  EXPECT_EQ(U(grow), u"abcdefgh");
}

TEST(WString, CopiesShareUntilChanged) {
  WString a(u"Hello");
  WString b(a);
  EXPECT_EQ(a.c_str(), b.c_str());
  EXPECT_EQ(a.GetRefCount(), 2u);

  b.MakeUpper();
  EXPECT_NE(a.c_str(), b.c_str());
  EXPECT_EQ(U(a), u"Hello");
  EXPECT_EQ(U(b), u"HELLO");
  EXPECT_EQ(a.GetRefCount(), 1u);
  EXPECT_EQ(b.GetRefCount(), 1u);
  EXPECT_EQ(Owner(b), "WString::MakeUnique");
  EXPECT_EQ(b.GetCapacity(), a.GetCapacity());

  // Every kind of change leaves the other holder alone.
  WString c(a);
  c += u'!';
  EXPECT_EQ(U(a), u"Hello");
  EXPECT_EQ(U(c), u"Hello!");

  WString d(a);
  d = u"bye";
  EXPECT_EQ(U(a), u"Hello");
  EXPECT_EQ(U(d), u"bye");

  WString e(a);
  e.Truncate(2);
  EXPECT_EQ(U(a), u"Hello");
  EXPECT_EQ(U(e), u"He");
  EXPECT_EQ(e.c_str()[2], 0);

  WString f(a);
  f.SetLength(1);
  EXPECT_EQ(a.GetLength(), 5u);
  EXPECT_EQ(f.GetLength(), 1u);

  WString g(a);
  g.MakeLower();
  EXPECT_EQ(U(a), u"Hello");
  EXPECT_EQ(U(g), u"hello");

  WString h(a);
  char16_t* buffer = h.GetBuffer();
  ASSERT_NE(buffer, nullptr);
  EXPECT_NE(buffer, a.c_str());
  buffer[0] = u'J';
  EXPECT_EQ(U(a), u"Hello");
  EXPECT_EQ(U(h), u"Jello");

  // Assignment shares, and drops the old block's reference.
  WString i(u"other");
  i = a;
  EXPECT_EQ(i.c_str(), a.c_str());
  EXPECT_EQ(a.GetRefCount(), 2u);
  i = i;  // self-assignment keeps everything
  EXPECT_EQ(a.GetRefCount(), 2u);
  WString moved(static_cast<WString&&>(i));
  EXPECT_EQ(a.GetRefCount(), 2u);
  EXPECT_TRUE(i.IsEmpty());
}

TEST(WString, SourcesInsideTheStringItself) {
  WString s(u"abcdef");
  s = s.c_str() + 2;
  EXPECT_EQ(U(s), u"cdef");

  s += s.c_str();
  EXPECT_EQ(U(s), u"cdefcdef");

  s += s;
  EXPECT_EQ(U(s), u"cdefcdefcdefcdef");

  // Full block: appending itself needs a new block while the old one is being read.
  WString full(u"0123456789");  // capacity 26 in 64 bytes
  full += u"012345678901234";
  ASSERT_EQ(full.GetLength(), full.GetCapacity() - 1);
  std::u16string expected = U(full) + U(full);
  full += full.c_str();
  EXPECT_EQ(U(full), expected);

  // Shared, then appended to itself: the other holder keeps the old text.
  WString shared(u"xyz");
  WString other(shared);
  shared += shared.c_str();
  EXPECT_EQ(U(shared), u"xyzxyz");
  EXPECT_EQ(U(other), u"xyz");
  other = other.c_str() + 1;
  EXPECT_EQ(U(other), u"yz");

  // A source reaching into the middle of a string that must grow.
  WString grow(std::u16string(30, u'q').c_str());
  grow = std::u16string(40, u'r').c_str();
  WString tail(grow.c_str() + 35);
  grow += grow.c_str() + 35;
  EXPECT_EQ(U(grow), std::u16string(40, u'r') + U(tail));

  // Formatting with the string's own text as an argument.
  WString f(u"mid");
  EXPECT_TRUE(f.Format(u"<%s|%s>", f.c_str(), f.c_str()));
  EXPECT_EQ(U(f), u"<mid|mid>");

  // Elements of an array re-added while the array's block moves.
  WStringArray array;
  array.Add(WString(u"first"));
  for (int i = 0; i < 40; ++i) ASSERT_GE(array.Add(array[0]), 0);
  EXPECT_EQ(array.GetCount(), 41);
  for (int i = 0; i < array.GetCount(); ++i) EXPECT_EQ(U(array[i]), u"first");
}

TEST(WString, CompareAndEquality) {
  EXPECT_LT(WString(u"ab").Compare(WString(u"abc")), 0);
  EXPECT_GT(WString(u"abc").Compare(WString(u"ab")), 0);
  EXPECT_EQ(WString(u"abc").Compare(WString(u"abc")), 0);
  EXPECT_EQ(WString(u"abd").Compare(WString(u"abc")), 1);
  EXPECT_EQ(WString(u"abb").Compare(WString(u"abc")), -1);
  EXPECT_EQ(WString().Compare(WString()), 0);
  EXPECT_LT(WString().Compare(WString(u"a")), 0);
  // Units compare as unsigned 16-bit values.
  const char16_t high[] = {0xFFFF, 0};
  EXPECT_GT(WString(high).Compare(WString(u"a")), 0);

  EXPECT_EQ(WString(u"A").CompareNoCase(WString(u"a")), 0);
  EXPECT_EQ(WString(u"HeLLo").CompareNoCase(WString(u"hello")), 0);
  const char16_t capitalAGrave[] = {0xC0, 0};
  const char16_t smallAGrave[] = {0xE0, 0};
  EXPECT_NE(WString(capitalAGrave).CompareNoCase(WString(smallAGrave)), 0);
  // Folding goes to small letters: '_' (0x5F) sorts after 'A' but before 'a'.
  EXPECT_GT(WString(u"A").CompareNoCase(WString(u"_")), 0);

  WString a(u"same");
  WString b(u"same");
  WString c(a);
  EXPECT_TRUE(a == b);
  EXPECT_TRUE(a == c);
  EXPECT_FALSE(a != b);
  EXPECT_TRUE(a != WString(u"sam"));
  EXPECT_TRUE(a == u"same");
  EXPECT_TRUE(a != u"samex");
  EXPECT_TRUE(WString() == WString(u""));
  EXPECT_TRUE(WString() == static_cast<const char16_t*>(nullptr));

  EXPECT_EQ(U(WString(u"ab") + u"cd"), u"abcd");
  EXPECT_EQ(U(u"ab" + WString(u"cd")), u"abcd");
  EXPECT_EQ(U(WString(u"ab") + WString(u"cd")), u"abcd");
  WString mixed(u"x");
  mixed += "yz";
  mixed += u'!';
  EXPECT_EQ(U(mixed), u"xyz!");
}

TEST(WString, TokensFieldsAndSplit) {
  WString list(u"a,,b;c");
  EXPECT_EQ(U(list.GetToken(1, u",;", false)), u"b");
  EXPECT_EQ(U(list.GetToken(2, u",;", false)), u"c");
  EXPECT_TRUE(list.GetToken(3, u",;", false).IsEmpty());
  EXPECT_TRUE(list.GetToken(1, u",;", true).IsEmpty());  // the field between the commas
  EXPECT_EQ(U(list.GetToken(2, u",;", true)), u"b");
  EXPECT_EQ(U(list.GetToken(3, u",;", true)), u"c");
  EXPECT_TRUE(list.GetToken(4, u",;", true).IsEmpty());
  EXPECT_TRUE(list.GetToken(-1, u",;", false).IsEmpty());
  EXPECT_EQ(U(list.GetToken(0, nullptr, false)), u"a,,b;c");

  // Leading delimiters: skipped in runs, empty fields one by one.
  WString lead(u"  word  next ");
  EXPECT_EQ(U(lead.GetField(0, u' ', false)), u"word");
  EXPECT_EQ(U(lead.GetField(1, u' ', false)), u"next");
  EXPECT_TRUE(lead.GetField(2, u' ', false).IsEmpty());
  EXPECT_TRUE(lead.GetField(0, u' ', true).IsEmpty());
  EXPECT_EQ(U(lead.GetField(2, u' ', true)), u"word");

  // A token is a new string sized exactly.
  WString token = WString(u"key=value").GetField(1, u'=', false);
  EXPECT_EQ(U(token), u"value");
  EXPECT_EQ(BlockBytes(token), 32u);

  WStringArray array;
  EXPECT_EQ(list.Split(array, u",;", false), 3);
  ASSERT_EQ(array.GetCount(), 3);
  EXPECT_EQ(U(array[0]), u"a");
  EXPECT_EQ(U(array[1]), u"b");
  EXPECT_EQ(U(array[2]), u"c");
  EXPECT_EQ(list.Split(array, u",;", true), 4);  // appended behind the first three
  ASSERT_EQ(array.GetCount(), 7);
  EXPECT_TRUE(array[4].IsEmpty());
  EXPECT_EQ(WString(u"x,").Split(array, u",", true), 2);
  EXPECT_EQ(WString(u",,,").Split(array, u",", false), 0);
  EXPECT_EQ(WString().Split(array, u",", true), 0);

  // Fields are cut to 255 units.
  WString longField((std::u16string(300, u'L') + u"|short").c_str());
  WStringArray cut;
  EXPECT_EQ(longField.Split(cut, u"|", false), 2);
  EXPECT_EQ(cut[0].GetLength(), 255u);
  EXPECT_EQ(U(cut[0]), std::u16string(255, u'L'));
  EXPECT_EQ(U(cut[1]), u"short");
}

TEST(WString, LengthOperations) {
  WString s(u"hello");
  s.Truncate(2);
  EXPECT_EQ(U(s), u"he");
  EXPECT_EQ(WStrLen(s.c_str()), 2u);
  s.Truncate(10);
  EXPECT_EQ(U(s), u"he");
  s.Truncate(0);
  EXPECT_TRUE(s.IsEmpty());

  // Direct writes into the buffer, then the length from the terminator.
  WString w(u"abc");
  char16_t* buffer = w.GetBuffer(20);
  ASSERT_NE(buffer, nullptr);
  EXPECT_GE(w.GetCapacity(), 21u);
  EXPECT_EQ(U(w), u"abc");
  WStrCpy(buffer, u"direct write");
  w.UpdateLength();
  EXPECT_EQ(U(w), u"direct write");

  // SetLength writes only the length field...
  WString l(u"hello");
  l.SetLength(3);
  EXPECT_EQ(l.GetLength(), 3u);
  EXPECT_TRUE(l == u"hel");
  EXPECT_EQ(l.c_str()[3], u'l');  // no terminator written
  l += u'p';
  EXPECT_EQ(U(l), u"help");
  EXPECT_EQ(l.c_str()[4], 0);

  WString none;
  none.SetLength(4);
  EXPECT_TRUE(none.IsEmpty());
}

class WStringFailureTest : public TempDirTest {};

TEST_F(WStringFailureTest, LengthBeyondTheBlockIsCut) {
  AssertCounter asserts;
  WString l(u"hello");  // capacity 10
  l.SetLength(1000);
  EXPECT_EQ(asserts.Count(), 1u);
  EXPECT_EQ(l.GetLength(), 9u);
  EXPECT_EQ(l.c_str()[9], 0);
  l.UpdateLength();
  EXPECT_EQ(U(l), u"hello");
}

TEST_F(WStringFailureTest, FailedAllocationsKeepTheOldValue) {
  AssertCounter asserts;
  WString s(u"ab");
  // Made before failures are induced: the global operators go through the tracker too.
  const std::u16string hundred(100, u'z');
  {
    FailNextAllocations fail(1);
    s = hundred.c_str();  // needs a bigger block
  }
  EXPECT_EQ(U(s), u"ab");
  EXPECT_EQ(asserts.Count(), 1u);

  {
    FailNextAllocations fail(1);
    s += hundred.c_str();
  }
  EXPECT_EQ(U(s), u"ab");
  EXPECT_EQ(asserts.Count(), 2u);

  WString shared(s);
  {
    FailNextAllocations fail(4);
    shared.MakeUpper();
    shared.Truncate(1);
    shared.SetLength(1);
    EXPECT_EQ(shared.GetBuffer(), nullptr);
  }
  EXPECT_EQ(U(shared), u"ab");
  EXPECT_EQ(U(s), u"ab");
  EXPECT_EQ(asserts.Count(), 6u);

  {
    FailNextAllocations fail(2);
    WString failed(u"text");
    EXPECT_TRUE(failed.IsEmpty());
    EXPECT_EQ(failed.c_str()[0], 0);
    EXPECT_FALSE(WString().Format(u"%d", 5));
  }

  // A length the 32-bit block sizes cannot hold is refused the same way.
  unsigned before = asserts.Count();
  WString huge(u"x");
  EXPECT_EQ(huge.GetBuffer(0xFFFFFFF0u), nullptr);
  EXPECT_EQ(U(huge), u"x");
  EXPECT_EQ(asserts.Count(), before + 1);

  // Everything still works afterwards.
  s += u"cd";
  EXPECT_EQ(U(s), u"abcd");
}

TEST_F(WStringFailureTest, FormatMeasuresThenWrites) {
  WString s;
  EXPECT_TRUE(s.Format(u"%d-%s-%c-%x", 42, u"mid", u'z', 255));
  EXPECT_EQ(U(s), u"42-mid-z-ff");

  // Far longer than width + precision suggest: the measured length, not a guess, sizes the block.
  EXPECT_TRUE(s.Format(u"%.250f", 1.0));
  EXPECT_EQ(s.GetLength(), 252u);
  EXPECT_EQ(s.GetAt(251), u'0');

  EXPECT_TRUE(s.Format(u"%s", u""));
  EXPECT_TRUE(s.IsEmpty());

  AssertCounter asserts;
  EXPECT_TRUE(s.Format(u"%*d", -3, 1));
  EXPECT_EQ(asserts.Count(), 1u);  // "Negative field width in format specifier"
  EXPECT_EQ(U(s), u"1  ");
  EXPECT_TRUE(s.Format(u"%.*d", -3, 1));
  EXPECT_EQ(asserts.Count(), 2u);
  EXPECT_TRUE(s.Format(u"%k"));
  EXPECT_EQ(asserts.Count(), 3u);
  EXPECT_EQ(U(s), u"k");
}

// Random changes to a few strings that share blocks back and forth, checked against plain
// standard strings: no change may show through another holder, and no block's guard words may be
// touched.
TEST(WString, RandomChangesMatchAPlainModel) {
  std::mt19937 rng(77);
  constexpr int kStrings = 4;
  WString strings[kStrings];
  std::u16string models[kStrings];
  auto randomText = [&](int maxLength) {
    std::u16string t(rng() % (maxLength + 1), u'a');
    for (char16_t& c : t) c = static_cast<char16_t>(u'A' + rng() % 58);  // letters and [\]^_`
    return t;
  };
  for (int step = 0; step < 20000; ++step) {
    int i = static_cast<int>(rng() % kStrings);
    int j = static_cast<int>(rng() % kStrings);
    WString& s = strings[i];
    std::u16string& m = models[i];
    switch (rng() % 10) {
      case 0: {
        std::u16string t = randomText(300);
        s = t.c_str();
        m = t;
        break;
      }
      case 1:
        s = strings[j];
        m = models[j];
        break;
      case 2: {
        std::u16string t = randomText(40);
        s += t.c_str();
        m += t;
        break;
      }
      case 3:
        s += strings[j];
        m += models[j];
        break;
      case 4:
        s += s.c_str();
        m += m;
        break;
      case 5: {
        uint32_t n = static_cast<uint32_t>(rng() % (m.size() + 2));
        s.Truncate(n);
        if (n < m.size()) m.resize(n);
        break;
      }
      case 6:
        if (rng() % 2) {
          s.MakeUpper();
          for (char16_t& c : m) c = WCharToUpper(c);
        } else {
          s.MakeLower();
          for (char16_t& c : m) c = WCharToLower(c);
        }
        break;
      case 7: {
        size_t k = rng() % (m.size() + 1);
        s = s.c_str() + k;
        m = m.substr(k);
        break;
      }
      case 8:
        if (!m.empty()) {
          size_t k = rng() % m.size();
          char16_t* buffer = s.GetBuffer();
          ASSERT_NE(buffer, nullptr);
          buffer[k] = u'#';
          m[k] = u'#';
        }
        break;
      case 9:
        if (m.size() > 2000) {
          s = u"";
          m.clear();
        }
        break;
    }
    for (int k = 0; k < kStrings; ++k) {
      ASSERT_EQ(U(strings[k]), models[k]) << "step " << step;
      ASSERT_EQ(strings[k].c_str()[strings[k].GetLength()], 0);
      if (strings[k].IsEmpty()) continue;
      const AllocUnit* unit = UnitOf(strings[k]);
      ASSERT_NE(unit, nullptr);
      ASSERT_EQ(MemoryTracker::ValidateUnit(unit), 1);
      ASSERT_LT(strings[k].GetLength(), strings[k].GetCapacity());
      uint32_t holders = 0;
      for (const WString& other : strings) holders += other.c_str() == strings[k].c_str();
      ASSERT_EQ(strings[k].GetRefCount(), holders);
    }
  }
}

TEST(WString, NoBlockOutlivesItsStrings) {
  uint32_t before = LiveStringBlocks();
  uint32_t arrays = MemoryTracker::CountBlocksOwnedBy("WStringArray::SetSize");
  {
    WString a(u"one");
    WString b(a);
    b += u"two";
    WString c(b);
    c.MakeUpper();
    WString d = c.GetToken(0, u"T", false);
    WStringArray array;
    a.Split(array, u"n", true);
    array.InsertAt(0, d, 3);
    EXPECT_GT(LiveStringBlocks(), before);
  }
  EXPECT_EQ(LiveStringBlocks(), before);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("WStringArray::SetSize"), arrays);
}

TEST(WStringArray, SetSizeAndGrowth) {
  WStringArray array;
  EXPECT_TRUE(array.SetSize(3));
  EXPECT_EQ(array.GetCount(), 3);
  EXPECT_EQ(array.GetCapacity(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(array[i].IsEmpty());
  const AllocUnit* unit = MemoryTracker::FindUnit(&array[0]);
  ASSERT_NE(unit, nullptr);
  EXPECT_STREQ(unit->sourceFunc, "WStringArray::SetSize");
  EXPECT_EQ(unit->reportedSize, 3 * sizeof(WString));

  array[1] = u"kept";
  EXPECT_TRUE(array.SetSize(4, 0));  // automatic step: at least 4
  EXPECT_EQ(array.GetCapacity(), 7);
  EXPECT_EQ(array.GetCount(), 4);
  EXPECT_EQ(U(array[1]), u"kept");
  EXPECT_TRUE(array[3].IsEmpty());
  EXPECT_EQ(MemoryTracker::FindUnit(&array[0])->reportedSize, 7 * sizeof(WString));

  EXPECT_TRUE(array.SetSize(2));  // shrinking releases, keeps the capacity
  EXPECT_EQ(array.GetCapacity(), 7);
  EXPECT_TRUE(array.SetSize(5));
  EXPECT_TRUE(array[2].IsEmpty());  // a reopened place starts empty
  for (int32_t n : {7, 30}) {  // the capacity exactly, then past the step at once
    EXPECT_TRUE(array.SetSize(n));
    EXPECT_EQ(MemoryTracker::ValidateAll(), 0) << n;
  }

  // An eighth of the count, from 4 up to 1024.
  WStringArray big;
  big.SetSize(100);
  big.SetSize(101);
  EXPECT_EQ(big.GetCapacity(), 112);
  WStringArray huge;
  huge.SetSize(10000);
  huge.SetSize(10001);
  EXPECT_EQ(huge.GetCapacity(), 11024);

  WStringArray stepped;
  stepped.SetSize(2, 10);
  stepped.SetSize(3);
  EXPECT_EQ(stepped.GetCapacity(), 12);
  stepped.SetGrowBy(3);
  EXPECT_EQ(stepped.GetGrowBy(), 8);

  array.SetSize(0);
  EXPECT_EQ(array.GetCount(), 0);
  EXPECT_EQ(array.GetCapacity(), 0);
}

TEST(WStringArray, FreeExtraAndRemoveAll) {
  WStringArray array;
  array.SetSize(10);
  array.SetSize(3);
  array[0] = u"a";
  array[2] = u"c";
  array.FreeExtra();
  EXPECT_EQ(array.GetCapacity(), 3);
  EXPECT_EQ(Contents(array), u"a||c");
  const AllocUnit* unit = MemoryTracker::FindUnit(&array[0]);
  ASSERT_NE(unit, nullptr);
  EXPECT_EQ(unit->reportedSize, 3 * sizeof(WString));
  EXPECT_EQ(unit->allocationType, static_cast<uint32_t>(kAllocRealloc));

  uint32_t strings = LiveStringBlocks();
  array.RemoveAll();
  EXPECT_EQ(array.GetCount(), 0);
  EXPECT_EQ(array.GetCapacity(), 0);
  EXPECT_EQ(LiveStringBlocks(), strings - 2);

  array.SetSize(4);
  array.SetSize(0, -1);
  array.SetSize(2);
  array.SetSize(0);
  array.FreeExtra();
  EXPECT_EQ(array.GetCapacity(), 0);
}

TEST(WStringArray, InsertRemoveAndAppend) {
  WStringArray array;
  EXPECT_EQ(array.Add(WString(u"a")), 0);
  EXPECT_EQ(array.Add(WString(u"d")), 1);
  EXPECT_TRUE(array.InsertAt(1, WString(u"x"), 2));
  ASSERT_EQ(Contents(array), u"a|x|x|d");
  EXPECT_EQ(array[1].c_str(), array[2].c_str());  // copies of one string share

  array.RemoveAt(1, 2);
  EXPECT_EQ(Contents(array), u"a|d");

  // Inserting past the end grows the array to reach the index.
  EXPECT_TRUE(array.InsertAt(4, WString(u"far")));
  ASSERT_EQ(Contents(array), u"a|d|||far");

  EXPECT_TRUE(array.SetAtGrow(6, WString(u"six")));
  EXPECT_EQ(Contents(array), u"a|d|||far||six");
  EXPECT_TRUE(array.GetAt(7).IsEmpty());
  EXPECT_TRUE(array.GetAt(-1).IsEmpty());

  WStringArray other;
  other.Add(WString(u"p"));
  other.Add(WString(u"q"));
  EXPECT_TRUE(array.InsertAt(1, other));
  EXPECT_EQ(array.Append(other), 9);
  EXPECT_EQ(Contents(array), u"a|p|q|d|||far||six|p|q");

  // The array itself as the source.
  WStringArray self;
  self.Add(WString(u"1"));
  self.Add(WString(u"2"));
  EXPECT_EQ(self.Append(self), 2);
  EXPECT_TRUE(self.InsertAt(1, self));
  EXPECT_EQ(Contents(self), u"1|1|2|1|2|2|1|2");
  EXPECT_TRUE(self.InsertAt(0, self[2], 2));
  EXPECT_EQ(Contents(self), u"2|2|1|1|2|1|2|2|1|2");

  WStringArray copy(self);
  EXPECT_EQ(copy.GetCount(), self.GetCount());
  copy[0] = u"changed";
  EXPECT_EQ(U(self[0]), u"2");
}

TEST_F(WStringFailureTest, ArrayRefusesBadRangesAndFailedBlocks) {
  AssertCounter asserts;
  WStringArray array;
  array.Add(WString(u"a"));
  array.Add(WString(u"b"));
  array.RemoveAt(1, 5);
  array.RemoveAt(-1, 1);
  EXPECT_EQ(array.GetCount(), 2);
  EXPECT_FALSE(array.SetSize(-1));
  EXPECT_FALSE(array.InsertAt(-2, WString(u"x")));
  EXPECT_FALSE(array.SetAtGrow(-1, WString(u"x")));
  EXPECT_EQ(asserts.Count(), 5u);

  {
    FailNextAllocations fail(1);
    EXPECT_FALSE(array.SetSize(100));
  }
  EXPECT_EQ(asserts.Count(), 6u);
  EXPECT_EQ(array.GetCount(), 2);
  EXPECT_EQ(U(array[1]), u"b");
  {
    WString c(u"c");
    array.SetSize(array.GetCapacity());  // full, so Add has to grow the block
    int32_t count = array.GetCount();
    FailNextAllocations fail(1);
    EXPECT_EQ(array.Add(c), -1);
    EXPECT_EQ(array.GetCount(), count);
  }
  EXPECT_EQ(asserts.Count(), 7u);
  EXPECT_EQ(U(array[1]), u"b");
}
