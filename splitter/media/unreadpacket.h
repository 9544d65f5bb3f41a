// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"
#include "splitter/system/systemfile.h"

#include <cstdint>
#include <memory>

// A packet whose bytes were left in the source (see InPlaceReader): its buffer stays unfilled, and it says
// where its bytes lie, until something that needs them reads them in.
namespace quorvane::splitter {

// The source the bytes lie in, shared by the reader and the packets it left unread, which may outlive it.
struct UnreadSource {
    SystemFile file;
    std::int64_t leftUnread = 0; // bytes of packets not read in yet
};

// Marks `packet`, whose buffer was left unfilled, as holding the bytes at packet->pos of `source`, and
// counts them as left unread. Throws std::bad_alloc.
void markUnread(AVPacket* packet, const std::shared_ptr<UnreadSource>& source);

// Whether `packet`'s bytes have not been read yet.
bool isUnread(const AVPacket* packet);

// Up to `size` of `packet`'s first bytes, read from the source if they were left unread, without reading in
// the rest. The count given, or a negative AVERROR.
int readHead(const AVPacket* packet, std::uint8_t* into, int size);

// Reads `packet`'s bytes into it if they were left unread. 0, or a negative AVERROR; AVERROR_EOF when the
// source has become shorter.
int fillUnread(AVPacket* packet);

} // namespace quorvane::splitter
