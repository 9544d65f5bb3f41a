// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/processguard.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

#include <windows.h>

#include <memory>

namespace quorvane {

namespace {

// One job for every child, closed by the system with this process, which then ends them all.
HANDLE childJob()
{
    static const HANDLE job = [] {
        const HANDLE made = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (made && !SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
            CloseHandle(made);
            return HANDLE(nullptr);
        }
        return made;
    }();
    return job;
}

} // namespace

void prepareChild(QProcess& process)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"),
        QDir::toNativeSeparators(QCoreApplication::applicationDirPath()) + QLatin1Char(';')
            + environment.value(QStringLiteral("PATH")));
    process.setProcessEnvironment(environment);
    // Started suspended, so it does nothing before it is in the job, and hidden, with no console window of
    // its own. The process information Qt keeps for the child holds its first thread, to set going.
    auto created = std::make_shared<PROCESS_INFORMATION*>(nullptr);
    process.setCreateProcessArgumentsModifier([created](QProcess::CreateProcessArguments* arguments) {
        arguments->flags |= CREATE_NO_WINDOW | CREATE_SUSPENDED;
        arguments->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
        arguments->startupInfo->wShowWindow = SW_HIDE;
        *created = arguments->processInformation;
    });
    QObject::connect(&process, &QProcess::started, &process, [created] {
        const PROCESS_INFORMATION* child = *created;
        if (!child)
            return;
        if (const HANDLE job = childJob())
            AssignProcessToJobObject(job, child->hProcess);
        ResumeThread(child->hThread);
    });
}

void endProcess(QProcess& process)
{
    process.kill();
    process.waitForFinished(5000);
}

} // namespace quorvane
