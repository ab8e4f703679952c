#pragma once

#include <memory>
#include <string>

#include "run/log_stream.h"
#include "warehouse/odbc.h"

namespace varnel {

//! The archiving task: moves the fact rows that meet each fact table's condition
//! into the archive database and writes the archiving section of the log.
bool ArchiveFactTables(std::unique_ptr<Connection>& warehouse, std::unique_ptr<Connection>& archive,
                       LogStream* log, const std::string& logPath, const std::string& jobId);

}  // namespace varnel
