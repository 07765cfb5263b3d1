// soak-job: the command-line soak's planning and checking, shared with the dialog soak.
//   soak-job plan SEED INDEX FOLDER          writes FOLDER/job.hex; prints "FAULT emulator|missing SIMARGS..."
//   soak-job check SEED INDEX FOLDER STATUS  checks FOLDER/log and FOLDER/eeprom.bin; prints what is wrong
#include "SoakJob.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

int Plan(const SoakJob& job, const std::string& folder)
{
    if (WriteSoakFiles(job, folder).empty()) {
        std::fprintf(stderr, "soak-job: objcopy failed in %s\n", folder.c_str());
        return 1;
    }
    std::printf("%s %s", job.fault.c_str(), job.bEmulator ? "emulator" : "missing");
    for (const std::string& arg : job.simArgs)
        std::printf(" %s", arg.c_str());
    std::printf("\n");
    return 0;
}

int Check(const SoakJob& job, const std::string& folder, int status)
{
    std::vector<std::string> log;
    std::istringstream out(ReadFile(folder + "/log"));
    for (std::string line; std::getline(out, line);)
        log.push_back(line);
    std::string image = job.bEmulator ? ReadFile(folder + "/eeprom.bin") : "";
    std::vector<std::string> wrong = CheckSoakJob(
        job, ReadFile(folder + "/job.hex"), status, log, std::vector<uint8_t>(image.begin(), image.end()));
    for (const std::string& text : wrong)
        std::printf("%s\n", text.c_str());
    return wrong.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    bool bPlan = argc == 5 && std::strcmp(argv[1], "plan") == 0;
    bool bCheck = argc == 6 && std::strcmp(argv[1], "check") == 0;
    if (!bPlan && !bCheck) {
        std::fprintf(stderr, "usage: soak-job plan SEED INDEX FOLDER | check SEED INDEX FOLDER STATUS\n");
        return 2;
    }
    SoakJob job = PlanSoakJob(static_cast<uint32_t>(std::stoul(argv[2])), std::stoi(argv[3]));
    return bPlan ? Plan(job, argv[4]) : Check(job, argv[4], std::stoi(argv[5]));
}
