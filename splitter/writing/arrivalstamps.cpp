// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/writing/arrivalstamps.h"

#include <algorithm>
#include <cstring>

namespace quorvane::splitter {

namespace {

// Without two references to measure by: a packet every 864 ticks, 48 Mbit/s, a Blu-ray's highest rate.
constexpr std::int64_t nominalStep = 864;
constexpr std::int64_t stampModulus = std::int64_t(1) << 30;

int takeBytes(void* opaque, WrittenBytes data, int size)
{
    return static_cast<ArrivalStamps*>(opaque)->take(data, size);
}

// The program clock reference a transport packet carries in its adaptation field, in 27 MHz ticks.
std::optional<std::int64_t> clockReference(const std::uint8_t* ts)
{
    if (ts[0] != 0x47 || !(ts[3] & 0x20) || ts[4] < 7 || !(ts[5] & 0x10))
        return std::nullopt;
    const std::uint8_t* pcr = ts + 6;
    const std::int64_t base = (std::int64_t(pcr[0]) << 25) | (std::int64_t(pcr[1]) << 17) | (std::int64_t(pcr[2]) << 9)
        | (std::int64_t(pcr[3]) << 1) | (pcr[4] >> 7);
    const std::int64_t extension = ((pcr[4] & 1) << 8) | pcr[5];
    return base * 300 + extension;
}

} // namespace

ArrivalStamps::ArrivalStamps(AVIOContext* to)
    : m_to(to)
    , m_io(newIoContext(64 * packetSize, this, nullptr, takeBytes, nullptr))
{
}

int ArrivalStamps::take(const std::uint8_t* data, int size)
{
    const int given = size;
    while (size > 0) {
        const auto part = std::min<std::size_t>(static_cast<std::size_t>(size), packetSize - m_partial.size());
        m_partial.insert(m_partial.end(), data, data + part);
        data += part;
        size -= static_cast<int>(part);
        if (m_partial.size() == packetSize) {
            TsPacket packet;
            std::copy(m_partial.begin(), m_partial.end(), packet.begin());
            m_partial.clear();
            arrived(packet);
        }
    }
    return m_to->error < 0 ? m_to->error : given;
}

void ArrivalStamps::arrived(const TsPacket& packet)
{
    m_waiting.push_back(packet);
    const std::optional<std::int64_t> clock = clockReference(packet.data() + 4);
    if (!clock)
        return;
    // Evenly since the last reference; after a jump back (joined recordings) or before the first, at the
    // last known rate.
    std::int64_t step = m_step > 0 ? m_step : nominalStep;
    if (m_lastClock && *clock > *m_lastClock)
        step = std::max<std::int64_t>(1, (*clock - *m_lastClock) / static_cast<std::int64_t>(m_waiting.size()));
    m_step = step;
    release(*clock, step);
    m_lastClock = clock;
}

void ArrivalStamps::release(std::int64_t clock, std::int64_t step)
{
    const auto count = static_cast<std::int64_t>(m_waiting.size());
    for (std::int64_t i = 0; i < count; ++i) {
        std::int64_t stamp = clock - (count - 1 - i) * step;
        // Rising, whatever the clock does.
        if (m_lastStamp && stamp <= *m_lastStamp)
            stamp = *m_lastStamp + 1;
        m_lastStamp = stamp;
        TsPacket& packet = m_waiting[static_cast<std::size_t>(i)];
        const auto wrapped = static_cast<std::uint32_t>(((stamp % stampModulus) + stampModulus) % stampModulus);
        packet[0] = static_cast<std::uint8_t>(wrapped >> 24);
        packet[1] = static_cast<std::uint8_t>(wrapped >> 16);
        packet[2] = static_cast<std::uint8_t>(wrapped >> 8);
        packet[3] = static_cast<std::uint8_t>(wrapped);
        avio_write(m_to, packet.data(), packetSize);
    }
    m_waiting.clear();
}

int ArrivalStamps::finish()
{
    avio_flush(m_io.get());
    if (!m_waiting.empty()) {
        const std::int64_t step = m_step > 0 ? m_step : nominalStep;
        const std::int64_t from = m_lastStamp.value_or(0);
        release(from + static_cast<std::int64_t>(m_waiting.size()) * step, step);
    }
    if (!m_partial.empty())
        avio_write(m_to, m_partial.data(), static_cast<int>(m_partial.size()));
    m_partial.clear();
    return m_to->error < 0 ? m_to->error : m_io->error;
}

} // namespace quorvane::splitter
