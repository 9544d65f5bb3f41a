// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"
#include "splitter/system/partfile.h"
#include "splitter/writing/payloadruns.h"

#include <memory>
#include <string>
#include <thread>

// The file a piece is written to, through one open file from its creation to its end, with the muxer's
// writing end over it. It gets the piece's name only when complete (PartFile), and its media bytes may be
// copied in from the source at the end (PayloadRuns) rather than written.
namespace quorvane::splitter {

class PieceFile {
public:
    // Creates the file in the folder of `finalPath` (which it will become). Throws SplitError.
    explicit PieceFile(std::string finalPath);
    ~PieceFile();
    PieceFile(const PieceFile&) = delete;
    PieceFile& operator=(const PieceFile&) = delete;

    // The writing end for a muxer: buffered, seekable, and never reopened by name.
    AVIOContext* io() const { return m_io.get(); }
    // A name by which FFmpeg may open the same file for reading (an MP4 muxer moving its index to the front).
    std::string readableName() const { return m_part->readableName(); }
    // See sharingBlockSize() in kernelcopy.h.
    int sharingBlockSize() const;
    // The muxer will open the file by readableName() (see PartFile::willBeReopened).
    void willBeReopened() { m_part->willBeReopened(); }

    // From now on, packet bytes the muxer writes as they came are copied from `source` (the input) when the
    // piece is committed, instead of being written; see PayloadRuns. The muxer must not read the piece back.
    // `kernelCopy` false: copied by reading and writing.
    void copyPayloadFrom(const SystemFile& source, bool kernelCopy);
    // The payload runs, when copyPayloadFrom is on; the writer tells them which packets come.
    PayloadRuns* payload() { return m_payload.get(); }
    const PayloadRuns::Copied& copied() const { return m_copied; }

    // Once the muxer is done: flushes, and starts copying the payload runs on a thread of their own, so the
    // next piece can be written meanwhile. Throws SplitError.
    void startCopy();
    // Flushes, copies the runs (or waits for startCopy's copier) and gives the file its name, replacing a
    // piece of that name. Throws SplitError.
    void commit();

    // The writing end's callbacks.
    int writeOut(const std::uint8_t* data, int size);
    std::int64_t seek(std::int64_t offset, int whence);

private:
    void discard();

    std::string m_final;
    std::unique_ptr<PartFile> m_part;
    IoContext m_io;
    std::unique_ptr<PayloadRuns> m_payload;
    const SystemFile* m_source = nullptr;
    bool m_kernelCopy = true;
    std::thread m_copier;
    int m_copyResult = 0;
    std::int64_t m_pos = 0; // where the muxer writes next
    std::int64_t m_end = 0; // the piece's length, runs not yet copied included
    PayloadRuns::Copied m_copied;
};

} // namespace quorvane::splitter
