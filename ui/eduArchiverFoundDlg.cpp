#include "ui/eduArchiverFoundDlg.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include "ui/eduAbout.h"

namespace pw {

namespace {

// A small picture of a packed box, tinted for each choice.
QPixmap ChoicePicture(const QColor& colour) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(colour);
  p.setPen(QPen(colour.darker(160), 1.5));
  p.drawRoundedRect(4, 8, 24, 20, 3, 3);
  p.drawLine(4, 15, 28, 15);
  p.setBrush(Qt::white);
  p.drawRect(13, 12, 6, 7);
  return pixmap;
}

}  // namespace

TedArchiverFoundDlg::TedArchiverFoundDlg(QWidget* parent) : TfmBaseDialog(parent) {
  setWindowTitle("Archiver Found");
  auto* grid = new QGridLayout(Client());
  grid->setContentsMargins(12, 12, 12, 0);

  StaticText1 =
      new QLabel("Select appropriate archiver you would like to use with Packetwright", this);
  QFont heading = font();
  heading.setBold(true);
  heading.setPixelSize(16);
  StaticText1->setFont(heading);
  StaticText1->setStyleSheet("color: blue;");
  StaticText1->setWordWrap(true);
  StaticText1->setMinimumHeight(2 * QFontMetrics(heading).height());

  QFont choice = font();
  choice.setBold(true);
  choice.setPixelSize(13);
  Image2 = new QLabel(this);
  Image2->setPixmap(ChoicePicture(QColor(220, 170, 40)));
  rbWinZip = new QRadioButton("WinZip Command Line Support Add-on", this);
  rbWinZip->setFont(choice);
  meWinZipExplaine = new QPlainTextEdit(this);
  meWinZipExplaine->setReadOnly(true);
  meWinZipExplaine->setFrameStyle(QFrame::NoFrame);
  meWinZipExplaine->setFocusPolicy(Qt::NoFocus);
  meWinZipExplaine->setBackgroundRole(QPalette::Window);
  meWinZipExplaine->viewport()->setAutoFillBackground(false);
  meWinZipExplaine->setFixedHeight(48);
  laWinZip = LinkLabel("WinZip Home Page", "navy", false, this);
  Image1 = new QLabel(this);
  Image1->setPixmap(ChoicePicture(QColor(120, 60, 160)));
  rbWinRar = new QRadioButton("WinRar", this);
  rbWinRar->setFont(choice);
  Label2 = LinkLabel("WinRar Home Page", "navy", false, this);
  Image3 = new QLabel(this);
  Image3->setPixmap(ChoicePicture(QColor(60, 120, 200)));
  rb7Zip = new QRadioButton("7-Zip", this);
  rb7Zip->setFont(choice);
  la7Zip = LinkLabel("7-Zip Home Page", "navy", false, this);

  grid->addWidget(StaticText1, 0, 0, 1, 2);
  grid->addWidget(Image2, 1, 0, 2, 1, Qt::AlignTop);
  grid->addWidget(rbWinZip, 1, 1);
  grid->addWidget(meWinZipExplaine, 2, 1);
  grid->addWidget(laWinZip, 3, 1);
  grid->addWidget(Image1, 4, 0, Qt::AlignTop);
  grid->addWidget(rbWinRar, 4, 1);
  grid->addWidget(Label2, 5, 1);
  grid->addWidget(Image3, 6, 0, Qt::AlignTop);
  grid->addWidget(rb7Zip, 6, 1);
  grid->addWidget(la7Zip, 7, 1);
  grid->setColumnStretch(1, 1);
  setFixedWidth(420);

  for (QWidget* w :
       std::initializer_list<QWidget*>{rbWinZip, rbWinRar, rb7Zip, Image1, Image2, Image3}) {
    w->installEventFilter(this);
  }
  FormCreate();
}

void TedArchiverFoundDlg::FormCreate() {
  std::string ignored;
  rbWinRar->setEnabled(FindWinRar(ignored));
  rbWinZip->setEnabled(FindWinZipCommandLine(ignored));
  meWinZipExplaine->setVisible(!rbWinZip->isEnabled());
  if (!rbWinZip->isEnabled()) {
    meWinZipExplaine->setPlainText(
        FindWinZip(ignored)
            ? "WinZip is installed on your computer, but you need to install WinZip Command Line "
              "Support Add-On. To do this please visit WinZip Home Page"
            : "WinZip and WinZip Command Line Support Add-On not found on your computer.");
  }
  rb7Zip->setEnabled(Find7Zip(ignored));
  // A choice is made for the user only when there is exactly one.
  QRadioButton* enabled = nullptr;
  int count = 0;
  for (QRadioButton* rb : {rbWinZip, rbWinRar, rb7Zip}) {
    if (rb->isEnabled()) enabled = rb, ++count;
  }
  if (count == 1) enabled->setChecked(true);
}

bool TedArchiverFoundDlg::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick) {
    auto* widget = static_cast<QWidget*>(watched);
    const bool choice = watched == rbWinZip || watched == rbWinRar || watched == rb7Zip;
    if ((choice && widget->isEnabled()) || watched == Image1 || watched == Image2 ||
        watched == Image3) {
      if (choice) static_cast<QRadioButton*>(widget)->setChecked(true);
      buOK->click();
      return true;
    }
  }
  if (event->type() == QEvent::MouseButtonRelease) {
    if (watched == laWinZip) OpenDocument(kWinZipHomePage);
    if (watched == Label2) OpenDocument(kWinRarHomePage);
    if (watched == la7Zip) OpenDocument(k7ZipHomePage);
  }
  return TfmBaseDialog::eventFilter(watched, event);
}

bool TedArchiverFoundDlg::Result(bool accepted, TArchiverKind& kind) const {
  if (!accepted) return false;
  if (rbWinZip->isChecked()) {
    kind = akWinZip;
    return true;
  }
  if (rbWinRar->isChecked()) {
    kind = akWinRar;
    return true;
  }
  if (rb7Zip->isChecked()) {
    kind = ak7Zip;
    return true;
  }
  return false;
}

bool TedArchiverFoundDlg::Execute(TArchiverKind& kind, QWidget* parent) {
  TedArchiverFoundDlg dialog(parent);
  return dialog.Result(dialog.exec() == QDialog::Accepted, kind);
}

}  // namespace pw
