#include "app/dialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace orbel {
namespace {

// The prompt: bold title, the message below it, a 320 x 24 text field, then OK (the default
// button) and Cancel.
class PromptDialog final : public QDialog {
public:
    PromptDialog(const QString& title, const QString& message) {
        setWindowTitle(title);
        setWindowFlag(Qt::WindowStaysOnTopHint);
        auto* layout = new QVBoxLayout(this);
        auto* heading = new QLabel(title, this);
        QFont bold = heading->font();
        bold.setBold(true);
        heading->setFont(bold);
        auto* text = new QLabel(message, this);
        text->setWordWrap(true);
        field = new QLineEdit(this);
        field->setObjectName(QStringLiteral("reason"));
        field->setFixedSize(320, 24);
        auto* buttons = new QDialogButtonBox(this);
        QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
        buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
        ok->setDefault(true);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        layout->addWidget(heading);
        layout->addWidget(text);
        layout->addWidget(field);
        layout->addWidget(buttons);
    }

    QLineEdit* field = nullptr;
};

// The agent has no window of its own in front, so a window manager that prevents focus stealing
// may map a new dialog behind the user's window or leave it unfocused, and the typing would go
// elsewhere. Ask for the keyboard as the dialog is shown, and once more after the window
// manager has mapped it.
void takeFocus(QDialog& dialog, QWidget* focus) {
    const auto request = [&dialog, focus] {
        dialog.raise();
        dialog.activateWindow();
        if (focus) focus->setFocus(Qt::ActiveWindowFocusReason);
    };
    dialog.show();
    request();
    QTimer::singleShot(0, &dialog, request);
    QTimer::singleShot(200, &dialog, request);
}

} // namespace

std::optional<QString> QtDialogs::prompt(const QString& title, const QString& message, const QString& typed) {
    PromptDialog dialog(title, message);
    dialog.field->setText(typed);
    open_ = &dialog;
    if (raise_) raise_(&dialog);
    takeFocus(dialog, dialog.field);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.field->text();
}

void QtDialogs::alert(const QString& message) {
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Orbel Lite"));
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.setText(message);
    box.setStandardButtons(QMessageBox::Ok);
    open_ = &box;
    if (raise_) raise_(&box);
    takeFocus(box, box.button(QMessageBox::Ok));
    box.exec();
}

void QtDialogs::raiseOpen() {
    if (!open_) return;
    if (raise_) raise_(open_);
    open_->raise();
    open_->activateWindow();
}

} // namespace orbel
