// The main dialog as it opens: template, layout, defaults, keys, icon, start-up failure, empty path.
#include "DialogBuilder.h"
#include "DialogDriver.h"
#include "DialogUnits.h"
#include "JobSettings.h"
#include "MainDlg.h"
#include "MainTemplate.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QStyle>
#include <QTest>
#include <QToolButton>

namespace {

// The dialog as designed: id, widget class, caption, position in dialog units, tab stop.
struct DesignRow {
    int id;
    const char* widgetClass;
    const char* caption;
    int x, y, cx, cy;
    bool bTabStop;
};

const DesignRow kDesign[] = {
    { 1000, "QLineEdit", "", 17, 19, 142, 12, true },
    { 1001, "QPushButton", "...", 163, 19, 14, 12, true },
    { 1004, "QRadioButton", "Low", 23, 60, 27, 10, false },
    { 1003, "QRadioButton", "High", 53, 60, 29, 10, false },
    { -1, "QGroupBox", "A0 (A1)", 17, 50, 75, 25, false },
    { 1005, "QRadioButton", "Low", 106, 60, 27, 10, false },
    { 1006, "QRadioButton", "High", 136, 60, 29, 10, false },
    { -1, "QGroupBox", "A1 (A2)", 100, 50, 75, 25, false },
    { 1014, "QLabel", "", 17, 173, 159, 10, false },
    { -1, "QLabel", "Write address and data", 7, 161, 68, 8, false },
    { -1, "QLabel", "Write Log", 7, 189, 28, 8, false },
    { 1007, "QPushButton", "Write", 151, 132, 35, 12, true },
    { -1, "QLabel", "Hex File", 7, 7, 26, 8, false },
    { 1008, "QLineEdit", "5", 17, 97, 30, 14, true },
    { 1010, "CUpDown", "Spin1", 32, 93, 6, 23, false },
    { -1, "QLabel", "EEPROM address pin", 7, 38, 63, 8, false },
    { -1, "QLabel", "Write wait", 7, 82, 30, 8, false },
    { -1, "QLabel", "msec", 51, 100, 16, 8, false },
    { -1, "QLabel", "Number of retries", 85, 82, 52, 8, false },
    { 1011, "QLineEdit", "5", 94, 97, 30, 14, true },
    { 1012, "CUpDown", "Spin2", 104, 97, 10, 21, false },
    { -1, "QLabel", "times", 129, 100, 17, 8, false },
    { -1, "QFrame", "", 7, 153, 179, 1, false },
    { -1, "QLabel", "SerialPort", 7, 119, 30, 8, false },
    { 1013, "QComboBox", "COM1", 17, 132, 40, 71, true },
    { 1015, "QListWidget", "", 17, 201, 159, 81, false },
    { 1016, "QPushButton", "Exit", 136, 289, 50, 14, true },
};

QRect Pixels(const DesignRow& row, const CMainDlg& dlg)
{
    return MapDialogRect(row.x, row.y, row.cx, row.cy, DialogBaseUnits(dlg.font()));
}

} // namespace

class MainDlgLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void init() { qputenv("AT24WRITER_I2C_LIBRARY", LOOPBACK_LIBRARY); }

    void defaults()
    {
        CMainDlg dlg;
        QCOMPARE(QList<int>({ dlg.m_nA0Pin, dlg.m_nA1Pin, dlg.m_nPort }), QList<int>({ -1, -1, -1 }));
        QVERIFY(Open(dlg));
        QCOMPARE(QList<int>({ dlg.m_nA0Pin, dlg.m_nA1Pin, dlg.m_nPort }), QList<int>({ 0, 0, 0 }));
        QCOMPARE(dlg.windowTitle(), QString("AT24C1024(B)"));
        QCOMPARE(dlg.minimumSize(), Pixels({ 0, "", "", 0, 0, 193, 310, false }, dlg).size());
        QCOMPARE(dlg.maximumSize(), dlg.minimumSize());
        QCOMPARE(dlg.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint),
            Qt::WindowMinimizeButtonHint);
        QCOMPARE(dlg.font().pointSize(), 9);
        QVERIFY(QStringList({ "IPAPGothic", "MS PGothic", QString::fromUtf8(MainTemplate.font) })
                    .contains(dlg.font().family()));
        QVERIFY(Button(dlg, IDC_A0_LOW)->isChecked() && Button(dlg, IDC_A1_LOW)->isChecked());
        auto* pPort = static_cast<QComboBox*>(dlg.GetDlgItem(IDC_PORT));
        QCOMPARE(pPort->count(), 20);
        QCOMPARE(pPort->itemText(19), QString("COM20"));
        QCOMPARE(dlg.focusWidget(), dlg.GetDlgItem(IDC_HEXFILE));
        for (int size : { 16, 32 }) {
            QImage image = dlg.windowIcon().pixmap(size).toImage();
            QSet<QRgb> colours;
            for (int i = 0; i < size * size; ++i)
                colours.insert(image.pixel(i % size, i / size));
            QCOMPARE(image.size(), QSize(size, size));
            QVERIFY(colours.size() <= 17); // 16 and transparent
        }
    }

    void templateControls_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < static_cast<int>(std::size(kDesign)); ++i)
            QTest::addRow("%02d %d %s", i, kDesign[i].id, kDesign[i].caption) << i;
    }
    void templateControls()
    {
        QFETCH(int, index);
        const DesignRow& row = kDesign[index];
        QCOMPARE(MainTemplate.items.size(), std::size(kDesign));
        const DialogItem& item = MainTemplate.items[index];
        QCOMPARE(item.id, row.id);
        QCOMPARE(QRect(item.x, item.y, item.cx, item.cy), QRect(row.x, row.y, row.cx, row.cy));
        QCOMPARE(bool(item.style & WS_TABSTOP), row.bTabStop);

        CMainDlg dlg;
        QVERIFY(dlg.InitDialog());
        QWidget* pControl = dlg.Controls()[index];
        QCOMPARE(ControlId(pControl), row.id);
        QCOMPARE(pControl->metaObject()->className(), row.widgetClass);
        QCOMPARE(ControlText(pControl), QString(row.caption));
        QCOMPARE(bool(pControl->focusPolicy() & Qt::TabFocus), row.bTabStop);

        QRect want = Pixels(row, dlg);
        QRect got = pControl->geometry();
        if (row.id == IDC_WAIT_SPIN || row.id == IDC_RETRY_SPIN) {
            // At the buddy's right edge and as high as the buddy, which narrows by the spin's width.
            QRect buddy = dlg.Controls()[index - 1]->geometry();
            QCOMPARE(got, QRect(buddy.right() + 1, buddy.top(), want.width(), buddy.height()));
            QCOMPARE(got.right(), Pixels(kDesign[index - 1], dlg).right());
            return;
        }
        QCOMPARE(got.topLeft(), want.topLeft());
        if (row.id == IDC_PORT)
            QCOMPARE(got.width(), want.width()); // the template's height is that of the open list
        else if (row.id == IDC_STATIC && pControl->inherits("QLabel"))
            QVERIFY(got.width() >= want.width() && got.height() == want.height()); // grows to fit
        else if (row.id != IDC_WAIT && row.id != IDC_RETRY)
            QCOMPARE(got.size(), want.size());
    }

    void tabOrderAndCaptionsFit()
    {
        CMainDlg dlg;
        QVERIFY(Open(dlg));
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QList<int> visited;
        for (int i = 0; i < 7; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << ControlId(QApplication::focusWidget());
        }
        QCOMPARE(visited, QList<int>({ IDC_BROWSE, IDC_WRITE, IDC_WAIT, IDC_RETRY, IDC_PORT, IDC_EXIT, IDC_HEXFILE }));

        for (QWidget* pControl : dlg.Controls()) {
            int need = pControl->fontMetrics().horizontalAdvance(ControlText(pControl));
            if (qobject_cast<QLabel*>(pControl))
                need = pControl->sizeHint().width();
            else if (qobject_cast<QRadioButton*>(pControl))
                need += pControl->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth)
                    + pControl->style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
            else if (!qobject_cast<QPushButton*>(pControl) && !qobject_cast<QGroupBox*>(pControl))
                continue;
            QVERIFY2(need <= pControl->width(), qPrintable(ControlText(pControl)));
        }
    }

    void spinSteps_data()
    {
        QTest::addColumn<int>("edit");
        QTest::addColumn<int>("key"); // 0: the spin's up arrow button
        QTest::addColumn<int>("presses");
        QTest::addColumn<QString>("shown");
        QTest::newRow("wait up") << IDC_WAIT << int(Qt::Key_Up) << 3 << "8";
        QTest::newRow("wait down at the lower end") << IDC_WAIT << int(Qt::Key_Down) << 2 << "5";
        QTest::newRow("wait up past 100") << IDC_WAIT << int(Qt::Key_Up) << 120 << "100";
        QTest::newRow("retry up past 20") << IDC_RETRY << int(Qt::Key_Up) << 30 << "20";
        QTest::newRow("retry arrow button") << IDC_RETRY << 0 << 2 << "7";
    }
    void spinSteps()
    {
        QFETCH(int, edit);
        QFETCH(int, key);
        QFETCH(int, presses);
        QFETCH(QString, shown);
        CMainDlg dlg;
        QVERIFY(dlg.InitDialog());
        QWidget* pSpin = dlg.GetDlgItem(edit == IDC_WAIT ? IDC_WAIT_SPIN : IDC_RETRY_SPIN);
        QToolButton* pUp = pSpin->findChildren<QToolButton*>().value(0);
        QVERIFY(pUp && pUp->arrowType() == Qt::UpArrow);
        for (int i = 0; i < presses; ++i)
            key ? QTest::keyClick(dlg.GetDlgItem(edit), Qt::Key(key)) : pUp->click();
        QCOMPARE(ItemText(dlg, edit), shown);
    }

    void dllError_data()
    {
        QTest::addColumn<QByteArray>("library");
        QTest::newRow("missing") << QByteArray("/nonexistent/libi2cadapter.so");
        QTest::newRow("lacks an entry point") << QByteArray(PARTIAL_LIBRARY);
    }
    void dllError()
    {
        QFETCH(QByteArray, library);
        qputenv("AT24WRITER_I2C_LIBRARY", library);
        BoxAnswer box(QMessageBox::Ok);
        CMainDlg dlg;
        QCOMPARE(dlg.DoModal(), int(QDialog::Accepted));
        QCOMPARE(box.text, QString("DLL Error(i2c.dll)"));
        QCOMPARE(box.buttons, QMessageBox::Ok);
        QCOMPARE(box.icon, QMessageBox::NoIcon);
        QCOMPARE(box.title, QString("app_layout_tests"));
        QVERIFY(!dlg.isVisible());
        QCOMPARE(ItemText(dlg, IDC_WAIT), QString("5")); // the steps after the message still ran
    }

    void emptyPath()
    {
        CMainDlg dlg;
        QVERIFY(Open(dlg));
        dlg.AppendLog("earlier line\n");
        BoxAnswer box(QMessageBox::Ok);
        Button(dlg, IDC_WRITE)->click();
        QCOMPARE(box.text, QString("Specify the HEX file"));
        QCOMPARE(box.buttons, QMessageBox::Ok);
        QVERIFY(!JobRunState.WorkerThread);
        QCOMPARE(LogLines(dlg), QStringList("earlier line"));
    }
};

QTEST_MAIN(MainDlgLayoutTest)
#include "MainDlgLayoutTest.moc"
