#pragma once
// Writing a file whole or not at all: the bytes go to a temporary file beside the target,
// which takes the target's name only once every byte is on the disk. A failure leaves the
// target as it was and removes the temporary file.
#include <QByteArray>
#include <QString>

// 0, or the errno of the step that failed.
int SaveFileWhole(const QString& path, const QByteArray& bytes);

// The same, written a piece at a time; the pieces may come from another thread than the
// one that made the file, one thread at a time.
class TSaveFile {
public:
    explicit TSaveFile(const QString& path);
    // Removes the temporary file unless it took the target's name.
    ~TSaveFile();
    TSaveFile(const TSaveFile&) = delete;
    TSaveFile& operator=(const TSaveFile&) = delete;

    // 0, or the errno of the first step that failed; nothing is written after it.
    int Error() const { return FError; }
    int Write(const QByteArray& bytes);
    // Gives the whole file the target's name; Error() after it.
    int Commit();

private:
    QByteArray FTarget;
    QByteArray FTemporary;
    int FFile = -1;
    int FError = 0;
    bool FCommitted = false;
};
