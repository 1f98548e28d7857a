// Received bytes into the device image buffers, and the frames the link sends.
#include "tests/link/LinkRig.h"
#include "tests/support/FarEnd.h"

#include <gtest/gtest.h>

namespace {
using Bytes = std::vector<std::uint8_t>;

struct RouterRig : LinkRig {
    RouterRig() : far(Port) { port.Open(); }
    // The far end sends; the event loop runs until the router has stored them.
    void Deliver(const Bytes& bytes) {
        const int before = link->State.RxIndex;
        far.Send(bytes);
        ASSERT_TRUE(WaitUntil(
            [&] {
                return link->State.RxIndex >=
                       before + int(std::min<std::size_t>(bytes.size(), 100));
            },
            10000));
    }
    FarEnd far;
};

Bytes Sequence(std::size_t count, std::uint8_t first = 1) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = std::uint8_t(first + i);
    return bytes;
}
} // namespace

TEST(ReceiveRouter, BlockReplyInPiecesIsStoredContiguously) {
    RouterRig rig;
    rig.link->SetPolling(false);
    rig.link->Sensor3Request();
    EXPECT_EQ(rig.far.Receive(6), (Bytes{0xC0, 0x06, 0x60, 0x30, 0x20, 0x89}));
    EXPECT_TRUE(rig.link->State.LinkBusy);
    EXPECT_EQ(rig.link->State.RxMode, rxSensor3);
    rig.Deliver(Sequence(10, 1));
    rig.Deliver(Sequence(28, 11));
    for (int i = 1; i <= 38; ++i)
        EXPECT_EQ(rig.link->State.SensorBuf3[i], i) << "index " << i;
    EXPECT_EQ(rig.link->State.SensorBuf1[1], 0) << "other buffers untouched";
    EXPECT_TRUE(rig.view.OnlineLamp);
    EXPECT_EQ(rig.link->State.SilenceCount, 1);
}

TEST(ReceiveRouter, EachReadRequestSelectsItsBuffer) {
    RouterRig rig;
    rig.link->SetPolling(false);
    struct Case {
        void (TDeviceLink::*request)();
        Bytes frame;
        int mode;
    } cases[] = {
        {&TDeviceLink::Sensor1Request, {0xC0, 0x06, 0x60, 0x10, 0x10, 0xB9}, rxSensor1},
        {&TDeviceLink::Sensor2Request, {0xC0, 0x06, 0x60, 0x20, 0x10, 0xA9}, rxSensor2},
        {&TDeviceLink::Sensor3Request, {0xC0, 0x06, 0x60, 0x30, 0x20, 0x89}, rxSensor3},
        {&TDeviceLink::Sensor4Request, {0xC0, 0x06, 0x60, 0x40, 0x20, 0x79}, rxSensor4},
        {&TDeviceLink::ConfigRequest, {0xC0, 0x06, 0x60, 0x00, 0x20, 0xB9}, rxConfig},
        {&TDeviceLink::VersionRequest, {0xC0, 0x04, 0x24, 0x17}, rxVersion},
    };
    for (const Case& c : cases) {
        rig.link->State.RxIndex = 7;
        (rig.link.get()->*c.request)();
        EXPECT_EQ(rig.far.Receive(c.frame.size()), c.frame);
        EXPECT_EQ(rig.link->State.RxMode, c.mode);
        EXPECT_EQ(rig.link->State.RxIndex, 1);
        rig.Deliver({0xA0, std::uint8_t(c.mode)});
    }
    const TLinkState& s = rig.link->State;
    EXPECT_EQ(s.SensorBuf1[2], rxSensor1);
    EXPECT_EQ(s.SensorBuf2[2], rxSensor2);
    EXPECT_EQ(s.SensorBuf3[2], rxSensor3);
    EXPECT_EQ(s.SensorBuf4[2], rxSensor4);
    EXPECT_EQ(s.ConfigBuf[2], rxConfig);
    EXPECT_EQ(s.VersionBuf[2], rxVersion);
}

TEST(ReceiveRouter, OneEventKeepsTheFirstHundredBytes) {
    RouterRig rig;
    rig.link->SetPolling(false);
    rig.link->Sensor1Request();
    rig.far.Receive(6);
    // The router is handed the port's event only once all 150 bytes wait in the port:
    // events for fewer leave them there, and each new arrival raises a new event.
    rig.port.OnRxChar = [&](QObject* sender, std::uint32_t count) {
        if (count >= 150)
            rig.link->VaComm1RxChar(sender, count);
    };
    rig.far.Send(Sequence(150, 1));
    ASSERT_TRUE(WaitUntil([&] { return rig.link->State.RxIndex > 1; }, 10000));
    const TLinkState& s = rig.link->State;
    EXPECT_EQ(s.RxIndex, 101) << "the first 100 kept, the rest lost";
    EXPECT_EQ(s.SensorBuf1[50], 50) << "stored up to the buffer's end";
    EXPECT_EQ(rig.port.ReadText(), std::string()) << "the other 50 were taken out of the queue";
}

TEST(ReceiveRouter, BytesPastABufferAreDroppedNotStoredOutside) {
    RouterRig rig;
    rig.link->SetPolling(false);
    rig.link->VersionRequest();
    rig.far.Receive(4);
    rig.Deliver(Sequence(40, 1));
    const TLinkState& s = rig.link->State;
    EXPECT_EQ(s.VersionBuf[10], 10);
    EXPECT_EQ(s.VersionBuf[11], 0) << "reads outside give 0";
    EXPECT_EQ(s.LiveBuf[1], 0) << "neighbouring buffers untouched";
    EXPECT_EQ(s.RxIndex, 41);

    rig.link->State.RxIndex = 0; // before the first request of a run
    rig.link->State.RxMode = rxConfig;
    rig.Deliver({0x55});
    EXPECT_EQ(s.ConfigBuf[1], 0);
}

TEST(ReceiveRouter, WithLivePollingOnBytesGoToLiveBufAndRxModeZeroDropsThem) {
    RouterRig rig;
    rig.link->State.RxIndex = 1;
    rig.Deliver({0xC0, 0x11});
    EXPECT_EQ(rig.link->State.LiveBuf[1], 0xC0);
    EXPECT_EQ(rig.link->State.LiveBuf[2], 0x11);
    EXPECT_TRUE(rig.link->State.LiveArrived);

    rig.link->SetPolling(false);
    rig.link->State.RxMode = rxNone;
    rig.link->SetOnline(false);
    const int before = rig.link->State.RxIndex;
    rig.far.Send({1, 2, 3});
    ASSERT_TRUE(WaitUntil([&] { return rig.view.OnlineLamp; }));
    EXPECT_EQ(rig.link->State.RxIndex, before) << "dropped, but the lamp lights";
}

TEST(ReceiveRouter, WritesSendTheirFramesUnlessTheLinkIsBusy) {
    RouterRig rig;
    struct Case {
        std::function<void(TDeviceLink&)> write;
        Bytes frame;
    } cases[] = {
        {[](TDeviceLink& l) { l.ResistorWrite(1, 1000); },
         {0xC0, 0x08, 0x62, 0x10, 0x02, 0x03, 0xBF, 0x01}},
        {[](TDeviceLink& l) { l.ResistorWrite(1, 9000); },
         {0xC0, 0x08, 0x62, 0x10, 0x02, 0x04, 0x12, 0xAD}},
        {[](TDeviceLink& l) { l.ResistorWrite(2, 1000); },
         {0xC0, 0x08, 0x62, 0x20, 0x02, 0x03, 0xBF, 0xF1}},
        {[](TDeviceLink& l) { l.CanAddressWrite(0x02, 2046); },
         {0xC0, 0x08, 0x62, 0x02, 0x02, 0x07, 0xFE, 0xCC}},
        {[](TDeviceLink& l) { l.CanAddressWrite(0x0A, 100); },
         {0xC0, 0x08, 0x62, 0x0A, 0x02, 0x00, 0x64, 0x65}},
        {[](TDeviceLink& l) { EXPECT_TRUE(l.SerialNumberWrite(1, "AB123xyz")); },
         {0xC0, 0x0B, 0x62, 0x18, 0x05, 0x41, 0x42, 0x31, 0x32, 0x33, 0x9C}},
    };
    for (const Case& c : cases) {
        rig.link->State.SensorBuf2.Store(3, 7);
        rig.link->State.RxMode = rxVersion;
        c.write(*rig.link);
        EXPECT_EQ(rig.far.Receive(c.frame.size()), c.frame);
    }
    EXPECT_EQ(rig.link->State.RxMode, rxVersion) << "a serial number write leaves RxMode";
    rig.link->ResistorWrite(4, 1000);
    rig.far.Receive(8);
    EXPECT_EQ(rig.link->State.RxMode, rxNone);
    EXPECT_EQ(rig.link->State.SensorBuf2[3], 0) << "ClearArray after a resistor write";

    rig.link->State.LinkBusy = true;
    rig.link->ResistorWrite(1, 1000);
    rig.link->CanAddressWrite(0x02, 5);
    bool shown = false;
    EXPECT_FALSE(rig.link->SerialNumberWrite(1, "ZZZZZ", [&](const QString&) { shown = true; }));
    EXPECT_FALSE(shown) << "the field keeps its text";
    EXPECT_TRUE(rig.far.Receive(1, 200).empty()) << "nothing is sent while the link is busy";
}

// The editor's order: header out, then the field shows the cut text, then data and checksum.
TEST(ReceiveRouter, SerialNumberWriteShowsTheCutTextBetweenHeaderAndData) {
    RouterRig rig;
    struct Case {
        QString typed;
        QString shown;
        Bytes data;
    } cases[] = {
        {QStringLiteral("AB123xyz"), QStringLiteral("AB123"), {0x41, 0x42, 0x31, 0x32, 0x33}},
        {QStringLiteral("\u00c4\u20ac9"), QStringLiteral("\u00c4?9"), {0xC4, 0x3F, 0x39, 0, 0}},
        {QStringLiteral("\U0001F600Zx"), QStringLiteral("?Zx"), {0x3F, 0x5A, 0x78, 0, 0}},
    };
    for (const Case& c : cases) {
        Bytes beforeShown;
        QString shown;
        ASSERT_TRUE(rig.link->SerialNumberWrite(2, c.typed, [&](const QString& cut) {
            shown = cut;
            beforeShown = rig.far.Receive(5, 10000);
            // Whatever the port had been given by now has left it: only the header may.
            WaitUntil([&] { return rig.port.WriteBufUsed() == 0; }, 10000);
            for (std::uint8_t b : rig.far.Waiting())
                beforeShown.push_back(b);
        }));
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(beforeShown, (Bytes{0xC0, 0x0B, 0x62, 0x28, 0x05})) << "only the header yet";
        Bytes frame = beforeShown;
        for (std::uint8_t b : rig.far.Receive(6))
            frame.push_back(b);
        Bytes expected{0xC0, 0x0B, 0x62, 0x28, 0x05};
        expected.insert(expected.end(), c.data.begin(), c.data.end());
        expected.push_back(sim::Checksum(expected.data(), expected.size()));
        EXPECT_EQ(frame, expected);
    }
}

TEST(ReceiveRouter, ClearArrayLeavesVersionAndLiveBuffers) {
    LinkRig rig;
    TLinkState& s = rig.link->State;
    s.SensorBuf1.Store(50, 1);
    s.ConfigBuf.Store(1, 1);
    s.VersionBuf.Store(4, 23);
    s.LiveBuf.Store(1, 0xC0);
    rig.link->ClearArray();
    EXPECT_EQ(s.SensorBuf1[50], 0);
    EXPECT_EQ(s.ConfigBuf[1], 0);
    EXPECT_EQ(s.VersionBuf[4], 23);
    EXPECT_EQ(s.LiveBuf[1], 0xC0);
}

TEST(ReceiveRouter, SendingOnAClosedPortDoesNothing) {
    LinkRig rig;
    FarEnd far(LinkRig::Port);
    rig.link->LiveDataRequest();
    rig.link->Sensor1Request();
    EXPECT_EQ(rig.link->State.RxMode, rxSensor1) << "state still changes";
    EXPECT_TRUE(rig.link->State.LinkBusy);
    // Nothing was kept for later: once the port is open, the first bytes the far end
    // hears are those of the first frame sent then.
    rig.port.Open();
    rig.link->VersionRequest();
    EXPECT_EQ(far.Receive(4, 10000), (Bytes{0xC0, 0x04, 0x24, 0x17}));
}
