// The main dialog as it opens: template, layout, defaults, keys, icon, file choice, start-up failure.
#include "DialogBuilder.h"
#include "DialogDriver.h"
#include "DialogUnits.h"
#include "JobSettings.h"
#include "MainDlg.h"
#include "MainTemplate.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QStyle>
#include <QTemporaryDir>
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

int ColoursOf(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) == 255)
                colours.insert(image.pixel(x, y));
    return static_cast<int>(colours.size());
}

} // namespace

class MainDlgLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("AT24WRITER_I2C_LIBRARY", LOOPBACK_LIBRARY); }

    void defaults()
    {
        CMainDlg fresh;
        QCOMPARE(fresh.m_nA0Pin, -1);
        QCOMPARE(fresh.m_nPort, -1);
        fresh.UpdateData(false);
        QCOMPARE(static_cast<QComboBox*>(fresh.GetDlgItem(IDC_PORT))->currentIndex(), -1);
        QVERIFY(!static_cast<QRadioButton*>(fresh.GetDlgItem(IDC_A0_LOW))->isChecked());

        CMainDlg dlg;
        QVERIFY(dlg.InitDialog());
        QCOMPARE(dlg.windowTitle(), QString("AT24C1024(B)"));
        QSize base = DialogBaseUnits(dlg.font());
        QCOMPARE(dlg.minimumSize(), QSize(MulDiv(193, base.width(), 4), MulDiv(310, base.height(), 8)));
        QCOMPARE(dlg.maximumSize(), dlg.minimumSize());
        QVERIFY(dlg.windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(dlg.windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(dlg.font().pointSize(), 9);
        QVERIFY(QStringList({ "IPAPGothic", "MS PGothic", QString::fromUtf8(MainTemplate.font) })
                    .contains(dlg.font().family()));
        QCOMPARE(dlg.m_nA0Pin, 0);
        QCOMPARE(dlg.m_nA1Pin, 0);
        QCOMPARE(dlg.m_nPort, 0);
        QVERIFY(static_cast<QRadioButton*>(dlg.GetDlgItem(IDC_A0_LOW))->isChecked());
        QVERIFY(static_cast<QRadioButton*>(dlg.GetDlgItem(IDC_A1_LOW))->isChecked());
        auto* pPort = static_cast<QComboBox*>(dlg.GetDlgItem(IDC_PORT));
        QCOMPARE(pPort->count(), 20);
        QCOMPARE(pPort->itemText(19), QString("COM20"));
        QCOMPARE(ItemText(dlg, IDC_HEXFILE), QString());
        QCOMPARE(dlg.focusWidget(), dlg.GetDlgItem(IDC_HEXFILE));
        for (int size : { 16, 32 }) {
            QImage image = dlg.windowIcon().pixmap(size).toImage();
            QCOMPARE(image.size(), QSize(size, size));
            QVERIFY(ColoursOf(image) <= 16);
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

        QRect want = MapDialogRect(row.x, row.y, row.cx, row.cy, DialogBaseUnits(dlg.font()));
        QRect got = pControl->geometry();
        if (row.id == IDC_WAIT_SPIN || row.id == IDC_RETRY_SPIN) {
            // Aligned to the buddy's right edge, as high as the buddy, which narrows by its width.
            QWidget* pBuddy = dlg.GetDlgItem(row.id == IDC_WAIT_SPIN ? IDC_WAIT : IDC_RETRY);
            const DesignRow& buddy = kDesign[index - 1];
            QCOMPARE(got.width(), want.width());
            QCOMPARE(
                got.right(), MapDialogRect(buddy.x, buddy.y, buddy.cx, buddy.cy, DialogBaseUnits(dlg.font())).right());
            QCOMPARE(pBuddy->geometry().right() + 1, got.left());
            QCOMPARE(pBuddy->geometry().top(), got.top());
            QCOMPARE(pBuddy->height(), got.height());
            return;
        }
        QCOMPARE(got.topLeft(), want.topLeft());
        if (row.id == IDC_PORT) {
            QCOMPARE(got.width(), want.width()); // the template's height is that of the open list
        } else if (pControl->inherits("QLabel") && row.id == IDC_STATIC) {
            QVERIFY(got.width() >= want.width()); // grows to fit its caption
            QCOMPARE(got.height(), want.height());
        } else if (row.id != IDC_WAIT && row.id != IDC_RETRY) {
            QCOMPARE(got.size(), want.size());
        }
    }

    void tabOrderAndCaptionsFit()
    {
        CMainDlg dlg;
        QVERIFY(dlg.InitDialog());
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QList<int> visited;
        for (int i = 0; i < 7; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << ControlId(QApplication::focusWidget());
        }
        QCOMPARE(visited, QList<int>({ IDC_BROWSE, IDC_WRITE, IDC_WAIT, IDC_RETRY, IDC_PORT, IDC_EXIT, IDC_HEXFILE }));

        for (QWidget* pControl : dlg.Controls()) {
            int need = 0;
            QStyle* pStyle = pControl->style();
            if (qobject_cast<QLabel*>(pControl))
                need = pControl->sizeHint().width();
            else if (qobject_cast<QRadioButton*>(pControl))
                need = pStyle->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth)
                    + pStyle->pixelMetric(QStyle::PM_RadioButtonLabelSpacing)
                    + pControl->fontMetrics().horizontalAdvance(ControlText(pControl));
            else if (qobject_cast<QPushButton*>(pControl) || qobject_cast<QGroupBox*>(pControl))
                need = pControl->fontMetrics().horizontalAdvance(ControlText(pControl));
            QVERIFY2(need <= pControl->width(), qPrintable(ControlText(pControl)));
        }
    }

    void spinSteps_data()
    {
        QTest::addColumn<int>("edit");
        QTest::addColumn<int>("spin");
        QTest::addColumn<int>("key"); // 0: click the up arrow button
        QTest::addColumn<int>("presses");
        QTest::addColumn<QString>("shown");
        QTest::newRow("wait up") << IDC_WAIT << IDC_WAIT_SPIN << int(Qt::Key_Up) << 3 << "8";
        QTest::newRow("wait down at the lower end") << IDC_WAIT << IDC_WAIT_SPIN << int(Qt::Key_Down) << 2 << "5";
        QTest::newRow("wait up past 100") << IDC_WAIT << IDC_WAIT_SPIN << int(Qt::Key_Up) << 120 << "100";
        QTest::newRow("retry up past 20") << IDC_RETRY << IDC_RETRY_SPIN << int(Qt::Key_Up) << 30 << "20";
        QTest::newRow("retry arrow button") << IDC_RETRY << IDC_RETRY_SPIN << 0 << 2 << "7";
    }
    void spinSteps()
    {
        QFETCH(int, edit);
        QFETCH(int, spin);
        QFETCH(int, key);
        QFETCH(int, presses);
        QFETCH(QString, shown);
        CMainDlg dlg;
        QVERIFY(dlg.InitDialog());
        QWidget* pEdit = dlg.GetDlgItem(edit);
        QToolButton* pUp = dlg.GetDlgItem(spin)->findChildren<QToolButton*>().value(0);
        QVERIFY(pUp && pUp->arrowType() == Qt::UpArrow);
        for (int i = 0; i < presses; ++i) {
            if (key)
                QTest::keyClick(pEdit, Qt::Key(key));
            else
                pUp->click();
        }
        QCOMPARE(ItemText(dlg, edit), shown);
    }

    void browse_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("chosen") << true;
        QTest::newRow("cancelled") << false;
    }
    void browse()
    {
        QFETCH(bool, accept);
        QTemporaryDir dir;
        QString path = dir.filePath("image.hex");
        QFile(path).open(QIODevice::WriteOnly);
        CMainDlg dlg;
        QVERIFY(dlg.InitDialog());
        dlg.show();
        static_cast<QLineEdit*>(dlg.GetDlgItem(IDC_HEXFILE))->setText("typed.hex");
        QStringList filters;
        QFileDialog::FileMode mode = QFileDialog::AnyFile;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            auto* pFileDlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!pFileDlg)
                return;
            poll.stop();
            filters = pFileDlg->nameFilters();
            mode = pFileDlg->fileMode();
            pFileDlg->selectFile(path);
            QDialog* pAsDialog = pFileDlg; // QFileDialog hides accept()
            accept ? pAsDialog->accept() : pAsDialog->reject();
        });
        poll.start(10);
        static_cast<QPushButton*>(dlg.GetDlgItem(IDC_BROWSE))->click();
        QCOMPARE(filters, QStringList({ "HEX Files(*.hex)", "All files(*.*)" }));
        QCOMPARE(mode, QFileDialog::ExistingFile);
        QCOMPARE(ItemText(dlg, IDC_HEXFILE), accept ? path : QString("typed.hex"));
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
        int result = dlg.DoModal();
        qputenv("AT24WRITER_I2C_LIBRARY", LOOPBACK_LIBRARY);
        QVERIFY(box.bSeen);
        QCOMPARE(box.text, QString("DLL Error(i2c.dll)"));
        QCOMPARE(box.buttons, QMessageBox::Ok);
        QCOMPARE(box.icon, QMessageBox::NoIcon);
        QCOMPARE(box.title, QString("app_layout_tests"));
        QCOMPARE(result, int(QDialog::Accepted));
        QVERIFY(!dlg.isVisible());
        QCOMPARE(ItemText(dlg, IDC_WAIT), QString("5")); // the steps after the message still ran
    }

    void emptyPath()
    {
        CMainDlg dlg;
        QVERIFY(dlg.InitDialog());
        dlg.show();
        dlg.AppendLog("earlier line\n");
        BoxAnswer box(QMessageBox::Ok);
        static_cast<QPushButton*>(dlg.GetDlgItem(IDC_WRITE))->click();
        QCOMPARE(box.text, QString("Specify the HEX file"));
        QCOMPARE(box.buttons, QMessageBox::Ok);
        QVERIFY(!JobRunState.WorkerThread);
        QCOMPARE(LogLines(dlg), QStringList("earlier line"));
    }
};

QTEST_MAIN(MainDlgLayoutTest)
#include "MainDlgLayoutTest.moc"
