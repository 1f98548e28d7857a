#pragma once
// Reading back what a test wrote to disk.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <gtest/gtest.h>

// The whole file's bytes; empty when it cannot be read.
inline QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The lines of a Latin-1 file with CR LF line ends; every line must be ended.
inline QStringList FileLines(const QString& path) {
    QString text = QString::fromLatin1(FileBytes(path));
    if (text.isEmpty())
        return {};
    EXPECT_TRUE(text.endsWith(QStringLiteral("\r\n")));
    text.chop(2);
    return text.split(QStringLiteral("\r\n"));
}

// The descriptors this process holds open on the file.
inline int OpenDescriptorsOf(const QString& path) {
    const QString file = QFileInfo(path).canonicalFilePath();
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    int open = 0;
    for (const QString& fd : descriptors.entryList(QDir::Files | QDir::System))
        open += QFileInfo(descriptors.filePath(fd)).symLinkTarget() == file ? 1 : 0;
    return open;
}
