// The application object: opens the main dialog modally and ends when it has ended.
#pragma once

#include <QApplication>

class CMainApp final : public QApplication {
public:
    CMainApp(int& argc, char** argv);

    // Runs the main dialog; false: the application ends once it has ended.
    bool InitInstance();

    QWidget* m_pMainWnd = nullptr;
};
