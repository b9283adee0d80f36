#pragma once

#include "app/icon.h"

#include <QString>
#include <QStringList>

namespace orbel {

// What the tray shows of one tick: the status title, the tooltip's lines with the title first,
// and the state the icon pictures.
struct TrayLook {
    QString title;
    QStringList toolTip;
    TrayState icon;

    bool operator==(const TrayLook&) const = default;
};

// The agent's place in the desktop's tray: the glyph, the title where the host shows text beside
// it, the tooltip and the menu. One backend per tray protocol; App talks to this interface only.
class StatusItem {
public:
    virtual ~StatusItem() = default;

    // The tray protocol, for the start-up line: "StatusNotifierItem", "XEmbed" or "none".
    virtual QString kind() const = 0;

    // Shows one tick's title, tooltip and icon. Sends nothing when they did not change, and of
    // what changed only that.
    virtual void show(const TrayLook& look) = 0;

    // The menu's entries have been brought in line with the latest tick.
    virtual void menuUpdated() {}

    // A short message for the user: a balloon where the tray has one; false where it has none,
    // so the caller can use a desktop notification instead.
    virtual bool showMessage(const QString& /*text*/) { return false; }
};

// No tray at all: nothing to show. The agent goes on enforcing breaks.
class NullItem final : public StatusItem {
public:
    QString kind() const override { return QStringLiteral("none"); }
    void show(const TrayLook&) override {}
};

} // namespace orbel
