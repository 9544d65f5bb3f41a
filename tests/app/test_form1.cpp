// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "app/progressbar.h"
#include "app/skinframework.h"
#include "app/startup.h"
#include "core/errorreport.h"
#include "formfixture.h"
#include "platform/failure.h"
#include "scripteddialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace quorvane;
using namespace quorvane::test;

namespace {

const QString loadSource = QStringLiteral("in Tavishend2/19/2015.Form1.Form_Load ");

// Watches the order in which the window drives its skin, and the frames' colour when the skin is loaded.
class RecordingSkin : public SkinFramework {
public:
    RecordingSkin(QStringList& log, QWidget*& window)
        : m_log(log)
        , m_window(window)
    {
        SkinFramework::setApplyOptions(4); // an option the window must keep
    }
    bool loadSkin(const QString& path, const QString& iniName) override
    {
        const auto* frame = m_window ? m_window->findChild<QGroupBox*>(QStringLiteral("Frame1")) : nullptr;
        const bool buttonFace
            = frame && frame->palette().color(QPalette::Window) == QApplication::palette().color(QPalette::Button);
        m_log << QStringLiteral("load %1 '%2' frames %3").arg(path, iniName, buttonFace ? "button face" : "white");
        return SkinFramework::loadSkin(path, iniName);
    }
    void setApplyOptions(int options) override
    {
        m_log << QStringLiteral("options %1").arg(options);
        SkinFramework::setApplyOptions(options);
    }
    void setAutoApplyNewWindows(bool on) override
    {
        m_log << QStringLiteral("autoApplyNewWindows %1").arg(on);
        SkinFramework::setAutoApplyNewWindows(on);
    }
    void setKeepDesignedFonts(bool on) override
    {
        m_log << QStringLiteral("keepDesignedFonts %1").arg(on);
        SkinFramework::setKeepDesignedFonts(on);
    }
    void applyWindow(QWidget* window) override
    {
        m_log << QStringLiteral("apply %1").arg(window->objectName());
        SkinFramework::applyWindow(window);
    }

private:
    QStringList& m_log;
    QWidget*& m_window;
};

QMouseEvent mouseMove(QWidget* over)
{
    const QPointF local(over->width() / 2.0, over->height() / 2.0);
    return QMouseEvent(QEvent::MouseMove, local, over->mapToGlobal(local), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
}

} // namespace

class TestForm1 : public QObject, public FormFixture {
    Q_OBJECT

private:
    QStringList skinLog;
    QWidget* skinWindow = nullptr;

    Form1& open()
    {
        FormFixture::open(std::make_unique<RecordingSkin>(skinLog, skinWindow));
        skinWindow = form.get();
        return *form;
    }
    Form1& load()
    {
        open().Form_Load();
        return *form;
    }
    void writeProgramFile(const QString& relative, const QByteArray& content)
    {
        QVERIFY(writeFile(programFile(relative), content));
    }
    QString errorBox(const QString& description, int line) const
    {
        return ErrorReport::message(description, loadSource, line);
    }

private slots:
    void init()
    {
        reset();
        skinLog.clear();
    }
    void cleanup()
    {
        skinWindow = nullptr;
        finish();
    }

    void firstStartWithAnEmptyStore()
    {
        Form1& window = load();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QVERIFY(dialogs.shown().isEmpty());
        QCOMPARE(window.windowTitle(), QStringLiteral("Quorvane"));
        QVERIFY(!window.windowIcon().isNull());
        QCOMPARE(window.windowIcon().availableSizes(),
            QList<QSize>({ QSize(32, 32), QSize(48, 48), QSize(128, 128), QSize(256, 256) }));
        auto* combo = control<QComboBox>("Combo1");
        QCOMPARE(combo->currentIndex(), 2);
        QCOMPARE(combo->currentText(), QStringLiteral("Split every 10 seconds"));
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        QCOMPARE(items,
            QStringList({ "Split every 1 second", "Split every 5 seconds", "Split every 10 seconds",
                "Split every 30 seconds", "Split every x seconds", "Split every 1 minute", "Split every 5 minutes",
                "Split every 10 minutes", "Split every 15 minutes", "Split every 20 minutes", "Split every 30 minutes",
                "Split every x minutes", "Split every 1 hour", "Split every 2 hours", "Split every x hours" }));
        // Split by length, the interval list shown; beside it, hidden, the sizes and the counts.
        const auto itemsOf = [this](const char* name) {
            QStringList texts;
            for (int i = 0; i < control<QComboBox>(name)->count(); ++i)
                texts << control<QComboBox>(name)->itemText(i);
            return texts;
        };
        QCOMPARE(itemsOf("Combo2"), QStringList({ "By length", "By size", "Equal parts" }));
        QCOMPARE(control<QComboBox>("Combo2")->currentIndex(), 0);
        QCOMPARE(itemsOf("Combo3"),
            QStringList({ "Pieces of at most 8 MB", "Pieces of at most 25 MB", "Pieces of at most 100 MB",
                "Pieces of at most 2 GB", "Pieces of at most 4 GB, for FAT32 cards", "Pieces of at most x MB" }));
        QCOMPARE(control<QComboBox>("Combo3")->currentText(), QStringLiteral("Pieces of at most 25 MB"));
        QCOMPARE(itemsOf("Combo4"),
            QStringList({ "Split into 2 parts", "Split into 3 parts", "Split into 4 parts", "Split into 5 parts",
                "Split into 10 parts", "Split into x parts" }));
        QCOMPARE(control<QComboBox>("Combo4")->currentText(), QStringLiteral("Split into 2 parts"));
        QVERIFY(combo->isVisible());
        QVERIFY(!control<QComboBox>("Combo3")->isVisible());
        QVERIFY(!control<QComboBox>("Combo4")->isVisible());
        QCOMPARE(control<QLineEdit>("Text2")->text(), desktop());
        QCOMPARE(store->value("Combo1"), QStringLiteral("2"));
        QCOMPARE(store->value("Text2"), desktop());
        QVERIFY(!control<QCheckBox>("Check1")->isChecked()); // exact lengths are asked for, never assumed
        auto* list = control<QTreeWidget>("ListView1");
        QCOMPARE(list->headerItem()->text(0), QStringLiteral("MP4 File(s)"));
        QCOMPARE(list->columnCount(), 1);
        QCOMPARE(list->columnWidth(0), 467);
        QVERIFY(shell.addresses.isEmpty());

        // Centred on the primary screen.
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QVERIFY(qAbs(window.frameGeometry().center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(window.frameGeometry().center().y() - screen.center().y()) <= 1);
    }

    void controlsAreWhereTheDesignPutsThem_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("parentName");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::newRow("ListView1") << "ListView1"
                                   << "Form1" << QRect(8, 8, 520, 121) << "";
        QTest::newRow("ProgressBar1") << "ProgressBar1"
                                      << "Form1" << QRect(8, 375, 520, 27) << "";
        QTest::newRow("Frame1") << "Frame1"
                                << "Form1" << QRect(8, 200, 520, 72) << "How often would you like to split?";
        QTest::newRow("Combo2") << "Combo2"
                                << "Frame1" << QRect(16, 20, 120, 23) << "";
        QTest::newRow("Combo1") << "Combo1"
                                << "Frame1" << QRect(144, 20, 361, 23) << "";
        QTest::newRow("Combo3") << "Combo3"
                                << "Frame1" << QRect(144, 20, 361, 23) << "";
        QTest::newRow("Combo4") << "Combo4"
                                << "Frame1" << QRect(144, 20, 361, 23) << "";
        QTest::newRow("Check1") << "Check1"
                                << "Frame1" << QRect(16, 48, 489, 19)
                                << "Exact lengths (re-encodes a few frames at each cut)";
        QTest::newRow("PushButton1") << "PushButton1"
                                     << "Form1" << QRect(8, 136, 256, 27) << "Add MP4 File(s)";
        QTest::newRow("PushButton4") << "PushButton4"
                                     << "Form1" << QRect(272, 136, 256, 27) << "Add All MP4 File(s) In Folder";
        QTest::newRow("PushButton2") << "PushButton2"
                                     << "Form1" << QRect(8, 339, 520, 27) << "Start Splitting";
        QTest::newRow("PushButton3") << "PushButton3"
                                     << "Form1" << QRect(8, 170, 256, 27) << "Clear List";
        QTest::newRow("PushButton5") << "PushButton5"
                                     << "Form1" << QRect(272, 170, 256, 27) << "Load Sample/Example Files";
        QTest::newRow("Frame2") << "Frame2"
                                << "Form1" << QRect(8, 277, 520, 54) << "Save Results To This Folder";
        QTest::newRow("Text2") << "Text2"
                               << "Frame2" << QRect(16, 20, 442, 23) << "";
        QTest::newRow("PushButton6") << "PushButton6"
                                     << "Frame2" << QRect(464, 20, 40, 23) << "...";
    }
    void controlsAreWhereTheDesignPutsThem()
    {
        QFETCH(QString, name);
        QFETCH(QString, parentName);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        load();
        auto* widget = form->findChild<QWidget*>(name);
        QVERIFY(widget);
        QCOMPARE(widget->parentWidget()->objectName(), parentName);
        QCOMPARE(widget->geometry(), geometry);
        if (auto* button = qobject_cast<QPushButton*>(widget))
            QCOMPARE(button->text(), text);
        if (auto* frame = qobject_cast<QGroupBox*>(widget))
            QCOMPARE(frame->title(), text);
        if (auto* box = qobject_cast<QCheckBox*>(widget))
            QCOMPARE(box->text(), text);
        const bool isButton = qobject_cast<QPushButton*>(widget) != nullptr;
        QCOMPARE(widget->font().family(), QStringLiteral("Arial"));
        QVERIFY(widget->font().bold());
        QCOMPARE(widget->font().pointSizeF(), isButton ? 11.25 : 9.0);
    }

    void windowDesign()
    {
        Form1& window = load();
        QCOMPARE(window.size(), QSize(536, 410));
        QCOMPARE(window.minimumSize(), window.maximumSize());
        QCOMPARE(window.palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(control<QGroupBox>("Frame1")->palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(control<QTreeWidget>("ListView1")->toolTip(),
            QStringLiteral("Drag and drop files here. Double-click item to remove it. Move bar to right and out "
                           "of window to reveal full names."));
        // Arial's metrics, as the captions were designed for: Arial, or Liberation Sans, made to its metrics.
        // (Which font stands in can be asked only where there are fonts: not on Windows without a window.)
        const QFont captions = control<QPushButton>("PushButton1")->font();
        QCOMPARE(captions.family(), QStringLiteral("Arial"));
        if (!QFontDatabase::families().isEmpty())
            QVERIFY2(QStringList({ "Arial", "Liberation Sans" }).contains(QFontInfo(captions).family()),
                qPrintable(QFontInfo(captions).family()));

        // Tab order, among the controls that take the focus.
        QStringList order;
        QWidget* w = control<QTreeWidget>("ListView1");
        do {
            if (w->focusPolicy() & Qt::TabFocus)
                order << w->objectName();
            w = w->nextInFocusChain();
        } while (w != control<QTreeWidget>("ListView1"));
        QCOMPARE(order,
            QStringList({ "ListView1", "Combo2", "Combo1", "Combo3", "Combo4", "Check1", "PushButton1", "PushButton4",
                "PushButton2", "PushButton3", "PushButton5", "Text2", "PushButton6" }));

        auto* bar = control<ProgressBar>("ProgressBar1");
        bar->setPreciseValue(100.0 / 3.0);
        QCOMPARE(bar->preciseValue(), 100.0 / 3.0);
    }

    void storedValuesAreRestored_data()
    {
        QTest::addColumn<QString>("combo1");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("failure");
        QTest::newRow("a choice") << "7" << 7 << "";
        QTest::newRow("blanks and a fraction") << " 4.5 " << 4 << "";
        QTest::newRow("the last choice") << "14" << 14 << "";
        QTest::newRow("no choice") << "-1" << -1 << "";
        QTest::newRow("past the last choice") << "15" << -1 << "Invalid property value";
        QTest::newRow("below no choice") << "-2" << -1 << "Invalid property value";
        QTest::newRow("not a number") << "abc" << -1 << "Type mismatch";
        QTest::newRow("beyond 16 bits") << "40000" << -1 << "Overflow";
        QTest::newRow("stored empty") << "" << -1 << "Type mismatch";
    }
    void storedValuesAreRestored()
    {
        QFETCH(QString, combo1);
        QFETCH(int, index);
        QFETCH(QString, failure);
        store->put("Combo1", combo1);
        store->put("Text2", "/srv/out/");
        store->put("Exact", "1");
        if (!failure.isEmpty())
            dialogs.expectMessage();
        load();
        QVERIFY(control<QCheckBox>("Check1")->isChecked());

        QCOMPARE(control<QComboBox>("Combo1")->currentIndex(), index);
        if (failure.isEmpty()) {
            QVERIFY(dialogs.shown().isEmpty());
        } else {
            QCOMPARE(dialogs.shown().size(), 1);
            QCOMPARE(dialogs.shown().first().text, errorBox(failure, 162));
            QCOMPARE(store->value("Combo1"), combo1); // left as it was
        }
        // Start-up went on with 164.
        QCOMPARE(control<QLineEdit>("Text2")->text(), QStringLiteral("/srv/out/"));
    }

    // A stored way, size or count that is no entry of its box is reported at its line, and the box shows its
    // default; the others are restored all the same.
    void storedWaySizeAndCountAreRestored_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("line");
        QTest::newRow("by size") << "Combo2"
                                 << "1" << 1 << "" << 0;
        QTest::newRow("equal parts") << "Combo2"
                                     << "2" << 2 << "" << 0;
        QTest::newRow("way past the last") << "Combo2"
                                           << "3" << 0 << "Invalid property value" << 166;
        QTest::newRow("way of none") << "Combo2"
                                     << "-1" << 0 << "Invalid property value" << 166;
        QTest::newRow("way not a number") << "Combo2"
                                          << "size" << 0 << "Type mismatch" << 166;
        QTest::newRow("4 GB") << "Combo3"
                              << "4" << 4 << "" << 0;
        QTest::newRow("x MB, with blanks") << "Combo3"
                                           << " 5 " << 5 << "" << 0;
        QTest::newRow("size past the last") << "Combo3"
                                            << "6" << 1 << "Invalid property value" << 168;
        QTest::newRow("size stored empty") << "Combo3"
                                           << "" << 1 << "Type mismatch" << 168;
        QTest::newRow("10 parts") << "Combo4"
                                  << "4" << 4 << "" << 0;
        QTest::newRow("count beyond 16 bits") << "Combo4"
                                              << "70000" << 0 << "Overflow" << 170;
    }
    void storedWaySizeAndCountAreRestored()
    {
        QFETCH(QString, key);
        QFETCH(QString, stored);
        QFETCH(int, index);
        QFETCH(QString, failure);
        QFETCH(int, line);
        store->put("Combo2", "2");
        store->put("Combo3", "3");
        store->put("Combo4", "2");
        store->put(key, stored);
        if (!failure.isEmpty())
            dialogs.expectMessage();
        load();
        QCOMPARE(control<QComboBox>(qPrintable(key))->currentIndex(), index);
        if (failure.isEmpty())
            QVERIFY(dialogs.shown().isEmpty());
        else
            QCOMPARE(dialogs.shown().first().text, errorBox(failure, line));
        QCOMPARE(control<QComboBox>("Combo2")->currentIndex(), key == "Combo2" ? index : 2);
        QCOMPARE(control<QComboBox>("Combo3")->currentIndex(), key == "Combo3" ? index : 3);
        QCOMPARE(control<QComboBox>("Combo4")->currentIndex(), key == "Combo4" ? index : 2);
        QCOMPARE(control<QComboBox>("Combo1")->currentIndex(), 2); // the interval is not touched
    }

    // The way, the size and the count are stored as they change, the way shows its own list, and a window
    // opened again over the same store shows them as they were left.
    void wayAndItsListAreRememberedAcrossARestart()
    {
        load();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        const auto shown = [this] {
            QStringList names;
            for (const char* name : { "Combo1", "Combo3", "Combo4" }) {
                if (control<QComboBox>(name)->isVisible())
                    names << QLatin1String(name);
            }
            return names;
        };
        auto* way = control<QComboBox>("Combo2");
        way->setCurrentIndex(1);
        QCOMPARE(store->value("Combo2"), QStringLiteral("1"));
        QCOMPARE(shown(), QStringList { "Combo3" });
        control<QComboBox>("Combo3")->setCurrentIndex(4);
        QCOMPARE(store->value("Combo3"), QStringLiteral("4"));
        way->setCurrentIndex(2);
        QCOMPARE(store->value("Combo2"), QStringLiteral("2"));
        QCOMPARE(shown(), QStringList { "Combo4" });
        control<QComboBox>("Combo4")->setCurrentIndex(5);
        QCOMPARE(store->value("Combo4"), QStringLiteral("5"));
        control<QComboBox>("Combo1")->setCurrentIndex(7); // hidden, and still its own
        way->setCurrentIndex(1);

        load();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QVERIFY(dialogs.shown().isEmpty());
        QCOMPARE(control<QComboBox>("Combo2")->currentText(), QStringLiteral("By size"));
        QCOMPARE(shown(), QStringList { "Combo3" });
        QCOMPARE(
            control<QComboBox>("Combo3")->currentText(), QStringLiteral("Pieces of at most 4 GB, for FAT32 cards"));
        QCOMPARE(control<QComboBox>("Combo4")->currentText(), QStringLiteral("Split into x parts"));
        QCOMPARE(control<QComboBox>("Combo1")->currentIndex(), 7);
        control<QComboBox>("Combo2")->setCurrentIndex(0);
        QCOMPARE(shown(), QStringList { "Combo1" });

        // The samples are split every 5 seconds, by length, whatever way was chosen before.
        control<QComboBox>("Combo2")->setCurrentIndex(2);
        dialogs.expectMessage(MessageAnswer::No);
        control<QPushButton>("PushButton5")->click();
        QCOMPARE(shown(), QStringList { "Combo1" });
        QCOMPARE(store->value("Combo2"), QStringLiteral("0"));
        QCOMPARE(control<QComboBox>("Combo1")->currentIndex(), 1);
    }

    void storedEmptyFolderWinsOverTheDesktop()
    {
        store->put("Text2", "");
        load();
        QCOMPARE(control<QLineEdit>("Text2")->text(), QString());
        QVERIFY(store->contains("Text2"));
        QCOMPARE(store->value("Text2"), QString());
    }

    void typedFolderIsKeptAsTyped()
    {
        store->put("Text2", "/srv/out");
        load();
        QCOMPARE(control<QLineEdit>("Text2")->text(), QStringLiteral("/srv/out"));
    }

    void noDesktopFailsLine164EvenWithAStoredFolder()
    {
        folders.desktop.clear();
        store->put("Text2", "/srv/out/");
        dialogs.expectMessage();
        load();
        QCOMPARE(dialogs.shown().first().text, errorBox("Invalid procedure call or argument", 164));
        QCOMPARE(control<QLineEdit>("Text2")->text(), QString());
        QCOMPARE(store->value("Text2"), QStringLiteral("/srv/out/"));
    }

    void everyChangeIsStored()
    {
        load();
        auto* combo = control<QComboBox>("Combo1");
        combo->setCurrentIndex(11);
        QCOMPARE(store->value("Combo1"), QStringLiteral("11"));

        auto* text = control<QLineEdit>("Text2");
        text->clear();
        const int before = store->writes("Text2");
        QTest::keyClicks(text, QStringLiteral("/tmp/clips"));
        QCOMPARE(store->writes("Text2") - before, 10); // once per key press
        QCOMPARE(store->value("Text2"), QStringLiteral("/tmp/clips"));

        auto* exact = control<QCheckBox>("Check1");
        exact->click();
        QCOMPARE(store->value("Exact"), QStringLiteral("1"));
        exact->click();
        QCOMPARE(store->value("Exact"), QStringLiteral("0"));
    }

    void settingsThatCannotBeStoredAreSaidOnce()
    {
        // Start-up writes the two restored values back: the first failure is reported, naming the file, and
        // no later change shows the box again; the window works on.
        store->failing = true;
        dialogs.expectMessage();
        load();
        QCOMPARE(dialogs.shown().size(), 1);
        QCOMPARE(dialogs.shown().first().title, QStringLiteral("Application Error"));
        QCOMPARE(dialogs.shown().first().text,
            ErrorReport::message("Permission denied: /home/ann/.config/Brindlecot.conf",
                "in Tavishend2/19/2015.Form1.Combo1_Click ", 100));
        control<QComboBox>("Combo1")->setCurrentIndex(5);
        QTest::keyClicks(control<QLineEdit>("Text2"), QStringLiteral("/tmp"));
        QCOMPARE(dialogs.shown().size(), 1);
        QCOMPARE(control<QComboBox>("Combo1")->currentIndex(), 5);
    }

    void pointerFollowsTheMouse()
    {
        Form1& window = load();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto moveOver = [](QWidget* w) {
            QMouseEvent move = mouseMove(w);
            QApplication::sendEvent(w, &move);
        };
        auto* start = control<QPushButton>("PushButton2");
        auto* choose = control<QPushButton>("PushButton6");
        QCOMPARE(window.mousePointer(), 0);

        moveOver(start);
        QCOMPARE(window.mousePointer(), 99);
        moveOver(control<QLineEdit>("Text2")); // the text box, the combo box and the bar change nothing
        moveOver(control<QComboBox>("Combo1"));
        moveOver(control<ProgressBar>("ProgressBar1"));
        QCOMPARE(window.mousePointer(), 99);
        moveOver(control<QTreeWidget>("ListView1")->viewport());
        QCOMPARE(window.mousePointer(), 0);
        moveOver(choose); // a button inside a frame is still a button
        QCOMPARE(window.mousePointer(), 99);
        moveOver(control<QGroupBox>("Frame2"));
        QCOMPARE(window.mousePointer(), 0);
        moveOver(start);
        moveOver(&window);
        QCOMPARE(window.mousePointer(), 0);

        // A busy handler's hourglass stays whatever the mouse does.
        window.setMousePointer(MousePointer::Hourglass);
        moveOver(start);
        moveOver(control<QGroupBox>("Frame1"));
        QCOMPARE(window.mousePointer(), 11);
        QCOMPARE(start->cursor().shape(), Qt::WaitCursor);
        QCOMPARE(control<QLineEdit>("Text2")->cursor().shape(), Qt::WaitCursor);
        window.setMousePointer(MousePointer::Default);
        QCOMPARE(control<QLineEdit>("Text2")->cursor().shape(), Qt::IBeamCursor);

        // Without the hand image the buttons show an ordinary pointer.
        QVERIFY(!window.hasCustomPointerImage());
        moveOver(start);
        QCOMPARE(start->cursor().shape(), Qt::ArrowCursor);
    }

    void handImageBesideTheProgram()
    {
        QFile::copy(QStringLiteral(QUORVANE_SOURCE_DIR "/resources/HAND-M.CUR"), programFile("HAND-M.CUR"));
        Form1& window = load();
        QVERIFY(dialogs.shown().isEmpty());
        QVERIFY(window.hasCustomPointerImage());
        window.setMousePointer(MousePointer::Custom);
        const QCursor cursor = control<QPushButton>("PushButton1")->cursor();
        QCOMPARE(cursor.shape(), Qt::BitmapCursor);
        QCOMPARE(cursor.pixmap().size(), QSize(32, 32));
        QCOMPARE(cursor.hotSpot(), QPoint(6, 0));
    }

    void handFileThatIsNoPictureFailsLine106()
    {
        writeProgramFile("HAND-M.CUR", "not a cursor at all");
        dialogs.expectMessage();
        Form1& window = load();
        QCOMPARE(dialogs.shown().first().text, errorBox("Invalid picture", 106));
        QVERIFY(!window.hasCustomPointerImage());
        QCOMPARE(window.windowTitle(), QStringLiteral("Quorvane")); // start-up went on
    }

    void skin_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("applied");
        QTest::newRow("absent") << "absent" << false;
        QTest::newRow("present") << "present" << true;
        QTest::newRow("hidden") << "hidden" << false;
        QTest::newRow("a folder of that name") << "folder" << false;
    }
    void skin()
    {
        QFETCH(QString, state);
        QFETCH(bool, applied);
        const QString path = programFile("x/o.cjs");
        if (state == "present" || state == "hidden")
            writeProgramFile("x/o.cjs", "QPushButton { color: rgb(1, 2, 3); }");
        if (state == "hidden")
            attributes.hidden.insert(path);
        if (state == "folder")
            QVERIFY(QDir().mkpath(path));

        load();
        if (applied) {
            QCOMPARE(skinLog,
                QStringList({ QStringLiteral("load %1 '' frames button face").arg(QDir::toNativeSeparators(path)),
                    "options 5", "autoApplyNewWindows 1", "keepDesignedFonts 1", "apply Form1" }));
            QCOMPARE(form->palette().color(QPalette::Window), QApplication::palette().color(QPalette::Button));
            QVERIFY(qApp->styleSheet().contains("rgb(1, 2, 3)"));
        } else {
            QVERIFY(skinLog.isEmpty());
            QCOMPARE(form->palette().color(QPalette::Window), QColor(Qt::white));
            QVERIFY(qApp->styleSheet().isEmpty());
        }
        QVERIFY(dialogs.shown().isEmpty());
    }

    void homePageOpensOnceInAHundred_data()
    {
        QTest::addColumn<double>("fraction");
        QTest::addColumn<bool>("opens");
        QTest::newRow("draws 1") << 0.0 << false;
        QTest::newRow("draws 6") << 0.0599 << false;
        QTest::newRow("draws 7") << 0.06 << true;
        QTest::newRow("draws 7, upper end") << 0.0699 << true;
        QTest::newRow("draws 8") << 0.07 << false;
        QTest::newRow("draws 100") << 0.9999 << false;
    }
    void homePageOpensOnceInAHundred()
    {
        QFETCH(double, fraction);
        QFETCH(bool, opens);
        random.fractions = { fraction };
        load();
        QCOMPARE(shell.addresses, opens ? QStringList({ homePageAddress }) : QStringList());
    }

    void homePageIsDrawnAfreshAtEveryStart()
    {
        random.fractions = { 0.5, 0.06, 0.5 };
        for (int start = 0; start < 3; ++start)
            load();
        QCOMPARE(shell.addresses.size(), 1);
        QCOMPARE(random.fractions.size(), 0);
    }

    void homePageThatCannotBeOpenedFailsLine108()
    {
        random.fractions = { 0.06 };
        shell.failing = true;
        dialogs.expectMessage();
        load();
        QCOMPARE(dialogs.shown().first().text, errorBox("File not found", 108));
        QCOMPARE(form->windowTitle(), QStringLiteral("Quorvane"));
    }

    void closingTheWindowEndsTheProgram()
    {
        Form1& window = load();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.close();
        QCOMPARE(endings, 1);
    }

    void startupRoutines()
    {
        QCOMPARE(centeredOrigin(QSizeF(15360, 11520), QSizeF(4000, 3000)), QPointF(5680, 4260));
        QVERIFY(centeredOrigin(QSizeF(15360, 11520), QSizeF(16000, 3000)).x() < 0);

        QTemporaryDir dir;
        QVERIFY(PathExists(dir.path()));
        QFile file(dir.filePath("clip.mp4"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(PathExists(file.fileName()));
        QVERIFY(!PathExists(QString()));
        QVERIFY(!PathExists(dir.filePath("missing/clip.mp4")));

        folders.desktop = desktop().chopped(1);
        QCOMPARE(GetDesktopPath(folders), desktop());
        folders.desktop.clear();
        try {
            GetDesktopPath(folders);
            QFAIL("no desktop was not reported");
        } catch (const Failure& failure) {
            QCOMPARE(failure.code(), 5);
        }
    }
};

QTEST_MAIN(TestForm1)
#include "test_form1.moc"
