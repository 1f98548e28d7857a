// The bitmap "MS Sans Serif" drawn bold: every glyph of the regular strike struck again one
// pixel to the right, every character one pixel wider; and the bold captions drawn whole.
#include "tests/windows/WindowsRig.h"
#include "windows/FormFonts.h"

#include <QFontInfo>
#include <QLabel>
#include <QPainter>
#include <gtest/gtest.h>
#include <set>

namespace {
using TInk = std::set<std::pair<int, int>>;

constexpr int Margin = 4;
constexpr int DrawingWidth = 400; // wider than any caption drawn here

TInk InkOf(const QImage& image) {
    TInk ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                ink.insert({x, y});
    return ink;
}

// The text drawn black on white with its baseline at the font's ascent, starting at x.
QImage Drawn(const QFont& font, const QString& text, int x) {
    const QFontMetrics metrics(font);
    QImage image(DrawingWidth, metrics.height() + Margin, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QPoint(x, metrics.ascent()), text);
    return image;
}

// What bold must show: each character of the regular strike, placed one pixel further
// right per character before it, drawn at its place and one pixel to the right of it.
TInk StruckTwice(const QFont& regular, const QString& text) {
    const QFontMetrics metrics(regular);
    TInk ink;
    for (int i = 0; i < text.size(); ++i) {
        const int origin = Margin + metrics.horizontalAdvance(text.left(i)) + i;
        for (int shift : {0, 1})
            ink.merge(InkOf(Drawn(regular, text.mid(i, 1), origin + shift)));
    }
    return ink;
}

int Columns(const TInk& ink) {
    std::set<int> columns;
    for (const auto& [x, y] : ink)
        columns.insert(x);
    return int(columns.size());
}
} // namespace

TEST(BoldFace, EachGlyphIsStruckAgainOnePixelRightInACharacterOnePixelWider) {
    LoadFormFonts();
    for (int pixels : {11, 13}) {
        const QFont regular = FormFont(QStringLiteral("MS Sans Serif"), pixels);
        const QFont bold = FormFont(QStringLiteral("MS Sans Serif"), pixels, true);
        ASSERT_EQ(QFontInfo(regular).family(), QFontInfo(bold).family()) << "one family";
        for (const QString& text :
             {QStringLiteral("I"), QStringLiteral("CAN SETUP"),
              QStringLiteral("Resistor value (Ohms)"), QStringLiteral("CH1")}) {
            const TInk shown = InkOf(Drawn(bold, text, Margin));
            EXPECT_EQ(shown, StruckTwice(regular, text)) << text.toStdString() << ' ' << pixels;
            EXPECT_GT(Columns(shown), Columns(InkOf(Drawn(regular, text, Margin))));
            EXPECT_EQ(QFontMetrics(bold).horizontalAdvance(text),
                      QFontMetrics(regular).horizontalAdvance(text) + text.size());
        }
    }
    // The regular "I" of this strike is one pixel wide; bold makes it two.
    const QFont bold = FormFont(QStringLiteral("MS Sans Serif"), 13, true);
    EXPECT_EQ(Columns(InkOf(Drawn(bold, QStringLiteral("I"), Margin))), 2);
}

// Each bold caption of the configuration window shows every pixel of its text.
TEST(BoldFace, ConfigurationCaptionsAreBoldAndWhole) {
    WindowsRig rig;
    Form1->Config1Click();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(ConfigForm));
    int bold = 0;
    for (QLabel* label : ConfigForm->findChildren<QLabel*>()) {
        if (!label->font().bold())
            continue;
        ++bold;
        const TInk shown = InkOf(label->grab().toImage());
        const TInk whole = InkOf(Drawn(label->font(), label->text(), Margin));
        EXPECT_EQ(shown.size(), whole.size()) << label->text().toStdString() << " is cut";
        EXPECT_EQ(Columns(shown), Columns(whole)) << label->text().toStdString();
        QFont regular = label->font();
        regular.setBold(false);
        EXPECT_GT(Columns(shown), Columns(InkOf(Drawn(regular, label->text(), Margin))))
            << label->text().toStdString() << " draws regular";
    }
    EXPECT_EQ(bold, 10);
}
