// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/reading/shortenedmoov.h"

#include "splitter/reading/mp4tables.h"

#include <algorithm>
#include <climits>
#include <cstring>

extern "C" {
#include <libavutil/intreadwrite.h>
}

namespace quorvane::splitter {

namespace mp4 {

namespace {

void putBig(Bytes& out, std::uint64_t value, int n)
{
    for (int i = n - 1; i >= 0; --i)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// A box of `type` around `payload`.
void putBox(Bytes& out, const char* type, const Bytes& payload)
{
    putBig(out, payload.size() + 8, 4);
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), payload.begin(), payload.end());
}

// Run-length entries (count, value) of `table` covering the first `keep` samples.
Bytes shortRuns(const Bytes& data, const Box& box, std::uint32_t keep)
{
    Bytes out(data.begin() + static_cast<std::ptrdiff_t>(box.payload),
        data.begin() + static_cast<std::ptrdiff_t>(box.payload + 8));
    std::uint32_t entries = 0;
    std::uint32_t covered = 0;
    const std::uint32_t count = big32(data, box.payload + 4);
    for (std::uint32_t e = 0; e < count && covered < keep; ++e) {
        const std::uint32_t n = std::min(big32(data, box.payload + 8 + e * 8), keep - covered);
        putBig(out, n, 4);
        putBig(out, big32(data, box.payload + 8 + e * 8 + 4), 4);
        covered += n;
        ++entries;
    }
    AV_WB32(&out[4], entries);
    return out;
}

// The sample tables of an "stbl" box, each cut after the chunk that holds sample `keep`: a chunk holding
// more samples than the sizes table lists would stop the reader's index short.
Bytes shortTables(const Bytes& data, const Box& stblBox, std::uint32_t keep)
{
    const auto stbl = inside(data, &stblBox);
    const Box* stsc = stbl ? find(*stbl, "stsc") : nullptr;
    const bool co64 = stbl && find(*stbl, "co64") != nullptr;
    const Box* chunks = stbl ? find(*stbl, co64 ? "co64" : "stco") : nullptr;
    // A track without samples may have no chunks: nothing to cut.
    if (!stsc || !chunks)
        return Bytes(data.begin() + static_cast<std::ptrdiff_t>(stblBox.payload),
            data.begin() + static_cast<std::ptrdiff_t>(stblBox.payload + stblBox.size));
    std::uint32_t chunkCount = 0;
    std::uint32_t stscEntries = 0;
    const std::uint32_t allChunks = big32(data, chunks->payload + 4);
    const std::uint32_t stscCount = big32(data, stsc->payload + 4);
    const std::uint32_t samples = big32(data, find(*stbl, "stsz")->payload + 8);
    std::uint64_t covered = 0;
    while (chunkCount < allChunks && covered < keep) {
        while (stscEntries < stscCount && big32(data, stsc->payload + 8 + stscEntries * 12) <= chunkCount + 1)
            ++stscEntries;
        if (stscEntries == 0)
            break; // no samples in the chunks
        covered += big32(data, stsc->payload + 8 + (stscEntries - 1) * 12 + 4);
        ++chunkCount;
    }
    keep = static_cast<std::uint32_t>(std::min<std::uint64_t>(covered, samples));
    Bytes out;
    for (const Box& box : *stbl) {
        Bytes payload;
        const auto whole = [&] {
            return Bytes(data.begin() + static_cast<std::ptrdiff_t>(box.payload),
                data.begin() + static_cast<std::ptrdiff_t>(box.payload + box.size));
        };
        if (box.is("stsz")) {
            const bool each = big32(data, box.payload + 4) == 0;
            payload.assign(data.begin() + static_cast<std::ptrdiff_t>(box.payload),
                data.begin() + static_cast<std::ptrdiff_t>(box.payload + 12 + (each ? std::size_t(keep) * 4 : 0)));
            AV_WB32(&payload[8], keep);
        } else if (box.is("stts") || box.is("ctts")) {
            payload = shortRuns(data, box, keep);
        } else if (box.is("stss")) {
            payload.assign(data.begin() + static_cast<std::ptrdiff_t>(box.payload),
                data.begin() + static_cast<std::ptrdiff_t>(box.payload + 8));
            std::uint32_t n = 0;
            const std::uint32_t count = big32(data, box.payload + 4);
            while (n < count && big32(data, box.payload + 8 + n * 4) <= keep)
                putBig(payload, big32(data, box.payload + 8 + n++ * 4), 4);
            AV_WB32(&payload[4], n);
        } else if (&box == chunks) {
            const std::size_t entry = co64 ? 8 : 4;
            payload.assign(data.begin() + static_cast<std::ptrdiff_t>(box.payload),
                data.begin() + static_cast<std::ptrdiff_t>(box.payload + 8 + chunkCount * entry));
            AV_WB32(&payload[4], chunkCount);
        } else if (box.is("stsc")) {
            payload.assign(data.begin() + static_cast<std::ptrdiff_t>(box.payload),
                data.begin() + static_cast<std::ptrdiff_t>(box.payload + 8 + stscEntries * 12));
            AV_WB32(&payload[4], stscEntries);
        } else if (box.is("sdtp")) {
            payload.assign(data.begin() + static_cast<std::ptrdiff_t>(box.payload),
                data.begin() + static_cast<std::ptrdiff_t>(box.payload + std::min<std::size_t>(box.size, 4 + keep)));
        } else {
            payload = whole();
        }
        putBox(out, box.type, payload);
    }
    return out;
}

// The boxes of [from, to) with each track's "stbl" shortened. `depth` counts the boxes down to it, each the one
// the index read: the moov's own, then a trak's, an mdia's and a minf's; any box elsewhere stays as it is.
Bytes shortened(const Bytes& data, std::size_t from, std::size_t to, std::uint32_t keep, int depth = 0)
{
    static constexpr const char* path[] = { "trak", "mdia", "minf" };
    Bytes out;
    const auto boxes = children(data, from, to);
    if (!boxes)
        return Bytes(data.begin() + static_cast<std::ptrdiff_t>(from), data.begin() + static_cast<std::ptrdiff_t>(to));
    for (const Box& box : *boxes) {
        if (depth < 3 && box.is(path[depth])) {
            putBox(out, box.type, shortened(data, box.payload, box.payload + box.size, keep, depth + 1));
        } else if (depth == 3 && box.is("stbl")) {
            putBox(out, box.type, shortTables(data, box, keep));
        } else {
            out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(box.at),
                data.begin() + static_cast<std::ptrdiff_t>(box.payload + box.size));
        }
    }
    return out;
}

} // namespace

Bytes shortenedMoov(const Moov& moov, std::uint32_t keep)
{
    Bytes out;
    putBox(out, "moov", shortened(moov.payload, 0, moov.payload.size(), keep));
    const std::int64_t room = moov.size - static_cast<std::int64_t>(out.size());
    if (room < 8 || room > UINT32_MAX)
        return {};
    // The free box's header; what it holds reads as zeros (ShortenedMoov).
    putBig(out, static_cast<std::uint64_t>(room), 4);
    out.insert(out.end(), { 'f', 'r', 'e', 'e' });
    return out;
}

} // namespace mp4

using mp4::Bytes;

namespace {

int readShortened(void* opaque, std::uint8_t* buffer, int size)
{
    return static_cast<ShortenedMoov*>(opaque)->readIn(buffer, size);
}

std::int64_t seekShortened(void* opaque, std::int64_t offset, int whence)
{
    return static_cast<ShortenedMoov*>(opaque)->seek(offset, whence);
}

} // namespace

ShortenedMoov::ShortenedMoov(const std::string& path, std::int64_t at, std::int64_t length, Bytes bytes)
    : m_file(SystemFile::openForReading(path))
    , m_at(at)
    , m_length(bytes.empty() ? 0 : length)
    , m_bytes(std::move(bytes))
{
    m_size = m_file.isOpen() ? m_file.regularFileSize() : -1;
    if (m_size >= m_at + m_length && m_length >= static_cast<std::int64_t>(m_bytes.size()))
        m_io = newIoContext(32 * 1024, this, readShortened, nullptr, seekShortened);
}

int ShortenedMoov::readIn(std::uint8_t* buffer, int size)
{
    if (m_pos >= m_size)
        return AVERROR_EOF;
    const std::int64_t given = m_at + static_cast<std::int64_t>(m_bytes.size());
    if (m_pos >= m_at && m_pos < m_at + m_length) {
        const int n = static_cast<int>(std::min<std::int64_t>(size, (m_pos < given ? given : m_at + m_length) - m_pos));
        if (m_pos < given)
            std::memcpy(buffer, m_bytes.data() + (m_pos - m_at), static_cast<std::size_t>(n));
        else
            std::memset(buffer, 0, static_cast<std::size_t>(n));
        m_pos += n;
        return n;
    }
    // Up to the replaced bytes, not into them.
    const std::int64_t limit = m_pos < m_at ? m_at - m_pos : size;
    const int got = m_file.readSome(buffer, static_cast<int>(std::min<std::int64_t>(size, limit)), m_pos);
    if (got > 0)
        m_pos += got;
    return got;
}

std::int64_t ShortenedMoov::seek(std::int64_t offset, int whence)
{
    const std::int64_t to = seekTarget(offset, whence, m_pos, m_size);
    if (to >= 0 && !(whence & AVSEEK_SIZE))
        m_pos = to;
    return to;
}

} // namespace quorvane::splitter
