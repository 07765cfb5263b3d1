// Jobs through the main dialog: Write to the last log line, Stop, Exit, the keys that end the
// dialog, and the job's display calls around the dialog's end.
#include "DialogBuilder.h"
#include "DialogDisplay.h"
#include "DialogDriver.h"
#include "HexBuilder.h"
#include "JobRunner.h"
#include "JobSettings.h"
#include "MainDlg.h"
#include "TraceLog.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <future>
#include <thread>

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

QPushButton* Button(const CMainDlg& dlg, int nID)
{
    return static_cast<QPushButton*>(dlg.GetDlgItem(nID));
}

} // namespace

class MainDlgJobTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    TempDir m_files;

    // Opens a dialog with path typed in and the Write button pressed.
    void Start(CMainDlg& dlg, const QString& path)
    {
        QVERIFY(dlg.InitDialog());
        dlg.show();
        static_cast<QLineEdit*>(dlg.GetDlgItem(IDC_HEXFILE))->setText(path);
        Button(dlg, IDC_WRITE)->click();
    }
    void WaitForJobEnd() { QTRY_VERIFY_WITH_TIMEOUT(!JobRunState.WorkerThread, 10000); }

private slots:
    void initTestCase()
    {
        qputenv("AT24WRITER_I2C_LIBRARY", LOOPBACK_LIBRARY);
        qputenv("LOOPBACK_IMAGE", m_dir.filePath("eeprom.bin").toLocal8Bit());
        RouteTracesToLog();
        qInstallMessageHandler(CaptureTrace);
    }
    void cleanup()
    {
        WaitForJobEnd();
        ReleaseWorker();
        for (const char* pszName : { "LOOPBACK_DELAY_MS", "LOOPBACK_CONNECT", "LOOPBACK_PINS", "LOOPBACK_CORRUPT" })
            qunsetenv(pszName);
    }

    void job_data()
    {
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<QString>("path"); // empty: the file above
        QTest::addColumn<QList<int>>("clicks"); // radio buttons
        QTest::addColumn<int>("waitUps");
        QTest::addColumn<int>("retryUps");
        QTest::addColumn<int>("port");
        QTest::addColumn<QByteArrayList>("env");
        QTest::addColumn<QStringList>("body"); // the log between its first line and its two time lines
        QTest::addColumn<QStringList>("settings"); // traces after the path
        QTest::addColumn<QString>("current");

        QByteArray upper = QByteArray::fromStdString(HexLinear(1) + HexData(0x0010, { 0xA5, 0x5A }) + HexEnd());
        QByteArray one = QByteArray::fromStdString(Records(1, 0x20));
        QTest::newRow("upper 64 KiB") << upper << QString() << QList<int>() << 0 << 0 << 0 << QByteArrayList()
                                      << QStringList()
                                      << QStringList({ "AddressMask:00", "WriteWait:5", "RetryMax:5", "iSerialPort:1" })
                                      << "010010 : A55AEF";
        QTest::newRow("both pins high, limits, COM20")
            << one << QString() << QList<int>({ IDC_A0_HIGH, IDC_A1_HIGH }) << 120 << 30 << 19
            << QByteArrayList({ "LOOPBACK_PINS=12" }) << QStringList()
            << QStringList({ "AddressMask:0C", "WriteWait:100", "RetryMax:20", "iSerialPort:20" })
            << "000020 : 00000000000000000000000000000000D0";
        QTest::newRow("A0 pin high") << one << QString() << QList<int>({ IDC_A0_HIGH }) << 0 << 0 << 2
                                     << QByteArrayList({ "LOOPBACK_PINS=4" }) << QStringList()
                                     << QStringList({ "AddressMask:04", "WriteWait:5", "RetryMax:5", "iSerialPort:3" })
                                     << "000020 : 00000000000000000000000000000000D0";
        QTest::newRow("retried record") << one << QString() << QList<int>() << 0 << 0 << 0
                                        << QByteArrayList({ "LOOPBACK_CORRUPT=0x20" })
                                        << QStringList(
                                               { "Verify error Address:000020", "Retry success Address:000020" })
                                        << QStringList() << QString();
        QTest::newRow("no device at the pins")
            << one << QString() << QList<int>({ IDC_A1_HIGH }) << 0 << 0 << 0 << QByteArrayList()
            << (QStringList(5, "Verify error Address:000020") << "Write error Address:000020") << QStringList()
            << QString();
        QTest::newRow("port refused") << one << QString() << QList<int>() << 0 << 0 << 0
                                      << QByteArrayList({ "LOOPBACK_CONNECT=0" }) << QStringList("Port Open Error.")
                                      << QStringList() << QString();
        QTest::newRow("path of blanks") << one << QString("   ") << QList<int>() << 0 << 0 << 0 << QByteArrayList()
                                        << QStringList("File Open Error.") << QStringList() << QString();
    }
    void job()
    {
        QFETCH(QByteArray, hex);
        QFETCH(QString, path);
        QFETCH(QList<int>, clicks);
        QFETCH(int, waitUps);
        QFETCH(int, retryUps);
        QFETCH(int, port);
        QFETCH(QByteArrayList, env);
        QFETCH(QStringList, body);
        QFETCH(QStringList, settings);
        QFETCH(QString, current);
        for (const QByteArray& setting : env)
            qputenv(setting.split('=')[0], setting.split('=')[1]);
        if (path.isEmpty())
            path = QString::fromStdString(m_files.Write("job.hex", hex.toStdString()));

        CMainDlg dlg;
        QVERIFY(dlg.InitDialog());
        dlg.show();
        for (int nID : clicks)
            static_cast<QAbstractButton*>(dlg.GetDlgItem(nID))->click();
        for (int i = 0; i < waitUps; ++i)
            QTest::keyClick(dlg.GetDlgItem(IDC_WAIT), Qt::Key_Up);
        for (int i = 0; i < retryUps; ++i)
            QTest::keyClick(dlg.GetDlgItem(IDC_RETRY), Qt::Key_Up);
        static_cast<QComboBox*>(dlg.GetDlgItem(IDC_PORT))->setCurrentIndex(port);
        static_cast<QLineEdit*>(dlg.GetDlgItem(IDC_HEXFILE))->setText(path);

        // The state of the controls when the job's first line arrives.
        QStringList during;
        auto* pLog = static_cast<QListWidget*>(dlg.GetDlgItem(IDC_LOG));
        connect(pLog->model(), &QAbstractItemModel::rowsInserted, pLog, [&] {
            if (!during.isEmpty())
                return;
            during << Button(dlg, IDC_WRITE)->text();
            for (int nID : kSettingsIds)
                during << (dlg.GetDlgItem(nID)->isEnabled() ? "enabled" : "disabled");
        });
        g_traces.clear();
        Button(dlg, IDC_WRITE)->click();
        WaitForJobEnd();
        QTRY_COMPARE(Button(dlg, IDC_WRITE)->text(), QString("Write"));

        QCOMPARE(during, QStringList("Stop") + QStringList(std::size(kSettingsIds), "disabled"));
        for (int nID : kSettingsIds)
            QVERIFY(dlg.GetDlgItem(nID)->isEnabled());
        QStringList log = LogLines(dlg);
        QVERIFY(log.size() >= 3);
        QVERIFY(QRegularExpression("^Start writing\\. \\(\\d\\d:\\d\\d:\\d\\d\\)$").match(log.first()).hasMatch());
        QVERIFY(
            QRegularExpression("^Finish writing\\. \\(\\d\\d:\\d\\d:\\d\\d\\)$").match(log[log.size() - 2]).hasMatch());
        QVERIFY(QRegularExpression("^Processing time \\d:\\d\\d:\\d\\d \\(\\d+sec\\)$").match(log.last()).hasMatch());
        QCOMPARE(log.mid(1, log.size() - 3), body);
        QCOMPARE(pLog->selectedItems().size(), 0);
        if (!settings.isEmpty())
            QCOMPARE(g_traces, QStringList("HexFile:" + path) + settings + QStringList("Thread Exit."));
        if (!current.isEmpty())
            QCOMPARE(ItemText(dlg, IDC_CURRENT), current);
    }

    void stop_data()
    {
        QTest::addColumn<QMessageBox::StandardButton>("answer"); // NoButton: Enter
        QTest::addColumn<bool>("afterEnd"); // answered once the job has ended by itself
        QTest::addColumn<bool>("stopped");
        QTest::newRow("Enter answers Yes") << QMessageBox::NoButton << false << true;
        QTest::newRow("No") << QMessageBox::No << false << false;
        QTest::newRow("Yes after the job ended") << QMessageBox::Yes << true << false;
    }
    void stop()
    {
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(bool, afterEnd);
        QFETCH(bool, stopped);
        qputenv("LOOPBACK_DELAY_MS", "10");
        QString path = QString::fromStdString(m_files.Write("stop.hex", Records(30)));
        CMainDlg dlg;
        Start(dlg, path);
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
        QStringList log = LogLines(dlg);
        QCOMPARE(log.contains("Stop processing."), stopped);
        QCOMPARE(log.size(), stopped ? 4 : 3);
        if (afterEnd) {
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
        Start(dlg, QString::fromStdString(m_files.Write("first.hex", Records(2))));
        WaitForJobEnd();
        QTRY_COMPARE(LogLines(dlg).size(), 3);
        QString previous = ItemText(dlg, IDC_CURRENT);
        QCOMPARE(previous, QString("000010 : 01010101010101010101010101010101D0"));
        ReleaseWorker();
        static_cast<QLineEdit*>(dlg.GetDlgItem(IDC_HEXFILE))
            ->setText(QString::fromStdString(m_files.Write("second.hex", Records(1, 0x100))));
        Button(dlg, IDC_WRITE)->click();
        QCOMPARE(LogLines(dlg), QStringList());
        QCOMPARE(ItemText(dlg, IDC_CURRENT), previous);
        WaitForJobEnd();
        QTRY_COMPARE(ItemText(dlg, IDC_CURRENT), QString("000100 : 00000000000000000000000000000000EF"));
    }

    void endDuringJob_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("result");
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
        Start(dlg, QString::fromStdString(m_files.Write("long.hex", Records(20))));
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
        if (box.bSeen) {
            QCOMPARE(box.text, QString("Are you sure you want to exit?"));
            QVERIFY(box.bEscapeIgnored);
        }
        QVERIFY(JobRunState.WorkerThread); // the program would now end the process
        QCOMPARE(dlg.isVisible(), result < 0);
        QStringList log = LogLines(dlg);
        QString current = ItemText(dlg, IDC_CURRENT);
        WaitForJobEnd();
        QTest::qWait(20);
        if (result < 0) {
            QCOMPARE(LogLines(dlg).size(), 3);
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
        QTest::addColumn<bool>("endWhileQueued");
        QTest::newRow("dialog open") << false << false;
        QTest::newRow("dialog ended") << true << false;
        QTest::newRow("dialog ends while the call waits") << false << true;
    }
    void displayCallAroundTheEnd()
    {
        QFETCH(bool, endFirst);
        QFETCH(bool, endWhileQueued);
        CMainDlg dlg;
        QVERIFY(dlg.InitDialog());
        dlg.show();
        if (endFirst)
            dlg.reject();
        auto call = std::async(std::launch::async, [] {
            GetJobDisplay().AppendLog("late\n");
            GetJobDisplay().SetWriteCaption("Stop");
        });
        // The UI thread is busy: a call to a live dialog waits for it.
        bool bReturnedAtOnce = call.wait_for(std::chrono::milliseconds(300)) == std::future_status::ready;
        QCOMPARE(bReturnedAtOnce, endFirst);
        if (endWhileQueued)
            dlg.reject();
        QTRY_VERIFY_WITH_TIMEOUT(call.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready, 5000);
        QTest::qWait(20);
        bool bShown = !endFirst && !endWhileQueued;
        QCOMPARE(LogLines(dlg), bShown ? QStringList("late") : QStringList());
        QCOMPARE(Button(dlg, IDC_WRITE)->text(), QString(bShown ? "Stop" : "Write"));
    }
};

QTEST_MAIN(MainDlgJobTest)
#include "MainDlgJobTest.moc"
