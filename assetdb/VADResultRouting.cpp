#include "assetdb/VADResultRouting.h"

void VADPostNotifiedResult(ResultsLog& log, const VADResultNotification& n)
{
    (void)log;
    (void)n;
}
