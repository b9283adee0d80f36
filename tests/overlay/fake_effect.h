#pragma once

#include "overlay/effect.h"

#include <QWidget>
#include <map>
#include <memory>
#include <vector>

namespace orbel {

// What a fake desktop backend was asked, shared with the test that owns the overlay.
struct FakeDesktop {
    Backdrop backdrop = Backdrop::BlurredCopy;
    int raises = 0;
    std::vector<QWidget*> raised;
    std::vector<QWidget*> kept;
    std::map<QWidget*, bool> blurBehind;
    std::vector<QWidget*> beneath; // windows given a live picture at the last show, none when hidden
    double strength = -1;
    QRegion clear;
    bool surfaces = false; // shows the overlay on surfaces of its own, drawn from the windows
    int presents = 0;
    std::vector<QWidget*> presented;
    std::vector<QWidget*> presentedKept;
    bool presenting = false;
};

// A backend whose backdrop a test chooses and whose requests it records.
class FakeEffect final : public OverlayEffect {
public:
    explicit FakeEffect(std::shared_ptr<FakeDesktop> desktop) : desktop_(std::move(desktop)) {}

    [[nodiscard]] std::string_view name() const override { return "fake"; }
    [[nodiscard]] Backdrop backdrop() override { return desktop_->backdrop; }
    void setBlurBehind(QWidget& window, bool on) override { desktop_->blurBehind[&window] = on; }
    void raise(std::span<QWidget* const> overlays, std::span<QWidget* const> kept) override {
        ++desktop_->raises;
        desktop_->raised.assign(overlays.begin(), overlays.end());
        desktop_->kept.assign(kept.begin(), kept.end());
    }
    void showBeneath(std::span<QWidget* const> overlays, double strength) override {
        desktop_->beneath.assign(overlays.begin(), overlays.end());
        desktop_->strength = strength;
    }
    void hideBeneath() override { desktop_->beneath.clear(); }
    [[nodiscard]] QRegion keepClear() override { return desktop_->clear; }
    [[nodiscard]] bool drawsWindows() const override { return desktop_->surfaces; }
    void present(std::span<QWidget* const> windows, std::span<QWidget* const> kept) override {
        ++desktop_->presents;
        desktop_->presented.assign(windows.begin(), windows.end());
        desktop_->presentedKept.assign(kept.begin(), kept.end());
        desktop_->presenting = true;
    }
    void withdraw() override { desktop_->presenting = false; }
    [[nodiscard]] bool presenting() const override { return desktop_->presenting; }

private:
    std::shared_ptr<FakeDesktop> desktop_;
};

} // namespace orbel
