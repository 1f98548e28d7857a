// The disk fills while the main window logs: one box for the whole spell, however many
// ticks fail, logging stays on, and a box says so once records are written again.
#include "tests/windows/WindowsRig.h"

#include "tests/support/FileSizeLimit.h"
#include "tests/support/LogFiles.h"
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(LogFailure, AFullDiskGivesOneBoxASpellAndOneWhenRecordsAreWrittenAgain) {
    WindowsRig rig;
    rig.StartEmulator(ConstantController(0.9, 1.1, 1.0, 0.95));
    WindowsRig::OpenPortThroughWindow(WindowsRig::Port);
    ASSERT_TRUE(WindowsRig::MetersShow({0.9f, 1.1f, 1.0f, 0.95f}));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    Form1->Link().LogStart(path);
    ASSERT_TRUE(WaitUntil([&] { return FileLines(path).size() >= 4; }));

    int ticks = 0;
    QObject::connect(Form1->Timer2, &QTimer::timeout, [&] { ++ticks; });
    BoxWatcher boxes(100);
    QByteArray whole;
    WithFileSizeLimit(0, [&] { // the file may not grow by a byte
        whole = FileBytes(path);
        ASSERT_TRUE(WaitUntil([&] { return !boxes.seen.empty(); }));
        const int failedFrom = ticks;
        ASSERT_TRUE(WaitUntil([&] { return ticks >= failedFrom + 10; }));
        EXPECT_TRUE(Form1->Link().State.LogActive);
        EXPECT_TRUE(Form1->DiskLED->Checked());
    });
    EXPECT_EQ(FileBytes(path).toStdString(), whole.toStdString()) << "written while full";
    ASSERT_EQ(boxes.seen.size(), 1u) << "one box for the spell";
    EXPECT_EQ(boxes.seen[0].text, QStringLiteral("I/O error 27."));
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Critical);

    ASSERT_TRUE(WaitUntil([&] { return boxes.seen.size() >= 2; }));
    EXPECT_EQ(boxes.seen[1].icon, QMessageBox::Information);
    const QRegularExpression again(
        QStringLiteral("^Records are written to %1 again; (\\d+) records were not written\\.$")
            .arg(QRegularExpression::escape(path)));
    const QRegularExpressionMatch told = again.match(boxes.seen[1].text);
    ASSERT_TRUE(told.hasMatch()) << boxes.seen[1].text.toStdString();
    EXPECT_GE(told.captured(1).toInt(), 5);
    const int lines = int(FileLines(path).size());
    ASSERT_TRUE(WaitUntil([&] { return FileLines(path).size() >= lines + 3; }));
    Form1->Link().LogStop();
    EXPECT_EQ(boxes.seen.size(), 2u);
    for (const QString& record : FileLines(path).mid(2))
        EXPECT_TRUE(record.endsWith(QStringLiteral(", 0.900, 1.100, 1.000, 0.950")))
            << record.toStdString();
}
