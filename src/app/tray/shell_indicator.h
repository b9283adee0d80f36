#pragma once

#include "app/tray/status_item.h"

#include <QDBusConnection>
#include <QStringList>
#include <QVariantList>
#include <memory>
#include <optional>

class QMenu;

namespace orbel {

class ShellLink;

// The menu's entries as our GNOME Shell extension's indicator takes them, top to bottom: the
// visible ones, each with its text, the method of the agent's control interface it calls (the
// action's object name; none for the info line) and whether it is enabled, or a separator.
// details: lines to read, shown disabled right after the menu's first entry (its info line).
QVariantList indicatorEntries(const QMenu& menu, const QStringList& details = {});

// The agent's status in GNOME's top bar, drawn by our GNOME Shell extension, where no
// StatusNotifierItem host runs: the glyph, the title and the menu, whose entries call the
// agent's control interface on the connection this item speaks from. It sends only what
// changed, everything again when the extension comes back after a shell restart, and takes
// the indicator away when it is replaced.
class ShellIndicator final : public StatusItem {
public:
    // bus: the connection the agent's control interface is exported on.
    ShellIndicator(QMenu& menu, QDBusConnection bus);
    ~ShellIndicator() override;
    ShellIndicator(const ShellIndicator&) = delete;
    ShellIndicator& operator=(const ShellIndicator&) = delete;

    // The extension is there and takes this agent's calls.
    [[nodiscard]] bool ok() const;

    QString kind() const override { return QStringLiteral("gnome-shell"); }
    void show(const TrayLook& look) override;
    void menuUpdated() override;

private:
    void send();

    QMenu& menu_;
    std::unique_ptr<ShellLink> link_;
    QString title_;
    // The tooltip's lines that neither the title nor the menu says: a shell indicator has no
    // tooltip, so they go into its menu.
    QStringList details_;
    QVariantList entries_;
    // What the extension shows; empty: nothing of ours.
    std::optional<QString> sentTitle_;
    std::optional<QVariantList> sentEntries_;
};

} // namespace orbel
