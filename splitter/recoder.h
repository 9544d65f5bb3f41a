// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/avhandles.h"
#include "splitter/exactcuts.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Encodes again the stretches of the deciding stream that exact pieces need (ExactCuts), between the reading
// and the pieces: every other packet passes as it came. The new pictures match the source's profile, level,
// bit depth, chroma format, colour description and aspect ratio, use parameter sets of their own (numbered
// apart from the source's, and declared beside them in the stream's header), and start each piece with a
// keyframe.
namespace quorvane::splitter {

using GivePacket = std::function<void(Packet)>;

class Recoder {
public:
    // For input stream `ref`; nullptr with the reason in `why` when it cannot be encoded again here. On
    // success the stream's header (`ref->codecpar->extradata`) declares the new parameter sets too, so that
    // every piece made from it does.
    static std::unique_ptr<Recoder> make(AVStream* ref, std::string& why);
    ~Recoder();
    Recoder(const Recoder&) = delete;
    Recoder& operator=(const Recoder&) = delete;

    // A fresh pass over the input (a piece written again reads it from the start), whose deciding stream is
    // `ref`: its header is given our parameter sets too.
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

private:
    Recoder() = default;
    void declareIn(AVStream* ref) const;
    void openStretch();
    void decode(const AVPacket* packet);
    void encode(AVFrame* frame);
    void finishStretch(const GivePacket& give);

    AVStream* m_ref = nullptr;
    std::vector<std::uint8_t> m_header; // the source's avcC with our parameter sets added
    std::vector<std::uint8_t> m_ourHeader; // what the encoder gives as its header, to check each one against
    int m_lengthSize = 4; // bytes of each NAL unit's length in the source's samples
    int m_parameterSetId = 1;
    std::vector<RecodedStretch> m_stretches;
    std::size_t m_next = 0; // the stretch being read or next
    std::int64_t m_index = 0; // of the deciding stream's next packet, in decoding order
    CodecContext m_decoder;
    CodecContext m_encoder;
    std::vector<std::int64_t> m_pts; // of the stretch's pictures, by decoding index from its first
    std::vector<std::int64_t> m_durations;
    std::vector<Packet> m_encoded;
    std::size_t m_fed = 0; // pictures sent to the encoder
    int m_cuts = 0;
    double m_seconds = 0;
    std::int64_t m_sourceBytes = 0;
    std::int64_t m_newBytes = 0;
    std::int64_t m_toEncode = 0;
    std::int64_t m_encodedPictures = 0;
    std::function<void()> m_onPicture;
};

} // namespace quorvane::splitter
