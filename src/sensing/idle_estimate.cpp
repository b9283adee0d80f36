#include "idle_estimate.h"

#include <chrono>

namespace orbel {

double steadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace orbel
