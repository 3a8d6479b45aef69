#pragma once

// What a killed writer leaves: the pid of a process that has ended, and a
// file made older than it is.

#include <QDateTime>
#include <QFile>

#include <sys/wait.h>
#include <unistd.h>

namespace testfiles {

inline QString deadPid()
{
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    return QString::number(child);
}

inline bool makeOld(const QString& path, int seconds)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) &&
           file.setFileTime(QDateTime::currentDateTime().addSecs(-seconds),
                            QFileDevice::FileModificationTime);
}

} // namespace testfiles
