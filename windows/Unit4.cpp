#include "windows/Unit4.h"

#include "windows/AppIcon.h"
#include "windows/FormFonts.h"
#include "windows/JpegImage.h"
#include "windows/Modeless.h"

#include <QLabel>
#include <QPixmap>

TAboutForm* AboutForm = nullptr;

namespace {
QLabel* PlaceLabel(QWidget* parent, const char* name, const QString& text, const QRect& bounds,
                   const QFont& font) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(font);
    label->setGeometry(bounds);
    // Labels size themselves to their text, from their place.
    label->adjustSize();
    return label;
}
} // namespace

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("About"));
    setWindowIcon(AppIcon());
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFont(FormFont(QStringLiteral("Tahoma"), 11));
    setFixedSize(382, 273);

    Label1 = PlaceLabel(this, "Label1", QStringLiteral("VORLANX 4 Channel Uego Interface"),
                        QRect(64, 8, 223, 16), FormFont(QStringLiteral("Tahoma"), 13, true));
    Label2 = PlaceLabel(this, "Label2", QStringLiteral("Ver 3.0XE  for Linux"),
                        QRect(97, 27, 139, 13), font());
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(115, 65, 121, 105);
    Image1->setPixmap(QPixmap::fromImage(SensorPicture()));
    Label4 = PlaceLabel(this, "Label4", QStringLiteral("uego-interface.example"),
                        QRect(115, 184, 140, 16), FormFont(QStringLiteral("Tahoma"), 13));
    StaticText1 = PlaceLabel(this, "StaticText1",
                             QStringLiteral("For support go to support.uego-interface.example"),
                             QRect(24, 221, 331, 20), FormFont(QStringLiteral("Tahoma"), 13));
}

void TAboutForm::showEvent(QShowEvent* event) {
    if (const QWidget* owner = parentWidget())
        CentreOn(this, owner);
    QDialog::showEvent(event);
}
