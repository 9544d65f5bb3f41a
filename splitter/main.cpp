// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/contract/commandline.h"
#include "splitter/contract/exitcodes.h"
#include "splitter/contract/testswitches.h"
#include "splitter/orchestrator/splitter.h"
#include "splitter/system/arguments.h"

#include <cstdio>
#include <exception>

#ifndef QUORVANE_VERSION
#define QUORVANE_VERSION "unknown"
#endif

int main(int argc, char* argv[])
{
    using namespace quorvane::splitter;
    try {
        const Command command = parseCommandLine(commandLineArguments(argc, argv), stdout);
        switch (command.kind) {
        case Command::Help:
            printHelp(stdout);
            return Success;
        case Command::Version:
            std::printf("quorvane-split %s\n", QUORVANE_VERSION);
            return Success;
        case Command::Wrong:
            std::fprintf(stderr, "quorvane-split: %s\n%s", command.problem.c_str(), usageLine());
            return Usage;
        case Command::Split:
            return splitFile(command.request, TestSwitches::fromEnvironment(), stderr);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvane-split: %s\n", e.what());
    } catch (...) {
        std::fputs("quorvane-split: unexpected failure\n", stderr);
    }
    return Failed;
}
