// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstdint>
#include <optional>

// What the tool knows of each codec, in one table: whose packets may be copied into MP4 pieces from the source
// rather than written, whose may stay unread in the source until then, what bytes of them the MP4 writer
// reads, and the codecs that are cut or kept in a way of their own. Each row gives its reason.
namespace quorvane::splitter {

// The MP4 reader hands this codec's packets over exactly as its samples lie in the file (at most their
// headers are looked at), so a piece's muxer writing them as given writes the source's own bytes, which can
// be copied from the source instead (PayloadRuns).
bool reachesMuxerWhole(AVCodecID codec);

// The MP4 reader gives each of this codec's samples as one packet, the sample's bytes as the tables list them.
// Not so a CEA-608 sample, whose packet is the caption data inside the sample's own box header, nor DV, whose
// frames the reader splits into the picture and the sound they carry: an index that stands in for the reader's
// (Mp4Index) cannot give their packets.
bool mp4ReaderGivesSamplesAsTheyAre(AVCodecID codec);

// `stream`'s packets may stay unread in the source until they are copied into the pieces (InPlaceReader):
// FFmpeg 5.1's MP4 writer writes them as given, reading at most bytesTheWriterReads() of each.
bool mayStayUnread(const AVStream* stream);

// How many bytes at the start of each packet the MP4 writer reads of a codec that may stay unread; a packet
// left unread gets zeros there, so what the writer sees is known.
int bytesTheWriterReads(AVCodecID codec);

// The MP4 family stores a cover picture of this codec as a picture of its own, outside the codec tables
// libavformat's query uses.
bool coverPictureInMp4(AVCodecID codec);

// Frames borrow bytes from the frames before them (MP3's bit reservoir): a piece starts with a few frames of
// the piece before, decoded but not shown.
bool borrowsFromFramesBefore(AVCodecID codec);
// How many bytes of the frames before it a frame may borrow at most; 0 for codecs whose frames stand alone.
int bytesBorrowedAtMost(AVCodecID codec);

// Each frame's sound overlaps the frame before it (their transforms overlap): a frame decodes whole only after
// the one before it, so a piece's sound starts a frame early, hidden by its edit list.
bool overlapsFrameBefore(AVCodecID codec);

// The decoder skips as many samples at the start as the stream's header says (Opus's pre-skip, which Matroska
// repeats as the track's CodecDelay), wherever they end: a Matroska piece can start inside a frame.
bool skipsSamplesAtStart(AVCodecID codec);

// Matroska pieces after the first start with frames of the piece before, so that their first frame decodes as
// in the source, where nothing needs a player to hide them: at least one, and as many as hold `samples` (a
// decoder that converges, as Opus's does in 80 ms). None where a player would hear them.
struct FramesBefore {
    int samples = 0;
};
std::optional<FramesBefore> framesBeforeAPiece(AVCodecID codec);

// The first frame a decoder is given only primes it and gives no sound (Vorbis, whose frames are the overlaps of
// two blocks): the frame before a piece's first needs nothing to hide it.
bool firstFrameIsSilent(AVCodecID codec);

// The samples `packet` decodes to: counted from an Opus packet's table of contents (at 48 kHz, as its pre-skip
// is) or an E-AC-3 frame's header, else samplesPerFrame() or what libavcodec knows of the codec; 0 when not
// known.
int samplesIn(const AVCodecParameters* codec, const AVPacket* packet);

// The rate samplesIn() and an Opus pre-skip count in.
int sampleClock(const AVCodecParameters* codec);

// Sets the pre-skip that `codec`'s header carries (Opus: OpusHead's, in its extradata), where it has one.
void setPreSkip(AVCodecParameters* codec, int samples);

// Samples in each audio frame where all frames hold as many; 0 when not known. FLAC says it only in its
// STREAMINFO (its smallest and largest block size).
int samplesPerFrame(const AVCodecParameters* codec);

// Subtitles whose events are text, which a cut can shorten: what shows past the cut goes to the next piece.
bool isTextSubtitle(const AVCodecParameters* codec);

// Bitmap subtitles whose pictures show until a later packet clears them (Blu-ray's PGS, DVB): whether
// `packet` shows a picture (true) or clears it (false); nullopt for other codecs, or a packet not understood.
std::optional<bool> showsPicture(AVCodecID codec, const AVPacket* packet);

// A copy of such a picture, shown again where a piece starts, made to stand on its own where the codec marks
// whether a picture needs the ones before (a PGS display set starting a new epoch). `packet` is writable.
void standAlone(AVCodecID codec, AVPacket* packet);

// A DVD subtitle picture says itself when it stops showing: made to stop after `ticks` of 1/90000 s where it
// would show longer. `packet` is writable; other codecs are left as they are.
void stopShowingAfter(AVCodecID codec, AVPacket* packet, std::int64_t ticks);

} // namespace quorvane::splitter
