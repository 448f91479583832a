// What the lists tell their observers, and that every item is still whole
// when its removal is announced.
#include <gtest/gtest.h>

#include <memory>
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

// Detaches in its destructor, as every observer must, and counts what it
// hears after that in the shared log, which outlives it.
class Victim final : public IListObserver {
 public:
  Victim(TCollection& list, std::vector<std::string>& log) : list_(list), log_(log) {
    list_.AddObserver(this);
  }
  ~Victim() {
    list_.RemoveObserver(this);
    log_.push_back("victim gone");
  }
  void ItemAdded(TCollection&, int) override { log_.push_back("victim told"); }
  void ItemAboutToBeRemoved(TCollection&, int) override { log_.push_back("victim told"); }
  void ItemRemoved(TCollection&, int) override { log_.push_back("victim told"); }
  void ItemChanged(TCollection&, int) override { log_.push_back("victim told"); }
  void ListAboutToBeReset(TCollection&) override { log_.push_back("victim told"); }
  void ListReset(TCollection&) override { log_.push_back("victim told"); }
  void ListDestroyed(TCollection&) override { log_.push_back("victim told"); }

 private:
  TCollection& list_;
  std::vector<std::string>& log_;
};

// On the first thing it hears, frees the victim; a window closing a view of
// the same list while it is told behaves so.
class Killer final : public IListObserver {
 public:
  Killer(std::unique_ptr<Victim>& victim, std::vector<std::string>& log)
      : victim_(victim), log_(log) {}
  void ItemAdded(TCollection&, int) override { Strike(); }
  void ItemAboutToBeRemoved(TCollection&, int) override { Strike(); }
  void ItemRemoved(TCollection&, int) override { Strike(); }
  void ItemChanged(TCollection&, int) override { Strike(); }
  void ListAboutToBeReset(TCollection&) override { Strike(); }
  void ListReset(TCollection&) override { Strike(); }
  void ListDestroyed(TCollection&) override { Strike(); }

 private:
  void Strike() {
    log_.push_back("killer told");
    victim_.reset();
  }
  std::unique_ptr<Victim>& victim_;
  std::vector<std::string>& log_;
};

// Run under the sanitizers, a freed observer that is still told is a
// use after free; without them, the log shows it.
TEST(ListObserverTest, AnObserverFreedByAnotherWhileTheListTellsIsNotToldAgain) {
  Calls log;
  Recorder last;
  TbkManager m;
  TbkDirectories& list = *m.Directories();
  std::unique_ptr<Victim> victim;
  Killer killer(victim, log);
  list.AddObserver(&killer);
  victim = std::make_unique<Victim>(list, log);
  list.AddObserver(&last);
  list.Add();
  EXPECT_EQ(log, (Calls{"killer told", "victim gone"}));
  EXPECT_EQ(last.calls, Calls{"added 0 "}) << "those after it are still told";

  list.RemoveObserver(&killer);
  list.RemoveObserver(&last);
}

// Takes another observer off the list when told of a change.
class Detacher final : public IListObserver {
 public:
  Detacher(TCollection& list, IListObserver& other) : list_(list), other_(other) {}
  void ItemAdded(TCollection&, int) override {}
  void ItemAboutToBeRemoved(TCollection&, int) override {}
  void ItemRemoved(TCollection&, int) override {}
  void ItemChanged(TCollection&, int) override { list_.RemoveObserver(&other_); }
  void ListAboutToBeReset(TCollection&) override {}
  void ListReset(TCollection&) override {}
  void ListDestroyed(TCollection&) override {}

 private:
  TCollection& list_;
  IListObserver& other_;
};

TEST(ListObserverTest, AnObserverDetachedByAnotherWhileTheListTellsIsNotTold) {
  TbkManager m;
  TbkDirectories& list = *m.Directories();
  list.Add()->SetPath("A");
  Recorder detached;
  Detacher detacher(list, detached);
  list.AddObserver(&detacher);
  list.AddObserver(&detached);
  list.Items(0)->SetPath("B");
  EXPECT_TRUE(detached.calls.empty());
  list.RemoveObserver(&detacher);
}

TEST(ListObserverTest, AnObserverFreedByAnotherAsTheListGoesIsNotToldAgain) {
  Calls log;
  std::unique_ptr<Victim> victim;
  Killer killer(victim, log);
  {
    TbkRules rules;
    rules.AddObserver(&killer);
    victim = std::make_unique<Victim>(rules, log);
  }
  EXPECT_EQ(log, (Calls{"killer told", "victim gone"}));
}

}  // namespace
}  // namespace pw
