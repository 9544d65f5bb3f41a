// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/failure.h"

namespace quorvane {

Failure::Failure(int code, const QString& description)
    : std::runtime_error(description.toStdString())
    , m_code(code)
    , m_description(description)
{
}

Failure Failure::about(const QString& path) const { return { m_code, m_description + QStringLiteral(": ") + path }; }

Failure Failure::invalidCall() { return { 5, QStringLiteral("Invalid procedure call or argument") }; }
Failure Failure::overflow() { return { 6, QStringLiteral("Overflow") }; }
Failure Failure::typeMismatch() { return { 13, QStringLiteral("Type mismatch") }; }
Failure Failure::fileNotFound() { return { 53, QStringLiteral("File not found") }; }
Failure Failure::fileAlreadyExists() { return { 58, QStringLiteral("File already exists") }; }
Failure Failure::permissionDenied() { return { 70, QStringLiteral("Permission denied") }; }
Failure Failure::pathNotFound() { return { 76, QStringLiteral("Path not found") }; }
Failure Failure::invalidPropertyValue() { return { 380, QStringLiteral("Invalid property value") }; }
Failure Failure::invalidPicture() { return { 481, QStringLiteral("Invalid picture") }; }

} // namespace quorvane
