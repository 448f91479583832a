// The keyring through the Secret Service (org.freedesktop.secrets on the
// session bus, by way of the keychain library), and the password file with
// the checks ssh makes of a private key.
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <memory>
#include <qt6keychain/keychain.h>

#include "platform/NativePath.h"
#include "platform/PasswordStore.h"
#include "platform/Services.h"
#include "platform/TextCodec.h"

namespace pw {

namespace {

// How long the keyring may take to answer: a scheduled run must not hang on
// a keyring that waits for someone to unlock it.
constexpr int kKeyringWaitMs = 10000;

struct TJobEnd {
  bool ended = false;
  QKeychain::Error error = QKeychain::NoError;
  QString errorText;
  QString text;
};

// The thread on which every job of the keychain library runs, with the event
// loop those jobs need: one for the whole program, since the Secret Service's
// client keeps to the thread it first ran on. Made on first use; ended with
// the application (TKeyringSession, or the window's aboutToQuit).
std::mutex keyringMutex;
QThread* keyringThread = nullptr;
QObject* keyringContext = nullptr;

void StopKeyringThread() {
  const std::lock_guard lock(keyringMutex);
  if (!keyringThread) return;
  QObject* context = keyringContext;
  QMetaObject::invokeMethod(context, [context] { delete context; }, Qt::QueuedConnection);
  keyringThread->quit();
  keyringThread->wait();
  delete keyringThread;
  keyringThread = nullptr;
  keyringContext = nullptr;
}

QObject* KeyringContext() {
  const std::lock_guard lock(keyringMutex);
  if (!keyringThread) {
    keyringThread = new QThread;
    keyringThread->start();
    keyringContext = new QObject;
    keyringContext->moveToThread(keyringThread);
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit,
                     &StopKeyringThread);
  }
  return keyringContext;
}

struct TJobWait {
  std::mutex mutex;
  std::condition_variable done;
  TJobEnd end;
};

// Runs one job of the keychain library on the keyring's thread and waits
// for its end, at most kKeyringWaitMs.
TJobEnd RunJob(std::function<QKeychain::Job*()> make) {
  if (!QCoreApplication::instance()) {
    throw EPasswordUnavailable("The keyring cannot be reached from a program without its Qt "
                               "application (TKeyringSession)");
  }
  const auto wait = std::make_shared<TJobWait>();
  QMetaObject::invokeMethod(
      KeyringContext(),
      [wait, make = std::move(make)] {
        QKeychain::Job* job = make();
        job->setAutoDelete(true);
        QObject::connect(job, &QKeychain::Job::finished, job, [wait](QKeychain::Job* j) {
          const std::lock_guard lock(wait->mutex);
          wait->end.ended = true;
          wait->end.error = j->error();
          wait->end.errorText = j->errorString();
          if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(j)) {
            wait->end.text = read->textData();
          }
          wait->done.notify_all();
        });
        job->start();
      },
      Qt::QueuedConnection);
  std::unique_lock lock(wait->mutex);
  wait->done.wait_for(lock, std::chrono::milliseconds(kKeyringWaitMs),
                      [&wait] { return wait->end.ended; });
  return wait->end;
}

[[noreturn]] void Unavailable(const std::string& what, const TJobEnd& end) {
  if (!end.ended) throw EPasswordUnavailable(what + ": the keyring did not answer");
  switch (end.error) {
    case QKeychain::EntryNotFound:
      throw EPasswordUnavailable(what + ": the keyring holds no archive password; set one with "
                                        "packetwright-cli password set");
    case QKeychain::NoBackendAvailable:
      throw EPasswordUnavailable(what + ": no keyring answers on the session bus (" +
                                 end.errorText.toStdString() +
                                 "); a scheduled run needs a password file");
    case QKeychain::AccessDenied:
    case QKeychain::AccessDeniedByUser:
      throw EPasswordUnavailable(what + ": the keyring is locked or refused (" +
                                 end.errorText.toStdString() + ")");
    default:
      throw EPasswordUnavailable(what + ": " + end.errorText.toStdString());
  }
}

class TPosixPasswordStore final : public IPasswordStore {
 public:
  std::string ReadKeyring() override {
    const TJobEnd end = RunJob([] {
      auto* job = new QKeychain::ReadPasswordJob(QString::fromUtf8(kKeyringService));
      job->setKey(QString::fromUtf8(kKeyringKey));
      return job;
    });
    if (!end.ended || end.error != QKeychain::NoError) {
      Unavailable("Cannot read the archive password from the keyring", end);
    }
    return end.text.toStdString();
  }

  void WriteKeyring(const std::string& password) override {
    const TJobEnd end = RunJob([password] {
      auto* job = new QKeychain::WritePasswordJob(QString::fromUtf8(kKeyringService));
      job->setKey(QString::fromUtf8(kKeyringKey));
      job->setTextData(QString::fromStdString(password));
      return job;
    });
    if (!end.ended || end.error != QKeychain::NoError) {
      Unavailable("Cannot keep the archive password in the keyring", end);
    }
  }

  void ClearKeyring() override {
    const TJobEnd end = RunJob([] {
      auto* job = new QKeychain::DeletePasswordJob(QString::fromUtf8(kKeyringService));
      job->setKey(QString::fromUtf8(kKeyringKey));
      return job;
    });
    if (end.ended && (end.error == QKeychain::NoError || end.error == QKeychain::EntryNotFound)) {
      return;
    }
    Unavailable("Cannot take the archive password out of the keyring", end);
  }

  std::string ReadFile(const std::string& path) override {
    const std::string native = NativePath(path);
    const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
      throw EPasswordUnavailable("Cannot read the password file " + path + ": " +
                                 std::strerror(errno));
    }
    struct stat st {};
    std::string problem;
    if (::fstat(fd, &st) != 0) {
      problem = std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
      problem = "The password file " + path + " is not a regular file";
    } else {
      problem = PasswordFileModeProblem(path, st.st_mode, st.st_uid, ::geteuid());
    }
    std::string bytes;
    if (problem.empty()) {
      char buffer[kLongestPassword + 2];
      for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) problem = std::strerror(errno);
        if (n <= 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
        if (bytes.size() > kLongestPassword + 2) break;
      }
    }
    ::close(fd);
    if (!problem.empty()) throw EPasswordUnavailable(problem);
    const size_t end = bytes.find_first_of("\r\n");
    const std::string password = bytes.substr(0, end);
    if (password.empty()) throw EPasswordUnavailable("The password file " + path + " holds none");
    const std::string why = PasswordProblem(password);
    if (!why.empty()) throw EPasswordUnavailable("The password file " + path + ": " + why);
    return password;
  }

  // Through a new file beside it, made for its owner alone and then renamed
  // over the old one: never a moment in which the password is open to others.
  void WriteFile(const std::string& path, const std::string& password) override {
    const std::string native = NativePath(path);
    const std::string partial = native + ".new";
    ::unlink(partial.c_str());
    const int fd =
        ::open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      throw EPasswordUnavailable("Cannot write the password file " + path + ": " +
                                 std::strerror(errno));
    }
    const std::string bytes = password + "\n";
    bool ok = ::fchmod(fd, 0600) == 0 &&
              ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
              ::fsync(fd) == 0;
    const int error = errno;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(partial.c_str(), native.c_str()) == 0) return;
    const int failure = ok ? errno : error;
    ::unlink(partial.c_str());
    throw EPasswordUnavailable("Cannot write the password file " + path + ": " +
                               std::strerror(failure));
  }
};

}  // namespace

template <>
IPasswordStore& DefaultService<IPasswordStore>() {
  static TPosixPasswordStore instance;
  return instance;
}

bool StandardInputIsTerminal() {
  return ::isatty(0) == 1;
}

std::string ReadHiddenLine(const std::string& prompt) {
  (void)!::write(2, prompt.data(), prompt.size());
  termios before {};
  const bool terminal = ::tcgetattr(0, &before) == 0;
  if (terminal) {
    termios hidden = before;
    hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    hidden.c_lflag |= ECHONL;
    ::tcsetattr(0, TCSAFLUSH, &hidden);
  }
  std::string line;
  char c;
  ssize_t n;
  while ((n = ::read(0, &c, 1)) == 1 || (n < 0 && errno == EINTR)) {
    if (n == 1 && c == '\n') break;
    if (n == 1) line += c;
  }
  if (terminal) ::tcsetattr(0, TCSAFLUSH, &before);
  return line;
}

TKeyringSession::TKeyringSession(int& argc, char** argv) {
  if (QCoreApplication::instance()) return;
  // Qt sets the locale from the environment; the program keeps its own.
  const std::string locale = std::setlocale(LC_ALL, nullptr);
  application_ = new QCoreApplication(argc, argv);
  std::setlocale(LC_ALL, locale.c_str());
}

TKeyringSession::~TKeyringSession() {
  StopKeyringThread();
  delete static_cast<QCoreApplication*>(application_);
}

}  // namespace pw
