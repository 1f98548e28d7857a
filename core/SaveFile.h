#pragma once
// Writing a file whole or not at all: the bytes go to a temporary file beside the target,
// which takes the target's name only once every byte is on the disk. A failure leaves the
// target as it was and removes the temporary file.
#include <QByteArray>
#include <QString>

// 0, or the errno of the step that failed.
int SaveFileWhole(const QString& path, const QByteArray& bytes);
