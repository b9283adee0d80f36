#include "app/tray/sni_item.h"

#include "app/app_id.h"

#include <QCursor>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QPixmap>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>
#include <QtEndian>
#include <unistd.h>

namespace orbel {

QDBusArgument& operator<<(QDBusArgument& arg, const SniPixmap& p) {
    arg.beginStructure();
    arg << p.width << p.height << p.bytes;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, SniPixmap& p) {
    arg.beginStructure();
    arg >> p.width >> p.height >> p.bytes;
    arg.endStructure();
    return arg;
}
QDBusArgument& operator<<(QDBusArgument& arg, const SniToolTip& t) {
    arg.beginStructure();
    arg << t.iconName << t.pixmaps << t.title << t.text;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, SniToolTip& t) {
    arg.beginStructure();
    arg >> t.iconName >> t.pixmaps >> t.title >> t.text;
    arg.endStructure();
    return arg;
}

// Hosts that take the largest picture and scale it down themselves (waybar) mostly show 16
// pixels: the two largest are the 16-pixel picture with each pixel doubled and tripled, which
// scales back to it exactly instead of to a blur.
SniPixmaps sniPixmaps(const TrayState& state) {
    SniPixmaps out;
    const QImage small = trayImage(state, 16);
    for (const int side : {16, 22, 24, 32, 48}) {
        const QImage drawn = side % 16 == 0 ? small.scaled(side, side, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                                            : trayImage(state, side);
        const QImage img = drawn.convertToFormat(QImage::Format_ARGB32);
        SniPixmap p{img.width(), img.height(), QByteArray()};
        p.bytes.resize(static_cast<qsizetype>(img.width()) * img.height() * 4);
        auto* dst = reinterpret_cast<uchar*>(p.bytes.data());
        for (int y = 0; y < img.height(); ++y) {
            const auto* row = reinterpret_cast<const quint32*>(img.constScanLine(y));
            for (int x = 0; x < img.width(); ++x, dst += 4)
                qToBigEndian(row[x], dst);
        }
        out << p;
    }
    return out;
}

QString writeSymbolicIcons() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (base.isEmpty()) return {};
    const QString dir = base + QStringLiteral("/orbel-lite-icons");
    if (!QDir().mkpath(dir)) return {};
    using Kind = TrayState::Kind;
    for (const Kind kind : {Kind::counting, Kind::breakNow, Kind::paused, Kind::override}) {
        QSaveFile f(dir + QLatin1Char('/') + traySymbolicName(kind) + QStringLiteral(".svg"));
        if (!f.open(QIODevice::WriteOnly) || f.write(traySymbolicSvg(kind)) < 0 || !f.commit()) return {};
    }
    return dir;
}

namespace {

// The name of a running process, as the kernel keeps it; empty where it cannot be read.
QString processName(uint pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(comm.readAll()).trimmed();
}

} // namespace

QString labelGuide() {
    const QFontMetrics fm(QGuiApplication::font());
    const QString minutes = QStringLiteral("Orbel 00m");
    const QString paused = QStringLiteral("Orbel paused");
    return fm.horizontalAdvance(minutes) > fm.horizontalAdvance(paused) ? minutes : paused;
}

// org.kde.StatusNotifierItem on the bus, answering from the SniItem it belongs to.
class SniAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(orbel::SniPixmaps IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ none)
    Q_PROPERTY(orbel::SniPixmaps OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ attentionIconName)
    Q_PROPERTY(orbel::SniPixmaps AttentionIconPixmap READ attentionPixmap)
    Q_PROPERTY(QString AttentionMovieName READ none)
    Q_PROPERTY(QString IconThemePath READ iconThemePath)
    Q_PROPERTY(orbel::SniToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
    Q_PROPERTY(QString XAyatanaLabel READ label)
    Q_PROPERTY(QString XAyatanaLabelGuide READ guide)
public:
    explicit SniAdaptor(SniItem* item) : QDBusAbstractAdaptor(item), item_(item) {
        setAutoRelaySignals(false);
        connect(item, &SniItem::newToolTip, this, &SniAdaptor::NewToolTip);
        connect(item, &SniItem::newIcon, this, &SniAdaptor::NewIcon);
        connect(item, &SniItem::newStatus, this, &SniAdaptor::NewStatus);
        connect(item, &SniItem::newIconThemePath, this, &SniAdaptor::NewIconThemePath);
        connect(item, &SniItem::newLabel, this, &SniAdaptor::XAyatanaNewLabel);
    }

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return QString::fromLatin1(appId); }
    QString title() const { return QStringLiteral("Orbel Lite"); }
    QString status() const { return item_->status(); }
    int windowId() const { return 0; }
    QString iconName() const { return item_->iconName(); }
    SniPixmaps iconPixmap() const { return item_->pixmaps(); }
    QString attentionIconName() const { return item_->attentionIconName(); }
    SniPixmaps attentionPixmap() const { return item_->attentionPixmaps(); }
    QString iconThemePath() const { return item_->iconThemePath(); }
    QString none() const { return {}; }
    SniPixmaps noPixmaps() const { return {}; }
    SniToolTip toolTip() const { return item_->toolTip(); }
    bool itemIsMenu() const { return true; }
    QDBusObjectPath menu() const { return QDBusObjectPath(QString::fromLatin1(DBusMenu::path)); }
    QString label() const { return item_->look().title; }
    QString guide() const { return item_->guide(); }

public slots:
    void Activate(int x, int y) { item_->popup(x, y); }
    void SecondaryActivate(int x, int y) { item_->popup(x, y); }
    void ContextMenu(int x, int y) { item_->popup(x, y); }
    void Scroll(int /*delta*/, const QString& /*orientation*/) {}

signals:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);
    void NewIconThemePath(const QString& path);
    void XAyatanaNewLabel(const QString& label, const QString& guide);

private:
    SniItem* item_;
};

SniItem::SniItem(QMenu& menu, QDBusConnection bus)
    : menu_(menu), bus_(bus), dbusMenu_(menu, bus),
      watcher_(QString::fromLatin1(watcherName), bus, QDBusServiceWatcher::WatchForRegistration),
      service_(QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(::getpid())) {
    static const bool registered = [] {
        qDBusRegisterMetaType<SniPixmap>();
        qDBusRegisterMetaType<SniPixmaps>();
        qDBusRegisterMetaType<SniToolTip>();
        qRegisterMetaType<SniPixmaps>("orbel::SniPixmaps"); // the adaptor names the list by its alias
        return true;
    }();
    (void)registered;
    new SniAdaptor(this);
    ok_ = dbusMenu_.exported() &&
          bus_.registerObject(QString::fromLatin1(path), this, QDBusConnection::ExportAdaptors) &&
          bus_.registerService(service_);
    // A panel that restarts, or starts after us, takes the watcher's name anew: tell it again.
    connect(&watcher_, &QDBusServiceWatcher::serviceRegistered, this, &SniItem::registerWithWatcher);
    if (ok_) registerWithWatcher();
}

SniItem::~SniItem() {
    bus_.unregisterService(service_);
    bus_.unregisterObject(QString::fromLatin1(path));
}

void SniItem::registerWithWatcher() {
    QDBusMessage msg =
        QDBusMessage::createMethodCall(QString::fromLatin1(watcherName), QStringLiteral("/StatusNotifierWatcher"),
                                       QString::fromLatin1(watcherName), QStringLiteral("RegisterStatusNotifierItem"));
    msg << service_;
    bus_.asyncCall(msg); // a watcher that does not answer must not hold the agent
    askWhoHosts();
}

// Which program owns the watcher's name decides how the icon is given: asked of the bus without
// waiting, since a tick must never wait on it.
void SniItem::askWhoHosts() {
    QDBusMessage msg = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"));
    msg << QString::fromLatin1(watcherName);
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(msg), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<uint> pid = *w;
        useSymbolic(pid.isValid() && processName(pid.value()) == QLatin1String("gnome-shell"));
    });
}

void SniItem::useSymbolic(bool on) {
    const QString dir = on ? writeSymbolicIcons() : QString();
    if (dir == themePath_) return;
    themePath_ = dir;
    emit newIconThemePath(themePath_);
    emit newIcon();
}

QString SniItem::iconName() const {
    return themePath_.isEmpty() ? QString() : traySymbolicName(look_.icon.kind);
}

QString SniItem::attentionIconName() const {
    return themePath_.isEmpty() ? QString() : traySymbolicName(TrayState::Kind::breakNow);
}

QString SniItem::status() const {
    return look_.icon.kind == TrayState::Kind::breakNow ? QStringLiteral("NeedsAttention") : QStringLiteral("Active");
}

void SniItem::show(const TrayLook& look) {
    if (look == look_) return;
    const bool label = look.title != look_.title;
    const bool tip = look.toolTip != look_.toolTip;
    const bool state = look.icon != look_.icon;
    const QString wasName = iconName();
    const QString wasStatus = status();
    look_ = look;
    bool icon = iconName() != wasName;
    if (SniPixmaps now = state ? sniPixmaps(look_.icon) : pixmaps_; now != pixmaps_) {
        pixmaps_ = std::move(now);
        icon = true;
    }
    if (label) emit newLabel(look_.title, guide_);
    if (tip) emit newToolTip();
    if (icon) emit newIcon();
    if (status() != wasStatus) emit newStatus(status());
}

// The first line is the tooltip's title; hosts read the rest as text that may hold markup.
SniToolTip SniItem::toolTip() const {
    SniToolTip tip;
    tip.title = look_.toolTip.value(0);
    tip.text = look_.toolTip.mid(1).join(QLatin1Char('\n')).toHtmlEscaped();
    return tip;
}

void SniItem::popup(int x, int y) {
    const QPoint at = (x == 0 && y == 0) ? QCursor::pos() : QPoint(x, y);
    QTimer::singleShot(0, this, [this, at] {
        if (!menu_.isVisible()) menu_.popup(at);
    });
}

} // namespace orbel

#include "sni_item.moc"
