// Diagnostic traces. Silent unless a front end installs a sink (the dialog routes them to a
// logging category that is off by default).
#pragma once

using TraceSink = void (*)(const char* pszText);

void SetTraceSink(TraceSink sink);
void Trace(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));
