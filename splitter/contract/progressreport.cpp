// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/contract/progressreport.h"

#include <algorithm>

namespace quorvane::splitter {

void ProgressReport::update(std::int64_t read, std::int64_t total, int written, int planned)
{
    if (!m_out)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (m_last != std::chrono::steady_clock::time_point {} && now - m_last < std::chrono::milliseconds(100)
        && written == m_written)
        return;
    m_last = now;
    print(read, total, written, planned);
}

void ProgressReport::piece(int number, double seconds)
{
    if (m_out)
        std::fprintf(m_out, "piece %d %.3f\n", number, seconds);
}

void ProgressReport::recoded(int cuts, double seconds)
{
    if (m_out)
        std::fprintf(m_out, "recoded %d %.3f\n", cuts, seconds);
}

void ProgressReport::complete(std::int64_t total, int written)
{
    if (m_out)
        print(total, total, written, written);
}

void ProgressReport::print(std::int64_t read, std::int64_t total, int written, int planned)
{
    m_written = written;
    // A plan made while reading grows as it goes; it never says fewer pieces than are written.
    std::fprintf(m_out, "progress %lld %lld %d %d\n", static_cast<long long>(std::max<std::int64_t>(read, 0)),
        static_cast<long long>(std::max<std::int64_t>(total, 0)), written, std::max(planned, written));
    std::fflush(m_out);
}

} // namespace quorvane::splitter
