// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/contract/commandline.h"
#include "splitter/contract/progressreport.h"
#include "splitter/contract/testswitches.h"
#include "splitter/media/avhandles.h"
#include "splitter/media/spliterror.h"
#include "splitter/plan/cutplan.h"
#include "splitter/reading/inplacereader.h"
#include "splitter/reading/inputprobe.h"
#include "splitter/reading/keyframescan.h"
#include "splitter/reading/mp4index.h"
#include "splitter/reading/sampleindex.h"
#include "splitter/reading/shortenedmoov.h"
#include "splitter/recoding/recoder.h"
#include "splitter/routing/piecedistributor.h"
#include "splitter/writing/pieceweight.h"
#include "splitter/writing/piecewriter.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

// One split of one file, in its steps: open and plan (splitplanning.cpp), write the pieces and a piece's
// second pass (splitwriting.cpp), and report (splitter.cpp).
namespace quorvane::splitter {

class StretchPlanner;

class Split {
public:
    // `allowance`: bytes more than the container's bounds to allow for in every piece of at most a size.
    Split(const SplitRequest& request, const TestSwitches& switches, std::FILE* err, std::int64_t allowance = 0)
        : m_request(request)
        , m_switches(switches)
        , m_err(err)
        , m_allowance(allowance)
    {
    }

    int run();
    // After a run that wrote pieces of at most a size: 0 when none went over, or else the most a piece that did
    // came to beyond its weight. Its pieces are then only what a second split, with that much allowed for,
    // writes over.
    std::int64_t excess() const { return m_excess; }

private:
    void warn(const std::string& text) const { std::fprintf(m_err, "%s: %s\n", m_request.input.c_str(), text.c_str()); }
    void open();
    void plan();
    // No index of every packet: the plan is made while the file is read.
    void planWhileReading();
    // How the pieces end, from the keyframes: by length, size or count as asked.
    PieceRule pieceRule();
    // An index of every sample made by reading the file through, for a file without one.
    const SampleIndex* scanForPlanning();
    // Whether the file's first groups of pictures are open, from reading its start (it is opened again).
    bool openGroups();
    bool makeRecoder();
    // Returns the rule the pieces then end by.
    PieceRule planExactCuts(StretchPlanner& stretches);
    // Exact pieces of at most a size: where they are cut, at any picture.
    std::vector<std::int64_t> exactSizeCuts();
    void encodeLeadingPictures(StretchPlanner& stretches, const PieceRule& rule);
    // Hands a packet read to the pieces, through the stretches encoded again for exact pieces.
    void pass(Packet packet, Recoder* recoder, PieceDistributor& distributor);
    void warnAboutPlan(const SplitPlan& plan, int openKeyframes) const;
    void makeWriter();
    PieceSpan span(int piece, bool reserveIndex, const SplitPlan& plan) const;
    std::int64_t indexReserve(int piece) const;
    void rewriteInSecondPass(int piece, const SplitPlan& plan);
    // Throws SplitError where the stream that decides the cuts gave no packet; warns of any other that gave none.
    void checkEveryTrackWasRead();
    // For pieces of at most a size: 0 when none went over it on disk, or else the most one of those that did came to
    // beyond its weight; throws SplitError where one goes over though planned with an allowance already.
    std::int64_t excessOverSize(const SplitPlan& plan) const;
    int report(const PieceDistributor& distributor, int readResult);
    // What --stats says of the index: read by the tool, or not, and why where it is worth saying.
    const char* indexRead() const;
    int fail(const SplitError& error);
    void showProgress();
    // How far the split has come, and how far it goes: the file's bytes, and the pictures encoded again.
    std::pair<std::int64_t, std::int64_t> work() const;

    const SplitRequest& m_request;
    const TestSwitches& m_switches;
    std::FILE* m_err;
    std::int64_t m_allowance = 0;
    std::int64_t m_excess = 0;
    // An MP4 file's own index, from which its packets are read with their media bytes left in place; the
    // file as libavformat reads it then has its sample tables cut short.
    std::unique_ptr<Mp4Index> m_index;
    bool m_writerRefused = false; // an index was read, but the MP4 writer did not hand packets on as given
    std::unique_ptr<ShortenedMoov> m_shortened; // before the input, which reads through it
    InputContext m_input;
    std::unique_ptr<SampleIndex>
        m_libraryIndex; // libavformat's, or one made by reading the file, where there is no index of our own
    std::unique_ptr<InPlaceReader> m_inPlace;
    std::unique_ptr<Recoder> m_recoder; // for exact pieces, and open groups' leading pictures at cuts
    std::string m_whyNotRecoded;
    MediaLayout m_layout;
    KeyframeScan m_scan;
    SplitPlan m_plan;
    std::unique_ptr<PieceWriter> m_writer;
    bool m_planWhileReading = false;
    PieceLength m_length;
    double m_seconds = 0; // how long pieces are asked to be; for parts, the file's share
    std::unique_ptr<PieceWeigher> m_weigher; // for pieces of at most a size
    int m_secondPasses = 0;
    ProgressReport m_progress { m_request.progress };
    std::int64_t m_inputSize = 0;
    std::int64_t m_scannedBytes = 0; // read once before splitting, to plan exact pieces
    int m_piecesExpected = 0; // for a plan made while reading, from the file's duration
    std::vector<std::int64_t> m_packetsRead; // per input stream
};

} // namespace quorvane::splitter
