// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "app/commandline.h"
#include "core/errorreport.h"
#include "filelist/filelistview.h"
#include "formfixture.h"

#include <QComboBox>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>

using namespace quorvane;
using namespace quorvane::test;

namespace {

// Lists in the order the platform lists them, and notes the window's pointer while the walk runs.
class WatchedListing : public NativeFolderListing {
public:
    QStringList entries(const QString& folder) override
    {
        if (watch)
            pointers.insert(watch());
        return NativeFolderListing::entries(folder);
    }
    std::function<int()> watch;
    QSet<int> pointers;
};

} // namespace

class TestFileList : public QObject, public FormFixture {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> tree;

    FileListView* list() const { return control<FileListView>("ListView1"); }
    QStringList rows() const
    {
        QStringList texts;
        for (int row = 1; row <= list()->rowCount(); ++row)
            texts << list()->rowText(row);
        return texts;
    }
    // Paths as the program shows them: with the system's separators.
    QString at(const QString& relative) const { return QDir::toNativeSeparators(tree->filePath(relative)); }
    // A path written Linux's way (/v/a.mp4) as the system writes it: C:\v\a.mp4 on Windows.
    static QString sys(const QString& path)
    {
        return QDir::toNativeSeparators(path.startsWith('/') ? QDir::rootPath() + path.mid(1) : path);
    }
    static QStringList sys(const QStringList& paths)
    {
        QStringList result;
        for (const QString& path : paths)
            result << sys(path);
        return result;
    }
    // Whether the system allows `name` in a file's name (Windows allows no " or ?).
    static bool allowed(const QString& name)
    {
        return QDir::separator() == '/' || !name.contains(QRegularExpression(QStringLiteral("[\"*:<>?|]")));
    }
    void make(const QString& relative, QFileDevice::Permissions permissions = {})
    {
        if (!allowed(relative))
            return;
        QVERIFY(writeFile(at(relative), "x"));
        if (permissions)
            QVERIFY(QFile::setPermissions(at(relative), permissions));
    }
    void click(const char* button) { QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton); }

    // What the folder walk must give: each folder's matching files in listing order, the folders level by
    // level, hidden folders, linked folders and names with "?" left out, "~" names and exactly hidden and
    // archived files skipped.
    QStringList expectedWalk(const QString& root, const QString& pattern)
    {
        QStringList result;
        QStringList level { root };
        while (!level.isEmpty()) {
            QStringList next;
            for (const QString& folder : level) {
                for (const QString& name : listing.files(folder + QDir::separator(), pattern)) {
                    const QString path = folder + QDir::separator() + name;
                    if (!name.startsWith('~')
                        && attributes.attributes(path) != std::optional<quint32>(attr::Hidden | attr::Archive))
                        result << path;
                }
                for (const QString& name : listing.entries(folder + QDir::separator())) {
                    const QFileInfo info(folder + QDir::separator() + name);
                    if (info.isDir() && !info.isSymLink() && !name.contains('?'))
                        next << folder + QDir::separator() + name;
                }
            }
            level = next;
        }
        return result;
    }

    void dropOnList(QMimeData* data)
    {
        QWidget* target = list()->viewport();
        const QPoint where(10, 10);
        QDragEnterEvent enter(where, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDragMoveEvent move(where, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &move);
        lastDragAccepted = enter.isAccepted() && move.isAccepted();
        QDropEvent drop(where, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
    }
    void dropPaths(const QStringList& paths)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        dropOnList(&data);
    }
    bool lastDragAccepted = false;

private slots:
    void init()
    {
        reset();
        tree = std::make_unique<QTemporaryDir>();
        load();
    }
    void cleanup() { finish(); }

    // ---- Add MP4 File(s) ------------------------------------------------------------------------------

    void dialogChoices_data()
    {
        QTest::addColumn<QStringList>("chosen");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("one file") << QStringList { "/v/a.mp4" } << QStringList { "/v/a.mp4" };
        QTest::newRow("several, in the dialog's order")
            << QStringList { "/v/c.mp4", "/v/a.mp4", "/v/b.mp4" } << QStringList { "/v/c.mp4", "/v/a.mp4", "/v/b.mp4" };
        QTest::newRow("the root folder") << QStringList { "/a.mp4", "/b.mp4" } << QStringList { "/a.mp4", "/b.mp4" };
        QTest::newRow("awkward names") << QStringList { "/v/My \"best\" clip.mp4", "/v/Vidéo d'été.MP4" }
                                       << QStringList { "/v/My \"best\" clip.mp4", "/v/Vidéo d'été.MP4" };
        QTest::newRow("cancel") << QStringList {} << QStringList {};
    }
    void dialogChoices()
    {
        QFETCH(QStringList, chosen);
        QFETCH(QStringList, expected);
        dialogs.expectOpenFiles(sys(chosen));
        click("PushButton1");
        QCOMPARE(rows(), sys(expected));
        QCOMPARE(dialogs.shown().size(), 1); // the dialog, and no box after it
        QCOMPARE(dialogs.shown()[0].title, QStringLiteral("Add File(s) - Use Ctrl & Shift to select multiple files"));
        QCOMPARE(dialogs.shown()[0].text, QStringLiteral("MP4 Files (*.mp4)"));
    }

    void dialogChoosingTheSameFileTwiceAddsItTwice()
    {
        dialogs.expectOpenFiles({ sys("/v/a.mp4") });
        dialogs.expectOpenFiles({ sys("/v/a.mp4") });
        click("PushButton1");
        click("PushButton1");
        QCOMPARE(rows(), sys(QStringList { "/v/a.mp4", "/v/a.mp4" }));
    }

    void tooManyFilesForTheDialogsBuffer()
    {
        QStringList chosen;
        for (int i = 0; i < 1000; ++i) // about 35 characters each, 35000 in all
            chosen << QStringLiteral("/videos/holiday/clip number %1 of the summer.mp4").arg(i, 4, 10, QChar('0'));
        dialogs.expectOpenFiles(chosen);
        dialogs.expectMessage();
        click("PushButton1");
        QVERIFY(rows().isEmpty());
        const ShownBox& box = dialogs.shown().last();
        QCOMPARE(box.text,
            QStringLiteral("You've selected too many files to add.\r\rPlease try adding via the "
                           "\"Add All\" button."));
        QCOMPARE(box.title, QStringLiteral("Quorvane"));
        QCOMPARE(box.icon, MessageIcon::None);
        QCOMPARE(box.buttons, MessageButtons::Ok);
    }

    // ---- Add All MP4 File(s) In Folder ----------------------------------------------------------------

    void folderWalk()
    {
        make("a.mp4");
        make("B.MP4");
        make("~skipped.mp4");
        make(".hidden.mp4"); // hidden and archive only
        make(".hidden-readonly.mp4", QFileDevice::ReadOwner | QFileDevice::ReadGroup); // still added
        make("notes.txt");
        make("one/c.mp4");
        make("one/deeper/d.mp4");
        make("one/deeper/deepest/e.mp4");
        make("two/f.mp4");
        make("~old/g.mp4");
        make(".secret/h.mp4");
        make(".secret/inner/i.mp4");
        make("what?/j.mp4");
        QVERIFY(QFile::link(at("one"), at("link")));

        dialogs.expectInput("MP4");
        // The folder as the system gives it, with its own separators.
        dialogs.expectFolder(QDir::toNativeSeparators(tree->path()));
        click("PushButton4");

        const QStringList expected = expectedWalk(QDir::toNativeSeparators(tree->path()), "*.MP4");
        QCOMPARE(rows(), expected);
        QCOMPARE(rows().size(), 8);
        QVERIFY(rows().contains(at(".hidden-readonly.mp4")));
        QVERIFY(rows().contains(at("~old/g.mp4")));
        QVERIFY(rows().contains(at("one/deeper/deepest/e.mp4")));
        // Level by level: the chosen folder's files, then the first level's, then deeper ones.
        QVERIFY(rows().indexOf(at("two/f.mp4")) < rows().indexOf(at("one/deeper/d.mp4")));
        QVERIFY(rows().indexOf(at("one/deeper/d.mp4")) < rows().indexOf(at("one/deeper/deepest/e.mp4")));

        const ShownBox& prompt = dialogs.shown()[0];
        QCOMPARE(prompt.text,
            QStringLiteral("Enter file extension to load:\r\r(* for all files, txt for all txt "
                           "files, doc for all doc files, etc.)"));
        QCOMPARE(prompt.proposed, QStringLiteral("mp4"));
        QCOMPARE(prompt.title, QStringLiteral("Quorvane"));
        QCOMPARE(dialogs.shown()[1].text, QStringLiteral("Please select folder:"));
        QCOMPARE(store->value("Extension"), QStringLiteral("MP4"));
        QCOMPARE(form->mousePointer(), 0);
    }

    void folderWalkShowsTheHourglass()
    {
        make("one/a.mp4");
        WatchedListing watched;
        watched.watch = [this] { return form->mousePointer(); };
        form.reset();
        form = std::make_unique<Form1>(
            Services { dialogs, *store, shell, folders, attributes, random, watched, runner });
        form->Form_Load();
        dialogs.expectInput("mp4");
        dialogs.expectFolder(QDir::toNativeSeparators(tree->path()));
        click("PushButton4");
        QCOMPARE(watched.pointers, QSet<int> { 11 });
        QCOMPARE(form->mousePointer(), 0);
        QCOMPARE(rows(), QStringList { at("one/a.mp4") });
    }

    void everyFileWithAnAsterisk()
    {
        make("README");
        make("clip.mp4");
        make("notes.txt");
        make("~draft.txt");
        dialogs.expectInput("*");
        dialogs.expectFolder(QDir::toNativeSeparators(tree->path()));
        click("PushButton4");
        QStringList found = rows();
        found.sort();
        QCOMPARE(found, QStringList({ at("README"), at("clip.mp4"), at("notes.txt") }));
    }

    void pressingTwiceAddsEveryFileTwice()
    {
        make("a.mp4");
        for (int i = 0; i < 2; ++i) {
            dialogs.expectInput("mp4");
            dialogs.expectFolder(QDir::toNativeSeparators(tree->path()));
            click("PushButton4");
        }
        QCOMPARE(rows(), QStringList({ at("a.mp4"), at("a.mp4") }));
    }

    void cancelledPromptOrPicker()
    {
        make("a.mp4");
        dialogs.expectInput("");
        click("PushButton4");
        QVERIFY(!store->contains("Extension"));
        QCOMPARE(dialogs.shown().size(), 1);

        // The answer is stored before the folder is chosen, so cancelling the picker keeps it.
        dialogs.expectInput("mov");
        dialogs.expectFolder("");
        click("PushButton4");
        QCOMPARE(store->value("Extension"), QStringLiteral("mov"));
        QVERIFY(rows().isEmpty());
        QCOMPARE(form->mousePointer(), 0);
    }

    void patterns()
    {
        QVERIFY(matchesPattern("Clip.MP4", "*.mp4"));
        QVERIFY(matchesPattern("clip.mp4", "*.MP4"));
        QVERIFY(!matchesPattern("clip.mp4.txt", "*.mp4"));
        QVERIFY(matchesPattern("README", "*.*"));
        QVERIFY(matchesPattern("a.b.c", "*.*"));
        QVERIFY(matchesPattern("clip7.mp4", "clip?.mp4"));
        QVERIFY(!matchesPattern("clip17.mp4", "clip?.mp4"));
        QVERIFY(matchesPattern("x.mpeg", "*.mp*"));
        QVERIFY(!matchesPattern("mp4", "*.mp4"));
    }

    // ---- Drag and drop ---------------------------------------------------------------------------------

    void droppedFilesAreAddedAsDropped()
    {
        make("a.mp4");
        make("notes.txt");
        make("~temp.mp4");
        const QString awkward = allowed("\"") ? "Vidéo \"1\".mp4" : "Vidéo «1».mp4";
        make(awkward);
        dropPaths({ at("notes.txt"), at("a.mp4"), at("~temp.mp4"), at(awkward) });
        QVERIFY(lastDragAccepted);
        QCOMPARE(rows(), QStringList({ at("notes.txt"), at("a.mp4"), at("~temp.mp4"), at(awkward) }));
    }

    void droppedFoldersAreSearched()
    {
        make("A/a.mp4");
        make("A/notes.txt");
        make("A/~lock.txt");
        make("A/.hidden");
        make("A/sub/b.mkv");
        make("B/c.mp4");
        make("C/only/d.mp4"); // a folder that holds only a folder
        make(".Hidden/e.mp4");
        dropPaths({ at("A"), at("B"), at("C"), at(".Hidden") });
        QStringList expected = expectedWalk(at("A"), "*.*") + expectedWalk(at("B"), "*.*")
            + expectedWalk(at("C"), "*.*") + QStringList { at(".Hidden") };
        QCOMPARE(rows(), expected);
        QCOMPARE(rows().size(), 6);
        QVERIFY(!rows().contains(at("A/.hidden")));
        QVERIFY(rows().contains(at("C/only/d.mp4")));
    }

    void filesNamedAtStartAreAddedAsDropped()
    {
        // quorvane a.mp4 "b c.mp4" folder gone.mp4, started in the tree's folder.
        make("a.mp4");
        make("b c.mp4");
        make("folder/c.mp4");
        make("folder/deeper/d.txt");
        const CommandLine line
            = parseCommandLine({ "a.mp4", "b c.mp4", "folder/", "gone.mp4", at("a.mp4") }, tree->path());
        QCOMPARE(line.action, CommandLine::Run);
        dialogs.expectMessage();
        form->openPaths(line.paths);
        QCOMPARE(rows(),
            QStringList({ at("a.mp4"), at("b c.mp4") }) + expectedWalk(at("folder"), "*.*")
                + QStringList { at("a.mp4") });
        QCOMPARE(rows().size(), 5);
        // The missing file is named in the drop handler's box, and the rest still came in.
        QCOMPARE(dialogs.shown().size(), 1);
        QVERIFY2(dialogs.shown()[0].text.startsWith("File not found: " + at("gone.mp4")),
            qPrintable(dialogs.shown()[0].text));
        QVERIFY(dialogs.shown()[0].text.contains("ListView1_OLEDragDrop"));
        QVERIFY(!store->contains("Extension")); // nothing of it is remembered
    }

    void commandLineOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<QStringList>("paths");
        QTest::newRow("nothing") << QStringList {} << int(CommandLine::Run) << QStringList {};
        QTest::newRow("help") << QStringList { "a.mp4", "--help" } << int(CommandLine::Help) << QStringList {};
        QTest::newRow("version") << QStringList { "--version" } << int(CommandLine::Version) << QStringList {};
        QTest::newRow("unknown option") << QStringList { "--fast", "a.mp4" } << int(CommandLine::Usage)
                                        << QStringList {};
        QTest::newRow("a name beginning with -, after --") << QStringList { "--", "-x.mp4",
            "--help" } << int(CommandLine::Run) << QStringList { "/w/-x.mp4", "/w/--help" };
        QTest::newRow("absolute, relative, upward") << QStringList { "/v/a.mp4", "b.mp4",
            "../c.mp4" } << int(CommandLine::Run) << QStringList { "/v/a.mp4", "/w/b.mp4", "/c.mp4" };
    }
    void commandLineOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QStringList, paths);
        const CommandLine line = parseCommandLine(arguments, sys("/w"));
        QCOMPARE(int(line.action), action);
        QCOMPARE(line.paths, sys(paths));
        QCOMPARE(asksWithoutWindow(arguments), line.action == CommandLine::Help || line.action == CommandLine::Version);
    }

    void dragsWithoutFilesAreRefused()
    {
        QMimeData text;
        text.setText(QStringLiteral("/some/file.mp4"));
        dropOnList(&text);
        QVERIFY(!lastDragAccepted);
        QVERIFY(rows().isEmpty());

        QMimeData web;
        web.setUrls({ QUrl("https://example.org/clip.mp4") });
        dropOnList(&web);
        QVERIFY(!lastDragAccepted);
        QVERIFY(rows().isEmpty());
    }

    // ---- Load Sample/Example Files ---------------------------------------------------------------------

    void samples_data()
    {
        QTest::addColumn<bool>("folderThere");
        QTest::addColumn<bool>("yes");
        QTest::newRow("yes") << true << true;
        QTest::newRow("no") << true << false;
        QTest::newRow("no sample folder") << false << true;
    }
    void samples()
    {
        QFETCH(bool, folderThere);
        QFETCH(bool, yes);
        const QStringList names { "Counting Clock.mp4", "Colour Bars.mp4", "Mandelbrot Zoom.mp4" };
        if (folderThere) {
            QVERIFY(QDir().mkpath(programFile("Samples")));
            for (const QString& name : names)
                QVERIFY(QFile::copy(QStringLiteral(QUORVANE_SAMPLES_DIR "/") + name, programFile("Samples/" + name)));
        }
        dialogs.expectMessage(yes ? MessageAnswer::Yes : MessageAnswer::No);
        click("PushButton5");

        QStringList found = rows();
        found.sort();
        QStringList expected;
        if (folderThere) {
            for (const QString& name : names)
                expected << QDir::toNativeSeparators(programFile("Samples/" + name));
            expected.sort();
        }
        QCOMPARE(found, expected);
        const ShownBox& question = dialogs.shown().last();
        QCOMPARE(question.text,
            QStringLiteral("Would you like this software to open the folder where these sample "
                           "files are stored (so that you can view them before working with "
                           "them)?"));
        QCOMPARE(question.buttons, MessageButtons::YesNo);
        QCOMPARE(question.icon, MessageIcon::None);
        QCOMPARE(shell.folders,
            yes ? QStringList { QDir::toNativeSeparators(programFile("Samples")) + QDir::separator() }
                : QStringList {});
        QCOMPARE(control<QComboBox>("Combo1")->currentText(), QStringLiteral("Split every 5 seconds"));
        QCOMPARE(store->value("Combo1"), QStringLiteral("1"));
    }

    // ---- Removing rows ---------------------------------------------------------------------------------

    void removingRows()
    {
        // On an empty list nothing happens and nothing is said.
        QTest::keyClick(list(), Qt::Key_Delete);
        QTest::mouseDClick(list()->viewport(), Qt::LeftButton);
        click("PushButton3");
        QVERIFY(rows().isEmpty());

        for (const char* path : { "/v/a.mp4", "/v/b.mp4", "/v/c.mp4", "/v/d.mp4", "/v/e.mp4" })
            list()->AppendRow(QString::fromLatin1(path));
        list()->setCurrentItem(list()->topLevelItem(1));
        QTest::keyClick(list(), Qt::Key_Delete);
        QCOMPARE(rows(), QStringList({ "/v/a.mp4", "/v/c.mp4", "/v/d.mp4", "/v/e.mp4" }));

        list()->setCurrentItem(list()->topLevelItem(0));
        QTest::keyClick(list(), Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(rows(), QStringList({ "/v/c.mp4", "/v/d.mp4", "/v/e.mp4" }));

        // Several rows selected: one press removes one row, the one the list reports.
        list()->selectAll();
        list()->setCurrentItem(list()->topLevelItem(2), 0, QItemSelectionModel::Select);
        QTest::keyClick(list(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(rows(), QStringList({ "/v/c.mp4", "/v/d.mp4" }));

        // Other keys do nothing.
        list()->setCurrentItem(list()->topLevelItem(0));
        QTest::keyClick(list(), Qt::Key_Backspace);
        QCOMPARE(rows().size(), 2);

        const QRect first = list()->visualItemRect(list()->topLevelItem(0));
        QTest::mouseDClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, first.center());
        QCOMPARE(rows(), QStringList({ "/v/d.mp4" }));

        click("PushButton3");
        QVERIFY(rows().isEmpty());
        QVERIFY(dialogs.shown().isEmpty());
    }
};

QTEST_MAIN(TestFileList)
#include "test_filelist.moc"
