#pragma once
// The application object: its title and the top-level error report through which every
// error raised in an event handler reaches the operator, after which the program goes on.
#include <QApplication>
#include <QStringList>
#include <exception>

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    QString Title() const { return FTitle; }
    void SetTitle(const QString& title);

    // Delivers every event; an exception escaping a handler is reported, not fatal.
    bool notify(QObject* receiver, QEvent* event) override;

    // Reports the exception in flight (call from a catch block) or the one given.
    void HandleException(const std::exception_ptr& error);

    // Shows the critical box titled with the application title. One box at a time:
    // a text equal to the one shown or waiting is dropped, others wait their turn,
    // so an error repeated on every timer tick does not pile box upon box.
    void ShowException(const QString& message);

    // The message as shown: a full stop is added when its last character sorts after ".".
    static QString ErrorBoxText(const QString& message);

private:
    QString FTitle;
    QString FShowing;
    QStringList FPending;
};
