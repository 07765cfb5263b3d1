// The diagnostic traces go to the logging category "at24writer.trace", off by default; turn them
// on with QT_LOGGING_RULES="at24writer.trace.debug=true".
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcTrace)

// Installs the engine's trace sink.
void RouteTracesToLog();
