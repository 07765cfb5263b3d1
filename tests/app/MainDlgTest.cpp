// The main dialog driven offscreen: its controls and defaults, its message boxes, jobs from Write to
// the log's last line, Stop, Exit and the keys that end it.
#include "DialogDriver.h"
#include "DialogUnits.h"
#include "HexBuilder.h"
#include "JobRunner.h"
#include "JobSettings.h"
#include "MainTemplate.h"
#include "Trace.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <sys/stat.h>

namespace {

QStringList g_traces;

// Answers the next message box while it lives: answer (NoButton: Enter), after the job's end if
// bAfterJob. seen: its title, text and buttons, and "Escape kept" when Escape left it open.
struct BoxAnswer {
    QString seen;
    QTimer timer;
    explicit BoxAnswer(QMessageBox::StandardButton answer, bool bAfterJob = false)
    {
        QObject::connect(&timer, &QTimer::timeout, [this, answer, bAfterJob] {
            auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!pBox || (bAfterJob && JobRunState.WorkerThread))
                return;
            timer.stop();
            seen = pBox->windowTitle() + "|" + pBox->text();
            for (QAbstractButton* pButton : pBox->buttons())
                seen += "|" + pButton->text().remove('&');
            QTest::keyClick(pBox, Qt::Key_Escape);
            seen += QString(pBox->icon() ? "|icon" : "") + (pBox->isVisible() ? "|Escape kept" : "");
            if (pBox->isVisible())
                answer ? pBox->button(answer)->click() : QTest::keyClick(pBox, Qt::Key_Return);
        });
        timer.start(10);
    }
};
const QString kNotice = "app_tests|%1|OK";
const QString kQuestion = "app_tests|%1|Yes|No|Escape kept";

const std::vector<uint8_t> kData(16, 0x5A);
const std::string kOne = HexData(0x20, kData) + HexEnd();
const std::string kTwenty = QByteArray::fromStdString(HexData(0, kData)).repeated(20).toStdString() + HexEnd();
const QString kShown = "000020 : 5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A30";
const QStringList kRetried = { "Verify error Address:000020", "Retry success Address:000020" };

// A job set up through the controls: clicks, steps up (+) or down (-) of the wait by key and of the
// retries by arrow button, port list downs. body: the log between its first line and its two time
// lines; settings: the traces after the path (unchecked when empty).
struct JobCase {
    const char* name;
    std::string hex;
    QList<int> clicks;
    int waitSteps, retrySteps, portDowns;
    QByteArrayList env;
    QStringList body, settings;
    QString current; // the record shown last
    bool bEmulator = false;
    QString path = "%1/job.hex"; // as Write() takes it
};

const JobCase kJobs[] = {
    { "A0 high, lower limits, COM3", kOne, { IDC_A0_HIGH }, -2, -2, 2, { "LOOPBACK_PINS=4" }, {},
        { "AddressMask:04", "WriteWait:5", "RetryMax:5", "iSerialPort:3" }, kShown },
    { "both high, upper limits, COM20", kOne, { IDC_A0_HIGH, IDC_A1_HIGH }, 120, 30, 30, { "LOOPBACK_PINS=12" }, {},
        { "AddressMask:0C", "WriteWait:100", "RetryMax:20", "iSerialPort:20" }, kShown },
    { "defaults, retried record", kOne, {}, 0, 0, 0, { "LOOPBACK_CORRUPT=0x20" }, kRetried,
        { "AddressMask:00", "WriteWait:5", "RetryMax:5", "iSerialPort:1" }, kShown },
    { "port refused", kOne, {}, 0, 0, 0, { "LOOPBACK_CONNECT=0" }, { "Port Open Error." }, {}, {} },
    { "at24sim through the adapter library", kOne, {}, 0, 0, 0,
        { "AT24WRITER_I2C_LIBRARY=" I2CADAPTER_LIBRARY, "I2CADAPTER_COM1=%1/ttyAT24" }, kRetried, {}, kShown, true },
    { "long UTF-8 path with blanks", kOne, {}, 0, 0, 0, {}, {}, {}, kShown, false, "%2/ÄÖÜ image.hex" },
    { "path of blanks", {}, {}, 0, 0, 0, {}, { "File Open Error." }, {}, {}, false, "   " },
    { "missing file", {}, {}, 0, 0, 0, {}, { "File Open Error." }, {}, {}, false, "%1/missing.hex" },
    { "directory", {}, {}, 0, 0, 0, {}, { "File Open Error." }, {}, {}, false, "%1" },
    { "FIFO", {}, {}, 0, 0, 0, {}, { "File Open Error." }, {}, {}, false, "%1/fifo" },
    { "device file", {}, {}, 0, 0, 0, {}, { "File Open Error." }, {}, {}, false, "/dev/zero" },
};

} // namespace

class MainDlgTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_style = QApplication::style()->name();
    QString m_longDir = m_dir.path() + QStringLiteral("/EEPROM-Bild für Platine Nr. 7").repeated(10);

    // Writes hex, if any, to path (%1: the scratch folder, %2: a folder more than 300 characters
    // deep), types the path into the dialog and presses Write.
    void Write(CMainDlg& dlg, const std::string& hex, QString path = "%1/job.hex")
    {
        path.replace("%1", m_dir.path()).replace("%2", m_longDir);
        if (!hex.empty())
            QVERIFY(std::ofstream(QFile::encodeName(path).toStdString()) << hex);
        SetItemText(dlg, IDC_HEXFILE, path);
        Button(dlg, IDC_WRITE)->click();
    }
    void WaitForJobEnd() { QTRY_VERIFY_WITH_TIMEOUT(!JobRunState.WorkerThread, 10000); }

private slots:
    void initTestCase()
    {
        qputenv("LOOPBACK_IMAGE", m_dir.filePath("eeprom.bin").toLocal8Bit());
        QVERIFY(QDir().mkpath(m_longDir));
        QVERIFY(::mkfifo(QFile::encodeName(m_dir.filePath("fifo")).constData(), 0600) == 0);
        SetTraceSink([](const char* pszText) { g_traces << QString(pszText).trimmed(); });
    }
    void init() { qputenv("AT24WRITER_I2C_LIBRARY", LOOPBACK_LIBRARY); }
    void cleanup()
    {
        QApplication::setStyle(m_style);
        WaitForJobEnd();
        ReleaseWorker();
        for (const char* pszName : { "LOOPBACK_DELAY_MS", "LOOPBACK_CONNECT", "LOOPBACK_PINS", "LOOPBACK_CORRUPT" })
            qunsetenv(pszName);
    }

    // Under each style: the controls as the template lays them out, the defaults after opening, no
    // default push button wherever the focus is, Write without a path, the open port list.
    void opening_data()
    {
        QTest::addColumn<QString>("style");
        for (const QString& style : QStyleFactory::keys())
            QTest::newRow(qPrintable(style)) << style;
    }
    void opening()
    {
        QFETCH(QString, style);
        QApplication::setStyle(style);
        const char* const kClasses[] = { "QLineEdit", "QPushButton", "QRadioButton", "QGroupBox", "QLabel", "QFrame",
            "CUpDown", "QComboBox", "QListWidget" }; // by ControlKind
        CMainDlg dlg;
        const auto& items = MainTemplate.items;
        QCOMPARE(dlg.Controls().size(), items.size());
        auto pixels = [base = DialogBaseUnits(dlg.font())](const DialogItem& i) { // x in quarters, y in eighths
            return QRect(qRound(i.x * base.width() / 4.0), qRound(i.y * base.height() / 8.0),
                qRound(i.cx * base.width() / 4.0), qRound(i.cy * base.height() / 8.0));
        };
        QList<int> tabStops;
        int listHeight = 0; // of the port list, field included
        for (size_t i = 0; i < items.size(); ++i) {
            const DialogItem& item = items[i];
            QWidget* pControl = dlg.Controls()[i];
            QRect r = pixels(item);
            QRect buddy = i > 0 ? dlg.Controls()[i - 1]->geometry() : QRect();
            if (item.kind == ControlKind::UpDown) // at the buddy's right edge and as high as the buddy
                r = QRect(buddy.right() + 1, buddy.top(), r.width(), buddy.height());
            else if (i + 1 < items.size() && items[i + 1].kind == ControlKind::UpDown) // narrowed by the spin
                r.setWidth(r.width() - dlg.Controls()[i + 1]->width());
            else if (item.kind == ControlKind::DropDownList) { // the template's height is that of the open list
                listHeight = r.height();
                r.setHeight(pControl->sizeHint().height());
            } else if (item.kind == ControlKind::StaticText && !(item.style & SS_SUNKEN)) // grows to fit its text
                r.setWidth(std::max(r.width(), std::min(pControl->sizeHint().width(), dlg.width() - r.x())));
            QCOMPARE(std::pair(ControlId(pControl), pControl->geometry()), std::pair(item.id, r));
            QCOMPARE(std::pair(QString(pControl->metaObject()->className()), ControlText(pControl)),
                std::pair(
                    QString(kClasses[int(item.kind)]), QString(item.items.empty() ? item.caption : item.items[0])));
            if (item.style & WS_TABSTOP)
                tabStops << item.id;
        }
        QCOMPARE(dlg.windowTitle(), QString::fromUtf8(MainTemplate.caption));

        QVERIFY(Open(dlg));
        QVERIFY(Button(dlg, IDC_A0_LOW)->isChecked() && Button(dlg, IDC_A1_LOW)->isChecked());
        QCOMPARE(QStringList({ ItemText(dlg, IDC_HEXFILE), ItemText(dlg, IDC_WAIT), ItemText(dlg, IDC_RETRY),
                     ItemText(dlg, IDC_PORT) }),
            QStringList({ "", "5", "5", "COM1" }));
        QCOMPARE(dlg.windowIcon().availableSizes(), QList<QSize>({ { 32, 32 }, { 16, 16 } }));
        // The focus starts on the first tab stop; Tab visits them in template order and comes round.
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        for (int nID : tabStops + tabStops.mid(0, 1)) {
            QList<int> defaults;
            for (QWidget* pControl : dlg.Controls())
                if (auto* pButton = qobject_cast<QPushButton*>(pControl))
                    if (pButton->isDefault() || pButton->autoDefault())
                        defaults << ControlId(pButton);
            QCOMPARE(std::pair(ControlId(QApplication::focusWidget()), defaults), std::pair(nID, QList<int>()));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }

        // Enter on a push button presses it.
        dlg.AppendLog("earlier line\n");
        BoxAnswer box(QMessageBox::Ok);
        Button(dlg, IDC_WRITE)->setFocus();
        QTest::keyClick(Button(dlg, IDC_WRITE), Qt::Key_Return);
        QCOMPARE(box.seen, kNotice.arg("Specify the HEX file"));
        QCOMPARE(LogLines(dlg), QStringList("earlier line"));
        QVERIFY(dlg.isVisible());

        // The list opens below the field with as many whole entries as the template's height
        // leaves, and scrolls.
        auto* pPort = static_cast<QComboBox*>(dlg.GetDlgItem(IDC_PORT));
        pPort->showPopup();
        QWidget* pPopup = pPort->view()->window();
        QTRY_VERIFY(pPopup->isVisible());
        QRect popup = pPopup->geometry().translated(0, -pPort->mapToGlobal(QPoint(0, 0)).y()); // from the field's top
        int row = pPort->view()->sizeHintForRow(0);
        QVERIFY2(
            popup.top() >= pPort->height() - 1 && popup.bottom() < listHeight && popup.bottom() + row >= listHeight,
            qPrintable(QString("list %1-%2 of %3").arg(popup.top()).arg(popup.bottom()).arg(listHeight)));
        QCOMPARE(pPort->view()->viewport()->height() % row, 0);
        QVERIFY(pPort->view()->verticalScrollBar()->isVisible());
        pPort->hidePopup();
    }

    void dllError()
    {
        for (const char* pszLibrary : { "/nonexistent/libi2cadapter.so", PARTIAL_LIBRARY }) {
            qputenv("AT24WRITER_I2C_LIBRARY", pszLibrary);
            BoxAnswer box(QMessageBox::Ok);
            CMainDlg dlg;
            QCOMPARE(dlg.DoModal(), int(QDialog::Accepted));
            QCOMPARE(box.seen, kNotice.arg("DLL Error(i2c.dll)"));
            QCOMPARE(ItemText(dlg, IDC_WAIT), QString("5")); // the steps after the message still ran
        }
    }

    void job_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(std::size(kJobs)); ++i)
            QTest::newRow(kJobs[i].name) << i;
    }
    void job()
    {
        QFETCH(int, index);
        const JobCase& c = kJobs[index];
        for (const QByteArray& setting : c.env)
            qputenv(setting.split('=')[0], setting.split('=')[1].replace("%1", QFile::encodeName(m_dir.path())));
        QProcess sim;
        if (c.bEmulator) {
            sim.start(AT24SIM,
                { "--link", m_dir.filePath("ttyAT24"), "--image", m_dir.filePath("sim.bin"), "--corrupt", "0x20" });
            QVERIFY(sim.waitForReadyRead(10000) && sim.readAllStandardOutput().startsWith("ready"));
        }
        CMainDlg dlg;
        QVERIFY(Open(dlg));
        for (int nID : c.clicks)
            Button(dlg, nID)->click();
        QList<QAbstractButton*> arrows = dlg.GetDlgItem(IDC_RETRY_SPIN)->findChildren<QAbstractButton*>(); // up, down
        for (int i = 0; i < std::abs(c.waitSteps); ++i)
            QTest::keyClick(dlg.GetDlgItem(IDC_WAIT), c.waitSteps > 0 ? Qt::Key_Up : Qt::Key_Down);
        for (int i = 0; i < std::abs(c.retrySteps); ++i)
            arrows[c.retrySteps > 0 ? 0 : 1]->click();
        for (int i = 0; i < c.portDowns; ++i)
            QTest::keyClick(dlg.GetDlgItem(IDC_PORT), Qt::Key_Down);
        g_traces.clear();
        Write(dlg, c.hex, c.path);
        WaitForJobEnd();
        sim.close();

        QStringList log = LogLines(dlg);
        QCOMPARE(log.mid(1, log.size() - 3), c.body);
        QVERIFY(log.size() >= 3 && log[0].startsWith("Start writing.")
            && log[log.size() - 2].startsWith("Finish writing.") && log.last().startsWith("Processing time"));
        QCOMPARE(
            QStringList({ ItemText(dlg, IDC_WRITE), ItemText(dlg, IDC_CURRENT) }), QStringList({ "Write", c.current }));
        QVERIFY(std::ranges::all_of(dlg.Controls(), &QWidget::isEnabled));
        if (!c.settings.isEmpty())
            QCOMPARE(g_traces,
                QStringList("HexFile:" + ItemText(dlg, IDC_HEXFILE)) + c.settings + QStringList("Thread Exit."));
    }

    // While a job runs, as the row's name says: Write again (a stop) or Exit, answered (NoButton: with
    // Enter), late: once the job has ended by itself; or Enter, Escape or the close box.
    void duringJob_data()
    {
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<int>("result"); // how the dialog ends; -1: it stays
        QTest::newRow("Write, Enter") << QMessageBox::NoButton << -1;
        QTest::newRow("Write, No") << QMessageBox::No << -1;
        QTest::newRow("Write, late Yes") << QMessageBox::Yes << -1;
        QTest::newRow("Exit, No") << QMessageBox::No << -1;
        QTest::newRow("Exit, Yes") << QMessageBox::Yes << int(QDialog::Accepted);
        QTest::newRow("Enter") << QMessageBox::NoButton << int(QDialog::Accepted);
        QTest::newRow("Escape") << QMessageBox::NoButton << int(QDialog::Rejected);
        QTest::newRow("close box") << QMessageBox::NoButton << int(QDialog::Rejected);
    }
    void duringJob()
    {
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(int, result);
        QString how = QTest::currentDataTag();
        bool bLate = how.contains("late");
        qputenv("LOOPBACK_DELAY_MS", "10");
        CMainDlg dlg;
        QVERIFY(Open(dlg));
        g_traces.clear();
        Write(dlg, kTwenty);
        QTRY_VERIFY(!ItemText(dlg, IDC_CURRENT).isEmpty());
        QList<int> disabled;
        for (QWidget* pControl : dlg.Controls())
            if (!pControl->isEnabled())
                disabled << ControlId(pControl);
        QCOMPARE(disabled,
            QList<int>({ IDC_HEXFILE, IDC_BROWSE, IDC_A0_LOW, IDC_A0_HIGH, IDC_A1_LOW, IDC_A1_HIGH, IDC_WAIT,
                IDC_WAIT_SPIN, IDC_RETRY, IDC_RETRY_SPIN, IDC_PORT }));
        QCOMPARE(ItemText(dlg, IDC_WRITE), QString("Stop"));

        // The worker now waits for this thread to show its next line; a dialog that ends releases it.
        QTest::qSleep(100);
        BoxAnswer box(answer, bLate);
        if (how.startsWith("Write") || how.startsWith("Exit"))
            Button(dlg, how.startsWith("Exit") ? IDC_EXIT : IDC_WRITE)->click();
        else if (how == "close box")
            dlg.close();
        else { // with the focus off the push buttons (disabling the path edit moved it to Write)
            dlg.GetDlgItem(IDC_LOG)->setFocus();
            QTest::keyClick(dlg.GetDlgItem(IDC_LOG), how == "Enter" ? Qt::Key_Return : Qt::Key_Escape);
        }
        QCOMPARE(box.seen,
            how.startsWith("Write")      ? kQuestion.arg("Do you want to stop?")
                : how.startsWith("Exit") ? kQuestion.arg("Are you sure you want to exit?")
                                         : QString());
        QCOMPARE(JobRunState.WorkerThread.load(), !bLate); // an ended dialog leaves the job to the process's end
        QCOMPARE(dlg.isVisible(), result < 0);
        QStringList shown = LogLines(dlg) << ItemText(dlg, IDC_CURRENT);
        WaitForJobEnd();
        if (result >= 0) { // nothing more of the job shows
            QCOMPARE(dlg.result(), result);
            QCOMPARE(LogLines(dlg) << ItemText(dlg, IDC_CURRENT), shown);
            QCOMPARE(g_traces.contains("TerminateThread"), how.startsWith("Exit"));
            return;
        }
        QStringList log = LogLines(dlg);
        QCOMPARE(log.mid(1, log.size() - 3), how == "Write, Enter" ? QStringList("Stop processing.") : QStringList());
        QCOMPARE(JobRunState.StopRequest.load(), bLate ? 1 : 0);
        // The next job starts with an empty log, clears a late stop and runs to its end; the
        // current-record line keeps its text until the job's first record.
        QString current = ItemText(dlg, IDC_CURRENT);
        Write(dlg, kOne);
        QCOMPARE(LogLines(dlg) << ItemText(dlg, IDC_CURRENT), QStringList(current));
        WaitForJobEnd();
        QCOMPARE(LogLines(dlg).size(), 3);
    }
};

QTEST_MAIN(MainDlgTest)
#include "MainDlgTest.moc"
