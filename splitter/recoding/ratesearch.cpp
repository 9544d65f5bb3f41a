// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/recoding/ratesearch.h"

#include <algorithm>
#include <cmath>

namespace quorvane::splitter {

namespace {

constexpr double lowestPsnr = 45.0;
constexpr double aimedPsnr = 46.5;
constexpr double mostBytes = 3.0;
constexpr double aimedBytes = 2.4;
constexpr int mostTries = 5;

} // namespace

RateSearch::RateSearch(double start, std::int64_t sourceBytes)
    : m_start(start)
    , m_sourceBytes(sourceBytes)
{
}

double RateSearch::ratio(const Try& t) const
{
    return m_sourceBytes > 0 ? static_cast<double>(t.bytes) / static_cast<double>(m_sourceBytes) : 0.0;
}

int RateSearch::score(const Try& t) const { return (t.psnr >= lowestPsnr ? 2 : 0) + (ratio(t) <= mostBytes ? 1 : 0); }

std::optional<double> RateSearch::next() const
{
    if (m_tries == 0)
        return m_start;
    if (m_tries >= mostTries)
        return std::nullopt;
    const double last = m_last.rate;
    const double psnr = m_last.psnr;
    const double bytes = ratio(m_last);
    double rate = last;
    if (bytes > mostBytes && psnr > aimedPsnr)
        rate += std::clamp(std::round(6.0 * std::log2(bytes / aimedBytes)), 1.0, 12.0);
    else if (psnr < aimedPsnr && bytes < aimedBytes)
        rate -= std::clamp(std::round(aimedPsnr - psnr), 1.0, 8.0);
    if (rate == last && (psnr < lowestPsnr || bytes > mostBytes))
        rate = psnr < lowestPsnr ? last - 2.0 : last + 2.0;
    // Past what is known to miss: halfway between.
    if (rate >= m_high || rate <= m_low)
        rate = (std::max(m_low, 0.0) + m_high) / 2.0;
    rate = std::clamp(std::round(rate * 2.0) / 2.0, 0.0, 51.0);
    if (std::abs(rate - last) < 0.5 || rate <= m_low || rate >= m_high)
        return std::nullopt;
    return rate;
}

bool RateSearch::tried(double rate, double psnr, std::int64_t bytes)
{
    const Try t { rate, psnr, bytes };
    if (psnr < lowestPsnr)
        m_high = std::min(m_high, rate);
    else if (ratio(t) > mostBytes)
        m_low = std::max(m_low, rate);
    // Where both keep within bounds, the one moved towards what was short.
    const bool better = m_tries == 0 ? true
        : score(t) != score(m_best)  ? score(t) > score(m_best)
        : rate < m_best.rate         ? t.psnr > m_best.psnr
                                     : t.bytes < m_best.bytes;
    if (better)
        m_best = t;
    m_last = t;
    ++m_tries;
    return better;
}

} // namespace quorvane::splitter
