#pragma once

#include "app/texts.h"
#include "core/config.h"

#include <QWidget>
#include <map>
#include <string>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace orbel {

// The settings window: four number fields, the adaptive switch and Save. It only shows values
// and reports what it holds; App applies them.
class SettingsWindow final : public QWidget {
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
};

// Frames in the window's content, top-left origin, for a 340 x 250 window whose layout is
// given with the origin at the bottom left.
QRect flippedFrame(int x, int y, int w, int h);

} // namespace orbel
