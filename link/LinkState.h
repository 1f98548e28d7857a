#pragma once
// The link state: the device image buffers (indexed from 1, as the frames are counted)
// and the switches shared by the receive router, the live tick and the log.
#include <array>
#include <cstdint>

// A byte buffer indexed from 1 to N. Reads outside give 0; stores outside are dropped,
// so a long or unexpected stream can never write past the buffer.
template <int N> class TDeviceBuffer {
public:
    static constexpr int Size = N;

    std::uint8_t operator[](int index) const { return Holds(index) ? FData[index - 1] : 0; }
    bool Store(int index, std::uint8_t value) {
        if (!Holds(index))
            return false;
        FData[index - 1] = value;
        return true;
    }
    void Clear() { FData.fill(0); }
    static bool Holds(int index) { return index >= 1 && index <= N; }

private:
    std::array<std::uint8_t, N> FData{};
};

// The live data frame's capture buffer.
using TLiveBuf = TDeviceBuffer<30>;

// RxMode values: which block buffer receives while live polling is off.
enum TRxMode : int {
    rxNone = 0,
    rxSensor1 = 1,
    rxSensor2 = 2,
    rxSensor3 = 3,
    rxSensor4 = 4,
    rxConfig = 5,
    rxVersion = 6,
};

struct TLinkState {
    TDeviceBuffer<50> SensorBuf1, SensorBuf2, SensorBuf3, SensorBuf4;
    TDeviceBuffer<50> ConfigBuf;
    TDeviceBuffer<10> VersionBuf;
    TLiveBuf LiveBuf;
    int RxMode = rxNone;
    int RxIndex = 0;
    bool LinkBusy = false;
    int SilenceCount = 0;
    int ReadStep = 0;
    bool LogActive = false;
    // The live switch (polling on) and whether answers are coming ("data online").
    bool Polling = true;
    bool Online = false;
    // Bytes reached LiveBuf since the last live tick: only then is it decoded, so a
    // silent controller's last frame is not shown and logged again at every tick.
    bool LiveArrived = false;

    // Channel n's sensor buffer (n = 1 … 4).
    const TDeviceBuffer<50>& SensorBuf(int channel) const {
        const TDeviceBuffer<50>* const buffers[] = {&SensorBuf1, &SensorBuf2, &SensorBuf3,
                                                    &SensorBuf4};
        return *buffers[channel - 1];
    }
};
