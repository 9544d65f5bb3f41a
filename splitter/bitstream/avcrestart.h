// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/bitstream/avcsps.h"
#include "splitter/bitstream/nalbits.h"
#include "splitter/bitstream/parametersets.h"

#include <cstdint>
#include <map>
#include <optional>
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
    std::optional<Bytes> withPictureOrder(const Bytes& unit, unsigned lsb, unsigned log2MaxPocLsb) const;

private:
    struct Sps : AvcSps {
        Bytes unit; // as it came, to give a keyframe that has none
    };
    struct Pps {
        unsigned sps = 0;
        bool cabac = false;
        bool bottomFieldPicOrder = false;
        unsigned sliceGroups = 1;
        unsigned refIdxL0 = 1;
        unsigned refIdxL1 = 1;
        bool weightedPred = false;
        unsigned weightedBipred = 0;
        bool deblockingControl = false;
        bool redundantPicCnt = false;
        Bytes unit; // as it came
    };
    struct Mmco {
        unsigned op = 0;
        unsigned a = 0; // difference_of_pic_nums_minus1, long_term_pic_num or max_long_term_frame_idx_plus1
        unsigned b = 0; // long_term_frame_idx
    };
    // A slice's header as far as restarting needs it, with where its parts lie in the unit's payload.
    struct Slice {
        unsigned refIdc = 0;
        bool idr = false;
        unsigned type = 0; // slice_type % 5
        unsigned pps = 0;
        unsigned frameNum = 0;
        std::size_t frameNumAt = 0;
        bool field = false;
        unsigned idrPicId = 0;
        std::size_t afterFieldAt = 0; // where an IDR picture's idr_pic_id goes
        std::size_t pocAt = 0; // the picture order fields
        std::size_t pocEnd = 0;
        // ref_pic_list_modification(): each list's commands (modification_of_pic_nums_idc and its number).
        std::size_t listsAt = 0;
        std::size_t listsEnd = 0;
        int lists = 0;
        std::vector<std::pair<unsigned, unsigned>> reorder[2];
        bool reordered[2] = { false, false };
        std::size_t markingAt = 0; // dec_ref_pic_marking(), when refIdc
        std::size_t markingEnd = 0;
        bool adaptive = false;
        std::vector<Mmco> mmco;
        std::size_t dataAt = 0; // slice_data(), before any alignment bits
    };

    // The units of a sample; with `partial`, a unit cut short by the sample's end too.
    std::vector<Bytes> units(const std::uint8_t* data, std::size_t size, bool partial = false) const;
    Bytes join(const std::vector<Bytes>& units) const;
    void learn(const Bytes& unit);
    std::optional<Slice> parse(const Bytes& payload) const;
    // What a picture's slices get instead of their own: a frame number, its reordering commands and its
    // marking commands, all naming pictures by the new numbers; made an IDR picture or not.
    struct Renumbered {
        unsigned frameNum = 0;
        bool toIdr = false;
        std::vector<std::pair<unsigned, unsigned>> reorder[2];
        std::vector<Mmco> mmco;
    };
    std::optional<Bytes> rewrite(const Bytes& payload, const Slice& slice, const Renumbered& to) const;
    // A slice whose header `w` holds, rewritten up to its data: the data after it, aligned again.
    std::optional<Bytes> withData(BitWriter& w, const Bytes& payload, const Slice& slice) const;
    // A slice of the picture numbered `ours`, its reordering commands following the pictures they name to
    // their new numbers; nullopt where one names a picture not held.
    std::optional<Renumbered> relist(const Slice& slice, const Sps& sps, unsigned ours) const;
    // The picture's marking commands by the new numbers, without those that name pictures not held; what is
    // held after it.
    std::vector<Mmco> mark(const Slice& slice, const Sps& sps, unsigned ours);

    int m_lengthSize = 4;
    std::map<unsigned, Sps> m_sps;
    std::map<unsigned, Pps> m_pps;
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
