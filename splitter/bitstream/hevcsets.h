// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/bitstream/nalbits.h"
#include "splitter/bitstream/nalunits.h"

#include <array>
#include <optional>
#include <vector>

// HEVC parameter sets field by field: what a slice header's reading and writing depend on, from the SPS and
// PPS it refers to, and the picture buffer a VPS or SPS declares. Bytes only, so it is tested in-process (and
// each count read from a file is held to what the syntax allows).
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

// What a VPS or SPS declares of a decoder's picture buffer: its general level, and for each sub-layer the
// pictures held (minus one), the pictures that may wait to be shown, and the latency increase (plus one).
struct HevcBuffer {
    unsigned level = 0;
    std::vector<std::array<unsigned, 3>> ordering;
};
std::optional<HevcBuffer> hevcBuffer(const Bytes& unit);
// Our VPS or SPS declaring the level and picture buffer size of the source's of the same type, so that a
// decoder passing at an IDR picture from pictures of one to pictures of the other keeps the pictures it holds
// (it may drop them where the sizes differ). Ours still show each picture as soon as it is decoded: a CRA
// picture after an end of sequence drops whatever waits to be shown. Nullopt where ours needs a larger
// buffer than the source's declares.
std::optional<Bytes> matchHevcBuffer(const Bytes& ours, const Bytes& source);

// Reads profile_tier_level(1, subLayers) of a VPS or SPS: its general level. Where `f` copies, `level` gives
// another to copy.
unsigned readProfileTierLevel(Fields& f, unsigned subLayers, std::optional<unsigned> level = std::nullopt);

// Reads st_ref_pic_set(idx) of an SPS with `count` sets (`deltaPocs`: NumDeltaPocs of those read so far):
// its NumDeltaPocs, or nullopt.
std::optional<unsigned> skipShortTermSet(
    Fields& f, unsigned idx, unsigned count, const std::vector<unsigned>& deltaPocs);

} // namespace quorvane::splitter
