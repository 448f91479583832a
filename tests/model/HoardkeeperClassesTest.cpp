// Construction values, setters, copying with and without owner links, and the
// five lookups of the settings document.
#include <gtest/gtest.h>

#include <memory>

#include "model/HoardkeeperClasses.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

TEST(Construction, NewManagerHoldsDefaultsAndIsClean) {
  TbkManager manager;
  EXPECT_EQ(manager.OutputPath(), "C:\\MyArchives");
  EXPECT_EQ(manager.ArchiverExeFileName(), "");
  EXPECT_EQ(manager.ArchiverParams(), "");
  EXPECT_EQ(manager.SubDirNamePattern(), "");
  EXPECT_EQ(manager.ExcludeKey(), "");
  EXPECT_EQ(manager.Directories()->Count(), 0);
  EXPECT_EQ(manager.Rules()->Count(), 0);
  EXPECT_EQ(manager.Directories()->Manager(), &manager);
  EXPECT_EQ(manager.Rules()->Manager(), &manager);
  EXPECT_FALSE(manager.GetModified());
}

TEST(Construction, ItemsTakeOwnerLinksAndDefaults) {
  TbkManager manager;
  TbkDirectory* directory = manager.Directories()->Add();
  EXPECT_TRUE(directory->NeedArchive());
  EXPECT_EQ(directory->Manager(), &manager);
  EXPECT_TRUE(directory->GetModified());

  TbkRule* rule = manager.Rules()->Add();
  EXPECT_EQ(rule->Category(), ecExclude);
  EXPECT_EQ(rule->Manager(), &manager);
  EXPECT_EQ(rule->Extensions()->Rule(), rule);
  EXPECT_EQ(rule->Extensions()->Manager(), &manager);
  EXPECT_EQ(rule->Extensions()->Count(), 0);
  EXPECT_TRUE(rule->GetModified());

  TbkExtension* mask = rule->Extensions()->Add();
  EXPECT_TRUE(mask->Active());
  EXPECT_EQ(mask->Category1(), ecExclude);
  EXPECT_EQ(mask->TotalSize(), 0);
  EXPECT_EQ(mask->Rule(), rule);
  EXPECT_EQ(mask->Manager(), &manager);

  TbkRule detached(nullptr);
  EXPECT_EQ(detached.Manager(), nullptr);
  EXPECT_EQ(detached.Extensions()->Rule(), &detached);
  EXPECT_TRUE(detached.GetModified());
}

TEST(Setters, OnlyARealChangeMarks) {
  TbkManager manager;
  manager.SetOutputPath("C:\\MyArchives");
  EXPECT_FALSE(manager.GetModified());
  manager.SetOutputPath("c:\\myarchives");
  EXPECT_TRUE(manager.GetModified());

  TbkExtensions list;
  TbkExtension* mask = list.Add();
  list.SetModified(false);
  mask->SetTotalSize(0);
  mask->SetActive(true);
  mask->SetCategory1(ecExclude);
  EXPECT_FALSE(mask->GetModified());
  mask->SetCategory1(static_cast<TExtensionCategory>(7));  // any byte is accepted
  EXPECT_TRUE(mask->GetModified());
  EXPECT_EQ(mask->Category1(), 7);
}

TEST(ItemAssign, RuleCopyIsDeep) {
  TbkRules rules;
  TbkRule* a = rules.Add();
  a->SetName("Docs");
  a->SetCategory(ecInclude);
  a->Extensions()->Add()->SetExt("*.doc");
  a->Extensions()->Add()->SetExt("*.txt");
  TbkRule* b = rules.Add();
  b->Assign(a);
  ASSERT_EQ(b->Extensions()->Count(), 2);
  EXPECT_EQ(b->Name(), "Docs");
  EXPECT_EQ(b->Category(), ecInclude);
  EXPECT_NE(b->Extensions()->Items(0), a->Extensions()->Items(0));
  EXPECT_EQ(b->Extensions()->Items(0)->Rule(), b);
  b->Extensions()->Items(0)->SetExt("*.rtf");
  EXPECT_EQ(a->Extensions()->Items(0)->Ext(), "*.doc");
}

TEST(ItemAssign, IdenticalValuesLeaveTargetClean) {
  TbkDirectories list;
  TbkDirectory* a = list.Add();
  a->SetPath("C:\\Data");
  TbkDirectory* b = list.Add();
  b->SetPath("C:\\Data");
  list.SetModified(false);
  b->Assign(a);
  EXPECT_FALSE(b->GetModified());
  a->SetNeedArchive(false);
  b->Assign(a);
  EXPECT_TRUE(b->GetModified());
  EXPECT_FALSE(b->NeedArchive());
}

TEST(ItemAssign, ForeignSourceIsIgnored) {
  TbkDirectories list;
  TbkDirectory* d = list.Add();
  d->SetPath("x");
  TbkRule rule(nullptr);
  d->Assign(&rule);
  d->Assign(nullptr);
  EXPECT_EQ(d->Path(), "x");
}

TEST(EditCopies, CopyOwnerOnAssignTakesTheLinksOneWay) {
  TbkManager manager;
  TbkRule* real = manager.Rules()->Add();
  real->SetName("Docs");
  real->Extensions()->Add()->SetExt("*.doc");

  auto copy = std::make_unique<TbkRule>(nullptr);
  copy->SetCopyOwnerOnAssign(true);
  copy->Assign(real);
  EXPECT_EQ(copy->Manager(), &manager);
  EXPECT_EQ(copy->Name(), "Docs");
  // The copy's masks belong to the copy, not to the rule it came from.
  EXPECT_EQ(copy->Extensions()->Items(0)->Rule(), copy.get());

  copy->SetName("Papers");
  real->Assign(copy.get());
  EXPECT_EQ(real->Name(), "Papers");
  EXPECT_EQ(real->Manager(), &manager);
  EXPECT_EQ(real->Extensions()->Items(0)->Rule(), real);
}

TEST(EditCopies, ListCopyTakesLinksEvenWhenContentsAreEqual) {
  TbkManager manager;
  TbkRules copy;
  copy.SetCopyOwnerOnAssign(true);
  copy.Assign(manager.Rules());  // both empty
  EXPECT_EQ(copy.Manager(), &manager);
  EXPECT_FALSE(copy.GetModified());

  TbkExtensions masks;
  masks.SetCopyOwnerOnAssign(true);
  TbkRule* rule = manager.Rules()->Add();
  rule->Extensions()->Add();
  masks.Assign(rule->Extensions());
  EXPECT_EQ(masks.Rule(), rule);
  EXPECT_EQ(masks.Manager(), &manager);
  EXPECT_EQ(masks.Items(0)->Rule(), rule);
}

TEST(ManagerAssign, SelfAssignChangesNothingAndCopyKeepsOwnLinks) {
  TbkManager a;
  a.SetArchiverParams("a -r");
  a.Directories()->Add()->SetPath("C:\\Data");
  a.SetModified(false);
  TbkDirectory* kept = a.Directories()->Items(0);
  a.Assign(&a);
  EXPECT_FALSE(a.GetModified());
  EXPECT_EQ(a.Directories()->Items(0), kept);

  TbkManager b;
  b.Assign(&a);
  EXPECT_EQ(b.ArchiverParams(), "a -r");
  ASSERT_EQ(b.Directories()->Count(), 1);
  EXPECT_EQ(b.Directories()->Items(0)->Manager(), &b);
  EXPECT_TRUE(b.GetModified());
}

class LookupTest : public ::testing::Test {
 protected:
  TbkRule* AddRule(const std::string& name) {
    TbkRule* rule = manager.Rules()->Add();
    rule->SetName(name);
    return rule;
  }
  TbkManager manager;
};

TEST_F(LookupTest, FindRuleFoldsOnlyAsciiLetters) {
  EXPECT_EQ(FindRule("Docs", manager.Rules()), nullptr);
  TbkRule* docs = AddRule("DOCS");
  AddRule("docs");
  EXPECT_EQ(FindRule("docs", manager.Rules()), docs);  // the first match wins
  TbkRule* upper = AddRule("\xC3\x84pfel");            // "Äpfel" in UTF-8
  EXPECT_EQ(FindRule("\xC3\xA4pfel", manager.Rules()), nullptr);
  EXPECT_EQ(FindRule("\xC3\x84PFEL", manager.Rules()), upper);
  EXPECT_EQ(FindRule("", manager.Rules()), nullptr);
}

TEST_F(LookupTest, UniquenessUsesTheLocaleComparison) {
  using test::Local8Bit;
  TbkRule* apples = AddRule(Local8Bit("\xC3\x84pfel"));
  EXPECT_TRUE(IsRuleNameUnique(Local8Bit("\xC3\xA4pfel"), apples, manager.Rules()));
  EXPECT_FALSE(IsRuleNameUnique(Local8Bit("\xC3\xA4pfel"), nullptr, manager.Rules()));
  TbkRule outside(nullptr);
  EXPECT_FALSE(IsRuleNameUnique(Local8Bit("\xC3\xA4PFEL"), &outside, manager.Rules()));
  TbkRules empty;
  EXPECT_TRUE(IsRuleNameUnique("x", nullptr, &empty));

  TbkExtensions masks;
  TbkExtension* doc = masks.Add();
  doc->SetExt("*.DOC");
  EXPECT_EQ(FindExtension("*.doc", &masks), doc);
  EXPECT_EQ(FindExtension("*.do", &masks), nullptr);
  EXPECT_TRUE(IsExtensionUnique("*.doc", doc, &masks));
  EXPECT_FALSE(IsExtensionUnique("*.doc", nullptr, &masks));
}

TEST_F(LookupTest, RenameMarksOnlyTheDirectoriesItChanges) {
  const char* names[] = {"Docs", "docs", "DOCS", "Other", "Papers"};
  for (const char* name : names) manager.Directories()->Add()->SetRuleName(name);
  manager.SetModified(false);
  RenameRuleReferences(manager.Directories(), "Docs", "Papers");
  const char* expected[] = {"Papers", "Papers", "Papers", "Other", "Papers"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(manager.Directories()->Items(i)->RuleName(), expected[i]);
    EXPECT_EQ(manager.Directories()->Items(i)->GetModified(), i < 3) << i;
  }
  // A name already exactly the new one is left alone.
  manager.SetModified(false);
  RenameRuleReferences(manager.Directories(), "papers", "Papers");
  EXPECT_FALSE(manager.GetModified());
}

}  // namespace
}  // namespace pw
