// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "resources/toolimage.h"

#include <QFile>

// Resources in a static library must be registered by hand, outside any namespace.
static void registerToolImage() { Q_INIT_RESOURCE(toolimage); }

namespace quorvane {

QByteArray toolImage()
{
    static const bool registered = (registerToolImage(), true);
    Q_UNUSED(registered);
    QFile image(QStringLiteral(":/CUSTOM/101"));
    if (!image.open(QIODevice::ReadOnly))
        return {};
    return image.readAll();
}

} // namespace quorvane
