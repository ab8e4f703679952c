#pragma once

#include <memory>

#include "warehouse/odbc.h"

namespace varnel {

//! The open warehouse connection of the run or of the main window; null when unset.
inline std::unique_ptr<Connection> WarehouseConnection;
//! The open archive connection; null when unset.
inline std::unique_ptr<Connection> ArchiveConnection;

}  // namespace varnel
