// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/payloadruns.h"

#include "splitter/inplacereader.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include <unistd.h>

namespace quorvane::splitter {

void PayloadRuns::expect(const AVPacket* packet)
{
    if (!packet->buf || packet->pos < 0 || packet->size <= 0)
        return;
    std::unique_ptr<AVBufferRef, Release> hold(av_buffer_ref(packet->buf));
    if (!hold)
        throw std::bad_alloc();
    m_expected[packet->data] = Expected { packet->size, packet->pos, InPlaceReader::unread(packet), std::move(hold) };
}

bool PayloadRuns::forgetExpected()
{
    const bool whole
        = std::none_of(m_expected.begin(), m_expected.end(), [](const auto& e) { return e.second.unread; });
    m_expected.clear();
    return whole;
}

bool PayloadRuns::take(const std::uint8_t* data, int size, std::int64_t pieceOffset)
{
    const auto found = m_expected.find(data);
    if (found == m_expected.end() || found->second.size != size)
        return false;
    const std::int64_t source = found->second.pos;
    m_expected.erase(found);
    // One run for bytes that follow each other in both files.
    if (!m_runs.empty() && m_runs.back().piece + m_runs.back().size == pieceOffset
        && m_runs.back().source + m_runs.back().size == source)
        m_runs.back().size += size;
    else
        m_runs.push_back({ pieceOffset, source, size });
    return true;
}

namespace {

int copyByReading(int source, int piece, const PayloadRuns::Run& run)
{
    std::vector<char> buffer(static_cast<std::size_t>(std::min<std::int64_t>(run.size, 1 << 20)));
    for (std::int64_t done = 0; done < run.size;) {
        const auto want
            = static_cast<std::size_t>(std::min<std::int64_t>(run.size - done, std::int64_t(buffer.size())));
        const ssize_t got = ::pread(source, buffer.data(), want, run.source + done);
        if (got <= 0) {
            if (got < 0 && errno == EINTR)
                continue;
            return got == 0 ? AVERROR_EOF : AVERROR(errno);
        }
        for (ssize_t put = 0; put < got;) {
            const ssize_t n
                = ::pwrite(piece, buffer.data() + put, static_cast<std::size_t>(got - put), run.piece + done + put);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return AVERROR(errno);
            }
            put += n;
        }
        done += got;
    }
    return 0;
}

} // namespace

int PayloadRuns::copy(int source, int piece, bool kernelCopy, int blockSize, Copied& copied) const
{
    for (const Run& run : m_runs) {
        // Blocks are shared only from a block boundary in both files.
        std::int64_t head = 0;
        if (blockSize > 0 && run.source % blockSize == run.piece % blockSize)
            head = std::min<std::int64_t>(run.size, (blockSize - run.source % blockSize) % blockSize);
        std::int64_t done = 0;
        while (kernelCopy && done < run.size) {
            loff_t from = run.source + done;
            loff_t to = run.piece + done;
            const std::int64_t step = done < head ? head - done : run.size - done;
            const ssize_t moved = ::copy_file_range(source, &from, piece, &to, static_cast<std::size_t>(step), 0);
            if (moved > 0) {
                done += moved;
                copied.inKernel += moved;
                continue;
            }
            if (moved < 0 && errno == EINTR)
                continue;
            if (moved == 0)
                return AVERROR_EOF; // the source is shorter than its index says
            if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL && errno != EBADF)
                return AVERROR(errno);
            kernelCopy = false; // not between these files: read and write the rest
        }
        if (done < run.size) {
            const int result = copyByReading(source, piece, { run.piece + done, run.source + done, run.size - done });
            if (result < 0)
                return result;
            copied.byReading += run.size - done;
        }
    }
    return 0;
}

} // namespace quorvane::splitter
