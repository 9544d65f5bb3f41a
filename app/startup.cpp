// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "app/startup.h"

#include "app/skinframework.h"
#include "platform/failure.h"
#include "platform/fileattributes.h"
#include "platform/randomsource.h"
#include "platform/shell.h"
#include "platform/systemfolders.h"
#include "platform/terminationsignals.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QScreen>
#include <QWidget>

#include <cstdlib>
#include <utility>

namespace quorvane {

const QString homePageAddress = QStringLiteral("https://www.brindlecot.example/");

QString GetSpecialFolderPath(SystemFolders& folders, int folderId) { return folders.specialFolderPath(folderId); }

QString GetDesktopPath(SystemFolders& folders)
{
    const QString path = GetSpecialFolderPath(folders, CSIDL_DESKTOP);
    if (path.isEmpty())
        throw Failure::invalidCall();
    return path + pathSeparator();
}

bool PathExists(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

QPointF centeredOrigin(const QSizeF& screen, const QSizeF& window)
{
    return { (screen.width() - window.width()) / 2.0, (screen.height() - window.height()) / 2.0 };
}

void CenterFormOnScreen(QWidget& form)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        throw Failure::invalidCall();
    const QRect area = screen->geometry();
    const QPointF origin = centeredOrigin(area.size(), form.frameGeometry().size());
    form.move(area.x() + qRound(origin.x()), area.y() + qRound(origin.y()));
}

void ApplySkin(QWidget& form, SkinFramework& skin, SystemFolders& folders, FileAttributes& attributes)
{
    const QChar sep = pathSeparator();
    const QString path = folders.programFolder() + sep + QStringLiteral("x") + sep + QStringLiteral("o.cjs");
    if (!attributes.isNormalFile(path))
        return;

    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    const auto takeButtonFace = [&](QWidget& widget) {
        QPalette palette = widget.palette();
        palette.setColor(QPalette::Window, buttonFace);
        widget.setPalette(palette);
    };
    takeButtonFace(form);
    for (QWidget* child : form.findChildren<QWidget*>()) {
        if (qobject_cast<QGroupBox*>(child) || qobject_cast<QLabel*>(child) || qobject_cast<QCheckBox*>(child)
            || qobject_cast<QRadioButton*>(child))
            takeButtonFace(*child);
    }

    skin.loadSkin(path, QString());
    skin.setApplyOptions(skin.applyOptions() | SkinFramework::ApplyColors);
    skin.setAutoApplyNewWindows(true);
    skin.setKeepDesignedFonts(true);
    skin.applyWindow(&form);
}

void OpenHomePageSometimes(RandomSource& random, Shell& shell)
{
    const int number = static_cast<int>(random.fraction() * 100.0) + 1;
    if (number == 7)
        shell.openWebAddress(homePageAddress);
}

void closeOnTerminationSignals(TerminationSignals& termination, QWidget& window)
{
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &window, &QWidget::close);
}

namespace {

std::function<void()>& atExit()
{
    static std::function<void()> last;
    return last;
}

} // namespace

void runAtExit(std::function<void()> last)
{
    static const bool registered = std::atexit([] {
        if (const std::function<void()> due = std::exchange(atExit(), {}))
            due();
    }) == 0;
    Q_UNUSED(registered);
    atExit() = std::move(last);
}

} // namespace quorvane
