// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/media/unreadpacket.h"

#include <algorithm>

namespace quorvane::splitter {

namespace {

// What a packet left unread carries in its opaque_ref: where its bytes lie, and whether they have been read
// in since. Every reference to the packet shares it, and with it the buffer.
struct Unread {
    std::shared_ptr<UnreadSource> source;
    std::uint8_t* data = nullptr;
    std::int64_t pos = 0;
    int size = 0;
    bool filled = false;
};

// Its address marks a packet's opaque_ref as an Unread.
const char unreadMark = 0;

void freeUnread(void*, std::uint8_t* data) { delete reinterpret_cast<Unread*>(data); }

} // namespace

void markUnread(AVPacket* packet, const std::shared_ptr<UnreadSource>& source)
{
    auto* unread = new Unread { source, packet->data, packet->pos, packet->size, false };
    AVBufferRef* ref
        = av_buffer_create(reinterpret_cast<std::uint8_t*>(unread), sizeof(Unread), freeUnread, nullptr, 0);
    if (!ref) {
        delete unread;
        throw std::bad_alloc();
    }
    av_buffer_unref(&packet->opaque_ref);
    packet->opaque_ref = ref;
    packet->opaque = const_cast<char*>(&unreadMark);
    source->leftUnread += packet->size;
}

bool isUnread(const AVPacket* packet)
{
    return packet->opaque == &unreadMark && packet->opaque_ref
        && !reinterpret_cast<const Unread*>(packet->opaque_ref->data)->filled;
}

int readHead(const AVPacket* packet, std::uint8_t* into, int size)
{
    const int count = std::min(size, packet->size);
    if (!isUnread(packet)) {
        std::copy(packet->data, packet->data + count, into);
        return count;
    }
    const auto* unread = reinterpret_cast<const Unread*>(packet->opaque_ref->data);
    const int result = unread->source->file.read(into, count, unread->pos);
    return result < 0 ? result : count;
}

int fillUnread(AVPacket* packet)
{
    if (!isUnread(packet))
        return 0;
    auto* unread = reinterpret_cast<Unread*>(packet->opaque_ref->data);
    const int result = unread->source->file.read(unread->data, unread->size, unread->pos);
    if (result < 0)
        return result;
    unread->filled = true;
    unread->source->leftUnread -= unread->size;
    return 0;
}

} // namespace quorvane::splitter
