// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace quorvane::splitter {

// Progress lines for whoever started the tool, on their own stream:
//   progress <bytes read> <bytes total> <pieces written> <pieces planned>
// at most about ten a second but whenever a piece is finished, and always one when the split is complete,
// after a line per piece:
//   piece <number from 1> <seconds>
// and, for exact pieces, how many cuts had pictures encoded again and how many seconds of video that was:
//   recoded <cuts> <seconds>
// A total or a plan that is not known yet is 0.
class ProgressReport {
public:
    explicit ProgressReport(std::FILE* out)
        : m_out(out)
    {
    }

    bool wanted() const { return m_out != nullptr; }
    void update(std::int64_t read, std::int64_t total, int written, int planned);
    void piece(int number, double seconds);
    void recoded(int cuts, double seconds);
    void complete(std::int64_t total, int written);

private:
    void print(std::int64_t read, std::int64_t total, int written, int planned);

    std::FILE* m_out;
    std::chrono::steady_clock::time_point m_last {};
    int m_written = 0; // as the last line said
};

} // namespace quorvane::splitter
