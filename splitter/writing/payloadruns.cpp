// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/writing/payloadruns.h"

#include "splitter/media/unreadpacket.h"
#include "splitter/system/kernelcopy.h"

#include <algorithm>
#include <vector>

namespace quorvane::splitter {

void PayloadRuns::expect(const AVPacket* packet)
{
    if (!packet->buf || packet->pos < 0 || packet->size <= 0)
        return;
    std::unique_ptr<AVBufferRef, Release> hold(av_buffer_ref(packet->buf));
    if (!hold)
        throw std::bad_alloc();
    m_expected[packet->data] = Expected { packet->size, packet->pos, isUnread(packet), std::move(hold) };
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

int copyByReading(const SystemFile& source, SystemFile& piece, const PayloadRuns::Run& run)
{
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min<std::int64_t>(run.size, 1 << 20)));
    for (std::int64_t done = 0; done < run.size;) {
        const auto want = static_cast<int>(std::min<std::int64_t>(run.size - done, std::int64_t(buffer.size())));
        const int got = source.readSome(buffer.data(), want, run.source + done);
        if (got < 0)
            return got;
        if (const int put = piece.write(buffer.data(), got, run.piece + done); put < 0)
            return put;
        done += got;
    }
    return 0;
}

} // namespace

int PayloadRuns::copy(const SystemFile& source, SystemFile& piece, bool kernelCopy, int blockSize, Copied& copied) const
{
    for (const Run& run : m_runs) {
        // Blocks are shared only from a block boundary in both files.
        std::int64_t head = 0;
        if (blockSize > 0 && run.source % blockSize == run.piece % blockSize)
            head = std::min<std::int64_t>(run.size, (blockSize - run.source % blockSize) % blockSize);
        for (std::int64_t done = 0; done < run.size;) {
            const std::int64_t step = done < head ? head - done : run.size - done;
            const std::int64_t moved = kernelCopy
                ? copyInKernel(source, run.source + done, piece, run.piece + done, step)
                : kernelCopyRefused;
            if (moved > 0) {
                done += moved;
                copied.inKernel += moved;
            } else if (moved == 0) {
                return AVERROR_EOF; // the source is shorter than its index says
            } else if (moved != kernelCopyRefused) {
                return static_cast<int>(moved);
            } else {
                // Not in the kernel, not between these files or not this stretch: read and write it.
                if (const int result = copyByReading(source, piece, { run.piece + done, run.source + done, step });
                    result < 0)
                    return result;
                done += step;
                copied.byReading += step;
            }
        }
    }
    return 0;
}

} // namespace quorvane::splitter
