#include "services.h"

#include <chrono>

TClockRandom::TClockRandom() { Reseed(); }

void TClockRandom::Reseed() {
    engine_.seed(static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
}

uint32_t TClockRandom::Below(uint32_t n) {
    if (n == 0) return 0;
    return std::uniform_int_distribution<uint32_t>(0, n - 1)(engine_);
}
