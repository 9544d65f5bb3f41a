// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"
#include "splitter/plan/exactcuts.h"
#include "splitter/recoding/lumacomparison.h"
#include "splitter/recoding/stretchsets.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Encodes again the stretches of the deciding stream that exact pieces need (ExactCuts), between the reading
// and the pieces: every other packet passes as it came. The new pictures match the source's profile, level,
// bit depth, chroma format, colour description and aspect ratio, use parameter sets of their own (numbered
// apart from the source's, and declared beside them in the stream's header), and start each piece with a
// keyframe.
namespace quorvane::splitter {

using GivePacket = std::function<void(Packet)>;

// Whether pictures of this video can be encoded again at all (its codec).
bool canBeEncodedAgain(const AVCodecParameters* par);

class Recoder {
public:
    // For input stream `ref`; nullptr with the reason in `why` when it cannot be encoded again here.
    static std::unique_ptr<Recoder> make(AVStream* ref, std::string& why);
    // The stream header that declares the new parameter sets beside the source's, for every piece made from the
    // stream to declare (DeclaredHeader); nullptr where the parameter sets come with the pictures instead.
    const Bytes* header() const { return m_sets.annexB ? nullptr : &m_sets.header; }
    ~Recoder();
    Recoder(const Recoder&) = delete;
    Recoder& operator=(const Recoder&) = delete;

    // A fresh pass over the input (a piece written again reads it from the start), whose deciding stream is
    // `ref`.
    std::unique_ptr<Recoder> again(AVStream* ref) const;
    void setStretches(std::vector<RecodedStretch> stretches);
    // Called after each picture encoded again, so that progress moves while it works.
    void onPicture(std::function<void()> callback) { m_onPicture = std::move(callback); }
    std::int64_t picturesToEncode() const { return m_toEncode; }
    std::int64_t picturesEncoded() const { return m_encodedPictures; }

    // Takes the input's packets in reading order and hands on what the pieces get. Throws SplitError.
    void take(Packet packet, const GivePacket& give);
    // The input ended.
    void end(const GivePacket& give);

    int cutsRecoded() const { return m_cuts; }
    double secondsRecoded() const { return m_seconds; }
    // Bytes of the stretches encoded again against the source's bytes for the same pictures.
    double bitrateRatio() const
    {
        return m_sourceBytes > 0 ? static_cast<double>(m_newBytes) / static_cast<double>(m_sourceBytes) : 0.0;
    }
    // Luma PSNR of the pictures encoded again against the source's.
    const LumaComparison& quality() const { return m_quality; }

private:
    Recoder() = default;
    void openStretch(std::int64_t startPts);
    Packet forPieces(const AVPacket* encoded, bool lastOfStretch);
    Packet withSourceSets(Packet key) const;
    void finishStretch(const GivePacket& give);

    AVStream* m_ref = nullptr;
    StretchSets m_sets;
    unsigned m_sinceKey = 0; // our pictures since our last keyframe
    std::vector<RecodedStretch> m_stretches;
    std::size_t m_next = 0; // the stretch being read or next
    std::int64_t m_index = 0; // of the deciding stream's next packet, in decoding order
    std::int64_t m_startPts = 0; // of the keyframe the stretch decodes from
    Packet m_kept; // the next group's keyframe, given after the stretch
    Packet m_nextStart; // the keyframe the next stretch decodes from, when this one holds it
    bool m_open = false; // a stretch is being read
    std::vector<Packet> m_packets; // the stretch's, to decode
    std::vector<std::int64_t> m_pts; // of the stretch's pictures, by decoding index from its first
    std::vector<std::int64_t> m_durations;
    std::int64_t m_stretchSourceBytes = 0;
    double m_crf = 12; // the encoder's rate factor, as the last stretch settled it
    int m_cuts = 0;
    double m_seconds = 0;
    std::int64_t m_sourceBytes = 0;
    std::int64_t m_newBytes = 0;
    std::int64_t m_toEncode = 0;
    std::int64_t m_encodedPictures = 0;
    LumaComparison m_quality;
    std::function<void()> m_onPicture;
};

} // namespace quorvane::splitter
