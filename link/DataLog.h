#pragma once
// The data log file: text in the 8-bit code page (Latin-1), lines ended by CR LF, each
// line handed to the operating system as it is written, so a crash loses no record.
#include "core/CodePage.h"
#include "core/InOutError.h"
#include "core/LogText.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>

class TDataLog {
public:
    TDataLog() = default;
    ~TDataLog();
    TDataLog(const TDataLog&) = delete;
    TDataLog& operator=(const TDataLog&) = delete;

    bool IsOpen() const { return FFile >= 0; }
    // Every file is opened for appending, as loggers do: a file cut short under the program
    // (logrotate's copytruncate) is continued at its new end, not at the old offset.
    // Creates the file (replacing an existing one's content) and opens it for writing.
    // Anything but a regular file is refused with "Not a regular file".
    void Create(const QString& path);
    // Creates the file, which must not exist yet: an existing one gives "File exists".
    void CreateNew(const QString& path);
    // Opens the file (created when missing) to write at its end. A file whose last line was
    // cut short gets its line end first, so the next line starts a line of its own.
    void Append(const QString& path);
    // The file's first line without its line end (at most 4096 bytes); empty for an empty file.
    QByteArray FirstLine() const;
    // Takes over an open descriptor (standard output, say) and closes it at Close.
    void Adopt(int fd);
    // The lines a log begins with, made each time they are written (a header may carry
    // the date). A regular file found empty before a line is written gets them first, in
    // the same write: a log cut to nothing while it is written (rotated by copytruncate),
    // or whose header could not be written, begins again as a log.
    void SetHeader(std::function<QStringList()> header);
    // Writes the header lines in one write.
    void WriteHeader();
    // Writes the text and CR LF in one write; characters Latin-1 cannot hold become "?".
    // A line that cannot be written whole leaves no part of itself in a file.
    void WriteLine(const QString& text);
    // Hands what was written to the disk (fdatasync). A descriptor that has nothing to
    // flush (a pipe, a terminal) passes.
    void Sync();
    void Close();

private:
    void OpenRegularFile(const QString& path, int flags);
    void WriteBytes(const QByteArray& line);
    void CutPartialLine(qsizetype written);
    QByteArray HeaderBytes() const;
    bool FoundEmpty() const;

    int FFile = -1;
    std::function<QStringList()> FHeader;
};
