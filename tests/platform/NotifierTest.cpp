// The desktop's notifications on a private session bus of the test's own, with
// a stand-in notification service on it (tests/support/NotificationService.cpp).
// The test program has no QCoreApplication, as the companion has none.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Notifier.h"
#include "platform/portable/NotifierDBus.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Sets (or, given nothing, removes) an environment variable while it lives.
class TVariable {
 public:
  TVariable(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~TVariable() {
    if (previous_) {
      ::setenv(name_, previous_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> previous_;
};

using test::TChild;
using test::TPrivateBus;
using test::TStandIn;

// What the process writes on its standard error while one lives.
class TStandardError {
 public:
  explicit TStandardError(const fs::path& file)
      : file_(file), saved_(::dup(2)) {
    const int into = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(into, 2);
    ::close(into);
  }
  ~TStandardError() { Restore(); }
  std::string Written() {
    Restore();
    return test::ReadFile(file_);
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    ::dup2(saved_, 2);
    ::close(saved_);
    saved_ = -1;
  }
  fs::path file_;
  int saved_;
};

// What the stand-in records of one Notify call; the urgency with the type it
// arrived in, a byte being "uchar".
std::string Call(const std::string& summary, const std::string& body, const std::string& urgency,
                 const std::string& expire) {
  return "signature susssasa{sv}i\napp Packetwright\nreplaces 0\nicon packetwright\nsummary " +
         summary + "\nbody " + body + "\nactions 0\nhints urgency\nurgency uchar " + urgency +
         "\nexpire " + expire + "\n";
}

class NotifierTest : public ::testing::Test {
 protected:
  test::TTempFolder folder{"notifier"};
  fs::path record = folder / "received.txt";
  TVariable noRuntimeFolder{"XDG_RUNTIME_DIR", folder.Path().string()};
};

TEST_F(NotifierTest, TheServiceReceivesTheNotificationAsTheDesktopExpectsIt) {
  TPrivateBus bus(folder, "unix:tmpdir=" + folder.Path().string());
  ASSERT_FALSE(bus.Address().empty()) << "dbus-daemon did not start";
  TStandIn service(bus.Address(), record);
  ASSERT_TRUE(service.Ready());
  TVariable address("DBUS_SESSION_BUS_ADDRESS", bus.Address());
  INotifier& notifier = DefaultService<INotifier>();

  TStandardError errors(folder / "errors.txt");
  // A normal notification expires as the desktop sees fit, a critical one never.
  EXPECT_TRUE(notifier.Notify("Night of 3 jobs", "Documents: exit status 2",
                              TNotificationUrgency::Normal));
  EXPECT_TRUE(notifier.Notify("B\xC3\xBCro \xE2\x9C\x93", "2 <of> 3 & more",
                              TNotificationUrgency::Critical));
  // A NUL would end the text on the bus; text that is not UTF-8 is Windows-1252.
  EXPECT_TRUE(notifier.Notify("Caf\xE9", std::string("one\0two", 7), TNotificationUrgency::Normal));
  // A desktop that reads markup in the body gets the body's "<" and "&" as text.
  service.Offer("body\nbody-markup\n");
  EXPECT_TRUE(notifier.Notify("<b>", "2 <of> 3 & more", TNotificationUrgency::Normal));
  EXPECT_EQ(errors.Written(), "");

  EXPECT_EQ(service.Received(),
            Call("Night of 3 jobs", "Documents: exit status 2", "1", "-1") +
                Call("B\xC3\xBCro \xE2\x9C\x93", "2 <of> 3 & more", "2", "0") +
                Call("Caf\xC3\xA9", "one?two", "1", "-1") +
                Call("<b>", "2 &lt;of&gt; 3 &amp; more", "1", "-1"));
}

TEST_F(NotifierTest, WithoutTheAddressTheBusIsFoundInTheRuntimeFolder) {
  // A folder name that would end the path, or start another address, unescaped.
  const fs::path runtime = folder / "run, a;b=c";
  fs::create_directories(runtime);
  std::string socket;
  for (const char c : (runtime / "bus").string()) {
    char escaped[4];
    std::snprintf(escaped, sizeof escaped, "%%%02x", static_cast<unsigned char>(c));
    socket += std::isalnum(static_cast<unsigned char>(c)) || c == '/' ? std::string(1, c) : escaped;
  }
  TPrivateBus bus(folder, "unix:path=" + socket);
  ASSERT_FALSE(bus.Address().empty()) << "dbus-daemon did not start";
  TStandIn service(bus.Address(), record);
  ASSERT_TRUE(service.Ready());

  TVariable address("DBUS_SESSION_BUS_ADDRESS", "");  // set but empty: as if unset
  TVariable runtimeFolder("XDG_RUNTIME_DIR", runtime.string());
  EXPECT_TRUE(DefaultService<INotifier>().Notify("a", "b", TNotificationUrgency::Normal));
  EXPECT_EQ(service.Received(), Call("a", "b", "1", "-1"));
}

TEST_F(NotifierTest, NoBusOrNoServiceIsNotDelivered) {
  TStandardError errors(folder / "errors.txt");
  {
    TVariable address("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
    EXPECT_EQ(SessionBusAddress(), "");  // no socket in the runtime folder
    EXPECT_FALSE(DefaultService<INotifier>().Notify("a", "b", TNotificationUrgency::Critical));
  }
  const auto start = Clock::now();
  {
    TVariable address("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (folder / "none").string());
    EXPECT_FALSE(DefaultService<INotifier>().Notify("a", "b", TNotificationUrgency::Normal));
  }
  EXPECT_LT(Clock::now() - start, 1s);
  {
    TPrivateBus bus(folder, "unix:tmpdir=" + folder.Path().string());
    ASSERT_FALSE(bus.Address().empty()) << "dbus-daemon did not start";
    TVariable address("DBUS_SESSION_BUS_ADDRESS", bus.Address());
    EXPECT_FALSE(DefaultService<INotifier>().Notify("a", "b", TNotificationUrgency::Normal));
  }
  EXPECT_EQ(errors.Written(), "");
}

TEST_F(NotifierTest, AServiceThatDoesNotAnswerIsGivenUpOn) {
  TPrivateBus bus(folder, "unix:tmpdir=" + folder.Path().string());
  ASSERT_FALSE(bus.Address().empty()) << "dbus-daemon did not start";
  TStandIn service(bus.Address(), record);
  ASSERT_TRUE(service.Ready());
  service.Hang();
  TVariable address("DBUS_SESSION_BUS_ADDRESS", bus.Address());

  const auto start = Clock::now();
  EXPECT_FALSE(MakeSessionBusNotifier(200)->Notify("a", "b", TNotificationUrgency::Normal));
  EXPECT_LT(Clock::now() - start, 1s);
  EXPECT_EQ(service.Received(), Call("a", "b", "1", "-1"));  // it did arrive
}

TEST_F(NotifierTest, ABusThatDoesNotAnswerIsGivenUpOn) {
  // A socket that takes connections and never says a word, as a stopped bus.
  const fs::path path = folder / "stopped";
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  TVariable bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + path.string());

  // Waited for on a thread of its own, so that a hang fails here, and at once.
  auto delivered = std::async(std::launch::async, [] {
    return MakeSessionBusNotifier(200)->Notify("a", "b", TNotificationUrgency::Normal);
  });
  if (delivered.wait_for(2s) != std::future_status::ready) {
    ADD_FAILURE() << "the notification waits for the bus without end";
    std::_Exit(1);
  }
  EXPECT_FALSE(delivered.get());
  ::close(listener);
}

}  // namespace
}  // namespace pw
