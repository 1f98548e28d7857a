// A numeric edit text that passes the character check but does not convert reaches the
// application's error report, from Enter and from leaving the field, and changes nothing.
#include "tests/support/BoxWatcher.h"
#include "widgets/AbNumEdit.h"

#include <QLineEdit>
#include <QTest>
#include <clocale>
#include <gtest/gtest.h>
#include <string>

namespace {

struct TCase {
    TEditBase Base;
    const char* Typed;
    Qt::Key Key;
    const char* Shown;
};

TEST(NumEditError, ConversionErrorIsReportedAndChangesNothing) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "C");
    const TCase cases[] = {
        {ebFloat, "1e", Qt::Key_Return, "'1e' is not a valid floating point value."},
        {ebFloat, "1e", Qt::Key_Tab, "'1e' is not a valid floating point value."},
        {ebInt, "99999999999", Qt::Key_Return, "'99999999999' is not a valid integer value."},
        {ebInt, "-2147483649", Qt::Key_Tab, "'-2147483649' is not a valid integer value."},
        {ebFloat, "1e999", Qt::Key_Return, "'1e999' is not a valid floating point value."},
    };
    for (const TCase& c : cases) {
        QWidget window;
        window.resize(200, 80);
        auto* edit = new TAbNumEdit(&window);
        auto* next = new QLineEdit(&window);
        next->move(0, 40);
        int valueChanged = 0;
        edit->OnValueChanged = [&](QObject*) { ++valueChanged; };
        edit->SetEditBase(c.Base);
        edit->SetValue(7);
        edit->Loaded();
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, c.Typed);

        BoxWatcher watcher(20);
        QTest::keyClick(edit, c.Key);
        ASSERT_TRUE(WaitUntil([&] { return watcher.closed >= 1; })) << c.Typed;
        ASSERT_EQ(watcher.seen.size(), 1u) << c.Typed;
        EXPECT_EQ(watcher.seen[0].title, QStringLiteral("4CH Uego Interface"));
        EXPECT_EQ(watcher.seen[0].text.toStdString(), c.Shown);
        EXPECT_EQ(watcher.seen[0].icon, QMessageBox::Critical);
        EXPECT_EQ(edit->text().toStdString(), c.Typed);
        EXPECT_EQ(edit->Value(), 7);
        EXPECT_EQ(edit->State(), esNormal) << "set before the parse that failed";
        EXPECT_EQ(valueChanged, 0);

        // The program goes on: the edit still takes and applies a number.
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, "12");
        QTest::keyClick(edit, Qt::Key_Return);
        EXPECT_EQ(edit->Value(), 12) << c.Typed;
        EXPECT_EQ(valueChanged, 1) << c.Typed;
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
}

} // namespace
