// SPDX-License-Identifier: GPL-3.0-or-later
// The flight summary's counting on frame sequences worked out by hand: gaps, the 16-bit
// counter wrapping, frames out of order, calibration pieces repeated or out of range.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/flight_summary.h"

namespace nimbo {
namespace {

using Type = FlightSummary::Type;

struct Frame {
    Type type;
    const char* serial;
    unsigned number;
    bool whole, repaired;
    int piece;
};

struct Expected {
    const char* serial;
    unsigned first, last;
    long expected, whole, repaired;
    int pieces, total;
};

TEST(FlightSummary, CountsFramesAndPieces) {
    const struct Case {
        const char* name;
        std::vector<Frame> frames;
        std::vector<Expected> sondes;
    } cases[] = {
        {"a gap of two",
         {{Type::Rs92, "P1", 5, true, false, 4},
          {Type::Rs92, "P1", 6, false, false, 5},
          {Type::Rs92, "P1", 9, true, true, 8}},
         {{"P1", 5, 9, 5, 2, 1, 3, 32}}},
        {"the counter wraps",
         {{Type::Rs41, "S1", 65534, true, false, 50},
          {Type::Rs41, "S1", 65535, true, false, 0},
          {Type::Rs41, "S1", 0, true, true, 1},
          {Type::Rs41, "S1", 1, true, false, -1}},
         {{"S1", 65534, 1, 4, 4, 1, 3, 51}}},
        {"an earlier frame after later ones",
         {{Type::Rs92, "P1", 10, true, false, 0},
          {Type::Rs92, "P1", 12, true, false, 2},
          {Type::Rs92, "P1", 8, true, false, 30}},
         {{"P1", 8, 12, 5, 3, 0, 3, 32}}},
        {"pieces repeated or out of range",
         {{Type::Rs92, "P1", 1, true, false, 3},
          {Type::Rs92, "P1", 2, true, false, 3},
          {Type::Rs92, "P1", 3, true, false, 32},
          {Type::Rs41, "S1", 1, true, false, 50},
          {Type::Rs41, "S1", 2, true, false, 51}},
         {{"P1", 1, 3, 3, 3, 0, 1, 32}, {"S1", 1, 2, 2, 2, 0, 1, 51}}},
        {"two sondes interleaved, in the order first heard",
         {{Type::Rs92, "B2", 100, true, false, 0},
          {Type::Rs92, "A1", 7, true, false, 0},
          {Type::Rs92, "B2", 101, false, false, 1}},
         {{"B2", 100, 101, 2, 1, 0, 2, 32}, {"A1", 7, 7, 1, 1, 0, 1, 32}}},
        {"a number past 16 bits is taken modulo 65536",
         {{Type::Rs92, "P1", 65536 + 3, true, false, -1}},
         {{"P1", 3, 3, 1, 1, 0, 0, 32}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FlightSummary summary;
        for (const Frame& f : c.frames)
            summary.add(f.type, f.serial, f.number, f.whole, f.repaired, f.piece);
        ASSERT_EQ(summary.sondes().size(), c.sondes.size());
        for (std::size_t i = 0; i < c.sondes.size(); ++i) {
            const auto& got = summary.sondes()[i];
            const Expected& want = c.sondes[i];
            EXPECT_EQ(got.serial, want.serial);
            EXPECT_EQ(got.firstFrame, want.first);
            EXPECT_EQ(got.lastFrame, want.last);
            EXPECT_EQ(got.expected, want.expected);
            EXPECT_EQ(got.whole, want.whole);
            EXPECT_EQ(got.repaired, want.repaired);
            EXPECT_EQ(got.calPieces, want.pieces);
            EXPECT_EQ(got.calTotal, want.total);
        }
    }
}

std::string written(const FlightSummary& summary, bool json) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    json ? summary.writeJson(out) : summary.writeText(out);
    std::fclose(out);
    std::string result(text, size);
    std::free(text);
    return result;
}

// A serial of raw bytes (the RS92 sends any) keeps its line one line and its JSON valid.
TEST(FlightSummary, SerialsWithOddBytesAreEscaped) {
    FlightSummary summary;
    summary.add(Type::Rs92, "A\"\\\n\x7f", 1, true, false, 0);
    EXPECT_EQ(written(summary, false),
              "nimbo-decode: A\"\\\\x0A\\x7F (RS92): frames 1 to 1, 1 of 1 whole, 0 repaired, "
              "calibration incomplete (1 of 32 pieces)\n");
    const auto json = nlohmann::json::parse(written(summary, true));
    EXPECT_EQ(json["serial"], "A\"\\\n\x7f");
}

} // namespace
} // namespace nimbo
