// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/avhandles.h"
#include "splitter/payloadruns.h"

#include <string>
#include <thread>

// The file a piece is written to, through one descriptor from its creation to its end. Where the file system
// allows, the file has no name until it is complete (O_TMPFILE), so nothing is left if the tool is killed,
// the power fails or the folder turns read-only; elsewhere it has a short hidden name that the next run in
// the folder removes if its process is gone. Either way the piece appears under its own name only whole.
namespace quorvane::splitter {

class PieceFile {
public:
    // Creates the file in the folder of `finalPath` (which it will become). Throws SplitError.
    explicit PieceFile(std::string finalPath);
    ~PieceFile();
    PieceFile(const PieceFile&) = delete;
    PieceFile& operator=(const PieceFile&) = delete;

    // The writing end for a muxer: buffered, seekable, and never reopened by name.
    AVIOContext* io() const { return m_io; }
    // A name by which FFmpeg may open the same file for reading (an MP4 muxer moving its index to the front).
    std::string readableName() const;

    // The file system's block size when it shares blocks between files (copy_file_range of whole, aligned
    // blocks costs no copy: XFS, Btrfs) or copies on the server (NFS, SMB); 0 when a copy by the kernel
    // would only cost more than writing bytes the tool has already read.
    int sharingBlockSize() const;

    // From now on, packet bytes the muxer writes as they came are copied from `source` (a descriptor of the
    // input) when the piece is committed, instead of being written; see PayloadRuns. The muxer must not read
    // the piece back. `kernelCopy` false: copied by reading and writing.
    void copyPayloadFrom(int source, bool kernelCopy);
    // The payload runs, when copyPayloadFrom is on; the writer tells them which packets come.
    PayloadRuns* payload() { return m_payload.get(); }
    const PayloadRuns::Copied& copied() const { return m_copied; }

    // Once the muxer is done: flushes, and starts copying the payload runs on a thread of their own, so the
    // next piece can be written meanwhile. Throws SplitError.
    void startCopy();
    // Flushes, copies the runs (or waits for startCopy's copier) and gives the file its name, replacing a
    // piece of that name. Throws SplitError.
    void commit();

    // Removes stale hidden pieces of this tool in `folder` whose process is gone.
    static void removeStaleParts(const std::string& folder);

    // The writing end's callbacks.
    int writeOut(const std::uint8_t* data, int size);
    std::int64_t seek(std::int64_t offset, int whence);

private:
    void discard();

    std::string m_final;
    std::string m_hidden; // the short hidden name, while the file has one
    int m_fd = -1;
    bool m_unnamed = false;
    AVIOContext* m_io = nullptr;
    std::unique_ptr<PayloadRuns> m_payload;
    int m_source = -1;
    bool m_kernelCopy = true;
    std::thread m_copier;
    int m_copyResult = 0;
    int m_slot = -1; // this file's slot in the signal cleanup, while it has a hidden name
    std::int64_t m_pos = 0; // where the muxer writes next
    std::int64_t m_end = 0; // the piece's length, runs not yet copied included
    PayloadRuns::Copied m_copied;
};

} // namespace quorvane::splitter
