#pragma once

#include "app/tray/status_item.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QTimer>
#include <memory>

class QMenu;

namespace orbel {

// The sentence said once when the desktop has no tray; it names the command-line control.
extern const char* const noTrayMessage;

// Chooses the tray at start and again when a better one appears: our StatusNotifierItem where a
// StatusNotifierWatcher has a host registered, else the indicator of our GNOME Shell extension
// where it runs, else Qt's XEmbed icon where an XEmbed tray manager runs, else none (said once
// on stderr and as a desktop notification). A watcher, the extension or an XEmbed tray that
// appears later is taken when it appears.
class Tray final : public QObject {
    Q_OBJECT
public:
    Tray(QMenu& menu, QDBusConnection bus);
    ~Tray() override;

    // Picks the tray that is there now and starts watching for one to appear.
    void start();

    StatusItem& item() { return *item_; }
    QString kind() const { return item_->kind(); }

    // Passed on to the item in use; a new item starts with the latest of both.
    void show(const TrayLook& look);
    void menuUpdated();

    // A message for the user: a balloon where the tray has one, else a desktop notification
    // (org.freedesktop.Notifications), sent without waiting for an answer.
    void notify(const QString& text);

private slots:
    void checkWatcher();
    void checkShell();

private:
    bool sniHostRegistered();
    void use(std::unique_ptr<StatusItem> item);
    void useSni();
    void useShell();
    void checkXembed();

    QMenu& menu_;
    QDBusConnection bus_;
    QDBusServiceWatcher watcher_;
    QDBusServiceWatcher shellWatcher_;
    QTimer xembedPoll_;
    std::unique_ptr<StatusItem> item_;
    TrayLook look_;
    bool started_ = false;
};

} // namespace orbel
