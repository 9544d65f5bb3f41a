// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QString>

namespace quorvane {

// Hands addresses and folders to the desktop: the browser, the file manager.
class Shell {
public:
    virtual ~Shell() = default;
    // Throws Failure when the desktop could not be asked to open the address.
    virtual void openWebAddress(const QString& address) = 0;
    // Returns false when the folder could not be shown; callers may ignore it.
    virtual bool openFolder(const QString& folder) = 0;
};

} // namespace quorvane
