// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/bitstream/nalbits.h"
#include "splitter/bitstream/parametersets.h"

#include <optional>
#include <vector>

// What an HEVC slice header's reading and writing depend on, from the SPS and PPS it refers to. Bytes only, so
// it is tested in-process (and each count read from a file is held to what the syntax allows).
namespace quorvane::splitter {

struct HevcSpsFields {
    unsigned id = 0;
    unsigned log2MaxPocLsb = 4;
    bool separateColourPlane = false;
    unsigned chromaArrayType = 1;
    unsigned addressBits = 0; // of slice_segment_address
    bool sao = false;
    std::vector<unsigned> deltaPocs; // NumDeltaPocs of each short-term set
    unsigned setIndexBits = 0; // of short_term_ref_pic_set_idx
    bool longTerm = false;
    bool temporalMvp = false;
};
struct HevcPpsFields {
    unsigned id = 0;
    unsigned sps = 0;
    bool dependentSlices = false;
    bool outputFlag = false;
    unsigned extraBits = 0;
    bool chromaQpOffsets = false;
    bool deblockingOverride = false;
    bool deblockingDisabled = false;
    bool loopFilterAcross = false;
    bool entryPoints = false; // tiles or wavefronts
    bool headerExtension = false;
    bool chromaQpOffsetList = false;
    bool readable = true; // no extension that cannot be read past
};

// Nullopt for a unit that is not an SPS (a PPS) or does not read as one.
std::optional<HevcSpsFields> readHevcSpsFields(const Bytes& unit);
std::optional<HevcPpsFields> readHevcPpsFields(const Bytes& unit);

// Reads st_ref_pic_set(idx) of an SPS with `count` sets (`deltaPocs`: NumDeltaPocs of those read so far):
// its NumDeltaPocs, or nullopt.
std::optional<unsigned> skipShortTermSet(
    Fields& f, unsigned idx, unsigned count, const std::vector<unsigned>& deltaPocs);

} // namespace quorvane::splitter
