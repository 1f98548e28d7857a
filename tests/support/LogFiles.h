#pragma once
// Reading back what a test wrote to disk.
#include <QFile>
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
