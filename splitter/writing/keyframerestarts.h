// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/bitstream/avcrestart.h"
#include "splitter/bitstream/hevcrestart.h"
#include "splitter/media/avhandles.h"
#include "splitter/reading/inputprobe.h"

#include <memory>
#include <vector>

// The keyframes of one piece made to start afresh, per input stream: an H.264 keyframe that is not an IDR
// picture where the piece starts with it or it follows pictures encoded again (AvcRestart), and an HEVC CRA
// picture so where the container's players take only IDR pictures for keyframes (HevcRestart).
namespace quorvane::splitter {

class KeyframeRestarts {
public:
    // For the piece numbered `piece` (from 0).
    KeyframeRestarts(const AVFormatContext* in, const MediaLayout& layout, int piece);

    // `packet`, in the input's stream numbering, given the slice headers it needs in this piece; a packet whose
    // bytes change is replaced by one that no longer claims to be the source's. Returns 0, or an AVERROR.
    int restart(Packet& packet);

private:
    int restartAvc(AvcRestart& pictures, Packet& packet);
    int restartHevc(HevcRestart& pictures, Packet& packet);

    std::vector<std::unique_ptr<AvcRestart>> m_avc;
    std::vector<std::unique_ptr<HevcRestart>> m_hevc;
};

} // namespace quorvane::splitter
