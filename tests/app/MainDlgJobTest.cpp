// Jobs through the main dialog: Write to the last log line, Stop, Exit, the keys that end the
// dialog, and the job's display calls around the dialog's end.
#include "DialogDriver.h"
#include "HexBuilder.h"
#include "JobDisplay.h"
#include "JobRunner.h"
#include "JobSettings.h"
#include "MainDlg.h"
#include "TraceLog.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <future>
#include <sys/stat.h>

namespace {

constexpr int kSettingsIds[] = { IDC_HEXFILE, IDC_BROWSE, IDC_A0_LOW, IDC_A0_HIGH, IDC_A1_LOW, IDC_A1_HIGH, IDC_WAIT,
    IDC_WAIT_SPIN, IDC_RETRY, IDC_RETRY_SPIN, IDC_PORT };

QStringList g_traces;

void CaptureTrace(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (context.category && QByteArray(context.category) == "at24writer.trace")
        g_traces << text;
    else if (type == QtCriticalMsg || type == QtFatalMsg)
        fprintf(stderr, "%s\n", qPrintable(text));
}

std::string Records(int count, uint16_t offset = 0)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += HexData(static_cast<uint16_t>(offset + 16 * i), std::vector<uint8_t>(16, static_cast<uint8_t>(i)));
    return text + HexEnd();
}

// A job set up through the controls. body: the log between its first line and its two time lines;
// settings: the traces after the path (unchecked when empty); current: the last record shown.
struct JobCase {
    const char* name;
    std::string hex;
    QString path; // empty: a file of hex
    QList<int> clicks;
    int waitUps, retryUps, port;
    QByteArrayList env;
    QStringList body, settings;
    QString current;
};

const std::string kOne = Records(1, 0x20);
const QString kOneShown = "000020 : 00000000000000000000000000000000D0";
const JobCase kJobs[] = {
    { "upper 64 KiB", HexLinear(1) + HexData(0x10, { 0xA5, 0x5A }) + HexEnd(), {}, {}, 0, 0, 0, {}, {},
        { "AddressMask:00", "WriteWait:5", "RetryMax:5", "iSerialPort:1" }, "010010 : A55AEF" },
    { "both pins high, limits, COM20", kOne, {}, { IDC_A0_HIGH, IDC_A1_HIGH }, 120, 30, 19, { "LOOPBACK_PINS=12" }, {},
        { "AddressMask:0C", "WriteWait:100", "RetryMax:20", "iSerialPort:20" }, kOneShown },
    { "A0 pin high", kOne, {}, { IDC_A0_HIGH }, 0, 0, 2, { "LOOPBACK_PINS=4" }, {},
        { "AddressMask:04", "WriteWait:5", "RetryMax:5", "iSerialPort:3" }, kOneShown },
    { "retried record", kOne, {}, {}, 0, 0, 0, { "LOOPBACK_CORRUPT=0x20" },
        { "Verify error Address:000020", "Retry success Address:000020" }, {}, kOneShown },
    { "no device at the pins", kOne, {}, { IDC_A1_HIGH }, 0, 0, 0, {},
        QStringList(5, "Verify error Address:000020") << "Write error Address:000020", {}, kOneShown },
    { "port refused", kOne, {}, {}, 0, 0, 0, { "LOOPBACK_CONNECT=0" }, { "Port Open Error." }, {}, {} },
    { "path of blanks", kOne, "   ", {}, 0, 0, 0, {}, { "File Open Error." }, {}, {} },
    // Bad input: %1 is a scratch folder; %2 a path of more than 259 characters with blanks and UTF-8.
    { "missing file", {}, "%1/missing.hex", {}, 0, 0, 0, {}, { "File Open Error." }, {}, {} },
    { "directory", {}, "%1", {}, 0, 0, 0, {}, { "File Open Error." }, {}, {} },
    { "FIFO", {}, "%1/fifo", {}, 0, 0, 0, {}, { "File Open Error." }, {}, {} },
    { "device file", {}, "/dev/zero", {}, 0, 0, 0, {}, { "File Open Error." }, {}, {} },
    { "long UTF-8 path with blanks", kOne, "%2", {}, 0, 0, 0, {}, {}, {}, kOneShown },
};

} // namespace

class MainDlgJobTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    TempDir m_files;

    void Write(CMainDlg& dlg, const std::string& hex)
    {
        SetItemText(dlg, IDC_HEXFILE, QString::fromStdString(m_files.Write("job.hex", hex)));
        Button(dlg, IDC_WRITE)->click();
    }
    void WaitForJobEnd() { QTRY_VERIFY_WITH_TIMEOUT(!JobRunState.WorkerThread, 10000); }

private slots:
    void initTestCase()
    {
        qputenv("LOOPBACK_IMAGE", m_dir.filePath("eeprom.bin").toLocal8Bit());
        QVERIFY(::mkfifo(QFile::encodeName(m_dir.filePath("fifo")).constData(), 0600) == 0);
        RouteTracesToLog();
        qInstallMessageHandler(CaptureTrace);
    }
    void init() { qputenv("AT24WRITER_I2C_LIBRARY", LOOPBACK_LIBRARY); }
    void cleanup()
    {
        WaitForJobEnd();
        ReleaseWorker();
        for (const char* pszName : { "LOOPBACK_DELAY_MS", "LOOPBACK_CONNECT", "LOOPBACK_PINS", "LOOPBACK_CORRUPT" })
            qunsetenv(pszName);
    }

    void job_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < static_cast<int>(std::size(kJobs)); ++i)
            QTest::newRow(kJobs[i].name) << i;
    }
    void job()
    {
        QFETCH(int, index);
        const JobCase& c = kJobs[index];
        for (const QByteArray& setting : c.env)
            qputenv(setting.split('=')[0], setting.split('=')[1]);
        CMainDlg dlg;
        QVERIFY(Open(dlg));
        for (int nID : c.clicks)
            Button(dlg, nID)->click();
        for (int i = 0; i < c.waitUps + c.retryUps; ++i)
            QTest::keyClick(dlg.GetDlgItem(i < c.waitUps ? IDC_WAIT : IDC_RETRY), Qt::Key_Up);
        static_cast<QComboBox*>(dlg.GetDlgItem(IDC_PORT))->setCurrentIndex(c.port);

        // The state of the controls when the job's first line arrives.
        QStringList during;
        auto* pLog = static_cast<QListWidget*>(dlg.GetDlgItem(IDC_LOG));
        connect(pLog->model(), &QAbstractItemModel::rowsInserted, pLog, [&] {
            if (!during.isEmpty())
                return;
            during << ItemText(dlg, IDC_WRITE);
            for (int nID : kSettingsIds)
                during << (dlg.GetDlgItem(nID)->isEnabled() ? "on" : "off");
        });
        g_traces.clear();
        if (c.path.isEmpty()) {
            Write(dlg, c.hex);
        } else {
            QString longPath = m_dir.path();
            if (c.path == "%2") {
                while (longPath.size() < 300)
                    longPath += QStringLiteral("/EEPROM-Bild für Platine Nr. %1").arg(longPath.size());
                QVERIFY(QDir().mkpath(longPath));
                longPath += QStringLiteral("/ÄÖÜ image.hex");
                QFile file(longPath);
                QVERIFY(file.open(QIODevice::WriteOnly) && file.write(c.hex.data(), qint64(c.hex.size())) >= 0);
            }
            SetItemText(dlg, IDC_HEXFILE, QString(c.path).replace("%1", m_dir.path()).replace("%2", longPath));
            Button(dlg, IDC_WRITE)->click();
        }
        WaitForJobEnd();
        QTRY_COMPARE(ItemText(dlg, IDC_WRITE), QString("Write"));

        QCOMPARE(during, QStringList("Stop") + QStringList(std::size(kSettingsIds), "off"));
        for (int nID : kSettingsIds)
            QVERIFY(dlg.GetDlgItem(nID)->isEnabled());
        QStringList log = LogLines(dlg);
        QVERIFY(log.size() >= 3);
        QVERIFY(QRegularExpression("^Start writing\\. \\(\\d\\d:\\d\\d:\\d\\d\\)$").match(log[0]).hasMatch());
        QVERIFY(
            QRegularExpression("^Finish writing\\. \\(\\d\\d:\\d\\d:\\d\\d\\)$").match(log[log.size() - 2]).hasMatch());
        QVERIFY(QRegularExpression("^Processing time \\d:\\d\\d:\\d\\d \\(\\d+sec\\)$").match(log.last()).hasMatch());
        QCOMPARE(log.mid(1, log.size() - 3), c.body);
        QCOMPARE(pLog->selectedItems().size(), 0);
        if (!c.settings.isEmpty())
            QCOMPARE(g_traces,
                QStringList("HexFile:" + ItemText(dlg, IDC_HEXFILE)) + c.settings + QStringList("Thread Exit."));
        QCOMPARE(ItemText(dlg, IDC_CURRENT), c.current);
    }

    // The real adapter library against the emulated Bus Pirate on a pseudo-terminal, as COM1.
    void jobAgainstEmulator()
    {
        QString link = m_dir.filePath("ttyAT24");
        QString image = m_dir.filePath("emulated.bin");
        QProcess sim;
        auto stopSim = qScopeGuard([&] {
            sim.terminate();
            if (!sim.waitForFinished(3000))
                sim.kill();
        });
        sim.start(AT24SIM, { "--link", link, "--image", image, "--corrupt", "0x10020" });
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += sim.readAllStandardOutput()).contains("ready"), 10000);
        qputenv("I2CADAPTER_COM1", link.toLocal8Bit());
        qputenv("AT24WRITER_I2C_LIBRARY", I2CADAPTER_LIBRARY);

        std::vector<uint8_t> data(32);
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<uint8_t>(0x30 + i);
        CMainDlg dlg;
        QVERIFY(Open(dlg));
        Write(dlg, HexLinear(1) + HexData(0x0000, data) + HexData(0x0020, data) + HexEnd());
        WaitForJobEnd();
        QTRY_COMPARE(LogLines(dlg).size(), 5);
        QCOMPARE(
            LogLines(dlg).mid(1, 2), QStringList({ "Verify error Address:010020", "Retry success Address:010020" }));
        QFile written(image);
        QVERIFY(written.open(QIODevice::ReadOnly) && written.seek(0x10000));
        QCOMPARE(written.read(64), QByteArray(reinterpret_cast<const char*>(data.data()), 32).repeated(2));
    }

    void stop_data()
    {
        QTest::addColumn<QMessageBox::StandardButton>("answer"); // NoButton: Enter
        QTest::addColumn<bool>("afterEnd"); // answered once the job has ended by itself
        QTest::newRow("Enter answers Yes") << QMessageBox::NoButton << false;
        QTest::newRow("No") << QMessageBox::No << false;
        QTest::newRow("Yes after the job ended") << QMessageBox::Yes << true;
    }
    void stop()
    {
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(bool, afterEnd);
        qputenv("LOOPBACK_DELAY_MS", "10");
        CMainDlg dlg;
        QVERIFY(Open(dlg));
        Write(dlg, Records(30));
        QTRY_VERIFY(!ItemText(dlg, IDC_CURRENT).isEmpty());
        {
            BoxAnswer box(answer, [afterEnd] { return !afterEnd || !JobRunState.WorkerThread; });
            Button(dlg, IDC_WRITE)->click();
            QCOMPARE(box.text, QString("Do you want to stop?"));
            QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
            QCOMPARE(box.defaultButton, QMessageBox::Yes);
            QVERIFY(box.bEscapeIgnored);
            QCOMPARE(box.icon, QMessageBox::NoIcon);
        }
        WaitForJobEnd();
        bool bStopped = answer == QMessageBox::NoButton;
        QTRY_COMPARE(LogLines(dlg).size(), bStopped ? 4 : 3);
        QCOMPARE(LogLines(dlg).contains("Stop processing."), bStopped);
        if (afterEnd) {
            // The stop came too late; the next job clears it and runs to its end.
            QCOMPARE(JobRunState.StopRequest.load(), 1);
            ReleaseWorker();
            Button(dlg, IDC_WRITE)->click();
            WaitForJobEnd();
            QTRY_COMPARE(LogLines(dlg).size(), 3);
        }
        QCOMPARE(JobRunState.StopRequest.load(), 0);
    }

    void secondJobStartsWithEmptyLog()
    {
        CMainDlg dlg;
        QVERIFY(Open(dlg));
        Write(dlg, Records(2));
        WaitForJobEnd();
        QTRY_COMPARE(LogLines(dlg).size(), 3);
        QString previous = ItemText(dlg, IDC_CURRENT);
        QCOMPARE(previous, QString("000010 : 01010101010101010101010101010101D0"));
        ReleaseWorker();
        Write(dlg, Records(1, 0x100));
        QCOMPARE(LogLines(dlg), QStringList());
        QCOMPARE(ItemText(dlg, IDC_CURRENT), previous);
        WaitForJobEnd();
        QTRY_COMPARE(ItemText(dlg, IDC_CURRENT), QString("000100 : 00000000000000000000000000000000EF"));
    }

    void endDuringJob_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("result"); // -1: the dialog stays
        QTest::newRow("Exit, No") << "Exit No" << -1;
        QTest::newRow("Exit, Yes") << "Exit Yes" << int(QDialog::Accepted);
        QTest::newRow("Enter") << "Enter" << int(QDialog::Accepted);
        QTest::newRow("Escape") << "Escape" << int(QDialog::Rejected);
        QTest::newRow("close box") << "close" << int(QDialog::Rejected);
    }
    void endDuringJob()
    {
        QFETCH(QString, how);
        QFETCH(int, result);
        qputenv("LOOPBACK_DELAY_MS", "10");
        CMainDlg dlg;
        QVERIFY(Open(dlg));
        Write(dlg, Records(20));
        QTRY_VERIFY(!ItemText(dlg, IDC_CURRENT).isEmpty());
        g_traces.clear();
        BoxAnswer box(how.endsWith("Yes") ? QMessageBox::Yes : QMessageBox::No);
        if (how.startsWith("Exit"))
            Button(dlg, IDC_EXIT)->click();
        else if (how == "Enter")
            QTest::keyClick(dlg.GetDlgItem(IDC_LOG), Qt::Key_Return);
        else if (how == "Escape")
            QTest::keyClick(&dlg, Qt::Key_Escape);
        else
            dlg.close();
        QCOMPARE(box.bSeen, how.startsWith("Exit"));
        QCOMPARE(box.text, QString(box.bSeen ? "Are you sure you want to exit?" : ""));
        QCOMPARE(box.bEscapeIgnored, box.bSeen);
        QVERIFY(JobRunState.WorkerThread); // the program would now end the process
        QCOMPARE(dlg.isVisible(), result < 0);
        QStringList log = LogLines(dlg);
        QString current = ItemText(dlg, IDC_CURRENT);
        WaitForJobEnd();
        QTest::qWait(20);
        if (result < 0) {
            QTRY_COMPARE(LogLines(dlg).size(), 3);
            return;
        }
        QCOMPARE(dlg.result(), result);
        QCOMPARE(LogLines(dlg), log);
        QCOMPARE(ItemText(dlg, IDC_CURRENT), current);
        QCOMPARE(g_traces.contains("TerminateThread"), how == "Exit Yes");
    }

    void displayCallAroundTheEnd_data()
    {
        QTest::addColumn<bool>("endFirst"); // the dialog ends before the call is made
        QTest::addColumn<bool>("endWhileWaiting");
        QTest::newRow("dialog open") << false << false;
        QTest::newRow("dialog ended") << true << false;
        QTest::newRow("dialog ends while the call waits") << false << true;
    }
    void displayCallAroundTheEnd()
    {
        QFETCH(bool, endFirst);
        QFETCH(bool, endWhileWaiting);
        CMainDlg dlg;
        QVERIFY(Open(dlg));
        if (endFirst)
            dlg.reject();
        auto call = std::async(std::launch::async, [] {
            GetJobDisplay().AppendLog("late\n");
            GetJobDisplay().SetWriteCaption("Stop");
        });
        // This thread is busy here: a call to a live dialog waits for it.
        QCOMPARE(call.wait_for(std::chrono::milliseconds(300)) == std::future_status::ready, endFirst);
        if (endWhileWaiting)
            dlg.reject();
        QTRY_VERIFY_WITH_TIMEOUT(call.wait_for(std::chrono::seconds(0)) == std::future_status::ready, 5000);
        QTest::qWait(20);
        bool bShown = !endFirst && !endWhileWaiting;
        QCOMPARE(LogLines(dlg), bShown ? QStringList("late") : QStringList());
        QCOMPARE(ItemText(dlg, IDC_WRITE), QString(bShown ? "Stop" : "Write"));
    }
};

QTEST_MAIN(MainDlgJobTest)
#include "MainDlgJobTest.moc"
