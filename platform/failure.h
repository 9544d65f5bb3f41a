// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QString>
#include <stdexcept>

namespace quorvane {

// A failure as the guarded handlers report it: a description in the usual wording and, where callers
// look at it, a numeric code (the classic runtime error numbers, so 5 is an invalid argument).
class Failure : public std::runtime_error {
public:
    Failure(int code, const QString& description);

    int code() const { return m_code; }
    // The same failure naming the file or folder it concerns: "Path not found: /home/ann/Out/".
    Failure about(const QString& path) const;
    QString description() const { return m_description; }

    static Failure invalidCall(); // 5
    static Failure overflow(); // 6
    static Failure typeMismatch(); // 13
    static Failure fileNotFound(); // 53
    static Failure fileAlreadyExists(); // 58
    static Failure permissionDenied(); // 70
    static Failure pathNotFound(); // 76
    static Failure invalidPropertyValue(); // 380
    static Failure invalidPicture(); // 481

private:
    int m_code;
    QString m_description;
};

} // namespace quorvane
