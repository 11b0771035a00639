// SPDX-License-Identifier: GPL-3.0-or-later
// Reed-Solomon (255, 231) over GF(2^8), shortened to any length (the RS92's 234): table
// arithmetic built at compile time, a systematic LFSR encoder, and Berlekamp-Massey / Chien /
// Forney decoding on fixed-size arrays.
#include "decode/reed_solomon.h"

#include <algorithm>
#include <cstring>

namespace nimbo::rs {

namespace {

constexpr int kFieldPoly = 0x11D;
constexpr int kOrder = 255;             // multiplicative group
constexpr int kPoly = kParityBytes + 2; // room for a locator of degree 24 and one shift

struct Tables {
    std::array<uint8_t, 2 * kOrder> exp{}; // doubled so exp[log a + log b] needs no modulo
    std::array<int, 256> log{};
};

constexpr Tables makeTables() {
    Tables t;
    int x = 1;
    for (int i = 0; i < kOrder; ++i) {
        t.exp[i] = t.exp[i + kOrder] = static_cast<uint8_t>(x);
        t.log[x] = i;
        x <<= 1;
        if (x & 0x100) x ^= kFieldPoly;
    }
    t.log[0] = -1; // never used: callers test for zero
    return t;
}

constexpr Tables kGf = makeTables();

constexpr uint8_t mul(uint8_t a, uint8_t b) {
    if (a == 0 || b == 0) return 0;
    return kGf.exp[kGf.log[a] + kGf.log[b]];
}
constexpr uint8_t inv(uint8_t a) {
    return kGf.exp[kOrder - kGf.log[a]];
}
constexpr uint8_t alphaPow(int i) {
    return kGf.exp[((i % kOrder) + kOrder) % kOrder];
}

// g(x) = (x - alpha^0)(x - alpha^1)...(x - alpha^23), g[24] = 1.
constexpr std::array<uint8_t, kParityBytes + 1> makeGenerator() {
    std::array<uint8_t, kParityBytes + 1> g{};
    g[0] = 1;
    for (int r = 0; r < kParityBytes; ++r) {
        const uint8_t root = alphaPow(r);
        for (int k = r + 1; k > 0; --k)
            g[k] = static_cast<uint8_t>(g[k - 1] ^ mul(g[k], root));
        g[0] = mul(g[0], root);
    }
    return g;
}

constexpr std::array<uint8_t, kParityBytes + 1> kGenerator = makeGenerator();
static_assert(kGenerator[kParityBytes] == 1);

// Horner evaluation of c(x) = c[0] + c[1] x + ... + c[n-1] x^(n-1).
uint8_t evaluate(const uint8_t* c, int n, uint8_t x) { // n: up to kMaxCodeLength
    uint8_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = static_cast<uint8_t>(mul(v, x) ^ c[i]);
    return v;
}

bool validLength(std::size_t n) {
    return n > static_cast<std::size_t>(kParityBytes) &&
           n <= static_cast<std::size_t>(kMaxCodeLength);
}

// S_j = c(alpha^j) = sum over i of c_i alpha^(i j), j = 0..23, for a codeword of n bytes;
// returns true when all are zero. Summed a byte at a time in the log domain: each term is one
// table look-up, and zero bytes (most of a clean frame's padding) cost nothing.
bool syndromes(const uint8_t* c, int n, std::span<uint8_t, kParityBytes> s) {
    std::fill(s.begin(), s.end(), 0);
    for (int i = 0; i < n; ++i) {
        if (c[i] == 0) continue;
        int e = kGf.log[c[i]]; // log of c_i alpha^(i j), from j = 0 on
        for (int j = 0; j < kParityBytes; ++j) {
            s[j] ^= kGf.exp[e];
            e += i; // i < 255, e < 255 before: below the doubled table's 510
            if (e >= kOrder) e -= kOrder;
        }
    }
    uint8_t any = 0;
    for (const uint8_t v : s)
        any |= v;
    return any == 0;
}

} // namespace

void encode(std::span<const uint8_t, kDataBytes> data, std::span<uint8_t, kParityBytes> parity) {
    encodeShortened(data, parity);
}

bool encodeShortened(std::span<const uint8_t> data, std::span<uint8_t, kParityBytes> parity) {
    if (data.empty() || !validLength(data.size() + kParityBytes)) return false;
    // Remainder of x^24 d(x) by g(x), highest data power first.
    std::array<uint8_t, kParityBytes> r{};
    for (int j = static_cast<int>(data.size()) - 1; j >= 0; --j) {
        const uint8_t feedback = static_cast<uint8_t>(data[j] ^ r[kParityBytes - 1]);
        for (int k = kParityBytes - 1; k > 0; --k)
            r[k] = static_cast<uint8_t>(r[k - 1] ^ mul(feedback, kGenerator[k]));
        r[0] = mul(feedback, kGenerator[0]);
    }
    std::copy(r.begin(), r.end(), parity.begin());
    return true;
}

bool isCodeword(ConstCodeword codeword) {
    return isShortenedCodeword(codeword);
}

bool syndromes(ConstCodeword codeword, std::span<uint8_t, kParityBytes> s) {
    return syndromes(codeword.data(), kCodeLength, s);
}

bool isShortenedCodeword(std::span<const uint8_t> codeword) {
    if (!validLength(codeword.size())) return false;
    std::array<uint8_t, kParityBytes> s;
    return syndromes(codeword.data(), static_cast<int>(codeword.size()), s);
}

int decode(Codeword codeword, std::span<const int> erasures) {
    return decodeShortened(codeword, erasures);
}

int decodeShortened(std::span<uint8_t> codeword, std::span<const int> erasures) {
    if (!validLength(codeword.size())) return kFailed;
    const int n = static_cast<int>(codeword.size());
    std::array<uint8_t, kParityBytes> s;
    const bool clean = syndromes(codeword.data(), n, s);

    // Erasure locator Gamma(x) = prod (1 - X_k x), X_k = alpha^position.
    bool erased[kMaxCodeLength] = {};
    uint8_t lambda[kPoly] = {1};
    int f = 0;
    for (const int position : erasures) {
        if (position < 0 || position >= n) return kFailed;
        if (erased[position]) continue;
        erased[position] = true;
        if (++f > kParityBytes) return kFailed;
        const uint8_t x = alphaPow(position);
        for (int k = f; k > 0; --k)
            lambda[k] = static_cast<uint8_t>(lambda[k] ^ mul(lambda[k - 1], x));
    }
    if (clean) return 0;

    // Berlekamp-Massey, started from the erasure locator.
    uint8_t b[kPoly];
    std::memcpy(b, lambda, sizeof b);
    int L = f;
    for (int r = f; r < kParityBytes; ++r) {
        uint8_t delta = 0;
        for (int i = 0; i <= std::min(r, kPoly - 1); ++i)
            delta ^= mul(lambda[i], s[r - i]);
        // x B(x)
        for (int k = kPoly - 1; k > 0; --k)
            b[k] = b[k - 1];
        b[0] = 0;
        if (delta == 0) continue;
        uint8_t t[kPoly];
        for (int k = 0; k < kPoly; ++k)
            t[k] = static_cast<uint8_t>(lambda[k] ^ mul(delta, b[k]));
        if (2 * L <= r + f) {
            const uint8_t scale = inv(delta);
            for (int k = 0; k < kPoly; ++k)
                b[k] = mul(lambda[k], scale);
            L = r + 1 + f - L;
        }
        std::memcpy(lambda, t, sizeof t);
    }
    int degree = kPoly - 1;
    while (degree > 0 && lambda[degree] == 0)
        --degree;
    if (degree != L || 2 * (L - f) + f > kParityBytes) return kFailed;

    // Chien search over the positions the shortened code uses; every root must be one.
    // Lambda(alpha^-i) = sum of lambda_k alpha^(-i k), each term kept as a log that steps by
    // -k (mod 255) from one position to the next.
    int positions[kParityBytes];
    int found = 0;
    int terms = 0;
    int logs[kPoly], steps[kPoly];
    for (int k = 1; k <= degree; ++k) {
        if (lambda[k] == 0) continue;
        logs[terms] = kGf.log[lambda[k]];
        steps[terms++] = kOrder - k;
    }
    for (int i = 0; i < n; ++i) {
        uint8_t v = lambda[0];
        for (int t = 0; t < terms; ++t) {
            v ^= kGf.exp[logs[t]];
            logs[t] += steps[t];
            if (logs[t] >= kOrder) logs[t] -= kOrder;
        }
        if (v != 0) continue;
        if (found == degree) return kFailed;
        positions[found++] = i;
    }
    if (found != degree) return kFailed;

    // Forney: Omega(x) = S(x) Lambda(x) mod x^24; e_k = X_k Omega(X_k^-1) / Lambda'(X_k^-1).
    uint8_t omega[kParityBytes] = {};
    for (int i = 0; i < kParityBytes; ++i)
        for (int k = 0; k <= std::min(i, degree); ++k)
            omega[i] ^= mul(lambda[k], s[i - k]);
    uint8_t values[kParityBytes];
    for (int k = 0; k < found; ++k) {
        const uint8_t xInv = alphaPow(-positions[k]);
        uint8_t derivative = 0; // only odd powers survive in characteristic 2
        for (int i = 1; i <= degree; i += 2)
            derivative ^= mul(lambda[i], alphaPow(-positions[k] * (i - 1)));
        if (derivative == 0) return kFailed;
        values[k] =
            mul(mul(alphaPow(positions[k]), evaluate(omega, kParityBytes, xInv)), inv(derivative));
    }

    int changed = 0;
    for (int k = 0; k < found; ++k) {
        codeword[positions[k]] ^= values[k];
        changed += values[k] != 0;
    }
    if (!syndromes(codeword.data(), n, s)) { // not reached for a consistent locator; never trust
        for (int k = 0; k < found; ++k)
            codeword[positions[k]] ^= values[k];
        return kFailed;
    }
    return changed;
}

void codewordFromSent(sent::SentBytes frame, Codeword codeword) {
    const auto parity = frame.subspan<kSentParity, kParityBytes>();
    const auto data = frame.subspan<kSyncBytes, kDataBytes>();
    std::copy(parity.begin(), parity.end(), codeword.begin());
    std::copy(data.begin(), data.end(), codeword.begin() + kParityBytes);
}

void sentFromCodeword(ConstCodeword codeword, std::span<uint8_t, kSentFrameBytes> frame) {
    const auto parity = codeword.first<kParityBytes>();
    const auto data = codeword.subspan<kParityBytes>();
    std::copy(kSync.begin(), kSync.end(), frame.begin());
    std::copy(data.begin(), data.end(), frame.begin() + kSyncBytes);
    std::copy(parity.begin(), parity.end(), frame.begin() + kSentParity);
}

int codewordPosition(int sentByte) {
    if (sentByte < kSyncBytes || sentByte >= kSentFrameBytes) return -1;
    if (sentByte >= kSentParity) return sentByte - kSentParity;
    return sentByte - kSyncBytes + kParityBytes;
}

void sentFromContent(ConstContent frame, ConstContent next,
                     std::span<uint8_t, kSentFrameBytes> sentFrame) {
    const auto start = frame.subspan<kContentSentStart>();
    const auto parity = next.first<kParityBytes>();
    std::copy(start.begin(), start.end(), sentFrame.begin());
    std::copy(headerPatternBytes.begin(), headerPatternBytes.end(),
              sentFrame.begin() + kSentHeaderTail);
    std::copy(parity.begin(), parity.end(), sentFrame.begin() + kSentParity);
}

void contentFromSent(sent::SentBytes sentFrame, Content frame, Content next) {
    const auto start = sentFrame.first<kContentSentBytes>();
    const auto parity = sentFrame.subspan<kSentParity, kParityBytes>();
    std::copy(start.begin(), start.end(), frame.begin() + kContentSentStart);
    std::copy(parity.begin(), parity.end(), next.begin());
}

} // namespace nimbo::rs
