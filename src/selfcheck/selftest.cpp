#include "selfcheck/selftest.h"

#include "core/machine.h"

#include <cstdio>
#include <string>

namespace orbel {
namespace {

class Checker {
public:
    void ok(bool condition, const char* label) {
        if (condition) return;
        ++failures_;
        std::printf("FAIL %s\n", label);
    }
    int finish() const {
        if (failures_ == 0) {
            std::printf("orbel-lite tests ok\n");
        } else {
            std::printf("orbel-lite FAILED %d\n", failures_);
        }
        std::fflush(stdout);
        return failures_ == 0 ? 0 : 1;
    }

private:
    int failures_ = 0;
};

void checkLengthRule(Checker& c) {
    c.ok(policy(4, 0).work == 60, "dolphin peak is 60 min");
    c.ok(policy(17, 0).work == 30, "late day blocks are short");
    const Lengths l = policy(4, 400);
    c.ok(l.work == 35 && l.brk == 27, "400 min of focus lengthens breaks and shortens blocks");
}

void checkScenario(Checker& c) {
    Machine m{Config{}};
    m.cycle = {50, 5};
    double now = 1000;
    Out o;
    auto run = [&](int n, double idle, bool call = false) {
        for (int i = 0; i < n; ++i) {
            now += 1;
            o = m.tick(now, idle, call, "d");
        }
    };

    run(2940, 0);
    c.ok(o.stage == 0, "49 min active: no blur");
    run(180, 0);
    c.ok(o.stage > 0, "3 min overtime: blur starts");
    run(480, 0);
    c.ok(o.stage == 5 && !o.reason.empty(), "overrun reaches stage 5 with a plain reason");
    run(120, 130);
    c.ok(o.level < 5, "idle past easeAfter eases the blur");

    const double overBefore = m.overSec;
    run(30, 10, true);
    c.ok(o.paused && o.stage == 0 && m.overSec == overBefore, "a call pauses and blurs nothing");
    run(10, 400);
    c.ok(m.overSec == 0 && o.stage == 0, "idle for the full break clears it");
    run(3600, 0);
    c.ok(o.stage > 0, "stage returns after another overrun");

    c.ok(m.grant("short", now).has_value(), "short reason refused");
    m.stageSince = now - 5;
    c.ok(m.grant("client call starts in five minutes", now).has_value(), "cooldown holds right after the card shows");

    now += 25;
    std::string lastLine;
    m.log = [&lastLine](const std::string& line) { lastLine = line; };
    const auto granted = m.grant("client call starts in five minutes", now);
    c.ok(!granted && lastLine.find("client call") != std::string::npos, "override works and is logged");

    o = m.tick(now + 1, 0, false, "d");
    c.ok(o.granted && o.stage == 0, "grant clears the blur");

    now += 1000;
    (void)m.grant("second real reason here ok", now);
    c.ok(m.grant("third real reason here ok", now + 1).has_value(), "daily cap of 2 enforced");
}

} // namespace

int selftest() {
    Checker c;
    checkLengthRule(c);
    checkScenario(c);
    return c.finish();
}

} // namespace orbel
