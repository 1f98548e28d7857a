// The windows' fonts and layout: the forms' fonts are loaded, every caption fits its
// component, and the main window shrinks with its components left at their places.
#include "tests/windows/WindowsRig.h"
#include "windows/FormFonts.h"

#include <QFontInfo>
#include <QLabel>
#include <QMenuBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
// The width of the caption as the lamp paints it, from the lamp's left edge.
int LampCaptionRight(TAbLED* lamp) {
    const QFont font = lamp->ParentFont() ? lamp->font() : lamp->Font()->ToQFont();
    return lamp->LED()->Rect().right() + 1 + lamp->Spacing() +
           QFontMetrics(font).horizontalAdvance(lamp->Caption());
}
} // namespace

TEST(Layout, FormFontsAreLoadedAtStartUp) {
    WindowsRig rig;
    const struct {
        const char* family;
        int pixels;
        bool bold;
        const char* resolved;
    } cases[] = {{"Tahoma", 11, false, "Tahoma"},
                 {"Tahoma", 13, true, "Tahoma"},
                 {"MS Sans Serif", 11, true, "MS Sans Serif"},
                 {"System", 13, true, "System"},
                 {"Arial", 16, true, "Liberation Sans"}};
    for (const auto& c : cases)
        EXPECT_EQ(QFontInfo(FormFont(QString::fromLatin1(c.family), c.pixels, c.bold))
                      .family()
                      .toStdString(),
                  c.resolved);
    EXPECT_EQ(QFontInfo(ComPortForm->font()).family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(QFontInfo(Form1->font()).family(), QStringLiteral("MS Sans Serif"));
}

TEST(Layout, AFolderWithoutTheFontsLoadsNone) {
    QTemporaryDir empty;
    EXPECT_EQ(LoadFormFonts(empty.path()), 0);
    EXPECT_FALSE(QFontInfo(FormFont(QStringLiteral("Tahoma"), 11)).family().isEmpty());
}

TEST(Layout, EveryCaptionFitsItsComponent) {
    WindowsRig rig;
    for (QWidget* window :
         {static_cast<QWidget*>(Form1), static_cast<QWidget*>(ComPortForm),
          static_cast<QWidget*>(AboutForm), static_cast<QWidget*>(ConfigForm),
          static_cast<QWidget*>(SerialEdit1Form), static_cast<QWidget*>(SerialEdit2Form)}) {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        // The lamps have no meta-object of their own: found among all widgets.
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            if (auto* lamp = dynamic_cast<TAbLED*>(widget)) {
                EXPECT_LE(LampCaptionRight(lamp), lamp->width())
                    << lamp->objectName().toStdString() << " \"" << lamp->Caption().toStdString()
                    << "\" is cut";
            }
        }
        // Two pixels either side, as the frame of a push button takes.
        for (QPushButton* button : window->findChildren<QPushButton*>()) {
            const int text = button->fontMetrics().horizontalAdvance(button->text());
            EXPECT_LE(text + 4, button->width()) << button->text().toStdString() << " is cut";
        }
        for (QLabel* label : window->findChildren<QLabel*>()) {
            if (label->text().isEmpty())
                continue;
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
                << label->text().toStdString() << " is cut";
            EXPECT_LE(label->mapTo(window, QPoint(label->width(), 0)).x(), window->width())
                << label->text().toStdString() << " runs past the window";
        }
    }
}

TEST(Layout, MainWindowShrinksAndItsComponentsKeepTheirPlaces) {
    WindowsRig rig;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1));
    QWidget* client = Form1->centralWidget();
    EXPECT_EQ(client->size(), QSize(894, 534)) << "the client area at start";
    std::vector<std::pair<QWidget*, QRect>> places;
    for (QWidget* component : client->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        places.emplace_back(component, component->geometry());

    const QSize smaller(400, 300);
    Form1->resize(smaller);
    ASSERT_TRUE(WaitUntil([&] { return Form1->size() == smaller; }));
    EXPECT_EQ(client->width(), 400);
    EXPECT_LT(client->height(), 300);
    for (const auto& [component, place] : places)
        EXPECT_EQ(component->geometry(), place) << component->objectName().toStdString();
    EXPECT_EQ(Form1->Meter1->pos(), QPoint(17, 9));
}
