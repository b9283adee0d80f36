#include "app/status_menu.h"

#include "app/texts.h"

#include <QAction>
#include <QKeySequence>

namespace orbel {

StatusMenu::StatusMenu() {
    info = menu.addAction(QString::fromStdString(infoLine(Out{})));
    info->setEnabled(false); // a line to read, not a command
    menu.addSeparator();
    pause = menu.addAction(QStringLiteral("Pause 1 hour"));
    resume = menu.addAction(QStringLiteral("Resume"));
    resume->setVisible(false);
    override = menu.addAction(QStringLiteral("Override with a reason\u2026"));
    settings = menu.addAction(QStringLiteral("Settings\u2026"));
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    history = menu.addAction(QStringLiteral("History\u2026"));
    menu.addSeparator();
    quit = menu.addAction(QStringLiteral("Quit Orbel Lite"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    // Each command's entry is named after the method of the agent's control interface that runs
    // it, for trays that call that interface rather than the actions.
    pause->setObjectName(QStringLiteral("Pause"));
    resume->setObjectName(QStringLiteral("Resume"));
    override->setObjectName(QStringLiteral("Override"));
    settings->setObjectName(QStringLiteral("Settings"));
    history->setObjectName(QStringLiteral("History"));
    quit->setObjectName(QStringLiteral("Quit"));
}

void StatusMenu::update(const Out& out) {
    const QString text = QString::fromStdString(infoLine(out));
    if (info->text() != text) info->setText(text);
    if (resume->isVisible() != out.paused) resume->setVisible(out.paused);
}

} // namespace orbel
