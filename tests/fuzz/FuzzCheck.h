// A broken property ends the run as a crash, so that libFuzzer keeps the input that led to it.
#pragma once

inline void Check(bool bOk)
{
    if (!bOk)
        __builtin_trap();
}
