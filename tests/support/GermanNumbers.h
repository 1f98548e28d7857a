#pragma once
// Numbers and dates in a German locale (decimal comma), built with the tests from the locale
// sources.
#include <QDir>
#include <QFile>
#include <clocale>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#ifndef UEGO_TEST_LOCALES
#define UEGO_TEST_LOCALES ""
#endif

// Runs `test` with these categories (LC_NUMERIC, LC_TIME) set to the German locale the build made.
template <class F> inline void WithGermanCategories(std::initializer_list<int> categories, F test) {
    const QString locales = QStringLiteral(UEGO_TEST_LOCALES);
    if (locales.isEmpty() || !QDir(locales).exists(QStringLiteral("de_DE.UTF-8")))
        GTEST_SKIP() << "no de_DE.UTF-8 locale was built: localedef or the de_DE locale "
                        "source is missing (Debian package locales)";
    std::vector<std::pair<int, std::string>> saved;
    qputenv("LOCPATH", QFile::encodeName(locales));
    for (int category : categories) {
        saved.emplace_back(category, std::setlocale(category, nullptr));
        ASSERT_NE(std::setlocale(category, "de_DE.UTF-8"), nullptr);
    }
    test();
    for (const auto& [category, name] : saved)
        std::setlocale(category, name.c_str());
    qunsetenv("LOCPATH");
}

// Runs `test` with one category (LC_NUMERIC, LC_TIME) set to the German locale the build made.
template <class F> inline void WithGermanLocale(int category, F test) {
    WithGermanCategories({category}, test);
}

// Runs `test` with LC_NUMERIC set to the German locale the build made.
template <class F> inline void WithGermanNumbers(F test) {
    WithGermanCategories({LC_NUMERIC}, test);
}

// Runs `test` with German numbers and dates: "0,988", "09.12.2025".
template <class F> inline void WithGermanNumbersAndDates(F test) {
    WithGermanCategories({LC_NUMERIC, LC_TIME}, test);
}
