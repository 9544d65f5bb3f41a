// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/bitstream/avcsps.h"
#include "splitter/bitstream/nalbits.h"

#include <cstddef>
#include <map>
#include <optional>
#include <utility>
#include <vector>

// H.264 slice headers, read by the parameter sets they refer to and written again with other frame numbers,
// reordering and marking commands, or picture order counts; the slices' coded data stays as it is. Bytes
// only, so it is tested in-process.
namespace quorvane::splitter {

enum : unsigned { AvcSliceP = 0, AvcSliceB = 1, AvcSliceI = 2, AvcSliceSp = 3, AvcSliceSi = 4 };

struct AvcPps {
    unsigned id = 0;
    unsigned sps = 0;
    bool cabac = false;
    bool bottomFieldPicOrder = false;
    unsigned refIdxL0 = 1;
    unsigned refIdxL1 = 1;
    bool weightedPred = false;
    unsigned weightedBipred = 0;
    bool deblockingControl = false;
    bool redundantPicCnt = false;
    Bytes unit; // as it came
};
// Nullopt for a unit that is not a PPS, or one with slice groups.
std::optional<AvcPps> readAvcPps(const Bytes& unit);

struct AvcMmco {
    unsigned op = 0;
    unsigned a = 0; // difference_of_pic_nums_minus1, long_term_pic_num or max_long_term_frame_idx_plus1
    unsigned b = 0; // long_term_frame_idx
};
// ref_pic_list_modification()'s commands of one list: modification_of_pic_nums_idc and its number.
using AvcReordering = std::vector<std::pair<unsigned, unsigned>>;

// A slice's header as far as restarting needs it, with where its parts lie in the unit's payload.
struct AvcSlice {
    unsigned refIdc = 0;
    bool idr = false;
    unsigned type = 0; // slice_type % 5
    unsigned pps = 0;
    unsigned sps = 0; // the PPS's
    unsigned frameNum = 0;
    std::size_t frameNumAt = 0;
    bool field = false;
    unsigned idrPicId = 0;
    std::size_t afterFieldAt = 0; // where an IDR picture's idr_pic_id goes
    std::size_t pocAt = 0; // the picture order fields
    std::size_t pocEnd = 0;
    std::size_t listsAt = 0; // ref_pic_list_modification()
    std::size_t listsEnd = 0;
    int lists = 0;
    AvcReordering reorder[2];
    bool reordered[2] = { false, false };
    std::size_t markingAt = 0; // dec_ref_pic_marking(), when refIdc
    std::size_t markingEnd = 0;
    bool adaptive = false;
    std::vector<AvcMmco> mmco;
    std::size_t dataAt = 0; // slice_data(), before any alignment bits
};

// What a slice's header gets instead of its own: a frame number, its reordering and marking commands; made an
// IDR picture's or not.
struct AvcSliceChange {
    unsigned frameNum = 0;
    bool toIdr = false;
    unsigned idrPicId = 0; // when toIdr
    AvcReordering reorder[2];
    std::vector<AvcMmco> mmco;
};

// The slices of one stream, and the parameter sets they refer to.
class AvcSlices {
public:
    struct Sps : AvcSps {
        Bytes unit; // as it came
    };

    // Takes in an SPS or PPS; other units, and sets it cannot read, are passed over.
    void learn(const Bytes& unit);
    // A slice's header from its payload (without emulation prevention bytes); nullopt where it does not read,
    // or refers to sets not learnt.
    std::optional<AvcSlice> read(const Bytes& payload) const;
    // The sets of a slice read().
    const Sps& spsOf(const AvcSlice& slice) const { return m_sps.at(slice.sps); }
    const AvcPps& ppsOf(const AvcSlice& slice) const { return m_pps.at(slice.pps); }

    // The unit of a slice read() from `payload`, with the header `to` gives.
    std::optional<Bytes> write(const Bytes& payload, const AvcSlice& slice, const AvcSliceChange& to) const;
    // A slice unit of a stream whose pictures are ordered as decoded (order of type 2), with order count `lsb`
    // (of `log2MaxPocLsb` bits) in its header, for an SPS of type 0. Other units come back as they are;
    // nullopt for a slice it cannot read.
    std::optional<Bytes> withPictureOrder(const Bytes& unit, unsigned lsb, unsigned log2MaxPocLsb) const;

private:
    // A slice whose header `w` holds, rewritten up to its data: the data after it, aligned again.
    std::optional<Bytes> withData(BitWriter& w, const Bytes& payload, const AvcSlice& slice) const;

    std::map<unsigned, Sps> m_sps;
    std::map<unsigned, AvcPps> m_pps;
};

} // namespace quorvane::splitter
