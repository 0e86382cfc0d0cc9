#include "core/Scoring.h"

#include "core/Random.h"
#include "platform/Registry.h"

#include <cmath>

namespace orv {

std::int32_t FloorToInt32(long double x) {
    const long double f = std::floor(x);
    if (!(f >= -2147483648.0L && f <= 2147483647.0L))
        return INT32_MIN;
    return static_cast<std::int32_t>(f);
}

Scoring::Scoring() : Reseed([] { ProcessRandom::Reseed(); }) {
    ReferenceTable = kReferenceValues;
    FactorTable.fill(kFactor);
}

std::int32_t Scoring::SmallRandomScore() const {
    return BoostMode ? ProcessRandom::Range(5, 15) : ProcessRandom::Range(1, 5);
}

std::int32_t Scoring::ComputeScore(std::int32_t value, std::int32_t reference, std::int32_t factor,
                                   int kind) const {
    if (BoostMode && kind >= 0 && kind <= 3) {
        static constexpr int kLow[4] = {5, 3, 5, 7};
        Reseed();
        const std::int32_t r = ProcessRandom::Range(kLow[kind], kLow[kind] + 2);
        const long double p = static_cast<long double>(r) * 0.01L;
        const std::int32_t d = FloorToInt32(static_cast<long double>(value) * p);
        // 32-bit wrap-around subtraction, as the original integer arithmetic.
        value = static_cast<std::int32_t>(static_cast<std::uint32_t>(value) - static_cast<std::uint32_t>(d));
    }
    std::int32_t score = 0;
    if (value != 0)
        score = FloorToInt32(static_cast<long double>(reference) / static_cast<long double>(value) *
                             static_cast<long double>(factor));
    if (score != 0)
        return score;
    return SmallRandomScore();
}

std::int32_t Scoring::ComputeRateScore(std::int32_t rate, std::int32_t factor, std::int32_t reference) const {
    if (BoostMode) {
        Reseed();
        const std::int32_t r = ProcessRandom::Range(7, 9);
        const std::int32_t add =
            FloorToInt32(static_cast<long double>(rate) * (static_cast<long double>(r) * 0.01L));
        rate = static_cast<std::int32_t>(static_cast<std::uint32_t>(rate) + static_cast<std::uint32_t>(add));
    }
    const std::int32_t score =
        FloorToInt32(static_cast<long double>(rate) / static_cast<long double>(reference) *
                     static_cast<long double>(factor));
    if (score > 0)
        return score;
    return SmallRandomScore();
}

std::int32_t Scoring::SeekScore(long double factor, long double reference, long double measured) {
    if (!(measured > 0.0L))
        return 0;
    long double m = measured;
    if (m < 50.0L)
        m = 50.0L;
    if (m >= reference)
        return FloorToInt32(reference / m * factor);
    return FloorToInt32((reference / m / 67.89L + 1.0L) * factor);
}

std::int32_t Scoring::ComputeCpuCategory() {
    std::int32_t sum = 0;
    for (int i = 0; i <= 11; ++i)
        sum += ScoreTable[static_cast<std::size_t>(i)];
    ScoreTable[kScoreCpu] = sum / 12;
    return ScoreTable[kScoreCpu];
}

std::int32_t Scoring::ComputeRamCategory() {
    ScoreTable[kScoreRam] = ScoreTable[12];
    return ScoreTable[kScoreRam];
}

std::int32_t Scoring::ComputeHddCategory() {
    ScoreTable[kScoreHdd] = (2 * ScoreTable[14] + 2 * ScoreTable[15] + ScoreTable[kScoreSeek]) / 5;
    return ScoreTable[kScoreHdd];
}

std::int32_t Scoring::Compute2dCategory() {
    ScoreTable[kScore2d] = (ScoreTable[16] + ScoreTable[17]) / 2;
    return ScoreTable[kScore2d];
}

std::int32_t Scoring::Category3d() const {
    return (ScoreTable[18] + ScoreTable[19] + ScoreTable[20]) / 3;
}

std::int32_t Scoring::Overall() const {
    return (ScoreTable[kScoreCpu] + ScoreTable[kScoreRam] + ScoreTable[kScoreHdd] + ScoreTable[kScore2d] +
            Category3d()) /
           5;
}

bool ReadBoostMode() {
    RegistryKey key(QStringLiteral("Software\\Brisko"), true);
    return key.ReadString(QStringLiteral("Opt")) == QLatin1String("1");
}

} // namespace orv
