#pragma once
// Watches for message boxes while the code under test runs (a box runs its own nested
// event loop), records what each showed, and closes it once it has been open long enough.
#include "tests/support/WaitUntil.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <vector>

class BoxWatcher : public QObject {
public:
    struct Seen {
        QString title;
        QString text;
        QMessageBox::Icon icon;
    };

    explicit BoxWatcher(int closeAfterMs = 0) : FCloseAfterMs(closeAfterMs) {
        FTimer.setInterval(5);
        connect(&FTimer, &QTimer::timeout, this, &BoxWatcher::Poll);
        FTimer.start();
        FClock.start();
    }

    std::vector<Seen> seen;
    int closed = 0;
    int mostOpenAtOnce = 0;
    // Runs just before a box is closed.
    std::function<void(QMessageBox*)> beforeClose;

private:
    void Poll() {
        int open = 0;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible())
                continue;
            ++open;
            if (!box->property("watched").toBool()) {
                box->setProperty("watched", true);
                box->setProperty("openedAt", FClock.elapsed());
                seen.push_back({box->windowTitle(), box->text(), box->icon()});
            }
            if (FClock.elapsed() - box->property("openedAt").toLongLong() >= FCloseAfterMs) {
                if (beforeClose)
                    beforeClose(box);
                ++closed;
                box->done(QMessageBox::Ok);
            }
        }
        mostOpenAtOnce = std::max(mostOpenAtOnce, open);
    }

    int FCloseAfterMs;
    QElapsedTimer FClock;
    QTimer FTimer;
};
