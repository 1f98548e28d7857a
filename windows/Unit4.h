#pragma once
// The About window: fixed texts and the picture, closed with the frame's close box.
#include <QDialog>

class QLabel;

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Image1;
    QLabel* Label4;
    QLabel* StaticText1;

protected:
    // Its frame centred on the main window's each time it is shown.
    void showEvent(QShowEvent* event) override;
};

extern TAboutForm* AboutForm;
