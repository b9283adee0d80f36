#pragma once

#include "app/texts.h"
#include "core/config.h"

#include <QDialog>
#include <map>
#include <string>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace orbel {

// The settings window: four number fields, the adaptive switch and Save. It only shows values
// and reports what it holds; App applies them. A dialog, so that it keeps the keyboard
// conventions: Enter presses Save (the default button), Escape closes without saving. A field
// whose text Save would ignore shows so while the user types: an error colour and the rule as
// its tooltip.
class SettingsWindow final : public QDialog {
    Q_OBJECT
public:
    explicit SettingsWindow(const Config& cfg);

    // The texts of the fields and the state of the checkbox as they stand.
    SettingsInput input() const;

    std::map<std::string, QLineEdit*> fields;
    QCheckBox* adaptiveBox = nullptr;
    QPushButton* saveButton = nullptr;

signals:
    void saveRequested();

private:
    void markField(QLineEdit* field, const std::string& key);
};

// Frames in the window's content, top-left origin, for a 340 x 250 window whose layout is
// given with the origin at the bottom left.
QRect flippedFrame(int x, int y, int w, int h);

} // namespace orbel
