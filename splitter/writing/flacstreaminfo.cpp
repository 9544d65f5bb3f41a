// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/writing/flacstreaminfo.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace quorvane::splitter {

namespace {

std::uint8_t crc8(const std::uint8_t* data, std::size_t size)
{
    std::uint8_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint8_t>(crc & 0x80 ? (crc << 1) ^ 0x07 : crc << 1);
    }
    return crc;
}

std::uint16_t crc16(const std::uint8_t* data, std::size_t size)
{
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) {
        crc = static_cast<std::uint16_t>(crc ^ (data[i] << 8));
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x8005 : crc << 1);
    }
    return crc;
}

// A frame header's number, coded as UTF-8 extended to 36 bits.
std::vector<std::uint8_t> codedNumber(std::uint64_t value)
{
    if (value < 0x80)
        return { static_cast<std::uint8_t>(value) };
    int tail = 1;
    while (tail < 6 && value >= (std::uint64_t(1) << (5 * tail + 6)))
        ++tail;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(tail) + 1);
    for (int i = tail; i > 0; --i) {
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(0x80 | (value & 0x3f));
        value >>= 6;
    }
    const auto lead = static_cast<std::uint8_t>(0xff00 >> (tail + 1));
    bytes[0] = static_cast<std::uint8_t>(lead | value);
    return bytes;
}

// How many bytes the coded number starting with `first` takes; 0 if it is no such number.
std::size_t codedLength(std::uint8_t first)
{
    if (first < 0x80)
        return 1;
    for (std::size_t length = 2; length <= 7; ++length) {
        const auto mask = static_cast<std::uint8_t>(0xff00 >> (length + 1));
        const auto lead = static_cast<std::uint8_t>(0xff00 >> length);
        if ((first & mask) == lead)
            return length;
    }
    return 0;
}

} // namespace

FlacStreamInfo::FlacStreamInfo(const std::uint8_t* source)
{
    std::copy(source, source + size, m_info.begin());
    std::fill(m_info.begin() + 18, m_info.end(), 0); // the MD5 of the decoded samples
}

void FlacStreamInfo::renumber(AVPacket* packet) const
{
    const std::uint8_t* data = packet->data;
    const auto bytes = static_cast<std::size_t>(packet->size);
    if (bytes < 8 || data[0] != 0xff || (data[1] & 0xfe) != 0xf8)
        return;
    const std::size_t numberLength = codedLength(data[4]);
    if (numberLength == 0)
        return;
    // After the number: the block size and the sample rate, where the codes say they follow.
    const int blockCode = data[2] >> 4;
    const int rateCode = data[2] & 0x0f;
    const std::size_t extra = (blockCode == 6          ? 1u
                                      : blockCode == 7 ? 2u
                                                       : 0u)
        + (rateCode == 12                          ? 1u
                : rateCode == 13 || rateCode == 14 ? 2u
                                                   : 0u);
    const std::size_t headerEnd = 4 + numberLength + extra; // where the header's CRC-8 is
    if (headerEnd + 3 > bytes || crc8(data, headerEnd) != data[headerEnd])
        return;
    // Fixed-size blocks count frames, variable ones samples.
    const bool bySample = (data[1] & 0x01) != 0;
    const std::vector<std::uint8_t> number
        = codedNumber(static_cast<std::uint64_t>(std::max<std::int64_t>(0, bySample ? m_samples : m_frames)));
    std::vector<std::uint8_t> frame(data, data + 4);
    frame.insert(frame.end(), number.begin(), number.end());
    frame.insert(frame.end(), data + 4 + numberLength, data + headerEnd);
    frame.push_back(crc8(frame.data(), frame.size()));
    frame.insert(frame.end(), data + headerEnd + 1, data + bytes - 2);
    const std::uint16_t check = crc16(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(check >> 8));
    frame.push_back(static_cast<std::uint8_t>(check));

    if (av_packet_make_writable(packet) < 0)
        throw std::bad_alloc();
    const int grow = static_cast<int>(frame.size()) - packet->size;
    if (grow > 0 && av_grow_packet(packet, grow) < 0)
        throw std::bad_alloc();
    if (grow < 0)
        av_shrink_packet(packet, static_cast<int>(frame.size()));
    std::memcpy(packet->data, frame.data(), frame.size());
}

void FlacStreamInfo::mark(AVPacket* packet, AVRational timeBase, int sampleRate)
{
    renumber(packet);
    ++m_frames;
    m_samples += av_rescale_q(packet->duration, timeBase, AVRational { 1, sampleRate });
    // The 36-bit count of samples per channel, from the low 4 bits of byte 13 to byte 17.
    const auto samples
        = static_cast<std::uint64_t>(std::clamp<std::int64_t>(m_samples, 0, (std::int64_t(1) << 36) - 1));
    m_info[13] = static_cast<std::uint8_t>((m_info[13] & 0xf0) | ((samples >> 32) & 0x0f));
    m_info[14] = static_cast<std::uint8_t>(samples >> 24);
    m_info[15] = static_cast<std::uint8_t>(samples >> 16);
    m_info[16] = static_cast<std::uint8_t>(samples >> 8);
    m_info[17] = static_cast<std::uint8_t>(samples);
    std::uint8_t* side = av_packet_new_side_data(packet, AV_PKT_DATA_NEW_EXTRADATA, size);
    if (!side)
        throw std::bad_alloc();
    std::memcpy(side, m_info.data(), size);
}

} // namespace quorvane::splitter
