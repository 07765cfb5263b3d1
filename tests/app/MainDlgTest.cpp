// The main dialog driven offscreen: its controls and defaults, its message boxes, jobs from Write to
// the log's last line, Stop, Exit and the keys that end it.
#include "DialogDisplay.h"
#include "DialogDriver.h"
#include "DialogUnits.h"
#include "HexBuilder.h"
#include "JobRunner.h"
#include "JobSettings.h"
#include "Trace.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <fstream>

namespace {

QStringList g_traces;

// Answers the next message box: answer (NoButton: Enter), once the job has ended if bAfterJob. seen:
// its title, text and buttons, then "icon" if it shows one and "Escape kept" if Escape left it open.
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

// The caption, then the controls in creation order: id, class and text once the dialog has opened.
const QStringList kControls = { "AT24C1024(B)", "1000 QLineEdit ", "1001 QPushButton ...", "1004 QRadioButton Low",
    "1003 QRadioButton High", "-1 QGroupBox A0 (A1)", "1005 QRadioButton Low", "1006 QRadioButton High",
    "-1 QGroupBox A1 (A2)", "1014 QLabel ", "-1 QLabel Write address and data", "-1 QLabel Write Log",
    "1007 QPushButton Write", "-1 QLabel Hex File", "1008 QLineEdit 5", "1010 CUpDown Spin1",
    "-1 QLabel EEPROM address pin", "-1 QLabel Write wait", "-1 QLabel msec", "-1 QLabel Number of retries",
    "1011 QLineEdit 5", "1012 CUpDown Spin2", "-1 QLabel times", "-1 QFrame ", "-1 QLabel SerialPort",
    "1013 QComboBox COM1", "1015 QListWidget ", "1016 QPushButton Exit" };
const QList<int> kTabOrder = { IDC_HEXFILE, IDC_BROWSE, IDC_WRITE, IDC_WAIT, IDC_RETRY, IDC_PORT, IDC_EXIT };
const QList<int> kSettings = { IDC_HEXFILE, IDC_BROWSE, IDC_A0_LOW, IDC_A0_HIGH, IDC_A1_LOW, IDC_A1_HIGH, IDC_WAIT,
    IDC_WAIT_SPIN, IDC_RETRY, IDC_RETRY_SPIN, IDC_PORT };

const std::vector<uint8_t> kData(16, 0x5A);
const std::string kOne = HexData(0x20, kData) + HexEnd();
const std::string kTwenty = [] { // each record shown with an address of its own
    std::string hex;
    for (uint16_t offset = 0; offset < 20 * 16; offset += 16)
        hex += HexData(offset, kData);
    return hex + HexEnd();
}();

// A job set up through the controls: the pins set high, which the device also answers to (select
// bits); steps of the wait by key and of the retries by arrow button (+ up, - down), then downs in
// the port list. settings: AddressMask, WriteWait, RetryMax and iSerialPort as traced.
struct JobCase {
    const char* name;
    int pins = 0;
    QList<int> steps = { 0, 0, 0 };
    QString settings = "00 5 5 1";
    QString path = "%1/job.hex"; // as Write() takes it
    std::string hex = kOne;
    QStringList body = {}; // the log between its first line and its two time lines
    QString current = "000020 : 5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A30"; // at the end
};
const JobCase kJobs[] = {
    { .name = "A0 high, lower limits", .pins = 4, .steps = { -2, -2, 2 }, .settings = "04 5 5 3" },
    { .name = "both high, upper limits", .pins = 12, .steps = { 120, 30, 30 }, .settings = "0C 100 20 20" },
    { .name = "UTF-8 path with blanks", .path = "%1/ÄÖÜ image.hex" },
    { .name = "path of blanks", .path = "   ", .hex = {}, .body = { "File Open Error." }, .current = "earlier" },
};

// While a job runs: Write or Exit pressed and its question answered (NoButton: with Enter), late:
// once the job has ended by itself; or Enter or Escape pressed; or, with press 0, the close box.
constexpr QMessageBox::StandardButton kYes = QMessageBox::Yes, kNo = QMessageBox::No;
const char* const kStop = "Do you want to stop?";
const char* const kExit = "Are you sure you want to exit?";
struct DuringCase {
    const char* name;
    int press = 0;
    QMessageBox::StandardButton answer = QMessageBox::NoButton;
    bool bLate = false;
    const char* question = nullptr;
    int result = -1; // how the dialog ends; -1: it stays
    QStringList body = {};
};
const DuringCase kDuring[] = {
    { .name = "Write, Enter", .press = IDC_WRITE, .question = kStop, .body = { "Stop processing." } },
    { .name = "Write, No", .press = IDC_WRITE, .answer = kNo, .question = kStop },
    { .name = "Write, late Yes", .press = IDC_WRITE, .answer = kYes, .bLate = true, .question = kStop },
    { .name = "Exit, No", .press = IDC_EXIT, .answer = kNo, .question = kExit },
    { .name = "Exit, Yes", .press = IDC_EXIT, .answer = kYes, .question = kExit, .result = QDialog::Accepted },
    { .name = "Enter", .press = Qt::Key_Return, .result = QDialog::Accepted },
    { .name = "Escape", .press = Qt::Key_Escape, .result = QDialog::Rejected },
    { .name = "close box", .result = QDialog::Rejected },
};

// One row per case, named after it.
template <class Case, size_t N> void AddRows(const Case (&cases)[N])
{
    QTest::addColumn<int>("index");
    for (size_t i = 0; i < N; ++i)
        QTest::newRow(cases[i].name) << int(i);
}

} // namespace

class MainDlgTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_style = QApplication::style()->name();

    // Writes hex, if any, to path (%1: the scratch folder), types the path and presses Write.
    void Write(CMainDlg& dlg, const std::string& hex, QString path = "%1/job.hex")
    {
        path.replace("%1", m_dir.path());
        if (!hex.empty())
            QVERIFY(std::ofstream(QFile::encodeName(path).toStdString()) << hex);
        dlg.GetDlgItem<QLineEdit>(IDC_HEXFILE)->setText(path);
        Button(dlg, IDC_WRITE)->click();
    }
    void WaitForJobEnd() { QTRY_VERIFY_WITH_TIMEOUT(!JobRunState.WorkerThread, 10000); }
    // The log between its first line and its two time lines; the job's suite checks those lines.
    static QStringList Body(const CMainDlg& dlg) { return LogLines(dlg).mid(1, LogLines(dlg).size() - 3); }

private slots:
    void initTestCase()
    {
        qputenv("LOOPBACK_IMAGE", m_dir.filePath("eeprom.bin").toLocal8Bit());
        SetTraceSink([](const char* pszText) { g_traces << QString(pszText).remove("\r\n"); });
    }
    void init() { qputenv("AT24WRITER_I2C_LIBRARY", LOOPBACK_LIBRARY); }
    void cleanup()
    {
        QApplication::setStyle(m_style);
        WaitForJobEnd();
        ReleaseWorker();
        qunsetenv("LOOPBACK_DELAY_MS");
        qunsetenv("LOOPBACK_PINS");
    }

    // Under each style: the controls and defaults, where dialog units put them, the tab order with
    // no default push button wherever the focus is, Enter on Write without a path, the port list.
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
        CMainDlg dlg;
        QVERIFY(Open(dlg));
        QStringList controls = { dlg.windowTitle() };
        for (QWidget* pControl : dlg.Controls())
            controls << QString("%1 %2 %3")
                            .arg(ControlId(pControl))
                            .arg(pControl->metaObject()->className(), ControlText(pControl));
        QCOMPARE(controls, kControls);
        QVERIFY(Button(dlg, IDC_A0_LOW)->isChecked() && Button(dlg, IDC_A1_LOW)->isChecked());
        QCOMPARE(dlg.windowIcon().availableSizes(), QList<QSize>({ { 32, 32 }, { 16, 16 } }));
        // x in quarters of the font's average width, y in eighths of its height; a spin at its
        // buddy's right edge, as high as the buddy.
        auto units = [base = DialogBaseUnits(dlg.font())](int x, int y, int cx, int cy) {
            return QRect(qRound(x * base.width() / 4.0), qRound(y * base.height() / 8.0),
                qRound(cx * base.width() / 4.0), qRound(cy * base.height() / 8.0));
        };
        QCOMPARE(std::pair(dlg.size(), dlg.GetDlgItem(IDC_EXIT)->geometry()),
            std::pair(units(0, 0, 193, 310).size(), units(136, 289, 50, 14)));
        for (auto [nEdit, nSpin] : { std::pair(IDC_WAIT, IDC_WAIT_SPIN), std::pair(IDC_RETRY, IDC_RETRY_SPIN) }) {
            QRect edit = dlg.GetDlgItem(nEdit)->geometry(), spin = dlg.GetDlgItem(nSpin)->geometry();
            QCOMPARE(QRect(edit.right() + 1, edit.top(), spin.width(), edit.height()), spin);
        }

        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        for (int nID : kTabOrder + kTabOrder.mid(0, 1)) {
            QCOMPARE(ControlId(QApplication::focusWidget()), nID);
            for (QPushButton* pButton : dlg.findChildren<QPushButton*>())
                QVERIFY(!pButton->isDefault() && !pButton->autoDefault());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        dlg.AppendLog("earlier line\n");
        BoxAnswer box(QMessageBox::Ok);
        Button(dlg, IDC_WRITE)->setFocus();
        QTest::keyClick(Button(dlg, IDC_WRITE), Qt::Key_Return);
        QCOMPARE(LogLines(dlg) << box.seen, QStringList({ "earlier line", "app_tests|Specify the HEX file|OK" }));

        // The list opens below its field with the whole entries that fit the template's height,
        // and scrolls.
        auto* pPort = dlg.GetDlgItem<QComboBox>(IDC_PORT);
        int listHeight = units(0, 0, 0, 71).height(), row = pPort->view()->sizeHintForRow(0);
        pPort->showPopup();
        QTRY_VERIFY(pPort->view()->window()->isVisible());
        QRect popup = pPort->view()->window()->geometry().translated(0, -pPort->mapToGlobal(QPoint(0, 0)).y());
        QVERIFY(
            popup.top() >= pPort->height() - 1 && popup.bottom() < listHeight && popup.bottom() + row >= listHeight);
        QCOMPARE(std::pair(pPort->view()->viewport()->height() % row, pPort->view()->verticalScrollBar()->isVisible()),
            std::pair(0, true));
    }

    void dllError()
    {
        qputenv("AT24WRITER_I2C_LIBRARY", "/nonexistent/libi2cadapter.so");
        BoxAnswer box(QMessageBox::Ok);
        CMainDlg dlg;
        QCOMPARE(dlg.DoModal(), int(QDialog::Accepted));
        QCOMPARE(box.seen, "app_tests|DLL Error(i2c.dll)|OK");
        QCOMPARE(ItemText(dlg, IDC_WAIT), QString("5")); // the steps after the message still ran
    }

    void job_data() { AddRows(kJobs); }
    void job()
    {
        QFETCH(int, index);
        const JobCase& c = kJobs[index];
        qputenv("LOOPBACK_PINS", QByteArray::number(c.pins));
        CMainDlg dlg;
        QVERIFY(Open(dlg));
        Button(dlg, c.pins & 4 ? IDC_A0_HIGH : IDC_A0_LOW)->click();
        Button(dlg, c.pins & 8 ? IDC_A1_HIGH : IDC_A1_LOW)->click();
        QList<QAbstractButton*> arrows = dlg.GetDlgItem(IDC_RETRY_SPIN)->findChildren<QAbstractButton*>(); // up, down
        for (int i = 0; i < std::abs(c.steps[0]); ++i)
            QTest::keyClick(dlg.GetDlgItem(IDC_WAIT), c.steps[0] > 0 ? Qt::Key_Up : Qt::Key_Down);
        for (int i = 0; i < std::abs(c.steps[1]); ++i)
            arrows[c.steps[1] > 0 ? 0 : 1]->click();
        for (int i = 0; i < c.steps[2]; ++i)
            QTest::keyClick(dlg.GetDlgItem(IDC_PORT), Qt::Key_Down);
        g_traces.clear();
        BoxAnswer box(QMessageBox::Ok); // none is expected
        dlg.AppendLog("earlier");
        dlg.ShowCurrent("earlier");
        Write(dlg, c.hex, c.path); // empties the log, keeps the current record until the job's first
        QCOMPARE(LogLines(dlg) << ItemText(dlg, IDC_CURRENT), QStringList("earlier"));
        WaitForJobEnd();

        QCOMPARE(std::pair(box.seen, Body(dlg)), std::pair(QString(), c.body));
        QCOMPARE(
            QStringList({ ItemText(dlg, IDC_WRITE), ItemText(dlg, IDC_CURRENT) }), QStringList({ "Write", c.current }));
        QVERIFY(std::ranges::all_of(dlg.Controls(), &QWidget::isEnabled));
        QStringList v = c.settings.split(' ');
        QCOMPARE(g_traces.join('|'),
            QString("HexFile:%1|AddressMask:%2|WriteWait:%3|RetryMax:%4|iSerialPort:%5|Thread Exit.")
                .arg(ItemText(dlg, IDC_HEXFILE), v[0], v[1], v[2], v[3]));
    }

    void duringJob_data() { AddRows(kDuring); }
    void duringJob()
    {
        QFETCH(int, index);
        const DuringCase& c = kDuring[index];
        qputenv("LOOPBACK_DELAY_MS", "10");
        CMainDlg dlg;
        QVERIFY(Open(dlg));
        g_traces.clear();
        Write(dlg, kTwenty);
        QTRY_VERIFY(!ItemText(dlg, IDC_CURRENT).isEmpty());
        QCOMPARE(ItemText(dlg, IDC_WRITE), QString("Stop"));
        for (QWidget* pControl : dlg.Controls())
            QCOMPARE(pControl->isEnabled(), !kSettings.contains(ControlId(pControl)));

        // The worker now waits for this thread to show its next line; a dialog that ends releases it.
        QTest::qSleep(100);
        BoxAnswer box(c.answer, c.bLate);
        if (c.press == IDC_WRITE || c.press == IDC_EXIT)
            Button(dlg, c.press)->click();
        else if (c.press) { // with the focus off the push buttons
            dlg.GetDlgItem(IDC_LOG)->setFocus();
            QTest::keyClick(dlg.GetDlgItem(IDC_LOG), Qt::Key(c.press));
        } else
            dlg.close();
        QCOMPARE(box.seen, c.question ? QString("app_tests|%1|Yes|No|Escape kept").arg(c.question) : QString());
        QCOMPARE(JobRunState.WorkerThread.load(), !c.bLate); // an ended dialog leaves the job to the process's end
        QCOMPARE(dlg.isVisible() ? -1 : dlg.result(), c.result);
        if (c.result >= 0) { // nothing more of the job shows, here or in a dialog opened after this one
            QStringList shown = LogLines(dlg) << ItemText(dlg, IDC_CURRENT);
            QTest::qWait(100); // records go by meanwhile
            QCOMPARE(LogLines(dlg) << ItemText(dlg, IDC_CURRENT), shown);
            CMainDlg later;
            DialogDisplay.Attach(&later);
            WaitForJobEnd();
            QCOMPARE(LogLines(later) << ItemText(later, IDC_CURRENT), QStringList(""));
            bool bExit = c.press == IDC_EXIT; // the job abandoned, to stop at its next line
            QCOMPARE(std::pair(g_traces.contains("TerminateThread"), JobRunState.Result.load() == JobResult::Stopped),
                std::pair(bExit, bExit));
            return;
        }
        WaitForJobEnd();
        QCOMPARE(std::pair(Body(dlg), JobRunState.StopRequest.load()), std::pair(c.body, int(c.bLate)));
    }
};

QTEST_MAIN(MainDlgTest)
#include "MainDlgTest.moc"
