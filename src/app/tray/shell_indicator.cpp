#include "app/tray/shell_indicator.h"

#include "gnome_shell/shell_link.h"
#include "shell_proxy.h"

#include <QAction>
#include <QDBusMetaType>
#include <QMenu>

namespace orbel {

QVariantList indicatorEntries(const QMenu& menu, const QStringList& details) {
    QVariantList entries;
    for (const QAction* action : menu.actions()) {
        if (!action->isVisible()) continue;
        if (action->isSeparator()) {
            entries << QVariantMap{{QStringLiteral("separator"), true}};
        } else {
            entries << QVariantMap{{QStringLiteral("label"), action->text()},
                                   {QStringLiteral("command"), action->objectName()},
                                   {QStringLiteral("enabled"), action->isEnabled()}};
        }
        if (entries.size() == 1) {
            for (const QString& line : details)
                entries << QVariantMap{{QStringLiteral("label"), line},
                                       {QStringLiteral("command"), QString()},
                                       {QStringLiteral("enabled"), false}};
        }
    }
    return entries;
}

ShellIndicator::ShellIndicator(QMenu& menu, QDBusConnection bus)
    : menu_(menu), link_(std::make_unique<ShellLink>(std::move(bus))) {
    qDBusRegisterMetaType<QList<QVariantMap>>(); // the menu goes as aa{sv}
    QObject::connect(link_.get(), &ShellLink::ready, link_.get(), [this] {
        sentTitle_.reset();
        sentEntries_.reset();
        send();
    });
    QObject::connect(link_.get(), &ShellLink::lost, link_.get(), [this] {
        sentTitle_.reset();
        sentEntries_.reset();
    });
}

ShellIndicator::~ShellIndicator() {
    if (link_->usable() && (sentTitle_ || sentEntries_)) link_->proxy()->HideIndicator();
}

bool ShellIndicator::ok() const {
    return link_->usable();
}

void ShellIndicator::show(const TrayLook& look) {
    title_ = look.title;
    // The tooltip's first two lines are the title and the menu's info line, shown already.
    const QStringList details = look.toolTip.mid(2);
    if (details != details_) {
        details_ = details;
        entries_ = indicatorEntries(menu_, details_);
    }
    send();
}

void ShellIndicator::menuUpdated() {
    entries_ = indicatorEntries(menu_, details_);
    send();
}

void ShellIndicator::send() {
    if (!link_->usable()) return;
    QVariantMap changes;
    if (sentTitle_ != title_) changes.insert(QStringLiteral("title"), title_);
    if (sentEntries_ != entries_) {
        QList<QVariantMap> menu;
        for (const QVariant& e : entries_)
            menu << e.toMap();
        changes.insert(QStringLiteral("menu"), QVariant::fromValue(menu));
    }
    if (changes.isEmpty()) return;
    link_->proxy()->ShowIndicator(changes);
    sentTitle_ = title_;
    sentEntries_ = entries_;
}

} // namespace orbel
