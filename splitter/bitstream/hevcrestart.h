// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/bitstream/hevcsets.h"
#include "splitter/bitstream/nalunits.h"

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

// HEVC pictures made to start afresh at a CRA keyframe (an open group's). Some players take only IDR pictures
// as keyframes in Matroska (Firefox): a piece that starts with a CRA picture, or one where a CRA picture
// follows pictures encoded again with parameter sets of their own, shows nothing from there. So such a CRA
// picture becomes an IDR picture (its slices lose their picture order and reference picture set), and every
// picture after it in the piece counts its order from it: only the order count's low bits change, a field of
// fixed length, so the rest of each header and the coded data stay as they are. Where a stream keeps long-term
// reference pictures, whose numbers would need counting again too, its CRA pictures stay as they are. Bytes
// only, so it is tested in-process.
namespace quorvane::splitter {

class HevcRestart {
public:
    // `header`: the stream's "hvcC", or Annex B units; how the samples part their units follows from it.
    // `startAfresh`: whether the first picture given, if a CRA picture, starts afresh (a piece after the first;
    // the file's own start is left as it is).
    HevcRestart(const std::uint8_t* header, int headerSize, bool startAfresh);

    // Whether picture() needs the next picture's bytes: a keyframe, or any picture once one is restarted.
    bool wants(bool key) const { return key || m_offset.has_value(); }
    // The next picture in decoding order. Returns the bytes it gets instead, or nullopt to keep it as it is.
    std::optional<Bytes> picture(const std::uint8_t* data, std::size_t size);

private:
    // The start of a slice segment header, as far as its order count.
    struct Slice {
        int type = 0; // the NAL unit's
        bool first = false;
        unsigned pps = 0;
        unsigned sps = 0; // the PPS's
        bool dependent = false;
        unsigned sliceType = 0;
        std::size_t pocAt = 0; // where the order count's low bits are, for a picture not IDR
        unsigned pocLsb = 0;
    };

    std::vector<Bytes> units(const std::uint8_t* data, std::size_t size) const;
    void learn(const Bytes& unit);
    std::optional<Slice> parse(const Bytes& payload) const;
    // A CRA picture's slice made an IDR picture's.
    std::optional<Bytes> toIdr(const Bytes& payload, const Slice& slice) const;
    // A slice whose order count's low bits are counted from `offset`: the field keeps its length.
    std::optional<Bytes> counted(const Bytes& payload, const Slice& slice, unsigned offset) const;

    std::optional<UnitFraming> m_framing;
    std::map<unsigned, HevcSpsFields> m_sps;
    std::map<unsigned, HevcPpsFields> m_pps;
    bool m_startAfresh = false;
    bool m_started = false; // a picture was given
    std::optional<unsigned> m_lastSps; // of the picture before
    std::optional<unsigned> m_offset; // the restarted CRA picture's order count, taken from every one after it
};

} // namespace quorvane::splitter
