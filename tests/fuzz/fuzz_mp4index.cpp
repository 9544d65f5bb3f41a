// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
// The tool's own reading of an MP4-family file's index, given the payload of a "moov" box: its boxes, each
// track's sample tables stepped through sample by sample and modelled as libavformat's reader gives them,
// the index with its shortened moov, and the composition offsets read from the same bytes.
#include "splitter/reading/compositionoffsets.h"
#include "splitter/reading/mp4index.h"
#include "splitter/reading/mp4tables.h"
#include "splitter/reading/mp4track.h"
#include "splitter/reading/samplecursor.h"
#include "splitter/reading/shortenedmoov.h"

#include <cstdlib>
#include <cstring>

using namespace quorvane::splitter;
using namespace quorvane::splitter::mp4;

namespace {

struct ContextFree {
    void operator()(AVFormatContext* context) const { avformat_free_context(context); }
};

// Every box, down as far as payloads read as boxes.
void walkBoxes(const Bytes& data, std::size_t from, std::size_t to, int depth)
{
    const auto boxes = children(data, from, to);
    if (!boxes || depth > 6)
        return;
    for (const Box& box : *boxes) {
        if (box.is("tkhd"))
            trackIdOf(data, box);
        walkBoxes(data, box.payload, box.payload + box.size, depth + 1);
    }
}

// The stream libavformat would make of a track, as far as the model asks: its kind from its handler.
void describe(AVStream* st, const Bytes& data, const Trak& trak)
{
    const Box* hdlr = trak.mdia ? find(*trak.mdia, "hdlr") : nullptr;
    const bool sound = hdlr && hdlr->size >= 12 && std::memcmp(&data[hdlr->payload + 8], "soun", 4) == 0;
    st->id = trak.id;
    st->codecpar->codec_type = sound ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO;
    st->codecpar->codec_id = sound ? AV_CODEC_ID_AAC : AV_CODEC_ID_H264;
}

// Each track as the index models it once bound to a stream.
void modelTracks(const Bytes& data, std::int64_t movieScale)
{
    const std::unique_ptr<AVFormatContext, ContextFree> in(avformat_alloc_context());
    const auto top = children(data, 0, data.size());
    if (!in || !top)
        return;
    for (const Box& box : *top) {
        if (!box.is("trak"))
            continue;
        const auto trak = walkTrak(data, box);
        auto tables = trak ? readSampleTables(data, *trak) : std::nullopt;
        AVStream* st = avformat_new_stream(in.get(), nullptr);
        if (!tables || !st)
            continue;
        describe(st, data, *trak);
        Mp4Track track;
        static_cast<SampleTables&>(track) = *tables;
        if (!modelReading(data, track, st, movieScale))
            continue;
        wholeTableValues(track, st);
        wholeFrameRate(track);
        SampleCursor cursor = track.cursor(data);
        for (std::int64_t i = 0; i < track.kept; ++i) {
            const RawSample raw = cursor.next();
            edit(track, raw, i + 1 == static_cast<std::int64_t>(track.sizes.count));
            rawDts(data, track, i);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Bytes payload(data, data + size);
    walkBoxes(payload, 0, payload.size(), 0);
    // As libavformat's index would list a track's samples: at most one a sizes table's entry.
    for (const int track : { 1, 2 })
        compositionOffsetsInMoov(payload, track, static_cast<std::int64_t>(size / 4));

    // As if the box lay at the file's start, followed by a MiB of media.
    const auto boxSize = static_cast<std::int64_t>(size) + 8;
    Moov moov { 0, boxSize, payload, boxSize + (1 << 20) };
    auto index = Mp4Index::fromMoov(std::move(moov));
    if (!index)
        return 0;
    for (const std::uint32_t keep : { 1u, 3u, 4096u }) {
        const Bytes shortened = index->shortMoov(keep);
        if (!shortened.empty() && shortened.size() > size + 8)
            std::abort(); // it must fit where the whole one was
    }
    const auto top = children(payload, 0, payload.size());
    const Box* mvhd = find(*top, "mvhd");
    modelTracks(payload, big32(payload, mvhd->payload + (payload[mvhd->payload] == 1 ? 20 : 12)));
    return 0;
}
