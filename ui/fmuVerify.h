// The verification of one archive: the archiver tests it and lists it, and
// the listing is held against what the directory's job would take now, on a
// worker thread, while the window says what it is doing.
#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <thread>

#include "archiver/Verify.h"
#include "model/HoardkeeperClasses.h"
#include "platform/Process.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace pw {

class TfmVerify final : public QWidget {
  Q_OBJECT
 public:
  // Verifies archive, or without one the latest archive that the journal
  // names, of the directory at position (from 1) of a copy of the document
  // as it is now; starts at once, a window of its own above parent.
  TfmVerify(const TbkManager& manager, int position, std::optional<TLatestArchive> archive,
            const std::string& journalFile, QWidget* parent = nullptr);
  // Stops the archiver and waits for it.
  ~TfmVerify() override;

  bool Running() const { return running_; }
  // Ends the archiver; the report then says the test was stopped.
  void Cancel();
  const TVerifyReport& Report() const { return report_; }

  QLabel* laArchive;
  QLabel* laState;
  QPlainTextEdit* mmReport;
  QPushButton* buCancel;

 signals:
  // The verification ended, whatever it found; Report() holds it.
  void Finished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void Done(TVerifyReport report, std::string failure);

  std::unique_ptr<TbkManager> manager_;
  TRunStop stop_;
  TVerifyReport report_;
  bool running_ = false;
  std::thread worker_;
};

}  // namespace pw
