// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/reading/mp4boxes.h"

#include "splitter/system/systemfile.h"

#include <cstring>

namespace quorvane::splitter::mp4 {

std::uint64_t readBig(const unsigned char* p, int n)
{
    std::uint64_t value = 0;
    for (int i = 0; i < n; ++i)
        value = value << 8 | p[i];
    return value;
}

bool Box::is(const char* name) const { return std::memcmp(type, name, 4) == 0; }

std::optional<std::vector<Box>> children(const Bytes& data, std::size_t from, std::size_t to)
{
    std::vector<Box> boxes;
    std::size_t at = from;
    while (at + 8 <= to) {
        std::uint64_t size = readBig(&data[at], 4);
        std::size_t header = 8;
        if (size == 1) {
            if (at + 16 > to)
                return std::nullopt;
            size = readBig(&data[at + 8], 8);
            header = 16;
        } else if (size == 0) {
            size = to - at;
        }
        if (size < header || size > to - at)
            return std::nullopt;
        Box box;
        std::memcpy(box.type, &data[at + 4], 4);
        box.at = at;
        box.payload = at + header;
        box.size = static_cast<std::size_t>(size) - header;
        boxes.push_back(box);
        at += static_cast<std::size_t>(size);
    }
    return boxes;
}

const Box* find(const std::vector<Box>& boxes, const char* type)
{
    for (const Box& box : boxes) {
        if (box.is(type))
            return &box;
    }
    return nullptr;
}

std::optional<std::vector<Box>> inside(const Bytes& data, const Box* box)
{
    if (!box)
        return std::nullopt;
    return children(data, box->payload, box->payload + box->size);
}

std::optional<int> trackIdOf(const Bytes& data, const Box& tkhd)
{
    if (tkhd.size < 4)
        return std::nullopt;
    const std::size_t offset = data[tkhd.payload] == 1 ? 4 + 16 : 4 + 8;
    if (tkhd.size < offset + 4)
        return std::nullopt;
    return static_cast<int>(readBig(&data[tkhd.payload + offset], 4));
}

std::optional<Moov> readMoov(const std::string& path)
{
    const SystemFile file = SystemFile::openForReading(path);
    if (!file.isOpen())
        return std::nullopt;
    // Walk the top-level boxes to "moov"; only its bytes are read.
    unsigned char header[16];
    for (std::int64_t at = 0;;) {
        if (file.read(header, 8, at) != 0)
            return std::nullopt;
        std::uint64_t size = readBig(header, 4);
        std::uint64_t headerSize = 8;
        if (size == 1) {
            if (file.read(header + 8, 8, at + 8) != 0)
                return std::nullopt;
            size = readBig(header + 8, 8);
            headerSize = 16;
        }
        if (std::memcmp(header + 4, "moov", 4) == 0) {
            // A box that claims more than the file holds is damaged: nothing is allocated for it.
            const std::int64_t fileSize = file.regularFileSize();
            if (size < headerSize || size - headerSize > (std::uint64_t(1) << 30)
                || (fileSize >= 0 && size > static_cast<std::uint64_t>(fileSize - at)))
                return std::nullopt;
            Moov moov { at, static_cast<std::int64_t>(size), Bytes(static_cast<std::size_t>(size - headerSize)),
                fileSize };
            if (file.read(moov.payload.data(), static_cast<std::int64_t>(moov.payload.size()),
                    at + static_cast<std::int64_t>(headerSize))
                != 0)
                return std::nullopt;
            return moov;
        }
        if (size == 0 || size < headerSize || size > static_cast<std::uint64_t>(INT64_MAX - at))
            return std::nullopt;
        at += static_cast<std::int64_t>(size);
    }
}

} // namespace quorvane::splitter::mp4
