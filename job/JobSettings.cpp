#include "JobSettings.h"

SJobSettings JobSettings;
SJobRunState JobRunState;
SJobOptions JobOptions;

uint8_t AddressMaskFromPins(int nA0Pin, int nA1Pin)
{
    uint8_t mask = 0;
    if (nA0Pin == 1)
        mask |= kAddressMaskA0;
    if (nA1Pin == 1)
        mask |= kAddressMaskA1;
    return mask;
}
