// The list models over live document collections, checked by Qt's own model
// tester through every kind of change the document makes.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QColor>
#include <QFont>
#include <QSignalSpy>
#include <vector>

#include "model/HoardkeeperClasses.h"
#include "ui/ImageList.h"
#include "ui/ListModels.h"

namespace pw {
namespace {

using Tester = QAbstractItemModelTester;
constexpr auto kFatal = QAbstractItemModelTester::FailureReportingMode::Fatal;

QStringList Column(const QAbstractItemModel& model, int column = 0) {
  QStringList out;
  for (int row = 0; row < model.rowCount(); ++row)
    out << model.index(row, column).data().toString();
  return out;
}

TEST(ListModelsTest, DirectoriesFollowEveryChangeOfTheDocument) {
  TbkManager m;
  TDirectoriesModel model;
  Tester tester(&model, kFatal);
  model.SetList(m.Directories());
  EXPECT_EQ(model.columnCount(), 4);
  EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole), "Directory");

  TbkDirectory* a = m.Directories()->Add();
  a->SetPath("D:\\A");
  a->SetArchiveFileName("A");
  m.Directories()->Add()->SetPath("D:\\B");
  EXPECT_EQ(Column(model, 1), (QStringList{"D:\\A", "D:\\B"}));
  EXPECT_EQ(model.index(0, 0).data().toString(), "A");

  m.SetModified(false);
  EXPECT_FALSE(model.index(0, 1).data(Qt::ForegroundRole).isValid());
  QSignalSpy toggled(&model, &TListModel::CheckToggled);
  EXPECT_TRUE(model.setData(model.index(1, 0), Qt::Unchecked, Qt::CheckStateRole));
  EXPECT_FALSE(m.Directories()->Items(1)->NeedArchive());
  EXPECT_EQ(toggled.count(), 1);
  model.setData(model.index(1, 0), Qt::Unchecked, Qt::CheckStateRole);
  EXPECT_EQ(toggled.count(), 1) << "no change, no report";
  EXPECT_EQ(model.index(1, 2).data(Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));
  EXPECT_TRUE(model.index(1, 0).data(Qt::FontRole).value<QFont>().bold());
  EXPECT_TRUE(model.flags(model.index(1, 0)) & Qt::ItemIsUserCheckable);
  EXPECT_FALSE(model.flags(model.index(1, 1)) & Qt::ItemIsUserCheckable);

  // A copy into the list (as Open does), a deletion and clearing.
  TbkManager other;
  for (const char* path : {"E:\\X", "E:\\Y", "E:\\Z"}) other.Directories()->Add()->SetPath(path);
  m.Directories()->Assign(other.Directories());
  EXPECT_EQ(Column(model, 1), (QStringList{"E:\\X", "E:\\Y", "E:\\Z"}));
  // The runs come and go without touching the rows.
  TJournalRecord run;
  run.directory = "E:\\Y";
  run.started = "2026-12-08T02:30:00+00:00";
  run.status = 0;
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  model.SetLastRuns({{run.directory, run}});
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed[0][0].toModelIndex(), model.index(0, TDirectoriesModel::kLastRunColumn));
  EXPECT_EQ(changed[0][1].toModelIndex(), model.index(2, TDirectoriesModel::kLastRunColumn));
  EXPECT_TRUE(Column(model, 3)[1].endsWith("  OK")) << Column(model, 3)[1].toStdString();
  EXPECT_EQ(Column(model, 3)[0], "");
  model.SetLastRuns({});
  EXPECT_EQ(Column(model, 3), (QStringList{"", "", ""}));
  m.Directories()->Delete(1);
  delete m.Directories()->Items(0);
  EXPECT_EQ(Column(model, 1), QStringList{"E:\\Z"});
  m.Directories()->Clear();
  EXPECT_EQ(model.rowCount(), 0);
}

TEST(ListModelsTest, AModelOutlivingItsListShowsNothing) {
  TExtensionsModel model;
  Tester tester(&model, kFatal);
  {
    TbkRules rules;
    TbkRule* rule = rules.Add();
    rule->Extensions()->Add()->SetExt("*.doc");
    model.SetList(rule->Extensions());
    EXPECT_EQ(model.rowCount(), 1);
    rules.Delete(0);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.List(), nullptr);
  }
  TbkExtensions masks;
  masks.Add()->SetExt("*.tmp");
  masks.Items(0)->SetActive(false);
  model.SetList(&masks);
  EXPECT_FALSE(model.index(0, 0).data(Qt::ForegroundRole).value<QColor>() == QColor());
  model.setData(model.index(0, 0), Qt::Checked, Qt::CheckStateRole);
  EXPECT_TRUE(masks.Items(0)->Active());
  EXPECT_FALSE(model.index(0, 0).data(Qt::ForegroundRole).isValid());
}

TEST(ListModelsTest, CaptionsSortUnderTheCollationWhateverHappens) {
  TbkRules rules;
  TRulesModel model;
  model.SetList(&rules);
  TCaptionSortModel sorted(&model, nullptr);
  Tester tester(&sorted, kFatal);
  for (const char* name : {"beta", "Alpha", "gamma"}) rules.Add()->SetName(name);
  EXPECT_EQ(Column(sorted), (QStringList{"Alpha", "beta", "gamma"}));
  rules.Items(0)->SetName("delta");
  EXPECT_EQ(Column(sorted), (QStringList{"Alpha", "delta", "gamma"}));
  auto lamp = [&](int row) {
    return sorted.index(row, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey();
  };
  EXPECT_EQ(lamp(0), CategoryLamp(false).cacheKey());
  rules.Items(1)->SetCategory(ecInclude);  // Alpha
  EXPECT_EQ(lamp(0), CategoryLamp(true).cacheKey());
  EXPECT_EQ(lamp(1), CategoryLamp(false).cacheKey());
  rules.Delete(2);  // gamma
  EXPECT_EQ(Column(sorted), (QStringList{"Alpha", "delta"}));
}

// Reads the model's last row the moment the list has let an item go, before
// the model has heard of it: as a view that paints while another observer
// is told would.
class LastRowReader final : public IListObserver {
 public:
  explicit LastRowReader(QAbstractItemModel& model) : model_(model) {}
  void ItemAdded(TCollection&, int) override {}
  void ItemAboutToBeRemoved(TCollection&, int) override {}
  void ItemRemoved(TCollection&, int) override { Read(); }
  void ItemChanged(TCollection&, int) override {}
  void ListAboutToBeReset(TCollection&) override {}
  void ListReset(TCollection&) override {}
  void ListDestroyed(TCollection&) override {}

  QStringList texts;
  std::vector<bool> written;

 private:
  void Read() {
    const QModelIndex last = model_.index(model_.rowCount() - 1, 0);
    texts << last.data().toString() + "|" + last.data(Qt::CheckStateRole).toString();
    written.push_back(model_.setData(last, Qt::Unchecked, Qt::CheckStateRole));
  }
  QAbstractItemModel& model_;
};

TEST(ListModelsTest, ARowTheListNoLongerHoldsReadsAsNothing) {
  TbkManager m;
  for (const char* name : {"A", "B"}) m.Directories()->Add()->SetArchiveFileName(name);
  TDirectoriesModel model;
  LastRowReader reader(model);
  m.Directories()->AddObserver(&reader);  // told before the model
  model.SetList(m.Directories());
  ASSERT_EQ(model.rowCount(), 2);
  EXPECT_NO_THROW(m.Directories()->Delete(0));
  EXPECT_EQ(reader.texts, QStringList{"|"});
  EXPECT_EQ(reader.written, std::vector<bool>{false});
  EXPECT_TRUE(m.Directories()->Items(0)->NeedArchive()) << "B is not reached through row 1";
  EXPECT_EQ(model.rowCount(), 1);
  m.Directories()->RemoveObserver(&reader);
}

}  // namespace
}  // namespace pw
