#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace orbel {

// The modal dialogs the agent asks the user with. Tests answer them through their own
// implementation; the agent uses QtDialogs.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Asks for one line of text, the field holding `typed` at first. Returns the text as typed
    // (possibly empty) on OK, nothing on Cancel or when the dialog is closed any other way.
    virtual std::optional<QString> prompt(const QString& title, const QString& message, const QString& typed) = 0;

    // Shows a message with a single button and waits until it is dismissed.
    virtual void alert(const QString& message) = 0;

    // Brings the prompt or message that is open to the front, for a further request that would
    // otherwise open another one.
    virtual void raiseOpen() {}
};

// Real dialogs. Each dialog is handed to `raise` before it runs, so that the agent can keep it
// above the break overlay.
class QtDialogs final : public Dialogs {
public:
    explicit QtDialogs(std::function<void(QWidget*)> raise) : raise_(std::move(raise)) {}
    std::optional<QString> prompt(const QString& title, const QString& message, const QString& typed) override;
    void alert(const QString& message) override;
    void raiseOpen() override;

private:
    std::function<void(QWidget*)> raise_;
    QPointer<QDialog> open_;
};

} // namespace orbel
