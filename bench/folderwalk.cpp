// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
// Builds a tree of 10,000 folders holding 100,000 files in a temporary folder, then times "Add All MP4
// File(s) In Folder" on it through the real window (answers scripted), and how long the filled list takes
// to scroll and repaint.
#include "filelist/filelistview.h"
#include "formfixture.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

namespace {

double seconds(const QElapsedTimer& timer) { return static_cast<double>(timer.elapsed()) / 1000.0; }

double peakMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

bool touch(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir dir(QDir::tempPath() + "/quorvane-walk-XXXXXX");
    const QString root = dir.path();

    // 100 folders of 99 sub-folders each: 10,000 folders. Each holds 9 videos and a note: 100,000 files.
    QElapsedTimer building;
    building.start();
    int folders = 0;
    int files = 0;
    const auto fill = [&](const QString& folder) {
        for (int f = 0; f < 9; ++f)
            files += touch(QStringLiteral("%1/clip %2.mp4").arg(folder).arg(f));
        files += touch(folder + "/notes.txt");
    };
    for (int a = 0; a < 100; ++a) {
        const QString top = QStringLiteral("%1/folder %2").arg(root).arg(a);
        QDir().mkpath(top);
        ++folders;
        fill(top);
        for (int b = 0; b < 99; ++b) {
            const QString sub = QStringLiteral("%1/sub %2").arg(top).arg(b);
            QDir().mkpath(sub);
            ++folders;
            fill(sub);
        }
    }
    std::printf("tree: %d folders, %d files, built in %.1f s\n", folders, files, seconds(building));

    quorvane::test::FormFixture fixture;
    fixture.reset();
    quorvane::Form1& window = fixture.load();
    window.show();
    const double before = peakMiB();

    fixture.dialogs.expectInput(QStringLiteral("mp4"));
    fixture.dialogs.expectFolder(root);
    QElapsedTimer walking;
    walking.start();
    QTest::mouseClick(fixture.control<QPushButton>("PushButton4"), Qt::LeftButton);
    const double walkSeconds = seconds(walking);
    auto* list = fixture.control<quorvane::FileListView>("ListView1");
    std::printf("walk and add: %d rows in %.2f s; peak memory %.1f MiB before, %.1f MiB after\n", list->rowCount(),
        walkSeconds, before, peakMiB());

    QElapsedTimer painting;
    painting.start();
    for (int i = 0; i < 10; ++i) {
        list->scrollToBottom();
        list->viewport()->repaint();
        list->scrollToTop();
        list->viewport()->repaint();
    }
    std::printf("list with %d rows: scroll and repaint %.1f ms\n", list->rowCount(), seconds(painting) * 1000.0 / 20.0);
    fixture.finish();
    return list ? 0 : 1;
}
