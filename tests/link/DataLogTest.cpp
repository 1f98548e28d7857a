// The data log file: value format, line ends, code page, errors.
#include "link/DataLog.h"
#include "tests/support/CLocale.h"
#include "tests/support/GermanNumbers.h"
#include "tests/support/LogFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <clocale>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

// Exact ties (1.125, 10.25, 1.375, 0.5625) go to the even neighbour.
TEST(DataLog, ValuesAreRoundedToThreeSignificantDigitsAndWrittenWithThreeDecimals) {
    struct Case {
        double value;
        const char* written;
    } cases[] = {
        {0.98765, "0.988"}, {1.0234, "1.020"}, {0.05, "0.050"},     {10.5, "10.500"},
        {65.535, "65.500"}, {1.0, "1.000"},    {0.0, "0.000"},      {0.9995, "1.000"},
        {1.35f, "1.350"},   {0.65f, "0.650"},  {-92.9f, "-92.900"}, {0.001, "0.001"},
        {1.125, "1.120"},   {10.25, "10.200"}, {1.375, "1.380"},    {0.5625, "0.562"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LogValue(c.value), QString::fromLatin1(c.written)) << c.value;
}

TEST(DataLog, ValuesUseTheLocalesDecimalSeparator) {
    WithGermanNumbers([] {
        EXPECT_EQ(LogValue(0.98765), QStringLiteral("0,988"));
        EXPECT_EQ(LogValue(65.535), QStringLiteral("65,500"));
    });
}

TEST(DataLog, LinesEndInCrLfAndUseLatin1) {
    QTemporaryDir dir;
    const QString path = dir.filePath("log.csv");
    TDataLog log;
    log.Create(path);
    log.WriteLine(QStringLiteral("Time, CH1"));
    log.WriteLine(QString::fromUtf8("\u00e9 \u20ac"));
    log.Close();
    EXPECT_EQ(FileBytes(path), QByteArray("Time, CH1\r\n\xe9 ?\r\n"));
}

TEST(DataLog, CreateReplacesAnExistingFilesContent) {
    QTemporaryDir dir;
    const QString path = dir.filePath("log.csv");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("an older and much longer content\r\n");
    }
    TDataLog log;
    log.Create(path);
    log.WriteLine(QStringLiteral("new"));
    log.Close();
    EXPECT_EQ(FileBytes(path), QByteArray("new\r\n"));
}

TEST(DataLog, ErrorsNameTheirCause) {
    TDataLog log;
    try {
        log.Create(QStringLiteral("/nonexistent-folder/log.csv"));
        FAIL() << "creating in a missing folder must fail";
    } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "File not found");
    }
    try {
        log.Create(QStringLiteral("/dev/full"));
        FAIL() << "a device is not a log file";
    } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "Not a regular file");
    }
    EXPECT_FALSE(log.IsOpen());
    EXPECT_STREQ(EInOutError::FromErrno(ENOSPC).what(), "Disk full");
    EXPECT_STREQ(EInOutError::FromErrno(EACCES).what(), "File access denied");
    EXPECT_STREQ(EInOutError::FromErrno(EIO).what(), "I/O error 5");
}

TEST(DataLog, HeaderAndTimeFollowTheLocalesDateAndTimeFormats) {
    const CLocaleScope locale;
    const struct {
        TDateTime when;
        const char* header;
        const char* time;
    } cases[] = {
        {46000.5, "VORLANX Log V1.0  12/09/25", "12:00:00"},     // 9 Dec 2025, noon
        {45292.0, "VORLANX Log V1.0  01/01/24", "00:00:00"},     // 1 Jan 2024, midnight
        {45657.99999, "VORLANX Log V1.0  12/31/24", "23:59:59"}, // a second before 2025
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LogHeaderLine(c.when).toStdString(), c.header);
        EXPECT_EQ(FormatLocaleTime(c.when).toStdString(), c.time);
    }
    EXPECT_STREQ(LogColumnLine, "Time, CH1, CH2, CH3, CH4");
}

TEST(DataLog, HeaderDateFollowsOtherRegionalSettings) {
    WithGermanLocale(LC_TIME, [] {
        EXPECT_EQ(LogHeaderLine(46000.5).toStdString(), "VORLANX Log V1.0  09.12.2025");
        EXPECT_EQ(FormatLocaleTime(46000.75).toStdString(), "18:00:00");
    });
}

TEST(DataLog, ALineTheDiskTakesOnlyInPartLeavesTheFileOnAWholeLine) {
    QTemporaryDir dir;
    const QString path = dir.filePath("log.csv");
    TDataLog log;
    log.Create(path);
    log.WriteLine(QStringLiteral("first"));
    // The file may grow by three more bytes: the next line goes in part, then fails.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = rlim_t(7 + 3);
    setrlimit(RLIMIT_FSIZE, &limited);
    EXPECT_THROW(log.WriteLine(QStringLiteral("second")), EInOutError);
    setrlimit(RLIMIT_FSIZE, &saved);
    log.WriteLine(QStringLiteral("third"));
    log.Close();
    EXPECT_EQ(FileBytes(path), QByteArray("first\r\nthird\r\n"));
}
