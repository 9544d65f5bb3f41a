// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/writing/piecefile.h"

#include "splitter/media/spliterror.h"
#include "splitter/system/kernelcopy.h"

#include <algorithm>
#include <utility>

namespace quorvane::splitter {

namespace {

constexpr int bufferSize = 1 << 16;

int writeBytes(void* opaque, WrittenBytes data, int size)
{
    return static_cast<PieceFile*>(opaque)->writeOut(data, size);
}

int64_t seekTo(void* opaque, int64_t offset, int whence)
{
    return static_cast<PieceFile*>(opaque)->seek(offset, whence);
}

} // namespace

PieceFile::PieceFile(std::string finalPath)
    : m_final(std::move(finalPath))
{
    int error = 0;
    m_part = PartFile::create(folderOf(m_final), error);
    if (!m_part)
        failFile(baseName(m_final), error);
    m_io = newIoContext(bufferSize, this, nullptr, writeBytes, seekTo);
    m_io->seekable = AVIO_SEEKABLE_NORMAL;
}

PieceFile::~PieceFile()
{
    if (m_copier.joinable())
        m_copier.join();
    discard();
}

int PieceFile::sharingBlockSize() const { return quorvane::splitter::sharingBlockSize(m_part->file()); }

void PieceFile::copyPayloadFrom(const SystemFile& source, bool kernelCopy)
{
    avio_flush(m_io.get());
    m_payload = std::make_unique<PayloadRuns>();
    m_source = &source;
    m_kernelCopy = kernelCopy;
    // Every write reaches us as the muxer made it, so a packet's bytes arrive whole, at their own address.
    m_io->direct = 1;
}

int PieceFile::writeOut(const std::uint8_t* data, int size)
{
    // The place in the file is kept here rather than by the system: a packet left as a hole then costs no
    // call into the kernel at all.
    if (!(m_payload && m_payload->take(data, size, m_pos))) {
        if (const int error = m_part->file().write(data, size, m_pos); error < 0)
            return error;
    } // else left as a hole for now; the run is copied into it when the piece is complete
    m_pos += size;
    m_end = std::max(m_end, m_pos);
    return size;
}

std::int64_t PieceFile::seek(std::int64_t offset, int whence)
{
    // The end is where the piece ends, holes still to be filled included.
    const std::int64_t to = seekTarget(offset, whence, m_pos, m_end);
    if (to >= 0 && !(whence & AVSEEK_SIZE))
        m_pos = to;
    return to;
}

void PieceFile::startCopy()
{
    avio_flush(m_io.get());
    if (m_io->error < 0) {
        const int error = m_io->error;
        discard();
        failFile(baseName(m_final), error);
    }
    // The copier has the files and the runs to itself until commit() joins it.
    if (m_payload)
        m_copier = std::thread([this] {
            SystemFile& piece = m_part->file();
            m_copyResult = m_payload->copy(*m_source, piece, m_kernelCopy, sharingBlockSize(), m_copied);
        });
}

void PieceFile::commit()
{
    const std::string name = baseName(m_final);
    if (!m_copier.joinable())
        startCopy();
    if (m_copier.joinable())
        m_copier.join();
    if (m_payload && m_copyResult < 0) {
        discard();
        if (m_copyResult == AVERROR_EOF) // the source, not the disk: a file cut short while it was split
            failWriting(name, AVERROR_INVALIDDATA);
        failFile(name, m_copyResult);
    }
    m_io.reset();
    if (const int error = m_part->name(m_final); error < 0) {
        discard();
        failFile(name, error);
    }
    discard();
}

void PieceFile::discard()
{
    m_io.reset();
    m_part.reset();
}

} // namespace quorvane::splitter
