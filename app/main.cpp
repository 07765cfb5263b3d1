#include "JobRunner.h"
#include "JobSettings.h"
#include "MainApp.h"

#include <cstdio>
#include <cstring>

namespace {

const char* const kUsage
    = "Usage: at24writer [--help | --version]\n"
      "Opens the dialog that writes an Intel HEX file into an AT24C1024-family EEPROM through the I2C\n"
      "adapter. Qt's own options (such as -platform) are accepted as well.\n"
      "  --help      show this text\n"
      "  --version   show the program's version\n";

} // namespace

int main(int argc, char** argv)
{
    // Answered before QApplication exists, so that neither needs a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("at24writer " AT24WRITER_VERSION);
            return 0;
        }
    }
    CMainApp theApp(argc, argv);
    theApp.InitInstance();
    // A job still running was abandoned with the dialog (Exit, Enter, Escape, the close box): it
    // ends with the process, without its closing steps.
    if (JobRunState.WorkerThread.load())
        EndProcess(0);
    ReleaseWorker();
    return 0;
}
