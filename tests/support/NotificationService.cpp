// A stand-in for the desktop's notification service, for the tests: it owns
// org.freedesktop.Notifications on the bus at the address given, and for each
// Notify call appends what it received to RECORD and answers with an id.
//
//   pw_notification_service ADDRESS RECORD
//
// GetCapabilities answers with the lines of RECORD.capabilities (none when it
// is missing). While RECORD.hang exists, Notify is never answered. Once the
// name is owned, RECORD.ready is made.
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QFile>
#include <QStringList>
#include <QVariantMap>
#include <cstdio>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");

QString Escaped(QString text) {
  return text.replace(u'\\', QStringLiteral("\\\\")).replace(u'\n', QStringLiteral("\\n"));
}

class StandIn final : public QDBusVirtualObject {
 public:
  explicit StandIn(QString record) : record_(std::move(record)) {}

  QString introspect(const QString&) const override { return {}; }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
    if (message.interface() != kService) return false;
    if (message.member() == QStringLiteral("GetCapabilities")) {
      QFile file(record_ + ".capabilities");
      QStringList capabilities;
      if (file.open(QIODevice::ReadOnly)) {
        capabilities = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
      }
      bus.send(message.createReply(QVariant(capabilities)));
      return true;
    }
    if (message.member() != QStringLiteral("Notify")) return false;
    Record(message);
    if (QFile::exists(record_ + ".hang")) {
      message.setDelayedReply(true);
      return true;
    }
    bus.send(message.createReply(QVariant(42u)));
    return true;
  }

 private:
  // One line a field; the hints' urgency with the type it arrived in.
  void Record(const QDBusMessage& message) const {
    const QList<QVariant> a = message.arguments();
    QString text = "signature " + message.signature() + "\n";
    if (a.size() == 8) {
      const QVariantMap hints = qdbus_cast<QVariantMap>(a[6]);
      const QVariant urgency = hints.value(QStringLiteral("urgency"));
      text += "app " + Escaped(a[0].toString()) + "\nreplaces " + a[1].toString() + "\nicon " +
              Escaped(a[2].toString()) + "\nsummary " + Escaped(a[3].toString()) + "\nbody " +
              Escaped(a[4].toString()) + "\nactions " + QString::number(a[5].toStringList().size()) +
              "\nhints " + QStringList(hints.keys()).join(u',') + "\nurgency " +
              urgency.metaType().name() + " " + QString::number(urgency.toInt()) + "\nexpire " +
              a[7].toString() + "\n";
    }
    QFile file(record_);
    if (file.open(QIODevice::Append)) file.write(text.toUtf8());
  }

  QString record_;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: pw_notification_service ADDRESS RECORD\n");
    return 2;
  }
  const QString record = QString::fromLocal8Bit(argv[2]);
  QDBusConnection bus = QDBusConnection::connectToBus(QString::fromLocal8Bit(argv[1]), "stand-in");
  StandIn standIn(record);
  if (!bus.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &standIn) ||
      !bus.registerService(kService)) {
    std::fprintf(stderr, "pw_notification_service: %s\n", qPrintable(bus.lastError().message()));
    return 1;
  }
  QFile ready(record + ".ready");
  if (!ready.open(QIODevice::WriteOnly)) return 1;
  ready.close();
  return application.exec();
}
