// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "platform/shell.h"

namespace quorvane {

// The desktop's own handlers, through Qt's desktop services.
class DesktopShell : public Shell {
public:
    void openWebAddress(const QString& address) override;
    bool openFolder(const QString& folder) override;
};

} // namespace quorvane
