// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"
#include "splitter/reading/inputprobe.h"
#include "splitter/reading/mp4boxes.h"
#include "splitter/reading/sampleindex.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// An MP4-family file's index kept as the file has it: its sample tables, a few bytes a sample, where
// libavformat's reader would hold 24 bytes a sample in its own index and as much again while building it.
// libavformat then reads the file with each track's tables cut short (mp4::shortenedMoov), for the streams'
// parameters only; the packets come from here, each as libavformat's reader would give it.
//
// Only files whose tables say nothing this index does not follow are taken: one sample description per
// track, no fragments, no encryption, at most one edit after an empty one, media in the file itself. For
// any other, read() gives nullptr and the file is read by libavformat as a whole.
namespace quorvane::splitter {

struct Mp4Track;

struct Mp4Sample {
    int stream = -1;
    std::int64_t pos = 0;
    int size = 0;
    std::int64_t dts = 0;
    std::int64_t pts = 0;
    std::int64_t duration = 0;
    int flags = 0; // AV_PKT_FLAG_*
    int skipSamples = 0; // priming an AAC decoder drops from the stream's first packet
    std::int64_t chunkEnd = 0; // where the run of the track's samples this one lies in ends in the file
};

class Mp4Index final : public SampleIndex {
public:
    static std::unique_ptr<Mp4Index> read(const std::string& path);
    // The same from a "moov" box already read, so that its bytes can be checked without a file.
    static std::unique_ptr<Mp4Index> fromMoov(mp4::Moov moov);
    ~Mp4Index() override;

    // The file's "moov" box with every track's sample tables cut after `keep` samples, and the header of a
    // "free" box that fills the rest of its room, to read in its place (ShortenedMoov); empty when no track
    // has more samples.
    mp4::Bytes shortMoov(std::uint32_t keep);
    std::int64_t moovAt() const;
    std::int64_t moovSize() const; // the whole box's

    // Takes the streams of `in`, the file as opened with shortMoov(), before libavformat probes their packets.
    // False when this index cannot stand in for libavformat's: the samples it did list differ from ours.
    bool bind(AVFormatContext* in);
    // Per stream of the bound input, what libavformat would have found in the whole tables (durations, rates),
    // for the pieces to declare.
    std::vector<DeclaredHeader> declared() const;

    // The samples in the order libavformat's reader gives them, with their packets' fields; false at the
    // end.
    bool next(Mp4Sample& sample);

    std::int64_t samplesBefore(int stream, std::int64_t time, AVRational base) const override;
    std::int64_t videoDuration(int stream, std::int64_t dts) const override;
    void forEach(int stream, const std::function<void(const IndexedSample&)>& take) const override;
    std::int64_t count(int stream) const override;

    struct Reading;

private:
    Mp4Index() = default;
    const Mp4Track* trackOf(int stream) const;

    mp4::Moov m_moov;
    std::int64_t m_movieScale = 0;
    std::vector<std::unique_ptr<Mp4Track>> m_tracks;
    const AVFormatContext* m_in = nullptr;
    std::unique_ptr<Reading> m_reading;
};

} // namespace quorvane::splitter
