#include "cel_TextGen.h"

#include <cstdlib>

namespace cel {

namespace {

// The cheapest loop ">" f×"+" "[<" n×step ">-]<" plus |r| corrections for a difference of
// magnitude D, costed as |r| + n + f + 8. Ties keep the earlier pair: the smaller factor, then
// the lower count. No pair is tried below 4.
struct TLoop {
    int Factor = 0, Count = 0, Remainder = 0;
    int Cost = 2100000000;
};

TLoop CheapestLoop(int D) {
    TLoop best;
    if (D < 4) return best;
    for (int f = 2; f <= D / 2; ++f) {
        for (int n = D / f; n <= D / f + 1; ++n) {
            const int r = D - f * n;
            const int cost = std::abs(r) + n + f + 8;
            if (cost < best.Cost) best = {f, n, r, cost};
        }
    }
    return best;
}

}  // namespace

std::string GenerateCode(std::string_view text) {
    std::string code = "[-]>[-]<\r\n";
    int previous = 0;
    for (const char c : text) {
        const int value = static_cast<unsigned char>(c);
        const int d = value - previous;
        previous = value;
        const int D = std::abs(d);
        const char step = d > 0 ? '+' : '-';
        const TLoop loop = CheapestLoop(D);
        if (loop.Cost < D) {
            code += '>';
            code.append(static_cast<size_t>(loop.Factor), '+');
            code += "[<";
            code.append(static_cast<size_t>(loop.Count), step);
            code += ">-]<";
            if (loop.Remainder > 0) code.append(static_cast<size_t>(loop.Remainder), step);
            else code.append(static_cast<size_t>(-loop.Remainder), step == '+' ? '-' : '+');
        } else {
            code.append(static_cast<size_t>(D), step);
        }
        code += ".\r\n";
    }
    return code;
}

}  // namespace cel
