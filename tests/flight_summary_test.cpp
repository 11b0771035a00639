// SPDX-License-Identifier: GPL-3.0-or-later
// The flight summary's counting on frame sequences worked out by hand: gaps, the 16-bit
// counter wrapping, frames out of order, calibration pieces repeated or out of range.
#include <gtest/gtest.h>

#include <cstdlib>

#include <nlohmann/json.hpp>

#include "tools/flight_summary.h"

namespace nimbo {
namespace {

constexpr auto R92 = FlightSummary::Type::Rs92, R41 = FlightSummary::Type::Rs41;

TEST(FlightSummary, CountsFramesAndPieces) {
    struct Frame {
        FlightSummary::Type type;
        const char* serial;
        unsigned number;
        bool whole, repaired;
        int piece;
    };
    // serial, first, last, expected, whole, repaired, pieces, of pieces
    using Sonde = std::tuple<std::string, unsigned, unsigned, long, long, long, int, int>;
    const struct {
        std::vector<Frame> frames;
        std::vector<Sonde> sondes;
    } cases[] = {
        {{{R92, "P1", 5, true, false, 4},
          {R92, "P1", 6, false, false, 5},
          {R92, "P1", 9, true, true, 8}},
         {{"P1", 5, 9, 5, 2, 1, 3, 32}}},
        {{{R41, "S1", 65534, true, false, 50},
          {R41, "S1", 65535, true, false, 0},
          {R41, "S1", 0, true, true, 1},
          {R41, "S1", 1, true, false, -1}},
         {{"S1", 65534, 1, 4, 4, 1, 3, 51}}},
        {{{R92, "P1", 10, true, false, 0},
          {R92, "P1", 12, true, false, 2},
          {R92, "P1", 8, true, false, 30}},
         {{"P1", 8, 12, 5, 3, 0, 3, 32}}},
        {{{R92, "P1", 1, true, false, 3},
          {R92, "P1", 2, true, false, 3},
          {R92, "P1", 3, true, false, 32},
          {R41, "S1", 1, true, false, 50},
          {R41, "S1", 2, true, false, 51}},
         {{"P1", 1, 3, 3, 3, 0, 1, 32}, {"S1", 1, 2, 2, 2, 0, 1, 51}}},
        {{{R92, "B2", 100, true, false, 0},
          {R92, "A1", 7, true, false, 0},
          {R92, "B2", 101, false, false, 1}},
         {{"B2", 100, 101, 2, 1, 0, 2, 32}, {"A1", 7, 7, 1, 1, 0, 1, 32}}},
    };
    for (const auto& c : cases) {
        FlightSummary summary;
        for (const Frame& f : c.frames)
            summary.add(f.type, f.serial, f.number, f.whole, f.repaired, f.piece);
        std::vector<Sonde> got;
        for (const auto& s : summary.sondes())
            got.emplace_back(s.serial, s.firstFrame, s.lastFrame, s.expected, s.whole, s.repaired,
                             s.calPieces, s.calTotal);
        EXPECT_EQ(got, c.sondes) << c.frames.size() << " frames from " << c.frames[0].number;
    }
}

// A serial of raw bytes (the RS92 sends any) keeps its line one line and its JSON valid.
TEST(FlightSummary, SerialsWithOddBytesAreEscaped) {
    FlightSummary summary;
    summary.add(R92, "A\"\\\n\x7f", 1, true, false, 0);
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    summary.writeText(out);
    summary.writeJson(out);
    std::fclose(out);
    const std::string written(text, size);
    std::free(text);
    const std::string line = "nimbo-decode: A\"\\\\x0A\\x7F (RS92): frames 1 to 1, 1 of 1 whole, "
                             "0 repaired, calibration incomplete (1 of 32 pieces)\n";
    ASSERT_EQ(written.substr(0, line.size()), line);
    EXPECT_EQ(nlohmann::json::parse(written.substr(line.size()))["serial"], "A\"\\\n\x7f");
}

} // namespace
} // namespace nimbo
