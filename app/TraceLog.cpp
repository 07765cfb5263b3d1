#include "TraceLog.h"

#include "Trace.h"

Q_LOGGING_CATEGORY(lcTrace, "at24writer.trace", QtWarningMsg)

namespace {

void TraceToLog(const char* pszText)
{
    QString text = QString::fromLocal8Bit(pszText);
    while (text.endsWith(u'\n') || text.endsWith(u'\r'))
        text.chop(1);
    qCDebug(lcTrace).noquote() << text;
}

} // namespace

void RouteTracesToLog()
{
    SetTraceSink(TraceToLog);
}
