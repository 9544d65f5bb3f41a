// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/bitstream/avcslices.h"
#include "splitter/bitstream/nalunits.h"

#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

// H.264 pictures made to start afresh at a keyframe that is not an IDR picture (an open group's I picture, a
// broadcast's recovery point). Such a keyframe takes its frame numbers and picture order from the pictures
// decoded before it, and the pictures after it release references to those: where a piece starts with it,
// or where it follows pictures encoded again with parameter sets of their own, decoders lose pictures or
// complain. So the keyframe becomes an IDR picture, and every picture after it, up to the next IDR picture,
// gets its frame number counted from it and loses the marking commands that name pictures no longer there.
// Only slice headers change; the pictures' coded data stays as it is. Bytes only, so it is tested in-process.
namespace quorvane::splitter {

class AvcRestart {
public:
    // `header`: the stream's header. An "avcC" gives the parameter sets the pictures refer to and the bytes of
    // each NAL unit's length in a sample; without one, start codes part the units, and the sets are those of
    // the header's units and those that come in-band. A keyframe made an IDR picture there is given the sets
    // it uses, where it has none, so that a piece starting with it decodes.
    AvcRestart(const std::uint8_t* header, int headerSize);

    // Whether this keyframe could be made an IDR picture: its slices are I slices, in a progressive stream
    // whose parameter sets this class reads. `data` may be the picture's first bytes only.
    bool canRestart(const std::uint8_t* data, std::size_t size);
    // Whether this keyframe starts afresh, as it is (an IDR picture) or made so (canRestart); nullopt when
    // `data` holds no slice. Parameter sets among its units are learnt on the way.
    std::optional<bool> canStartAfresh(const std::uint8_t* data, std::size_t size);

    // Whether picture() needs the next picture's bytes: a keyframe, or any picture while one is restarted.
    bool wants(bool key) const { return key || m_session.has_value(); }
    // Whether picture() would change the next picture, told from its first bytes (`head`). Where it would
    // not, what the picture tells of the stream is taken in, and picture() need not be called for it.
    bool changes(const std::uint8_t* head, std::size_t size, bool key);
    // The next picture in decoding order. A keyframe that is not an IDR picture starts afresh when it is the
    // first picture given or uses another SPS than the picture before. Returns the bytes it gets instead, or
    // nullopt to keep it as it is.
    std::optional<Bytes> picture(const std::uint8_t* data, std::size_t size, bool key);

    // One of our slices whose stream counts its pictures' order from the order they are decoded in (type 2),
    // given that count (`lsb`, of `log2MaxPocLsb` bits) in its header, for an SPS that says so (type 0). Some
    // decoders order what they show by that field alone, and take the pictures of type 2 as all shown at
    // once. Other units come back as they are; nullopt for a slice this class cannot read.
    std::optional<Bytes> withPictureOrder(const Bytes& unit, unsigned lsb, unsigned log2MaxPocLsb) const
    {
        return m_slices.withPictureOrder(unit, lsb, log2MaxPocLsb);
    }

private:
    // The units of a sample; with `partial`, a unit cut short by the sample's end too.
    std::vector<Bytes> units(const std::uint8_t* data, std::size_t size, bool partial = false) const;
    // The first slice of a picture's units that reads.
    std::optional<AvcSlice> firstSlice(const std::vector<Bytes>& units) const;
    // Each slice of a picture read, with its payload; nullopt where one does not read or is of another frame
    // than `first`.
    std::optional<std::vector<std::pair<AvcSlice, Bytes>>> slicesOf(
        const std::vector<Bytes>& units, const AvcSlice& first) const;
    // The picture's units with its slices renumbered, made an IDR picture's where `afresh`.
    std::optional<std::vector<Bytes>> renumber(std::vector<Bytes> units, const AvcSlice& first, bool afresh);
    // A slice of the picture numbered `ours`, its reordering commands following the pictures they name to
    // their new numbers; nullopt where one names a picture not held.
    std::optional<AvcSliceChange> relist(const AvcSlice& slice, const AvcSps& sps, unsigned ours) const;
    // The picture's marking commands by the new numbers, without those that name pictures not held; what is
    // held after it.
    std::vector<AvcMmco> mark(const AvcSlice& slice, const AvcSps& sps, unsigned ours);

    std::optional<UnitFraming> m_framing;
    AvcSlices m_slices;
    std::optional<unsigned> m_lastSps; // of the picture before; none before the first, or after one unread
    struct Session {
        // Short-term references held: the source's frame number, and ours. Ours count up from 0 at the
        // keyframe without the gaps the pictures left out would leave (a decoder fills gaps with stand-ins
        // that take places in the reference lists).
        std::map<unsigned, unsigned> shortRefs;
        std::vector<unsigned> longRefs; // long-term frame indices held
        unsigned lastRef = 0; // our frame number of the last reference picture
    };
    std::optional<Session> m_session;
    unsigned m_lastIdrPicId = 0; // two IDR pictures in a row need different numbers
};

} // namespace quorvane::splitter
