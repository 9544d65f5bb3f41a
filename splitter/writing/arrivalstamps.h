// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// The arrival timestamps of a 192-byte transport stream (camcorders' .m2ts/.MTS), which players and Blu-ray
// tools read as when each packet reaches the decoder. FFmpeg's writer puts there a clock that only means
// something at a constant bit rate; this filter between the writer and the file stamps every packet again,
// rising, from the program clock references the packets carry: evenly between two references, as a stream
// sent at a steady rate between them would arrive.
namespace quorvane::splitter {

class ArrivalStamps {
public:
    static constexpr int packetSize = 192;

    // Writes the stamped packets to `to`. Throws std::bad_alloc.
    explicit ArrivalStamps(AVIOContext* to);

    // The writing end for the muxer, which must write whole 192-byte packets only.
    AVIOContext* io() const { return m_io.get(); }
    // The muxer is done: the packets after the last clock reference are stamped and written. Returns a
    // negative AVERROR when writing failed.
    int finish();

    // The writing end's callback.
    int take(const std::uint8_t* data, int size);

private:
    using TsPacket = std::array<std::uint8_t, packetSize>;

    void arrived(const TsPacket& packet);
    // Stamps the waiting packets, the last at `clock` (27 MHz), spread back from there by `step`, and sends
    // them on.
    void release(std::int64_t clock, std::int64_t step);

    AVIOContext* m_to;
    IoContext m_io;
    std::vector<std::uint8_t> m_partial; // the start of a packet not yet whole
    std::vector<TsPacket> m_waiting; // since the last clock reference
    std::optional<std::int64_t> m_lastClock; // the last reference, 27 MHz
    std::optional<std::int64_t> m_lastStamp;
    std::int64_t m_step = 0; // the last interval's 27 MHz ticks per packet
};

} // namespace quorvane::splitter
