#include "app/Application.h"

#include <QMessageBox>
#include <stdexcept>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

void TApplication::SetTitle(const QString& title) {
    FTitle = title;
    setApplicationName(title);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException(std::current_exception());
        return false;
    }
}

void TApplication::HandleException(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        ShowException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowException(QStringLiteral("Unknown error"));
    }
}

QString TApplication::ErrorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void TApplication::ShowException(const QString& message) {
    const QString text = ErrorBoxText(message);
    if (text == FShowing || FPending.contains(text))
        return;
    FPending.append(text);
    if (!FShowing.isNull())
        return; // the open box's loop shows it next
    while (!FPending.isEmpty()) {
        FShowing = FPending.takeFirst();
        QMessageBox box(QMessageBox::Critical, FTitle, FShowing, QMessageBox::Ok);
        box.exec();
    }
    FShowing = QString();
}
