// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/paths.h"

namespace quorvane {

QChar pathSeparator()
{
#ifdef Q_OS_WIN
    return QLatin1Char('\\');
#else
    return QLatin1Char('/');
#endif
}

QString executableFileName(const QString& base)
{
#ifdef Q_OS_WIN
    return base + QStringLiteral(".exe");
#else
    return base;
#endif
}

QString repairRootSeparator(QString path)
{
    path.replace(QStringLiteral(":\\\\"), QStringLiteral(":\\"));
#ifndef Q_OS_WIN
    if (path.startsWith(QStringLiteral("//")))
        path.remove(0, 1);
#endif
    return path;
}

namespace {

bool matchFrom(const QString& name, const QString& pattern)
{
    // Iterative wildcard match with one backtracking point for the last "*".
    qsizetype n = 0;
    qsizetype p = 0;
    qsizetype starP = -1;
    qsizetype starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] != QLatin1Char('*')
            && (pattern[p] == QLatin1Char('?') || pattern[p].toCaseFolded() == name[n].toCaseFolded())) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            starP = p++;
            starN = n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}

} // namespace

bool matchesPattern(const QString& name, const QString& pattern)
{
    if (matchFrom(name, pattern))
        return true;
    // A pattern ending in ".*" also takes names without any extension, as "*.*" always has.
    if (pattern.endsWith(QStringLiteral(".*")) && !name.contains(QLatin1Char('.')))
        return matchFrom(name, pattern.chopped(2));
    return false;
}

} // namespace quorvane
