// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/reading/mp4track.h"

#include "splitter/media/codecpolicy.h"

#include <algorithm>
#include <climits>

namespace quorvane::splitter {

using namespace mp4;

namespace {

// What kind of stream the track is, as far as the reader treats kinds apart; false for one whose samples the
// reader does not give as the tables list them.
bool bindKind(Mp4Track& t, const AVStream* st)
{
    const AVCodecParameters* par = st->codecpar;
    t.audio = par->codec_type == AVMEDIA_TYPE_AUDIO;
    t.video = par->codec_type == AVMEDIA_TYPE_VIDEO;
    t.aac = par->codec_id == AV_CODEC_ID_AAC;
    t.vorbis = par->codec_id == AV_CODEC_ID_VORBIS;
    t.skipped = st->discard == AVDISCARD_ALL;
    if (!mp4ReaderGivesSamplesAsTheyAre(par->codec_id))
        return false;
    if (t.video && par->bits_per_coded_sample > 0 && par->bits_per_coded_sample <= 8)
        return false; // a palette may come with the first packet
    return !t.ctts.present || t.video;
}

// The edits in the track's own ticks; false for an edit past any time a track reaches (mp4::readSampleTables),
// which the sums of times that place the samples could not hold.
bool placeEdit(Mp4Track& t, std::int64_t movieScale)
{
    if (!t.edited)
        return true;
    t.empty = av_rescale(t.emptyEdit, t.scale, movieScale);
    t.media = t.editMedia;
    const std::int64_t length = av_rescale(t.editDuration, t.scale, movieScale);
    if (t.empty < 0 || t.empty > mp4::longestTime || t.media > mp4::longestTime || length < 0
        || length > mp4::longestTime)
        return false;
    t.editEnd = t.media + length;
    return true;
}

// Runs through the samples as the reader arranges its index for the edit: which it keeps, how far their times
// move, what an AAC decoder skips. False where the edit starts after every sample.
bool walkSamples(const Bytes& data, Mp4Track& t)
{
    const std::int64_t samples = t.sizes.count;
    SampleCursor cursor = t.cursor(data);
    bool started = !t.edited;
    bool keyAfterEdit = false;
    bool stopped = false;
    std::int64_t counter = t.empty - t.dtsShift;
    std::int64_t firstShown = -1;
    t.offset = -t.dtsShift;
    t.kept = t.edited ? 0 : samples;
    for (std::int64_t i = 0; i < samples; ++i) {
        const RawSample raw = cursor.next();
        t.bytes += static_cast<std::uint64_t>(raw.size);
        t.timed += raw.delta;
        t.lastDelta = raw.delta;
        if (!t.edited || stopped)
            continue;
        const bool last = i + 1 == samples;
        const std::int64_t length = last ? t.editEnd - t.media : raw.delta;
        const std::int64_t shown = raw.dts + raw.composition;
        const Edited edited = edit(t, raw, last);
        if (edited.cutInto > 0) {
            t.skip += edited.cutInto;
            counter -= edited.cutInto;
        } else if (edited.discard && !started && t.audio && !t.vorbis) {
            t.skip += length;
        }
        if (!started && !edited.discard) {
            started = true;
            t.offset = counter - raw.dts;
        }
        if (!edited.discard && edited.cutInto == 0) {
            const std::int64_t pts = counter + raw.composition + t.dtsShift;
            firstShown = firstShown < 0 ? pts : std::min(firstShown, pts);
        }
        if (started)
            counter += length;
        t.kept = i + 1;
        if (shown + length >= t.editEnd && (raw.key || t.audio)) {
            if (t.ctts.present && !keyAfterEdit) {
                keyAfterEdit = true;
                continue;
            }
            stopped = true; // the rest is not read
        }
    }
    if (t.video && firstShown - t.empty > 0)
        t.offset -= firstShown - t.empty;
    return started;
}

// Each time-to-sample entry's first sample and decoding time, to find a sample's time without stepping.
void indexRuns(const Bytes& data, Mp4Track& t)
{
    for (std::uint32_t e = 0, first = 0; e < t.stts.count; ++e) {
        t.runSample.push_back(first);
        first += big32(data, t.stts.entries + e * 8);
    }
    t.runDts.reserve(t.runSample.size());
    for (std::size_t e = 0, dts = 0; e < t.runSample.size(); ++e) {
        t.runDts.push_back(static_cast<std::int64_t>(dts));
        dts += static_cast<std::size_t>(big32(data, t.stts.entries + e * 8)) * big32(data, t.stts.entries + e * 8 + 4);
    }
}

} // namespace

Edited edit(const Mp4Track& t, const RawSample& raw, bool last)
{
    if (!t.edited)
        return {};
    const std::int64_t shown = raw.dts + raw.composition;
    if (shown >= t.media && shown < t.editEnd)
        return {};
    const std::int64_t length = last ? t.editEnd - t.media : raw.delta;
    if (t.audio && !t.vorbis && shown < t.media && shown + length > t.media)
        return { false, t.media - shown };
    return { true, 0 };
}

bool modelReading(const Bytes& data, Mp4Track& t, const AVStream* st, std::int64_t movieScale)
{
    if (!bindKind(t, st))
        return false;
    t.dtsShift = decodeShift(data, t.ctts);
    if (!placeEdit(t, movieScale) || !walkSamples(data, t))
        return false;
    // The stream's duration as the whole tables would leave it.
    t.duration = std::min<std::int64_t>(t.mdhdDuration, t.timed > 0 ? t.timed : t.mdhdDuration);
    if (t.edited)
        t.duration = std::min(t.duration, t.editEnd - t.media + t.empty);
    if (!t.aac)
        t.skip = 0;
    indexRuns(data, t);
    return true;
}

bool listsAsModelled(const Bytes& data, const Mp4Track& t, AVStream* st)
{
    const int listed = avformat_index_get_entries_count(st);
    const bool whole = !t.cut;
    if (whole && listed != t.kept)
        return false;
    SampleCursor check = t.cursor(data);
    const std::int64_t compared = whole ? listed : std::max(0, listed - 1);
    const std::int64_t samples = t.sizes.count;
    for (std::int64_t i = 0; i < compared; ++i) {
        const RawSample raw = check.next();
        const AVIndexEntry* entry = avformat_index_get_entry(st, static_cast<int>(i));
        const Edited edited = edit(t, raw, i + 1 == samples);
        const int flags = (raw.key ? AVINDEX_KEYFRAME : 0) | (edited.discard ? AVINDEX_DISCARD_FRAME : 0);
        if (entry->pos != raw.pos || entry->size != raw.size || entry->timestamp != raw.dts + t.offset
            || (entry->flags & (AVINDEX_KEYFRAME | AVINDEX_DISCARD_FRAME)) != flags)
            return false;
    }
    if (!whole && (listed < 2 || t.kept <= listed))
        return false;
    // A last sample the reader would guess the length of.
    return t.video || t.kept == 0 || t.duration - (rawDts(data, t, t.kept - 1) + t.offset) > 0;
}

DeclaredHeader wholeTableValues(const Mp4Track& t, const AVStream* st)
{
    DeclaredHeader header;
    header.fromWholeTables = true;
    header.found = { st->duration, st->codecpar->bit_rate };
    header.whole = header.found;
    header.whole.duration = t.duration;
    const std::int64_t before = std::min<std::int64_t>(t.mdhdDuration, t.timed > 0 ? t.timed : t.mdhdDuration);
    if (before > 0)
        header.whole.bitRate = static_cast<std::int64_t>(
            t.bytes * 8 * static_cast<std::uint64_t>(t.scale) / static_cast<std::uint64_t>(before));
    return header;
}

std::optional<AVRational> wholeFrameRate(const Mp4Track& t)
{
    const std::int64_t samples = t.sizes.count;
    if (!t.video || samples == 0 || t.timed <= 0)
        return std::nullopt;
    AVRational rate {};
    av_reduce(&rate.num, &rate.den, t.scale * samples, t.timed, INT_MAX);
    return rate;
}

std::int64_t rawDts(const Bytes& data, const Mp4Track& t, std::int64_t i)
{
    const auto run = std::upper_bound(t.runSample.begin(), t.runSample.end(), i) - t.runSample.begin() - 1;
    const auto e = static_cast<std::size_t>(run);
    return t.runDts[e] + (i - t.runSample[e]) * big32(data, t.stts.entries + e * 8 + 4);
}

} // namespace quorvane::splitter
