#pragma once
// Numbers in a German locale (decimal comma), built with the tests from the locale sources.
#include <QDir>
#include <QFile>
#include <clocale>
#include <gtest/gtest.h>
#include <string>

#ifndef UEGO_TEST_LOCALES
#define UEGO_TEST_LOCALES ""
#endif

// Runs `test` with the locale category (LC_NUMERIC, LC_TIME) set to the German locale the
// build made.
template <class F> inline void WithGermanLocale(int category, F test) {
    const QString locales = QStringLiteral(UEGO_TEST_LOCALES);
    if (locales.isEmpty() || !QDir(locales).exists(QStringLiteral("de_DE.UTF-8")))
        GTEST_SKIP() << "no de_DE.UTF-8 locale was built: localedef or the de_DE locale "
                        "source is missing (Debian package locales)";
    const std::string saved = std::setlocale(category, nullptr);
    qputenv("LOCPATH", QFile::encodeName(locales));
    ASSERT_NE(std::setlocale(category, "de_DE.UTF-8"), nullptr);
    test();
    std::setlocale(category, saved.c_str());
    qunsetenv("LOCPATH");
}

// Runs `test` with LC_NUMERIC set to the German locale the build made.
template <class F> inline void WithGermanNumbers(F test) {
    WithGermanLocale(LC_NUMERIC, test);
}
