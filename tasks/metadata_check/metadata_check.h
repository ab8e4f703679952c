#pragma once

namespace varnel {

//! The metadata check task: proves that dwm_star_relations and dwm_tables are
//! present, filled and consistent with the warehouse before anything changes.
//! Faults go to MessageText; True when the metadata passed.
bool RunMetadataCheck();

}  // namespace varnel
