// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <cstdint>
#include <optional>

// The rate a stretch is encoded again at: close to the source's pictures at no more than a few times their
// bytes. Where a rate misses, the next is moved by the miss (six steps of rate halve the bytes), and kept
// between the rates known to give too many bytes and those known to give too little likeness; five tries at
// most. Plain arithmetic: the caller encodes at each rate it is given, and tells what came out.
namespace quorvane::splitter {

class RateSearch {
public:
    // Starting at `start` (the rate that served the stretch before), for a stretch of `sourceBytes` in the source.
    RateSearch(double start, std::int64_t sourceBytes);
    // The rate to encode at next, or none: the best tried serves.
    std::optional<double> next() const;
    // What encoding at `rate` gave: its pictures' lowest luma PSNR (`psnr`), and its bytes. True when it is the best
    // yet (the first always is).
    bool tried(double rate, double psnr, std::int64_t bytes);
    int tries() const { return m_tries; }
    double best() const { return m_best.rate; }

private:
    struct Try {
        double rate = 0;
        double psnr = 0;
        std::int64_t bytes = 0;
    };
    double ratio(const Try& t) const; // its bytes against the source's
    int score(const Try& t) const; // 2 for likeness kept, 1 for bytes kept

    double m_start;
    std::int64_t m_sourceBytes;
    double m_low = -1; // the highest rate known to give too many bytes
    double m_high = 52; // the lowest rate known to give too little likeness
    int m_tries = 0;
    Try m_best;
    Try m_last;
};

} // namespace quorvane::splitter
