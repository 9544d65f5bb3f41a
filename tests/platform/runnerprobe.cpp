// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
// A program that starts a long child through the process runner and waits for it, for the test that kills
// this program and expects the child to end with it. The child writes its process id to the file named.
#include "platform/processrunner.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 64;
    quorvane::QtProcessRunner runner;
    return runner.RunAndWait(QStringLiteral("/bin/sh"),
        { "-c", "echo $$ > \"$1.part\" && mv \"$1.part\" \"$1\" && exec sleep 120", "sh",
            QString::fromLocal8Bit(argv[1]) });
}
