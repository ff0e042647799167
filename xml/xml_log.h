// Checks that log a failed condition through the engine in the one form the installer uses.
#pragma once

#include "xml/engine_api.h"

// Evaluates to the truth of Condition; when false, logs the condition's text, the source line and
// pszFunction at priority 7.
#define XR_CHECK(Condition, pszFunction)                                                      \
    ((Condition) ? true                                                                        \
                 : (XRLogPrintf(XRLOG_PRIORITY_DEBUG, "XRLOG_PROCESS_ERROR(%s) at line %d in %s\n", \
                                #Condition, __LINE__, pszFunction),                            \
                    false))
