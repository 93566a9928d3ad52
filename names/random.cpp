#include "random.h"

#include <chrono>
#include <random>

namespace hg {

namespace {

class TClockSeededRandom final : public TRandom {
public:
    void Randomize() override
    {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        engine_.seed(static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
    }

    std::int32_t Random(std::int32_t n) override
    {
        if (n <= 0)
            return 0;
        // Rejection sampling keeps the draw uniform for every n.
        const std::uint64_t range = static_cast<std::uint64_t>(n);
        const std::uint64_t limit = engine_.max() - (engine_.max() % range);
        std::uint64_t x;
        do {
            x = engine_();
        } while (x >= limit);
        return static_cast<std::int32_t>(x % range);
    }

private:
    std::mt19937_64 engine_{0};
};

} // namespace

TRandom& DefaultRandom()
{
    static TClockSeededRandom random;
    return random;
}

} // namespace hg
