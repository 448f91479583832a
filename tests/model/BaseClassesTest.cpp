// Change flags, ownership and the interface of the base classes, exercised
// through the concrete settings classes that derive from them.
#include <gtest/gtest.h>

#include "model/HoardkeeperClasses.h"
#include "platform/Errors.h"

namespace pw {
namespace {

TEST(ChangeFlags, ListReportsModifiedThroughNewItemUntilCleared) {
  TbkExtensions list;
  EXPECT_FALSE(list.GetModified());
  TbkExtension* item = list.Add();
  EXPECT_TRUE(item->GetModified());
  EXPECT_TRUE(list.GetModified());
  list.SetModified(false);
  EXPECT_FALSE(list.GetModified());
  EXPECT_FALSE(item->GetModified());
}

TEST(ChangeFlags, LosingAnItemMarksTheList) {
  TbkExtensions list;
  list.Add();
  list.SetModified(false);
  list.Delete(0);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(list.GetModified());

  TbkExtensions other;
  TbkExtension* freed = other.Add();
  other.SetModified(false);
  delete freed;  // freeing an item takes it out of its list
  EXPECT_EQ(other.Count(), 0);
  EXPECT_TRUE(other.GetModified());
}

TEST(ChangeFlags, MarkingAListLeavesItsItemsAlone) {
  TbkExtensions list;
  TbkExtension* a = list.Add();
  TbkExtension* b = list.Add();
  list.SetModified(false);
  list.SetModified(true);
  EXPECT_TRUE(list.GetModified());
  EXPECT_FALSE(a->GetModified());
  EXPECT_FALSE(b->GetModified());
}

TEST(ChangeFlags, AnItemStaysChangedWhenItsListIsMarked) {
  TbkDirectories list;
  TbkDirectory* changed = list.Add();
  TbkDirectory* kept = list.Add();
  list.Add();
  list.Add();
  list.SetModified(false);
  changed->SetPath("D:\\Work");
  list.Delete(3);  // losing an item marks the list
  EXPECT_TRUE(changed->GetModified());
  EXPECT_FALSE(kept->GetModified());
  delete list.Items(2);
  EXPECT_TRUE(changed->GetModified());
  list.SetModified(true);
  EXPECT_TRUE(changed->GetModified());
  EXPECT_FALSE(kept->GetModified());
  EXPECT_TRUE(list.GetModified());
}

TEST(ChangeFlags, PropagateOnlyClears) {
  TbkExtensions list;
  TbkExtension* item = list.Add();
  list.PropagateModified(true);
  EXPECT_TRUE(item->GetModified());
  list.SetModified(true);
  list.PropagateModified(false);
  EXPECT_FALSE(list.GetModified());
  EXPECT_FALSE(item->GetModified());
}

TEST(ChangeFlags, ModifiedMaskMarksRuleAndManager) {
  TbkManager manager;
  TbkRule* rule = manager.Rules()->Add();
  TbkExtension* mask = rule->Extensions()->Add();
  manager.SetModified(false);
  EXPECT_FALSE(manager.GetModified());
  mask->SetExt("*.doc");
  EXPECT_TRUE(rule->GetModified());
  EXPECT_TRUE(manager.GetModified());
  // Marking the manager itself does not reach down.
  manager.SetModified(false);
  manager.SetModified(true);
  EXPECT_FALSE(rule->GetModified());
  EXPECT_FALSE(mask->GetModified());
}

TEST(ChangeFlags, ClearingTheManagerCascadesToEveryMask) {
  TbkManager manager;
  manager.Directories()->Add();
  TbkRule* rule = manager.Rules()->Add();
  TbkExtension* mask = rule->Extensions()->Add();
  rule->Extensions()->SetModified(true);
  manager.SetModified(false);
  EXPECT_FALSE(mask->GetModified());
  EXPECT_FALSE(rule->Extensions()->GetModified());
  EXPECT_FALSE(manager.Directories()->GetModified());
  EXPECT_FALSE(manager.GetModified());
}

TEST(ListAssign, EqualContentsChangeNothing) {
  TbkExtensions target;
  target.Add()->SetExt("*.doc");
  target.SetModified(false);
  TbkExtension* kept = target.Items(0);

  TbkExtensions source;
  source.Add()->SetExt("*.doc");  // source is modified, target is not
  target.Assign(&source);
  EXPECT_EQ(target.Items(0), kept);
  EXPECT_FALSE(target.GetModified());

  target.Assign(&target);
  EXPECT_EQ(target.Items(0), kept);
  EXPECT_FALSE(target.GetModified());
}

TEST(ListAssign, DifferentContentsRefillAndMark) {
  TbkExtensions target;
  target.Add()->SetExt("*.doc");
  target.SetModified(false);

  TbkExtensions source;
  source.Add()->SetExt("*.DOC");  // letter case counts as a difference
  source.Add()->SetExt("*.txt");
  source.SetModified(false);
  target.Assign(&source);
  ASSERT_EQ(target.Count(), 2);
  EXPECT_EQ(target.Items(0)->Ext(), "*.DOC");
  EXPECT_EQ(target.Items(1)->Ext(), "*.txt");
  EXPECT_NE(target.Items(0), source.Items(0));
  EXPECT_TRUE(target.GetModified());
}

TEST(ListAssign, ForeignOrNullSourceIsIgnored) {
  TbkExtensions target;
  target.Add()->SetExt("*.doc");
  target.SetModified(false);
  target.Assign(nullptr);
  TbkManager manager;
  target.Assign(&manager);
  ASSERT_EQ(target.Count(), 1);
  EXPECT_EQ(target.Items(0)->Ext(), "*.doc");
  EXPECT_FALSE(target.GetModified());
}

TEST(ListAssign, ListOfAnotherClassRefillsWithBlankItems) {
  // Any modified list is a valid source; its items just copy nothing into ours.
  TbkExtensions target;
  target.Add()->SetExt("*.doc");
  target.SetModified(false);
  TbkDirectories directories;
  directories.Add()->SetPath("C:\\Data");
  directories.Add();
  target.Assign(&directories);
  ASSERT_EQ(target.Count(), 2);
  EXPECT_EQ(target.Items(0)->Ext(), "");
  EXPECT_TRUE(target.GetModified());
}

TEST(ListAccess, IndexOutOfBoundsNamesTheIndex) {
  TbkDirectories list;
  list.Add();
  try {
    list.Items(1);
    FAIL() << "no error";
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (1)");
  }
  EXPECT_THROW(list.Items(-1), EListError);
}

TEST(ListAccess, ClearFreesLastFirstAndEmptyClearIsHarmless) {
  TbkRules rules;
  rules.Clear();
  EXPECT_FALSE(rules.GetModified());
  for (int i = 0; i < 3; ++i) rules.Add()->SetName(std::to_string(i));
  rules.Clear();
  EXPECT_EQ(rules.Count(), 0);
  EXPECT_TRUE(rules.GetModified());
}

TEST(Interface, QueryAnswersOnlyItsIdentifier) {
  TbkRules list;
  TbkRule* item = list.Add();
  void* obj = reinterpret_cast<void*>(1);
  EXPECT_EQ(list.QueryInterface(IID_IUnknown, &obj), kS_OK);
  EXPECT_EQ(obj, static_cast<IUnknown*>(&list));
  EXPECT_EQ(item->QueryInterface(IID_IUnknown, &obj), kS_OK);
  EXPECT_EQ(obj, static_cast<IUnknown*>(item));

  const TGUID other = {0x00000001, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  EXPECT_EQ(list.QueryInterface(other, &obj), static_cast<HRESULT>(0x80004002u));
  EXPECT_EQ(obj, nullptr);
  EXPECT_EQ(kE_NOINTERFACE, static_cast<HRESULT>(0x80004002u));
}

TEST(Interface, ReferenceCountingNeverFrees) {
  TbkRules list;
  TbkRule* item = list.Add();
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(list._AddRef(), -1);
    EXPECT_EQ(item->_Release(), -1);
    EXPECT_EQ(list._Release(), -1);
  }
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Items(0), item);
}

TEST(Ownership, ComponentFreesWhatItOwns) {
  TbkManager owner;
  auto* owned = new TbkManager(&owner);
  owned->Rules()->Add()->Extensions()->Add();
  EXPECT_EQ(owned->Owner(), &owner);
  auto* freedEarly = new TbkManager(&owner);
  delete freedEarly;  // leaves its owner; the owner must not free it again
  // owner's destructor frees `owned`; the sanitizer build catches a leak or a double free
}

}  // namespace
}  // namespace pw
