#pragma once
// What a poppler tool (pdfinfo, pdftotext) prints about a PDF file a test
// wrote, or nothing when it could not read it. The file is the copy in the
// screenshot folder, whose name is a path of this machine: under Wine a
// tool of this machine opens only such paths, starts without the test's
// standard handles and is not waited for, so it runs through /bin/sh with
// its output into a file that appears once the tool has succeeded.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>

#include "support/Screenshots.h"

namespace kestrel::test {

// `args` name the PDF file by its copy in screenshotDir().
inline QString pdfToolOutput(const QString& tool, const QStringList& args) {
    const QString out =
        screenshotDir() +
        QStringLiteral("/%1-%2.txt").arg(tool).arg(QCoreApplication::applicationPid());
    QFile::remove(out);
    QProcess p;
    p.start(QStringLiteral("/bin/sh"),
            QStringList{
                QStringLiteral("-c"),
                QStringLiteral("out=$1; shift; \"$@\" >\"$out.part\" && mv \"$out.part\" \"$out\""),
                QStringLiteral("sh"), out, tool} +
                args);
    p.waitForFinished(30000);
    QElapsedTimer waited;
    waited.start();
    while (!QFile::exists(out) && waited.elapsed() < 30000)
        QThread::msleep(20);
    QFile file(out);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QString text = QString::fromUtf8(file.readAll());
    file.close();
    QFile::remove(out);
    return text;
}

} // namespace kestrel::test
