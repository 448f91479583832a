// What the lists tell their observers, and that every item is still whole
// when its removal is announced.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/HoardkeeperClasses.h"

namespace pw {
namespace {

// Records every call as text; on an announced removal it reads the item, so
// that a removal announced too late shows under the sanitizers.
class Recorder final : public IListObserver {
 public:
  void ItemAdded(TCollection& list, int i) override { Log("added", list, i); }
  void ItemAboutToBeRemoved(TCollection& list, int i) override { Log("removing", list, i); }
  void ItemRemoved(TCollection&, int i) override {
    calls.push_back("removed " + std::to_string(i));
  }
  void ItemChanged(TCollection& list, int i) override { Log("changed", list, i); }
  void ListAboutToBeReset(TCollection&) override { calls.push_back("resetting"); }
  void ListReset(TCollection& list) override {
    calls.push_back("reset " + std::to_string(list.Count()));
  }
  void ListDestroyed(TCollection&) override { calls.push_back("destroyed"); }

  std::vector<std::string> calls;

 private:
  void Log(const char* what, TCollection& list, int i) {
    const TCollectionItem* item = list.GetItem(i);
    std::string text = "?";
    if (const auto* d = dynamic_cast<const TbkDirectory*>(item)) text = d->Path();
    if (const auto* rule = dynamic_cast<const TbkRule*>(item)) text = rule->Name();
    calls.push_back(std::string(what) + " " + std::to_string(i) + " " + text);
  }
};

using Calls = std::vector<std::string>;

TEST(ListObserverTest, AddChangeAndDeleteAreReportedWithTheItemWhole) {
  TbkManager m;
  TbkDirectories& list = *m.Directories();
  list.Add()->SetPath("A");
  Recorder r;
  list.AddObserver(&r);
  list.Add()->SetPath("B");
  list.Items(0)->SetPath("A");  // the same text: nothing to report
  list.Items(0)->SetNeedArchive(false);
  list.Delete(0);
  delete list.Items(0);  // freed directly, not through Delete: still whole when announced
  EXPECT_EQ(r.calls, (Calls{"added 1 ", "changed 1 B", "changed 0 A", "removing 0 A", "removed 0",
                            "removing 0 B", "removed 0"}));
  list.RemoveObserver(&r);
  list.Add();
  EXPECT_EQ(r.calls.size(), 7u) << "a detached observer hears nothing";
}

TEST(ListObserverTest, ClearAndCopyAreOneResetEach) {
  TbkManager a, b;
  for (const char* path : {"A", "B", "C"}) a.Directories()->Add()->SetPath(path);
  Recorder r;
  b.Directories()->AddObserver(&r);
  b.Directories()->Assign(a.Directories());
  b.Directories()->Assign(a.Directories());  // equal: nothing happens
  b.Directories()->Clear();
  b.Directories()->Clear();  // already empty
  EXPECT_EQ(r.calls, (Calls{"resetting", "reset 3", "resetting", "reset 0"}));
  b.Directories()->RemoveObserver(&r);
}

TEST(ListObserverTest, AFreedListDetachesItsObservers) {
  Recorder r;
  {
    TbkRules rules;
    TbkRule* rule = rules.Add();
    rule->SetName("Docs");
    rule->Extensions()->Add()->SetExt("*.doc");
    rule->Extensions()->AddObserver(&r);
    rules.AddObserver(&r);
    rules.Delete(0);  // frees its masks, and so their list, with it
  }
  EXPECT_EQ(r.calls, (Calls{"removing 0 Docs", "destroyed", "removed 0", "destroyed"}));
}

}  // namespace
}  // namespace pw
