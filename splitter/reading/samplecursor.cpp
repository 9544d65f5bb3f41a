// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/reading/samplecursor.h"

namespace quorvane::splitter::mp4 {

SampleCursor::SampleCursor(const Bytes& data, const SampleTables& tables, bool audio)
    : m_data(&data)
    , m_tables(&tables)
    , m_audio(audio)
    , m_keyOffset(tables.stss.count > 0 && big32(data, tables.stss.entries) > 0 ? 1 : 0)
{
}

void SampleCursor::nextChunk()
{
    const Bytes& data = *m_data;
    const SampleTables& t = *m_tables;
    m_offset = t.co64 ? static_cast<std::int64_t>(readBig(&data[t.chunks.entries + m_chunk * 8], 8))
                      : big32(data, t.chunks.entries + m_chunk * 4);
    while (m_stsc + 1 < t.stsc.count && m_chunk + 1 == big32(data, t.stsc.entries + (m_stsc + 1) * 12))
        ++m_stsc;
    m_left = big32(data, t.stsc.entries + m_stsc * 12 + 4);
    ++m_chunk;
    m_chunkEnd = m_offset;
    for (std::uint32_t i = 0; i < m_left && m_sample + i < t.sizes.count; ++i)
        m_chunkEnd += t.size ? t.size : big32(data, t.sizes.entries + static_cast<std::size_t>(m_sample + i) * 4);
}

RawSample SampleCursor::next()
{
    const Bytes& data = *m_data;
    const SampleTables& t = *m_tables;
    while (m_left == 0)
        nextChunk();
    RawSample raw;
    raw.pos = m_offset;
    raw.size
        = static_cast<int>(t.size ? t.size : big32(data, t.sizes.entries + static_cast<std::size_t>(m_sample) * 4));
    raw.dts = m_dts;
    raw.chunkEnd = m_chunkEnd;
    raw.delta = big32(data, t.stts.entries + m_stts * 8 + 4);
    while (m_ctts < t.ctts.count && big32(data, t.ctts.entries + m_ctts * 8) == 0)
        ++m_ctts; // an empty run
    if (m_ctts < t.ctts.count) {
        raw.composition = compositionOffset(data, t.ctts, m_ctts);
        if (++m_cttsTaken == big32(data, t.ctts.entries + m_ctts * 8)) {
            ++m_ctts;
            m_cttsTaken = 0;
        }
    }
    if (!t.stss.present) {
        raw.key = true;
    } else if (t.stss.count == 0) {
        raw.key = m_audio || m_sample == 0;
    } else if (m_sample + m_keyOffset == big32(data, t.stss.entries + m_stss * 4)) {
        raw.key = true;
        if (m_stss + 1 < t.stss.count)
            ++m_stss;
    }
    if (static_cast<std::uint32_t>(m_sample) < t.sdtpCount)
        raw.disposable = (data[t.sdtp + static_cast<std::size_t>(m_sample)] >> 2 & 3) == 2;
    m_offset += raw.size;
    m_dts += raw.delta;
    --m_left;
    ++m_sample;
    if (m_stts + 1 < t.stts.count && ++m_sttsTaken == big32(data, t.stts.entries + m_stts * 8)) {
        m_sttsTaken = 0;
        ++m_stts;
    }
    return raw;
}

} // namespace quorvane::splitter::mp4
