#pragma once
// Numbers in a German locale (decimal comma), built for the test from the locale sources.
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <clocale>
#include <gtest/gtest.h>
#include <string>

// Runs `test` with LC_NUMERIC set to a German locale built into a temporary directory.
template <class F> inline void WithGermanNumbers(F test) {
    QTemporaryDir dir;
    const QString localedef = QStandardPaths::findExecutable("localedef");
    if (localedef.isEmpty() || !QDir("/usr/share/i18n/locales").exists("de_DE"))
        GTEST_SKIP() << "localedef or the de_DE locale source is missing (Debian package locales)";
    const int rc =
        QProcess::execute(localedef, {"-i", "de_DE", "-f", "UTF-8", dir.filePath("de_DE.UTF-8")});
    ASSERT_EQ(rc, 0);
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    qputenv("LOCPATH", dir.path().toLocal8Bit());
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    test();
    std::setlocale(LC_NUMERIC, saved.c_str());
    qunsetenv("LOCPATH");
}
