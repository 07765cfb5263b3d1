// The main dialog's template, IDD_MAIN.
#pragma once

#include "DialogTemplate.h"

extern const DialogTemplate MainTemplate;
