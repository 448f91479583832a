// A rule's masks are checked while the settings are read but built only when
// first asked for. Nothing of that may show: not in the masks, not in the
// change flags, not in the errors, not in what is left after an error.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "model/HoardkeeperClasses.h"
#include "platform/Errors.h"
#include "tests/model/StreamBytes.h"

namespace pw {

struct TbkRuleInspector {
  static bool MasksWait(const TbkRule& rule) { return rule.deferred_ != nullptr; }
};

namespace {

using namespace pw::test;

bool MasksWait(const TbkRule& rule) {
  return TbkRuleInspector::MasksWait(rule);
}

std::string Mask(const std::string& properties) {
  return Tag(stList) + properties + Tag(stEnd);
}

// A document of one rule whose record holds the given properties.
std::string OneRule(const std::string& ruleProperties) {
  return Document(Short("Rules") + Tag(stCollection) + Tag(stList) + Short("Name") + Str("R") +
                  ruleProperties + Tag(stEnd) + Tag(stEnd));
}

std::string MaskList(const std::vector<std::string>& exts) {
  std::string list = Short("Extensions") + Tag(stCollection);
  for (const std::string& ext : exts) list += Mask(Short("Ext") + Str(ext));
  return list + Tag(stEnd);
}

std::vector<std::string> Exts(const TbkRule& rule) {
  std::vector<std::string> exts;
  for (int i = 0; i < rule.Extensions()->Count(); ++i) {
    exts.push_back(rule.Extensions()->Items(i)->Ext());
  }
  return exts;
}

void FillSample(TbkManager& m) {
  for (int r = 0; r < 3; ++r) {
    TbkRule* rule = m.Rules()->Add();
    rule->SetName("Rule" + std::to_string(r));
    for (int k = 0; k < 40; ++k) {
      TbkExtension* e = rule->Extensions()->Add();
      e->SetExt("*.r" + std::to_string(r) + "e" + std::to_string(k));
      e->SetActive(k % 3 != 0);
      e->SetCategory1(k % 2 ? ecInclude : ecExclude);
      e->SetTotalSize(k * 1000 - 7);
      e->SetProgramCaption(std::string(k * 10, static_cast<char>('a' + k % 26)));
    }
  }
}

std::string SampleBytes() {
  TbkManager m;
  FillSample(m);
  return Save(m);
}

TEST(MasksReadLater, AreTheStoredMasksAndBelongToTheirRule) {
  TbkManager original;
  FillSample(original);
  TbkManager copy;
  // The stream and the reader are gone before any mask is asked for.
  Load(copy, Save(original));
  ASSERT_EQ(copy.Rules()->Count(), 3);
  for (int r = 0; r < 3; ++r) {
    TbkRule* rule = copy.Rules()->Items(r);
    EXPECT_TRUE(rule->StoredEquals(*original.Rules()->Items(r))) << r;
    ASSERT_EQ(rule->Extensions()->Count(), 40);
    for (int k = 0; k < 40; ++k) {
      EXPECT_EQ(rule->Extensions()->Items(k)->Rule(), rule);
      EXPECT_EQ(rule->Extensions()->Items(k)->Manager(), &copy);
    }
  }
  EXPECT_EQ(copy.Rules()->Items(2)->Extensions()->Items(39)->ProgramCaption(),
            std::string(390, 'n'));
}

TEST(MasksReadLater, OnlyTheWrittenFormWaits) {
  TbkManager m;
  Load(m, SampleBytes());
  for (int r = 0; r < m.Rules()->Count(); ++r) EXPECT_TRUE(MasksWait(*m.Rules()->Items(r)));
  // Forms the reader accepts but this program does not write are read at once.
  const std::string ext = Short("Ext") + Str("*.a");
  int faults = 0;
  for (const std::string& masks :
       {Tag(stCollection) + Mask(ext + Short("Active") + Ident("TRUE")) + Tag(stEnd),
        Tag(stCollection) + Hex("02 07") + Mask(ext) + Tag(stEnd),
        Tag(stCollection) + Mask(ext + Short("TotalSize") + Hex("02 05") + Short("Category1") +
                                 Tag(stFalse) + Short("Nope") + Tag(stNil)) +
            Tag(stEnd)}) {
    TbkManager one;
    try {
      Load(one, OneRule(Short("Extensions") + masks));
    } catch (const EReadError&) {
      ++faults;  // what was read before the fault is there all the same
    }
    const TbkRule* rule = one.Rules()->Items(0);
    EXPECT_FALSE(MasksWait(*rule));
    EXPECT_EQ(Exts(*rule), (std::vector<std::string>{"*.a"}));
  }
  EXPECT_EQ(faults, 1);
}

TEST(MasksReadLater, CountAsChangedUntilClearedWhetherBuiltBeforeOrAfter) {
  const std::string bytes = SampleBytes();
  {
    // Read without clearing: new masks are changes, built or not.
    TbkManager m;
    Load(m, bytes);
    TbkRule* rule = m.Rules()->Items(0);
    EXPECT_TRUE(rule->Extensions()->Items(5)->GetModified());
    m.SetModified(false);
    EXPECT_FALSE(m.GetModified());
  }
  {
    // Cleared before they are built: they stay clear once built.
    TbkManager m;
    Load(m, bytes);
    m.SetModified(false);
    EXPECT_FALSE(m.GetModified());
    TbkRule* rule = m.Rules()->Items(1);
    EXPECT_FALSE(rule->Extensions()->GetModified());
    EXPECT_FALSE(rule->Extensions()->Items(0)->GetModified());
    EXPECT_FALSE(m.GetModified());
    // And a change after that is seen as one.
    rule->Extensions()->Items(3)->SetActive(!rule->Extensions()->Items(3)->Active());
    EXPECT_TRUE(rule->GetModified());
    EXPECT_TRUE(m.GetModified());
  }
  {
    // Marking a rule changed does not clear what its masks say.
    TbkManager m;
    Load(m, bytes);
    m.SetModified(false);
    TbkRule* rule = m.Rules()->Items(2);
    rule->SetModified(true);
    EXPECT_FALSE(rule->Extensions()->GetModified());
  }
}

TEST(MasksReadLater, CopiesAndComparisonsSeeTheMasks) {
  TbkManager original;
  FillSample(original);
  const std::string bytes = Save(original);
  TbkManager a, b;
  Load(a, bytes);
  Load(b, bytes);
  EXPECT_TRUE(a.Rules()->StoredEquals(*b.Rules()));
  TbkRule detached(nullptr);
  detached.Assign(a.Rules()->Items(1));
  EXPECT_EQ(Exts(detached), Exts(*original.Rules()->Items(1)));
  // Assigning over masks not yet built replaces them.
  b.Rules()->Items(0)->Assign(&detached);
  EXPECT_EQ(Exts(*b.Rules()->Items(0)), Exts(*original.Rules()->Items(1)));
  EXPECT_FALSE(a.Rules()->StoredEquals(*b.Rules()));
  EXPECT_EQ(Save(a), bytes);
}

TEST(MasksReadLater, AFaultFailsTheReadAtOnceLeavingWhatWasReadBeforeIt) {
  const std::string bytes =
      OneRule(Short("Extensions") + Tag(stCollection) + Mask(Short("Ext") + Str("*.a")) +
              Mask(Short("Ext") + Str("*.b") + Short("Bogus") + Tag(stNil)) +
              Mask(Short("Ext") + Str("*.c")) + Tag(stEnd));
  TbkManager m;
  try {
    Load(m, bytes);
    ADD_FAILURE() << "read without an error";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(),
              "Error reading TbkManager.Rules: Error reading TbkRule.Extensions: "
              "Error reading TbkExtension.Bogus: Property does not exist");
  }
  ASSERT_EQ(m.Rules()->Count(), 1);
  EXPECT_EQ(Exts(*m.Rules()->Items(0)), (std::vector<std::string>{"*.a", "*.b"}));

  // Bytes missing inside the masks are found while reading too, and the
  // rules before are whole.
  const std::string whole = SampleBytes();
  TbkManager cut;
  try {
    Load(cut, whole.substr(0, whole.size() - 40));
    ADD_FAILURE() << "read without an error";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(),
              "Error reading TbkManager.Rules: Error reading TbkRule.Extensions: "
              "Error reading TbkExtension.ProgramCaption: Stream read error");
  }
  ASSERT_EQ(cut.Rules()->Count(), 3);
  EXPECT_EQ(cut.Rules()->Items(1)->Extensions()->Count(), 40);
  EXPECT_EQ(cut.Rules()->Items(2)->Extensions()->Count(), 40);

  // Masks that wait are still built after a later fault ended the read.
  TbkManager later;
  EXPECT_THROW(Load(later, Document(Short("Rules") + Tag(stCollection) + Tag(stList) +
                                    MaskList({"*.a"}) + Tag(stEnd) + Tag(stList) +
                                    Short("Bogus") + Tag(stNil))),
               EReadError);
  ASSERT_EQ(later.Rules()->Count(), 2);
  EXPECT_TRUE(MasksWait(*later.Rules()->Items(0)));
  EXPECT_EQ(Exts(*later.Rules()->Items(0)), (std::vector<std::string>{"*.a"}));
}

// Builds one mask and fails the first time it is asked.
class TFailsOnce final : public TDeferredExtensions {
 public:
  void Build(TbkExtensions& into) const override {
    into.Add()->SetExt("*.a");
    if (!failed_) {
      failed_ = true;
      throw EReadError("out of luck");
    }
    into.Add()->SetExt("*.b");
  }

 private:
  mutable bool failed_ = false;
};

TEST(MasksReadLater, ABuildThatFailsLeavesThemWaitingForTheNextTry) {
  TbkRule rule(nullptr);
  rule.DeferExtensions(std::make_unique<TFailsOnce>());
  rule.SetModified(false);
  EXPECT_THROW(rule.Extensions(), EReadError);
  EXPECT_TRUE(MasksWait(rule));
  EXPECT_FALSE(rule.GetModified());
  EXPECT_EQ(Exts(rule), (std::vector<std::string>{"*.a", "*.b"}));
  EXPECT_FALSE(MasksWait(rule));
  EXPECT_FALSE(rule.GetModified());
}

// Keeps its own count of a list from what it is told, as a view does.
class TMirror final : public IListObserver {
 public:
  void ItemAdded(TCollection&, int) override { ++count, ++calls; }
  void ItemAboutToBeRemoved(TCollection&, int) override { ++calls; }
  void ItemRemoved(TCollection&, int) override { --count, ++calls; }
  void ItemChanged(TCollection&, int) override { ++calls; }
  void ListAboutToBeReset(TCollection&) override { ++calls; }
  void ListReset(TCollection& list) override { count = list.Count(), ++calls; }
  void ListDestroyed(TCollection&) override { ++calls; }

  int count = 0;
  int calls = 0;
};

class TTwoMasks final : public TDeferredExtensions {
 public:
  void Build(TbkExtensions& into) const override {
    into.Add()->SetExt("*.a");
    into.Add()->SetExt("*.b");
  }
};

TEST(MasksReadLater, AnObservedListTakesTheMasksAtOnceAndAReadTellsNothing) {
  TbkRule rule(nullptr);
  TbkExtensions* masks = rule.Extensions();
  masks->Add()->SetExt("*.old");
  rule.SetModified(false);
  TMirror mirror;
  mirror.count = masks->Count();
  masks->AddObserver(&mirror);
  rule.DeferExtensions(std::make_unique<TTwoMasks>());
  EXPECT_FALSE(MasksWait(rule));
  EXPECT_EQ(mirror.count, 2) << "the observer heard of the new masks";
  EXPECT_TRUE(rule.GetModified());
  const int told = mirror.calls;
  const TbkRule& reader = rule;
  EXPECT_EQ(reader.Extensions(), masks);
  EXPECT_EQ(Exts(reader), (std::vector<std::string>{"*.a", "*.b"}));
  EXPECT_EQ(mirror.calls, told) << "a read is no change";
  masks->RemoveObserver(&mirror);

  // Unobserved, they wait, and are the same masks once read.
  rule.DeferExtensions(std::make_unique<TTwoMasks>());
  EXPECT_TRUE(MasksWait(rule));
  EXPECT_EQ(Exts(reader), (std::vector<std::string>{"*.a", "*.b"}));
  EXPECT_EQ(reader.Extensions(), masks);
}

TEST(MasksReadLater, ARepeatedMaskListReplacesOnlyWhenItHoldsMasks) {
  TbkManager m;
  Load(m, OneRule(MaskList({"*.a", "*.b"}) + MaskList({"*.c"})));
  EXPECT_EQ(Exts(*m.Rules()->Items(0)), (std::vector<std::string>{"*.c"}));
  Load(m, OneRule(MaskList({"*.a", "*.b"}) + MaskList({}) + Short("Extensions") + Tag(stNil)));
  EXPECT_EQ(Exts(*m.Rules()->Items(0)), (std::vector<std::string>{"*.a", "*.b"}));
  Load(m, OneRule(MaskList({})));
  EXPECT_TRUE(Exts(*m.Rules()->Items(0)).empty());
}

// Says nothing of its size and hands out at most chunk bytes a read, as a
// pipe may.
class TPipeStream final : public TStream {
 public:
  TPipeStream(std::string bytes, size_t chunk) : bytes_(std::move(bytes)), chunk_(chunk) {}
  int64_t Read(void* buffer, int64_t count) override {
    const size_t n = std::min({static_cast<size_t>(count), bytes_.size() - position_, chunk_});
    std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    return static_cast<int64_t>(n);
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t, TSeekOrigin) override { return -1; }

 private:
  std::string bytes_;
  size_t chunk_;
  size_t position_ = 0;
};

TEST(MasksReadLater, AStreamThatCannotSayItsSizeIsReadWhole) {
  TbkManager original;
  for (int i = 0; i < 10; ++i) FillSample(original);
  const std::string bytes = Save(original);
  ASSERT_GT(bytes.size(), 256u * 1024);  // the buffer grows several times
  for (const size_t chunk : {size_t{7}, size_t{64 * 1024}}) {
    TPipeStream stream(bytes, chunk);
    TbkManager copy;
    copy.LoadFromStream(stream);
    // Whole reads find the first rules' masks whole in the buffer; they wait
    // while the buffer under them grows.
    if (chunk > 7) {
      EXPECT_TRUE(MasksWait(*copy.Rules()->Items(0)));
    }
    EXPECT_EQ(Save(copy), bytes) << chunk;
  }
}

TEST(MasksReadLater, TheStreamEndsJustAfterTheDocument) {
  const std::string bytes = SampleBytes();
  TMemoryStream stream(bytes + "trailing bytes");
  TbkManager m;
  m.LoadFromStream(stream);
  EXPECT_EQ(stream.Position(), static_cast<int64_t>(bytes.size()));
  EXPECT_TRUE(MasksWait(*m.Rules()->Items(2)));
  EXPECT_EQ(Save(m), bytes);
}

}  // namespace
}  // namespace pw
