#pragma once

#include <cstdint>

namespace hg {

// The random generator of the tables' start records. Seeded once; tests put in their own.
class TRandom {
public:
    virtual ~TRandom() = default;
    // Seed from the clock (time of day).
    virtual void Randomize() = 0;
    // A uniformly distributed integer in [0, n) for n >= 1; 0 for n <= 0.
    virtual std::int32_t Random(std::int32_t n) = 0;
};

// The generator the tool itself uses.
TRandom& DefaultRandom();

} // namespace hg
