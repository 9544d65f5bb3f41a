// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <string>
#include <vector>

// What a media file holds, read with libavformat and handed out without FFmpeg types, so the tests that check
// pieces need no FFmpeg headers of their own. Only the tests use it; it is none of the tool's code.
namespace quorvane::test {

struct ProbedStream {
    std::string type; // "video", "audio", "subtitle", "data"
    std::string codec; // "h264", "aac", …
    std::string language;
    double rotation = 0; // degrees, from the display matrix
    double start = 0; // seconds: the first packet's presentation time
    double end = 0; // seconds: the latest presentation time plus its duration
    double firstDts = 0; // seconds
    long long packets = 0;
    long long contentPackets = 0; // leaving out the empty fillers MP4 puts between subtitles
    bool firstIsKey = false;
    bool defaultTrack = false;
    bool coverArt = false; // an attached picture, such as an album cover
    double frame = 0; // seconds one picture (at the average rate) or one audio frame lasts; 0 if unknown
    std::string attachment; // an attachment's name, type, size and a checksum of its bytes
    std::vector<double> keyTimes; // presentation times of the keyframes, ascending
    std::vector<double> times; // presentation times of every packet, ascending
};

struct ProbedChapter {
    double start = 0;
    double end = 0;
    std::string title;
};

struct ProbedFile {
    bool readable = false;
    std::string error;
    std::string format; // the demuxer's name
    double duration = 0;
    double start = 0; // where the file's presentation starts, as the demuxer reports it
    std::string title;
    std::string timecode; // the file's or its first stream's "timecode" tag
    std::vector<ProbedChapter> chapters;
    std::vector<ProbedStream> streams;
    std::vector<std::string> programs; // each program's number, name and streams
};

// Reads every packet of the file.
ProbedFile probeMedia(const std::string& path);

// The top-level box types of an MP4-family file in order ("ftyp", "moov", "mdat", …).
std::vector<std::string> topLevelBoxes(const std::string& path);

// Decodes the HEVC video of a file (its header an 'hvcC') as a player does that keeps only the header's first
// VPS, SPS and PPS, and at a keyframe carrying another SPS starts a new decoder knowing only the parameter
// sets that keyframe carries (Firefox does both). The first error met, with the time of its packet; empty when
// every picture decodes.
std::string firstParameterSetsError(const std::string& path);

} // namespace quorvane::test
