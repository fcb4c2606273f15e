#pragma once
#include <QByteArray>
#include <QFile>
#include <QString>

// The process's peak resident memory (VmHWM) in KiB; -1 when it cannot be
// read. Memory budgets are checked from this, in a process of their own.
inline long PeakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}
