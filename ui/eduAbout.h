// The about box, with a class diagram of the settings model drawn here.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace pw {

inline constexpr char kHomePage[] = "https://packetwright.example.org/";
inline constexpr char kDiagramHomePage[] = "https://packetwright.example.org/model-painter/";

// Asks the shell to open a web address, document or program.
void OpenDocument(const std::string& fileName, const std::string& parameters = "");

// A label styled as a link: coloured, underlined, with the hand cursor. The
// owner watches its clicks with an event filter.
QLabel* LinkLabel(const QString& text, const char* colour, bool bold, QWidget* owner);

class TedAbout final : public QDialog {
  Q_OBJECT
 public:
  // settingsFile: the settings file in use, which the box names.
  explicit TedAbout(const std::string& settingsFile = {}, QWidget* parent = nullptr);
  static void Execute(const std::string& settingsFile);

  QLabel* ProgramIcon;
  QLabel* ProductName;
  QLabel* Version;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label6;
  QLabel* Notice;
  QLabel* SettingsFile;
  QPushButton* OKButton;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ProgramIconClick();
  void Label2Click();
  void Label3Click();
};

// The diagram: manager, its two lists and their items.
QPixmap DrawModelDiagram();

}  // namespace pw
