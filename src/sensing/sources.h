#pragma once

#include <string>
#include <vector>

namespace orbel {

// What makes a call: nothing, the microphone in use (name: the recording application, where
// known), or a call application in front (name: its identifier).
struct CallCause {
    enum class Kind { none, microphone, frontApp };
    Kind kind = Kind::none;
    std::string name;

    bool operator==(const CallCause&) const = default;
};

// One interface per thing the tick asks the platform. Each real backend lives in the folder of
// its platform service; the factory picks one of each at start.

// Seconds since the last keyboard or mouse input of any kind.
class IdleSource {
public:
    virtual ~IdleSource() = default;
    virtual double idleSeconds() = 0;
    // False while the source has seen no input since it began, so that idleSeconds() is only
    // the time it has watched without any (see tickIdle()).
    virtual bool idleKnown() { return true; }
};

// Whether some application records from a microphone.
class MicSource {
public:
    virtual ~MicSource() = default;
    virtual bool inUse() = 0;
    // The application recording when inUse() last answered yes, where the platform tells;
    // empty otherwise.
    virtual std::string recorder() { return {}; }
};

// The identifiers of the application in front: a bundle identifier on macOS, the WM_CLASS
// instance and class on X11. Empty when nothing is in front or the platform cannot tell.
class FrontSource {
public:
    virtual ~FrontSource() = default;
    virtual std::vector<std::string> frontIds() = 0;
};

// The harmless answers, used where no platform service answers. Idle time reads 0: every
// second then counts as work, so breaks still come (see Sensors::idleMessage()).
class NullIdle final : public IdleSource {
public:
    double idleSeconds() override { return 0; }
};

class NullMic final : public MicSource {
public:
    bool inUse() override { return false; }
};

class NullFront final : public FrontSource {
public:
    std::vector<std::string> frontIds() override { return {}; }
};

} // namespace orbel
