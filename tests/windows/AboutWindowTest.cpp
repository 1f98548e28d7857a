// The About window: its texts, the picture decoded from our JPEG, its place and size.
#include "tests/windows/WindowsRig.h"
#include "windows/JpegImage.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <gtest/gtest.h>

TEST(AboutWindow, TextsPictureAndLayout) {
    WindowsRig rig;
    Form1->About1->trigger();
    ASSERT_TRUE(AboutForm->isVisible());
    EXPECT_EQ(AboutForm->size(), QSize(382, 273));
    EXPECT_EQ(AboutForm->Label1->text(), QStringLiteral("VORLANX 4 Channel Uego Interface"));
    EXPECT_EQ(AboutForm->Label1->pos(), QPoint(64, 8));
    for (QLabel* label :
         {AboutForm->Label1, AboutForm->Label2, AboutForm->Label4, AboutForm->StaticText1})
        EXPECT_GE(label->width(), label->sizeHint().width()) << "no text is cut off";
    EXPECT_TRUE(AboutForm->Label2->text().startsWith(QStringLiteral("Ver 3.0XE")));
    EXPECT_EQ(AboutForm->Image1->geometry(), QRect(115, 65, 121, 105));
    EXPECT_TRUE(AboutForm->StaticText1->text().startsWith(QStringLiteral("For support go to ")));
    const QPixmap picture = AboutForm->Image1->pixmap();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(121, 105));
    EXPECT_FALSE(Form1->Image3->pixmap().isNull()) << "the main window shows the same picture";

    const QByteArray dir = qgetenv("UEGO_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        AboutForm->grab().save(QDir(QString::fromLocal8Bit(dir)).filePath("about-window.png"));
}

TEST(AboutWindow, JpegDecoderRejectsWhatIsNotAPicture) {
    EXPECT_TRUE(DecodeJpeg(QByteArray()).isNull());
    EXPECT_TRUE(DecodeJpeg(QByteArray("not a picture at all")).isNull());
    QFile file(QStringLiteral(":/assets/sensor.jpg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray jpeg = file.readAll();
    EXPECT_TRUE(DecodeJpeg(jpeg.left(100)).isNull()) << "a header cut short is refused";
    EXPECT_EQ(DecodeJpeg(jpeg.left(jpeg.size() / 2)).size(), QSize(121, 105))
        << "a picture cut in its data decodes as far as it goes";
    const QImage whole = DecodeJpeg(jpeg);
    ASSERT_EQ(whole.size(), QSize(121, 105));
    const QColor corner = whole.pixelColor(2, 2);
    EXPECT_LT(corner.red(), 80) << "the dark blue background";
    EXPECT_LT(corner.green(), 80);
}
