// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "pgswriter.h"

#include <cstdint>
#include <fstream>

namespace quorvane::test {

namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& to, unsigned value)
{
    to.push_back(static_cast<std::uint8_t>(value >> 8));
    to.push_back(static_cast<std::uint8_t>(value));
}

// One segment: "PG", its presentation and decoding times (90 kHz), its type and its length.
void segment(Bytes& to, std::uint32_t pts, std::uint8_t type, const Bytes& data)
{
    to.insert(to.end(), { 'P', 'G' });
    put16(to, pts >> 16);
    put16(to, pts & 0xffff);
    to.insert(to.end(), { 0, 0, 0, 0, type });
    put16(to, static_cast<unsigned>(data.size()));
    to.insert(to.end(), data.begin(), data.end());
}

constexpr unsigned boxWidth = 200;
constexpr unsigned boxHeight = 40;
constexpr unsigned boxX = 260;
constexpr unsigned boxY = 500;

// A display set: a new epoch showing the box (composition, window, palette, object), or one that clears it.
void displaySet(Bytes& to, std::uint32_t pts, unsigned number, bool show)
{
    Bytes composition;
    put16(composition, 720);
    put16(composition, 576);
    composition.push_back(0x10); // 23.976 frames a second
    put16(composition, number);
    composition.insert(composition.end(), { static_cast<std::uint8_t>(show ? 0x80 : 0x00), 0, 0 });
    composition.push_back(show ? 1 : 0);
    if (show) {
        put16(composition, 0); // object 0 in window 0, not cropped
        composition.insert(composition.end(), { 0, 0 });
        put16(composition, boxX);
        put16(composition, boxY);
    }
    segment(to, pts, 0x16, composition);
    Bytes window { 1, 0 };
    put16(window, boxX);
    put16(window, boxY);
    put16(window, boxWidth);
    put16(window, boxHeight);
    segment(to, pts, 0x17, window);
    if (show) {
        segment(to, pts, 0x14, { 0, 0, 1, 235, 128, 128, 255 }); // palette 0: entry 1 opaque white
        Bytes object;
        put16(object, boxWidth);
        put16(object, boxHeight);
        for (unsigned y = 0; y < boxHeight; ++y) // each line one run of colour 1, then its end
            object.insert(object.end(),
                { 0, static_cast<std::uint8_t>(0xc0 | (boxWidth >> 8)), static_cast<std::uint8_t>(boxWidth & 0xff), 1,
                    0, 0 });
        Bytes definition;
        put16(definition, 0);
        definition.insert(definition.end(), { 0, 0xc0 }); // version 0, first and last part
        definition.push_back(static_cast<std::uint8_t>(object.size() >> 16));
        put16(definition, static_cast<unsigned>(object.size() & 0xffff));
        definition.insert(definition.end(), object.begin(), object.end());
        segment(to, pts, 0x15, definition);
    }
    segment(to, pts, 0x80, {});
}

} // namespace

bool writePgsSubtitles(const std::string& path, const std::vector<std::pair<double, double>>& events)
{
    Bytes file;
    unsigned number = 0;
    displaySet(file, 0, number++, false); // from 0, so readers take the times as they are
    for (const auto& [from, to] : events) {
        displaySet(file, static_cast<std::uint32_t>(from * 90000), number++, true);
        displaySet(file, static_cast<std::uint32_t>(to * 90000), number++, false);
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(out);
}

} // namespace quorvane::test
