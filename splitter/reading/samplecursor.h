// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/reading/mp4tables.h"

#include <cstdint>

// Steps through an MP4-family track's sample tables sample by sample, as libavformat's MOV reader builds its
// index from them: where each sample lies, how large it is, when it is decoded and shown.
namespace quorvane::splitter::mp4 {

// One sample as the tables have it.
struct RawSample {
    std::int64_t pos = 0;
    int size = 0;
    std::int64_t dts = 0; // from 0, before any edit
    std::int64_t delta = 0; // until the next sample
    std::int64_t composition = 0;
    std::int64_t chunkEnd = 0; // where the run of the track's samples this one lies in ends in the file
    bool key = false;
    bool disposable = false;
};

class SampleCursor {
public:
    // `audio`: a sound track, whose samples are all keyframes where its sync table is empty. `data` and `tables`
    // outlive the cursor; the tables were checked (readSampleTables), and next() is called at most once a sample.
    SampleCursor(const Bytes& data, const SampleTables& tables, bool audio);

    RawSample next();

private:
    void nextChunk();

    const Bytes* m_data;
    const SampleTables* m_tables;
    bool m_audio;
    std::uint32_t m_keyOffset; // 1 where the sync table counts samples from 1, as it should
    std::int64_t m_sample = 0;
    std::uint32_t m_chunk = 0;
    std::uint32_t m_left = 0; // samples left in the chunk
    std::uint32_t m_stsc = 0;
    std::int64_t m_offset = 0;
    std::int64_t m_chunkEnd = 0;
    std::uint32_t m_stts = 0;
    std::uint32_t m_sttsTaken = 0;
    std::int64_t m_dts = 0;
    std::uint32_t m_ctts = 0;
    std::uint32_t m_cttsTaken = 0;
    std::uint32_t m_stss = 0;
};

} // namespace quorvane::splitter::mp4
