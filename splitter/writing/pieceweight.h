// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"
#include "splitter/plan/sizeplan.h"
#include "splitter/reading/inputprobe.h"
#include "splitter/reading/sampleindex.h"

#include <cstdint>
#include <vector>

// What a piece would weigh on disk before it is written, from an index of every sample, for pieces of at most
// a size: its packets' bytes, with what each stream's packets near a cut may add, and the container's overhead
// (ContainerFacts), an MP4 index as the tool reserves room for it.
namespace quorvane::splitter {

class PieceWeigher {
public:
    // Keeps `layout` and `samples`, which outlive it. `allowance`: bytes more to allow for in every piece.
    PieceWeigher(
        const AVFormatContext* in, const MediaLayout& layout, const SampleIndex& samples, std::int64_t allowance = 0);

    // The piece from `from` to `to`, in the deciding stream's ticks, at most.
    std::int64_t operator()(std::int64_t from, std::int64_t to) const;
    // The bytes of the deciding stream's pictures shown from `from` to `to`.
    std::int64_t referenceBytes(std::int64_t from, std::int64_t to) const;

private:
    struct Stream {
        ByteCurve curve; // by presentation time, in the deciding stream's ticks
        // How far before a piece's start and after its end the stream's packets may still go into it: sound
        // frames shared at a cut, a second video stream starting at a keyframe of its own.
        std::int64_t before = 0;
        std::int64_t after = 0;
    };

    const MediaLayout& m_layout;
    const SampleIndex& m_samples;
    std::vector<Stream> m_streams; // those the pieces keep
    std::size_t m_reference = 0; // the deciding stream's, among them
    std::int64_t m_fixed = 0; // what every piece has once
};

} // namespace quorvane::splitter
