// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/writing/startalignment.h"

namespace quorvane::splitter {

void StartAlignment::start(int blockSize)
{
    m_blockSize = blockSize;
    m_waiting = blockSize > 0;
    m_held.clear();
    m_heldBytes = 0;
}

bool StartAlignment::hold(Packet packet)
{
    m_heldBytes += packet->size;
    m_held.push_back(std::move(packet));
    // The run the latest packet ends.
    std::int64_t run = 0;
    for (std::size_t i = m_held.size(); i-- > 0;) {
        const AVPacket* p = m_held[i].get();
        run += p->size;
        if (i == 0 || p->pos < 0 || m_held[i - 1]->pos + m_held[i - 1]->size != p->pos)
            break;
    }
    return run >= 256 * 1024 || m_heldBytes >= 8 * 1024 * 1024;
}

std::vector<Packet> StartAlignment::release(std::int64_t written, std::int64_t& shift)
{
    // The longest run of bytes that follow each other in the file among the held packets, and how many
    // bytes of the piece come before it.
    std::vector<Packet> held = std::move(m_held);
    m_held.clear();
    m_heldBytes = 0;
    m_waiting = false;
    std::int64_t bestStart = -1;
    std::int64_t bestSize = 0;
    std::int64_t bestBefore = 0;
    std::int64_t before = 0;
    for (std::size_t i = 0; i < held.size();) {
        std::size_t j = i + 1;
        std::int64_t size = held[i]->size;
        while (j < held.size() && held[i]->pos >= 0 && held[j - 1]->pos + held[j - 1]->size == held[j]->pos)
            size += held[j++]->size;
        if (held[i]->pos >= 0 && size > bestSize) {
            bestSize = size;
            bestStart = held[i]->pos;
            bestBefore = before;
        }
        for (std::size_t k = i; k < j; ++k)
            before += held[k]->size;
        i = j;
    }
    shift = 0;
    if (bestStart >= 0) {
        const std::int64_t at = written + bestBefore;
        shift = ((bestStart - at) % m_blockSize + m_blockSize) % m_blockSize;
    }
    return held;
}

} // namespace quorvane::splitter
