#pragma once
#include <array>
#include <cstdint>
#include <functional>

namespace orv {

// Score entries 21..25 of ScoreTable.
enum ScoreIndex : int {
    kScoreCpu = 21,
    kScoreRam = 22,
    kScoreHdd = 23,
    kScore2d = 24,
    kScoreSeek = 25,
};

inline constexpr int kScoreTableSize = 26;
inline constexpr int kReferenceTableSize = 22;
inline constexpr std::int32_t kFactor = 5000;

// Reference values: a reference computer measures exactly these and scores 5000 on every test.
inline constexpr std::array<std::int32_t, kReferenceTableSize> kReferenceValues = {
    17363, 14929, 15505, 15741, 12636, 14586, 15772, 13790, 13416, 15319, 15538,
    16801, 3448,  15819, 14628, 12800, 22100, 35800, 943,   724,   218,   5000};

// floor() of an extended value stored as a signed 32-bit integer. Values that do not fit (and NaN)
// give the "integer indefinite" 0x80000000, as the x87 store does with exceptions masked.
std::int32_t FloorToInt32(long double x);

// The score arrays of the main window and the three score functions. All arithmetic is done in
// long double (x87 extended on x86-64) in the order the formulas are written.
class Scoring {
public:
    Scoring();

    std::array<std::int32_t, kScoreTableSize> ScoreTable{};
    std::array<std::int32_t, kReferenceTableSize> ReferenceTable{};
    std::array<std::int32_t, kReferenceTableSize> FactorTable{};
    bool BoostMode = false;

    // How the generator is re-seeded before a BoostMode adjustment; tests replace it.
    std::function<void()> Reseed;

    void ResetScores() { ScoreTable.fill(0); }

    // kind 0: CPU rows, 1: memory, 2: disk write/read, 3: 2D.
    std::int32_t ComputeScore(std::int32_t value, std::int32_t reference, std::int32_t factor,
                              int kind) const;
    std::int32_t ComputeRateScore(std::int32_t rate, std::int32_t factor, std::int32_t reference) const;
    static std::int32_t SeekScore(long double factor, long double reference, long double measured);

    // Category steps; each stores its result and returns it.
    std::int32_t ComputeCpuCategory();
    std::int32_t ComputeRamCategory();
    std::int32_t ComputeHddCategory();
    std::int32_t Compute2dCategory();
    // Not stored in ScoreTable.
    std::int32_t Category3d() const;
    std::int32_t Overall() const;

private:
    std::int32_t SmallRandomScore() const;
};

// BoostMode: true exactly when HKCU "Software\\Brisko" holds the string "Opt" = "1".
// The key is created (empty) when missing.
bool ReadBoostMode();

} // namespace orv
