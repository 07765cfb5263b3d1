// soak-job: one job of the fault soak for cli-soak.
//   soak-job plan SEED INDEX FOLDER          writes FOLDER/job.hex; prints "FAULT emulator|missing SIMARGS..."
//   soak-job check SEED INDEX FOLDER STATUS  checks FOLDER/log and FOLDER/eeprom.bin; prints what is wrong
#include "SoakJob.h"

#include <fstream>
#include <iostream>
#include <iterator>

int main(int argc, char** argv)
{
    std::string command = argc > 1 ? argv[1] : "", folder = argc > 4 ? argv[4] : "";
    if (!(command == "plan" && argc == 5) && !(command == "check" && argc == 6)) {
        std::cerr << "usage: soak-job plan SEED INDEX FOLDER | check SEED INDEX FOLDER STATUS\n";
        return 2;
    }
    SoakJob job(static_cast<uint32_t>(std::stoul(argv[2])), static_cast<uint32_t>(std::stoul(argv[3])));
    if (command == "plan") {
        std::ofstream(folder + "/job.hex") << job.hex;
        std::cout << job.fault.name << (job.Emulated() ? " emulator " : " missing ") << job.simArgs << "\n";
        return 0;
    }
    std::string log(std::istreambuf_iterator<char>(std::ifstream(folder + "/log").rdbuf()), {});
    std::vector<std::string> wrong = job.Check(log, std::stoi(argv[5]), folder + "/eeprom.bin");
    for (const std::string& text : wrong)
        std::cout << text << "\n";
    return wrong.empty() ? 0 : 1;
}
