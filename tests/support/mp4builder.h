// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Small MP4 files made box by box, with one video track whose sample tables a test sets entry by entry (and may
// damage): ftyp, then mdat with the samples' bytes, then moov.
namespace quorvane::test {

using Bytes = std::vector<unsigned char>;

// `value`'s low `n` bytes, the most significant first (zeros above its eight).
template <typename Integer> Bytes be(Integer value, int n)
{
    const auto bits = static_cast<std::uint64_t>(value);
    Bytes out;
    for (int i = n - 1; i >= 0; --i)
        out.push_back(i < 8 ? static_cast<unsigned char>(bits >> (8 * i)) : static_cast<unsigned char>(0));
    return out;
}

inline Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline Bytes box(const char* type, const Bytes& payload) { return be(payload.size() + 8, 4) + text(type) + payload; }

struct Mp4Tables {
    int id = 1;
    std::uint32_t scale = 1000;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> stts; // count, delta
    std::vector<std::pair<std::uint32_t, std::int32_t>> ctts; // count, offset; none without entries
    std::vector<std::uint32_t> stss; // from 1; none without entries
    std::vector<std::uint32_t> stsc; // samples in each chunk, one entry a chunk
    std::vector<std::uint32_t> sizes;
    std::vector<std::uint32_t> chunks; // offsets from the first byte of mdat's payload
    int descriptions = 1;
    // Counts written in the table headers where they should differ from the entries given (damage).
    std::int64_t sttsCount = -1;
    std::int64_t sizesCount = -1;
    std::int64_t dataSize = -1; // mdat's payload; by default as much as the chunks take
};

// The file, and where mdat's payload starts in it.
struct Mp4File {
    Bytes bytes;
    std::uint32_t dataAt = 0;
};

inline Bytes fullBox(const char* type, const Bytes& payload) { return box(type, be(0, 4) + payload); }

inline Bytes sampleTables(const Mp4Tables& t, std::uint32_t dataAt)
{
    // A visual sample entry: 24 bits a pixel, 64x48.
    const Bytes entry = box("mp4v",
        be(0, 6) + be(1, 2) + be(0, 16) + be(64, 2) + be(48, 2) + be(0x480000, 4) + be(0x480000, 4) + be(0, 4)
            + be(1, 2) + Bytes(32, 0) + be(24, 2) + be(0xffff, 2));
    Bytes descriptions;
    for (int d = 0; d < t.descriptions; ++d)
        descriptions = descriptions + entry;
    Bytes stts = be(t.sttsCount >= 0 ? t.sttsCount : static_cast<std::int64_t>(t.stts.size()), 4);
    for (const auto& [count, delta] : t.stts)
        stts = stts + be(count, 4) + be(delta, 4);
    Bytes ctts = be(t.ctts.size(), 4);
    for (const auto& [count, offset] : t.ctts)
        ctts = ctts + be(count, 4) + be(static_cast<std::uint32_t>(offset), 4);
    Bytes stss = be(t.stss.size(), 4);
    for (const std::uint32_t key : t.stss)
        stss = stss + be(key, 4);
    Bytes stsc = be(t.stsc.size(), 4);
    for (std::size_t c = 0; c < t.stsc.size(); ++c)
        stsc = stsc + be(c + 1, 4) + be(t.stsc[c], 4) + be(1, 4);
    Bytes stsz = be(0, 4) + be(t.sizesCount >= 0 ? t.sizesCount : static_cast<std::int64_t>(t.sizes.size()), 4);
    for (const std::uint32_t size : t.sizes)
        stsz = stsz + be(size, 4);
    Bytes stco = be(t.chunks.size(), 4);
    for (const std::uint32_t offset : t.chunks)
        stco = stco + be(dataAt + offset, 4);
    return box("stbl",
        fullBox("stsd", be(t.descriptions, 4) + descriptions) + fullBox("stts", stts)
            + (t.ctts.empty() ? Bytes {} : fullBox("ctts", ctts)) + (t.stss.empty() ? Bytes {} : fullBox("stss", stss))
            + fullBox("stsc", stsc) + fullBox("stsz", stsz) + fullBox("stco", stco));
}

inline Mp4File mp4File(const Mp4Tables& t)
{
    const Bytes ftyp = box("ftyp", text("isom") + be(512, 4) + text("isomiso2mp41"));
    std::uint32_t dataSize = 0;
    for (std::size_t c = 0, sample = 0; c < t.chunks.size() && c < t.stsc.size(); ++c) {
        std::uint32_t end = t.chunks[c];
        for (std::uint32_t i = 0; i < t.stsc[c] && sample < t.sizes.size(); ++i)
            end += t.sizes[sample++];
        dataSize = std::max(dataSize, end);
    }
    const auto dataAt = static_cast<std::uint32_t>(ftyp.size() + 8);
    const Bytes mdat = box("mdat", Bytes(t.dataSize >= 0 ? static_cast<std::size_t>(t.dataSize) : dataSize, 0x11));
    std::uint64_t duration = 0;
    for (const auto& [count, delta] : t.stts)
        duration += std::uint64_t(count) * delta;
    const Bytes matrix = be(0x10000, 4) + be(0, 12) + be(0x10000, 4) + be(0, 12) + be(0x40000000, 4);
    const Bytes mvhd = fullBox("mvhd",
        be(0, 8) + be(t.scale, 4) + be(duration, 4) + be(0x10000, 4) + be(0x100, 2) + be(0, 10) + matrix + be(0, 24)
            + be(t.id + 1, 4));
    const Bytes tkhd = box("tkhd",
        be(3, 4) + be(0, 8) + be(t.id, 4) + be(0, 4) + be(duration, 4) + be(0, 8) + be(0, 8) + matrix + be(64 << 16, 4)
            + be(48 << 16, 4));
    const Bytes mdhd = fullBox("mdhd", be(0, 8) + be(t.scale, 4) + be(duration, 4) + be(0x55c4, 2) + be(0, 2));
    const Bytes hdlr = fullBox("hdlr", be(0, 4) + text("vide") + be(0, 12) + Bytes(1, 0));
    const Bytes dinf = box("dinf", fullBox("dref", be(1, 4) + box("url ", be(1, 4))));
    const Bytes minf = box("minf", fullBox("vmhd", be(0, 8)) + dinf + sampleTables(t, dataAt));
    const Bytes moov = box("moov", mvhd + box("trak", tkhd + box("mdia", mdhd + hdlr + minf)));
    return { ftyp + mdat + moov, dataAt };
}

} // namespace quorvane::test
