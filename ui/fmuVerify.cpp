#include "ui/fmuVerify.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/Errors.h"
#include "ui/PacketwrightHelpIDs.h"
#include "ui/UiText.h"
#include "ui/fmuBase.h"

namespace pw {

TfmVerify::TfmVerify(const TbkManager& manager, int position, std::optional<TLatestArchive> archive,
                     const std::string& journalFile, QWidget* parent)
    : QWidget(parent, Qt::Window), manager_(std::make_unique<TbkManager>()) {
  setObjectName("fmVerify");
  setWindowTitle("Verify");
  setFont(DialogFont());
  resize(620, 300);
  AddWindowKeys(this, hcVerifyWindow);
  manager_->Assign(&manager);

  laArchive = new QLabel(this);
  laArchive->setObjectName("laArchive");
  laArchive->setTextInteractionFlags(Qt::TextSelectableByMouse);
  laArchive->setText(archive ? ToQt(archive->archive)
                             : "The latest archive of " +
                                   ToQt(manager.Directories()->Items(position - 1)->Path()));
  laState = new QLabel("Testing the archive...", this);
  laState->setObjectName("laState");
  mmReport = new QPlainTextEdit(this);
  mmReport->setObjectName("mmReport");
  mmReport->setReadOnly(true);
  mmReport->setLineWrapMode(QPlainTextEdit::NoWrap);
  mmReport->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  buCancel = NewCancelButton(this, [this] { return running_; }, [this] { Cancel(); });
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(laState, 1);
  bottom->addWidget(buCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(laArchive);
  layout->addWidget(mmReport, 1);
  layout->addLayout(bottom);

  running_ = true;
  // The worker reads only its own copy of the document; its result comes
  // back as an event of this window, dropped should the window go first
  // (the destructor stops the archiver and waits).
  worker_ = std::thread([this, position, archive = std::move(archive), journalFile] {
    TRunOptions options;
    options.stop = &stop_;
    TVerifyReport report;
    std::string failure;
    try {
      report = archive ? VerifyArchive(*manager_, position, *archive, options)
                       : VerifyLatestArchive(*manager_, position, journalFile, options);
    } catch (const Exception& e) {
      failure = e.Message();
    } catch (const std::exception& e) {
      failure = e.what();
    }
    QMetaObject::invokeMethod(
        this,
        [this, report = std::move(report), failure = std::move(failure)]() mutable {
          Done(std::move(report), std::move(failure));
        },
        Qt::QueuedConnection);
  });
}

TfmVerify::~TfmVerify() {
  stop_.Stop();
  if (worker_.joinable()) worker_.join();
}

void TfmVerify::Cancel() {
  stop_.Stop();
  buCancel->setEnabled(false);
  laState->setText("Stopping the archiver...");
}

void TfmVerify::Done(TVerifyReport report, std::string failure) {
  if (worker_.joinable()) worker_.join();
  running_ = false;
  buCancel->setEnabled(true);
  buCancel->setText("Close");
  report_ = std::move(report);
  if (!failure.empty()) {
    laState->setText("Not verified.");
    laState->setStyleSheet("color: #c00000;");
    mmReport->setPlainText(ToQt(failure));
    emit Finished();
    return;
  }
  mmReport->setPlainText(ToQt(VerifyReportText(report_)));
  if (report_.latest.archive.empty()) {
    laState->setText("No archive to verify.");
  } else if (report_.Failed()) {
    laState->setText(report_.tested == TArchiveTest::atFailed ? "The archive failed its test."
                                                              : "Not verified.");
    laState->setStyleSheet("color: #c00000;");
  } else if (!report_.lacking.empty() || !report_.unwanted.empty()) {
    laState->setText("The archive is sound, but the job would take other files now.");
    laState->setStyleSheet("color: #8a5a00;");
  } else {
    laState->setText(report_.tested == TArchiveTest::atPassed
                         ? "The archive passed its test and holds what the job takes."
                         : "The archive holds what the job takes.");
  }
  emit Finished();
}

void TfmVerify::showEvent(QShowEvent* event) {
  PlaceOverParentOnce(this);
  QWidget::showEvent(event);
}

void TfmVerify::closeEvent(QCloseEvent* event) {
  // An archiver still at work is stopped; the window goes once it has.
  if (running_) Cancel();
  QWidget::closeEvent(event);
}

}  // namespace pw
