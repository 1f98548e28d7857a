#pragma once
// Which of the program's windows was active before the one that is active now. Switching
// to another program and back activates the same window again, so that window is then
// its own predecessor.
#include <QObject>
#include <QPointer>

class QWidget;

class TWindowActivation : public QObject {
public:
    // The application's one record, made on first use.
    static TWindowActivation& Instance();

    // Within the handling of a window's activation: the window of this program that was
    // active before it, or null if none was.
    QWidget* Previous() const { return FPrevious; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit TWindowActivation(QObject* parent);

    QPointer<QWidget> FPrevious, FCurrent;
};
