// Feeds random byte streams in random pieces, interleaved with live ticks, requests and
// switch changes, through the receive router and the live tick, on a real port over a
// pseudo-terminal. Any out-of-bounds access is the sanitizers' to find.
#include "link/DeviceLink.h"
#include "serial/VaComm.h"
#include "tests/support/FarEnd.h"
#include "tests/support/LinkControls.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <sys/ioctl.h>

namespace {
constexpr int Port = 9;

struct Harness {
    Harness() : far(Port) {
        link = std::make_unique<TDeviceLink>(port, readClock);
        view.Bind(*link);
        port.SetPortNum(Port);
        port.Open(); // OnRxChar stays unassigned: the harness delivers the bytes itself
        link->LogStart(logDir.filePath(QStringLiteral("fuzz.csv")));
    }

    // The far end sends the piece; once the port holds it all, the router takes it.
    void Deliver(const std::uint8_t* data, std::size_t size) {
        far.Send(std::vector<std::uint8_t>(data, data + size));
        int waiting = 0;
        for (int spin = 0; spin < 10000 && waiting < int(size); ++spin)
            waiting = port.ReadBufUsed();
        link->VaComm1RxChar(&port, std::uint32_t(waiting));
    }

    // Lets the write thread finish and drops what the tool sent.
    void Drain() {
        QCoreApplication::processEvents();
        far.Discard();
    }

    FarEnd far;
    QTimer readClock;
    TestLinkView view;
    TVaComm port;
    QTemporaryDir logDir;
    std::unique_ptr<TDeviceLink> link;
};

Harness* harness = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QTemporaryDir configHome;
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    new QApplication(*argc, *argv);
    harness = new Harness;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TDeviceLink& link = *harness->link;
    link.State.RxIndex = 1;
    harness->port.PurgeRead();
    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t op = data[i++];
        switch (op % 8) {
        case 0:
            link.Timer2Timer(nullptr);
            break;
        case 1:
            link.SetPolling(!link.State.Polling);
            break;
        case 2: {
            using Request = void (TDeviceLink::*)();
            static const Request requests[] = {
                &TDeviceLink::Sensor1Request, &TDeviceLink::Sensor2Request,
                &TDeviceLink::Sensor3Request, &TDeviceLink::Sensor4Request,
                &TDeviceLink::ConfigRequest,  &TDeviceLink::VersionRequest};
            (link.*requests[(op >> 3) % 6])();
            break;
        }
        case 3:
            link.State.RxIndex =
                int(op >> 3) * 9 - 20; // anywhere, also before and past the buffers
            break;
        case 4:
            link.State.LinkBusy = false;
            link.ResistorWrite(1 + (op >> 3) % 4, (op >> 3) * 700);
            break;
        default: {
            const std::size_t piece = std::min<std::size_t>(size - i, op);
            harness->Deliver(data + i, piece);
            i += piece;
            break;
        }
        }
        harness->Drain();
    }
    return 0;
}
