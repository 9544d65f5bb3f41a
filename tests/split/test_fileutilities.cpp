// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/failure.h"
#include "split/fileutilities.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvane;

class TestFileUtilities : public QObject {
    Q_OBJECT

private slots:
    void writeBytesToFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("m");
        WriteBytesToFile(QByteArray(5000, 'x'), path);
        WriteBytesToFile("short", path); // a longer file is cut to the new bytes
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("short"));
        try {
            WriteBytesToFile("x", dir.filePath("missing/m"));
            QFAIL("a missing folder was not reported");
        } catch (const Failure& failure) {
            QCOMPARE(failure.description(), "Path not found: " + dir.filePath("missing/m"));
        }
    }

    void deleteFileQuietly()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("copy.mp4");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        DeleteFileQuietly(path);
        QVERIFY(!QFile::exists(path));
        DeleteFileQuietly(path); // already gone: nothing happens
        QVERIFY(QDir(dir.path()).mkdir("folder"));
        DeleteFileQuietly(dir.filePath("folder")); // a folder is not a file
        QVERIFY(QFileInfo(dir.filePath("folder")).isDir());
    }
};

QTEST_GUILESS_MAIN(TestFileUtilities)
#include "test_fileutilities.moc"
