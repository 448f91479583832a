// The windows over a large document, headless. Prints medians of ROUNDS
// rounds (default 5) for:
//   - the main window's start (load, list, first paint) with an empty
//     document and with 1,000, 10,000 and 100,000 directories (or the sizes
//     given after ROUNDS), each beside 1,000 rules of 50 masks;
//   - on the reference document (10,000 directories): Show Rules opened and
//     closed, selecting a rule of 5,000 masks in the rules window, toggling
//     one check mark, and Save with every directory marked.
// Usage: windows_bench [ROUNDS [DIRECTORIES ...]]
// The rounds take the sizes in turn; a start that takes longer than two
// minutes ends the series there. Beside each start is the time that reading
// its settings file alone takes.
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/ReferenceDocument.h"
#include "model/HoardkeeperClasses.h"
#include "ui/fmuHoardkeeper.h"
#include "ui/fmuRules.h"

namespace fs = std::filesystem;

namespace {

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Lets the windows paint what the last step changed.
void Settle() {
  QApplication::processEvents();
  QApplication::processEvents();
}

// The shape of the settings benchmark, with one extra rule of 5,000 masks.
void WriteDocument(const std::string& fileName, int directories) {
  pw::TbkManager m;
  pw::bench::SetReferenceOptions(m);
  if (directories > 0) {
    pw::bench::AddReferenceRules(m, 1000);
    pw::TbkRule* big = m.Rules()->Add();
    big->SetName("Big");
    for (int k = 0; k < 5000; ++k) {
      pw::TbkExtension* e = big->Extensions()->Add();
      e->SetExt("*.x" + std::to_string(k));
      e->SetActive(k % 3 != 0);
      e->SetProgramCaption("Type " + std::to_string(k));
    }
  }
  pw::bench::AddReferenceDirectories(m, directories, 1000);
  m.SaveToFile(fileName, true);
}

std::unique_ptr<pw::TfmHoardkeeper> Start(const std::string& settings) {
  auto w = std::make_unique<pw::TfmHoardkeeper>(settings);
  w->executeArchiverFound = [](pw::TArchiverKind&) { return false; };
  w->AfterConstruction();
  w->resize(569, 417);
  w->show();
  Settle();
  return w;
}

// The row of the view whose first column reads caption.
QModelIndex Row(QAbstractItemView* view, const QString& caption) {
  QAbstractItemModel* model = view->model();
  const QModelIndexList found =
      model->match(model->index(0, 0), Qt::DisplayRole, caption, 1, Qt::MatchExactly);
  return found.isEmpty() ? QModelIndex() : found.first();
}

void Select(QAbstractItemView* view, const QModelIndex& row) {
  view->selectionModel()->select(row,
                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  view->selectionModel()->setCurrentIndex(row, QItemSelectionModel::NoUpdate);
}

void Report(const char* what, const std::vector<double>& seconds) {
  std::printf("%-44s median %9.1f ms  (min %.1f, max %.1f, %zu rounds)\n", what,
              Median(seconds) * 1000, *std::min_element(seconds.begin(), seconds.end()) * 1000,
              *std::max_element(seconds.begin(), seconds.end()) * 1000, seconds.size());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::vector<int> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1000, 10000, 100000};
  std::sort(sizes.begin(), sizes.end());

  const fs::path folder = fs::temp_directory_path() / "pw-windows-bench";
  fs::create_directories(folder);

  // Start-up, the empty document first as the baseline. The first window of
  // the process also loads fonts and styles; that round is not counted.
  sizes.insert(sizes.begin(), 0);
  {
    const std::string file = (folder / "warm-up.dat").string();
    WriteDocument(file, 0);
    Start(file);
    fs::remove(file);
  }
  std::vector<std::string> files;
  for (int size : sizes) {
    files.push_back((folder / ("start" + std::to_string(size) + ".dat")).string());
    WriteDocument(files.back(), size);
  }
  // Each round starts every size in turn, so that a spell in which the
  // machine is slower slows every size alike and the ratios stay fair. A size
  // whose start took longer than two minutes is not started again, nor is
  // any larger one.
  std::vector<std::vector<double>> times(sizes.size()), loads(sizes.size());
  size_t measured = sizes.size();
  for (int i = 0; i < rounds; ++i) {
    for (size_t k = 0; k < measured; ++k) {
      // Every measured start follows the same one, of the empty document, so
      // that none inherits the caches and the heap of a larger one.
      Start(files[0]);
      Settle();
      std::unique_ptr<pw::TfmHoardkeeper> w;
      times[k].push_back(Seconds([&] { w = Start(files[k]); }));
      w.reset();
      Settle();  // what the window left to be done later is not the next one's
      // The part of the start that is the settings file's alone.
      pw::TbkManager m;
      loads[k].push_back(Seconds([&] { m.LoadFromFile(files[k]); }));
      if (times[k].back() > 120) measured = k + 1;
    }
    if (measured < sizes.size() && times[measured - 1].back() > 120) break;
  }
  for (size_t k = 0; k < sizes.size(); ++k) {
    fs::remove(files[k]);
    if (times[k].empty()) continue;
    const std::string what = "main window shown, " + std::to_string(sizes[k]) + " directories";
    Report(what.c_str(), times[k]);
    Report("  of which reading the settings file", loads[k]);
    if (k > 0) {
      std::printf("%-44s %9.1f x the empty document\n", "", Median(times[k]) / Median(times[0]));
    }
  }

  // The other steps, on the reference document.
  const std::string settings = (folder / "Packetwright.dat").string();
  WriteDocument(settings, 10000);
  auto w = Start(settings);
  QAbstractItemView* list = w->ListView1;

  std::vector<double> rulesWindow, bigRule;
  w->executeRules = [&](pw::TbkRules* rules) {
    pw::TfmRules r(w.get());
    r.LoadRules(rules);
    r.show();
    Settle();
    if (rulesWindow.size() < static_cast<size_t>(rounds)) {
      QAbstractItemView* ruleList = r.lvRules;
      Select(ruleList, Row(ruleList, "Rule1"));
      Settle();
      bigRule.push_back(Seconds([&] {
        Select(ruleList, Row(ruleList, "Big"));
        Settle();
      }));
    }
    r.close();
  };
  for (int i = 0; i < rounds; ++i) {
    rulesWindow.push_back(Seconds([&] {
      w->actShowRules->trigger();
      Settle();
    }));
  }
  Report("Show Rules opened and closed", rulesWindow);
  Report("selecting the rule of 5,000 masks", bigRule);

  std::vector<double> toggles;
  const QModelIndex first = list->model()->index(0, 0);
  for (int i = 0; i < rounds; ++i) {
    const Qt::CheckState next =
        list->model()->data(first, Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked
            ? Qt::Unchecked
            : Qt::Checked;
    toggles.push_back(Seconds([&] {
      list->model()->setData(first, next, Qt::CheckStateRole);
      Settle();
    }));
  }
  Report("toggling one check mark", toggles);

  std::vector<double> saves;
  for (int i = 0; i < rounds; ++i) {
    pw::TbkDirectories* directories = w->Manager()->Directories();
    for (int k = 0; k < directories->Count(); ++k) directories->Items(k)->SetModified(true);
    list->viewport()->update();
    Settle();
    saves.push_back(Seconds([&] {
      w->actSaveExecute();
      Settle();
    }));
  }
  Report("Save with every directory red", saves);

  w.reset();
  fs::remove_all(folder);
  return 0;
}
