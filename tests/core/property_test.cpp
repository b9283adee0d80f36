#include "core/machine.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>

namespace orbel {
namespace {

// Random settings: mostly ordinary, often hostile (zero, negative, huge, infinite, NaN).
double pick(std::mt19937_64& rng, double ordinary) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double hostile[] = {0, -1, -1e308, 1e308, inf, -inf, nan, 1e-300, 4.9e-324};
    std::uniform_int_distribution<int> which(0, 3);
    if (which(rng) != 0) return ordinary * std::uniform_real_distribution<double>(0.1, 3)(rng);
    return hostile[std::uniform_int_distribution<std::size_t>(0, std::size(hostile) - 1)(rng)];
}

Config randomConfig(std::mt19937_64& rng, bool hostile) {
    Config c;
    if (!hostile) return c;
    c.adaptive = rng() % 2 == 0;
    c.workMin = pick(rng, 1);
    c.breakMin = pick(rng, 1);
    c.stageEveryMin = pick(rng, 0.5);
    c.holdSec = pick(rng, 60);
    c.easeAfterSec = pick(rng, 60);
    c.easeRate = pick(rng, 2);
    c.grantMin = pick(rng, 1);
    c.maxGrantsPerDay = static_cast<std::int64_t>(rng() % 4) - 1;
    c.reasonMinChars = static_cast<std::int64_t>(rng() % 20) - 2;
    c.cooldownSec = pick(rng, 10);
    c.pausedUntil = rng() % 5 == 0 ? pick(rng, 2e9) : 0;
    c.wakeTs = rng() % 3 == 0 ? pick(rng, 2e9) : 0;
    return c;
}

void expectSane(const Out& o, const std::string& where) {
    ASSERT_FALSE(std::isnan(o.level)) << where;
    ASSERT_GE(o.level, 0) << where;
    ASSERT_LE(o.level, 5) << where;
    ASSERT_GE(o.stage, 0) << where;
    ASSERT_LE(o.stage, 5) << where;
    ASSERT_FALSE(std::isnan(o.minsLeft)) << where;
    ASSERT_GE(o.minsLeft, 0) << where;
    if (o.paused || o.granted) {
        ASSERT_EQ(o.stage, 0) << where;
    }
    ASSERT_EQ(o.reason.empty(), o.stage < 3) << where;
    ASSERT_EQ(o.stage == 0, o.level == 0) << where;
}

void runSequence(std::uint64_t seed, bool hostile) {
    std::mt19937_64 rng(seed);
    Machine m{randomConfig(rng, hostile)};
    m.cycle = m.lengths(1.7e9);
    double now = 1.7e9;
    std::string days[] = {"a", "b"};
    const char* reasons[] = {"", "short", "a reason long enough to pass", "  \u2028padded reason text\u0085 ",
                             "tab\tinside a reason\nand a line"};
    std::uniform_real_distribution<double> step(-2, 8);
    std::uniform_real_distribution<double> idleDist(0, 600);
    for (int i = 0; i < 3000; ++i) {
        const int roll = static_cast<int>(rng() % 100);
        if (roll == 0)
            now = std::numeric_limits<double>::quiet_NaN();
        else if (roll == 1)
            now = 1.7e9 + static_cast<double>(i);
        else
            now += step(rng);
        double idle = idleDist(rng);
        if (roll < 50) idle = 0;
        if (roll == 2) idle = std::numeric_limits<double>::infinity();
        if (roll == 3) idle = -5;
        const bool call = rng() % 25 == 0;
        const Out o = m.tick(now, idle, call, days[(i / 700) % 2]);
        expectSane(o, "seed " + std::to_string(seed) + " tick " + std::to_string(i));
        if (::testing::Test::HasFatalFailure()) return;
        if (rng() % 50 == 0) {
            std::string line;
            m.log = [&line](const std::string& l) { line = l; };
            const auto refusal = m.grant(reasons[rng() % std::size(reasons)], now);
            if (!refusal) {
                std::size_t tabs = 0, breaks = 0;
                for (char ch : line) {
                    tabs += ch == '\t';
                    breaks += ch == '\n' || ch == '\r';
                }
                ASSERT_EQ(tabs, 2u) << line;
                ASSERT_EQ(breaks, 0u) << line;
            } else {
                ASSERT_TRUE(line.empty());
                ASSERT_FALSE(refusal->empty());
            }
        }
    }
}

TEST(Property, OrdinarySettingsKeepTheInvariants) {
    for (std::uint64_t seed = 1; seed <= 200; ++seed) {
        runSequence(seed, false);
        if (HasFatalFailure()) return;
    }
}

TEST(Property, HostileSettingsKeepTheInvariants) {
    for (std::uint64_t seed = 1000; seed < 3000; ++seed) {
        runSequence(seed, true);
        if (HasFatalFailure()) return;
    }
}

} // namespace
} // namespace orbel
