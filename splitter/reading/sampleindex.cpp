// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/reading/sampleindex.h"

#include "splitter/reading/compositionoffsets.h"

#include <algorithm>

namespace quorvane::splitter {

namespace {

class LibraryIndex final : public SampleIndex {
public:
    LibraryIndex(const AVFormatContext* in, std::string path, std::vector<std::int64_t> lastDurations)
        : m_in(in)
        , m_path(std::move(path))
        , m_lastDurations(std::move(lastDurations))
    {
    }

    std::int64_t samplesBefore(int stream, std::int64_t time, AVRational base) const override
    {
        const AVStream* st = m_in->streams[stream];
        // The index is kept in order of decoding time.
        std::int64_t low = 0;
        std::int64_t high = count(stream);
        while (low < high) {
            const std::int64_t mid = low + (high - low) / 2;
            if (av_rescale_q(entry(stream, mid)->timestamp, st->time_base, base) < time)
                low = mid + 1;
            else
                high = mid;
        }
        return low;
    }

    std::int64_t videoDuration(int stream, std::int64_t dts) const override
    {
        if (m_in->streams[stream]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
            return 0;
        const std::int64_t n = count(stream);
        std::int64_t low = 0;
        std::int64_t high = n;
        while (low < high) { // the first entry decoded after dts
            const std::int64_t mid = low + (high - low) / 2;
            if (entry(stream, mid)->timestamp <= dts)
                low = mid + 1;
            else
                high = mid;
        }
        if (low == 0 || entry(stream, low - 1)->timestamp != dts)
            return 0;
        return low == n ? m_lastDurations[static_cast<std::size_t>(stream)] : entry(stream, low)->timestamp - dts;
    }

    void forEach(int stream, const std::function<void(const IndexedSample&)>& take) const override
    {
        const AVStream* st = m_in->streams[stream];
        const std::int64_t n = count(stream);
        const auto composition = readCompositionOffsets(m_path, st->id, n);
        const bool offsets = composition && composition->offsets.size() == static_cast<std::size_t>(n);
        for (std::int64_t e = 0; e < n; ++e) {
            const AVIndexEntry* at = entry(stream, e);
            // The reader shows each sample at its index time plus its own offset plus the track's decoding
            // shift.
            const std::int64_t pts = offsets
                ? at->timestamp + composition->decodeShift + composition->offsets[static_cast<std::size_t>(e)]
                : at->timestamp;
            take({ at->timestamp, pts, (at->flags & AVINDEX_KEYFRAME) != 0, (at->flags & AVINDEX_DISCARD_FRAME) != 0,
                at->pos, at->size, {} });
        }
    }

    std::int64_t count(int stream) const override { return avformat_index_get_entries_count(m_in->streams[stream]); }

private:
    const AVIndexEntry* entry(int stream, std::int64_t e) const
    {
        return avformat_index_get_entry(m_in->streams[stream], static_cast<int>(e));
    }

    const AVFormatContext* m_in;
    std::string m_path;
    std::vector<std::int64_t> m_lastDurations; // per stream, of its last video sample; 0 if unknown
};

} // namespace

std::unique_ptr<SampleIndex> libraryIndex(const AVFormatContext* in, const std::string& path, int ref)
{
    const std::string demuxer = in->iformat->name;
    if (demuxer.find("mp4") == std::string::npos || demuxer.find("mov") == std::string::npos
        || avformat_index_get_entries_count(in->streams[ref]) <= 0)
        return nullptr;
    std::vector<std::int64_t> lastDurations(in->nb_streams, 0);
    for (unsigned s = 0; s < in->nb_streams; ++s) {
        const AVStream* st = in->streams[s];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
            continue;
        const auto composition = readCompositionOffsets(path, st->id, avformat_index_get_entries_count(st));
        // An index rebuilt by an edit list, or a fragmented file: read the packets.
        if (static_cast<int>(s) == ref
            && (!composition
                || composition->offsets.size() != static_cast<std::size_t>(avformat_index_get_entries_count(st))))
            return nullptr;
        if (composition)
            lastDurations[s] = composition->lastDuration;
    }
    return std::make_unique<LibraryIndex>(in, path, std::move(lastDurations));
}

} // namespace quorvane::splitter
