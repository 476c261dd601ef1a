// The jobs against the real Tolvern and the modem emulator on a pseudo-terminal.
#include "CommissionedModule.h"
#include "Concentrator.h"
#include "ConfigDocument.h"
#include "FirmwareReceiver.h"
#include "HexBytes.h"
#include "Logger.h"
#include "ModemEmulator.h"
#include "TemplateList.h"
#include "TestHome.h"
#include "TestSupport.h"
#include "tolvern_capture.h"
#include "tolvern_config.h"
#include "tolvern_info.h"
#include "tolvern_installation.h"
#include "tolvern_update.h"
#include "xml_capture.h"
#include "xml_radio_test.h"

#include <QFile>
#include <QMap>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace
{
// Tolvern's own default key, which the emulated modules hold.
const QString Key = "7C41D09A2E6B35F8A1C94E07B2D6F358";
const QString Templates = QString(GUI_TEST_DATA) + "/templates";

ModemEmu::AesKey keyBytes()
{
    const std::vector<uint8_t> bytes = ModemEmu::ParseHex(Key.toStdString());
    ModemEmu::AesKey key{};
    std::copy(bytes.begin(), bytes.end(), key.begin());
    return key;
}

// The module's own frame that Tolvern waits for before it addresses it: C 0x08, CI 0x7A, ZVR,
// at the module address 0x12345678d26a0107.
const char *const ModuleBeacon = "0E08D26A123456780107 7A01000000";
} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qputenv("TOLVERN_SYSTEM_ROOT", systemRoot.path().toUtf8());
        tolvern_process::setProgramPath(TOLVERN_BINARY);
    }

    void init()
    {
        home = std::make_unique<TestHome>();
        logger = std::make_unique<Logger>();
        modem = std::make_unique<ModemEmu::ModemEmulator>();
    }

    void cleanup()
    {
        if (modem)
            modem->Stop();
        modem.reset();
        logger.reset();
        home.reset();
    }

    void modemInformation()
    {
        ModemEmu::ModemIdentity identity;
        identity.description = "Test modem 868MHz";
        identity.swVersion = "2.3";
        identity.hwVersion = "1.0";
        identity.manufacturer = 0x6AD2;
        identity.id = 0x78563412;
        identity.version = 0x07;
        identity.type = 0x37;
        modem->SetIdentity(identity);
        modem->Start();
        const WMBusSettings_t settings{QString::fromStdString(modem->DevicePath()), "T", "", Templates};
        QObject owner;
        tolvern_info job(&settings, &owner, logger.get(), false);
        QSignalSpy done(&job, &tolvern_info::GetInfoDone);
        QVERIFY(done.wait(20000));
        const DongleInfo_t *info = done.at(0).at(0).value<DongleInfo_t *>();
        QCOMPARE(info->cliVersion, 0x108);
        QCOMPARE(info->firmwareVersion, 0x203);
        QCOMPARE(info->hardwareVersion, 0x100);
        QCOMPARE(info->address, QString("3707785634126ad2"));
        QTRY_VERIFY_WITH_TIMEOUT(job.process() == nullptr, 20000);
    }

    void captureTwoMeters()
    {
        ModemEmu::MeterConfig gas;
        gas.frames = {ModemEmu::ParseHex("2E4493157856341233037A2A0000002F2F0C1427048502046D32371F1502FD1700002F2F"
                                         "2F2F2F2F2F2F2F2F2F2F2F")};
        gas.period = std::chrono::milliseconds(700);
        gas.name = "gas";
        ModemEmu::MeterConfig water = gas;
        water.frames = {ModemEmu::ParseHex("2E4493152143658733037A2A0000002F2F0C1427048502046D32371F1502FD1700002F2F"
                                           "2F2F2F2F2F2F2F2F2F2F2F")};
        water.firstDelay = std::chrono::milliseconds(400);
        water.name = "water";
        modem->AddMeter(gas);
        modem->AddMeter(water);
        modem->Start();
        const WMBusSettings_t settings{QString::fromStdString(modem->DevicePath()), "Nc", "", Templates};
        xml_capture store(logger.get());
        auto *job = new tolvern_capture(&settings, &store, nullptr, logger.get(), false, false);
        QSignalSpy received(job, &tolvern_capture::ReceiveNewFrame);
        QSignalSpy end(job->process(), &tolvern_process::SendProcessEnd);
        job->process()->start();
        QTRY_VERIFY_WITH_TIMEOUT(received.size() >= 4, 30000);
        QPointer<tolvern_process> runner = job->process();
        runner->Kill();
        QTRY_VERIFY_WITH_TIMEOUT(runner.isNull(), 20000);
        QVERIFY(end.isEmpty());
        // Which meter is heard first depends on when Tolvern has the modem ready (the emulator drops what
        // comes before); from then on the two take turns.
        const QStringList frames = TestSupport::frameIds(store).mid(0, 4);
        const bool gasFirst = frames.value(0).endsWith("12345678");
        const QString one = gasFirst ? "12345678" : "87654321";
        const QString other = gasFirst ? "87654321" : "12345678";
        QCOMPARE(frames, QStringList({"1:" + one, "2:" + other, "3:" + one, "4:" + other}));
        const CaptureFrame_t first = store.getFrames().value(0).getData();
        QVERIFY(first.rssi < 0); // the modem's signal byte, as Tolvern turns it into an rssi
        QCOMPARE(first.Type, QString("SND-NR"));
        QVERIFY(first.error.isEmpty());
        delete job;
    }

    // The Error column of the frame list: every frame that did not decode carries its reason.
    void captureShowsWhyFramesDidNotDecode()
    {
        const QByteArray plain = "4493157856341233037A2A0000002F2F0C1427048502046D32371F1502FD1700002F2F2F2F2F2F2F2F2F"
                                 "2F2F2F2F";
        ModemEmu::MeterConfig wrongKey;
        wrongKey.frames = {ModemEmu::ParseHex("2E" + plain.toStdString())};
        wrongKey.key = ModemEmu::AesKey{}; // not the key Tolvern decrypts with
        wrongKey.period = std::chrono::milliseconds(900);
        wrongKey.name = "wrong key";
        // Security mode 21 (configuration word 15 00): no mode Tolvern decrypts.
        ModemEmu::MeterConfig mode21 = wrongKey;
        mode21.key.reset();
        mode21.frames = {ModemEmu::ParseHex("2E4493152143658733037A2A0000152F2F0C1427048502046D32371F1502FD1700002F2F"
                                            "2F2F2F2F2F2F2F2F2F2F2F")};
        mode21.firstDelay = std::chrono::milliseconds(300);
        mode21.name = "mode 21";
        // Fillers only: nothing to show but the reason.
        ModemEmu::MeterConfig empty = mode21;
        empty.frames = {ModemEmu::ParseHex("124493151111111133037A2A0000002F2F2F2F")};
        empty.firstDelay = std::chrono::milliseconds(600);
        empty.name = "empty";
        modem->AddMeter(wrongKey);
        modem->AddMeter(mode21);
        modem->AddMeter(empty);
        modem->Start();
        const WMBusSettings_t settings{QString::fromStdString(modem->DevicePath()), "Nc", "", Templates};
        xml_capture store(logger.get());
        auto *job = new tolvern_capture(&settings, &store, nullptr, logger.get(), false, false);
        QSignalSpy received(job, &tolvern_capture::ReceiveNewFrame);
        job->process()->start();
        QTRY_VERIFY_WITH_TIMEOUT(received.size() >= 6, 30000);
        QPointer<tolvern_process> runner = job->process();
        runner->Kill();
        QTRY_VERIFY_WITH_TIMEOUT(runner.isNull(), 20000);
        const QMap<QString, QString> reasons = {{"12345678", "Decryption failed: check the AES key"},
                                                {"87654321", "Unsupported encryption"},
                                                {"11111111", "No data records"}};
        QSet<QString> seen;
        for (const CaptureFrame &frame : store.getFrames())
        {
            const CaptureFrame_t data = frame.getData();
            QVERIFY2(reasons.contains(data.Id), qPrintable(data.xml));
            QCOMPARE(data.error, reasons.value(data.Id));
            seen.insert(data.Id);
        }
        QCOMPARE(seen.size(), 3);
        delete job;
    }

    void configurationReadAndWrite()
    {
        deliverMailboxAtOnce();
        ModemEmu::CommissionedConfig config;
        config.configuration = ModemEmu::ParseHex("04 FD 3A 78 00 00 00 01 FD 0E 01");
        config.beaconPeriod = std::chrono::milliseconds(500);
        auto module = std::make_shared<ModemEmu::CommissionedModule>(config);
        modem->AddModule(module);
        modem->Start();
        const WMBusSettings_t settings{QString::fromStdString(modem->DevicePath()), "T", Key, Templates};
        const QList<ConfigTemplate> templates = TemplateList(Templates).getTemplates();
        QCOMPARE(templates.size(), 1);

        // Read: the parameters to read go to Tolvern in a temporary configuration file.
        ConfigDocument request(templates[0].id, templates[0].params, QString());
        QVERIFY(request.written());
        auto reader = std::make_unique<tolvern_config>(&settings, templates[0].id, nullptr, logger.get(), false);
        QSignalSpy connected(reader.get(), &tolvern_config::Connected);
        QSignalSpy readDone(reader.get(), &tolvern_config::ConfigDone);
        reader->ReadConfig(request.fileName());
        QVERIFY(readDone.wait(60000));
        QCOMPARE(readDone.at(0).at(0).toBool(), true);
        QCOMPARE(connected.size(), 1);
        QVERIFY(connected.at(0).at(0).toString().startsWith("12345678d26a0107"));
        const QList<ConfigParam> answer = reader->document()->getParams();
        QCOMPARE(answer.size(), 2);
        QCOMPARE(answer[0].value, QString("120"));
        QCOMPARE(answer[1].value, QString("1"));
        QTRY_VERIFY_WITH_TIMEOUT(!reader->isRunning(), 20000);
        reader.reset();

        // Write: the module echoes what it got.
        QList<ConfigParam> values = templates[0].params;
        values[0].value = "900";
        values[1].value = "2";
        ConfigDocument toWrite(templates[0].id, values, QString());
        tolvern_config writer(&settings, templates[0].id, nullptr, logger.get(), false);
        QSignalSpy writeDone(&writer, &tolvern_config::ConfigDone);
        writer.WriteConfig(toWrite.fileName());
        QVERIFY(writeDone.wait(60000));
        QCOMPARE(writeDone.at(0).at(0).toBool(), true);
        QTRY_VERIFY_WITH_TIMEOUT(!writer.isRunning(), 20000);
        QCOMPARE(module->Configuration(), ModemEmu::ParseHex("04 FD 3A 84 03 00 00 01 FD 0E 02"));
    }

    void firmwareUpdate()
    {
        deliverMailboxAtOnce();
        ModemEmu::FirmwareReceiverConfig receiverConfig;
        receiverConfig.key = keyBytes();
        auto receiver = std::make_shared<ModemEmu::FirmwareReceiver>(receiverConfig);
        modem->AddModule(receiver);
        // The receiver sends nothing of its own: a meter at its address gives Tolvern the first frame it
        // waits for. Added second, so that the requests from the mailbox reach the receiver.
        ModemEmu::MeterConfig beacon;
        beacon.frames = {ModemEmu::ParseHex(ModuleBeacon)};
        beacon.period = std::chrono::milliseconds(500);
        modem->AddMeter(beacon);
        modem->Start();

        QTemporaryDir dir;
        const QString image = dir.path() + "/fw image.bin";
        QFile file(image);
        file.open(QIODevice::WriteOnly);
        for (int i = 0; i < 200; ++i)
            file.putChar(char(i));
        file.close();

        const WMBusSettings_t settings{QString::fromStdString(modem->DevicePath()), "T", Key, Templates};
        tolvern_update job(&settings, image, nullptr, logger.get(), false);
        QSignalSpy packets(&job, &tolvern_update::PacketSent);
        QSignalSpy done(&job, &tolvern_update::UpdateDone);
        QSignalSpy connected(&job, &tolvern_update::Connected);
        QVERIFY(done.wait(120000));
        QVERIFY(receiver->Problems().empty());
        QCOMPARE(receiver->Image().size(), size_t(200));
        QCOMPARE(done.at(0).at(0).toInt(), 0);
        QCOMPARE(connected.size(), 1);
        QVERIFY(packets.size() >= 2);
        QCOMPARE(packets.last().at(0).toInt(), -1);
        QTRY_VERIFY_WITH_TIMEOUT(job.process() == nullptr, 20000);
    }

    void radioTestWithTwoConcentrators()
    {
        deliverMailboxAtOnce();
        ModemEmu::ConcentratorConfig first;
        first.key = keyBytes();
        ModemEmu::ConcentratorConfig second = first;
        second.name = "second concentrator";
        second.address = ModemEmu::RadioFrame::MakeAddress(0x00990002, 0x6AD2, 0x01, 0x31);
        second.uid = 0x9ABCDEF0;
        second.uplinkRssi = 0x70;
        second.signal = 0xA0;
        second.delay = std::chrono::milliseconds(300);
        modem->AddModule(std::make_shared<ModemEmu::Concentrator>(first));
        modem->AddModule(std::make_shared<ModemEmu::Concentrator>(second));
        modem->Start();

        const WMBusSettings_t settings{QString::fromStdString(modem->DevicePath()), "T", Key, Templates};
        auto job = std::make_unique<tolvern_installation>(&settings, nullptr, logger.get(), false);
        xml_radio_test test(nullptr, logger.get());
        connect(job.get(), &tolvern_installation::ReceiveNewFrame, &test, &xml_radio_test::GetNewFrame);
        QList<RadioTestFrame_t> answers;
        connect(&test, &xml_radio_test::ReceiveAnswer, this,
                [&answers](const RadioTestFrame_t &answer) { answers << answer; });
        QTRY_VERIFY_WITH_TIMEOUT(answers.size() >= 2, 30000);
        job.reset();
        QCOMPARE(answers[0].uid, QString("12345678"));
        QCOMPARE(answers[0].uplinkRssi, 0x8A / 2);
        QVERIFY(answers[0].downlinkRssi > 0 && answers[0].downlinkRssi != RadioTestFrame_t::NoRssi);
        QCOMPARE(answers[1].uid, QString("9ABCDEF0"));
        QCOMPARE(answers[1].uplinkRssi, 0x70 / 2);
        QVERIFY(answers[1].downlinkRssi > 0 && answers[1].downlinkRssi != answers[0].downlinkRssi);
    }

private:
    // Requests go to the modules as soon as Tolvern puts them into the mailbox, not on their next frame.
    void deliverMailboxAtOnce()
    {
        ModemEmu::CoreConfig core;
        core.delivery = ModemEmu::MailboxDelivery::Immediate;
        modem->SetConfig(core);
    }

    QTemporaryDir systemRoot;
    std::unique_ptr<TestHome> home;
    std::unique_ptr<Logger> logger;
    std::unique_ptr<ModemEmu::ModemEmulator> modem;
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
