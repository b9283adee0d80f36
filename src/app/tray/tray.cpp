#include "app/tray/tray.h"

#include "app/app_id.h"
#include "app/tray/qt_tray_item.h"
#include "app/tray/shell_indicator.h"
#include "app/tray/sni_item.h"
#include "app/tray/xembed_probe.h"
#include "gnome_shell/shell_names.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <cstdio>

namespace orbel {

const char* const noTrayMessage =
    "No system tray found: Orbel Lite keeps enforcing breaks. Control it with orbel-lite --status, --pause, "
    "--resume, --override (asks for a reason), --settings or --quit.";

namespace {

QDBusMessage hostQuery() {
    QDBusMessage msg = QDBusMessage::createMethodCall(
        QString::fromLatin1(SniItem::watcherName), QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    msg << QString::fromLatin1(SniItem::watcherName) << QStringLiteral("IsStatusNotifierHostRegistered");
    msg.setAutoStartService(false); // ask the watcher that runs; never have the bus start one
    return msg;
}

bool isTrue(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           qvariant_cast<QDBusVariant>(reply.arguments().at(0)).variant().toBool();
}

} // namespace

Tray::Tray(QMenu& menu, QDBusConnection bus)
    : menu_(menu), bus_(std::move(bus)),
      watcher_(QString::fromLatin1(SniItem::watcherName), bus_, QDBusServiceWatcher::WatchForRegistration),
      shellWatcher_(QString::fromLatin1(shellBusName), bus_, QDBusServiceWatcher::WatchForRegistration),
      item_(std::make_unique<NullItem>()) {
    xembedPoll_.setInterval(2000);
    connect(&xembedPoll_, &QTimer::timeout, this, &Tray::checkXembed);
}

Tray::~Tray() = default;

void Tray::start() {
    if (bus_.isConnected()) {
        connect(&watcher_, &QDBusServiceWatcher::serviceRegistered, this, &Tray::checkWatcher);
        bus_.connect(QString::fromLatin1(SniItem::watcherName), QStringLiteral("/StatusNotifierWatcher"),
                     QString::fromLatin1(SniItem::watcherName), QStringLiteral("StatusNotifierHostRegistered"), this,
                     SLOT(checkWatcher()));
        connect(&shellWatcher_, &QDBusServiceWatcher::serviceRegistered, this, &Tray::checkShell);
    }
    if (sniHostRegistered()) useSni();
    if (kind() == QLatin1String("none")) useShell();
    if (kind() == QLatin1String("none") && xembedTrayPresent()) use(std::make_unique<QtTrayItem>(menu_, look_));
    if (kind() == QLatin1String("none")) {
        std::fprintf(stderr, "orbel-lite: %s\n", noTrayMessage);
        notify(QString::fromUtf8(noTrayMessage));
        xembedPoll_.start(); // nothing tells when an XEmbed tray starts; look now and then
    }
    started_ = true;
}

// Asked once at start, bounded so that a watcher that hangs cannot hold the launch.
bool Tray::sniHostRegistered() {
    return bus_.isConnected() && isTrue(bus_.call(hostQuery(), QDBus::Block, 1000));
}

void Tray::checkWatcher() {
    if (kind() == QLatin1String("StatusNotifierItem")) return; // the item registers again itself
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(hostQuery()), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (isTrue(w->reply()) && kind() != QLatin1String("StatusNotifierItem")) useSni();
    });
}

void Tray::checkXembed() {
    if (kind() != QLatin1String("none")) {
        xembedPoll_.stop();
    } else if (xembedTrayPresent()) {
        use(std::make_unique<QtTrayItem>(menu_, look_));
        xembedPoll_.stop();
    }
}

// The extension came (or came back while another tray serves): taken only where there is none,
// since a StatusNotifierItem host shows more and an indicator in use follows the extension itself.
void Tray::checkShell() {
    if (kind() == QLatin1String("none")) useShell();
}

void Tray::useShell() {
    if (!bus_.isConnected()) return;
    auto indicator = std::make_unique<ShellIndicator>(menu_, bus_);
    if (indicator->ok()) use(std::move(indicator));
}

void Tray::useSni() {
    auto sni = std::make_unique<SniItem>(menu_, bus_);
    if (sni->ok()) use(std::move(sni));
}

void Tray::use(std::unique_ptr<StatusItem> item) {
    item_.reset(); // the old item leaves the bus or the tray before the new one comes
    item_ = std::move(item);
    item_->show(look_);
    item_->menuUpdated();
    if (started_) std::fprintf(stderr, "orbel-lite: tray appeared: %s\n", kind().toUtf8().constData());
}

void Tray::show(const TrayLook& look) {
    look_ = look;
    item_->show(look_);
}

void Tray::menuUpdated() {
    item_->menuUpdated();
}

void Tray::notify(const QString& text) {
    if (item_->showMessage(text) || !bus_.isConnected()) return;
    QDBusMessage msg = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QString icon = QIcon::hasThemeIcon(QString::fromLatin1(appId)) ? QString::fromLatin1(appId) : QString();
    msg << QStringLiteral("Orbel Lite") << 0U << icon << QStringLiteral("Orbel Lite") << text << QStringList()
        << QVariantMap() << -1;
    bus_.send(msg);
}

} // namespace orbel
