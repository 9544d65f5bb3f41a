// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QString>

class QWidget;

namespace quorvane {

// The window's optional skin: a Qt style sheet read from a file. The calls are virtual so a test can
// watch the order in which the window drives them.
class SkinFramework {
public:
    enum ApplyOption { ApplyColors = 0x1 };

    virtual ~SkinFramework();

    // Reads the sheet; `iniName` names a section of multi-skin files and is unused by plain sheets.
    virtual bool loadSkin(const QString& path, const QString& iniName);
    virtual int applyOptions() const { return m_options; }
    virtual void setApplyOptions(int options) { m_options = options; }
    // Windows opened later (the message and input boxes) take the skin too.
    virtual void setAutoApplyNewWindows(bool on) { m_autoApplyNewWindows = on; }
    // The window keeps its designed fonts whatever the sheet says, so the captions still fit.
    virtual void setKeepDesignedFonts(bool on) { m_keepDesignedFonts = on; }
    // Applies the loaded sheet; does nothing without ApplyColors or a loaded sheet.
    virtual void applyWindow(QWidget* window);

    QString loadedSheet() const { return m_sheet; }

private:
    QString m_sheet;
    int m_options = 0;
    bool m_autoApplyNewWindows = false;
    bool m_keepDesignedFonts = false;
    bool m_setOnApplication = false;
};

} // namespace quorvane
