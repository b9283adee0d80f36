#include "app/settings_window.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace orbel {
namespace {

constexpr int windowWidth = 340;
constexpr int windowHeight = 250;

} // namespace

QRect flippedFrame(int x, int y, int w, int h) {
    return {x, windowHeight - y - h, w, h};
}

SettingsWindow::SettingsWindow(const Config& cfg) : QDialog(nullptr) {
    setWindowTitle(QStringLiteral("Orbel Lite settings"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setFixedSize(windowWidth, windowHeight);

    const struct {
        const char* label;
        const char* key;
        double value;
    } rows[] = {
        {"Block (min)", "workMin", cfg.workMin},
        {"Break (min)", "breakMin", cfg.breakMin},
        {"Minutes per blur stage", "stageEveryMin", cfg.stageEveryMin},
        {"Overrides per day", "maxGrantsPerDay", static_cast<double>(cfg.maxGrantsPerDay)},
    };
    int y = 200;
    for (const auto& row : rows) {
        auto* label = new QLabel(QString::fromUtf8(row.label), this);
        label->setGeometry(flippedFrame(16, y, 180, 22));
        auto* field = new QLineEdit(QString::fromStdString(fieldText(row.value)), this);
        field->setObjectName(QString::fromUtf8(row.key));
        field->setGeometry(flippedFrame(210, y, 110, 22));
        fields[row.key] = field;
        connect(field, &QLineEdit::textChanged, this,
                [this, field, key = std::string(row.key)] { markField(field, key); });
        y -= 34;
    }
    // Save changes the settings, not the block in progress (its lengths stay until the next one).
    auto* note = new QLabel(QStringLiteral("New lengths apply from the next block."), this);
    note->setObjectName(QStringLiteral("note"));
    note->setGeometry(flippedFrame(16, 226, 310, 18));
    adaptiveBox = new QCheckBox(QStringLiteral("Adaptive lengths (from your wake time)"), this);
    adaptiveBox->setChecked(cfg.adaptive);
    adaptiveBox->setGeometry(flippedFrame(16, 56, 310, 22));
    saveButton = new QPushButton(QStringLiteral("Save"), this);
    saveButton->setGeometry(flippedFrame(240, 12, 80, 30));
    saveButton->setDefault(true);
    connect(saveButton, &QPushButton::clicked, this, &SettingsWindow::saveRequested);
}

void SettingsWindow::markField(QLineEdit* field, const std::string& key) {
    field->setPalette(QPalette()); // back to the theme's own colours
    if (acceptedSetting(key, field->text().toStdString())) {
        field->setToolTip(QString());
        return;
    }
    // The theme's background tinted toward red: readable in light and dark themes alike.
    QPalette marked = field->palette();
    const QColor base = marked.color(QPalette::Base);
    const QColor error(218, 68, 83);
    marked.setColor(QPalette::Base, QColor::fromRgbF(base.redF() * 0.6f + error.redF() * 0.4f,
                                                     base.greenF() * 0.6f + error.greenF() * 0.4f,
                                                     base.blueF() * 0.6f + error.blueF() * 0.4f));
    field->setPalette(marked);
    field->setToolTip(QString::fromStdString(settingRule(key)));
}

SettingsInput SettingsWindow::input() const {
    auto text = [this](const char* key) { return fields.at(key)->text().toStdString(); };
    return {text("workMin"), text("breakMin"), text("stageEveryMin"), text("maxGrantsPerDay"),
            adaptiveBox->isChecked()};
}

} // namespace orbel
