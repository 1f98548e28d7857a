// The configuration window and the serial-number editors with the controller emulator:
// the read cycle's requests and decoding, and every write byte for byte at the far end.
#include "tests/windows/WindowsRig.h"

#include "widgets/AbNumEdit.h"
#include "windows/Modeless.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QWindow>

#include <gtest/gtest.h>

namespace {
using Bytes = std::vector<std::uint8_t>;
const Bytes LiveDataRequest{0xC0, 0x04, 0x26, 0x15};
const std::vector<Bytes> ReadRequests{
    {0xC0, 0x06, 0x60, 0x10, 0x10, 0xB9}, {0xC0, 0x06, 0x60, 0x20, 0x10, 0xA9},
    {0xC0, 0x06, 0x60, 0x30, 0x20, 0x89}, {0xC0, 0x06, 0x60, 0x40, 0x20, 0x79},
    {0xC0, 0x06, 0x60, 0x00, 0x20, 0xB9}, {0xC0, 0x04, 0x24, 0x17}};

void SetResistorCode(std::array<std::uint8_t, 256>& memory, int channel, int code) {
    memory[0x10 * channel] = std::uint8_t(code >> 8);
    memory[0x10 * channel + 1] = std::uint8_t(code);
}

void SetSerialNumber(std::array<std::uint8_t, 256>& memory, int channel, const char* text) {
    for (int i = 0; i < 5; ++i)
        memory[0x10 * channel + 8 + i] = std::uint8_t(text[i]);
}

// A warm controller whose memory holds the values the tests read back.
sim::EmulatorOptions ConfiguredController() {
    sim::EmulatorOptions options = ConstantController(1.0, 1.0, 1.0, 1.0);
    auto& m = options.memory;
    SetResistorCode(m, 1, 959);
    SetResistorCode(m, 2, 1155);
    SetResistorCode(m, 3, 959);
    SetResistorCode(m, 4, 1042);
    SetSerialNumber(m, 1, "AB123");
    SetSerialNumber(m, 2, "SN002");
    SetSerialNumber(m, 3, "X\0\0\0\0");
    SetSerialNumber(m, 4, "\0\0\0\0\0");
    m[0x00] = 0, m[0x01] = 0, m[0x02] = 0x07, m[0x03] = 0xFE; // CAN 2046
    m[0x08] = 0, m[0x09] = 0, m[0x0A] = 0x00, m[0x0B] = 100;  // slave CAN 100
    options.firmwareVersion = 23;
    return options;
}

bool IsWrite(const Bytes& request) {
    return request.size() > 2 && request[2] == 0x62;
}

std::vector<Bytes> Writes(const sim::ControllerEmulator& emulator) {
    std::vector<Bytes> writes;
    for (const Bytes& r : emulator.Requests())
        if (IsWrite(r))
            writes.push_back(r);
    return writes;
}

// Opens the port, waits for live data and opens the configuration window from its menu item.
void OpenConfiguration() {
    WindowsRig::OpenPortThroughWindow(WindowsRig::Port);
    ASSERT_TRUE(WaitUntil([] { return Form1->Config1->isEnabled(); }));
    Form1->Config1->trigger();
    ASSERT_TRUE(ConfigForm->isVisible());
}

bool ReadCycleEnded() {
    return WaitUntil([] {
        const TLinkState& s = Form1->Link().State;
        return s.ReadStep == 9 && !s.LinkBusy;
    });
}

// The buffer holds one whole reply: its length byte, then that many bytes ending in the
// right checksum.
template <int N> bool HoldsWholeReply(const TDeviceBuffer<N>& buffer) {
    const int length = buffer[2];
    if (buffer[1] != 0xC0 || length < 4 || length > N)
        return false;
    Bytes frame;
    for (int i = 1; i < length; ++i)
        frame.push_back(buffer[i]);
    return sim::Checksum(frame.data(), frame.size()) == buffer[length];
}

bool EveryReplyArrivedInItsTick() {
    const TLinkState& s = Form1->Link().State;
    return HoldsWholeReply(s.SensorBuf1) && HoldsWholeReply(s.SensorBuf2) &&
           HoldsWholeReply(s.SensorBuf3) && HoldsWholeReply(s.SensorBuf4) &&
           HoldsWholeReply(s.ConfigBuf) && HoldsWholeReply(s.VersionBuf);
}

// Reads until a read had each reply within the 100 ms its request gives it: on a loaded
// machine one can come late, and the read then shows that channel's fields as zeros.
bool ReadWhollyAnswered() {
    for (int tries = 0; tries < 5; ++tries) {
        QTest::mouseClick(ConfigForm->Button1, Qt::LeftButton);
        if (!ReadCycleEnded())
            return false;
        if (EveryReplyArrivedInItsTick())
            return true;
    }
    return false;
}

void TypeAndEnter(QWidget* field, const QString& text) {
    QTest::mouseClick(field, Qt::LeftButton);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}
} // namespace

TEST(ConfigWindow, ReadSendsTheSixRequestsTickByTickAndFillsEveryField) {
    WindowsRig rig;
    sim::ControllerEmulator& emulator = rig.StartEmulator(ConfiguredController());
    OpenConfiguration();
    EXPECT_EQ(ConfigForm->VersionLabel1->text(), QStringLiteral("       "));

    emulator.ClearRequests();
    std::vector<int> steps; // ReadStep after each tick of the read cycle's timer
    QObject watcher;
    QObject::connect(Form1->Timer1, &QTimer::timeout, &watcher,
                     [&] { steps.push_back(Form1->Link().State.ReadStep); });
    QTest::mouseClick(ConfigForm->Button1, Qt::LeftButton);
    EXPECT_FALSE(Form1->OnlineButton->Checked());
    EXPECT_TRUE(ConfigForm->ProgressBar1->isVisible());
    EXPECT_EQ(ConfigForm->ProgressBar1->value(), 0);
    EXPECT_TRUE(Form1->Link().State.LinkBusy);
    EXPECT_EQ(Form1->Link().State.ReadStep, 1);
    ASSERT_TRUE(ReadCycleEnded());
    EXPECT_EQ(steps, (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9})) << "one step per tick";
    EXPECT_FALSE(ConfigForm->ProgressBar1->isVisible());
    EXPECT_FALSE(Form1->Timer1->isActive());

    // The six requests in order, and no live request from the press on.
    WaitUntil([] { return false; }, 400);
    std::vector<Bytes> requests = emulator.Requests();
    const auto first = std::find(requests.begin(), requests.end(), ReadRequests[0]);
    ASSERT_NE(first, requests.end());
    EXPECT_LE(first - requests.begin(), 1) << "at most a live request sent before the press";
    EXPECT_EQ(std::vector<Bytes>(first, requests.end()), ReadRequests);
    EXPECT_FALSE(Form1->Online_LED1->Checked());
    EXPECT_FALSE(Form1->Config1->isEnabled());

    // Fields as the controller holds them; no write went back during the read.
    if (!EveryReplyArrivedInItsTick()) {
        ASSERT_TRUE(ReadWhollyAnswered());
    }
    EXPECT_EQ(ConfigForm->AbNumEdit1->text(), QStringLiteral("1000")) << "990 raised";
    EXPECT_TRUE(ConfigForm->AbNumEdit1->LimitLo());
    EXPECT_EQ(ConfigForm->AbNumEdit2->text(), QStringLiteral("20000")) << "20019 lowered";
    EXPECT_TRUE(ConfigForm->AbNumEdit2->LimitUp());
    EXPECT_EQ(ConfigForm->AbNumEdit3->text(), QStringLiteral("990")) << "channel 3 goes to 100";
    EXPECT_EQ(ConfigForm->AbNumEdit4->text(), QStringLiteral("9049"));
    EXPECT_EQ(ConfigForm->SensorSN_Edit1->text(), QStringLiteral("AB123"));
    EXPECT_EQ(ConfigForm->SensorSN_Edit2->text(), QStringLiteral("SN002"));
    EXPECT_EQ(ConfigForm->SensorSN_Edit3->text(), QStringLiteral("X"));
    EXPECT_EQ(ConfigForm->SensorSN_Edit4->text(), QString()) << "zeros show as empty";
    EXPECT_EQ(ConfigForm->AbNumCAN1->text(), QStringLiteral("2046"));
    EXPECT_EQ(ConfigForm->AbNumCAN2->text(), QStringLiteral("100"));
    EXPECT_EQ(ConfigForm->VersionLabel1->text(), QStringLiteral("V2.3"));
    SaveScreenshot(ConfigForm, "config-window.png");

    // A later read shows what changed since; channel 3's lowest code is 117 ohms.
    emulator.SetMemory(0x30, 950 >> 8);
    emulator.SetMemory(0x31, 950 & 0xFF);
    ASSERT_TRUE(ReadWhollyAnswered());
    EXPECT_EQ(ConfigForm->AbNumEdit3->text(), QStringLiteral("117"));

    ConfigForm->close();
    EXPECT_TRUE(Form1->OnlineButton->Checked());
    const std::size_t live = emulator.LiveRequestCount();
    EXPECT_TRUE(WaitUntil([&] { return emulator.LiveRequestCount() > live + 2; }));
    EXPECT_TRUE(Writes(emulator).empty()) << "a read never writes back";
}

TEST(ConfigWindow, ASilentControllerGivesTheLimitsZerosAndThePreviousVersion) {
    WindowsRig rig;
    sim::ControllerEmulator& emulator = rig.StartEmulator(ConfiguredController());
    OpenConfiguration();
    ASSERT_TRUE(ReadWhollyAnswered());
    ASSERT_EQ(ConfigForm->VersionLabel1->text(), QStringLiteral("V2.3"));

    emulator.SetFault(sim::Fault::Silent, true);
    emulator.ClearRequests();
    QTest::mouseClick(ConfigForm->Button1, Qt::LeftButton);
    ASSERT_TRUE(ReadCycleEnded());
    const QStringList resistors{ConfigForm->AbNumEdit1->text(), ConfigForm->AbNumEdit2->text(),
                                ConfigForm->AbNumEdit3->text(), ConfigForm->AbNumEdit4->text()};
    EXPECT_EQ(resistors, (QStringList{"1000", "1000", "100", "1000"}));
    EXPECT_EQ(ConfigForm->AbNumCAN1->text(), QStringLiteral("0"));
    EXPECT_EQ(ConfigForm->AbNumCAN2->text(), QStringLiteral("0"));
    for (int channel = 1; channel <= 4; ++channel)
        EXPECT_TRUE(ConfigForm->SensorSN_Edit(channel)->text().isEmpty()) << channel;
    EXPECT_EQ(ConfigForm->VersionLabel1->text(), QStringLiteral("V2.3")) << "kept from before";
    EXPECT_TRUE(Writes(emulator).empty()) << "every field changed, yet nothing was written";
}

TEST(ConfigWindow, FieldChangesSendTheirWritesByteForByte) {
    WindowsRig rig;
    sim::ControllerEmulator& emulator = rig.StartEmulator(ConfiguredController());
    OpenConfiguration();
    emulator.ClearRequests();

    TypeAndEnter(ConfigForm->AbNumEdit1, QStringLiteral("2k"));
    EXPECT_EQ(ConfigForm->AbNumEdit1->text(), QStringLiteral("2000"));
    EXPECT_TRUE(ConfigForm->ProgressBar1->isVisible());
    EXPECT_EQ(ConfigForm->ProgressBar1->value(), ConfigForm->ProgressBar1->maximum());
    ASSERT_TRUE(WaitUntil([&] { return Writes(emulator).size() == 1; }));
    EXPECT_EQ(Writes(emulator)[0], (Bytes{0xC0, 0x08, 0x62, 0x10, 0x02, 0x03, 0xC9, 0xF7}));
    EXPECT_EQ(emulator.Memory(0x10), 0x03);
    EXPECT_EQ(emulator.Memory(0x11), 0xC9);
    EXPECT_TRUE(WaitUntil([] { return !ConfigForm->ProgressBar1->isVisible(); }, 3000))
        << "hidden by the window's timer";

    // Each arrow step sends one frame.
    emulator.ClearRequests();
    QTest::keyClick(ConfigForm->AbNumEdit1, Qt::Key_Up);
    QTest::keyClick(ConfigForm->AbNumEdit1, Qt::Key_Up);
    QTest::keyClick(ConfigForm->AbNumEdit1, Qt::Key_Down);
    EXPECT_EQ(ConfigForm->AbNumEdit1->text(), QStringLiteral("2001"));
    ASSERT_TRUE(WaitUntil([&] { return Writes(emulator).size() == 3; }));
    for (const Bytes& write : Writes(emulator))
        EXPECT_EQ(Bytes(write.begin(), write.begin() + 5), (Bytes{0xC0, 0x08, 0x62, 0x10, 0x02}));

    emulator.ClearRequests();
    TypeAndEnter(ConfigForm->AbNumCAN1, QStringLiteral("2046"));
    TypeAndEnter(ConfigForm->AbNumCAN2, QStringLiteral("100"));
    ASSERT_TRUE(WaitUntil([&] { return Writes(emulator).size() == 2; }));
    EXPECT_EQ(Writes(emulator)[0], (Bytes{0xC0, 0x08, 0x62, 0x02, 0x02, 0x07, 0xFE, 0xCC}));
    EXPECT_EQ(Writes(emulator)[1], (Bytes{0xC0, 0x08, 0x62, 0x0A, 0x02, 0x00, 0x64, 0x65}));

    // A value clamped to the text already shown sends nothing.
    emulator.ClearRequests();
    TypeAndEnter(ConfigForm->AbNumCAN1, QStringLiteral("5000"));
    EXPECT_EQ(ConfigForm->AbNumCAN1->text(), QStringLiteral("2046"));
    WaitUntil([] { return false; }, 300);
    EXPECT_TRUE(Writes(emulator).empty());
}

// What the operator types right after opening the window goes to the first field of the
// keyboard order, channel 3's resistor, and replaces its text.
TEST(ConfigWindow, TypingRightAfterOpeningReplacesChannelThreesResistor) {
    WindowsRig rig;
    sim::ControllerEmulator& emulator = rig.StartEmulator(ConfiguredController());
    OpenConfiguration();
    ASSERT_TRUE(WaitUntil([] { return QApplication::activeWindow() == ConfigForm; }));
    emulator.ClearRequests();
    QWindow* window = ConfigForm->windowHandle();
    for (char key : {'5', '0', '0', '0'})
        QTest::keyClick(window, key);
    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_EQ(ConfigForm->AbNumEdit3->text().toStdString(), "5000");
    ASSERT_TRUE(WaitUntil([&] { return Writes(emulator).size() == 1; }));
    EXPECT_EQ(Writes(emulator)[0], (Bytes{0xC0, 0x08, 0x62, 0x30, 0x02, 0x03, 0xE8, 0xB8}));
}

TEST(ConfigWindow, SerialNumberEditorSendsTheCutTextAndShowsItInTheConfiguration) {
    WindowsRig rig;
    sim::ControllerEmulator& emulator = rig.StartEmulator(ConfiguredController());
    OpenConfiguration();
    ASSERT_TRUE(ReadWhollyAnswered());

    QTest::mouseClick(ConfigForm->SensorSN_Edit1, Qt::LeftButton);
    ASSERT_TRUE(SerialEdit1Form->isVisible());
    EXPECT_EQ(SerialEdit1Form->SensorEdit->text(), QStringLiteral("AB123")) << "from the buffer";
    SaveScreenshot(SerialEdit1Form, "serial-editor.png");
    SerialEdit1Form->SensorEdit->selectAll();
    QTest::keyClicks(SerialEdit1Form->SensorEdit, QStringLiteral("ZY987X"));
    EXPECT_EQ(SerialEdit1Form->SensorEdit->text(), QStringLiteral("ZY987")) << "no sixth character";
    SerialEdit1Form->SensorEdit->setText(QStringLiteral("AB123"));
    emulator.ClearRequests();
    QTest::mouseClick(SerialEdit1Form->BitBtn1, Qt::LeftButton);
    EXPECT_FALSE(SerialEdit1Form->isVisible());
    EXPECT_EQ(ConfigForm->SensorSN_Edit1->text(), QStringLiteral("AB123"));
    ASSERT_TRUE(WaitUntil([&] { return Writes(emulator).size() == 1; }));
    EXPECT_EQ(Writes(emulator)[0],
              (Bytes{0xC0, 0x0B, 0x62, 0x18, 0x05, 0x41, 0x42, 0x31, 0x32, 0x33, 0x9C}));

    // Channel 4: a short text, shown short in the configuration window.
    QTest::mouseClick(ConfigForm->SensorSN_Edit4, Qt::LeftButton);
    ASSERT_TRUE(SerialEdit4Form->isVisible());
    EXPECT_TRUE(SerialEdit4Form->SensorEdit->text().isEmpty());
    QTest::keyClicks(SerialEdit4Form->SensorEdit, QStringLiteral("Q7"));
    QTest::mouseClick(SerialEdit4Form->BitBtn1, Qt::LeftButton);
    EXPECT_EQ(ConfigForm->SensorSN_Edit4->text(), QStringLiteral("Q7"));
    ASSERT_TRUE(WaitUntil([&] { return Writes(emulator).size() == 2; }));
    const Bytes shortWrite = Writes(emulator)[1];
    EXPECT_EQ(Bytes(shortWrite.begin(), shortWrite.begin() + 7),
              (Bytes{0xC0, 0x0B, 0x62, 0x48, 0x05, 'Q', '7'}));

    // Cancel sends nothing and changes nothing.
    QTest::mouseClick(ConfigForm->SensorSN_Edit2, Qt::LeftButton);
    QTest::keyClicks(SerialEdit2Form->SensorEdit, QStringLiteral("NEW"));
    QTest::mouseClick(SerialEdit2Form->BitBtn2, Qt::LeftButton);
    EXPECT_FALSE(SerialEdit2Form->isVisible());
    EXPECT_EQ(ConfigForm->SensorSN_Edit2->text(), QStringLiteral("SN002"));

    // During a read, an update closes the editor and sends nothing.
    QTest::mouseClick(ConfigForm->SensorSN_Edit3, Qt::LeftButton);
    SerialEdit3Form->SensorEdit->setText(QStringLiteral("BUSY1"));
    QTest::mouseClick(ConfigForm->Button1, Qt::LeftButton);
    emulator.ClearRequests();
    QTest::mouseClick(SerialEdit3Form->BitBtn1, Qt::LeftButton);
    EXPECT_FALSE(SerialEdit3Form->isVisible());
    EXPECT_EQ(ConfigForm->SensorSN_Edit3->text(), QStringLiteral("X"));
    ASSERT_TRUE(ReadCycleEnded());
    EXPECT_TRUE(Writes(emulator).empty());
}

TEST(ConfigWindow, ResistorWriteClearsTheBuffersSoTheEditorOpensEmpty) {
    WindowsRig rig;
    rig.StartEmulator(ConfiguredController());
    OpenConfiguration();
    ASSERT_TRUE(ReadWhollyAnswered());
    TypeAndEnter(ConfigForm->AbNumEdit2, QStringLiteral("5000"));
    QTest::mouseClick(ConfigForm->SensorSN_Edit1, Qt::LeftButton);
    EXPECT_TRUE(SerialEdit1Form->SensorEdit->text().isEmpty());
    EXPECT_EQ(ConfigForm->SensorSN_Edit1->text(), QStringLiteral("AB123")) << "the field keeps it";
}

TEST(ConfigWindow, LiveStreamResumesAfterTheWindowClosedWithThePortClosed) {
    WindowsRig rig;
    sim::ControllerEmulator& emulator = rig.StartEmulator(ConfiguredController());
    OpenConfiguration();
    ASSERT_TRUE(ReadWhollyAnswered());
    Form1->VaComm1->Close();
    ConfigForm->close();
    EXPECT_FALSE(Form1->Config1->isEnabled());

    emulator.ClearRequests();
    WindowsRig::OpenPortThroughWindow(WindowsRig::Port);
    ASSERT_TRUE(Form1->VaComm1->Active());
    EXPECT_TRUE(WaitUntil([&] { return emulator.LiveRequestCount() >= 3; }));
    EXPECT_TRUE(WaitUntil([] { return Form1->Config1->isEnabled(); }));
}

TEST(ConfigWindow, ReadButtonWithThePortClosedDoesNothing) {
    WindowsRig rig;
    Form1->Config1Click();
    QTest::mouseClick(ConfigForm->Button1, Qt::LeftButton);
    EXPECT_TRUE(Form1->OnlineButton->Checked());
    EXPECT_FALSE(ConfigForm->ProgressBar1->isVisible());
    EXPECT_FALSE(Form1->Link().State.LinkBusy);
    EXPECT_FALSE(Form1->Timer1->isActive());
}

TEST(ConfigWindow, LayoutFontsAndTabOrder) {
    WindowsRig rig;
    EXPECT_EQ(ConfigForm->windowTitle(), QStringLiteral("Configuration"));
    EXPECT_EQ(ConfigForm->size(), QSize(438, 491));
    struct Place {
        QWidget* widget;
        QRect geometry;
    } places[] = {
        {ConfigForm->AbNumCAN1, {288, 48, 49, 24}},
        {ConfigForm->AbNumCAN2, {288, 78, 49, 24}},
        {ConfigForm->AbNumEdit1, {152, 168, 49, 24}},
        {ConfigForm->AbNumEdit2, {152, 208, 49, 24}},
        {ConfigForm->AbNumEdit3, {152, 248, 49, 24}},
        {ConfigForm->AbNumEdit4, {152, 288, 49, 24}},
        {ConfigForm->SensorSN_Edit1, {250, 166, 52, 24}},
        {ConfigForm->SensorSN_Edit2, {250, 208, 52, 24}},
        {ConfigForm->SensorSN_Edit3, {250, 248, 52, 24}},
        {ConfigForm->SensorSN_Edit4, {250, 288, 52, 24}},
        {ConfigForm->Button1, {100, 398, 245, 41}},
        {ConfigForm->ProgressBar1, {152, 453, 150, 17}},
    };
    for (const Place& p : places)
        EXPECT_EQ(p.widget->geometry(), p.geometry) << p.widget->objectName().toStdString();
    EXPECT_EQ(ConfigForm->VersionLabel1->pos(), QPoint(16, 371));
    for (int channel = 1; channel <= 4; ++channel) {
        EXPECT_EQ(ConfigForm->SensorSN_Edit(channel)->text(), QStringLiteral("*****"));
        EXPECT_TRUE(ConfigForm->SensorSN_Edit(channel)->isReadOnly());
        EXPECT_EQ(ConfigForm->ResistorEdit(channel)->text(), QStringLiteral("1000"));
    }
    EXPECT_EQ(ConfigForm->AbNumCAN1->text(), QStringLiteral("0"));
    EXPECT_EQ(ConfigForm->Button1->font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(ConfigForm->Timer1->interval(), 1000);
    EXPECT_EQ(ConfigForm->ProgressBar1->maximum(), 3);

    // From the window itself round to the window's first field again.
    const QWidget* expected[] = {ConfigForm,
                                 ConfigForm->AbNumEdit3,
                                 ConfigForm->AbNumEdit1,
                                 ConfigForm->AbNumEdit2,
                                 ConfigForm->AbNumEdit4,
                                 ConfigForm->Button1,
                                 ConfigForm->AbNumCAN1,
                                 ConfigForm->SensorSN_Edit1,
                                 ConfigForm->SensorSN_Edit2,
                                 ConfigForm->SensorSN_Edit3,
                                 ConfigForm->SensorSN_Edit4,
                                 ConfigForm->AbNumCAN2,
                                 ConfigForm->AbNumEdit3};
    // The Tab key's next stop: the next widget in the focus chain that takes Tab focus.
    auto nextTabStop = [](const QWidget* w) {
        QWidget* next = w->nextInFocusChain();
        while (!(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        return next;
    };
    for (std::size_t i = 0; i + 1 < std::size(expected); ++i)
        EXPECT_EQ(nextTabStop(expected[i]), expected[i + 1])
            << expected[i]->objectName().toStdString() << " then "
            << nextTabStop(expected[i])->objectName().toStdString();

    // Every label whole at its place.
    const std::pair<QPoint, QString> labels[] = {
        {{160, 18}, "CAN SETUP"},
        {{88, 51}, "11 bit CAN address (0-2046)"},
        {{69, 146}, "Resistor value (Ohms)"},
        {{112, 292}, "CH4"},
        {{100, 362}, "sensor resistor value to give correct Lambda "},
    };
    for (const auto& [at, text] : labels) {
        QLabel* found = nullptr;
        for (QLabel* label : ConfigForm->findChildren<QLabel*>())
            if (label->text() == text)
                found = label;
        ASSERT_NE(found, nullptr) << text.toStdString();
        EXPECT_EQ(found->pos(), at);
        EXPECT_GE(found->width(), found->fontMetrics().horizontalAdvance(text));
    }
}

TEST(SerialEditors, TheFourDifferOnlyAsTheirTableSays) {
    WindowsRig rig;
    struct Row {
        TSerialEditForm* form;
        const char* caption;
        QSize client;
        const char* family;
        int pixels;
    } rows[] = {
        {SerialEdit1Form, "Sensor 1 Serial Number", {335, 211}, "Arial", 13},
        {SerialEdit2Form, "Sensor 2 Serial Number", {336, 210}, "Tahoma", 11},
        {SerialEdit3Form, "Sensor 3 Serial Number", {335, 214}, "Tahoma", 11},
        {SerialEdit4Form, "Sensor 4 Serial Number", {333, 213}, "Tahoma", 11},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.form->windowTitle(), QString::fromLatin1(r.caption));
        EXPECT_EQ(r.form->size(), r.client);
        EXPECT_EQ(r.form->font().family(), QString::fromLatin1(r.family));
        EXPECT_EQ(r.form->font().pixelSize(), r.pixels);
        EXPECT_EQ(r.form->SensorEdit->geometry(), QRect(112, 40, 65, 26));
        EXPECT_EQ(r.form->SensorEdit->maxLength(), 5);
        EXPECT_EQ(r.form->SensorEdit->font().pixelSize(), 16);
        EXPECT_EQ(r.form->BitBtn1->geometry(), QRect(32, 160, 113, 25));
        EXPECT_EQ(r.form->BitBtn2->geometry(), QRect(184, 160, 91, 25));
        EXPECT_EQ(r.form->BitBtn1->text(), QStringLiteral("Update VORLANX"));
        EXPECT_EQ(r.form->Label5->pos(), QPoint(32, 108));
    }
    // Before any read the editors open empty; typed text not sent gives way to the buffer.
    Form1->Link().State.SensorBuf3.Store(14, 'K');
    ShowModeless(SerialEdit3Form);
    EXPECT_EQ(SerialEdit3Form->SensorEdit->text(), QStringLiteral("K"));
    SerialEdit3Form->SensorEdit->setText(QStringLiteral("typed"));
    SerialEdit3Form->FormActivate();
    EXPECT_EQ(SerialEdit3Form->SensorEdit->text(), QStringLiteral("K"));
}

namespace {
// Activates the window and waits until the program's widgets know it.
bool Activate(QWidget* window) {
    window->activateWindow();
    return WaitUntil([&] { return QApplication::activeWindow() == window; });
}
} // namespace

// Another program's window takes the activation from the editor and gives it back: the typed
// text stays. The configuration window doing the same brings back the buffer's text.
TEST(SerialEditors, TypedTextStaysOverASwitchToAnotherProgramOnly) {
    WindowsRig rig;
    Form1->Link().State.SensorBuf2.Store(14, 'K');
    Form1->Config1Click();
    ASSERT_TRUE(Activate(ConfigForm));
    QTest::mouseClick(ConfigForm->SensorSN_Edit2, Qt::LeftButton);
    ASSERT_TRUE(Activate(SerialEdit2Form));
    EXPECT_EQ(SerialEdit2Form->SensorEdit->text().toStdString(), "K");
    SerialEdit2Form->SensorEdit->selectAll();
    QTest::keyClicks(SerialEdit2Form->SensorEdit, QStringLiteral("typed"));

    QWindow otherProgram; // a window with no widget of this program in it
    otherProgram.resize(80, 60);
    otherProgram.show();
    otherProgram.requestActivate();
    ASSERT_TRUE(WaitUntil([&] {
        return QGuiApplication::focusWindow() == &otherProgram && !QApplication::activeWindow();
    }));
    ASSERT_TRUE(Activate(SerialEdit2Form));
    EXPECT_EQ(SerialEdit2Form->SensorEdit->text().toStdString(), "typed");

    ASSERT_TRUE(Activate(ConfigForm));
    ASSERT_TRUE(Activate(SerialEdit2Form));
    EXPECT_EQ(SerialEdit2Form->SensorEdit->text().toStdString(), "K");
}

TEST(SerialEditors, OnlyALeftClickOnTheFieldOpensTheEditor) {
    WindowsRig rig;
    Form1->Config1Click();
    ASSERT_TRUE(Activate(ConfigForm));
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        QTest::mouseClick(ConfigForm->SensorSN_Edit3, button);
        if (QWidget* menu = QApplication::activePopupWidget())
            menu->close();
        EXPECT_FALSE(SerialEdit3Form->isVisible()) << button;
    }
    QTest::mouseClick(ConfigForm->SensorSN_Edit3, Qt::LeftButton);
    EXPECT_TRUE(SerialEdit3Form->isVisible());
}
