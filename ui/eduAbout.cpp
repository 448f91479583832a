#include "ui/eduAbout.h"

#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/Services.h"
#include "platform/Shell.h"
#include "ui/UiText.h"
#include "ui/fmuBase.h"

namespace pw {

void OpenDocument(const std::string& fileName, const std::string& parameters) {
  Get<IShell>().Execute("open", fileName, parameters, "", TShowCommand::swShowNormal);
}

QLabel* LinkLabel(const QString& text, const char* colour, bool bold, QWidget* owner) {
  auto* label = new QLabel(text, owner);
  QFont f = label->font();
  f.setUnderline(true);
  f.setBold(bold);
  label->setFont(f);
  label->setStyleSheet(QString("color: %1;").arg(colour));
  label->setCursor(Qt::PointingHandCursor);
  label->installEventFilter(owner);
  return label;
}

namespace {

void Box(QPainter& p, const QRect& r, const QString& title, const QString& item = {}) {
  p.setPen(QPen(QColor(0, 0, 128), 1));
  p.setBrush(QColor(255, 255, 225));
  p.drawRect(r);
  QFont f = p.font();
  f.setBold(true);
  p.setFont(f);
  p.drawText(r.adjusted(0, 2, 0, 0), Qt::AlignHCenter | Qt::AlignTop, title);
  if (!item.isEmpty()) {
    f.setBold(false);
    p.setFont(f);
    p.drawLine(r.left(), r.top() + 16, r.right(), r.top() + 16);
    p.drawText(r.adjusted(4, 18, 0, 0), Qt::AlignLeft | Qt::AlignTop, "Items: " + item);
  }
}

void Arrow(QPainter& p, QPoint from, QPoint to, const QString& label, QPoint labelAt) {
  p.setPen(QPen(Qt::black, 1));
  p.drawLine(from, to);
  const QLineF line(to, from);
  const QLineF a = QLineF::fromPolar(7, line.angle() + 25).translated(to);
  const QLineF b = QLineF::fromPolar(7, line.angle() - 25).translated(to);
  QPainterPath head;
  head.moveTo(to);
  head.lineTo(a.p2());
  head.lineTo(b.p2());
  head.closeSubpath();
  p.fillPath(head, Qt::black);
  QFont f = p.font();
  f.setBold(false);
  f.setItalic(true);
  p.setFont(f);
  p.drawText(labelAt, label);
  f.setItalic(false);
  p.setFont(f);
}

}  // namespace

QPixmap DrawModelDiagram() {
  QPixmap pixmap(313, 185);
  pixmap.fill(Qt::white);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QFont f = DialogFont();
  f.setPixelSize(10);
  p.setFont(f);
  const QRect manager(8, 76, 86, 22);
  const QRect rules(150, 8, 150, 36);
  const QRect extensions(150, 74, 150, 36);
  const QRect directories(150, 140, 150, 36);
  Box(p, manager, "TbkManager");
  Box(p, rules, "TbkRules", "TbkRule");
  Box(p, extensions, "TbkExtensions", "TbkExtension");
  Box(p, directories, "TbkDirectories", "TbkDirectory");
  Arrow(p, QPoint(manager.right(), manager.top() + 4), QPoint(rules.left(), rules.center().y()),
        "Rules", QPoint(82, 44));
  Arrow(p, QPoint(rules.center().x(), rules.bottom()),
        QPoint(extensions.center().x(), extensions.top()), "Extensions",
        QPoint(rules.center().x() + 5, 62));
  Arrow(p, QPoint(manager.right(), manager.bottom() - 4),
        QPoint(directories.left(), directories.center().y()), "Directories", QPoint(58, 132));
  return pixmap;
}

TedAbout::TedAbout(const std::string& settingsFile, QWidget* parent) : QDialog(parent) {
  setObjectName("edAbout");
  setWindowTitle("About");
  SetDialogBorder(this);
  setFont(DialogFont());
  setStyleSheet("#edAbout { background: white; }");
  setFixedSize(525, 375);

  auto* layout = new QVBoxLayout(this);
  auto* panel = new QFrame(this);
  panel->setObjectName("Panel1");
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setStyleSheet("#Panel1 { background: white; }");
  layout->addWidget(panel, 1);
  auto* grid = new QGridLayout(panel);

  Label1 = new QLabel("This product has been developed with", this);
  QFont bold = font();
  bold.setBold(true);
  Label1->setFont(bold);
  Label2 = LinkLabel("Packetwright Model Painter", "blue", true, this);
  ProgramIcon = new QLabel(this);
  ProgramIcon->setPixmap(DrawModelDiagram());
  ProgramIcon->setFixedSize(313, 185);
  ProgramIcon->setCursor(Qt::PointingHandCursor);
  ProgramIcon->setToolTip("Visit the model painter's home page");
  ProgramIcon->installEventFilter(this);
  Label6 = LinkLabel("class diagrams drawn from the settings model", "blue", true, this);

  ProductName = new QLabel("Packetwright", this);
  QFont big = bold;
  big.setPixelSize(19);
  ProductName->setFont(big);
  Version = new QLabel("Version " PW_VERSION, this);
  Label3 = LinkLabel("Home Page...", "navy", false, this);
  Notice = new QLabel("Free to use and to pass on.", this);

  grid->addWidget(Label1, 0, 0);
  grid->addWidget(Label2, 1, 0);
  grid->addWidget(ProgramIcon, 2, 0, 3, 1);
  grid->addWidget(Label6, 5, 0);
  grid->addWidget(ProductName, 0, 1, Qt::AlignRight | Qt::AlignTop);
  grid->addWidget(Version, 1, 1, Qt::AlignRight | Qt::AlignTop);
  grid->addWidget(Label3, 2, 1, Qt::AlignRight | Qt::AlignTop);
  grid->addWidget(Notice, 5, 1, Qt::AlignRight | Qt::AlignBottom);
  grid->setRowStretch(4, 1);

  // Where the settings are kept depends on the installation; the box tells,
  // and the name can be selected and copied.
  SettingsFile = new QLabel("Settings file: " + ToQt(settingsFile), this);
  SettingsFile->setObjectName("SettingsFile");
  SettingsFile->setWordWrap(true);
  SettingsFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
  SettingsFile->setVisible(!settingsFile.empty());
  layout->addWidget(SettingsFile);

  OKButton = new QPushButton("OK", this);
  OKButton->setDefault(true);
  OKButton->setFixedSize(75, 25);
  layout->addWidget(OKButton, 0, Qt::AlignHCenter);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

bool TedAbout::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease) {
    if (watched == ProgramIcon) ProgramIconClick();
    if (watched == Label2 || watched == Label6) Label2Click();
    if (watched == Label3) Label3Click();
  }
  return QDialog::eventFilter(watched, event);
}

void TedAbout::ProgramIconClick() {
  OpenDocument(kDiagramHomePage);
}
void TedAbout::Label2Click() {
  OpenDocument(kDiagramHomePage);
}
void TedAbout::Label3Click() {
  OpenDocument(kHomePage);
}

void TedAbout::Execute(const std::string& settingsFile) {
  TedAbout about(settingsFile);
  CentreOnScreen(&about);
  about.exec();
}

}  // namespace pw
