// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// An H.264 sequence parameter set, field by field, read and written again: written unchanged it gives the
// same bytes. What the tool needs to reason about is a field; the parts it only carries (scaling matrices,
// HRD parameters) are kept as the bits they came as. Bytes only, so it is tested in-process.
namespace quorvane::splitter {

using Bytes = std::vector<std::uint8_t>;

// Bits carried as they came.
struct RawBits {
    Bytes data;
    std::size_t count = 0;
    bool operator==(const RawBits&) const = default;
};

struct AvcVui {
    struct Aspect {
        unsigned idc = 0;
        unsigned width = 0; // with idc 255 only
        unsigned height = 0;
        bool operator==(const Aspect&) const = default;
    };
    struct Signal {
        unsigned format = 5;
        bool fullRange = false;
        std::optional<std::array<unsigned, 3>> colour; // primaries, transfer, matrix
        bool operator==(const Signal&) const = default;
    };
    struct Timing {
        std::uint32_t unitsInTick = 0;
        std::uint32_t timeScale = 0;
        bool fixedRate = false;
        bool operator==(const Timing&) const = default;
    };
    struct Restriction {
        bool mvOverBoundaries = true;
        unsigned maxBytesPerPicDenom = 0;
        unsigned maxBitsPerMbDenom = 0;
        unsigned log2MaxMvLengthH = 0;
        unsigned log2MaxMvLengthV = 0;
        unsigned maxReorderFrames = 0;
        unsigned maxDecFrameBuffering = 0;
        bool operator==(const Restriction&) const = default;
    };
    std::optional<Aspect> aspect;
    std::optional<bool> overscanAppropriate;
    std::optional<Signal> signal;
    std::optional<std::array<unsigned, 2>> chromaLocation; // top field, bottom field
    std::optional<Timing> timing;
    std::optional<RawBits> nalHrd;
    std::optional<RawBits> vclHrd;
    bool lowDelayHrd = false; // with either HRD only
    bool picStruct = false;
    std::optional<Restriction> restriction;
    bool operator==(const AvcVui&) const = default;
};

struct AvcSps {
    std::uint8_t header = 0x67; // the NAL unit's first byte
    unsigned profile = 0;
    unsigned constraints = 0;
    unsigned level = 0;
    unsigned id = 0;
    // High profiles only.
    unsigned chromaFormat = 1;
    bool separateColourPlane = false;
    unsigned bitDepthLumaMinus8 = 0;
    unsigned bitDepthChromaMinus8 = 0;
    bool transformBypass = false;
    std::optional<RawBits> scalingMatrices;

    unsigned log2MaxFrameNum = 4;
    unsigned pocType = 0;
    unsigned log2MaxPocLsb = 4; // type 0
    bool deltaPicOrderAlwaysZero = false; // type 1
    int offsetForNonRefPic = 0;
    int offsetForTopToBottomField = 0;
    std::vector<int> refFrameOffsets;
    unsigned maxRefFrames = 1;
    bool gapsAllowed = false;
    unsigned widthInMbsMinus1 = 0;
    unsigned heightInMapUnitsMinus1 = 0;
    bool frameMbsOnly = true;
    bool mbAdaptive = false;
    bool direct8x8 = true;
    std::optional<std::array<unsigned, 4>> crop; // left, right, top, bottom
    std::optional<AvcVui> vui;
    bool operator==(const AvcSps&) const = default;

    unsigned chromaArrayType() const { return separateColourPlane ? 0 : chromaFormat; }
};

// Nullopt for a unit that is not an SPS or does not read as one to its stop bit.
std::optional<AvcSps> readAvcSps(const Bytes& unit);
Bytes writeAvcSps(const AvcSps& sps);

// Our SPS (`ours`) declaring what the source's declares of a decoder's picture buffer and of the pictures'
// shape: level, reference frames, reordering and buffering, aspect ratio, colour and timing. A decoder passing
// from pictures of one to pictures of the other may drop the pictures it holds where these differ. What only
// our pictures' coding depends on stays ours. Nullopt where the pictures differ in size, or ours need more
// than the source's declares.
std::optional<AvcSps> matchAvcSps(AvcSps ours, const AvcSps& source);

} // namespace quorvane::splitter
