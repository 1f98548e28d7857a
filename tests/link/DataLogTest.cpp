// The data log file: value format, line ends, code page, errors.
#include "link/DataLog.h"
#include "tests/support/CLocale.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/GermanNumbers.h"
#include "tests/support/LogFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <clocale>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>

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

namespace {
void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}
} // namespace

// Continuing a log: what the file held stays, and the next line starts a line of its own.
TEST(DataLog, AppendContinuesAnyFileOnALineOfItsOwn) {
    const struct {
        const char* name;
        std::optional<QByteArray> held; // none: no file yet
        QByteArray firstLine;
        QByteArray after;
    } cases[] = {
        {"no file", std::nullopt, "", "next\r\n"},
        {"an empty file", QByteArray(""), "", "next\r\n"},
        {"a whole file", QByteArray("first\r\nsecond\r\n"), "first", "first\r\nsecond\r\nnext\r\n"},
        {"one cut mid-line", QByteArray("first\r\nsec"), "first", "first\r\nsec\r\nnext\r\n"},
        {"one byte", QByteArray("f"), "f", "f\r\nnext\r\n"},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath("log.csv");
        if (c.held)
            WriteFile(path, *c.held);
        TDataLog log;
        try {
            log.Append(path);
        } catch (const EInOutError& e) {
            ADD_FAILURE() << c.name << ": " << e.what();
            continue;
        }
        EXPECT_EQ(log.FirstLine().toStdString(), c.firstLine.toStdString()) << c.name;
        log.WriteLine(QStringLiteral("next"));
        log.Close();
        EXPECT_EQ(FileBytes(path).toStdString(), c.after.toStdString()) << c.name;
    }
}

// logrotate's copytruncate cuts the file to nothing while it is written; a header that
// could not be written leaves it empty too. Either way the next line comes after a fresh
// header, at the file's start, whichever way the file was opened.
TEST(DataLog, AFileFoundEmptyBeginsAgainWithAFreshHeader) {
    const struct {
        const char* name;
        void (TDataLog::*open)(const QString&);
    } opens[] = {
        {"Create", &TDataLog::Create},
        {"CreateNew", &TDataLog::CreateNew},
        {"Append", &TDataLog::Append},
    };
    for (const auto& o : opens) {
        QTemporaryDir dir;
        const QString path = dir.filePath("log.csv");
        TDataLog log;
        (log.*o.open)(path);
        int made = 0;
        log.SetHeader([&] {
            ++made;
            return QStringList{QStringLiteral("header %1").arg(made), QStringLiteral("columns")};
        });
        log.WriteHeader();
        log.WriteLine(QStringLiteral("record 1"));
        log.WriteLine(QStringLiteral("record 2"));
        EXPECT_EQ(FileBytes(path).toStdString(), "header 1\r\ncolumns\r\nrecord 1\r\nrecord 2\r\n")
            << o.name;
        ASSERT_EQ(::truncate(path.toLocal8Bit().constData(), 0), 0);
        log.WriteLine(QStringLiteral("record 3"));
        log.WriteLine(QStringLiteral("record 4"));
        EXPECT_EQ(FileBytes(path).toStdString(), "header 2\r\ncolumns\r\nrecord 3\r\nrecord 4\r\n")
            << o.name;

        ASSERT_EQ(::truncate(path.toLocal8Bit().constData(), 0), 0);
        WithFileSizeLimit(0, [&] { EXPECT_THROW(log.WriteHeader(), EInOutError) << o.name; });
        EXPECT_EQ(FileBytes(path).toStdString(), "") << o.name;
        log.WriteLine(QStringLiteral("record 5"));
        log.Close();
        EXPECT_EQ(FileBytes(path).toStdString(), "header 4\r\ncolumns\r\nrecord 5\r\n") << o.name;
    }
}

// Standard output (a pipe) found empty is no log begun anew: it never gets the header again.
TEST(DataLog, APipeNeverGetsTheHeaderAgain) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    TDataLog log;
    log.Adopt(ends[1]);
    log.SetHeader([] { return QStringList{QStringLiteral("header")}; });
    log.WriteHeader();
    log.WriteLine(QStringLiteral("record"));
    log.Close();
    char got[64] = {};
    const ssize_t n = ::read(ends[0], got, sizeof got);
    ::close(ends[0]);
    EXPECT_EQ(std::string(got, std::size_t(std::max<ssize_t>(n, 0))), "header\r\nrecord\r\n");
}
