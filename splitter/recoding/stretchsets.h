// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/bitstream/avcrestart.h"
#include "splitter/bitstream/parametersets.h"
#include "splitter/media/avhandles.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

// The parameter sets the pictures encoded again use, and the stream header that declares them: numbered apart
// from the source's, declaring the source's picture buffer, added beside the source's in its avcC or hvcC
// header (or carried with our keyframes, where the stream carries its own).
namespace quorvane::splitter {

struct StretchSets {
    Bytes header; // the source's stream header with our parameter sets added
    std::vector<Bytes> encoderSets; // the parameter sets the encoder gives, to check each one against
    bool annexB = false; // the source's units have start codes, and its parameter sets come with its pictures
    std::vector<Bytes> inBand; // our parameter sets, numbered apart, to start our keyframes with
    std::vector<Bytes> sourceSets; // the parameter sets an HEVC header declares, for the keyframe after ours
    int lengthSize = 4; // bytes of each NAL unit's length in the source's samples, or of a start code
    std::array<unsigned, 3> ids {}; // our parameter sets' numbers: H.264's one, HEVC's VPS, SPS and PPS
    int refs = 1; // the most pictures ours may refer to
    std::optional<AvcRestart> ordered; // reads our H.264 slices, to give them their order counts
    unsigned pocBits = 0;
};

// Ours for the H.264 or HEVC stream `ref`, found by opening its encoder at rate `crf`; nullopt with the reason in
// `why` when the source's header leaves no room for them or the encoder cannot make pictures that fit it.
std::optional<StretchSets> stretchSets(const AVStream* ref, double crf, std::string& why);

// One of our HEVC units numbered apart from the source's parameter sets (`ids`: VPS, SPS, PPS).
std::optional<Bytes> renumberOurs(const Bytes& unit, const std::array<unsigned, 3>& ids);

} // namespace quorvane::splitter
