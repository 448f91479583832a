// A small modeless window that shows one line of progress text while a long
// operation keeps the user-interface thread busy.
#pragma once

#include <QWidget>

#include "archiver/MessageWin.h"

class QLabel;

namespace pw {

class TMessageWin final : public QWidget, public IMessageWin {
  Q_OBJECT
 public:
  // A window of its own that stays above parent, when one is given.
  explicit TMessageWin(QWidget* parent = nullptr);
  ~TMessageWin() override;

  void ShowText(const std::string& text) override;

  QLabel* laMessage;
};

// Hidden until its first ShowText; the caller destroys it. It stays above the
// modal window, or else the active window, that asks for it.
std::unique_ptr<TMessageWin> CreateMessageWin();

// Plugged in at start-up so that the archiver layer's scans show their progress.
class TMessageWinFactory final : public IMessageWinFactory {
 public:
  std::unique_ptr<IMessageWin> CreateMessageWin() override;
};

}  // namespace pw
