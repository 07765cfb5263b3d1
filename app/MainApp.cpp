#include "MainApp.h"

#include "MainDlg.h"
#include "TraceLog.h"

CMainApp::CMainApp(int& argc, char** argv)
    : QApplication(argc, argv)
{
    RouteTracesToLog();
}

bool CMainApp::InitInstance()
{
    CMainDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return false;
}
