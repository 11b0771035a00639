// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/ordered_statistics.h"

#include <bit>
#include <cmath>

namespace nimbo::rs {
namespace {

using Vector = std::array<uint64_t, 3>;

bool test(const Vector& v, int row) {
    return (v[static_cast<std::size_t>(row / 64)] >> (row % 64)) & 1u;
}

void set(Vector& v, int row) {
    v[static_cast<std::size_t>(row / 64)] |= uint64_t{1} << (row % 64);
}

void add(Vector& v, const Vector& w) {
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] ^= w[i];
}

bool zero(const Vector& v) {
    return (v[0] | v[1] | v[2]) == 0;
}

int lowestRow(const Vector& v) {
    std::size_t w = 0;
    while (v[w] == 0)
        ++w;
    return static_cast<int>(64 * w) + std::countr_zero(v[w]);
}

// Check row 8 j + t is bit t of syndrome S_j.
Vector pack(std::span<const uint8_t, kParityBytes> s) {
    Vector v{};
    for (int j = 0; j < kParityBytes; ++j)
        for (int t = 0; t < 8; ++t)
            if ((s[static_cast<std::size_t>(j)] >> t) & 1u) set(v, 8 * j + t);
    return v;
}

// The checks a single bit takes part in: the syndromes of a word holding only that bit.
const std::array<Vector, OrderedStatistics::kBits> kColumns = [] {
    std::array<Vector, OrderedStatistics::kBits> columns{};
    std::array<uint8_t, kCodeLength> word{};
    std::array<uint8_t, kParityBytes> s{};
    for (int bit = 0; bit < OrderedStatistics::kBits; ++bit) {
        word[static_cast<std::size_t>(bit / 8)] = static_cast<uint8_t>(1u << (bit % 8));
        syndromes(word, s);
        columns[static_cast<std::size_t>(bit)] = pack(s);
        word[static_cast<std::size_t>(bit / 8)] = 0;
    }
    return columns;
}();

void flip(std::array<uint8_t, kCodeLength>& word, int bit) {
    word[static_cast<std::size_t>(bit / 8)] ^= static_cast<uint8_t>(1u << (bit % 8));
}

} // namespace

void OrderedStatistics::reduce(Vector& v, Vector& used) const {
    for (int i = 0; i < solved_; ++i) {
        if (!test(v, pivotRow_[static_cast<std::size_t>(i)])) continue;
        add(v, basis_[static_cast<std::size_t>(i)]);
        add(used, combination_[static_cast<std::size_t>(i)]);
    }
}

bool OrderedStatistics::solve(const Vector& v, Vector& used) const {
    used = Vector{};
    if (fullRank_) {
        for (std::size_t w = 0; w < v.size(); ++w)
            for (uint64_t bits = v[w]; bits != 0; bits &= bits - 1)
                add(used, rowSolution_[64 * w + static_cast<std::size_t>(std::countr_zero(bits))]);
        return true;
    }
    Vector rest = v;
    reduce(rest, used);
    return zero(rest);
}

void OrderedStatistics::prepare(ConstCodeword codeword, BitReliabilities reliability) {
    std::copy(codeword.begin(), codeword.end(), heard_.begin());
    std::array<uint8_t, kParityBytes> s{};
    syndromes(codeword, s);
    syndrome_ = pack(s);

    unknown_ = 0;
    for (int bit = 0; bit < kBits; ++bit) {
        const float r = reliability[static_cast<std::size_t>(bit)];
        if (std::isinf(r) && r > 0.0f) continue;
        key_[static_cast<std::size_t>(bit)] = std::isnan(r) ? 0.0f : r;
        order_[static_cast<std::size_t>(unknown_++)] = static_cast<int16_t>(bit);
    }
    std::sort(order_.begin(), order_.begin() + unknown_, [&](int16_t a, int16_t b) {
        const float ka = key_[static_cast<std::size_t>(a)], kb = key_[static_cast<std::size_t>(b)];
        return ka < kb || (ka == kb && a < b);
    });

    // The least sure bits whose checks are independent of those taken before them.
    solved_ = 0;
    next_ = 0;
    while (next_ < unknown_ && solved_ < kCheckBits) {
        const int bit = order_[static_cast<std::size_t>(next_++)];
        Vector v = kColumns[static_cast<std::size_t>(bit)];
        Vector used{};
        reduce(v, used);
        if (zero(v)) continue;
        set(used, solved_);
        const auto i = static_cast<std::size_t>(solved_++);
        basis_[i] = v;
        combination_[i] = used;
        pivotRow_[i] = static_cast<int16_t>(lowestRow(v));
        pivotBit_[i] = static_cast<int16_t>(bit);
    }
    // Back-substitution: each solved check then holds its own pivot row alone, which with
    // all rows pivots is that row by itself.
    fullRank_ = solved_ == kCheckBits;
    if (fullRank_) {
        for (int i = solved_ - 1; i >= 0; --i) {
            const auto ii = static_cast<std::size_t>(i);
            for (int j = i + 1; j < solved_; ++j) {
                const auto jj = static_cast<std::size_t>(j);
                if (!test(basis_[ii], pivotRow_[jj])) continue;
                add(basis_[ii], basis_[jj]);
                add(combination_[ii], combination_[jj]);
            }
            rowSolution_[static_cast<std::size_t>(pivotRow_[ii])] = combination_[ii];
        }
    }
    singles_ = std::min(kSingles, unknown_ - next_);
    pairBits_ = std::min(kPairBits, singles_);
}

int OrderedStatistics::candidateCount() const {
    return 1 + singles_ + pairBits_ * (pairBits_ - 1) / 2;
}

bool OrderedStatistics::candidate(int c) {
    work_ = heard_;
    Vector v = syndrome_;
    const auto flipAfter = [&](int i) {
        const int bit = order_[static_cast<std::size_t>(next_ + i)];
        flip(work_, bit);
        add(v, kColumns[static_cast<std::size_t>(bit)]);
    };
    if (c >= 1 && c <= singles_) {
        flipAfter(c - 1);
    } else if (c > singles_) {
        int pair = c - singles_ - 1, first = 0;
        while (pair >= pairBits_ - 1 - first) {
            pair -= pairBits_ - 1 - first;
            ++first;
        }
        flipAfter(first);
        flipAfter(first + 1 + pair);
    }
    Vector used;
    if (!solve(v, used)) return false;
    for (std::size_t w = 0; w < used.size(); ++w)
        for (uint64_t bits = used[w]; bits != 0; bits &= bits - 1)
            flip(work_, pivotBit_[64 * w + static_cast<std::size_t>(std::countr_zero(bits))]);
    return true;
}

} // namespace nimbo::rs
