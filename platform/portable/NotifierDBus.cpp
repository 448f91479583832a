// Notifications through org.freedesktop.Notifications on the session bus, over
// a private connection of each call's own. A blocking call needs no
// QCoreApplication: Qt D-Bus runs its connections in a thread of its own.
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <algorithm>
#include <cctype>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/Notifier.h"
#include "platform/Services.h"
#include "platform/TextCodec.h"
#include "platform/portable/NotifierDBus.h"

namespace pw {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

bool IsSocket(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

// A value in a bus address: every byte but the few the address format leaves
// as they are is written %XX, so that a folder name with "," or ";" cannot
// end the path early or add keys or addresses of its own.
std::string AddressValue(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string value;
  for (const unsigned char c : bytes) {
    const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                       c == '-' || c == '_' || c == '/' || c == '.' || c == '*';
    if (plain) {
      value += static_cast<char>(c);
    } else {
      value += '%';
      value += digits[c >> 4];
      value += digits[c & 15];
    }
  }
  return value;
}

// The socket that a single "unix:path=" or "unix:abstract=" address names;
// nothing for any other address.
struct TUnixSocket {
  sockaddr_un address{};
  socklen_t length = 0;
};

std::optional<TUnixSocket> UnixSocketOf(const std::string& address) {
  if (address.rfind("unix:", 0) != 0 || address.find(';') != std::string::npos) return {};
  size_t start = 5;
  while (start <= address.size()) {
    const size_t end = std::min(address.find(',', start), address.size());
    const std::string pair = address.substr(start, end - start);
    const bool abstract = pair.rfind("abstract=", 0) == 0;
    if (abstract || pair.rfind("path=", 0) == 0) {
      std::string name;
      for (size_t i = pair.find('=') + 1; i < pair.size(); ++i) {
        if (pair[i] == '%' && i + 2 < pair.size() &&
            std::isxdigit(static_cast<unsigned char>(pair[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(pair[i + 2]))) {
          name += static_cast<char>(std::stoi(pair.substr(i + 1, 2), nullptr, 16));
          i += 2;
        } else {
          name += pair[i];
        }
      }
      TUnixSocket socket;
      socket.address.sun_family = AF_UNIX;
      const size_t offset = abstract ? 1 : 0;  // an abstract name starts with a NUL
      if (name.empty() || offset + name.size() >= sizeof socket.address.sun_path) return {};
      std::memcpy(socket.address.sun_path + offset, name.data(), name.size());
      socket.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset +
                                             name.size() + (abstract ? 0 : 1));
      return socket;
    }
    start = end + 1;
  }
  return {};
}

// Whether the bus answers the first step of a connection within timeoutMs.
// libdbus waits for that answer without end, and Qt D-Bus with it in its one
// thread for every connection: a bus that was stopped would hang the night's
// run. Other kinds of address are left to libdbus.
bool BusAnswers(const std::string& address, int timeoutMs) {
  const std::optional<TUnixSocket> bus = UnixSocketOf(address);
  if (!bus) return true;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool answered = false;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&bus->address), bus->length) == 0) {
    // The client speaks first: a NUL, then an authentication the bus answers
    // with a line of its own, whichever it is.
    std::string hello(1, '\0');
    hello += "AUTH EXTERNAL ";
    static const char digits[] = "0123456789abcdef";
    for (const char c : std::to_string(::getuid())) {
      hello += digits[static_cast<unsigned char>(c) >> 4];
      hello += digits[c & 15];
    }
    hello += "\r\n";
    if (::send(fd, hello.data(), hello.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(hello.size())) {
      std::string reply;
      while (!answered) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            giveUp - std::chrono::steady_clock::now());
        pollfd readable{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[256];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        reply.append(buffer, static_cast<size_t>(n));
        answered = reply.find("\r\n") != std::string::npos;
      }
    }
  }
  ::close(fd);
  return answered;
}

const char* Variable(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

QString ToQString(const std::string& text) {
  std::u16string wide = Local8BitToUtf16(text);
  // A string on the bus ends at its first NUL, which would cut off the rest.
  std::replace(wide.begin(), wide.end(), u'\0', u'?');
  return QString::fromStdU16String(wide);
}

// A desktop that reads the body as markup would take "<" and "&" for tags
// and entities, and drop or garble the text around them.
QString EscapeMarkup(const QString& text) {
  QString escaped;
  escaped.reserve(text.size());
  for (const QChar c : text) {
    if (c == u'&') {
      escaped += QStringLiteral("&amp;");
    } else if (c == u'<') {
      escaped += QStringLiteral("&lt;");
    } else if (c == u'>') {
      escaped += QStringLiteral("&gt;");
    } else {
      escaped += c;
    }
  }
  return escaped;
}

bool Answered(const QDBusMessage& reply) { return reply.type() == QDBusMessage::ReplyMessage; }

class SessionBusNotifier final : public INotifier {
 public:
  explicit SessionBusNotifier(int timeoutMs) : timeoutMs_(timeoutMs) {}

  bool Notify(const std::string& summary, const std::string& body,
              TNotificationUrgency urgency) override {
    try {
      const std::string address = SessionBusAddress();
      if (address.empty() || !BusAnswers(address, timeoutMs_)) return false;
      static std::atomic<unsigned> calls{0};
      const QString name = QStringLiteral("packetwright-notifier-%1").arg(++calls);
      bool delivered = false;
      {
        const QDBusConnection bus =
            QDBusConnection::connectToBus(QString::fromStdString(address), name);
        if (bus.isConnected()) delivered = Send(bus, summary, body, urgency);
      }
      QDBusConnection::disconnectFromBus(name);
      // Qt D-Bus closes the connection later, in its own thread, which could
      // still be reading from it while the program's statics go at exit (and
      // say so on standard error). A connection that cannot be made is one
      // more request to that thread, answered after the close.
      const QString flush = name + QStringLiteral("-closed");
      QDBusConnection::connectToBus(QString(), flush);
      QDBusConnection::disconnectFromBus(flush);
      return delivered;
    } catch (...) {
      return false;
    }
  }

 private:
  bool Send(const QDBusConnection& bus, const std::string& summary, const std::string& body,
            TNotificationUrgency urgency) const {
    // Every notification service answers this; one that does not, or not in
    // time, would not show the notification either.
    const QDBusMessage capabilities = bus.call(
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("GetCapabilities")),
        QDBus::Block, timeoutMs_);
    if (!Answered(capabilities) || capabilities.arguments().isEmpty()) return false;
    const bool markup =
        capabilities.arguments().first().toStringList().contains(QStringLiteral("body-markup"));

    const bool critical = urgency == TNotificationUrgency::Critical;
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(critical ? 2 : 1));
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    const QString text = ToQString(body);
    call << QStringLiteral("Packetwright") << 0u << QStringLiteral("packetwright")
         << ToQString(summary) << (markup ? EscapeMarkup(text) : text) << QStringList() << hints
         // A critical notification stays until the user closes it.
         << (critical ? 0 : -1);
    return Answered(bus.call(call, QDBus::Block, timeoutMs_));
  }

  int timeoutMs_;
};

}  // namespace

std::string SessionBusAddress() {
  if (const char* address = Variable("DBUS_SESSION_BUS_ADDRESS")) return address;
  const char* runtime = Variable("XDG_RUNTIME_DIR");
  const std::string folder =
      runtime ? std::string(runtime) : "/run/user/" + std::to_string(::getuid());
  const std::string socket = folder + "/bus";
  return IsSocket(socket) ? "unix:path=" + AddressValue(socket) : std::string();
}

std::unique_ptr<INotifier> MakeSessionBusNotifier(int timeoutMs) {
  return std::make_unique<SessionBusNotifier>(timeoutMs);
}

template <>
INotifier& DefaultService<INotifier>() {
  static SessionBusNotifier instance(3000);
  return instance;
}

}  // namespace pw
