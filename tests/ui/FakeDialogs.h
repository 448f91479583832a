// Answers the windows' message boxes and common dialogs from queues, and
// records what they were asked.
#pragma once

#include <deque>
#include <optional>
#include <stdexcept>
#include <vector>

#include "ui/DialogService.h"

namespace pw::test {

class FakeDialogs final : public IDialogService {
 public:
  struct Shown {
    QString kind, title, text;
    TAnswer preferred = TAnswer::Yes;  // the button Enter would press
  };

  void ShowError(QWidget*, const QString& title, const QString& text) override {
    shown.push_back({"error", title, text});
  }
  using IDialogService::Confirm;
  bool Confirm(QWidget*, const QString& text, TAnswer preferred) override {
    shown.push_back({"confirm", "Confirm", text, preferred});
    return Next(confirmAnswers) == TAnswer::Yes;
  }
  TAnswer ConfirmWithCancel(QWidget*, const QString& text) override {
    shown.push_back({"confirm3", "Confirm", text});
    return Next(confirmAnswers);
  }
  std::optional<QString> OpenFile(QWidget*, const TFileDialogOptions& o) override {
    fileDialogs.push_back(o);
    return Next(fileAnswers);
  }
  std::optional<QString> SaveFile(QWidget*, const TFileDialogOptions& o) override {
    fileDialogs.push_back(o);
    return Next(fileAnswers);
  }
  std::optional<QString> ChooseDirectory(QWidget*, const QString& start, bool) override {
    directoryStarts.push_back(start);
    return Next(fileAnswers);
  }

  std::optional<QString> AskHidden(QWidget*, const QString& prompt) override {
    shown.push_back({"hidden", "Password", prompt});
    return Next(hiddenAnswers);
  }

  std::vector<Shown> shown;
  std::deque<std::optional<QString>> hiddenAnswers;
  std::deque<TAnswer> confirmAnswers;
  std::deque<std::optional<QString>> fileAnswers;
  std::vector<TFileDialogOptions> fileDialogs;
  std::vector<QString> directoryStarts;

 private:
  template <class T>
  static T Next(std::deque<T>& answers) {
    if (answers.empty()) throw std::logic_error("a dialog was shown that the test did not expect");
    T answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

}  // namespace pw::test
