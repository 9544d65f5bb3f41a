// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/media/codecpolicy.h"

#include "splitter/bitstream/nalunits.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/codec_desc.h>
#include <libavutil/intreadwrite.h>
}

#include <algorithm>
#include <cstdint>

namespace quorvane::splitter {

namespace {

enum class Unread {
    Never, // the writer reads or changes the packets, or has not been checked
    Always,
    LengthPrefixed, // only when stored length-prefixed: the writer converts an Annex B stream, reading it
};

struct CodecRow {
    AVCodecID codec;
    bool whole; // see reachesMuxerWhole
    Unread unread; // see mayStayUnread
    int bytesRead; // see bytesTheWriterReads
};

// Codecs not listed go through a parser in the MP4 reader that may cut or join samples (MP3, MPEG video,
// AC-3, ...), so their bytes are not known to lie where the packet says; they are written as usual.
constexpr CodecRow codecs[] = {
    // Length-prefixed in MP4 (avcC, hvcC) and written as given; an Annex B stream would be converted.
    { AV_CODEC_ID_H264, true, Unread::LengthPrefixed, 0 },
    { AV_CODEC_ID_HEVC, true, Unread::LengthPrefixed, 0 },
    // The writer filters AV1's OBUs, and the reader as usual parses VP9 (superframes): never left unread.
    { AV_CODEC_ID_AV1, true, Unread::Never, 0 },
    { AV_CODEC_ID_VP9, true, Unread::Never, 0 },
    // Whole frames that the writer never looks into.
    { AV_CODEC_ID_MPEG4, true, Unread::Always, 0 },
    { AV_CODEC_ID_PRORES, true, Unread::Always, 0 },
    { AV_CODEC_ID_MJPEG, true, Unread::Always, 0 },
    // The writer checks that a packet does not start with an ADTS header, and refuses one that does: it reads
    // the first two bytes.
    { AV_CODEC_ID_AAC, true, Unread::Always, 2 },
    // Whole samples, but seldom large enough to be worth leaving unread; not checked against the writer.
    { AV_CODEC_ID_ALAC, true, Unread::Never, 0 },
    { AV_CODEC_ID_OPUS, true, Unread::Never, 0 },
    { AV_CODEC_ID_MOV_TEXT, true, Unread::Never, 0 },
};

const CodecRow* rowOf(AVCodecID codec)
{
    for (const CodecRow& row : codecs) {
        if (row.codec == codec)
            return &row;
    }
    return nullptr;
}

bool isAnnexB(const AVCodecParameters* par)
{
    // A header that tells neither start codes nor lengths may be taken for Annex B by the writer, which then
    // reads the packets.
    const auto framing = unitFraming(
        par->codec_id == AV_CODEC_ID_HEVC ? NalCodec::Hevc : NalCodec::Avc, par->extradata, par->extradata_size);
    return !framing || framing->startCodes();
}

} // namespace

bool reachesMuxerWhole(AVCodecID codec)
{
    const CodecRow* row = rowOf(codec);
    return row && row->whole;
}

bool mp4ReaderGivesSamplesAsTheyAre(AVCodecID codec)
{
    return codec != AV_CODEC_ID_EIA_608 && codec != AV_CODEC_ID_DVVIDEO && codec != AV_CODEC_ID_DVAUDIO;
}

bool mayStayUnread(const AVStream* stream)
{
    const AVCodecParameters* par = stream->codecpar;
    const CodecRow* row = rowOf(par->codec_id);
    if (!row || row->unread == Unread::Never)
        return false;
    // Audio only as AAC; a cover picture is written once per piece, from memory.
    if (par->codec_id == AV_CODEC_ID_AAC)
        return par->codec_type == AVMEDIA_TYPE_AUDIO;
    if (par->codec_type != AVMEDIA_TYPE_VIDEO || (stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
        return false;
    return row->unread == Unread::Always || !isAnnexB(par);
}

int bytesTheWriterReads(AVCodecID codec)
{
    const CodecRow* row = rowOf(codec);
    return row ? row->bytesRead : 0;
}

bool coverPictureInMp4(AVCodecID codec)
{
    return codec == AV_CODEC_ID_PNG || codec == AV_CODEC_ID_MJPEG || codec == AV_CODEC_ID_BMP;
}

bool borrowsFromFramesBefore(AVCodecID codec) { return bytesBorrowedAtMost(codec) > 0; }

int bytesBorrowedAtMost(AVCodecID codec)
{
    // An MP3 frame's side information says where its data begins, up to 511 bytes (9 bits) back.
    return codec == AV_CODEC_ID_MP3 ? 511 : 0;
}

bool overlapsFrameBefore(AVCodecID codec)
{
    return codec == AV_CODEC_ID_AAC || codec == AV_CODEC_ID_AC3 || codec == AV_CODEC_ID_EAC3
        || codec == AV_CODEC_ID_MP3;
}

bool skipsSamplesAtStart(AVCodecID codec) { return codec == AV_CODEC_ID_OPUS; }

std::optional<FramesBefore> framesBeforeAPiece(AVCodecID codec)
{
    // Opus's decoder has settled after 80 ms (the SeekPreRoll Matroska gives it), and the header's pre-skip hides
    // them. A Vorbis decoder's first frame gives no sound: nothing needs hiding.
    if (codec == AV_CODEC_ID_OPUS)
        return FramesBefore { 3840 };
    if (firstFrameIsSilent(codec))
        return FramesBefore {};
    // An AAC, MP3 or AC-3 frame before a piece's first would have to be hidden by its DiscardPadding, which only
    // FFmpeg's reader honours for them: GStreamer's plays it, Firefox refuses an AAC track that has one before its
    // last frame, and FFmpeg's moves an AC-3 frame's to the frame before. Those pieces start with a frame decoded
    // without the one before it, as in every player.
    return std::nullopt;
}

bool firstFrameIsSilent(AVCodecID codec) { return codec == AV_CODEC_ID_VORBIS; }

int sampleClock(const AVCodecParameters* codec)
{
    return codec->codec_id == AV_CODEC_ID_OPUS ? 48000 : codec->sample_rate;
}

int samplesIn(const AVCodecParameters* codec, const AVPacket* packet)
{
    if (codec->codec_id == AV_CODEC_ID_EAC3 && packet->size >= 5 && AV_RB16(packet->data) == 0x0b77) {
        // After the sync word and the frame's size: the rate's code, then the count of 256-sample blocks'
        // (six where the rate is a reduced one).
        static constexpr int blocks[] = { 1, 2, 3, 6 };
        return (packet->data[4] >> 6) == 3 ? 6 * 256 : blocks[(packet->data[4] >> 4) & 3] * 256;
    }
    if (codec->codec_id != AV_CODEC_ID_OPUS) {
        const int each = samplesPerFrame(codec);
        return each > 0
            ? each
            : std::max(0, av_get_audio_frame_duration2(const_cast<AVCodecParameters*>(codec), packet->size));
    }
    if (packet->size < 1)
        return 0;
    // The first byte's configuration gives each frame's length (SILK 10 to 60 ms, hybrid 10 or 20, CELT 2.5 to
    // 20), its last two bits how many frames follow.
    const int config = packet->data[0] >> 3;
    static constexpr int silk[] = { 480, 960, 1920, 2880 };
    const int frame = config < 12 ? silk[config % 4] : config < 16 ? 480 << (config % 2) : 120 << (config % 4);
    switch (packet->data[0] & 3) {
    case 0:
        return frame;
    case 1:
    case 2:
        return 2 * frame;
    default:
        return packet->size >= 2 ? frame * (packet->data[1] & 0x3f) : 0;
    }
}

void setPreSkip(AVCodecParameters* codec, int samples)
{
    // OpusHead: the magic, a version, the channel count, then the pre-skip (16 bits, little-endian).
    if (codec->codec_id != AV_CODEC_ID_OPUS || codec->extradata_size < 12 || samples < 0 || samples > 0xffff)
        return;
    AV_WL16(codec->extradata + 10, static_cast<std::uint16_t>(samples));
}

int samplesPerFrame(const AVCodecParameters* codec)
{
    if (codec->frame_size > 0)
        return codec->frame_size;
    if (codec->codec_id == AV_CODEC_ID_FLAC && codec->extradata_size >= 4 && AV_RB16(codec->extradata) > 0
        && AV_RB16(codec->extradata) == AV_RB16(codec->extradata + 2))
        return AV_RB16(codec->extradata);
    return 0;
}

std::optional<bool> showsPicture(AVCodecID codec, const AVPacket* packet)
{
    const std::uint8_t* data = packet->data;
    const int size = packet->size;
    if (codec == AV_CODEC_ID_HDMV_PGS_SUBTITLE) {
        // Segments of type, length, data; the presentation composition (0x16) counts the objects shown.
        for (int at = 0; at + 3 <= size; at += 3 + AV_RB16(data + at + 1)) {
            if (data[at] == 0x16 && at + 3 + 11 <= size)
                return data[at + 3 + 10] > 0;
        }
        return std::nullopt;
    }
    if (codec == AV_CODEC_ID_DVB_SUBTITLE) {
        // Segments of sync byte, type, page, length, data (after a data identifier and stream id where the
        // reader left them); the page composition (0x10) lists its regions, six bytes each, after its time-out
        // and state.
        for (int at = size > 0 && data[0] == 0x20 ? 2 : 0; at + 6 <= size && data[at] == 0x0f;
             at += 6 + AV_RB16(data + at + 4)) {
            if (data[at + 1] == 0x10)
                return AV_RB16(data + at + 4) > 2;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

void standAlone(AVCodecID codec, AVPacket* packet)
{
    if (codec != AV_CODEC_ID_HDMV_PGS_SUBTITLE)
        return;
    // An epoch start only where the display set brings its own objects (0x15).
    std::uint8_t* state = nullptr;
    bool objects = false;
    for (int at = 0; at + 3 <= packet->size; at += 3 + AV_RB16(packet->data + at + 1)) {
        if (packet->data[at] == 0x16 && at + 3 + 8 <= packet->size)
            state = packet->data + at + 3 + 7;
        objects = objects || packet->data[at] == 0x15;
    }
    if (state && objects)
        *state = 0x80;
}

void stopShowingAfter(AVCodecID codec, AVPacket* packet, std::int64_t ticks)
{
    if (codec != AV_CODEC_ID_DVD_SUBTITLE || packet->size < 4)
        return;
    // The control sequences after the picture: each a delay in 1024/90000 s, the next one's place, and
    // commands up to 0xff; command 0x02 stops the display.
    std::uint8_t* data = packet->data;
    const int size = packet->size;
    const int delay = static_cast<int>(std::min<std::int64_t>(0xffff, std::max<std::int64_t>(0, ticks / 1024)));
    for (int at = AV_RB16(data + 2), visited = 0; at + 4 <= size && visited < 64; ++visited) {
        const int next = AV_RB16(data + at + 2);
        for (int c = at + 4; c < size && data[c] != 0xff;) {
            const std::uint8_t command = data[c];
            if (command == 0x02 && AV_RB16(data + at) > delay)
                AV_WB16(data + at, static_cast<std::uint16_t>(delay));
            // Each command's length, with its arguments.
            static constexpr int lengths[] = { 1, 1, 1, 3, 3, 7, 5 };
            if (command > 6)
                break;
            c += lengths[command];
        }
        if (next == at)
            break;
        at = next;
    }
}

bool isTextSubtitle(const AVCodecParameters* codec)
{
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec->codec_id);
    return codec->codec_type == AVMEDIA_TYPE_SUBTITLE && descriptor && (descriptor->props & AV_CODEC_PROP_TEXT_SUB);
}

} // namespace quorvane::splitter
