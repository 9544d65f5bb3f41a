// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

namespace quorvane {

class Dialogs;
class FileAttributes;
class FolderListing;
class ProcessRunner;
class RandomSource;
class SettingsStore;
class Shell;
class SystemFolders;

// What the main window takes from the system. main() hands in the real ones, tests their doubles.
struct Services {
    Dialogs& dialogs;
    SettingsStore& settings;
    Shell& shell;
    SystemFolders& folders;
    FileAttributes& attributes;
    RandomSource& random;
    FolderListing& listing;
    ProcessRunner& runner;
};

} // namespace quorvane
