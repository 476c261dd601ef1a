#ifndef WMBC_LOG_H
#define WMBC_LOG_H

#include "LogStatement.h"

// Log lines of the modem link and driver, all under the "WMBC" module.
#define WMBC_TRACE(message) LOG_LINE(LogLevel::Trace, LogModule::WMBC) << message
#define WMBC_DEBUG(message) LOG_LINE(LogLevel::Debug, LogModule::WMBC) << message
#define WMBC_WARNING(message) LOG_LINE(LogLevel::Warning, LogModule::WMBC) << message
#define WMBC_ERROR(message) LOG_LINE(LogLevel::Error, LogModule::WMBC) << message

#endif
