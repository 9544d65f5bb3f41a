// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QPointF>
#include <QSizeF>
#include <QString>
#include <functional>

class QWidget;

namespace quorvane {

class FileAttributes;
class RandomSource;
class Shell;
class SkinFramework;
class SystemFolders;
class TerminationSignals;

extern const QString homePageAddress;

// The shell folder's path without a trailing separator, "" when it cannot be resolved.
QString GetSpecialFolderPath(SystemFolders& folders, int folderId);
// The desktop folder followed by one separator; throws "Invalid procedure call or argument" (5) when
// the desktop cannot be resolved.
QString GetDesktopPath(SystemFolders& folders);
// True for an existing file or folder; never throws.
bool PathExists(const QString& path);

// Where a window of `window` size sits in the middle of `screen`; no clamping.
QPointF centeredOrigin(const QSizeF& screen, const QSizeF& window);
void CenterFormOnScreen(QWidget& form);

// Skins `form` when "x/o.cjs" beside the program is a normal file.
void ApplySkin(QWidget& form, SkinFramework& skin, SystemFolders& folders, FileAttributes& attributes);

// About one call in a hundred opens the home page.
void OpenHomePageSometimes(RandomSource& random, Shell& shell);

// A logout, a shutdown, a closed terminal or Ctrl-C ends the program as closing its window does: the tool
// ended, its working copy and folder removed.
void closeOnTerminationSignals(TerminationSignals& termination, QWidget& window);

// Qt ends the program with exit() when the display connection is lost, bypassing the window: `last` runs
// then, before the process goes. An empty function cancels it, for when what it uses is gone.
void runAtExit(std::function<void()> last);

} // namespace quorvane
